#include "client/ui/shell/client_shell.h"

#include <QCoreApplication>
#include <QMessageBox>

#include "client/core/qt_text.h"
#include "client/ui/conversation/conversation_window.h"
#include "client/ui/dialogs/dialogs.h"
#include "client/ui/history/history_window.h"
#include "client/ui/mail/mail.h"
#include "client/ui/shell/artwork.h"
#include "client/ui/shell/session_bus.h"

namespace parlo::client {
namespace {

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

ClientShell::ClientShell(LinkFactory& links, QString settings_path, QString history_root)
    : store_(std::move(settings_path)),
      history_(
          std::move(history_root), [this] { return session_.Settings().keep_history; },
          [this](std::string_view problem) { window_.View().SetHistoryProblem(problem); }),
      session_(*this, links, store_),
      window_(session_),
      tray_(session_),
      notices_(DesktopBus()),
      idle_time_(DesktopBus()) {
    session_.Chats().SetRecorder(&history_);
    connect(&window_, &MainWindow::QuitRequested, this, &ClientShell::Quit);
    connect(&window_, &MainWindow::HistoryRequested, this, &ClientShell::OpenHistory);
    connect(&tray_, &TrayIcon::QuitRequested, this, &ClientShell::Quit);
    connect(&tray_, &TrayIcon::OpenRequested, &window_, &MainWindow::BringToFront);
    connect(&tray_, &TrayIcon::Activated, this, &ClientShell::OnTrayActivated);
    connect(&notices_, &DesktopNotices::Activated, this, &ClientShell::OnNoticeActivated);
    connect(&screen_saver_, &ScreenSaverWatcher::Started, this,
            [this] { session_.ScreenSaverStarting(); });
    connect(&screen_saver_, &ScreenSaverWatcher::Ended, this,
            [this] { session_.ScreenSaverEnded(); });
    connect(&wake_, &WakeWatcher::Woken, this, [this] { session_.NetworkBack(); });
}

ClientShell::~ClientShell() {
    Shutdown();
    // Boxes still open go with the window and answer nothing.
    for (QMessageBox* box : window_.findChildren<QMessageBox*>()) {
        disconnect(box, nullptr, this, nullptr);
    }
}

void ClientShell::Initialize() {
    session_.Initialize();
    // The program's icon until the first connection attempt; state 4 gave
    // the tray its neutral picture.
    window_.setWindowIcon(ProgramIcon());
    window_.RestoreGeometry();
}

void ClientShell::Shutdown() {
    if (std::exchange(shut_down_, true)) {
        return;
    }
    // A window never shown in this run keeps the place stored before.
    if (window_.WasShown()) {
        const QByteArray geometry = window_.saveGeometry();
        session_.SetWindowGeometry(std::string_view(geometry.constData(), geometry.size()));
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

void ClientShell::OnTrayActivated() {
    if (!session_.ShowUnreadConversation()) {
        window_.BringToFront();
    }
}

void ClientShell::OnNoticeActivated(ConversationId key) {
    if (key == kBroadcastNotice || !session_.ShowConversation(key)) {
        window_.BringToFront();
    }
}

void ClientShell::OpenHistory(const QString& contact) {
    OpenHistoryWindow(history_, session_.PlainLogin(), Utf8(contact), &window_);
}

void ClientShell::ShowMessageBox(const BoxRequest& request, BoxContinuation answered) {
    const bool yes_no = request.buttons == BoxButtons::kYesNo;
    // Window-modal: the conversation windows keep working while it is open.
    auto* box =
        new QMessageBox(ToQt(request.icon), Q(request.caption), Q(request.text),
                        yes_no ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, &window_);
    box->setObjectName(QStringLiteral("messageBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setDefaultButton(yes_no ? QMessageBox::Yes : QMessageBox::Ok);
    box->setWindowModality(Qt::WindowModal);
    connect(box, &QMessageBox::finished, this,
            [yes_no, answered = std::move(answered)](int result) {
                if (answered) {
                    answered(!yes_no                      ? BoxAnswer::kOk
                             : result == QMessageBox::Yes ? BoxAnswer::kYes
                                                          : BoxAnswer::kNo);
                }
            });
    box->open();
}

std::unique_ptr<ConversationView> ClientShell::CreateConversationView(ConversationId id) {
    return CreateConversationWindow(session_, id);
}

void ClientShell::RepaintMainWindow() {
    window_.View().ContentChanged();
}

void ClientShell::OwnStateChanged(int state) {
    tray_.ShowOwnState(state);
    window_.ShowOwnState(state);
}

void ClientShell::OwnStateTextChanged() {
    tray_.ShowCountdown(session_.ReconnectionCountdown());
    window_.View().update();
}

void ClientShell::PlayReceiveSound() {
    sound_.Play();
}

void ClientShell::SendMail(std::string_view address) {
    if (!OpenMailProgram(address)) {
        const std::string text = Utf8(MailUnavailableText(address));
        ShowMessageBox({.text = text, .caption = texts::kImpossible}, nullptr);
    }
}

void ClientShell::OpenSettingsDialog() {
    parlo::client::OpenSettingsDialog(session_, &window_);
}

void ClientShell::ShowNotice(const Notice& notice) {
    notices_.Show(notice);
}

void ClientShell::CloseNotice(ConversationId key) {
    notices_.Close(key);
}

void ClientShell::ShowUnreadMark(bool unread) {
    tray_.ShowUnread(unread);
}

void ClientShell::QueryIdleTime(IdleTimeContinuation answered) {
    idle_time_.Query(std::move(answered));
}

}  // namespace parlo::client
