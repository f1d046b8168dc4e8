// The Parlomatic program as a user starts it: its command line, /minimize,
// and one copy per user and settings location (a second start brings the
// first back and ends; a second settings location is a second user).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <QCoreApplication>
#include <QSettings>
#include <QString>

#include <chrono>
#include <csignal>
#include <thread>

#include "client/core/client_settings.h"
#include "protocol/codec.h"
#include "tests/support/process.h"

namespace parlo::client {
namespace {

using parlo::testing::ChildProcess;
using parlo::testing::FreePort;
using parlo::testing::ScratchDirectory;

bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

int ExitCode(int status) {
    return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A user's settings: complete credentials for a server that is not there, so
// the start-up login fails at once and opens no dialog.
struct User {
    explicit User(const ScratchDirectory& root, const std::string& name)
        : config(root.Path() / name) {
        ClientSettings settings;
        std::string login;
        std::string password;
        Compress(name, login);
        Compress("pw", password);
        settings.credentials = *MakeCredentials(login, password);
        settings.server_address = "127.0.0.1";
        settings.port = FreePort();
        SettingsStore(QString::fromStdString((config / "Parlomatic/Parlomatic.ini").string()))
            .Save(settings);
    }
    std::map<std::string, std::string> Env() const {
        return {{"XDG_CONFIG_HOME", config.string()},
                {"XDG_DATA_HOME", config.string()},
                {"PARLOMATIC_TRACE", "1"}};
    }
    std::filesystem::path config;
};

class ClientProgram : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "client_program_tests";
        static char* argv[] = {name, nullptr};
        static QCoreApplication app(argc, argv);
    }
    // Starts Parlomatic in its own working directory under `root`.
    bool Start(ChildProcess& process, const std::string& dir, const User& user,
               std::vector<std::string> args = {}) {
        std::filesystem::create_directories(root_.Path() / dir);
        return process.Start(PARLOMATIC_PATH, args, root_.Path() / dir, user.Env());
    }
    static bool Traced(const ChildProcess& process, const std::string& line) {
        return process.Stderr().find("parlomatic: " + line + "\n") != std::string::npos;
    }
    static int Count(const ChildProcess& process, const std::string& line) {
        const std::string text = process.Stderr();
        int n = 0;
        for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) {
            ++n;
        }
        return n;
    }
    ScratchDirectory root_;
};

TEST_F(ClientProgram, HelpAndBadCommandLines) {
    ChildProcess help;
    const User user(root_, "amelie");
    ASSERT_TRUE(Start(help, "help", user, {"--help"}));
    EXPECT_EQ(ExitCode(help.WaitForExit()), 0);
    EXPECT_EQ(help.Stdout().rfind("Usage: Parlomatic [/minimize]\n", 0), 0u);

    ChildProcess unknown;
    ASSERT_TRUE(Start(unknown, "unknown", user, {"--minimise"}));
    EXPECT_EQ(ExitCode(unknown.WaitForExit()), 2);
    EXPECT_EQ(unknown.Stderr().rfind("Parlomatic: unknown option: --minimise\nUsage:", 0), 0u);

    ChildProcess two;
    ASSERT_TRUE(Start(two, "two", user, {"/minimize", "/minimize"}));
    EXPECT_EQ(ExitCode(two.WaitForExit()), 2);
    EXPECT_NE(two.Stderr().find("one option at most"), std::string::npos);
}

TEST_F(ClientProgram, MinimizedCopyIsBroughtBackByASecondStartOfTheSameUser) {
    const User amelie(root_, "amelie");
    const User bruno(root_, "bruno");

    ChildProcess first;
    ASSERT_TRUE(Start(first, "first", amelie, {"/MINIMIZE"}));
    ASSERT_TRUE(WaitFor([&] { return Traced(first, "listening"); })) << first.Stderr();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(Traced(first, "window shown")) << first.Stderr();

    // The same settings: the running copy comes back (no tray here), this
    // copy ends at once without a window of its own.
    ChildProcess second;
    ASSERT_TRUE(Start(second, "second", amelie));
    EXPECT_EQ(ExitCode(second.WaitForExit(10000)), 0) << second.Stderr();
    EXPECT_TRUE(Traced(second, "handed over to the running copy"));
    EXPECT_FALSE(Traced(second, "window shown"));
    EXPECT_TRUE(WaitFor([&] { return Traced(first, "window raised"); })) << first.Stderr();
    EXPECT_TRUE(first.Running());

    // Another settings location is another user: a client of its own.
    ChildProcess other;
    ASSERT_TRUE(Start(other, "other", bruno));
    ASSERT_TRUE(WaitFor([&] { return Traced(other, "window shown"); })) << other.Stderr();
    EXPECT_TRUE(Traced(other, "listening"));
    EXPECT_EQ(Count(first, "window raised"), 1);

    // A copy that died leaves its socket behind: the next start takes it over.
    first.Kill();
    ChildProcess again;
    ASSERT_TRUE(Start(again, "again", amelie));
    ASSERT_TRUE(WaitFor([&] { return Traced(again, "window shown"); })) << again.Stderr();
    EXPECT_TRUE(Traced(again, "listening"));
    EXPECT_TRUE(again.Running());
}

// SIGTERM (a session ending without a session manager) ends the program as
// "&Quitter" does: the settings, with the window's place, are written.
TEST_F(ClientProgram, ATerminationSignalSavesTheSettingsBeforeTheEnd) {
    const User amelie(root_, "amelie");
    ChildProcess client;
    ASSERT_TRUE(Start(client, "term", amelie));
    ASSERT_TRUE(WaitFor([&] { return Traced(client, "window shown"); })) << client.Stderr();
    EXPECT_EQ(ExitCode(client.StopWith(SIGTERM)), 0) << client.Stderr();
    EXPECT_TRUE(Traced(client, "ending on a signal"));
    const QSettings stored(
        QString::fromStdString((amelie.config / "Parlomatic/Parlomatic.ini").string()),
        QSettings::IniFormat);
    EXPECT_FALSE(stored.value("Options/WindowGeometry").toString().isEmpty());
    EXPECT_EQ(stored.value("Server/IP").toString(), "127.0.0.1");
}

}  // namespace
}  // namespace parlo::client
