// The desktop session's idle time, from the first facility that answers:
// org.freedesktop.ScreenSaver's GetSessionIdleTime, Mutter's idle monitor
// (GNOME), then the X screen-saver extension (on the xcb platform only). The
// D-Bus questions are asynchronous; the one that answered last is asked first
// next time.
#pragma once

#include <QDBusConnection>
#include <QObject>

#include <cstddef>
#include <optional>

#include "client/core/ui_port.h"

namespace parlo::client {

class IdleTimeSources : public QObject {
  public:
    // How long one desktop facility may take to answer.
    static constexpr int kCallTimeoutMs = 2000;

    explicit IdleTimeSources(QDBusConnection bus, QObject* parent = nullptr);

    // `answered` runs later, once: the idle milliseconds, or none when no
    // facility answers.
    void Query(IdleTimeContinuation answered);

  private:
    // Asks the facility `first + tried`, then the following ones, until one
    // answers or every one was tried.
    void Ask(size_t first, size_t tried, IdleTimeContinuation answered);

    QDBusConnection bus_;
    size_t preferred_ = 0;
};

// Milliseconds since the last input seen by the X server; none off xcb or
// without the extension.
std::optional<std::int64_t> XScreenSaverIdleTime();

}  // namespace parlo::client
