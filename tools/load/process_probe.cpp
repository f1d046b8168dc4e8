#include "tools/load/process_probe.h"

#include <charconv>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

namespace parlo::load {

namespace {

std::optional<uint64_t> ParseUnsigned(std::string_view text) {
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data()) {
        return std::nullopt;
    }
    return value;
}

std::string ReadSmallFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::string ProcPath(pid_t pid, const char* leaf) {
    return "/proc/" + std::to_string(pid) + "/" + leaf;
}

}  // namespace

std::optional<uint64_t> ParseCpuTicks(std::string_view stat_text) {
    const size_t paren = stat_text.rfind(')');
    if (paren == std::string_view::npos) {
        return std::nullopt;
    }
    // After ") " come field 3 (state) onwards; utime and stime are fields 14
    // and 15 of the whole line.
    std::string_view rest = stat_text.substr(paren + 1);
    std::optional<uint64_t> utime;
    int field = 2;
    while (!rest.empty()) {
        const size_t start = rest.find_first_not_of(' ');
        if (start == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(start);
        const size_t end = std::min(rest.find(' '), rest.size());
        const std::string_view token = rest.substr(0, end);
        rest.remove_prefix(end);
        ++field;
        if (field == 14) {
            utime = ParseUnsigned(token);
        } else if (field == 15) {
            const std::optional<uint64_t> stime = ParseUnsigned(token);
            if (!utime || !stime) {
                return std::nullopt;
            }
            return *utime + *stime;
        }
    }
    return std::nullopt;
}

std::optional<uint64_t> ParseVmRssKiB(std::string_view status_text) {
    constexpr std::string_view kKey = "VmRSS:";
    size_t at = 0;
    while (at < status_text.size()) {
        const size_t end = std::min(status_text.find('\n', at), status_text.size());
        std::string_view line = status_text.substr(at, end - at);
        at = end + 1;
        if (!line.starts_with(kKey)) {
            continue;
        }
        line.remove_prefix(kKey.size());
        const size_t digits = line.find_first_not_of(" \t");
        if (digits == std::string_view::npos) {
            return std::nullopt;
        }
        line.remove_prefix(digits);
        const std::optional<uint64_t> value = ParseUnsigned(line);
        if (!value || !line.ends_with(" kB")) {
            return std::nullopt;
        }
        return value;
    }
    return std::nullopt;
}

std::optional<double> ReadCpuSeconds(pid_t pid) {
    const std::optional<uint64_t> ticks = ParseCpuTicks(ReadSmallFile(ProcPath(pid, "stat")));
    const long per_second = sysconf(_SC_CLK_TCK);
    if (!ticks || per_second <= 0) {
        return std::nullopt;
    }
    return static_cast<double>(*ticks) / static_cast<double>(per_second);
}

std::optional<uint64_t> ReadRssKiB(pid_t pid) {
    return ParseVmRssKiB(ReadSmallFile(ProcPath(pid, "status")));
}

std::optional<uint64_t> ParseKeyedCount(std::string_view text, std::string_view key) {
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = std::min(text.find('\n', at), text.size());
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (!line.starts_with(key)) {
            continue;
        }
        line.remove_prefix(key.size());
        line.remove_prefix(std::min(line.find_first_not_of(" \t"), line.size()));
        return ParseUnsigned(line);
    }
    return std::nullopt;
}

std::optional<CallCounts> ReadCallCounts(pid_t pid) {
    const std::string io = ReadSmallFile(ProcPath(pid, "io"));
    const std::string status = ReadSmallFile(ProcPath(pid, "status"));
    const auto reads = ParseKeyedCount(io, "syscr:");
    const auto writes = ParseKeyedCount(io, "syscw:");
    const auto sleeps = ParseKeyedCount(status, "voluntary_ctxt_switches:");
    if (!reads || !writes || !sleeps) {
        return std::nullopt;
    }
    return CallCounts{*reads, *writes, *sleeps};
}

char ParseProcessState(std::string_view stat_text) {
    const size_t paren = stat_text.rfind(')');
    if (paren == std::string_view::npos || paren + 2 >= stat_text.size() ||
        stat_text[paren + 1] != ' ') {
        return 0;
    }
    return stat_text[paren + 2];
}

bool ProcessRunning(pid_t pid) {
    if (pid <= 0) {
        return false;
    }
    const char state = ParseProcessState(ReadSmallFile(ProcPath(pid, "stat")));
    return state != 0 && state != 'Z' && state != 'X';
}

uint64_t RaiseOpenFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return 0;
    }
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        getrlimit(RLIMIT_NOFILE, &limit);
    }
    return limit.rlim_cur;
}

std::optional<int64_t> ReadListenOverflows() {
    // Two "TcpExt:" lines: the names, then the values in the same order.
    const std::string text = ReadSmallFile("/proc/net/netstat");
    const size_t names = text.find("TcpExt:");
    const size_t values = text.find("TcpExt:", names + 1);
    if (names == std::string::npos || values == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream name_line(text.substr(names, text.find('\n', names) - names));
    std::istringstream value_line(text.substr(values, text.find('\n', values) - values));
    std::string name;
    std::string value;
    while (name_line >> name && value_line >> value) {
        if (name == "ListenOverflows") {
            const auto count = ParseUnsigned(value);
            return count ? std::optional<int64_t>(static_cast<int64_t>(*count)) : std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace parlo::load
