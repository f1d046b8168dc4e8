// Tells when connecting again is worth trying at once: the network became
// reachable (QNetworkInformation) or the computer woke from suspend (logind's
// "PrepareForSleep" signal with false on the system bus). Without a
// reachability backend, a system bus or logind, that part says nothing.
#pragma once

#include <QDBusConnection>
#include <QNetworkInformation>
#include <QObject>

namespace parlo::client {

class WakeWatcher : public QObject {
    Q_OBJECT

  public:
    // Watches the system's bus and network.
    explicit WakeWatcher(QObject* parent = nullptr);
    // Watches `bus` (a test's private bus) and no network.
    explicit WakeWatcher(QDBusConnection bus, QObject* parent = nullptr);

    bool IsWatchingSleep() const { return watching_sleep_; }

  signals:
    void Woken();

  private slots:
    void OnPrepareForSleep(bool sleeping);

  private:
    void WatchSleep(QDBusConnection bus);
    void WatchNetwork();
    void OnReachability(QNetworkInformation::Reachability reachability);

    bool watching_sleep_ = false;
    bool reachable_ = true;
};

}  // namespace parlo::client
