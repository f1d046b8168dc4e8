#include "client/ui/shell/session_bus.h"

#include <QFileInfo>

namespace parlo::client {

QDBusConnection DesktopBus() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") &&
        (runtime.isEmpty() || !QFileInfo::exists(runtime + QStringLiteral("/bus")))) {
        return QDBusConnection(QStringLiteral("parlomatic-no-bus"));
    }
    return QDBusConnection::sessionBus();
}

}  // namespace parlo::client
