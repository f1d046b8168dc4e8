#include "client/ui/shell/idle_time_sources.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>

#include <array>

namespace parlo::client {
namespace {

struct BusSource {
    const char* service;
    const char* path;
    const char* interface;
    const char* method;
};

// Both answer in milliseconds.
constexpr std::array<BusSource, 2> kBusSources{{
    {"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver",
     "GetSessionIdleTime"},
    {"org.gnome.Mutter.IdleMonitor", "/org/gnome/Mutter/IdleMonitor/Core",
     "org.gnome.Mutter.IdleMonitor", "GetIdletime"},
}};
// The bus sources, then the X extension.
constexpr size_t kSourceCount = kBusSources.size() + 1;

}  // namespace

IdleTimeSources::IdleTimeSources(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {}

void IdleTimeSources::Query(IdleTimeContinuation answered) {
    Ask(preferred_, 0, std::move(answered));
}

void IdleTimeSources::Ask(size_t first, size_t tried, IdleTimeContinuation answered) {
    if (tried == kSourceCount) {
        // Later, as a D-Bus answer would come.
        QTimer::singleShot(0, this, [answered = std::move(answered)] { answered(std::nullopt); });
        return;
    }
    const size_t source = (first + tried) % kSourceCount;
    if (source == kBusSources.size()) {
        if (const auto idle = XScreenSaverIdleTime()) {
            preferred_ = source;
            QTimer::singleShot(0, this, [answered = std::move(answered), idle] { answered(idle); });
        } else {
            Ask(first, tried + 1, std::move(answered));
        }
        return;
    }
    if (!bus_.isConnected()) {
        Ask(first, tried + 1, std::move(answered));
        return;
    }
    const BusSource& bus_source = kBusSources[source];
    const QDBusMessage question = QDBusMessage::createMethodCall(
        QLatin1String(bus_source.service), QLatin1String(bus_source.path),
        QLatin1String(bus_source.interface), QLatin1String(bus_source.method));
    auto* call = new QDBusPendingCallWatcher(bus_.asyncCall(question, kCallTimeoutMs), this);
    connect(call, &QDBusPendingCallWatcher::finished, this,
            [this, first, tried, source,
             answered = std::move(answered)](QDBusPendingCallWatcher* finished) mutable {
                finished->deleteLater();
                const QDBusPendingReply<> reply = *finished;
                const QList<QVariant> values = reply.reply().arguments();
                bool number = false;
                const qulonglong ms = values.isEmpty() ? 0 : values.first().toULongLong(&number);
                if (reply.isError() || !number) {
                    Ask(first, tried + 1, std::move(answered));
                    return;
                }
                preferred_ = source;
                answered(static_cast<std::int64_t>(ms));
            });
}

}  // namespace parlo::client
