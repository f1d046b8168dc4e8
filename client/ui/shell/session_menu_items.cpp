#include "client/ui/shell/session_menu_items.h"

#include <QMenu>

#include "client/core/session.h"

namespace parlo::client {

void SessionMenuItems::AddTo(QMenu& menu, const SessionMenuTexts& texts, Session& session,
                             QObject* context, std::function<void()> after_state_item) {
    connect = menu.addAction(texts.connect);
    disconnect = menu.addAction(texts.disconnect);
    menu.addSeparator();
    state_menu = menu.addMenu(texts.state_menu);
    online = state_menu->addAction(texts.online);
    offline = state_menu->addAction(texts.offline);
    away = state_menu->addAction(texts.away);

    QObject::connect(connect, &QAction::triggered, context, [&session] { session.MenuConnect(); });
    QObject::connect(disconnect, &QAction::triggered, context,
                     [&session] { session.MenuDisconnect(); });
    const std::pair<QAction*, void (Session::*)()> state_items[] = {
        {online, &Session::MenuStateOnline},
        {offline, &Session::MenuStateOffline},
        {away, &Session::MenuStateAway},
    };
    for (const auto& [item, command] : state_items) {
        item->setCheckable(true);
        QObject::connect(item, &QAction::triggered, context, [&session, command, after_state_item] {
            (session.*command)();
            after_state_item();
        });
    }
}

void SessionMenuItems::Show(const OwnStateMenu& menu) const {
    online->setChecked(menu.online_checked);
    offline->setChecked(menu.offline_checked);
    away->setChecked(menu.away_checked);
    connect->setEnabled(menu.connect_enabled);
    disconnect->setEnabled(menu.disconnect_enabled);
    state_menu->setEnabled(menu.state_menu_enabled);
}

}  // namespace parlo::client
