#include "client/ui/shell/trace.h"

#include <QtGlobal>

#include <cstdio>

namespace parlo::client {

void ShellTrace(const char* event) {
    static const bool enabled = !qEnvironmentVariableIsEmpty("PARLOMATIC_TRACE");
    if (enabled) {
        std::fprintf(stderr, "parlomatic: %s\n", event);
        std::fflush(stderr);
    }
}

}  // namespace parlo::client
