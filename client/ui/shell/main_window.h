// The main window "Parlomatic": the painted contact list under the menu bar
// ("Fichier", "Carnet d'adresse", "?"). Its close box, Enter and Escape only
// hide it; the program ends through "&Quitter".
#pragma once

#include <QMainWindow>

#include "client/ui/shell/contact_list_view.h"
#include "client/ui/shell/session_menu_items.h"

class QAction;
class QMenu;

namespace parlo::client {

class Session;

// "Connection", "Déconnection", "Etat" with "En ligne", "Déconnecté(e)" and
// "Absent(e)", then:
struct MenuBarActions : SessionMenuItems {
    QAction* settings = nullptr;     // "Paramètres"
    QAction* quit = nullptr;         // "&Quitter"
    QAction* add_contact = nullptr;  // "Ajouter"
    QAction* history = nullptr;      // "Historique…"
    QAction* about = nullptr;        // "About"
};

class MainWindow : public QMainWindow {
    Q_OBJECT

  public:
    // The client area's first size: 196 x 223 dialog units of the classic
    // 8-point dialog font (1.5 x 1.625 pixels each).
    static constexpr int kClientWidth = 294;
    static constexpr int kClientHeight = 362;

    explicit MainWindow(Session& session);

    ContactListView& View() { return *view_; }
    const MenuBarActions& Actions() const { return actions_; }

    // The window icon, check marks and enabled items of `state`.
    void ShowOwnState(int state);
    // Shows the window if hidden, restores it if minimised, and brings it to
    // the foreground.
    void BringToFront();
    // Where and how large the window was when the program last ended.
    void RestoreGeometry();
    bool WasShown() const { return was_shown_; }

  signals:
    void QuitRequested();
    // The history window, with the conversations of `contact` only when it
    // is not empty.
    void HistoryRequested(const QString& contact);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void BuildMenus();

    Session& session_;
    ContactListView* view_;
    MenuBarActions actions_;
    bool was_shown_ = false;
};

}  // namespace parlo::client
