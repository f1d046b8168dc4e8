#include "client/ui/shell/main_window.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenuBar>

#include "client/core/own_state_menus.h"
#include "client/core/session.h"
#include "client/ui/dialogs/dialogs.h"
#include "client/ui/shell/artwork.h"
#include "client/ui/shell/trace.h"
#include "shared_ui/credits_box.h"

namespace parlo::client {

MainWindow::MainWindow(Session& session)
    : session_(session), view_(new ContactListView(session, this)) {
    setObjectName(QStringLiteral("main"));
    view_->setObjectName(QStringLiteral("contacts"));
    setWindowTitle(QStringLiteral("Parlomatic"));
    setWindowIcon(ProgramIcon());
    setCentralWidget(view_);
    BuildMenus();
    menuBar()->setMouseTracking(true);
    menuBar()->installEventFilter(this);
    resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
}

void MainWindow::BuildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("Fichier"));
    actions_.AddTo(
        *file,
        {QStringLiteral("Connection"), QStringLiteral("Déconnection"), QStringLiteral("Etat"),
         QStringLiteral("En ligne"), QStringLiteral("Déconnecté(e)"), QStringLiteral("Absent(e)")},
        session_, this, [this] { ShowOwnState(session_.OwnState()); });
    file->addSeparator();
    actions_.settings = file->addAction(QStringLiteral("Paramètres"));
    file->addSeparator();
    actions_.quit = file->addAction(QStringLiteral("&Quitter"));
    QMenu* book = menuBar()->addMenu(QStringLiteral("Carnet d'adresse"));
    actions_.add_contact = book->addAction(QStringLiteral("Ajouter"));
    actions_.history = book->addAction(QStringLiteral("Historique…"));
    QMenu* help = menuBar()->addMenu(QStringLiteral("?"));
    actions_.about = help->addAction(QStringLiteral("About"));

    connect(actions_.settings, &QAction::triggered, this,
            [this] { OpenSettingsDialog(session_, this); });
    connect(actions_.quit, &QAction::triggered, this, &MainWindow::QuitRequested);
    connect(actions_.add_contact, &QAction::triggered, this,
            [this] { OpenFindContactsDialog(session_, this); });
    connect(actions_.history, &QAction::triggered, this,
            [this] { emit HistoryRequested(QString()); });
    connect(view_, &ContactListView::HistoryRequested, this, &MainWindow::HistoryRequested);
    connect(actions_.about, &QAction::triggered, this, [this] { ui::ShowCreditsBox(this); });
}

void MainWindow::ShowOwnState(int state) {
    if (const auto picture = OwnStatePicture(state)) {
        setWindowIcon(OwnIcon(*picture));
    }
    actions_.Show(MenuBarFor(state));
}

void MainWindow::BringToFront() {
    if (isMinimized()) {
        setWindowState(windowState() & ~Qt::WindowMinimized);
    }
    show();
    raise();
    activateWindow();
    ShellTrace("window raised");
}

void MainWindow::RestoreGeometry() {
    const std::string& geometry = session_.Settings().window_geometry;
    if (!geometry.empty()) {
        restoreGeometry(QByteArray::fromStdString(geometry));
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            hide();
            return;
        default:
            QMainWindow::keyPressEvent(event);
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // Movement over the menu bar counts as movement over the window.
    if (event->type() == QEvent::MouseMove) {
        session_.MouseMoved();
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    was_shown_ = true;
    ShellTrace("window shown");
}

void MainWindow::hideEvent(QHideEvent* event) {
    QMainWindow::hideEvent(event);
    ShellTrace("window hidden");
}

}  // namespace parlo::client
