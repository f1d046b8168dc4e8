#include "client/history/history_text.h"

#include <QDateTime>

#include "client/core/qt_text.h"

namespace parlo::client {

std::string TimeOfDay(qint64 time_ms) {
    return Utf8(QDateTime::fromMSecsSinceEpoch(time_ms).toString(QStringLiteral("HH:mm")));
}

std::string DateAndTime(qint64 time_ms) {
    return Utf8(
        QDateTime::fromMSecsSinceEpoch(time_ms).toString(QStringLiteral("dd/MM/yyyy HH:mm")));
}

namespace {

// "[14:05] " then `text`.
std::string Stamped(qint64 time_ms, std::string_view text) {
    std::string stamped("[");
    stamped.append(TimeOfDay(time_ms)).append("] ").append(text);
    return stamped;
}

}  // namespace

std::string StampedSender(const StoredLine& line) {
    return Stamped(line.time_ms, line.sender);
}

std::string StampedInfo(const StoredLine& line) {
    return Stamped(line.time_ms, line.text);
}

std::string ExportText(const ConversationSummary& conversation, std::span<const StoredLine> lines) {
    std::string text("Conversation avec ");
    text.append(conversation.participants)
        .append(", ")
        .append(DateAndTime(conversation.started_ms))
        .append("\n\n");
    for (const StoredLine& line : lines) {
        if (line.kind == LineKind::kMessage) {
            text.append(StampedSender(line)).append(" dit :\n").append(line.text).append("\n");
        } else {
            text.append("info :").append(StampedInfo(line)).append("\n");
        }
    }
    return text;
}

}  // namespace parlo::client
