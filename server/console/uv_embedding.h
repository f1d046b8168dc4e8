// Runs a libuv loop inside Qt's event loop on the same thread: a socket
// notifier on the loop's backend descriptor, and a timer armed from the
// loop's own timeout, each running one non-blocking turn of the loop.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <uv.h>

#include <functional>

namespace parlo::server {

class UvLoopDriver : public QObject {
    Q_OBJECT

  public:
    // `before_wait` runs each time Qt is about to wait for events (the log's
    // lines of the turn are written there).
    explicit UvLoopDriver(uv_loop_t* loop, std::function<void()> before_wait = {},
                          QObject* parent = nullptr);
    ~UvLoopDriver() override;
    UvLoopDriver(const UvLoopDriver&) = delete;
    UvLoopDriver& operator=(const UvLoopDriver&) = delete;

    // One non-blocking turn of the loop, then the timer re-armed.
    void RunOnce();

  private:
    // Work queued from Qt's side (a write, a close, an idle handle) changes
    // the loop's timeout: it is read again each time Qt is about to wait.
    void Rearm();

    uv_loop_t* loop_;
    std::function<void()> before_wait_;
    QSocketNotifier notifier_;
    QTimer timer_;
    bool running_ = false;
    QMetaObject::Connection about_to_block_;
};

}  // namespace parlo::server
