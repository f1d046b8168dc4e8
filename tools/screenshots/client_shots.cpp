// parlo-client-shots DIR: runs the real headless Server (the Server program
// beside this one) on a free loopback port with a few accounts that know each
// other, logs in as one of them with the real client window, and saves
// pictures of the main window (both groups, a hovered contact's status line),
// its contact menu, the tray menu, and a list of thirty contacts scrolled
// half-way and with the keyboard on a row, in DIR, window frames included, and
// the tray pictures with and without the unread mark on light and dark panels.
// Run it under a display with a window manager, e.g. xvfb-run with openbox.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "client/core/session.h"
#include "client/core/tcp_server_link.h"
#include "client/history/history_recorder.h"
#include "client/ui/shell/artwork.h"
#include "client/ui/shell/client_shell.h"
#include "protocol/commands.h"
#include "shared_ui/french_translation.h"
#include "tests/support/process.h"
#include "tests/support/qt_wait.h"
#include "tools/screenshots/framed_shot.h"

namespace {

using namespace parlo;
using namespace parlo::client;
using parlo::testing::Settle;
using parlo::testing::WaitUntil;

struct Person {
    const char* login;
    const char* first_name;
    const char* last_name;
    int state;  // presence while the pictures are taken
};

// The user whose window is shown, then the contacts.
const Person kUser = {"amelie", "Amélie", "Poulain", kStateOnline};
const Person kContacts[] = {
    {"bruno", "Bruno", "Lefèvre", kStateOnline},   {"Chloe", "Chloé", "Garnier", kStateAway},
    {"david", "David", "Roux", kStateOnline},      {"emile", "Émile", "Fontaine", kStateOffline},
    {"Farida", "Farida", "Benali", kStateOffline},
};
const char kPassword[] = "motdepasse";

// A client without windows for the other people: it accepts every request.
class AgreeingUi final : public UiPort {
  public:
    void ShowMessageBox(const BoxRequest& box, BoxContinuation answered) override {
        if (answered) {
            answered(box.buttons == BoxButtons::kYesNo ? BoxAnswer::kYes : BoxAnswer::kOk);
        }
    }
    std::unique_ptr<ConversationView> CreateConversationView(ConversationId) override {
        struct Hidden final : ConversationView {
            void AppendMessage(std::string_view, std::string_view) override {}
            void AppendInfo(std::string_view) override {}
            void SetTitle(std::string_view, std::string_view) override {}
            void Show() override {}
            void Raise() override {}
            bool IsVisible() const override { return false; }
            bool IsActive() const override { return false; }
            void RequestAttention() override {}
        };
        return std::make_unique<Hidden>();
    }
    void RepaintMainWindow() override {}
    void OwnStateChanged(int) override {}
    void PlayReceiveSound() override {}
    void SendMail(std::string_view) override {}
    void OpenSettingsDialog() override {}
    void ShowNotice(const Notice&) override {}
    void CloseNotice(ConversationId) override {}
    void ShowUnreadMark(bool) override {}
    void QueryIdleTime(IdleTimeContinuation answered) override { answered(std::nullopt); }
};

// tray-unread.png: each own-state picture, plain then with the unread mark,
// at 16 and 32 pixels (a panel at 200 %), on a light and a dark panel.
bool SaveTrayPictures(const QDir& out) {
    constexpr int kCell = 44;
    const OwnPicture pictures[] = {OwnPicture::kOnline, OwnPicture::kAway, OwnPicture::kOffline,
                                   OwnPicture::kNeutral};
    const QColor panels[] = {QColor(0xef, 0xf0, 0xf1), QColor(0x2a, 0x2e, 0x32)};
    const int sizes[] = {16, 32};
    QImage image(kCell * 8, kCell * 4, QImage::Format_RGB32);
    QPainter painter(&image);
    for (int row = 0; row < 4; ++row) {
        const QColor panel = panels[row / 2];
        const int size = sizes[row % 2];
        painter.fillRect(0, row * kCell, image.width(), kCell, panel);
        for (int column = 0; column < 8; ++column) {
            const QIcon icon = OwnIcon(pictures[column / 2], column % 2 == 1);
            const QPoint at(column * kCell + (kCell - size) / 2, row * kCell + (kCell - size) / 2);
            painter.drawPixmap(at, icon.pixmap(size, size));
        }
    }
    painter.end();
    const QString path = out.filePath(QStringLiteral("tray-unread.png"));
    const bool saved = image.save(path);
    std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
    return saved;
}

struct Helper {
    Helper(const QString& dir, int port)
        : store(dir + QStringLiteral("/helper.ini")), session(ui, links, store) {
        session.SetServer("127.0.0.1", port);
    }
    bool Register(const Person& person) {
        bool answered = false;
        // The search is answered after the account command: then it exists.
        return session.CreateAccount({person.login, kPassword, person.first_name, person.last_name,
                                      std::string(person.login) + "@bureau.lan"}) &&
               session.FindUsers({"?", "", "", "", ""}, [&](auto) { answered = true; }) &&
               WaitUntil([&] { return answered; }) && (session.LogInStored(), true) &&
               WaitUntil([&] { return session.OwnState() == kStateOnline; });
    }
    AgreeingUi ui;
    TcpLinkFactory links;
    SettingsStore store;
    Session session;
};

void Hover(QWidget& view, int y) {
    const QPointF local(60, y);
    QMouseEvent move(QEvent::MouseMove, local, view.mapToGlobal(local), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&view, &move);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ui::InstallFrenchTranslation(app);
    QApplication::setQuitOnLastWindowClosed(false);
    const std::optional<QDir> pictures = parlo::shots::PicturesDirectory(argc, argv);
    if (!pictures) {
        return 2;
    }
    const QDir& out = *pictures;
    QTemporaryDir work;

    parlo::testing::ServerProcess server(
        (QCoreApplication::applicationDirPath() + QStringLiteral("/Server")).toStdString(),
        work.path().toStdString());
    if (!server.StartOnFreePort()) {
        std::fprintf(stderr, "the Server did not start\n");
        return 1;
    }
    const int port = server.Port();

    // Accounts, each in the others' address book.
    Helper user(work.path() + QStringLiteral("/user"), port);
    std::vector<std::unique_ptr<Helper>> contacts;
    bool ok = user.Register(kUser);
    for (const Person& person : kContacts) {
        contacts.push_back(
            std::make_unique<Helper>(work.path() + QLatin1Char('/') + person.login, port));
        ok = contacts.back()->Register(person) && ok;
        user.session.AddContact(person.login);
    }
    ok = WaitUntil([&] { return user.session.Contacts().Count() == std::size(kContacts); }) && ok;
    for (size_t i = 0; i < contacts.size(); ++i) {
        if (kContacts[i].state == kStateOffline) {
            contacts[i]->session.Disconnect();
        } else if (kContacts[i].state == kStateAway) {
            contacts[i]->session.MenuStateAway();
        }
    }
    user.session.Disconnect();
    if (!ok) {
        std::fprintf(stderr, "the accounts could not be set up\n");
        return 1;
    }

    // The client window, logged in with stored settings as a user's would be.
    ClientSettings settings;
    settings.credentials = *MakeCredentials(user.session.Settings().credentials.login_blob,
                                            user.session.Settings().credentials.password_blob);
    settings.server_address = "127.0.0.1";
    settings.port = port;
    const QString settings_path = work.path() + QStringLiteral("/client/Parlomatic.ini");
    SettingsStore(settings_path).Save(settings);
    TcpLinkFactory links;
    ClientShell shell(links, settings_path);
    shell.Initialize();
    shell.GetSession().StartUp();
    MainWindow& window = shell.Window();
    window.move(60, 60);
    window.show();
    ok = WaitUntil([&] {
        const auto& list = shell.GetSession().Contacts();
        return list.GroupMembers(ContactGroup::kOnline).size() == 3 &&
               list.GroupMembers(ContactGroup::kOffline).size() == 2;
    });
    Settle(800);
    // Chloé, the second online row.
    Hover(window.View(), ContactListLayout::kOnlineTop + ContactListLayout::kRowHeight + 8);
    Settle(400);
    ok = parlo::shots::SaveScreenArea(window.frameGeometry(), out,
                                      QStringLiteral("client-main-window.png")) &&
         ok;

    {
        const int y = window.View().Layout().OfflineRowY(0) + 8;
        const std::unique_ptr<QMenu> menu = window.View().MakeContactMenu(y);
        menu->popup(window.View().mapToGlobal(QPoint(70, y)));
        Settle(400);
        const QRect area = window.frameGeometry().united(menu->geometry()).adjusted(0, 0, 8, 8);
        ok = parlo::shots::SaveScreenArea(area, out, QStringLiteral("client-contact-menu.png")) &&
             ok;
        menu->close();
    }
    {
        QMenu& menu = shell.Tray().Menu();
        menu.popup(window.frameGeometry().topRight() + QPoint(16, 40));
        Settle(400);
        const QRect area = window.frameGeometry().united(menu.geometry()).adjusted(0, 0, 8, 8);
        ok = parlo::shots::SaveScreenArea(area, out, QStringLiteral("client-tray-menu.png")) && ok;
        menu.close();
    }
    // A history that cannot be written: one line in the status strip.
    Hover(window.View(), 5);
    window.View().SetHistoryProblem(HistoryRecorder::kProblemText);
    Settle(200);
    ok = parlo::shots::SaveScreenArea(window.frameGeometry(), out,
                                      QStringLiteral("client-history-problem.png")) &&
         ok;
    window.View().SetHistoryProblem("");

    // Twenty-five more colleagues, every other one connected: the list
    // scrolls, shown half-way, then with the keyboard on a row.
    std::vector<std::string> logins;
    for (int i = 1; i <= 25; ++i) {
        logins.push_back(QStringLiteral("collegue%1").arg(i, 2, 10, QChar('0')).toStdString());
    }
    for (const std::string& login : logins) {
        const Person person{login.c_str(), "Claude", "Martin", kStateOnline};
        contacts.push_back(
            std::make_unique<Helper>(work.path() + QLatin1Char('/') + person.login, port));
        ok = contacts.back()->Register(person) && ok;
        shell.GetSession().AddContact(person.login);
    }
    // Each request and each acceptance is told of in a box: the user reads
    // it and presses "OK".
    const auto answer_boxes = [&] {
        bool any = false;
        for (QMessageBox* box : window.findChildren<QMessageBox*>()) {
            if (box->isVisible()) {
                box->accept();
                any = true;
            }
        }
        return any;
    };
    ok = WaitUntil(
             [&] {
                 answer_boxes();
                 return shell.GetSession().Contacts().Count() == 30;
             },
             20000) &&
         ok;
    for (size_t i = std::size(kContacts); i < contacts.size(); i += 2) {
        contacts[i]->session.Disconnect();
    }
    ok = WaitUntil([&] {
             return shell.GetSession().Contacts().GroupMembers(ContactGroup::kOffline).size() == 15;
         }) &&
         ok;
    int quiet = 0;
    ok = WaitUntil(
             [&] {
                 Settle(100);
                 quiet = answer_boxes() ? 0 : quiet + 1;
                 return quiet == 5;
             },
             20000) &&
         ok;
    ContactListView& view = window.View();
    Hover(view, 5);
    view.ScrollBar().setValue(view.ScrollBar().maximum() / 2);
    Settle(400);
    ok = parlo::shots::SaveScreenArea(window.frameGeometry(), out,
                                      QStringLiteral("client-long-list.png")) &&
         ok;
    window.activateWindow();
    view.setFocus();
    for (int i = 0; i < 9; ++i) {
        QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
        QApplication::sendEvent(&view, &down);
    }
    Settle(400);
    ok = parlo::shots::SaveScreenArea(window.frameGeometry(), out,
                                      QStringLiteral("client-focused-row.png")) &&
         ok;
    ok = SaveTrayPictures(out) && ok;
    view.ScrollBar().setValue(0);
    // The server gone: the window counts down to its next attempt.
    server.Kill();
    ok = WaitUntil(
             [&] {
                 const std::string countdown = shell.GetSession().ReconnectionCountdown();
                 return !countdown.empty() && countdown != "reconnexion dans 1 s";
             },
             20000) &&
         ok;
    Hover(window.View(), 5);  // no contact: the status line says why
    Settle(100);
    ok = parlo::shots::SaveScreenArea(window.frameGeometry(), out,
                                      QStringLiteral("client-reconnecting.png")) &&
         ok;

    // The server back with an encrypted port, met for the first time: the
    // client shows the certificate's fingerprint and asks.
    ok = server.StartWithTls() && ok;
    shell.GetSession().SetEncryption({.enabled = true, .port = server.TlsPort()});
    shell.GetSession().MenuConnect();
    QMessageBox* trust = nullptr;
    ok = WaitUntil(
             [&] {
                 for (QMessageBox* box : window.findChildren<QMessageBox*>()) {
                     trust = box->isVisible() ? box : trust;
                 }
                 return trust != nullptr;
             },
             20000) &&
         ok;
    Settle(400);
    if (trust != nullptr) {
        const QRect area =
            window.frameGeometry().united(trust->frameGeometry()).adjusted(0, 0, 8, 8);
        ok = parlo::shots::SaveScreenArea(area, out, QStringLiteral("client-trust-server.png")) &&
             ok;
        trust->reject();
    }

    shell.Shutdown();
    contacts.clear();
    server.StopWith(SIGTERM);
    return ok ? 0 : 1;
}
