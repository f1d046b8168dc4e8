#include "server/log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace parlo::server {

std::string LogTimeStamp(std::time_t when) {
    std::tm utc{};
    gmtime_r(&when, &utc);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "(%.2d:%.2d:%.2d) ", utc.tm_hour, utc.tm_min, utc.tm_sec);
    return stamp;
}

ServerLog::ServerLog(std::filesystem::path file, Clock clock, Sink sink)
    : file_(std::move(file)), clock_(std::move(clock)), sink_(std::move(sink)) {}

void ServerLog::Write(std::string_view message) {
    line_ = LogTimeStamp(clock_());
    line_.append(message);
    line_.push_back('\n');
    // Opened and closed around each line, so other programs can read the
    // file at any time; plain system calls keep that cheap. O_APPEND writes
    // the whole line at the end in one step.
    const int fd = ::open(file_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        size_t written = 0;
        while (written < line_.size()) {
            const ssize_t n = ::write(fd, line_.data() + written, line_.size() - written);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            written += static_cast<size_t>(n);
        }
        ::close(fd);
    }
    if (sink_) {
        sink_(std::string_view(line_).substr(0, line_.size() - 1));
    }
}

}  // namespace parlo::server
