// The notification-area icon: one picture per own state, with a mark while
// messages are unread, the tooltip "Parlomatic" ("Parlomatic : reconnexion
// dans 3 s" while a reconnection waits), and its menu, whose check marks and
// greyed items are set afresh at each opening. A click or a double-click
// reports Activated.
#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

#include "client/ui/shell/session_menu_items.h"
#include "protocol/commands.h"

namespace parlo::client {

class Session;

// "&Ouvrir" (the default item), then "&Connection", "&Deconnection" and "&Etat"
// with "&En ligne", "&Deconnecté(e)" and "&Absent(e)", then "&Quitter".
struct TrayMenuActions : SessionMenuItems {
    QAction* open = nullptr;
    QAction* quit = nullptr;
};

class TrayIcon : public QObject {
    Q_OBJECT

  public:
    explicit TrayIcon(Session& session, QObject* parent = nullptr);

    // 4 adds the icon, 5 removes it, the others change its picture.
    void ShowOwnState(int state);
    // The own state's picture with or without the unread mark.
    void ShowUnread(bool unread);
    // The tooltip says `countdown` after the program's name (none when empty).
    void ShowCountdown(std::string_view countdown);
    // Whether the desktop has a notification area to show the icon in.
    static bool Available();

    QMenu& Menu() { return menu_; }
    const TrayMenuActions& Actions() const { return actions_; }
    QSystemTrayIcon& Icon() { return icon_; }

  signals:
    // The user activated the icon itself.
    void Activated();
    // "&Ouvrir".
    void OpenRequested();
    void QuitRequested();

  private:
    void BuildMenu();
    // Check marks and greyed items of the own state, as the menu opens.
    void PrepareMenu();

    // The picture of the own state, with the unread mark when set.
    void ShowPicture();

    Session& session_;
    int state_ = kStateStartup;
    bool unread_ = false;
    QMenu menu_;
    TrayMenuActions actions_;
    QSystemTrayIcon icon_;
};

}  // namespace parlo::client
