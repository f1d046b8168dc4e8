#include "server/line_output.h"

#include <limits.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>

namespace parlo::server {
namespace {

// A terminal takes only a small amount once it says it is writable.
constexpr size_t kTerminalChunk = 256;

bool Writable(int fd, int timeout_ms) {
    pollfd poll_fd{fd, POLLOUT, 0};
    return poll(&poll_fd, 1, timeout_ms) == 1 && (poll_fd.revents & POLLOUT) != 0;
}

}  // namespace

LineOutput::LineOutput(int fd) : fd_(fd) {
    struct stat info {};
    if (fstat(fd, &info) == 0) {
        socket_ = S_ISSOCK(info.st_mode);
        regular_file_ = S_ISREG(info.st_mode);
        pipe_ = S_ISFIFO(info.st_mode);
        struct stat null_device {};
        null_device_ = S_ISCHR(info.st_mode) && stat("/dev/null", &null_device) == 0 &&
                       S_ISCHR(null_device.st_mode) && info.st_rdev == null_device.st_rdev;
    }
    terminal_ = isatty(fd) == 1;
}

void LineOutput::Add(std::string_view line) {
    if (null_device_) {
        return;
    }
    if (start_ > 0 && start_ >= backlog_.size() / 2) {
        backlog_.erase(0, start_);
        start_ = 0;
    }
    // Once lines are dropped, the next ones are too until the count is out,
    // so the count stands where the gap is.
    if (dropped_ > 0 || backlog_.size() - start_ + line.size() + 1 > kMaxBacklogBytes) {
        ++dropped_;
        return;
    }
    backlog_.append(line);
    backlog_.push_back('\n');
}

size_t LineOutput::SafeChunk() const {
    if (regular_file_ || socket_) {
        return backlog_.size() - start_;  // never blocks (a socket: MSG_DONTWAIT)
    }
    return terminal_ ? kTerminalChunk : PIPE_BUF;
}

bool LineOutput::Flush() {
    while (true) {
        if (start_ == backlog_.size()) {
            backlog_.clear();
            start_ = 0;
            if (dropped_ == 0) {
                return true;
            }
            backlog_ = std::to_string(dropped_) +
                       " lignes du journal non écrites ici (sortie standard non lue), voir "
                       "Log.txt\n";
            dropped_ = 0;
        }
        const char* data = backlog_.data() + start_;
        const size_t left = backlog_.size() - start_;
        ssize_t written;
        if (socket_) {
            written = send(fd_, data, left, MSG_DONTWAIT | MSG_NOSIGNAL);
        } else {
            if (!regular_file_ && !Writable(fd_, 0)) {
                return false;
            }
            written = write(fd_, data, std::min(left, SafeChunk()));
        }
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {  // a full pipe
            return false;
        }
        if (written <= 0) {
            // Nobody will ever read (closed, or an error): nothing is kept.
            backlog_.clear();
            start_ = 0;
            dropped_ = 0;
            return true;
        }
        start_ += static_cast<size_t>(written);
    }
}

void LineOutput::Drain(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!Flush() && std::chrono::steady_clock::now() < end) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        Writable(fd_, static_cast<int>(std::max<int64_t>(1, left.count())));
    }
}

}  // namespace parlo::server
