// The headless Server as an office runs it: administered on its control
// socket by "Server --admin", alone on its data directory, with a log that
// carries dates and, when asked, no message texts.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "protocol/commands.h"
#include "server/service/control_server.h"
#include "tests/support/process.h"
#include "tests/support/wire_client.h"

namespace {

using parlo::testing::ChildProcess;
using parlo::testing::ConnectCommand;
using parlo::testing::ReadFile;
using parlo::testing::RegisterCommand;
using parlo::testing::ScratchDirectory;
using parlo::testing::ServerProcess;
using parlo::testing::WireClient;

// Polls `done` every 20 ms for up to five seconds.
bool Eventually(const std::function<bool()>& done) {
    for (int i = 0; i < 250; ++i) {
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

struct AdminRun {
    int exit = -1;
    std::string out;  // standard output, lines joined by '\n'
    std::string err;
};

class ServiceTest : public ::testing::Test {
  protected:
    bool StartServer(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args{"--control", Socket()};
        args.insert(args.end(), extra.begin(), extra.end());
        return server_.StartOnFreePort(args);
    }
    std::string Socket() const { return (data_.Path() / "control").string(); }

    // "Server --control SOCKET --admin WORDS", with `input` as its lines of
    // standard input.
    AdminRun Admin(const std::vector<std::string>& words,
                   const std::vector<std::string>& input = {}) {
        ScratchDirectory where;
        ChildProcess admin;
        std::vector<std::string> args{"--control", Socket(), "--admin"};
        args.insert(args.end(), words.begin(), words.end());
        AdminRun run;
        if (!admin.StartWithChannel(SERVER_PATH, args, where.Path())) {
            return run;
        }
        for (const std::string& line : input) {
            admin.WriteLine(line);
        }
        while (std::optional<std::string> line = admin.ReadLine()) {
            run.out += (run.out.empty() ? "" : "\n") + *line;
        }
        const int status = admin.WaitForExit();
        run.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.err = admin.Stderr();
        return run;
    }

    std::unique_ptr<WireClient> Login(std::string_view login, std::string_view password) {
        auto client = std::make_unique<WireClient>(server_.Port());
        client->Send(ConnectCommand(login, password));
        last_answer_ = client->Next().value_or("(none)");
        return client;
    }

    ScratchDirectory data_;
    ServerProcess server_{SERVER_PATH, data_.Path()};
    std::string last_answer_;
};

TEST_F(ServiceTest, AccountsAreAdministeredOnTheRunningServer) {
    ASSERT_TRUE(StartServer());
    AdminRun add = Admin({"add", "carole", "--first-name", "Carole", "--last-name", "Roux",
                          "--email", "c@bureau.fr"},
                         {"premier"});
    EXPECT_EQ(add.exit, 0) << add.err;
    EXPECT_EQ(add.out, "Compte carole ajouté");
    auto carole = Login("carole", "premier");
    EXPECT_EQ(last_answer_, "Login:OK");

    // The dialog's checks: a login known in another letter case, a missing
    // '@', each refused with one line and a failing status.
    AdminRun twice =
        Admin({"add", "CAROLE", "--first-name", "C", "--last-name", "R", "--email", "c@b"}, {"x"});
    EXPECT_EQ(twice.exit, 1);
    EXPECT_EQ(twice.err, "Utilisateur déjà existant : CAROLE\n");
    AdminRun bad =
        Admin({"add", "denis", "--first-name", "D", "--last-name", "R", "--email", "d"}, {"x"});
    EXPECT_EQ(bad.exit, 1);
    EXPECT_NE(bad.err.find("Champs refusés"), std::string::npos) << bad.err;

    EXPECT_EQ(Admin({"list"}).out, "carole\tCarole\tRoux\tc@bureau.fr\n1 compte(s)");
    AdminRun who = Admin({"who"});
    EXPECT_TRUE(who.out.starts_with("carole\t")) << who.out;
    EXPECT_TRUE(who.out.ends_with("1 utilisateur(s) connecté(s)")) << who.out;
    EXPECT_EQ(Admin({"broadcast", "Coupure", "à midi"}).out, "Message envoyé à 1 connexion(s)");
    EXPECT_EQ(carole->WaitFor("Broadcast:"), "Broadcast:Coupure à midi");

    EXPECT_EQ(Admin({"passwd", "Carole"}, {"second"}).out, "Mot de passe de carole changé");
    Login("carole", "premier");
    EXPECT_NE(last_answer_, "Login:OK");
    Login("carole", "second");
    EXPECT_EQ(last_answer_, "Login:OK");

    // Deleting closes the account's connection, and it is gone once saved.
    AdminRun gone = Admin({"delete", "carole"});
    EXPECT_EQ(gone.out, "Compte carole supprimé");
    EXPECT_TRUE(carole->WaitClosed());
    EXPECT_EQ(Admin({"list"}).out, "0 compte(s)");
    EXPECT_EQ(Admin({"delete", "carole"}).err, "Compte carole inconnu\n");
    EXPECT_EQ(Admin({"rename", "x"}).exit, 2);

    // The accounts survive the restart that follows.
    ASSERT_EQ(
        Admin({"add", "eve", "--first-name", "E", "--last-name", "V", "--email", "e@v"}, {"pw"})
            .exit,
        0);
    ASSERT_EQ(WEXITSTATUS(server_.StopWith(SIGTERM)), 0);
    EXPECT_FALSE(std::filesystem::exists(Socket()));
    ASSERT_TRUE(StartServer());
    EXPECT_EQ(Admin({"list"}).out, "eve\tE\tV\te@v\n1 compte(s)");
}

TEST_F(ServiceTest, OnlyRootTheServersUserAndTheAdminGroupMayAdminister) {
    EXPECT_TRUE(parlo::server::MayAdminister(0, 0, nullptr, 0));
    EXPECT_TRUE(parlo::server::MayAdminister(geteuid(), 12345, nullptr, 0));
    const gid_t groups[] = {100, 65534};
    EXPECT_FALSE(parlo::server::MayAdminister(65533, 65534, groups, 2));
    // A server that is not running is said to be unreachable.
    AdminRun nobody = Admin({"list"});
    EXPECT_EQ(nobody.exit, 1);
    EXPECT_TRUE(nobody.err.starts_with("Server injoignable sur " + Socket())) << nobody.err;
}

TEST_F(ServiceTest, ASecondServerOnTheSameDirectoryIsRefused) {
    ASSERT_TRUE(StartServer());
    ChildProcess second;
    ASSERT_TRUE(second.Start(SERVER_PATH, {"--headless", "--port", "1"}, data_.Path()));
    const int status = second.WaitForExit();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(second.Stderr().find("Un autre Server utilise déjà " + data_.Path().string()),
              std::string::npos)
        << second.Stderr();
    EXPECT_EQ(Admin({"list"}).exit, 0);  // the first one runs on
}

TEST_F(ServiceTest, AConsoleThatCannotServeSaysSoAndWritesNothing) {
    ASSERT_TRUE(StartServer());
    const std::map<std::string, std::string> offscreen{{"QT_QPA_PLATFORM", "offscreen"}};
    // On the server's directory: refused in a box, before anything is read.
    ChildProcess refused;
    ASSERT_TRUE(refused.Start(SERVER_PATH, {"--port", "1"}, data_.Path(), offscreen));
    EXPECT_TRUE(Eventually([&] {
        return refused.Stderr().find("Un autre Server utilise déjà") != std::string::npos;
    }));
    EXPECT_TRUE(refused.Running());  // the box waits for its operator

    // Elsewhere, on the port the server holds: the console runs, serves
    // nobody, and closing it leaves no UserDB.dat behind.
    ScratchDirectory home;
    ChildProcess console;
    ASSERT_TRUE(console.Start(SERVER_PATH, {"--port", std::to_string(server_.Port())}, home.Path(),
                              offscreen));
    // The dated line comes once the console is up and minds its signals.
    EXPECT_TRUE(Eventually(
        [&] { return ReadFile(home.Path() / "Log.txt").find("Journal du") != std::string::npos; }));
    EXPECT_NE(ReadFile(home.Path() / "Log.txt").find("le port est déjà pris"), std::string::npos);
    const int status = console.StopWith(SIGTERM);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(std::filesystem::exists(home.Path() / "UserDB.dat"));
}

// A stop signal the moment the port answers, headless and behind the console:
// the signal waits for its handler, the database is saved, the exit is 0.
TEST(ServerRun, SigtermRightAfterStartSavesAndExitsZeroInBothModes) {
    for (const bool console : {false, true}) {
        ScratchDirectory home;
        const uint16_t port = parlo::testing::FreePort();
        std::vector<std::string> args{"--port", std::to_string(port)};
        if (!console) {
            args.insert(args.begin(), "--headless");
        }
        // Its own temporary directory: no other console answers as this one.
        const std::map<std::string, std::string> env{{"QT_QPA_PLATFORM", "offscreen"},
                                                     {"TMPDIR", home.Path().string()}};
        ChildProcess server;
        ASSERT_TRUE(server.Start(SERVER_PATH, args, home.Path(), env));
        ASSERT_TRUE(Eventually([&] {
            const int fd = parlo::testing::ConnectTo(port);
            return fd >= 0 && close(fd) == 0;
        }));
        const int status = server.StopWith(SIGTERM);
        ASSERT_TRUE(WIFEXITED(status)) << console << " " << status;
        EXPECT_EQ(WEXITSTATUS(status), 0) << console;
        EXPECT_TRUE(ReadFile(home.Path() / "Log.txt").ends_with("UserDB.dat sauvé\n")) << console;
    }
}

TEST_F(ServiceTest, TheLogIsDatedAndCanLeaveMessageTextsOut) {
    ASSERT_TRUE(StartServer({"--log-messages", "no", "--log-stdout", "warnings"}));
    for (const char* login : {"alice", "bob"}) {
        WireClient client(server_.Port());
        client.Send(RegisterCommand(login, "pw"));
        ASSERT_EQ(client.Next(), "AddNewUser:OK");
    }
    auto alice = Login("alice", "pw");
    auto bob = Login("bob", "pw");
    alice->Send("Invite:bob:alice!");
    ASSERT_TRUE(bob->WaitFor("Invite:"));
    const std::vector<std::string> both{"alice", "bob"};
    alice->Send(parlo::FormatMessage("alice", both, "rendez-vous secret"));
    ASSERT_TRUE(bob->WaitFor("Message:"));
    ASSERT_EQ(WEXITSTATUS(server_.StopWith(SIGTERM)), 0);

    const std::string log = ReadFile(data_.Path() / "Log.txt");
    EXPECT_NE(log.find(") Journal du "), std::string::npos) << log;
    EXPECT_NE(log.find("alice dit à alice bob (18 octets)"), std::string::npos) << log;
    EXPECT_EQ(log.find("secret"), std::string::npos);
    // Standard output had the start-up line, and no ordinary log line.
    const std::string out = server_.Stdout();
    EXPECT_NE(out.find("Server en écoute"), std::string::npos) << out;
    EXPECT_EQ(out.find("Log de alice"), std::string::npos) << out;
}

}  // namespace
