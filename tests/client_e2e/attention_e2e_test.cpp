// A whole Parlomatic on a private session bus (each test runs under
// dbus-run-session), where python3-dbusmock plays the desktop: its
// notification daemon and its screen saver. Another user, on a plain wire
// connection through the real Server, sends the messages.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>

#include "protocol/commands.h"
#include "tests/client_e2e/driven_client.h"
#include "tests/client_e2e/test_server.h"
#include "tests/support/qt_wait.h"
#include "tests/support/wire_client.h"

namespace parlo::client::testing {
namespace {

const QString kNotifications = QStringLiteral("org.freedesktop.Notifications");
const QString kScreenSaver = QStringLiteral("org.freedesktop.ScreenSaver");

// One dbusmock service; the calls it received are the lines of its log
// ("<time> Notify "Parlomatic" 0 ...").
class MockService {
  public:
    MockService(const std::filesystem::path& dir, const QString& name, const QString& path,
                std::vector<std::string> args)
        : name_(name), path_(path), log_(dir / (name.toStdString() + ".log")) {
        args.insert(args.begin(), {"-m", "dbusmock", "-l", log_.string()});
        process_.Start("/usr/bin/python3", args, dir);
        parlo::testing::WaitUntil(
            [&] {
                return QDBusConnection::sessionBus()
                    .interface()
                    ->isServiceRegistered(name_)
                    .value();
            },
            kDrivenWaitMs);
    }

    bool Running() {
        return QDBusConnection::sessionBus().interface()->isServiceRegistered(name_).value();
    }
    // The logged calls of `method`.
    std::vector<std::string> Calls(const std::string& method) const {
        std::vector<std::string> calls;
        std::istringstream log(parlo::testing::ReadFile(log_));
        for (std::string line; std::getline(log, line);) {
            if (line.find(" " + method + " ") != std::string::npos) {
                calls.push_back(line);
            }
        }
        return calls;
    }
    // Calls a method of dbusmock's own interface on the main object.
    bool Mock(const QString& method, const QVariantList& args) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            name_, path_, QStringLiteral("org.freedesktop.DBus.Mock"), method);
        call.setArguments(args);
        return QDBusConnection::sessionBus().call(call).type() == QDBusMessage::ReplyMessage;
    }
    bool AddMethod(const QString& method, const QString& in, const QString& out,
                   const QString& code) {
        return Mock(QStringLiteral("AddMethod"), {QString(), method, in, out, code});
    }

  private:
    QString name_;
    QString path_;
    std::filesystem::path log_;
    parlo::testing::ChildProcess process_;
};

class AttentionEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::system("/usr/bin/python3 -c 'import dbusmock' 2>/dev/null") != 0 ||
            !QDBusConnection::sessionBus().isConnected()) {
            GTEST_SKIP() << "needs python3-dbusmock and a session bus (dbus-run-session)";
        }
        ASSERT_TRUE(server_.Start()) << "Server did not start";
        for (const char* login : {"alice", "bruno"}) {
            bruno_ = std::make_unique<parlo::testing::WireClient>(server_.Port());
            bruno_->Send(parlo::testing::RegisterCommand(login, "pw"));
            ASSERT_EQ(bruno_->Next(), "AddNewUser:OK");
        }
        bruno_->Send(parlo::testing::ConnectCommand("bruno", "pw"));
        ASSERT_EQ(bruno_->WaitFor("Login:"), "Login:OK");
    }

    std::unique_ptr<MockService> StartDaemon(std::vector<std::string> args = {
                                                 "--template", "notification_daemon"}) {
        auto daemon = std::make_unique<MockService>(
            root_.Path(), kNotifications, QStringLiteral("/org/freedesktop/Notifications"),
            std::move(args));
        EXPECT_TRUE(daemon->Running());
        return daemon;
    }

    // alice, logged in from the start with her stored account.
    std::unique_ptr<DrivenClient> StartAlice(const AttentionSettings& attention = {}) {
        auto alice = std::make_unique<DrivenClient>(
            root_.Path(), "alice", server_.Port(), [&](ClientSettings& settings) {
                settings.credentials =
                    *MakeCredentials(parlo::testing::Blob("alice"), parlo::testing::Blob("pw"));
                settings.attention = attention;
            });
        EXPECT_TRUE(alice->WaitUntil("state", [](const std::string& state) {
            return state.starts_with("alice (en ligne)");
        }));
        return alice;
    }

    void SendFromBruno(const std::string& text) {
        const std::string participants[] = {"alice", "bruno"};
        ASSERT_TRUE(bruno_->Send(FormatMessage("bruno", participants, text)));
    }

    parlo::testing::ScratchDirectory root_;
    TestServer server_;
    std::unique_ptr<parlo::testing::WireClient> bruno_;
};

