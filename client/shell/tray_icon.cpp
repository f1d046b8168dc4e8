#include "client/shell/tray_icon.h"

#include "client/session/own_state_menus.h"
#include "client/session/session.h"
#include "client/shell/artwork.h"

namespace parlo::client {

TrayIcon::TrayIcon(Session& session, QObject* parent) : QObject(parent), session_(session) {
    icon_.setToolTip(QStringLiteral("Parlomatic"));
    BuildMenu();
    icon_.setContextMenu(&menu_);
    connect(&menu_, &QMenu::aboutToShow, this, &TrayIcon::PrepareMenu);
    connect(&icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick) {
                    emit OpenRequested();
                }
            });
}

bool TrayIcon::Available() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::BuildMenu() {
    actions_.open = menu_.addAction(QStringLiteral("&Ouvrir"));
    QFont bold = actions_.open->font();
    bold.setBold(true);
    actions_.open->setFont(bold);
    menu_.setDefaultAction(actions_.open);
    actions_.connect = menu_.addAction(QStringLiteral("&Connection"));
    actions_.disconnect = menu_.addAction(QStringLiteral("&Deconnection"));
    menu_.addSeparator();
    actions_.state_menu = menu_.addMenu(QStringLiteral("&Etat"));
    actions_.online = actions_.state_menu->addAction(QStringLiteral("&En ligne"));
    actions_.offline = actions_.state_menu->addAction(QStringLiteral("&Deconnecté(e)"));
    actions_.away = actions_.state_menu->addAction(QStringLiteral("&Absent(e)"));
    for (QAction* item : {actions_.online, actions_.offline, actions_.away}) {
        item->setCheckable(true);
    }
    menu_.addSeparator();
    actions_.quit = menu_.addAction(QStringLiteral("&Quitter"));

    connect(actions_.open, &QAction::triggered, this, &TrayIcon::OpenRequested);
    connect(actions_.connect, &QAction::triggered, this, [this] { session_.MenuConnect(); });
    connect(actions_.disconnect, &QAction::triggered, this, [this] { session_.MenuDisconnect(); });
    connect(actions_.online, &QAction::triggered, this, [this] { session_.MenuStateOnline(); });
    connect(actions_.offline, &QAction::triggered, this, [this] { session_.MenuStateOffline(); });
    connect(actions_.away, &QAction::triggered, this, [this] { session_.MenuStateAway(); });
    connect(actions_.quit, &QAction::triggered, this, &TrayIcon::QuitRequested);
}

void TrayIcon::PrepareMenu() {
    const OwnStateMenu menu = TrayMenuFor(session_.OwnState());
    actions_.online->setChecked(menu.online_checked);
    actions_.offline->setChecked(menu.offline_checked);
    actions_.away->setChecked(menu.away_checked);
    actions_.connect->setEnabled(menu.connect_enabled);
    actions_.disconnect->setEnabled(menu.disconnect_enabled);
    actions_.state_menu->setEnabled(menu.state_menu_enabled);
}

void TrayIcon::ShowOwnState(int state) {
    if (TrayIconRemoved(state)) {
        icon_.hide();
        return;
    }
    if (const auto picture = OwnStatePicture(state)) {
        icon_.setIcon(OwnIcon(*picture));
        icon_.show();
    }
    // Hosts that export the menu may not ask before showing it.
    PrepareMenu();
}

}  // namespace parlo::client
