// The server log: each message time-stamped with the UTC time of day and
// appended to Log.txt (the file opened and closed around each line, so other
// programs can read it at any time), then handed to a sink (the console).
#pragma once

#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace parlo::server {

// "(hh:mm:ss) " for the UTC time of `when`.
std::string LogTimeStamp(std::time_t when);

class ServerLog {
  public:
    using Clock = std::function<std::time_t()>;
    using Sink = std::function<void(std::string_view line)>;

    ServerLog(std::filesystem::path file, Clock clock, Sink sink);

    // Writes stamp + message + LF to the file (a failing file only loses its
    // line) and passes stamp + message to the sink.
    void Write(std::string_view message);

  private:
    std::filesystem::path file_;
    Clock clock_;
    Sink sink_;
    std::string line_;  // reused line buffer
};

}  // namespace parlo::server
