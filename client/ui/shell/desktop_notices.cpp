#include "client/ui/shell/desktop_notices.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

#include "client/core/qt_text.h"

namespace parlo::client {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kDefaultAction = QStringLiteral("default");

QDBusMessage Call(const QString& method) {
    return QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
}

}  // namespace

DesktopNotices::DesktopNotices(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {
    if (!bus_.isConnected()) {
        return;
    }
    bus_.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                 SLOT(OnActionInvoked(uint, QString)));
    bus_.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                 SLOT(OnClosed(uint, uint)));
    auto* capabilities = new QDBusPendingCallWatcher(
        bus_.asyncCall(Call(QStringLiteral("GetCapabilities")), kCallTimeoutMs), this);
    connect(capabilities, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* call) {
                const QDBusPendingReply<QStringList> reply = *call;
                if (reply.isValid()) {
                    body_markup_ = reply.value().contains(QStringLiteral("body-markup"));
                }
                call->deleteLater();
            });
}

void DesktopNotices::Show(const Notice& notice) {
    if (!bus_.isConnected()) {
        return;
    }
    Text text{Q(notice.summary), Q(notice.body)};
    Entry& entry = entries_[notice.key];
    entry.close_when_sent = false;
    if (entry.sending) {
        entry.next = std::move(text);
        return;
    }
    Send(notice.key, text);
}

void DesktopNotices::Close(ConversationId key) {
    const auto found = entries_.find(key);
    if (found == entries_.end()) {
        return;
    }
    Entry& entry = found->second;
    entry.next.reset();
    if (entry.sending) {
        entry.close_when_sent = true;
        return;
    }
    CallClose(entry.id);
    entries_.erase(found);
}

void DesktopNotices::Send(ConversationId key, const Text& text) {
    Entry& entry = entries_[key];
    entry.sending = true;
    QDBusMessage notify = Call(QStringLiteral("Notify"));
    // Daemons that read markup would take "<" or "&" in a message for it.
    const QString body = body_markup_ ? text.body.toHtmlEscaped() : text.body;
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("parlomatic")},
                            {QStringLiteral("category"), QStringLiteral("im.received")}};
    notify << QStringLiteral("Parlomatic") << entry.id << QStringLiteral("parlomatic")
           << text.summary << body << QStringList{kDefaultAction, QStringLiteral("Ouvrir")} << hints
           << -1;
    auto* call = new QDBusPendingCallWatcher(bus_.asyncCall(notify, kCallTimeoutMs), this);
    connect(call, &QDBusPendingCallWatcher::finished, this,
            [this, key](QDBusPendingCallWatcher* finished) { Sent(key, finished); });
}

void DesktopNotices::Sent(ConversationId key, QDBusPendingCallWatcher* call) {
    call->deleteLater();
    const QDBusPendingReply<uint> reply = *call;
    Entry& entry = entries_[key];
    entry.sending = false;
    if (reply.isValid()) {
        entry.id = reply.value();
    } else {
        qWarning("desktop notice not shown: %s", qPrintable(reply.error().message()));
    }
    if (entry.close_when_sent) {
        CallClose(entry.id);
        entries_.erase(key);
    } else if (entry.next) {
        const Text next = *std::exchange(entry.next, std::nullopt);
        Send(key, next);
    }
}

void DesktopNotices::CallClose(uint id) {
    if (id == 0) {
        return;
    }
    QDBusMessage close = Call(QStringLiteral("CloseNotification"));
    close << id;
    // Nobody waits for the answer.
    bus_.asyncCall(close, kCallTimeoutMs);
}

void DesktopNotices::OnActionInvoked(uint id, const QString& action) {
    if (action != kDefaultAction) {
        return;
    }
    for (const auto& [key, entry] : entries_) {
        if (entry.id == id && id != 0) {
            emit Activated(key);
            return;
        }
    }
}

void DesktopNotices::OnClosed(uint id, uint /*reason*/) {
    for (auto& [key, entry] : entries_) {
        if (entry.id == id && id != 0) {
            entry.id = 0;  // the next notice of this key is a new one
            return;
        }
    }
}

}  // namespace parlo::client
