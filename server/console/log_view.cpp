#include "server/console/log_view.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace parlo::server {

LogView::LogView(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setUndoRedoEnabled(false);
    // Long lines wrap, at a space when they can: never a sideways scroll.
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    flush_timer_.setSingleShot(true);
    flush_timer_.setInterval(kFlushIntervalMs);
    connect(&flush_timer_, &QTimer::timeout, this, &LogView::Flush);
}

void LogView::AppendLine(std::string_view line) {
    pending_.push_back(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
    pending_size_ += static_cast<int>(pending_.back().size()) + 1;
    // Lines that would be cut at once anyway are not kept waiting.
    while (pending_size_ - static_cast<int>(pending_.front().size()) - 1 >= kMaxCharacters) {
        pending_size_ -= static_cast<int>(pending_.front().size()) + 1;
        pending_.pop_front();
    }
    if (!flush_timer_.isActive()) {
        flush_timer_.start();
    }
}

void LogView::Flush() {
    flush_timer_.stop();
    if (pending_.empty()) {
        return;
    }
    QString block;
    block.reserve(pending_size_);
    for (auto it = pending_.rbegin(); it != pending_.rend(); ++it) {
        block += *it;
        block += QLatin1Char('\n');
    }
    pending_.clear();
    pending_size_ = 0;

    QTextDocument* doc = document();
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::Start);
    cursor.insertText(block);
    const int count = doc->characterCount() - 1;
    if (count > kMaxCharacters) {
        cursor.setPosition(kMaxCharacters);
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    cursor.endEditBlock();
}

int LogView::CharacterCount() const {
    // The document counts one separator per block plus a final one.
    return document()->characterCount() - 1;
}

}  // namespace parlo::server
