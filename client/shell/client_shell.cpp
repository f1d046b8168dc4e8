#include "client/shell/client_shell.h"

#include <QCoreApplication>
#include <QMessageBox>

#include "client/conversation/conversation_window.h"
#include "client/dialogs/dialogs.h"
#include "client/mail/mail.h"

namespace parlo::client {
namespace {

QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QMessageBox::Icon ToQt(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::kInformation:
            return QMessageBox::Information;
        case BoxIcon::kQuestion:
            return QMessageBox::Question;
        case BoxIcon::kNone:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

ClientShell::ClientShell(LinkFactory& links, QString settings_path)
    : store_(std::move(settings_path)),
      session_(*this, links, store_),
      window_(session_),
      tray_(session_) {
    connect(&window_, &MainWindow::QuitRequested, this, &ClientShell::Quit);
    connect(&tray_, &TrayIcon::QuitRequested, this, &ClientShell::Quit);
    connect(&tray_, &TrayIcon::OpenRequested, &window_, &MainWindow::BringToFront);
    connect(&screen_saver_, &ScreenSaverWatcher::Started, this,
            [this] { session_.ScreenSaverStarting(); });
    connect(&screen_saver_, &ScreenSaverWatcher::Ended, this, &ClientShell::OnScreenSaverEnded);
}

ClientShell::~ClientShell() {
    Shutdown();
}

void ClientShell::Initialize() {
    session_.Initialize();
}

void ClientShell::Shutdown() {
    if (std::exchange(shut_down_, true)) {
        return;
    }
    session_.Shutdown();
}

void ClientShell::Quit() {
    Shutdown();
    QCoreApplication::quit();
}

void ClientShell::OnShowRequested() {
    if (window_.isVisible() || !TrayIcon::Available()) {
        window_.BringToFront();
    }
}

void ClientShell::OnScreenSaverEnded() {
    if (window_.isVisible()) {
        window_.View().update();  // the paint logs in again
    } else {
        // A hidden window gets no paint: log in again at once rather than
        // staying offline until the user opens it.
        session_.MainWindowPainting();
    }
}

BoxAnswer ClientShell::ShowMessageBox(std::string_view text, std::string_view caption, BoxIcon icon,
                                      BoxButtons buttons) {
    const bool yes_no = buttons == BoxButtons::kYesNo;
    QMessageBox box(ToQt(icon), Q(caption), Q(text),
                    yes_no ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, &window_);
    box.setObjectName(QStringLiteral("messageBox"));
    box.setDefaultButton(yes_no ? QMessageBox::Yes : QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    const int answer = box.exec();
    if (!yes_no) {
        return BoxAnswer::kOk;
    }
    return answer == QMessageBox::Yes ? BoxAnswer::kYes : BoxAnswer::kNo;
}

std::unique_ptr<ConversationView> ClientShell::CreateConversationView(ConversationId id) {
    return CreateConversationWindow(session_, id);
}

void ClientShell::RepaintMainWindow() {
    window_.View().update();
}

void ClientShell::OwnStateChanged(int state) {
    tray_.ShowOwnState(state);
    window_.ShowOwnState(state);
}

void ClientShell::PlayReceiveSound() {
    sound_.Play();
}

void ClientShell::SendMail(std::string_view address) {
    if (!OpenMailProgram(address)) {
        ShowMessageBox(MailUnavailableText(address).toStdString(), texts::kImpossible,
                       BoxIcon::kNone, BoxButtons::kOk);
    }
}

void ClientShell::OpenSettingsDialog() {
    parlo::client::OpenSettingsDialog(session_, &window_);
}

}  // namespace parlo::client
