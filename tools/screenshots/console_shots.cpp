// parlo-console-shots DIR: runs the console over a real server on a free
// loopback port, connects a few clients over TCP, and saves pictures of the
// console and of each of its dialogs, framed as on screen, in DIR (for the
// documentation; take.sh runs it under Xvfb with a window manager).
#include <QApplication>
#include <QDir>
#include <QHostAddress>
#include <QLineEdit>
#include <QListWidget>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "protocol/codec.h"
#include "protocol/commands.h"
#include "server/console/admin_dialog.h"
#include "server/console/broadcast_dialog.h"
#include "server/console/console_window.h"
#include "server/console/prompts.h"
#include "server/console/server_boxes.h"
#include "server/console/uv_embedding.h"
#include "server/core/administration.h"
#include "server/core/server_core.h"
#include "server/core_net_events.h"
#include "server/net/net.h"
#include "shared_ui/credits_box.h"
#include "shared_ui/french_translation.h"
#include "tests/support/qt_wait.h"
#include "tools/screenshots/framed_shot.h"

namespace {

using namespace parlo::server;

struct Person {
    const char* login;
    const char* first_name;
    const char* last_name;
    const char* computer;
};

const Person kPeople[] = {
    {"amelie", "Amélie", "Poulain", "ACCUEIL"},
    {"bruno", "Bruno", "Lefèvre", "COMPTA"},
    {"chloe", "Chloé", "Garnier", "ATELIER"},
    {"david", "David", "Roux", "DIRECTION"},
};

// How far the credits have risen in their picture: the last lines, the
// accented "Écrivez-nous" among them, have come up from below.
constexpr int kCreditsShotOffset = -130;

}  // namespace

int main(int argc, char** argv) {
    using parlo::shots::SaveFramed;
    using parlo::testing::WaitUntil;
    QApplication app(argc, argv);
    parlo::ui::InstallFrenchTranslation(app);
    const std::optional<QDir> pictures = parlo::shots::PicturesDirectory(argc, argv);
    if (!pictures) {
        return 2;
    }
    const QDir& out = *pictures;
    QTemporaryDir work;

    MessageBoxPrompts prompts;
    ConsoleEvents events;
    ServerOptions options;
    options.directory = work.path().toStdString();
    ServerCore core(options, events);
    ConsoleWindow window(core, prompts);
    events.Attach(&window);
    CoreNetEvents sink(core);
    NetServer net(sink);
    core.Start();
    if (net.Listen(0) != 0) {
        return 1;
    }
    UvLoopDriver driver(net.Loop());
    window.show();

    for (const Person& person : kPeople) {
        AddAccount(core, {person.login, "motdepasse", person.first_name, person.last_name,
                          std::string(person.login) + "@bureau.lan"});
    }

    std::vector<std::unique_ptr<QTcpSocket>> clients;
    int host = 10;
    for (const Person& person : kPeople) {
        auto client = std::make_unique<QTcpSocket>();
        // One loopback address per client, as if each had its own machine.
        client->bind(QHostAddress(QStringLiteral("127.0.0.%1").arg(host++)));
        client->connectToHost(QStringLiteral("127.0.0.1"), net.BoundPort());
        if (!client->waitForConnected(2000)) {
            return 1;
        }
        std::string login_blob;
        std::string password_blob;
        parlo::Compress(person.login, login_blob);
        parlo::Compress("motdepasse", password_blob);
        std::string frames;
        parlo::AppendCommandFrame(frames,
                                  parlo::FormatConnect(person.computer, login_blob, password_blob));
        parlo::AppendCommandFrame(frames, parlo::keyword::kAddressBook);
        parlo::AppendCommandFrame(frames, parlo::keyword::kGetAllState);
        client->write(frames.data(), static_cast<qint64>(frames.size()));
        clients.push_back(std::move(client));
    }
    // One more client that connects without logging in.
    auto stranger = std::make_unique<QTcpSocket>();
    stranger->bind(QHostAddress(QStringLiteral("127.0.0.%1").arg(host)));
    stranger->connectToHost(QStringLiteral("127.0.0.1"), net.BoundPort());
    WaitUntil([&] { return window.OnlineClients().topLevelItemCount() == 4; });
    // One leaves again, as in a normal day.
    clients.back()->disconnectFromHost();
    WaitUntil([&] { return window.OnlineClients().topLevelItemCount() == 3; });

    bool ok = SaveFramed(window, out, "console.png");

    {
        AdministrationDialog dialog(core, prompts, &window);
        dialog.show();
        dialog.List().setCurrentItem(dialog.List().topLevelItem(1));
        ok = SaveFramed(dialog, out, "administration.png") && ok;
    }
    {
        BroadcastDialog dialog(core, &window);
        dialog.show();
        dialog.Users().item(0)->setSelected(true);
        dialog.Users().item(2)->setSelected(true);
        dialog.MessageField().setText(QStringLiteral("Le serveur redémarre à 18 h 00."));
        ok = SaveFramed(dialog, out, "broadcast.png") && ok;
    }
    {
        // Scrolled by its own timer, strip by strip, as the operator sees it.
        parlo::ui::CreditsBox box(&window);
        box.show();
        const int wait_ms =
            (parlo::ui::kCreditsPauseTicks - kCreditsShotOffset + 20) * parlo::ui::kCreditsTickMs;
        ok = WaitUntil([&] { return box.View().Offset() <= kCreditsShotOffset; }, wait_ms) && ok;
        ok = SaveFramed(box, out, "credits.png") && ok;
    }
    {
        // The same on a dark palette.
        parlo::ui::CreditsBox box(&window);
        QPalette dark = box.palette();
        for (const auto& [role, colour] :
             {std::pair{QPalette::Window, QColor(45, 47, 52)},
              std::pair{QPalette::WindowText, QColor(230, 230, 230)},
              std::pair{QPalette::Button, QColor(58, 61, 67)},
              std::pair{QPalette::ButtonText, QColor(235, 235, 235)}}) {
            dark.setColor(role, colour);
        }
        box.setPalette(dark);
        box.show();
        const int wait_ms =
            (parlo::ui::kCreditsPauseTicks - kCreditsShotOffset + 20) * parlo::ui::kCreditsTickMs;
        ok = WaitUntil([&] { return box.View().Offset() <= kCreditsShotOffset; }, wait_ms) && ok;
        ok = SaveFramed(box, out, "credits-dark.png") && ok;
    }

    {
        // What the operator sees when the service already holds the port, and
        // when another server uses the directory.
        const std::unique_ptr<QMessageBox> box(MakeListenFailureBox(
            QString::fromStdString(ListenFailure(7777, UV_EADDRINUSE)), &window));
        box->open();
        ok = SaveFramed(*box, out, "console-port-taken.png") && ok;
    }
    {
        const std::unique_ptr<QMessageBox> box(
            MakeRefusalBox(QStringLiteral("Un autre Server utilise déjà /home/amelie")));
        box->open();
        ok = SaveFramed(*box, out, "console-directory-taken.png") && ok;
    }

    clients.clear();
    stranger.reset();
    net.Stop();
    events.Attach(nullptr);
    return ok ? 0 : 1;
}
