// The credits box of both programs: a modal dialog whose marked-up text
// scrolls slowly upwards and starts again once it has gone.
#pragma once

#include <QDialog>
#include <QFont>
#include <QTimer>
#include <QWidget>

#include <string>
#include <vector>

#include "shared_ui/credits_markup.h"

class QPushButton;

namespace parlo::ui {

// The scrolling view. Scrolling moves the pixels already drawn and repaints
// only the strip that was uncovered.
class CreditsView : public QWidget {
    Q_OBJECT

  public:
    explicit CreditsView(QWidget* parent = nullptr);

    void SetText(std::string_view text);
    // One step of `d` pixels (negative moves the text up).
    void ScrollBy(int d);

    int Offset() const { return scroll_.Offset(); }
    int TextHeight() const { return scroll_.TextHeight(); }

    // The font lines of `font` are drawn in.
    const QFont& FontOf(CreditsFont font) const;

    QSize sizeHint() const override { return {280, 210}; }

    struct Face {
        QFont font;
        int lift = 0;  // pixels from the box's top to where the font's ascent starts
    };

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::string text_;
    std::vector<CreditsLine> lines_;
    CreditsScroll scroll_;
    Face bold_;
    Face normal_;
};

class CreditsBox : public QDialog {
    Q_OBJECT

  public:
    explicit CreditsBox(QWidget* parent = nullptr);

    // One timer tick: the pause first, then one pixel up.
    void Tick();
    CreditsView& View() { return *view_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    CreditsView* view_;
    QPushButton* ok_;
    QTimer timer_;
    CreditsPause pause_;
};

// Opens the credits box modally; returns when "OK" or Escape is pressed.
void ShowCreditsBox(QWidget* parent);

}  // namespace parlo::ui
