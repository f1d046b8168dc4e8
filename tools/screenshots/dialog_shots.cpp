// parlo-dialog-shots DIR: shows the client's three dialogs filled in with the
// kind of data an office has, and saves settings.png (and
// settings-no-idle-time.png, as a desktop that does not tell the idle time
// shows it), new-user.png and find-contacts.png in DIR. The search results come from a real
// headless Server on a free loopback port, with accounts created through the client core. Run it
// under a display with a window manager: the pictures are taken from the screen, window frames
// included.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

#include "client/core/session.h"
#include "client/core/tcp_server_link.h"
#include "client/ui/conversation/conversation_window.h"
#include "client/ui/dialogs/find_contacts_dialog.h"
#include "client/ui/dialogs/new_user_dialog.h"
#include "client/ui/dialogs/settings_dialog.h"
#include "protocol/codec.h"
#include "shared_ui/french_translation.h"
#include "tests/support/process.h"
#include "tests/support/qt_wait.h"
#include "tools/screenshots/framed_shot.h"
#include "tools/screenshots/shots_ui.h"

namespace {

using namespace parlo::client;
using parlo::testing::WaitUntil;

struct Person {
    const char* login;
    const char* first_name;
    const char* last_name;
};

const Person kPeople[] = {
    {"amelie", "Amélie", "Poulain"},     {"bruno", "Bruno", "Lefèvre"},
    {"chloe", "Chloé", "Garnier"},       {"david", "David", "Roux"},
    {"emma", "Emma", "Bertrand"},        {"francois", "François", "Morel"},
    {"gaelle", "Gaëlle", "Dubois-Riou"},
};

// One client without its main window.
struct Client {
    explicit Client(const QString& dir, int port)
        : store(dir + QStringLiteral("/Parlomatic.ini")), session(ui, links, store) {
        ui.session = &session;
        session.SetServer("127.0.0.1", port);
    }
    // Creates the account; the answer to a search on the same connection
    // comes after the server has handled it.
    bool Register(const Person& person) {
        bool answered = false;
        return session.CreateAccount({person.login, "motdepasse", person.first_name,
                                      person.last_name,
                                      std::string(person.login) + "@bureau.lan"}) &&
               session.FindUsers({"?", "", "", "", ""}, [&](auto) { answered = true; }) &&
               WaitUntil([&] { return answered; });
    }

    ShotsUi ui{BoxAnswer::kYes};
    TcpLinkFactory links;
    SettingsStore store;
    Session session;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    parlo::ui::InstallFrenchTranslation(app);
    const std::optional<QDir> pictures = parlo::shots::PicturesDirectory(argc, argv);
    if (!pictures) {
        return 2;
    }
    const QDir& out = *pictures;
    QTemporaryDir work;

    parlo::testing::ScratchDirectory server_dir;
    parlo::testing::ServerProcess server(SERVER_PATH, server_dir.Path());
    if (!server.StartOnFreePort()) {
        std::fprintf(stderr, "parlo-dialog-shots: the server did not start\n");
        return 1;
    }
    int i = 0;
    for (const Person& person : kPeople) {
        Client client(work.path() + QStringLiteral("/%1").arg(i++), server.Port());
        if (!client.Register(person)) {
            std::fprintf(stderr, "parlo-dialog-shots: could not create %s\n", person.login);
            return 1;
        }
    }

    // The settings of a user whose office server is on the local network.
    Client amelie(work.path() + QStringLiteral("/amelie"), server.Port());
    std::string login_blob;
    std::string password_blob;
    parlo::Compress("amelie", login_blob);
    parlo::Compress("motdepasse", password_blob);
    amelie.session.SetCredentials(login_blob, password_blob);
    amelie.session.SetServer("192.168.1.20", 7777);
    amelie.session.SetEncryption({.enabled = true, .port = EncryptionSettings::kDefaultPort});

    bool ok = true;
    {
        SettingsDialog settings(amelie.session, nullptr);
        settings.show();
        ok = parlo::shots::SaveFramed(settings, out, QStringLiteral("settings.png")) && ok;

        // A desktop that does not tell the idle time: its row is greyed.
        amelie.session.Initialize();
        SettingsDialog greyed(amelie.session, nullptr);
        greyed.show();
        ok = parlo::shots::SaveFramed(greyed, out, QStringLiteral("settings-no-idle-time.png")) &&
             ok;
        greyed.close();

        NewUserDialog new_user(amelie.session, &settings);
        new_user.LoginField().setText(QStringLiteral("lucie"));
        new_user.PasswordField().setText(QStringLiteral("motdepasse"));
        new_user.FirstNameField().setText(QStringLiteral("Lucie"));
        new_user.LastNameField().setText(QStringLiteral("Fontaine"));
        new_user.EmailField().setText(QStringLiteral("lucie.fontaine@bureau.lan"));
        new_user.show();
        ok = parlo::shots::SaveFramed(new_user, out, QStringLiteral("new-user.png")) && ok;
    }
    {
        amelie.session.SetServer("127.0.0.1", server.Port());
        amelie.session.LogInStored();
        if (!WaitUntil([&] { return amelie.session.OwnState() == parlo::kStateOnline; })) {
            std::fprintf(stderr, "parlo-dialog-shots: could not log in\n");
            return 1;
        }
        FindContactsDialog find(amelie.session, nullptr);
        find.show();
        find.EmailCriterion().setText(QStringLiteral("bureau.lan"));
        find.SearchButton().click();
        QTreeWidget& results = find.Results();
        WaitUntil([&] { return results.topLevelItemCount() > 0; });
        if (results.topLevelItemCount() > 2) {
            results.topLevelItem(2)->setSelected(true);
            results.setCurrentItem(results.topLevelItem(2));
        }
        results.setFocus();
        ok = parlo::shots::SaveFramed(find, out, QStringLiteral("find-contacts.png")) && ok;
    }
    amelie.session.Disconnect();
    server.StopWith(SIGTERM);
    return ok ? 0 : 1;
}
