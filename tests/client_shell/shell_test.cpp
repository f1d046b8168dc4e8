// The shell around the session: menus and tray per own state, hiding and
// bringing back the window, "&Quitter", boxes, sound, e-mail, the screen
// saver, and the program's command line and instance name.
#include <QAbstractButton>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <cstdio>
#include <filesystem>

#include "client/ui/mail/mail.h"
#include "client/ui/shell/artwork.h"
#include "client/ui/shell/command_line.h"
#include "client/ui/shell/run_client.h"
#include "tests/client_shell/shell_fixture.h"
#include "tests/support/process.h"

namespace parlo::client::testing {
namespace {

using parlo::testing::Settle;
using parlo::testing::WaitUntil;

std::vector<std::string> MenuTexts(const QMenu& menu) {
    std::vector<std::string> out;
    for (const QAction* action : menu.actions()) {
        out.push_back(action->text().toStdString());
    }
    return out;
}

bool SameIcon(const QIcon& a, const QIcon& b) {
    return a.pixmap(16).toImage() == b.pixmap(16).toImage() &&
           a.pixmap(32).toImage() == b.pixmap(32).toImage();
}

void Key(QWidget& widget, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&widget, &press);
}

TEST_F(ShellTest, MenuBarAndTrayMenuFollowTheOwnState) {
    const MenuBarActions& bar = shell_.Window().Actions();
    const TrayMenuActions& tray = shell_.Tray().Actions();
    QMenu& tray_menu = shell_.Tray().Menu();
    std::vector<std::string> titles;
    for (const QAction* menu : shell_.Window().menuBar()->actions()) {
        titles.push_back(menu->text().toStdString());
    }
    EXPECT_EQ(titles, (std::vector<std::string>{"Fichier", "Carnet d'adresse", "?"}));
    EXPECT_EQ(MenuTexts(*shell_.Window().menuBar()->actions()[0]->menu()),
              (std::vector<std::string>{"Connection", "Déconnection", "", "Etat", "", "Paramètres",
                                        "", "&Quitter"}));
    EXPECT_EQ(MenuTexts(*bar.state_menu),
              (std::vector<std::string>{"En ligne", "Déconnecté(e)", "Absent(e)"}));
    EXPECT_EQ(MenuTexts(tray_menu),
              (std::vector<std::string>{"&Ouvrir", "&Connection", "&Deconnection", "", "&Etat", "",
                                        "&Quitter"}));
    EXPECT_EQ(MenuTexts(*tray.state_menu),
              (std::vector<std::string>{"&En ligne", "&Deconnecté(e)", "&Absent(e)"}));
    EXPECT_EQ(tray_menu.defaultAction(), tray.open);
    EXPECT_TRUE(tray.open->font().bold());
    EXPECT_EQ(shell_.Tray().Icon().toolTip(), "Parlomatic");
    // Before any login the window shows the program's icon, the tray the
    // neutral picture.
    EXPECT_TRUE(SameIcon(shell_.Window().windowIcon(), ProgramIcon()));
    EXPECT_TRUE(SameIcon(shell_.Tray().Icon().icon(), OwnIcon(OwnPicture::kNeutral)));

    struct Row {
        int state;
        const char* checked;  // "online", "offline", "away" or ""
        bool connect, disconnect, bar_state_menu, tray_state_menu;
        OwnPicture picture;
    };
    const Row rows[] = {
        {kStateOnline, "online", false, true, true, true, OwnPicture::kOnline},
        {kStateOffline, "offline", true, false, false, false, OwnPicture::kOffline},
        {kStateInactive, "", false, true, false, true, OwnPicture::kAway},
        {kStateAway, "away", false, true, true, true, OwnPicture::kAway},
        {kStateStartup, "", false, true, false, true, OwnPicture::kNeutral},
        {kStateConnecting, "", false, true, false, true, OwnPicture::kNeutral},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.state);
        Session().SetOwnState(row.state);
        const std::string checked = row.checked;
        EXPECT_EQ(bar.online->isChecked(), checked == "online");
        EXPECT_EQ(bar.offline->isChecked(), checked == "offline");
        EXPECT_EQ(bar.away->isChecked(), checked == "away");
        EXPECT_EQ(bar.connect->isEnabled(), row.connect);
        EXPECT_EQ(bar.disconnect->isEnabled(), row.disconnect);
        EXPECT_EQ(bar.state_menu->isEnabled(), row.bar_state_menu);
        EXPECT_TRUE(SameIcon(shell_.Window().windowIcon(), OwnIcon(row.picture)));
        EXPECT_TRUE(SameIcon(shell_.Tray().Icon().icon(), OwnIcon(row.picture)));

        // The tray menu as it opens.
        tray_menu.popup(QPoint(10, 10));
        ASSERT_TRUE(WaitUntil([&] { return tray_menu.isVisible(); }));
        EXPECT_EQ(tray.online->isChecked(), checked == "online");
        EXPECT_EQ(tray.offline->isChecked(), checked == "offline");
        EXPECT_EQ(tray.away->isChecked(), checked == "away");
        EXPECT_EQ(tray.connect->isEnabled(), row.connect);
        EXPECT_EQ(tray.disconnect->isEnabled(), row.disconnect);
        EXPECT_EQ(tray.state_menu->isEnabled(), row.tray_state_menu);
        EXPECT_TRUE(tray.open->isEnabled());
        tray_menu.close();
    }

