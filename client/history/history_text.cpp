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

std::string StampedSender(const StoredLine& line) {
    return "[" + TimeOfDay(line.time_ms) + "] " + line.sender;
}

std::string StampedInfo(const StoredLine& line) {
    return "[" + TimeOfDay(line.time_ms) + "] " + line.text;
}

std::string ExportText(const ConversationSummary& conversation, std::span<const StoredLine> lines) {
    std::string text = "Conversation avec " + conversation.participants + ", " +
                       DateAndTime(conversation.started_ms) + "\n\n";
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
