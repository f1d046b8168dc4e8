// The server log: each message time-stamped with the UTC time of day and
// appended to Log.txt (one unbuffered write per line, so other programs can
// read it at any time), then handed to a sink (the console).
#pragma once

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

    ~ServerLog();
    ServerLog(const ServerLog&) = delete;
    ServerLog& operator=(const ServerLog&) = delete;

  private:
    // The descriptor of Log.txt, opened on first use and kept open; -1 when
    // closed. Reopened when the file was moved or deleted (checked at most
    // once a second) or a write failed.
    int OpenFile(std::time_t now);
    void CloseFile();

    std::filesystem::path file_;
    int fd_ = -1;
    std::time_t checked_at_ = 0;
    Clock clock_;
    Sink sink_;
    std::string line_;  // reused line buffer
};

}  // namespace parlo::server
