#include "server/core/log.h"

#include <fcntl.h>
#include <sys/stat.h>
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

void AppendEscaped(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    size_t plain = 0;  // start of the run of bytes copied as they are
    for (size_t k = 0; k < text.size(); ++k) {
        const auto c = static_cast<unsigned char>(text[k]);
        if (c >= 0x20 && c != 0x7F) {
            continue;
        }
        out.append(text.substr(plain, k - plain));
        plain = k + 1;
        switch (c) {
            case '\n':
                out.append("\\n");
                break;
            case '\r':
                out.append("\\r");
                break;
            case '\t':
                out.append("\\t");
                break;
            default:
                out.append("\\x");
                out.push_back(kHex[c >> 4]);
                out.push_back(kHex[c & 0xF]);
        }
    }
    out.append(text.substr(plain));
}

ServerLog::ServerLog(std::filesystem::path file, Clock clock, Sink sink)
    : file_(std::move(file)), clock_(std::move(clock)), sink_(std::move(sink)) {}

ServerLog::~ServerLog() {
    CloseFile();
}

void ServerLog::CloseFile() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

int ServerLog::OpenFile(std::time_t now) {
    if (fd_ >= 0 && now != checked_at_) {
        // Someone may have moved or deleted Log.txt (rotation, clean-up):
        // lines then go to a new file at the same path, as they would if the
        // file were opened for each line.
        checked_at_ = now;
        struct stat by_path {};
        struct stat by_fd {};
        if (::stat(file_.c_str(), &by_path) != 0 || ::fstat(fd_, &by_fd) != 0 ||
            by_path.st_ino != by_fd.st_ino || by_path.st_dev != by_fd.st_dev) {
            CloseFile();
        }
    }
    if (fd_ < 0) {
        fd_ = ::open(file_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        checked_at_ = now;
    }
    return fd_;
}

void ServerLog::Write(std::string_view message) {
    WriteLines({message});
}

void ServerLog::WriteLines(std::initializer_list<std::string_view> lines) {
    const std::time_t now = clock_();
    line_ = LogTimeStamp(now);
    bool first = true;
    for (const std::string_view line : lines) {
        if (!first) {
            line_.push_back('\n');
        }
        first = false;
        AppendEscaped(line_, line);
    }
    line_.push_back('\n');
    // O_APPEND writes the whole line at the end in one step; nothing is
    // buffered, so the file is complete after every line. A failing file
    // only loses its line and is opened again for the next one.
    const int fd = OpenFile(now);
    if (fd >= 0) {
        size_t written = 0;
        while (written < line_.size()) {
            const ssize_t n = ::write(fd, line_.data() + written, line_.size() - written);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                CloseFile();
                break;
            }
            written += static_cast<size_t>(n);
        }
    }
    if (sink_) {
        sink_(std::string_view(line_).substr(0, line_.size() - 1));
    }
}

}  // namespace parlo::server
