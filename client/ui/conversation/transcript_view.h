// The painted transcript of one conversation: headers ("dit :"), information
// lines and wrapped message bodies with emoticon pictures, its own scroll
// bar, selection within one message and copying. It draws no border: the
// window around it frames it.
#pragma once

#include <QPixmap>
#include <QWidget>
#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "client/ui/common/painted_items.h"
#include "client/ui/conversation/transcript_fonts.h"
#include "client/ui/conversation/transcript_layout.h"

class QScrollBar;

namespace parlo::client {

// Screen readers read it line by line.
class TranscriptView : public QWidget, public PaintedItems {
  public:
    static constexpr int kScrollBarWidth = 16;

    explicit TranscriptView(QWidget* parent = nullptr);

    // "<sender> dit :" then the text, and scrolls to the bottom.
    void AppendMessage(std::string_view sender, std::string_view text);
    // "info :<text>", and scrolls to the bottom.
    void AppendInfo(std::string_view text);
    // The whole transcript, lines separated by line feeds.
    const std::string& Text() const { return layout_.Text(); }

    // What is laid out and where it is scrolled: the offset is 0 or negative,
    // how far the content is moved up; the bottom offset is the one that
    // shows the last row at the bottom.
    const TranscriptLayout& Layout() const { return layout_; }
    const TextMeasure& Measure() const { return measure_; }
    const TranscriptFonts& Fonts() const { return fonts_; }
    int Offset() const { return offset_; }
    int BottomOffset() const { return bottom_offset_; }
    QScrollBar& ScrollBar() const { return *scroll_bar_; }
    // The text the mouse selected, copied by Ctrl with any key.
    const std::string& SelectedText() const { return selected_; }
    // Where the text is drawn, in the view's coordinates.
    QRect TextArea() const;

    // PaintedItems: the transcript's lines.
    int AccessibleItemCount() const override;
    QString AccessibleItemName(int index) const override;
    QRect AccessibleItemRect(int index) const override;
    QAccessible::Role AccessibleItemRole() const override { return QAccessible::StaticText; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    struct SelectionEnd {
        std::optional<size_t> segment;
        size_t character = 0;
        bool operator==(const SelectionEnd&) const = default;
    };
    // A selection within one unit, its ends in order.
    struct Range {
        SelectionEnd first;
        SelectionEnd last;
    };

    void AppendToText(const std::string& text);
    void FollowWidth();
    void FitContent(bool to_bottom);
    void ScrollTo(int position);
    SelectionEnd HitTest(QPoint at) const;
    std::optional<Range> SelectedRange() const;
    // The bytes of segment `index` the range selects: [begin, end).
    std::pair<size_t, size_t> SelectedBytes(const Range& range, size_t index) const;
    std::string RangeText(const Range& range) const;
    // Where the segments of `range` are drawn, in the view's coordinates.
    QRect RangeArea(const std::optional<Range>& range) const;
    void DrawSegment(QPainter& painter, const TranscriptSegment& segment, int y,
                     std::pair<size_t, size_t> selected);
    const QPixmap& Picture(int bitmap);

    TranscriptFonts fonts_;
    FontMeasure measure_;
    TranscriptLayout layout_;
    QScrollBar* scroll_bar_;
    int offset_ = 0;
    int bottom_offset_ = 0;
    SelectionEnd start_;
    SelectionEnd end_;
    std::string selected_;
    bool button_down_ = false;
    std::array<QPixmap, 18> pictures_;  // bitmaps 142 to 159, made on first use
};

}  // namespace parlo::client
