#include "client/ui/shell/tray_icon.h"

#include "client/core/own_state_menus.h"
#include "client/core/qt_text.h"
#include "client/core/session.h"
#include "client/ui/shell/artwork.h"

namespace parlo::client {

TrayIcon::TrayIcon(Session& session, QObject* parent) : QObject(parent), session_(session) {
    icon_.setToolTip(QStringLiteral("Parlomatic"));
    BuildMenu();
    icon_.setContextMenu(&menu_);
    connect(&menu_, &QMenu::aboutToShow, this, &TrayIcon::PrepareMenu);
    connect(&icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                // Trays of the StatusNotifierItem kind report single clicks
                // (Trigger) only.
                if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) {
                    emit Activated();
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
    actions_.AddTo(menu_,
                   {QStringLiteral("&Connection"), QStringLiteral("&Deconnection"),
                    QStringLiteral("&Etat"), QStringLiteral("&En ligne"),
                    QStringLiteral("&Deconnecté(e)"), QStringLiteral("&Absent(e)")},
                   session_, this, [this] { PrepareMenu(); });
    menu_.addSeparator();
    actions_.quit = menu_.addAction(QStringLiteral("&Quitter"));

    connect(actions_.open, &QAction::triggered, this, &TrayIcon::OpenRequested);
    connect(actions_.quit, &QAction::triggered, this, &TrayIcon::QuitRequested);
}

void TrayIcon::PrepareMenu() {
    actions_.Show(TrayMenuFor(session_.OwnState()));
}

void TrayIcon::ShowCountdown(std::string_view countdown) {
    const QString name = QStringLiteral("Parlomatic");
    icon_.setToolTip(countdown.empty() ? name : name + QStringLiteral(" : ") + Q(countdown));
}

void TrayIcon::ShowOwnState(int state) {
    if (TrayIconRemoved(state)) {
        icon_.hide();
        return;
    }
    if (OwnStatePicture(state)) {
        state_ = state;
        ShowPicture();
        icon_.show();
    }
    // Hosts that export the menu may not ask before showing it.
    PrepareMenu();
}

void TrayIcon::ShowUnread(bool unread) {
    unread_ = unread;
    ShowPicture();
}

void TrayIcon::ShowPicture() {
    if (const auto picture = OwnStatePicture(state_)) {
        icon_.setIcon(OwnIcon(*picture, unread_));
    }
}

}  // namespace parlo::client
