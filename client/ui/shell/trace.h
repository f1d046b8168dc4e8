// One line on standard error per shell event (window shown, hidden, raised,
// hand-over to a running copy) when PARLOMATIC_TRACE is set; the process tests
// read it to see what a user would see.
#pragma once

namespace parlo::client {

void ShellTrace(const char* event);

}  // namespace parlo::client
