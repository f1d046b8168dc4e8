// The desktop session's D-Bus, when the desktop has one.
#pragma once

#include <QDBusConnection>

namespace parlo::client {

// The session bus; a connection that is not connected when there is none
// (connecting to a bus that does not exist would try to start one).
QDBusConnection DesktopBus();

}  // namespace parlo::client
