// The items the menu bar and the tray menu share: log in, log out and the
// "Etat" submenu with its three state items, each with its own texts.
#pragma once

#include <QString>

#include <functional>

#include "client/core/own_state_menus.h"

class QAction;
class QMenu;
class QObject;

namespace parlo::client {

class Session;

struct SessionMenuTexts {
    QString connect;
    QString disconnect;
    QString state_menu;
    QString online;
    QString offline;
    QString away;
};

struct SessionMenuItems {
    QAction* connect = nullptr;
    QAction* disconnect = nullptr;
    QMenu* state_menu = nullptr;
    QAction* online = nullptr;
    QAction* offline = nullptr;
    QAction* away = nullptr;

    // Adds log in, log out, a separator and the state submenu to `menu`;
    // each runs its session command (connections owned by `context`). After
    // a state item, `after_state_item` runs: Qt has flipped the item's check
    // mark, and the own state must set the marks again.
    void AddTo(QMenu& menu, const SessionMenuTexts& texts, Session& session, QObject* context,
               std::function<void()> after_state_item);
    // Check marks and enabled items.
    void Show(const OwnStateMenu& menu) const;
};

}  // namespace parlo::client
