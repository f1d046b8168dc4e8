// Notices on the desktop through org.freedesktop.Notifications on the
// session bus. Every call is asynchronous, so a missing or hung notification
// daemon never holds the program: while a notice of one key is on its way,
// the next one of that key waits (only the newest) and then replaces it.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <optional>
#include <unordered_map>

#include "client/core/ui_port.h"

class QDBusPendingCallWatcher;

namespace parlo::client {

class DesktopNotices : public QObject {
    Q_OBJECT

  public:
    // How long the daemon may take to answer one call.
    static constexpr int kCallTimeoutMs = 5000;

    explicit DesktopNotices(QDBusConnection bus, QObject* parent = nullptr);

    void Show(const Notice& notice);
    void Close(ConversationId key);

  signals:
    // The user chose the notice of `key` (its default action).
    void Activated(ConversationId key);

  private slots:
    void OnActionInvoked(uint id, const QString& action);
    void OnClosed(uint id, uint reason);

  private:
    struct Text {
        QString summary;
        QString body;
    };
    // The daemon's notice for one key.
    struct Entry {
        uint id = 0;           // 0: none shown
        bool sending = false;  // a Notify is waiting for its answer
        std::optional<Text> next;
        bool close_when_sent = false;
    };

    void Send(ConversationId key, const Text& text);
    void Sent(ConversationId key, QDBusPendingCallWatcher* call);
    void CallClose(uint id);

    QDBusConnection bus_;
    bool body_markup_ = true;  // until the daemon says otherwise
    std::unordered_map<ConversationId, Entry> entries_;
};

}  // namespace parlo::client
