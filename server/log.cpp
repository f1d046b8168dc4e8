#include "server/log.h"

#include <cstdio>
#include <memory>

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
    {
        struct Closer {
            void operator()(std::FILE* file) const { std::fclose(file); }
        };
        const std::unique_ptr<std::FILE, Closer> file(std::fopen(file_.c_str(), "ab"));
        if (file) {
            std::fwrite(line_.data(), 1, line_.size(), file.get());
        }
    }
    if (sink_) {
        sink_(std::string_view(line_).substr(0, line_.size() - 1));
    }
}

}  // namespace parlo::server
