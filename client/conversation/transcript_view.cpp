// Plain placeholder: draws the transcript as plain lines until the painted
// view lands.
#include "client/conversation/transcript_view.h"

#include <QPainter>

namespace parlo::client {

TranscriptView::TranscriptView(QWidget* parent) : QWidget(parent) {}

void TranscriptView::AppendMessage(std::string_view sender, std::string_view text) {
    text_.append(sender).append(" dit :\n").append(text).append("\n");
    update();
}

void TranscriptView::AppendInfo(std::string_view text) {
    text_.append("info :").append(text).append("\n");
    update();
}

void TranscriptView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignBottom,
                     QString::fromUtf8(text_.data(), static_cast<qsizetype>(text_.size())));
}

}  // namespace parlo::client
