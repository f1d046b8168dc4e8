// The real headless Server, started on a free loopback port in a scratch
// directory, driven by plain blocking sockets speaking the wire protocol.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "protocol/codec.h"
#include "protocol/commands.h"
#include "tests/support/process.h"
#include "tests/support/wire_client.h"

namespace {

using parlo::testing::ConnectTo;
using parlo::testing::ReadFile;
using parlo::testing::ScratchDirectory;
using parlo::testing::ServerProcess;
namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using parlo::testing::ConnectCommand;
using parlo::testing::RegisterCommand;
using parlo::testing::WireClient;

class ServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/parlo-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory_ = pattern;
        server_ = std::make_unique<ServerProcess>(SERVER_PATH, directory_);
        ASSERT_TRUE(server_->StartOnFreePort());
    }
    void TearDown() override {
        server_.reset();
        fs::remove_all(directory_);
    }

    std::unique_ptr<WireClient> NewClient() {
        auto client = std::make_unique<WireClient>(server_->Port());
        EXPECT_TRUE(client->Connected());
        return client;
    }

    // Registers and logs in on one connection, as a fresh client would.
    std::unique_ptr<WireClient> Account(std::string_view login, std::string_view first = "Prénom") {
        auto client = NewClient();
        client->Send(RegisterCommand(login, "pw-" + std::string(login), first));
        EXPECT_EQ(client->Next(), "AddNewUser:OK");
        return client;
    }

    std::unique_ptr<WireClient> LoggedIn(std::string_view login) {
        auto client = NewClient();
        client->Send(ConnectCommand(login, "pw-" + std::string(login)));
        EXPECT_EQ(client->Next(), "Login:OK");
        return client;
    }

    // Makes `a` and `b` contacts of each other (both online).
    void MakeContacts(WireClient& a, std::string_view a_login, WireClient& b,
                      std::string_view b_login) {
        a.Send("DoAddAddressBook:" + std::string(b_login));
        ASSERT_EQ(b.WaitFor("DoAddAddressBook:"), "DoAddAddressBook:" + std::string(a_login));
        b.Send("YesAddAddressBook:" + std::string(a_login));
        ASSERT_EQ(a.WaitFor("YesAddAddressBook:"), "YesAddAddressBook:" + std::string(b_login));
        ASSERT_EQ(a.WaitFor("AskAddressBook"), "AskAddressBook");
        ASSERT_EQ(b.WaitFor("AskAddressBook"), "AskAddressBook");
    }

    fs::path directory_;
    std::unique_ptr<ServerProcess> server_;
};

TEST_F(ServerTest, DuplicateOrWrongLoginsAreRefusedAndOnlyAMatchEvicts) {
    Account("alice");
    auto first = LoggedIn("alice");

    auto intruder = NewClient();
    intruder->Send(RegisterCommand("ALICE", "guess"));
    EXPECT_EQ(intruder->Next(), "AddNewUser:Utilisateur déjà référencé");
    intruder->Send(ConnectCommand("ALICE", "guess"));
    EXPECT_EQ(intruder->Next(), "Login:Identifiant ou mot de passe non valide.");

    // A wrong password leaves the online connection alone.
    first->Send("GetState:alice");
    EXPECT_EQ(first->Next(), "alice:0");

    auto second = NewClient();
    second->Send(ConnectCommand("alice", "pw-alice"));
    EXPECT_EQ(second->Next(), "Login:OK");
    // The first connection hears why, then is closed.
    EXPECT_EQ(first->Next(), "Login:Vous êtes connecté ailleurs...");
    EXPECT_TRUE(first->WaitClosed());
}

TEST_F(ServerTest, StoredCommandsFollowLoginInOrderAndBooksBecomeMutual) {
    Account("bob", "Bob");
    auto alice = Account("alice", "Alice");
    alice->Send("DoAddAddressBook:bob");
    alice->Send("Leave:alice:alice!bob");
    EXPECT_EQ(alice->WaitFor("Leave:"), "Leave:alice:alice!bob");

    auto bob = NewClient();
    bob->Send(ConnectCommand("bob", "pw-bob"));
    EXPECT_EQ(bob->Next(), "Login:OK");
    EXPECT_EQ(bob->Next(), "DoAddAddressBook:alice");
    EXPECT_EQ(bob->Next(), "Leave:alice:alice!bob");

    bob->Send("YesAddAddressBook:alice");
    EXPECT_EQ(alice->WaitFor("YesAddAddressBook:"), "YesAddAddressBook:bob");
    alice->Send("AddressBook");
    EXPECT_EQ(alice->WaitFor("AddressBook:"), "AddressBook:bob!Bob!Nom!x@example.org");
    bob->Send("AddressBook");
    EXPECT_EQ(bob->WaitFor("AddressBook:"), "AddressBook:alice!Alice!Nom!x@example.org");

    // A second login replays nothing: the first one emptied the store.
    bob.reset();
    auto again = NewClient();
    again->Send(ConnectCommand("bob", "pw-bob"));
    EXPECT_EQ(again->Next(), "Login:OK");
    again->Send("AddressBook");
    EXPECT_EQ(again->Next(), "AddressBook:alice!Alice!Nom!x@example.org");
}

