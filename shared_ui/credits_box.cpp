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

// "14 pixels high" is the height of the character cell, as each line's box
// is: the largest size whose cell fits, so no glyph reaches the next line.
QFont CreditsFontOf(QFont::Weight weight) {
    QFont font(QStringLiteral("Arial"));
    font.setWeight(weight);
    font.setStyleStrategy(QFont::PreferAntialias);
    for (int size = kCreditsLineHeight; size > 6; --size) {
        font.setPixelSize(size);
        if (QFontMetrics(font).height() <= kCreditsLineHeight) {
            break;
        }
    }
    return font;
}

}  // namespace

CreditsView::CreditsView(QWidget* parent)
    : QWidget(parent),
      bold_(CreditsFontOf(QFont::DemiBold)),
      normal_(CreditsFontOf(QFont::Medium)) {
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

void CreditsView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect area = event->rect();
    painter.fillRect(area, palette().color(QPalette::Button));
    painter.setPen(Qt::black);
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
            painter.setFont(line.font == CreditsFont::kBold ? bold_ : normal_);
            painter.drawText(
                box, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextShowMnemonic,
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
