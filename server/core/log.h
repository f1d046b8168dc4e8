// The server log: each message time-stamped with the UTC time of day and
// appended to Log.txt, then handed to a sink (the console). Each line is
// written at once (one unbuffered write), or, for a program that flushes
// the log before its loop waits for events, the lines of one loop turn are
// written together (one write per turn), so other programs can read the
// whole file whenever the server waits.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

namespace parlo::server {

// "(hh:mm:ss) " for the UTC time of `when`.
std::string LogTimeStamp(std::time_t when);

// Appends `text` with every control character (bytes below 0x20, and 0x7F)
// replaced by a visible escape: "\n", "\r", "\t", else "\xHH". Text that came
// from a client can then never start a line of its own.
void AppendEscaped(std::string& out, std::string_view text);

class ServerLog {
  public:
    using Clock = std::function<std::time_t()>;
    using Sink = std::function<void(std::string_view line)>;

    ServerLog(std::filesystem::path file, Clock clock, Sink sink);

    // Writes stamp + message + LF to the file (a failing file only loses its
    // line) and passes stamp + message to the sink. Control characters in the
    // message are escaped (AppendEscaped).
    void Write(std::string_view message);
    // The same for a message of several lines (each escaped), joined by line
    // feeds: only the first carries the stamp.
    void WriteLines(std::initializer_list<std::string_view> lines);

    // From now on the lines wait in memory and leave together at the next
    // Flush, in one write. The program then calls Flush before its loop
    // waits for events (and the log flushes itself when destroyed). Lines
    // held past kFlushAtBytes are written at once.
    void HoldUntilFlush() { hold_ = true; }
    static constexpr size_t kFlushAtBytes = 64 * 1024;
    // Writes the lines held (nothing when none).
    void Flush();

    ~ServerLog();
    ServerLog(const ServerLog&) = delete;
    ServerLog& operator=(const ServerLog&) = delete;

  private:
    // The descriptor of Log.txt, opened on first use and kept open; -1 when
    // closed. Before every write it is checked to still be the file the name
    // leads to (else reopened), and it is reopened after a failed write.
    int OpenFile();
    void CloseFile();
    // False only when the watch on the open file has seen nothing happen.
    bool FileMayHaveChanged();
    // Empties the watch and compares the name's file with the open one.
    bool StillTheOpenFile();
    // Appends `bytes` (whole lines) to the file; a failing file only loses
    // them and is opened again next time.
    void WriteToFile(std::string_view bytes);
    // The time stamp of `now`, made again only when the second changes.
    std::string_view StampOf(std::time_t now);

    std::filesystem::path file_;
    int fd_ = -1;
    int watch_ = -1;             // inotify watch of the open file; -1: none
    uint32_t signals_seen_ = 0;  // SIGIO count when last checked
    ino_t inode_ = 0;            // identity of the open file
    dev_t device_ = 0;
    Clock clock_;
    Sink sink_;
    std::string line_;  // reused line buffer
    bool hold_ = false;
    std::string held_;  // lines waiting for Flush
    std::time_t stamp_time_ = -1;
    std::string stamp_;  // LogTimeStamp(stamp_time_)
};

}  // namespace parlo::server
