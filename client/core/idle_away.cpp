#include "client/core/idle_away.h"

#include <QPointer>

#include "client/core/session.h"

namespace parlo::client {

IdleAway::IdleAway(Session& session) : session_(session) {
    timer_.setInterval(kPollMs);
    connect(&timer_, &QTimer::timeout, this, &IdleAway::Poll);
}

void IdleAway::Start() {
    timer_.start();
    Poll();
}

void IdleAway::Poll() {
    const int state = session_.OwnState();
    const bool chosen = session_.Settings().attention.auto_inactive;
    if (state == kStateInactive && !chosen) {
        session_.ChangeState(kStateOnline);  // the choice was withdrawn meanwhile
        return;
    }
    const bool watching = chosen && (state == kStateOnline || state == kStateInactive);
    if (asking_ || (!watching && available_.has_value())) {
        return;
    }
    asking_ = true;
    session_.Ui().QueryIdleTime([self = QPointer<IdleAway>(this)](std::optional<std::int64_t> ms) {
        if (self) {
            self->Answered(ms);
        }
    });
}

void IdleAway::Answered(std::optional<std::int64_t> idle_ms) {
    asking_ = false;
    if (available_ != idle_ms.has_value()) {
        available_ = idle_ms.has_value();
        if (!*available_) {
            qInfo("the desktop does not tell the idle time: no automatic inactivity");
        }
    }
    const ClientSettings& settings = session_.Settings();
    if (!idle_ms || !settings.attention.auto_inactive) {
        return;
    }
    const bool idle = *idle_ms >= std::int64_t{settings.attention.inactive_minutes} * 60 * 1000;
    const int state = session_.OwnState();
    if (idle && state == kStateOnline) {
        session_.ChangeState(kStateInactive);
    } else if (!idle && state == kStateInactive) {
        session_.ChangeState(kStateOnline);
    }
}

}  // namespace parlo::client
