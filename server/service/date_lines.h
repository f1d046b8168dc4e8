// The log's date: Log.txt stamps its lines with the time of day only, so the
// server writes a dated line when it starts and at each UTC midnight.
#pragma once

#include <uv.h>

#include <cstdint>
#include <ctime>
#include <string>

namespace parlo::server {

class ServerCore;

// "Journal du 09/12/2026 (UTC)" for the UTC day of `when`.
std::string DateLine(std::time_t when);
// Milliseconds from `when` to the next UTC midnight (at least 1).
uint64_t MsUntilNextUtcMidnight(std::time_t when);

// Logs DateLine now, then again at every UTC midnight, from a timer of
// `loop` that alone never keeps the loop running.
class MidnightDateLines {
  public:
    MidnightDateLines(uv_loop_t* loop, ServerCore& core);
    // Closes the timer and lets the close complete (outside the loop's run).
    ~MidnightDateLines();
    MidnightDateLines(const MidnightDateLines&) = delete;
    MidnightDateLines& operator=(const MidnightDateLines&) = delete;

  private:
    static void OnMidnight(uv_timer_t* timer);
    void LogAndArm();

    ServerCore& core_;
    uv_timer_t timer_{};
    bool open_ = false;
};

}  // namespace parlo::server
