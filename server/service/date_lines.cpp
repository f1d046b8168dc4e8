#include "server/service/date_lines.h"

#include <cstdio>

#include "server/core/server_core.h"

namespace parlo::server {

std::string DateLine(std::time_t when) {
    std::tm utc{};
    gmtime_r(&when, &utc);
    char line[64];
    std::snprintf(line, sizeof line, "Journal du %.2d/%.2d/%.4d (UTC)", utc.tm_mday, utc.tm_mon + 1,
                  utc.tm_year + 1900);
    return line;
}

uint64_t MsUntilNextUtcMidnight(std::time_t when) {
    constexpr std::time_t kDay = 24 * 60 * 60;
    const std::time_t into_day = ((when % kDay) + kDay) % kDay;
    return static_cast<uint64_t>(kDay - into_day) * 1000;
}

MidnightDateLines::MidnightDateLines(uv_loop_t* loop, ServerCore& core) : core_(core) {
    if (const int rc = uv_timer_init(loop, &timer_); rc != 0) {
        core_.Log(std::string("Journal sans ligne de date à minuit : erreur système ") +
                  uv_err_name(rc));
        core_.Log(DateLine(std::time(nullptr)));
        return;
    }
    open_ = true;
    timer_.data = this;
    uv_unref(reinterpret_cast<uv_handle_t*>(&timer_));
    LogAndArm();
}

MidnightDateLines::~MidnightDateLines() {
    if (!open_) {
        return;
    }
    uv_loop_t* loop = timer_.loop;
    uv_close(reinterpret_cast<uv_handle_t*>(&timer_), nullptr);
    uv_run(loop, UV_RUN_NOWAIT);
}

void MidnightDateLines::OnMidnight(uv_timer_t* timer) {
    static_cast<MidnightDateLines*>(timer->data)->LogAndArm();
}

void MidnightDateLines::LogAndArm() {
    // The loop's clock may run a little early: a line at 23:59:59.9 would
    // carry the old date, so the timer aims one second past midnight.
    const std::time_t now = std::time(nullptr);
    core_.Log(DateLine(now));
    uv_timer_start(&timer_, OnMidnight, MsUntilNextUtcMidnight(now) + 1000, 0);
}

}  // namespace parlo::server
