#include "client/core/reconnection.h"

#include <QtGlobal>

#include <random>

namespace parlo::client {

Reconnection::Reconnection(std::function<void()> attempt, std::function<void()> shown_changed)
    : attempt_(std::move(attempt)),
      shown_changed_(std::move(shown_changed)),
      policy_(std::random_device{}()) {
    wait_.setSingleShot(true);
    wait_.callOnTimeout([this] { Attempt(); });
    tick_.setInterval(1000);
    tick_.callOnTimeout([this] { shown_changed_(); });
}

void Reconnection::LoggedIn() {
    pending_ = false;
    wait_.stop();
    tick_.stop();
    online_.start();
    shown_changed_();
}

void Reconnection::ConnectionLost() {
    if (online_.isValid()) {
        policy_.ConnectionLost(ReconnectPolicy::Ms(online_.elapsed()));
        online_.invalidate();
    }
    pending_ = true;
}

void Reconnection::ScheduleNext() {
    if (!pending_) {
        return;
    }
    const ReconnectPolicy::Ms delay = policy_.NextDelay();
    qInfo("reconnection: attempt %d in %lld ms", policy_.Attempts(),
          static_cast<long long>(delay.count()));
    wait_.start(delay);
    tick_.start();
    shown_changed_();
}

void Reconnection::Cancel() {
    const bool was_shown = Waiting();
    pending_ = false;
    wait_.stop();
    tick_.stop();
    online_.invalidate();
    if (was_shown) {
        shown_changed_();
    }
}

void Reconnection::AttemptNow() {
    if (Waiting()) {
        Attempt();
    }
}

std::string Reconnection::Countdown() const {
    if (!Waiting()) {
        return {};
    }
    const auto seconds = (wait_.remainingTime() + 999) / 1000;
    return "reconnexion dans " + std::to_string(std::max(1, seconds)) + " s";
}

void Reconnection::Attempt() {
    wait_.stop();
    tick_.stop();
    shown_changed_();
    attempt_();  // may schedule the next one at once
}

}  // namespace parlo::client