TEST_F(ServerTest, PresenceChangesReachContacts) {
    auto alice = Account("alice");
    auto bob = Account("bob");
    MakeContacts(*alice, "alice", *bob, "bob");

    alice->Send("GetAllState");
    EXPECT_EQ(alice->WaitFor("SetState!"), "SetState!bob:0");
    EXPECT_EQ(bob->WaitFor("SetState!"), "SetState!alice:0");

    bob->Send("SetState:bob:3");
    EXPECT_EQ(alice->WaitFor("SetState!"), "SetState!bob:3");
    bob.reset();
    EXPECT_EQ(alice->WaitFor("SetState!"), "SetState!bob:1");
}

TEST_F(ServerTest, ConversationTrafficIsRelayedToTheOtherParticipants) {
    auto alice = Account("alice");
    auto bob = Account("bob");
    const std::vector<std::string> both = {"alice", "bob"};

    alice->Send("Invite:bob:alice!");
    EXPECT_EQ(alice->WaitFor("Invite:"), "Invite:bob:alice!");
    EXPECT_EQ(bob->WaitFor("Invite:"), "Invite:alice:bob!");

    alice->Send("Writing:alice:1:alice!bob!");
    EXPECT_EQ(bob->WaitFor("Writing:"), "Writing:alice:1:alice!bob!");

    // A text with field and list separators arrives byte for byte.
    const std::string message = parlo::FormatMessage("alice", both, "a:b!c :-) ::!! é");
    alice->Send(message);
    EXPECT_EQ(bob->WaitFor("Message:"), message);

    // A message claiming another sender is not relayed: the next thing Bob
    // sees is the genuine one after it.
    alice->Send(parlo::FormatMessage("bob", both, "forged"));
    const std::string genuine = parlo::FormatMessage("alice", both, "genuine");
    alice->Send(genuine);
    EXPECT_EQ(bob->WaitFor("Message:"), genuine);

    bob->Send("Leave:bob:alice!bob");
    EXPECT_EQ(alice->WaitFor("Leave:"), "Leave:bob:alice!bob");
    // Alice never received her own relayed traffic.
    alice->Send("GetState:nobody");
    for (auto command = alice->Next(); command; command = alice->Next()) {
        EXPECT_FALSE(command->starts_with("Writing:") || command->starts_with("Message:"))
            << *command;
        if (*command == "nobody:1") {
            break;
        }
    }
}

TEST_F(ServerTest, FindUserMatchesOthersButNeverTheSeeker) {
    Account("bob", "Bobette");
    Account("robert", "Rob");
    auto alice = Account("alice", "Alice");
    alice->Send(parlo::FormatFindUser("", "ob", "", ""));
    EXPECT_EQ(alice->Next(), "FindUser:bob!Bobette!Nom!x@example.org:robert!Rob!Nom!x@example.org");
    alice->Send(parlo::FormatFindUser("ali", "", "", ""));
    EXPECT_EQ(alice->Next(), "FindUser:");
}

TEST_F(ServerTest, SigtermSavesTheDatabaseAndExitsZero) {
    {
        auto alice = Account("alice");
        auto bob = Account("bob");
        MakeContacts(*alice, "alice", *bob, "bob");
    }
    int status = server_->StopWith(SIGTERM);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);

    const std::string db = ReadFile(directory_ / "UserDB.dat");
    ASSERT_GE(db.size(), 8u);
    EXPECT_EQ(db.substr(0, 8), std::string("\x67\0\0\0\x02\0\0\0", 8));  // version 103, 2 accounts
    const std::string log = ReadFile(directory_ / "Log.txt");
    for (const char* line : {"User alice ajouté", "alice ajoute bob dans son carnet d'adresses",
                             "(127.0.0.1) a quitté le chat"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line;
    }
    EXPECT_TRUE(log.ends_with("UserDB.dat sauvé\n"));
    // Standard output: one start-up line naming the port and the directory
    // (not a log line, so not in Log.txt), then every log line.
    const std::string out = server_->Stdout();
    const size_t first_end = out.find('\n') + 1;
    EXPECT_EQ(out.substr(0, first_end), "Server en écoute sur le port " +
                                            std::to_string(server_->Port()) + ", fichiers dans " +
                                            std::filesystem::canonical(directory_).string() + "\n");
    EXPECT_EQ(out.substr(first_end), log);

    // A new run finds the accounts and address books.
    ServerProcess next(SERVER_PATH, directory_);
    ASSERT_TRUE(next.StartOnFreePort());
    WireClient alice(next.Port());
    alice.Send(ConnectCommand("alice", "pw-alice"));
    EXPECT_EQ(alice.Next(), "Login:OK");
    alice.Send("AddressBook");
    EXPECT_EQ(alice.Next(), "AddressBook:bob!Prénom!Nom!x@example.org");
    EXPECT_EQ(WEXITSTATUS(next.StopWith(SIGINT)), 0);
}

