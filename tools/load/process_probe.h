// Readings of another process (the server under load) from /proc, and the
// tool's own open-file limit.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include <sys/types.h>

namespace parlo::load {

// utime + stime in clock ticks from the text of /proc/<pid>/stat. The command
// name in parentheses may hold blanks and parentheses, so fields are counted
// from the last ')'.
std::optional<uint64_t> ParseCpuTicks(std::string_view stat_text);
// The VmRSS line of /proc/<pid>/status, in KiB.
std::optional<uint64_t> ParseVmRssKiB(std::string_view status_text);

// The number after `key` on the line starting with it ("syscr: 12" in
// /proc/<pid>/io, "voluntary_ctxt_switches:\t3" in /proc/<pid>/status).
std::optional<uint64_t> ParseKeyedCount(std::string_view text, std::string_view key);

// What the process did so far: read and write system calls, and the times it
// went to sleep (each wait for events that found none ready).
struct CallCounts {
    uint64_t reads = 0;
    uint64_t writes = 0;
    uint64_t sleeps = 0;
};
std::optional<CallCounts> ReadCallCounts(pid_t pid);

// CPU seconds (user + system) used so far by `pid`.
std::optional<double> ReadCpuSeconds(pid_t pid);
std::optional<uint64_t> ReadRssKiB(pid_t pid);
// False once the process has ended (gone, or a zombie awaiting its parent).
bool ProcessRunning(pid_t pid);
// The state letter of /proc/<pid>/stat ('R', 'S', 'Z', ...), 0 when unreadable.
char ParseProcessState(std::string_view stat_text);

// The system's count of connections dropped because a listen queue was full
// (ListenOverflows of /proc/net/netstat).
std::optional<int64_t> ReadListenOverflows();

// Raises the soft RLIMIT_NOFILE to the hard limit; returns the new soft limit.
uint64_t RaiseOpenFileLimit();

}  // namespace parlo::load
