// What the headless server prints when its standard output is the journal:
// Log.txt keeps every line, the journal only what an administrator must see.
#pragma once

#include <string_view>

namespace parlo::server {

// True when standard output is the journal's stream ($JOURNAL_STREAM names
// its device and inode, as systemd sets it for a service).
bool StdoutIsJournal();

// Whether a log line reports a warning or an error: a refusal, a failure,
// damaged data, a limit reached. Conversation lines never do, whatever
// their text says.
bool IsWarningLine(std::string_view line);

}  // namespace parlo::server
