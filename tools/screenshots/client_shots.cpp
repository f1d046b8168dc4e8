// parlo-client-shots DIR: runs the real headless Server (the Server program
// beside this one) on a free loopback port with a few accounts that know each
// other, logs in as one of them with the real client window, and saves
// pictures of the main window (both groups, a hovered contact's status line),
// its contact menu and the tray menu in DIR, window frames included. Run it
// under a display with a window manager, e.g. xvfb-run with openbox.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "client/core/session.h"
#include "client/core/tcp_server_link.h"
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
        };
        return std::make_unique<Hidden>();
    }
    void RepaintMainWindow() override {}
    void OwnStateChanged(int) override {}
    void PlayReceiveSound() override {}
    void SendMail(std::string_view) override {}
    void OpenSettingsDialog() override {}
};

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

    shell.Shutdown();
    contacts.clear();
    server.StopWith(SIGTERM);
    return ok ? 0 : 1;
}