    // A state item that changes nothing keeps the check marks of the state.
    LogIn();
    bar.online->trigger();
    EXPECT_TRUE(bar.online->isChecked());
    bar.away->trigger();
    EXPECT_TRUE(bar.away->isChecked());
    EXPECT_FALSE(bar.online->isChecked());
    EXPECT_EQ(links_.sent, Texts{"SetState:amelie:3"});
    tray.online->trigger();
    EXPECT_EQ(links_.sent.back(), "SetState:amelie:0");
    tray.disconnect->trigger();
    EXPECT_EQ(Session().OwnState(), kStateOffline);
    EXPECT_TRUE(bar.offline->isChecked());
    tray.connect->trigger();
    EXPECT_EQ(links_.sent.back().rfind("Connect:", 0), 0u);
}

TEST_F(ShellTest, CloseEnterAndEscapeOnlyHideAndTheWindowComesBack) {
    LogIn();
    MainWindow& window = shell_.Window();
    window.show();
    ASSERT_TRUE(WaitUntil([&] { return window.isVisible(); }));
    EXPECT_FALSE(window.close());
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(Session().IsConnected());
    EXPECT_EQ(Session().OwnState(), kStateOnline);

    shell_.Tray().Actions().open->trigger();  // "&Ouvrir"
    EXPECT_TRUE(window.isVisible());
    Key(window, Qt::Key_Return);
    EXPECT_FALSE(window.isVisible());
    emit shell_.Tray().Icon().activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(window.isVisible());
    Key(window, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
    // Trays that report single clicks only (StatusNotifierItem hosts).
    emit shell_.Tray().Icon().activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(window.isVisible());
    window.hide();

    // Another copy started: with no tray to reach it by (as here), the
    // hidden window comes back; a visible one stays visible.
    ASSERT_FALSE(TrayIcon::Available());
    shell_.OnShowRequested();
    EXPECT_TRUE(window.isVisible());
    shell_.OnShowRequested();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(Session().IsConnected());
}

TEST_F(ShellTest, QuitSetsStateFiveAndWritesTheSettingsWithTheNewSoundFlag) {
    LogIn();
    Session().ApplySettingsDialog(Compressed("amelie"), Compressed("pw"), "10.0.0.7", 7000, false);
    const QString ini = dir_.filePath("Parlomatic.ini");
    EXPECT_EQ(QSettings(ini, QSettings::IniFormat).value("Sound/Play").toInt(), 1);
    shell_.Tray().Actions().quit->trigger();
    EXPECT_EQ(Session().OwnState(), kStateExit);
    EXPECT_FALSE(shell_.Tray().Icon().isVisible());
    EXPECT_FALSE(Session().IsConnected());
    const QSettings stored(ini, QSettings::IniFormat);
    EXPECT_EQ(stored.value("Sound/Play").toInt(), 0);
    EXPECT_EQ(stored.value("Server/IP").toString(), "10.0.0.7");
    // Quitting again (the menu bar's item, or the end of the loop) does nothing more.
    shell_.Window().Actions().quit->trigger();
    EXPECT_EQ(Session().OwnState(), kStateExit);
}

TEST_F(ShellTest, BoxesAreModalToTheMainWindowOnlyWithTheCaptionIconAndButtonsAskedFor) {
    LogIn();
    struct Seen {
        QString caption, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        std::vector<QMessageBox::StandardButton> buttons;
        QMessageBox::StandardButton default_button = QMessageBox::NoButton;
        bool window_modal = false;
    } seen;
    auto inspect_then_press_enter = [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen.caption = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.buttons.clear();
        for (QAbstractButton* button : box->buttons()) {
            seen.buttons.push_back(box->standardButton(button));
        }
        std::sort(seen.buttons.begin(), seen.buttons.end());
        seen.default_button =
            box->standardButton(static_cast<QAbstractButton*>(box->defaultButton()));
        seen.window_modal =
            box->windowModality() == Qt::WindowModal && box->parentWidget() == &shell_.Window();
        Key(*box->focusWidget(), Qt::Key_Return);
    };
    links_.Deliver({"DoAddAddressBook:bruno"});
    inspect_then_press_enter();
    EXPECT_EQ(seen.caption, "Carnet d'adresse");
    EXPECT_TRUE(seen.text.startsWith("bruno vous a ajouté à son carnet d'adresse\n"));
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.buttons, (std::vector{QMessageBox::Yes, QMessageBox::No}));
    EXPECT_EQ(seen.default_button, QMessageBox::Yes);
    EXPECT_TRUE(seen.window_modal);
    EXPECT_EQ(links_.sent, Texts{"YesAddAddressBook:bruno"});

    // With the box open, a later message opens its window, which takes keys.
    links_.Deliver({"Broadcast:Le serveur redémarre:à 18 h"});
    links_.Deliver({"Message:5:bruno:2:amelie:bruno:salut"});
    ASSERT_EQ(Session().Conversations().size(), 1u);
    QWidget* input = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->objectName() == "conversation" && top->isVisible()) {
            input = top->findChild<QWidget*>("input");
        }
    }
    ASSERT_NE(input, nullptr);
    input->window()->activateWindow();
    input->setFocus();
    QTest::keyClick(input->window()->windowHandle(), Qt::Key_A);
    EXPECT_EQ(static_cast<QPlainTextEdit*>(input)->toPlainText(), "a");
    inspect_then_press_enter();
    EXPECT_EQ(seen.caption, "Message de l'administrateur");
    EXPECT_EQ(seen.text, "Le serveur redémarre");
    EXPECT_EQ(seen.icon, QMessageBox::Information);
    EXPECT_EQ(seen.buttons, std::vector{QMessageBox::Ok});

    // No mail program at all: the user is told.
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), nullptr, nullptr);
    if (!OpenMailProgram("x@y")) {
        shell_.SendMail("emile@bureau.lan");
        inspect_then_press_enter();
        EXPECT_EQ(seen.caption, "Impossible");
        EXPECT_EQ(seen.text, MailUnavailableText("emile@bureau.lan"));
        EXPECT_TRUE(seen.text.contains("emile@bureau.lan"));
    }
}

