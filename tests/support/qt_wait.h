// Waiting in Qt tests: runs the event loop, which waits for events as the
// programs' own loops do, until a condition holds or the time runs out.
#pragma once

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>

namespace parlo::testing {

inline constexpr int kWaitMs = 5000;

// True once `done` holds; false when `ms` passed first.
inline bool WaitUntil(const std::function<bool()>& done, int ms = kWaitMs) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// Lets queued events and timers run for `ms`.
inline void Settle(int ms = 100) {
    WaitUntil([] { return false; }, ms);
}

}  // namespace parlo::testing
