#include "server/core/log.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace parlo::server {

namespace {

// Whether one of the eight bytes at `at` is a control byte (below 0x20, or
// 0x7F): the test of AppendEscaped, a word at a time. A byte below N makes
// (byte - N) borrow into its high bit while its own high bit is clear.
bool HasControlByte(const char* at) {
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHighBits = kOnes * 0x80;
    uint64_t word;
    std::memcpy(&word, at, sizeof word);
    const uint64_t below_space = (word - kOnes * 0x20) & ~word & kHighBits;
    const uint64_t del = word ^ (kOnes * 0x7F);  // 0x7F bytes become zero
    const uint64_t is_del = (del - kOnes) & ~del & kHighBits;
    return (below_space | is_del) != 0;
}

}  // namespace

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
        while (k + sizeof(uint64_t) <= text.size() && !HasControlByte(text.data() + k)) {
            k += sizeof(uint64_t);  // eight plain bytes
        }
        if (k == text.size()) {
            break;
        }
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
    Flush();
    CloseFile();
}

namespace {

// Counts the signals the watch raises. Written only by the handler, read by
// the writers: one relaxed load per line.
std::atomic<uint32_t> g_watch_signals{0};
static_assert(std::atomic<uint32_t>::is_always_lock_free);

void OnWatchSignal(int) {
    g_watch_signals.fetch_add(1, std::memory_order_relaxed);
}

// The program's one inotify instance, raising SIGIO for every event; -1 when
// it cannot be had (the program has its own SIGIO handler, or inotify is
// unavailable). Never closed: closing an instance waits for the kernel to
// quiesce, which can take milliseconds.
int SignallingWatch() {
    static const int watch = [] {
        struct sigaction current {};
        if (::sigaction(SIGIO, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) {
            return -1;
        }
        const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd < 0) {
            return -1;
        }
        struct sigaction action {};
        action.sa_handler = OnWatchSignal;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        if (::sigaction(SIGIO, &action, nullptr) != 0 || ::fcntl(fd, F_SETOWN, ::getpid()) != 0 ||
            ::fcntl(fd, F_SETFL, O_NONBLOCK | O_ASYNC) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }();
    return watch;
}

}  // namespace

void ServerLog::CloseFile() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (watch_ >= 0) {
        ::inotify_rm_watch(SignallingWatch(), watch_);
        watch_ = -1;
    }
}

bool ServerLog::FileMayHaveChanged() {
    if (watch_ < 0) {
        return true;  // no watch: compare names at every line
    }
    // The watch queues an event when the open file is moved, unlinked or has
    // its attributes changed, and raises SIGIO when it does: between events,
    // checking costs one load, no system call.
    const uint32_t seen = g_watch_signals.load(std::memory_order_relaxed);
    if (seen == signals_seen_) {
        return false;
    }
    signals_seen_ = seen;
    return true;
}

bool ServerLog::StillTheOpenFile() {
    if (watch_ >= 0) {
        // Events only ever lead to this comparison: empty the queue.
        char events[4096];
        while (::read(SignallingWatch(), events, sizeof events) > 0) {
        }
    }
    struct stat by_path {};
    return ::stat(file_.c_str(), &by_path) == 0 && by_path.st_ino == inode_ &&
           by_path.st_dev == device_;
}

int ServerLog::OpenFile() {
    // Someone may have moved or deleted Log.txt (rotation, clean-up): the
    // line then goes to a new file at the same path, as it would if the file
    // were opened for each line.
    if (fd_ >= 0 && FileMayHaveChanged() && !StillTheOpenFile()) {
        CloseFile();
    }
    if (fd_ >= 0) {
        return fd_;
    }
    // Holds what users wrote: private to the server, and a symbolic link put
    // in its place is not followed.
    fd_ = ::open(file_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0) {
        return fd_;
    }
    struct stat by_fd {};
    if (::fstat(fd_, &by_fd) != 0) {
        CloseFile();
        return fd_;
    }
    inode_ = by_fd.st_ino;
    device_ = by_fd.st_dev;
    // Read before the watch is added: a signal raised from now on is seen.
    signals_seen_ = g_watch_signals.load(std::memory_order_relaxed);
    if (const int instance = SignallingWatch(); instance >= 0) {
        watch_ =
            ::inotify_add_watch(instance, file_.c_str(), IN_MOVE_SELF | IN_DELETE_SELF | IN_ATTRIB);
    }
    // The file may have moved between the open and the watch.
    if (!StillTheOpenFile()) {
        CloseFile();
    }
    return fd_;
}

void ServerLog::Write(std::string_view message) {
    WriteLines({message});
}

std::string_view ServerLog::StampOf(std::time_t now) {
    if (now != stamp_time_) {
        stamp_time_ = now;
        stamp_ = LogTimeStamp(now);
    }
    return stamp_;
}

void ServerLog::WriteLines(std::initializer_list<std::string_view> lines) {
    line_ = StampOf(clock_());
    bool first = true;
    for (const std::string_view line : lines) {
        if (!first) {
            line_.push_back('\n');
        }
        first = false;
        AppendEscaped(line_, line);
    }
    line_.push_back('\n');
    if (hold_) {
        held_.append(line_);
        if (held_.size() >= kFlushAtBytes) {
            Flush();
        }
    } else {
        WriteToFile(line_);
    }
    if (sink_) {
        sink_(std::string_view(line_).substr(0, line_.size() - 1));
    }
}

void ServerLog::Flush() {
    if (held_.empty()) {
        return;
    }
    WriteToFile(held_);
    held_.clear();
}

void ServerLog::WriteToFile(std::string_view bytes) {
    // O_APPEND writes the whole text at the end in one step; nothing stays
    // in a library buffer, so the file is complete after every write.
    const int fd = OpenFile();
    if (fd < 0) {
        return;
    }
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            CloseFile();
            return;
        }
        written += static_cast<size_t>(n);
    }
}

}  // namespace parlo::server