TEST(Mail, AddressIsPercentEncodedSoItCannotAddHeaders) {
    EXPECT_EQ(MailToUrl("emile@bureau.lan").toEncoded(), "mailto:emile@bureau.lan");
    EXPECT_EQ(MailToUrl("").toEncoded(), "mailto:");
    EXPECT_EQ(MailToUrl("a b?cc=boss@x&body=hi%20#x@y").toEncoded(),
              "mailto:a%20b%3Fcc%3Dboss@x%26body%3Dhi%2520%23x@y");
    EXPECT_EQ(MailToUrl("zoé@café.fr").toEncoded(), "mailto:zo%C3%A9@caf%C3%A9.fr");
    EXPECT_TRUE(MailToUrl("a?b@c").query().isEmpty());
}

TEST_F(ShellTest, ReceiveSoundPlaysAfterTheWindowIsShownAndOnlyWithTheSoundFlag) {
    LogIn();
    // No Receive.wav in the tests' working directory: the default sound.
    ASSERT_FALSE(std::filesystem::exists("Receive.wav"));
    std::vector<bool> window_shown_when_played;
    QObject::connect(&shell_.Sound(), &ReceiveSound::FellBack, [&] {
        window_shown_when_played.push_back(Session().Conversations().at(0)->View().IsVisible());
    });
    links_.Deliver({"Message:5:bruno:2:bruno:amelie:Salut"});
    EXPECT_EQ(window_shown_when_played, std::vector<bool>{true});
    Session().SetSound(false);
    links_.Deliver({"Message:3:bruno:2:bruno:amelie:Re!"});
    EXPECT_EQ(window_shown_when_played.size(), 1u);

    // A file that is no sound.
    parlo::testing::ScratchDirectory scratch;
    const std::filesystem::path noise = scratch.Path() / "Receive.wav";
    std::FILE* file = std::fopen(noise.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("not a wave file", file);
    std::fclose(file);
    ReceiveSound sound(QString::fromStdString(noise.string()));
    int fell_back = 0;
    QObject::connect(&sound, &ReceiveSound::FellBack, [&] { ++fell_back; });
    sound.Play();
    EXPECT_TRUE(WaitUntil([&] { return fell_back == 1; }));
}

TEST(SoundFile, WorkingDirectoryFirstThenTheInstalledCopy) {
    parlo::testing::ScratchDirectory installed;
    parlo::testing::ScratchDirectory working;
    const auto touch = [](const std::filesystem::path& path) {
        std::FILE* file = std::fopen(path.c_str(), "w");
        ASSERT_NE(file, nullptr);
        std::fclose(file);
    };
    const QString installed_dir = QString::fromStdString(installed.Path().string());
    const QString installed_file =
        QString::fromStdString((installed.Path() / "Receive.wav").string());
    const QString working_file = QString::fromStdString((working.Path() / "Receive.wav").string());

    EXPECT_EQ(FindSoundFile("Receive.wav", installed_dir), "");
    touch(installed.Path() / "Receive.wav");
    EXPECT_EQ(FindSoundFile("Receive.wav", installed_dir), installed_file);
    EXPECT_EQ(FindSoundFile("Receive.wav", ""), "");
    // A name with a directory is not looked for elsewhere.
    EXPECT_EQ(FindSoundFile(working_file, installed_dir), "");
    EXPECT_EQ(FindSoundFile("", installed_dir), "");

    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(working.Path().string())));
    touch(working.Path() / "Receive.wav");
    const QString found = FindSoundFile("Receive.wav", installed_dir);
    ASSERT_TRUE(QDir::setCurrent(previous));
    EXPECT_EQ(found, working_file);

    // Installed with the program: share/parlomatic beside its bin directory.
    EXPECT_EQ(InstalledDataDirectory(),
              QDir::cleanPath(QCoreApplication::applicationDirPath() + "/../share/parlomatic"));
}

