#include "client/ui/shell/wake_watcher.h"

#include <QFileInfo>

namespace parlo::client {
namespace {

// Connecting to a system bus that is not there would wait for it.
bool SystemBusExists() {
    const QString address = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS");
    return !address.isEmpty() || QFileInfo::exists(QStringLiteral("/run/dbus/system_bus_socket"));
}

bool Reachable(QNetworkInformation::Reachability reachability) {
    return reachability == QNetworkInformation::Reachability::Local ||
           reachability == QNetworkInformation::Reachability::Site ||
           reachability == QNetworkInformation::Reachability::Online;
}

}  // namespace

WakeWatcher::WakeWatcher(QObject* parent) : QObject(parent) {
    if (SystemBusExists()) {
        WatchSleep(QDBusConnection::systemBus());
    }
    WatchNetwork();
}

WakeWatcher::WakeWatcher(QDBusConnection bus, QObject* parent) : QObject(parent) {
    WatchSleep(std::move(bus));
}

void WakeWatcher::WatchSleep(QDBusConnection bus) {
    if (!bus.isConnected()) {
        return;
    }
    watching_sleep_ = bus.connect(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
        SLOT(OnPrepareForSleep(bool)));
}

void WakeWatcher::WatchNetwork() {
    if (!QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability)) {
        return;
    }
    QNetworkInformation* network = QNetworkInformation::instance();
    reachable_ = Reachable(network->reachability());
    connect(network, &QNetworkInformation::reachabilityChanged, this, &WakeWatcher::OnReachability);
}

void WakeWatcher::OnReachability(QNetworkInformation::Reachability reachability) {
    const bool was_reachable = std::exchange(reachable_, Reachable(reachability));
    if (reachable_ && !was_reachable) {
        emit Woken();
    }
}

void WakeWatcher::OnPrepareForSleep(bool sleeping) {
    if (!sleeping) {
        emit Woken();
    }
}

}  // namespace parlo::client
