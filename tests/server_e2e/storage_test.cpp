// The database on a bad day, against the real program: a full disk, a
// directory or file the server may not write, damaged or unreadable files at
// start, symbolic links in place of its files, and logins that would forge
// protocol entries. An account is acknowledged only once saved, and nothing
// found at start is ever written over.
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "protocol/codec.h"
#include "protocol/commands.h"
#include "server/core/userdb.h"
#include "server/core/userdb_file.h"
#include "tests/support/process.h"
#include "tests/support/wire_client.h"

namespace {

namespace fs = std::filesystem;
using parlo::testing::Blob;
using parlo::testing::ConnectCommand;
using parlo::testing::ReadFile;
using parlo::testing::RegisterCommand;
using parlo::testing::ScratchDirectory;
using parlo::testing::ServerProcess;
using parlo::testing::WireClient;

std::string ServerPath() {
    return parlo::testing::ProgramPath("PARLO_SERVER", SERVER_PATH);
}

void Write(const fs::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// A UserDB.dat image with one account per login.
std::string Database(const std::vector<std::string>& logins) {
    parlo::server::RecordList users;
    for (const std::string& login : logins) {
        users.Append(parlo::server::MakeRecord(
            parlo::FormatRecordText(Blob(login), Blob("pw"), "Prénom", "Nom", "x@y.fr")));
    }
    std::string image;
    EXPECT_TRUE(parlo::server::EncodeUserDatabase(users, image));
    return image;
}

std::set<std::string> LoginsIn(const fs::path& file) {
    parlo::server::RecordList users;
    parlo::server::DecodeUserDatabase(ReadFile(file), users);
    std::set<std::string> logins;
    for (const auto& record : users.Records()) {
        logins.insert(record->login);
    }
    return logins;
}

// "Server --headless" run as the user nobody, so that file modes hold even
// though the tests run as root: a script in front of the program.
std::string AsNobody(const fs::path& directory) {
    const fs::path script = directory.parent_path() / "as-nobody.sh";
    Write(script, "#!/bin/sh\nexec setpriv --reuid=65534 --regid=65534 --clear-groups " +
                      ServerPath() + " \"$@\"\n");
    fs::permissions(script, fs::perms(0755));
    return script.string();
}

bool Root() {
    return ::geteuid() == 0;
}

// A scratch directory the user nobody can enter, with a working directory
// `work` inside it.
struct Workplace {
    Workplace() {
        fs::permissions(scratch.Path(),
                        fs::perms::all & ~fs::perms::group_write & ~fs::perms::others_write);
        fs::create_directory(work);
    }
    ScratchDirectory scratch;
    fs::path work = scratch.Path() / "work";
};

std::string Answer(WireClient& client, std::string_view command, std::string_view prefix) {
    client.Send(command);
    return client.WaitFor(prefix).value_or("(no answer)");
}

int ExitCode(int status) {
    return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(FailingSaves, FullDiskAcknowledgesOnlyWhatWasSavedAndSurvivesAKill) {
    Workplace place;
    if (::mount("tmpfs", place.work.c_str(), "tmpfs", 0, "size=200k") != 0) {
        GTEST_SKIP() << "mounting a tmpfs is not permitted here";
    }
    std::set<std::string> acked;
    std::set<std::string> refused;
    {
        ServerProcess server(ServerPath(), place.work);
        ASSERT_TRUE(server.StartOnFreePort());
        WireClient client(server.Port());
        for (int i = 0; i < 5000 && refused.size() < 20; ++i) {
            const std::string login = "u" + std::to_string(i);
            const std::string answer = Answer(client, RegisterCommand(login, "pw"), "AddNewUser:");
            if (answer == "AddNewUser:OK") {
                acked.insert(login);
            } else {
                EXPECT_EQ(answer, "AddNewUser:Compte non enregistré : réessayez plus tard");
                refused.insert(login);
            }
        }
        server.Kill();
    }
    const std::set<std::string> stored = LoginsIn(place.work / "UserDB.dat");
    ::umount(place.work.c_str());
    EXPECT_EQ(refused.size(), 20u) << "the disk never filled";
    EXPECT_EQ(stored, acked) << "every acknowledged account, and no refused one";
}

// Where nobody may not write: the directory itself, or (sticky directory)
// the root-owned UserDB.dat it would have to replace.
TEST(FailingSaves, UnwritableDirectoryOrFileRefusesChangesKeepsTheFileAndFailsTheClosingSave) {
    if (!Root()) {
        GTEST_SKIP() << "needs root to run the server as another user";
    }
    for (const fs::perms mode : {fs::perms(0555), fs::perms(01777)}) {
        Workplace place;
        const std::string before = Database({"ann"});
        Write(place.work / "UserDB.dat", before);
        fs::permissions(place.work, mode);
        ServerProcess server(AsNobody(place.work), place.work);
        ASSERT_TRUE(server.StartOnFreePort());
        WireClient client(server.Port());
        EXPECT_EQ(Answer(client, RegisterCommand("bob", "pw"), "AddNewUser:"),
                  "AddNewUser:Compte non enregistré : réessayez plus tard");
        EXPECT_EQ(Answer(client, RegisterCommand("bob", "pw"), "AddNewUser:"),
                  "AddNewUser:Compte non enregistré : réessayez plus tard")
            << "the refused account is not kept in memory either";
        EXPECT_EQ(Answer(client, ConnectCommand("ann", "pw"), "Login:"), "Login:OK");
        EXPECT_EQ(ExitCode(server.StopWith(SIGTERM)), 1);
        EXPECT_NE(server.Stderr().find("non sauvé"), std::string::npos) << server.Stderr();
        EXPECT_EQ(ReadFile(place.work / "UserDB.dat"), before);
        fs::permissions(place.work, fs::perms::all);
    }
}

TEST(DamagedStarts, UnreadableOrUnknownFilesStopTheStartAndStayAsTheyWere) {
    const std::string records = Database({"ann", "bob"}).substr(4);
    const auto version = [&](int32_t v) {
        std::string image(4, '\0');
        for (int i = 0; i < 4; ++i) {
            image[static_cast<size_t>(i)] =
                static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF);
        }
        return image + records;
    };
    struct Case {
        const char* name;
        std::string bytes;  // empty: a directory
        fs::perms mode = fs::perms(0644);
        bool as_nobody = false;
    };
    const Case cases[] = {{"version 100 with records", version(100)},
                          {"version -1 with records", version(-1)},
                          {"version 104", version(104)},
                          {"a directory", ""},
                          {"mode 000", version(103), fs::perms::none, true}};
    for (const Case& c : cases) {
        if (c.as_nobody && !Root()) {
            continue;
        }
        Workplace place;
        fs::permissions(place.work, fs::perms::all);
        const fs::path data = place.work / "UserDB.dat";
        c.bytes.empty() ? (void)fs::create_directory(data) : Write(data, c.bytes);
        Write(place.work / "UserDB.bak", "the previous save");
        fs::permissions(data, c.mode);
        ServerProcess server(c.as_nobody ? AsNobody(place.work) : ServerPath(), place.work);
        EXPECT_FALSE(server.StartOnFreePort()) << c.name;
        EXPECT_EQ(ExitCode(server.StopWith(SIGTERM)), 1) << c.name;
        EXPECT_NE(server.Stderr().find("démarrage refusé"), std::string::npos) << server.Stderr();
        fs::permissions(data, fs::perms::owner_all);
        EXPECT_EQ(c.bytes.empty() ? fs::is_directory(data) : ReadFile(data) == c.bytes, true)
            << c.name;
        EXPECT_EQ(ReadFile(place.work / "UserDB.bak"), "the previous save") << c.name;
    }
}

TEST(DamagedStarts, TruncatedFileIsSetAsideAndKeptThroughTwoSaves) {
    ScratchDirectory directory;
    const std::string whole = Database({"ann", "bob"});
    const std::string cut = whole.substr(0, whole.size() - 10);
    Write(directory.Path() / "UserDB.dat", cut);
    ServerProcess server(ServerPath(), directory.Path());
    ASSERT_TRUE(server.StartOnFreePort());
    WireClient client(server.Port());
    for (const char* login : {"cid", "dan"}) {
        EXPECT_EQ(Answer(client, RegisterCommand(login, "pw"), "AddNewUser:"), "AddNewUser:OK");
    }
    EXPECT_EQ(ExitCode(server.StopWith(SIGTERM)), 0);
    size_t kept = 0;
    for (const auto& file : fs::directory_iterator(directory.Path())) {
        kept += file.path().extension() == ".damaged" && ReadFile(file.path()) == cut;
    }
    EXPECT_EQ(kept, 1u);
    EXPECT_EQ(LoginsIn(directory.Path() / "UserDB.dat"),
              (std::set<std::string>{"ann", "cid", "dan"}));
}

TEST(SafeLogins, SeparatorsControlsBadUtf8AndLongLoginsAreRefusedOldOnesStillLogIn) {
    ScratchDirectory directory;
    Write(directory.Path() / "UserDB.dat", Database({"old:timer"}));
    ServerProcess server(ServerPath(), directory.Path());
    ASSERT_TRUE(server.StartOnFreePort());
    WireClient client(server.Port());
    for (const std::string& login :
         std::vector<std::string>{"m:0!boss", "a!b", "tab\there", "nul\x01", "bad\xff", "\xc3(",
                                  "\xc2\x85", std::string(65, 'x')}) {
        EXPECT_EQ(Answer(client, RegisterCommand(login, "pw"), "AddNewUser:"),
                  "AddNewUser:Identifiant non valide : sans « : » ni « ! », 64 octets au plus")
            << login;
    }
    EXPECT_EQ(Answer(client, RegisterCommand(std::string(62, 'y') + "é", "pw"), "AddNewUser:"),
              "AddNewUser:OK");
    EXPECT_EQ(Answer(client, ConnectCommand("old:timer", "pw"), "Login:"), "Login:OK");
    server.StopWith(SIGTERM);
    EXPECT_EQ(LoginsIn(directory.Path() / "UserDB.dat").size(), 2u);
}

TEST(SafeFiles, PrivateModesNoLinkFollowedSighupSavesAndBurstsShareSaves) {
    ScratchDirectory directory;
    const fs::path& dir = directory.Path();
    Write(dir / "precious", "precious");
    fs::create_symlink(dir / "precious", dir / "UserDB.bak");
    fs::create_symlink(dir / "precious", dir / "Log.txt");
    ServerProcess server(ServerPath(), dir);
    ASSERT_TRUE(server.StartOnFreePort());
    WireClient client(server.Port());
    std::string burst;
    for (int i = 0; i < 25; ++i) {
        ASSERT_TRUE(
            parlo::AppendCommandFrame(burst, RegisterCommand("b" + std::to_string(i), "pw")));
    }
    client.SendRaw(burst);
    for (int i = 0; i < 25; ++i) {
        ASSERT_EQ(client.WaitFor("AddNewUser:"), "AddNewUser:OK") << i;
    }
    EXPECT_EQ(ExitCode(server.StopWith(SIGHUP)), 0);
    EXPECT_EQ(LoginsIn(dir / "UserDB.dat").size(), 25u);
    EXPECT_EQ(ReadFile(dir / "precious"), "precious");
    EXPECT_FALSE(fs::is_symlink(dir / "UserDB.bak")) << "replaced, not written through";
    const std::string out = server.Stdout();
    size_t saves = 0;
    for (size_t at = out.find("UserDB.dat sauvé"); at != std::string::npos;
         at = out.find("UserDB.dat sauvé", at + 1)) {
        ++saves;
    }
    EXPECT_LE(saves, 6u) << "25 pipelined registrations, one save per read";
    fs::remove(dir / "Log.txt");
    ServerProcess again(ServerPath(), dir);
    ASSERT_TRUE(again.StartOnFreePort());
    EXPECT_EQ(ExitCode(again.StopWith(SIGTERM)), 0);
    for (const char* name : {"UserDB.dat", "UserDB.bak", "Log.txt"}) {
        EXPECT_EQ(fs::status(dir / name).permissions() & fs::perms::all, fs::perms(0600)) << name;
    }
}

}  // namespace