TEST_F(ShellTest, ScreenSaverKeepsTheUserAwayUntilItEndsHoweverTheWindowIs) {
    LogIn();
    MainWindow& window = shell_.Window();
    const auto connects = [&] {
        return std::count_if(links_.sent.begin(), links_.sent.end(),
                             [](const std::string& c) { return c.rfind("Connect:", 0) == 0; });
    };
    // Visible (the disconnection repaints it), minimised, hidden.
    for (const auto show :
         {+[](MainWindow& w) { w.showNormal(); }, +[](MainWindow& w) { w.showMinimized(); },
          +[](MainWindow& w) { w.hide(); }}) {
        show(window);
        Settle(50);
        links_.sent.clear();
        emit shell_.ScreenSaver().Started();
        EXPECT_EQ(Session().OwnState(), kStateOffline);
        window.View().repaint();
        Settle(200);
        EXPECT_EQ(connects(), 0);
        EXPECT_FALSE(Session().IsConnected());
        emit shell_.ScreenSaver().Ended();
        Settle(50);
        window.View().repaint();
        Settle(50);
        EXPECT_EQ(connects(), 1);
        links_.Deliver({"Login:OK", kAddressBook});
        EXPECT_EQ(Session().OwnState(), kStateOnline);
    }
}

TEST_F(ShellTest, TheWindowComesBackWhereItWasUnlessARunNeverShowedIt) {
    MainWindow& window = shell_.Window();
    window.show();
    ASSERT_TRUE(WaitUntil([&] { return window.windowHandle()->isExposed(); }));
    window.setGeometry(QRect(120, 90, 400, 500));
    Settle(50);
    const QRect placed = window.geometry();
    shell_.Shutdown();
    for (int run = 0; run < 2; ++run) {
        ClientShell next(links_, dir_.filePath("Parlomatic.ini"));
        next.Initialize();
        EXPECT_EQ(next.Window().geometry(), placed) << run;
    }
}