TEST_F(AttentionEndToEnd, HiddenWindowGetsOneNoticeThatOpensItsConversation) {
    const auto daemon = StartDaemon();
    const auto alice = StartAlice();
    ASSERT_TRUE(alice->Do("key main Escape"));
    ASSERT_TRUE(alice->WaitFor("visible main", "no"));

    SendFromBruno("Bonjour <b>Alice</b> & :)");
    ASSERT_TRUE(
        parlo::testing::WaitUntil([&] { return !daemon->Calls("Notify").empty(); }, kDrivenWaitMs));
    const std::string first = daemon->Calls("Notify").front();
    EXPECT_NE(
        first.find(
            R"x("Parlomatic" 0 "parlomatic" "bruno" "Bonjour &lt;b&gt;Alice&lt;/b&gt; &amp; :)")x"),
        std::string::npos)
        << first;
    EXPECT_NE(first.find(R"("desktop-entry": "parlomatic")"), std::string::npos) << first;

    // (Showing a window activates it on this platform, which withdraws the
    // notice.) The user works in the main window; a burst in the
    // conversation behind it gets at most one new notice, replaced from
    // then on.
    const auto fresh_notices = [&] {
        const std::vector<std::string> calls = daemon->Calls("Notify");
        return std::count_if(calls.begin(), calls.end(), [](const std::string& call) {
            return call.find(R"("Parlomatic" 0 )") != std::string::npos;
        });
    };
    ASSERT_TRUE(alice->Do("activate main"));
    ASSERT_TRUE(alice->WaitFor("active conversation", "no"));
    const auto fresh_before = fresh_notices();
    for (int i = 0; i < 50; ++i) {
        SendFromBruno("encore " + std::to_string(i));
    }
    ASSERT_TRUE(alice->WaitUntil("transcript conversation/transcript", [](const std::string& text) {
        return text.find("encore 49") != std::string::npos;
    }));
    parlo::testing::Settle(500);
    EXPECT_LE(fresh_notices() - fresh_before, 1);
    EXPECT_NE(daemon->Calls("Notify").back().find("encore 49"), std::string::npos);
    const size_t closed = daemon->Calls("CloseNotification").size();

    // Its default action brings the conversation forward, which withdraws
    // it. The daemon numbers its notices from 1.
    const auto id = static_cast<uint>(fresh_notices());
    ASSERT_TRUE(daemon->Mock(QStringLiteral("EmitSignal"),
                             {kNotifications, QStringLiteral("ActionInvoked"), QStringLiteral("us"),
                              QVariantList{QVariant::fromValue(QDBusVariant(id)),
                                           QVariant::fromValue(QDBusVariant("default"))}}));
    ASSERT_TRUE(alice->WaitFor("active conversation", "yes"));
    ASSERT_TRUE(parlo::testing::WaitUntil(
        [&] { return daemon->Calls("CloseNotification").size() == closed + 1; }, kDrivenWaitMs));

    // The conversation in front: its messages need no notice.
    const size_t before = daemon->Calls("Notify").size();
    SendFromBruno("tu es là ?");
    ASSERT_TRUE(alice->WaitUntil("transcript conversation/transcript", [](const std::string& t) {
        return t.find("tu es là ?") != std::string::npos;
    }));
    parlo::testing::Settle(300);
    EXPECT_EQ(daemon->Calls("Notify").size(), before);
}

