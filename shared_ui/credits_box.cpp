#include "shared_ui/credits_box.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace parlo::ui {
namespace {

// Glyphs that reach highest and lowest in the French texts shown: accented
// capitals, the cedilla and the descenders.
constexpr QStringView kTallAndDeep = u"ÉÈÊËÀÂÎÏÔÛÙÇgjpqy";

// "14 pixels high" is the height of each line's box, which every glyph must
// fit: the largest size at which the accents of capitals (often above the
// font's ascent) and the descenders all stay inside 14 pixels. The lift
// moves the baseline down by what the accents reach above the ascent.
CreditsView::Face CreditsFaceOf(QFont::Weight weight) {
    QFont font;
    // Arial, else the Arial-compatible Liberation Sans, else DejaVu Sans: a
    // family with real bold and normal faces, so that weight 600 reads bold.
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(weight);
    font.setStyleStrategy(QFont::PreferAntialias);
    int lift = 0;
    for (int size = kCreditsLineHeight; size > 6; --size) {
        font.setPixelSize(size);
        const QFontMetrics metrics(font);
        const QRect ink = metrics.tightBoundingRect(kTallAndDeep.toString());
        const int above = std::max(metrics.ascent(), -ink.top());  // rows above the baseline
        const int below = std::max(metrics.descent(), ink.bottom() + 1);
        lift = above - metrics.ascent();
        if (above + below <= kCreditsLineHeight) {
            break;
        }
    }
    return {font, lift};
}

}  // namespace

CreditsView::CreditsView(QWidget* parent)
    : QWidget(parent),
      bold_(CreditsFaceOf(QFont::DemiBold)),
      normal_(CreditsFaceOf(QFont::Medium)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CreditsView::SetText(std::string_view text) {
    text_.assign(text);
    lines_ = LayoutCredits(text_);
    scroll_.Reset(CreditsTextHeight(text_));
    update();
}

void CreditsView::ScrollBy(int d) {
    if (scroll_.Scroll(d, height()) == CreditsScroll::Step::kRestarted) {
        repaint();
        return;
    }
    scroll(0, d);
    const CreditsStrip strip = UncoveredStrip(d, height());
    repaint(QRect(0, strip.top, width(), strip.bottom - strip.top));
}

const QFont& CreditsView::FontOf(CreditsFont font) const {
    return font == CreditsFont::kBold ? bold_.font : normal_.font;
}

void CreditsView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect area = event->rect();
    // The palette's text colour for its button face: black on a light
    // palette, readable on a dark one too.
    painter.fillRect(area, palette().color(QPalette::Button));
    painter.setPen(palette().color(QPalette::ButtonText));
    painter.setRenderHint(QPainter::TextAntialiasing);

    const int bottom = height();
    int y = scroll_.Offset();
    for (const CreditsLine& line : lines_) {
        if (y >= bottom) {
            break;
        }
        const int box_bottom = std::min(y + kCreditsLineHeight, bottom - 1);
        const bool above_top = y + kCreditsLineHeight <= 0;
        const QRect box(0, y, width(), box_bottom - y);
        if (!above_top && !line.text.empty() && box.adjusted(0, -2, 0, 2).intersects(area)) {
            const Face& face = line.font == CreditsFont::kBold ? bold_ : normal_;
            painter.setFont(face.font);
            // At the top of its box, as every strip paint must place it alike
            // however much of the box is cut by the bottom edge.
            painter.drawText(
                box.translated(0, face.lift),
                Qt::AlignHCenter | Qt::AlignTop | Qt::TextShowMnemonic,
                QString::fromUtf8(line.text.data(), static_cast<qsizetype>(line.text.size())));
        }
        y += kCreditsLineHeight;
    }
}

CreditsBox::CreditsBox(QWidget* parent)
    : QDialog(parent), view_(new CreditsView(this)), ok_(new QPushButton(tr("OK"), this)) {
    setWindowTitle(QStringLiteral("Parlomatik - Crédits"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_, 1);
    layout->addWidget(ok_, 0, Qt::AlignHCenter);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

    view_->SetText(CreditsText());
    timer_.setInterval(kCreditsTickMs);
    connect(&timer_, &QTimer::timeout, this, &CreditsBox::Tick);
}

void CreditsBox::Tick() {
    if (pause_.Tick()) {
        view_->ScrollBy(-1);
    }
}

void CreditsBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    pause_.Reset();
    timer_.start();
}

void CreditsBox::hideEvent(QHideEvent* event) {
    timer_.stop();
    QDialog::hideEvent(event);
}

void ShowCreditsBox(QWidget* parent) {
    CreditsBox box(parent);
    box.adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = box.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        box.move(frame.topLeft());
    }
    box.exec();
}

}  // namespace parlo::ui
