// The history's lines as text: times as the window shows them, and the plain
// UTF-8 text "Exporter…" writes.
#pragma once

#include <QtGlobal>
#include <span>
#include <string>

#include "client/history/history_store.h"

namespace parlo::client {

// "14:05" and "09/12/2026 14:05" in local time.
std::string TimeOfDay(qint64 time_ms);
std::string DateAndTime(qint64 time_ms);

// "[14:05] bob" for a message's header, or "[14:05] bob s'est joint…" for an
// information line: what the transcript shows before "dit :" or after
// "info :".
std::string StampedSender(const StoredLine& line);
std::string StampedInfo(const StoredLine& line);

// "Conversation avec bob, carl, 09/12/2026 14:05", then each line as the
// window shows it.
std::string ExportText(const ConversationSummary& conversation, std::span<const StoredLine> lines);

}  // namespace parlo::client