// A private bus of the test's own: its address, once it is up (empty when it
// did not start).
QString StartPrivateBus(parlo::testing::ChildProcess& daemon,
                        const parlo::testing::ScratchDirectory& dir) {
    if (!daemon.Start("/usr/bin/dbus-daemon", {"--session", "--nofork", "--print-address"},
                      dir.Path()) ||
        !WaitUntil([&] { return daemon.Stdout().find('\n') != std::string::npos; })) {
        return {};
    }
    return QString::fromStdString(daemon.Stdout()).trimmed();
}

// The watcher on a private session bus of its own.
TEST(ScreenSaverWatcher, FollowsActiveChangedOnTheSessionBus) {
    if (!std::filesystem::exists("/usr/bin/dbus-daemon")) {
        GTEST_SKIP() << "dbus-daemon is not installed";
    }
    parlo::testing::ScratchDirectory dir;
    parlo::testing::ChildProcess daemon;
    const QString address = StartPrivateBus(daemon, dir);
    ASSERT_FALSE(address.isEmpty());
    QDBusConnection watched = QDBusConnection::connectToBus(address, QStringLiteral("watched"));
    QDBusConnection desktop = QDBusConnection::connectToBus(address, QStringLiteral("desktop"));
    ASSERT_TRUE(watched.isConnected() && desktop.isConnected());

    std::vector<std::string> events;
    {
        ScreenSaverWatcher watcher(watched);
        EXPECT_TRUE(watcher.IsWatching());
        QObject::connect(&watcher, &ScreenSaverWatcher::Started, [&] { events.push_back("on"); });
        QObject::connect(&watcher, &ScreenSaverWatcher::Ended, [&] { events.push_back("off"); });
        // The watcher's match rules go to the bus on its connection; a call
        // answered on the same connection proves the bus has them.
        watched.call(QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping")));
        auto send = [&](const char* path, const char* interface, const char* name, bool active) {
            QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(path),
                                                             QString::fromLatin1(interface),
                                                             QString::fromLatin1(name));
            signal << active;
            desktop.send(signal);
        };
        send("/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver", "ActiveChanged", true);
        send("/ScreenSaver", "org.freedesktop.ScreenSaver", "ActiveChanged", false);
        send("/org/gnome/ScreenSaver", "org.gnome.ScreenSaver", "ActiveChanged", true);
        send("/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver", "WakeUpScreen", false);
        send("/org/example/Other", "org.example.Other", "ActiveChanged", false);
        send("/org/gnome/ScreenSaver", "org.gnome.ScreenSaver", "ActiveChanged", false);
        EXPECT_TRUE(WaitUntil([&] { return events.size() == 4; }));
        Settle(100);
        EXPECT_EQ(events, (std::vector<std::string>{"on", "off", "on", "off"}));
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("watched"));
    QDBusConnection::disconnectFromBus(QStringLiteral("desktop"));

    // No bus: nothing watched, nothing said.
    ScreenSaverWatcher without(QDBusConnection(QStringLiteral("no such bus")));
    EXPECT_FALSE(without.IsWatching());
}

// Waking from suspend is logind's PrepareForSleep(false), on a bus standing
// in for the system bus.
TEST(WakeWatcher, SaysWokenWhenLogindSaysTheSleepIsOver) {
    if (!std::filesystem::exists("/usr/bin/dbus-daemon")) {
        GTEST_SKIP() << "dbus-daemon is not installed";
    }
    parlo::testing::ScratchDirectory dir;
    parlo::testing::ChildProcess daemon;
    const QString address = StartPrivateBus(daemon, dir);
    ASSERT_FALSE(address.isEmpty());
    QDBusConnection watched = QDBusConnection::connectToBus(address, QStringLiteral("watched"));
    QDBusConnection logind = QDBusConnection::connectToBus(address, QStringLiteral("logind"));
    ASSERT_TRUE(logind.registerService(QStringLiteral("org.freedesktop.login1")));
    int woken = 0;
    {
        WakeWatcher watcher(watched);
        EXPECT_TRUE(watcher.IsWatchingSleep());
        QObject::connect(&watcher, &WakeWatcher::Woken, [&] { ++woken; });
        watched.call(QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping")));
        for (const bool sleeping : {true, false}) {
            QDBusMessage signal =
                QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                           QStringLiteral("org.freedesktop.login1.Manager"),
                                           QStringLiteral("PrepareForSleep"));
            signal << sleeping;
            logind.send(signal);
        }
        EXPECT_TRUE(WaitUntil([&] { return woken == 1; }));
        Settle(100);
        EXPECT_EQ(woken, 1);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("watched"));
    QDBusConnection::disconnectFromBus(QStringLiteral("logind"));
    EXPECT_FALSE(WakeWatcher(QDBusConnection(QStringLiteral("no such bus"))).IsWatchingSleep());
}

