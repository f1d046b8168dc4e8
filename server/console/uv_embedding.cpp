#include "server/console/uv_embedding.h"

#include <QAbstractEventDispatcher>

namespace parlo::server {

UvLoopDriver::UvLoopDriver(uv_loop_t* loop, std::function<void()> before_wait, QObject* parent)
    : QObject(parent),
      loop_(loop),
      before_wait_(std::move(before_wait)),
      notifier_(uv_backend_fd(loop), QSocketNotifier::Read) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&notifier_, &QSocketNotifier::activated, this, &UvLoopDriver::RunOnce);
    connect(&timer_, &QTimer::timeout, this, &UvLoopDriver::RunOnce);
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance()) {
        about_to_block_ =
            connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] {
                if (before_wait_) {
                    before_wait_();
                }
                Rearm();
            });
    }
    Rearm();
}

UvLoopDriver::~UvLoopDriver() {
    disconnect(about_to_block_);
}

void UvLoopDriver::RunOnce() {
    if (running_) {
        return;
    }
    running_ = true;
    uv_run(loop_, UV_RUN_NOWAIT);
    running_ = false;
    Rearm();
}

void UvLoopDriver::Rearm() {
    if (running_) {
        return;
    }
    // A loop with nothing active reports a zero timeout: waiting on it would
    // spin, and there is nothing to run until Qt's side starts something.
    const int timeout = uv_loop_alive(loop_) != 0 ? uv_backend_timeout(loop_) : -1;
    if (timeout < 0) {
        timer_.stop();
    } else if (!timer_.isActive() || timer_.remainingTime() > timeout) {
        timer_.start(timeout);
    }
}

}  // namespace parlo::server
