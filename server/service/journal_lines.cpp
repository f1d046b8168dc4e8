#include "server/service/journal_lines.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace parlo::server {

bool StdoutIsJournal() {
    const char* stream = std::getenv("JOURNAL_STREAM");
    unsigned long long device = 0;
    unsigned long long inode = 0;
    struct stat out {};
    return stream != nullptr && std::sscanf(stream, "%llu:%llu", &device, &inode) == 2 &&
           ::fstat(STDOUT_FILENO, &out) == 0 && out.st_dev == device && out.st_ino == inode;
}

bool IsWarningLine(std::string_view line) {
    // The server's lines carry no level: these are the words of its
    // warnings and errors (refused starts and commands, failed saves and
    // listens, damaged files, limits).
    static constexpr std::string_view kMarks[] = {
        "refusé",    "Impossible",   "impossible", "échoué", "non sauvé",    "Abandon", "illisible",
        "incomplet", "mise de côté", "fermée",     "trop",   "indisponible", "erreur"};
    if (line.find(" dit à ") != std::string_view::npos) {
        return false;  // a conversation line: its text is the users'
    }
    for (const std::string_view mark : kMarks) {
        if (line.find(mark) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace parlo::server
