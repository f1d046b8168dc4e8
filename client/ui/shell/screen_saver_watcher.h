// Tells when the desktop's screen saver starts and ends, from the session
// bus's "ActiveChanged" signal of org.freedesktop.ScreenSaver (and of
// org.gnome.ScreenSaver, which GNOME emits instead). Without a session bus it
// watches nothing and says nothing.
#pragma once

#include <QDBusConnection>
#include <QObject>

namespace parlo::client {

class ScreenSaverWatcher : public QObject {
    Q_OBJECT

  public:
    // Watches the session bus when the desktop has one.
    explicit ScreenSaverWatcher(QObject* parent = nullptr);
    // Watches `bus` (a test's private bus).
    explicit ScreenSaverWatcher(QDBusConnection bus, QObject* parent = nullptr);

    bool IsWatching() const { return watching_; }

  signals:
    void Started();
    void Ended();

  private slots:
    void OnActiveChanged(bool active);

  private:
    void Watch(QDBusConnection bus);

    bool watching_ = false;
};

}  // namespace parlo::client