TEST_F(ServerTest, AStoredCommandSurvivesAKillOneSecondLater) {
    Account("bob");  // goes offline at once
    auto alice = Account("alice");
    alice->Send("DoAddAddressBook:bob");
    alice->Send("GetState:bob");
    ASSERT_EQ(alice->Next(), "bob:1") << "the request before it has been handled";
    std::this_thread::sleep_for(1s);
    server_->Kill();

    ServerProcess next(SERVER_PATH, directory_);
    ASSERT_TRUE(next.StartOnFreePort());
    WireClient bob(next.Port());
    bob.Send(ConnectCommand("bob", "pw-bob"));
    EXPECT_EQ(bob.Next(), "Login:OK");
    EXPECT_EQ(bob.Next(), "DoAddAddressBook:alice");
}

TEST_F(ServerTest, FullBroadcastRepeatsEveryListAndTheDefaultOnlyChangedOnes) {
    const auto other_lists_after_two_requests = [&](ServerProcess& server) {
        WireClient ann(server.Port());
        ann.Send(RegisterCommand("ann", "pw"));
        EXPECT_EQ(ann.Next(), "AddNewUser:OK");
        WireClient bob(server.Port());
        bob.Send(RegisterCommand("bob", "pw"));
        EXPECT_EQ(bob.Next(), "AddNewUser:OK");
        ann.Send("GetAllState");
        ann.Send("GetAllState");
        ann.Send("GetState:ann");
        EXPECT_EQ(ann.Next(), "ann:0");
        std::this_thread::sleep_for(300ms);  // the lists owed to others wait 250 ms
        bob.Send("GetState:bob");
        int lists = 0;
        for (auto command = bob.NextAny(); command && *command != "bob:0";
             command = bob.NextAny()) {
            lists += command->starts_with("SetState!") ? 1 : 0;
        }
        return lists;
    };
    EXPECT_EQ(other_lists_after_two_requests(*server_), 1) << "its first list only";
    EXPECT_EQ(WEXITSTATUS(server_->StopWith(SIGTERM)), 0);

    ScratchDirectory elsewhere;
    ServerProcess full(SERVER_PATH, elsewhere.Path());
    ASSERT_TRUE(full.StartOnFreePort({"--broadcast", "full"}));
    EXPECT_GE(other_lists_after_two_requests(full), 2);
}

TEST_F(ServerTest, FramesSplitAcrossWritesAreReassembled) {
    auto client = NewClient();
    std::string frame;
    ASSERT_TRUE(parlo::AppendCommandFrame(frame, RegisterCommand("carol", "pw")));
    // Two frames in one write, the second one cut in three.
    std::string second;
    ASSERT_TRUE(parlo::AppendCommandFrame(second, "GetState:carol"));
    client->SendRaw(frame + second.substr(0, 1));
    std::this_thread::sleep_for(20ms);
    client->SendRaw(second.substr(1, 3));
    std::this_thread::sleep_for(20ms);
    client->SendRaw(second.substr(4));
    EXPECT_EQ(client->Next(), "AddNewUser:OK");
    EXPECT_EQ(client->Next(), "carol:0");
}

TEST_F(ServerTest, BadFramesCloseOnlyTheirOwnConnection) {
    auto bystander = Account("dave");
    auto oversize = NewClient();
    oversize->SendRaw("9000:" + std::string(100, 'x'));
    EXPECT_TRUE(oversize->WaitClosed());
    auto garbage = NewClient();
    garbage->SendRaw("hello, server\r\n");
    EXPECT_TRUE(garbage->WaitClosed());

    bystander->Send("GetState:dave");
    EXPECT_EQ(bystander->WaitFor("dave:"), "dave:0");
}

TEST(ServerProgram, BusyPortOrBadOptionEndsWithNonZeroStatus) {
    char pattern[] = "/tmp/parlo-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path directory = pattern;
    {
        int holder = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = 0;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        ASSERT_EQ(listen(holder, 1), 0);
        socklen_t length = sizeof(address);
        getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length);
        const std::string port = std::to_string(ntohs(address.sin_port));

        ServerProcess server(SERVER_PATH, directory);
        int status = server.RunToExit({"--headless", "--port", port});
        close(holder);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_NE(WEXITSTATUS(status), 0);
        EXPECT_NE(server.Stderr().find(port), std::string::npos) << server.Stderr();
        EXPECT_NE(ReadFile(directory / "Log.txt").find(port), std::string::npos);
        EXPECT_FALSE(fs::exists(directory / "UserDB.dat")) << "nothing served, nothing saved";

        for (const std::vector<std::string>& args : {std::vector<std::string>{"--colour"},
                                                     {"--headless", "--port", "http"},
                                                     {"--port"},
                                                     {"--port", "70000"}}) {
            status = server.RunToExit(args);
            ASSERT_TRUE(WIFEXITED(status));
            EXPECT_NE(WEXITSTATUS(status), 0) << args.back();
        }
        EXPECT_EQ(WEXITSTATUS(server.RunToExit({"--help"})), 0);
        EXPECT_NE(server.Stdout().find("Usage: Server"), std::string::npos);
    }
    fs::remove_all(directory);
}

}  // namespace
