#include "client/ui/shell/screen_saver_watcher.h"

#include <QFileInfo>

namespace parlo::client {
namespace {

// Connecting to a session bus that does not exist would try to start one.
bool SessionBusExists() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        return true;
    }
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

}  // namespace

ScreenSaverWatcher::ScreenSaverWatcher(QObject* parent) : QObject(parent) {
    if (SessionBusExists()) {
        Watch(QDBusConnection::sessionBus());
    }
}

ScreenSaverWatcher::ScreenSaverWatcher(QDBusConnection bus, QObject* parent) : QObject(parent) {
    Watch(std::move(bus));
}

void ScreenSaverWatcher::Watch(QDBusConnection bus) {
    if (!bus.isConnected()) {
        return;
    }
    // Any sender and any object path: desktops publish the signal on
    // different paths.
    for (const QString& interface :
         {QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("org.gnome.ScreenSaver")}) {
        watching_ = bus.connect(QString(), QString(), interface, QStringLiteral("ActiveChanged"),
                                this, SLOT(OnActiveChanged(bool))) ||
                    watching_;
    }
}

void ScreenSaverWatcher::OnActiveChanged(bool active) {
    if (active) {
        emit Started();
    } else {
        emit Ended();
    }
}

}  // namespace parlo::client