TEST(ClientProgram, CommandLineAndInstanceName) {
    std::string error;
    auto parse = [&](std::vector<std::string_view> args) {
        error.clear();
        return ParseClientCommandLine(args, error);
    };
    EXPECT_FALSE(parse({})->minimize);
    EXPECT_TRUE(parse({"/minimize"})->minimize);
    EXPECT_TRUE(parse({"/MiniMIZE"})->minimize);
    EXPECT_TRUE(parse({"--help"})->help);
    EXPECT_FALSE(parse({"--minimize"}));
    EXPECT_EQ(error, "unknown option: --minimize");
    EXPECT_FALSE(parse({"/minimize", "/minimize"}));
    EXPECT_NE(error.find("/minimize"), std::string::npos);
    EXPECT_FALSE(parse({"/minimized"}));

    // Per user and per settings location.
    const QString mine = ClientInstanceName("/home/a/.config/Parlomatic/Parlomatic.ini");
    EXPECT_EQ(mine, ClientInstanceName("/home/a/.config/../.config/Parlomatic/Parlomatic.ini"));
    EXPECT_NE(mine, ClientInstanceName("/home/a/second/Parlomatic/Parlomatic.ini"));
    EXPECT_TRUE(mine.startsWith(QStringLiteral("parlomatic-%1-").arg(getuid())));
}

}  // namespace
}  // namespace parlo::client::testing

namespace parlo::client::testing {
namespace {

long RssKiB() {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    char line[256];
    long kib = -1;
    while (status != nullptr && std::fgets(line, sizeof line, status) != nullptr) {
        std::sscanf(line, "VmRSS: %ld", &kib);
    }
    if (status != nullptr) {
        std::fclose(status);
    }
    return kib;
}

// A flood of invitations and of senders opens a bounded number of windows;
// PARLO_CLIENT_BOUND_FULL=1 runs the full sizes and prints the figures.
TEST_F(ShellTest, AFloodOfInvitesAndSendersOpensABoundedNumberOfWindows) {
    LogIn();
    const bool full = qEnvironmentVariableIsSet("PARLO_CLIENT_BOUND_FULL");
    const int invites = full ? 10000 : 500;
    const long before = RssKiB();
    QElapsedTimer timer, read;
    timer.start();
    qint64 slowest_read_ms = 0;
    auto deliver = [&](const std::string& command) {
        read.start();
        links_.Deliver({command});
        slowest_read_ms = std::max(slowest_read_ms, read.elapsed());
    };
    for (int i = 0; i < invites; ++i) {
        deliver("Invite:x" + std::to_string(i) + ":amelie!y" + std::to_string(i));
    }
    for (int i = 0; i < 300; ++i) {
        const std::string from = "s" + std::to_string(i);
        deliver("Message:2:" + from + ":2:amelie:" + from + ":hi");
    }
    const qint64 flood_ms = timer.elapsed();
    EXPECT_LE(Session().Conversations().size(), ConversationRegistry::kMaxOpenedByServer);
    timer.restart();
    QApplication::processEvents();
    std::printf(
        "client bound: %d invites + 300 senders in %lld ms, RSS %ld -> %ld KiB, "
        "%zu windows, slowest read %lld ms, next event turn %lld ms\n",
        invites, static_cast<long long>(flood_ms), before, RssKiB(),
        Session().Conversations().size(), static_cast<long long>(slowest_read_ms),
        static_cast<long long>(timer.elapsed()));
}

}  // namespace
}  // namespace parlo::client::testing
