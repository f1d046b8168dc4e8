#include "client/ui/conversation/transcript_view.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>

#include "client/core/qt_text.h"
#include "client/ui/conversation/emoticons.h"

namespace parlo::client {
namespace {

constexpr int kFirstBitmap = 142;

}  // namespace

TranscriptView::TranscriptView(QWidget* parent)
    : QWidget(parent),
      fonts_(TranscriptFonts::Make()),
      measure_(fonts_),
      layout_(measure_),
      scroll_bar_(new QScrollBar(Qt::Vertical, this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
    setCursor(Qt::ArrowCursor);
    scroll_bar_->setRange(0, 100);
    scroll_bar_->setSingleStep(1);
    scroll_bar_->setPageStep(10);
    scroll_bar_->setFocusPolicy(Qt::NoFocus);
    scroll_bar_->setEnabled(false);
    connect(scroll_bar_, &QScrollBar::valueChanged, this, &TranscriptView::ScrollTo);
    layout_.SetWrapWidth(TextArea().width());
    FitContent(false);
    InstallPaintedItemsAccessibility();
}

int TranscriptView::AccessibleItemCount() const {
    return static_cast<int>(TranscriptLines(layout_.Text()).size());
}

QString TranscriptView::AccessibleItemName(int index) const {
    return Q(TranscriptLines(layout_.Text()).at(static_cast<size_t>(index)).text);
}

QRect TranscriptView::AccessibleItemRect(int index) const {
    const int unit = TranscriptLines(layout_.Text()).at(static_cast<size_t>(index)).unit;
    const QRect area = TextArea();
    QRect rows;
    for (const TranscriptSegment& segment : layout_.Segments()) {
        if (segment.unit == unit) {
            rows |= QRect(area.left(), area.top() + offset_ + segment.top, area.width(),
                          segment.bottom - segment.top);
        }
    }
    return rows;
}

QRect TranscriptView::TextArea() const {
    const QRect client = contentsRect();
    return client.adjusted(0, 0, -kScrollBarWidth, 0);
}

void TranscriptView::AppendMessage(std::string_view sender, std::string_view text) {
    std::string added(sender);
    added.append(" dit :\n").append(text).append("\n");
    AppendToText(added);
}

void TranscriptView::AppendInfo(std::string_view text) {
    std::string added("info :");
    added.append(text).append("\n");
    AppendToText(added);
}

void TranscriptView::AppendToText(const std::string& text) {
    FollowWidth();
    layout_.Append(text);
    FitContent(true);
}

// A hidden view hears of its new size only when shown; appends and paints
// see it at once.
void TranscriptView::FollowWidth() {
    const int width = TextArea().width();
    if (width == layout_.WrapWidth()) {
        return;
    }
    // Rows move: a selection's ends no longer name the same text.
    start_ = {};
    end_ = {};
    layout_.SetWrapWidth(width);
    FitContent(!scroll_bar_->isEnabled());
}

// Puts the scroll bar along the right edge and works out how far the content
// can move up; `to_bottom` shows its last row.
void TranscriptView::FitContent(bool to_bottom) {
    const QRect client = contentsRect();
    scroll_bar_->setGeometry(client.right() + 1 - kScrollBarWidth, client.top(), kScrollBarWidth,
                             client.height());
    const int overflow = layout_.Height() - client.height();
    const QSignalBlocker quiet(scroll_bar_);
    if (overflow > 0) {
        bottom_offset_ = -overflow;
        scroll_bar_->setEnabled(true);
        scroll_bar_->setRange(0, 100);
        if (to_bottom) {
            scroll_bar_->setValue(100);
        }
        offset_ = bottom_offset_ * scroll_bar_->value() / 100;
    } else {
        bottom_offset_ = 0;
        offset_ = 0;
        scroll_bar_->setEnabled(false);
        scroll_bar_->setRange(0, 0);  // a bar with nothing to scroll shows no thumb
    }
    update(TextArea());
}

void TranscriptView::ScrollTo(int position) {
    offset_ = bottom_offset_ * position / 100;  // toward zero, as the bar always counted
    update(TextArea());
}

void TranscriptView::resizeEvent(QResizeEvent*) {
    FollowWidth();
    FitContent(!scroll_bar_->isEnabled());
    update();
}

const QPixmap& TranscriptView::Picture(int bitmap) {
    QPixmap& picture = pictures_[static_cast<size_t>(bitmap - kFirstBitmap)];
    // Drawn again when the window moves to a screen of another pixel ratio.
    if (picture.isNull() || picture.devicePixelRatio() != devicePixelRatioF()) {
        picture = EmoticonPicture(bitmap, devicePixelRatioF());
    }
    return picture;
}

void TranscriptView::paintEvent(QPaintEvent* event) {
    FollowWidth();
    QPainter painter(this);
    const QRect area = TextArea();
    const QRect exposed = event->rect() & area;
    if (exposed.isEmpty()) {
        return;
    }
    painter.setClipRect(exposed);
    painter.fillRect(exposed, Qt::white);
    const std::optional<Range> range = SelectedRange();
    const auto& segments = layout_.Segments();
    const int origin = area.top() + offset_;
    // A picture reaches one pixel above its row and may reach below it.
    const int from = exposed.top() - origin - kEmoticonPictureSize;
    const int to = exposed.bottom() - origin + 1;
    for (size_t i = layout_.FirstBelow(from); i < segments.size() && segments[i].top <= to; ++i) {
        const auto selected = range ? SelectedBytes(*range, i) : std::pair<size_t, size_t>{0, 0};
        DrawSegment(painter, segments[i], origin + segments[i].top, selected);
    }
}

void TranscriptView::DrawSegment(QPainter& painter, const TranscriptSegment& segment, int y,
                                 std::pair<size_t, size_t> selected) {
    const QFont& font = fonts_.Of(segment.font);
    const QFontMetrics metrics(font);
    const int left = TextArea().left();
    const std::string_view text = segment.text;
    if (selected.first >= selected.second) {
        selected = {0, 0};  // drawn whole, as where nothing was ever selected
    }
    painter.setFont(font);
    for (const TranscriptRun& run : segment.runs) {
        const size_t sel_begin = std::clamp(selected.first, run.begin, run.end);
        const size_t sel_end = std::clamp(selected.second, run.begin, run.end);
        if (run.bitmap != 0) {
            if (sel_begin < sel_end) {
                painter.fillRect(left + run.x, y - 1, run.width, kEmoticonPictureSize, Qt::black);
            }
            painter.drawPixmap(left + run.x, y - 1, Picture(run.bitmap));
            continue;
        }
        // Up to three parts: before the selection, selected, after.
        const std::array<size_t, 4> cuts{run.begin, sel_begin, sel_end, run.end};
        int x = left + run.x;
        for (size_t part = 0; part < 3; ++part) {
            if (cuts[part] >= cuts[part + 1]) {
                continue;
            }
            const QString piece = Q(text.substr(cuts[part], cuts[part + 1] - cuts[part]));
            x = left + run.x +
                (cuts[part] == run.begin
                     ? 0
                     : measure_.Width(segment.font,
                                      text.substr(run.begin, cuts[part] - run.begin)));
            const bool is_selected = part == 1;
            if (is_selected) {
                painter.fillRect(x, y, metrics.horizontalAdvance(piece), metrics.height(),
                                 Qt::black);
                painter.setPen(Qt::white);
            } else {
                painter.setPen(TranscriptColour(segment.font));
            }
            painter.drawText(x, y + metrics.ascent(), piece);
        }
    }
}

TranscriptView::SelectionEnd TranscriptView::HitTest(QPoint at) const {
    const QRect area = TextArea();
    const std::optional<size_t> index = layout_.SegmentAt(at.y() - area.top() - offset_);
    if (!index) {
        return {};
    }
    return {index, CharacterAt(layout_.Segments()[*index], at.x() - area.left(), measure_)};
}

std::optional<TranscriptView::Range> TranscriptView::SelectedRange() const {
    if (!start_.segment || !end_.segment) {
        return std::nullopt;
    }
    const auto& segments = layout_.Segments();
    if (*start_.segment >= segments.size() || *end_.segment >= segments.size() ||
        segments[*start_.segment].unit != segments[*end_.segment].unit) {
        return std::nullopt;
    }
    const bool in_order = *start_.segment < *end_.segment ||
                          (*start_.segment == *end_.segment && start_.character <= end_.character);
    return in_order ? Range{start_, end_} : Range{end_, start_};
}

std::pair<size_t, size_t> TranscriptView::SelectedBytes(const Range& range, size_t index) const {
    if (index < *range.first.segment || index > *range.last.segment) {
        return {0, 0};
    }
    const size_t size = layout_.Segments()[index].text.size();
    const size_t begin = index == *range.first.segment ? range.first.character : 0;
    const size_t end = index == *range.last.segment ? range.last.character : size;
    return {std::min(begin, size), std::min(end, size)};
}

std::string TranscriptView::RangeText(const Range& range) const {
    std::string text;
    for (size_t i = *range.first.segment; i <= *range.last.segment; ++i) {
        const auto [begin, end] = SelectedBytes(range, i);
        if (begin < end) {
            text.append(layout_.Segments()[i].text, begin, end - begin);
        }
    }
    return text;
}

QRect TranscriptView::RangeArea(const std::optional<Range>& range) const {
    if (!range) {
        return {};
    }
    const QRect area = TextArea();
    const auto& segments = layout_.Segments();
    const int top = segments[*range->first.segment].top - 1;
    const int bottom = std::max(segments[*range->last.segment].bottom,
                                segments[*range->last.segment].top + kEmoticonPictureSize);
    return QRect(area.left(), area.top() + offset_ + top, area.width(), bottom - top) & area;
}

void TranscriptView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    button_down_ = true;
    setFocus(Qt::MouseFocusReason);
    update(RangeArea(SelectedRange()));
    start_ = end_ = HitTest(event->position().toPoint());
}

void TranscriptView::mouseMoveEvent(QMouseEvent* event) {
    if (!button_down_) {
        return;
    }
    const QRect before = RangeArea(SelectedRange());
    end_ = HitTest(event->position().toPoint());
    const std::optional<Range> range = SelectedRange();
    selected_ = range ? RangeText(*range) : std::string();
    update(QRegion(before) + RangeArea(range));
}

void TranscriptView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !button_down_) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    button_down_ = false;
    if (start_ == end_) {
        update(RangeArea(SelectedRange()));
        selected_.clear();
    }
}

void TranscriptView::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() & Qt::ControlModifier) {
        if (!selected_.empty()) {
            QApplication::clipboard()->setText(Q(selected_));
        }
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TranscriptView::focusOutEvent(QFocusEvent* event) {
    update(RangeArea(SelectedRange()));
    start_ = {};
    end_ = {};
    selected_.clear();
    QWidget::focusOutEvent(event);
}

void TranscriptView::wheelEvent(QWheelEvent* event) {
    if (scroll_bar_->isEnabled()) {
        QApplication::sendEvent(scroll_bar_, event);
    }
}

}  // namespace parlo::client