TEST_F(AttentionEndToEnd, NoticesTurnedOffShowNothing) {
    const auto daemon = StartDaemon();
    const auto alice = StartAlice({.notify = false});
    ASSERT_TRUE(alice->Do("key main Escape"));
    SendFromBruno("Bonjour");
    ASSERT_TRUE(alice->WaitFor("visible conversation", "yes"));
    parlo::testing::Settle(300);
    EXPECT_TRUE(daemon->Calls("Notify").empty());
}

TEST_F(AttentionEndToEnd, AHungDaemonNeverHoldsTheProgram) {
    // A daemon that takes its time over every notice.
    const auto daemon = StartDaemon({kNotifications.toStdString(), "/org/freedesktop/Notifications",
                                     kNotifications.toStdString()});
    ASSERT_TRUE(daemon->AddMethod(QStringLiteral("Notify"), QStringLiteral("susssasa{sv}i"),
                                  QStringLiteral("u"), QStringLiteral("time.sleep(8); ret = 1")));
    const auto alice = StartAlice();
    ASSERT_TRUE(alice->Do("key main Escape"));
    SendFromBruno("premier");
    ASSERT_TRUE(
        parlo::testing::WaitUntil([&] { return !daemon->Calls("Notify").empty(); }, kDrivenWaitMs));
    SendFromBruno("second");
    ASSERT_TRUE(alice->WaitUntil("transcript conversation/transcript", [](const std::string& t) {
        return t.find("second") != std::string::npos;
    }));
    // Far below the eight seconds a waiting program would take.
    QElapsedTimer answer;
    answer.start();
    EXPECT_EQ(alice->Ask("visible conversation"), "yes");
    EXPECT_LT(answer.elapsed(), 1000);
}

TEST_F(AttentionEndToEnd, AnIdleDesktopMakesTheUserInactiveButLeavesAwayAlone) {
    MockService screen_saver(
        root_.Path(), kScreenSaver, QStringLiteral("/org/freedesktop/ScreenSaver"),
        {kScreenSaver.toStdString(), "/org/freedesktop/ScreenSaver", kScreenSaver.toStdString()});
    const auto idle_for = [&](const char* ms) {
        return screen_saver.AddMethod(QStringLiteral("GetSessionIdleTime"), QString(),
                                      QStringLiteral("u"), QStringLiteral("ret = ") + ms);
    };
    ASSERT_TRUE(idle_for("0"));
    const auto alice = StartAlice({.auto_inactive = true, .inactive_minutes = 5});
    // No notification daemon on this bus: the message still arrives.
    ASSERT_TRUE(alice->Do("key main Escape"));
    SendFromBruno("personne pour le dire");
    ASSERT_TRUE(alice->WaitFor("visible conversation", "yes"));
    ASSERT_TRUE(alice->Do("activate main"));

    ASSERT_TRUE(idle_for("301000"));  // 5 minutes and a second
    ASSERT_TRUE(alice->WaitUntil("state", [](const std::string& state) {
        return state.starts_with("alice (inactif(ve))");
    }));
    ASSERT_TRUE(idle_for("0"));
    ASSERT_TRUE(alice->WaitUntil(
        "state", [](const std::string& state) { return state.starts_with("alice (en ligne)"); }));

    ASSERT_TRUE(alice->Do("menu main Fichier/Etat/Absent(e)"));
    ASSERT_TRUE(alice->WaitUntil(
        "state", [](const std::string& state) { return state.starts_with("alice (absent(e))"); }));
    ASSERT_TRUE(idle_for("301000"));
    parlo::testing::Settle(2500);
    EXPECT_TRUE(alice->Ask("state").starts_with("alice (absent(e))"));
}

}  // namespace
}  // namespace parlo::client::testing
