// Crash consistency: the headless Server, under registrations and
// address-book changes from two clients, is killed with SIGKILL at random
// moments and started again in the same directory. Each time UserDB.dat must
// load whole and hold every account whose "AddNewUser:OK" reached a client and
// every address-book change that was answered.
//
// PARLO_KILLS sets the number of kills (30 by default); PARLO_SERVER another
// Server program to run.
#include <poll.h>
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "protocol/commands.h"
#include "server/core/userdb.h"
#include "server/core/userdb_file.h"
#include "tests/support/process.h"
#include "tests/support/wire_client.h"

namespace {

// PARLO_SERVER points the full-size runs at another build of the program.
std::string ServerPath() {
    return parlo::testing::ProgramPath("PARLO_SERVER", SERVER_PATH);
}

using parlo::testing::ConnectCommand;
using parlo::testing::ReadFile;
using parlo::testing::RegisterCommand;
using parlo::testing::ScratchDirectory;
using parlo::testing::ServerProcess;
using parlo::testing::WireClient;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using Pair = std::pair<std::string, std::string>;  // ordered: first < second

Pair PairOf(const std::string& a, const std::string& b) {
    return a < b ? Pair{a, b} : Pair{b, a};
}

// What the clients were told, and what is in doubt because a kill came
// before the answer.
struct Acknowledged {
    std::set<std::string> accounts;
    std::set<Pair> contacts;  // both books hold the other
    std::set<Pair> in_doubt;
    size_t changes = 0;
};

// One client: registers accounts one after the other and, as each, adds and
// removes contacts among the accounts it registered before. An operation is
// acknowledged by its own answer ("AddNewUser:OK") or, for address-book
// changes, by the answer to a GetState sent behind it (the server handles
// one connection's commands in order).
class Worker {
  public:
    Worker(int id, std::mt19937& random, Acknowledged& acked)
        : id_(id), random_(random), acked_(acked) {}

    void Connect(uint16_t port) {
        client_ = std::make_unique<WireClient>(port);
        current_.clear();
        awaiting_.clear();
    }
    int Fd() const { return client_->Fd(); }

    // Sends the next operation when none is waiting for its answer.
    void Step() {
        if (!awaiting_.empty() || client_->Closed()) {
            return;
        }
        std::vector<std::string> addable;
        if (!current_.empty()) {
            for (const std::string& other : mine_) {
                if (other != current_ && !acked_.contacts.contains(PairOf(current_, other)) &&
                    !acked_.in_doubt.contains(PairOf(current_, other))) {
                    addable.push_back(other);
                }
            }
        }
        std::vector<std::string> removable;
        for (const Pair& pair : acked_.contacts) {
            if (pair.first == current_ || pair.second == current_) {
                removable.push_back(pair.first == current_ ? pair.second : pair.first);
            }
        }
        const int choice = static_cast<int>(random_() % 10);
        if (!addable.empty() && choice < 6) {
            target_ = addable[random_() % addable.size()];
            adding_ = true;
            client_->Send("YesAddAddressBook:" + target_);
        } else if (!removable.empty() && choice < 8) {
            target_ = removable[random_() % removable.size()];
            adding_ = false;
            client_->Send("RemoveAddressBook:" + target_);
        } else {
            target_ = "c" + std::to_string(id_) + "n" + std::to_string(next_++);
            client_->Send(RegisterCommand(target_, "pw"));
            awaiting_ = "AddNewUser:";
            return;
        }
        client_->Send("GetState:ping" + std::to_string(id_));
        awaiting_ = "ping" + std::to_string(id_) + ":";
    }

    // Takes what arrived; acknowledges the operation its answer ends.
    void Receive() {
        client_->ReadAvailable();
        while (std::optional<std::string> command = client_->Pop()) {
            if (awaiting_.empty() || !command->starts_with(awaiting_)) {
                continue;
            }
            if (awaiting_ == "AddNewUser:") {
                ASSERT_EQ(*command, "AddNewUser:OK");
                acked_.accounts.insert(target_);
                mine_.push_back(target_);
                current_ = target_;
            } else {
                const Pair pair = PairOf(current_, target_);
                if (adding_) {
                    acked_.contacts.insert(pair);
                } else {
                    acked_.contacts.erase(pair);
                }
                ++acked_.changes;
            }
            awaiting_.clear();
        }
    }

    // The kill came first: the change waiting for its answer may or may not
    // have been made. (An unanswered registration names nobody later.)
    void Killed() {
        if (!awaiting_.empty() && awaiting_ != "AddNewUser:") {
            acked_.in_doubt.insert(PairOf(current_, target_));
        }
        awaiting_.clear();
        client_.reset();
    }

  private:
    int id_;
    std::mt19937& random_;
    Acknowledged& acked_;
    std::unique_ptr<WireClient> client_;
    std::vector<std::string> mine_;  // acknowledged accounts of this worker
    std::string current_;            // the account this connection is
    std::string awaiting_;           // prefix of the awaited answer; empty: none
    std::string target_;
    bool adding_ = false;
    int next_ = 0;
};

// Checks the file left by a kill against what was acknowledged; returns the
// number of acknowledged accounts it lacks.
size_t CheckDatabase(const fs::path& directory, const Acknowledged& acked) {
    parlo::server::RecordList users;
    const std::string bytes = ReadFile(directory / "UserDB.dat");
    if (bytes.empty()) {
        EXPECT_TRUE(acked.accounts.empty());
        return acked.accounts.size();
    }
    const auto report = parlo::server::DecodeUserDatabase(bytes, users);
    EXPECT_TRUE(report.complete);
    EXPECT_TRUE(report.refused.empty());
    size_t lost = 0;
    for (const std::string& login : acked.accounts) {
        const parlo::server::Account* account = users.FindFirstByLogin(login);
        if (account == nullptr) {
            ADD_FAILURE() << "acknowledged account lost: " << login;
            ++lost;
            continue;
        }
        // Every contact is one acknowledged or in doubt, and every
        // acknowledged one is there.
        for (const std::string& contact : account->address_book) {
            const Pair pair = PairOf(login, contact);
            EXPECT_TRUE(acked.contacts.contains(pair) || acked.in_doubt.contains(pair))
                << login << " holds " << contact << " though its removal was answered";
        }
    }
    for (const Pair& pair : acked.contacts) {
        if (acked.in_doubt.contains(pair)) {
            continue;
        }
        for (const auto& [owner, contact] : {pair, Pair{pair.second, pair.first}}) {
            const parlo::server::Account* account = users.FindFirstByLogin(owner);
            EXPECT_TRUE(account != nullptr && account->HasContact(contact))
                << owner << " lost the contact " << contact;
        }
    }
    return lost;
}

int KillCount() {
    const char* text = std::getenv("PARLO_KILLS");
    const int kills = text != nullptr ? std::atoi(text) : 0;
    return kills > 0 ? kills : 30;
}

TEST(CrashConsistency, EveryAcknowledgedAccountAndChangeSurvivesSigkill) {
    ScratchDirectory directory;
    std::mt19937 random(20261208);
    Acknowledged acked;
    Worker workers[] = {{1, random, acked}, {2, random, acked}};
    const int kills = KillCount();
    size_t lost = 0;
    for (int kill = 0; kill < kills; ++kill) {
        ServerProcess server(ServerPath(), directory.Path());
        ASSERT_TRUE(server.StartOnFreePort()) << "start " << kill;
        for (Worker& worker : workers) {
            worker.Connect(server.Port());
        }
        const auto deadline =
            Clock::now() + std::chrono::milliseconds(20 + random() % 300);  // the random moment
        while (Clock::now() < deadline) {
            for (Worker& worker : workers) {
                worker.Step();
            }
            pollfd fds[] = {{workers[0].Fd(), POLLIN, 0}, {workers[1].Fd(), POLLIN, 0}};
            poll(fds, 2, 5);
            for (Worker& worker : workers) {
                worker.Receive();
            }
        }
        server.Kill();
        for (Worker& worker : workers) {
            worker.Killed();
        }
        lost += CheckDatabase(directory.Path(), acked);
        if (::testing::Test::HasFailure()) {
            break;
        }
    }
    // The last file also loads in the program, whole.
    ServerProcess last(ServerPath(), directory.Path());
    ASSERT_TRUE(last.StartOnFreePort());
    EXPECT_EQ(last.StopWith(SIGTERM), 0);
    const std::string log = ReadFile(directory.Path() / "Log.txt");
    EXPECT_EQ(log.find("illisible"), std::string::npos);
    EXPECT_EQ(log.find("incomplet"), std::string::npos);
    for (const auto& entry : fs::directory_iterator(directory.Path())) {
        EXPECT_FALSE(entry.path().string().ends_with(".damaged")) << entry.path();
    }
    std::cout << "kills: " << kills << ", accounts acknowledged: " << acked.accounts.size()
              << ", address-book changes acknowledged: " << acked.changes
              << ", accounts lost: " << lost << "\n";
    EXPECT_EQ(lost, 0u);
    EXPECT_GT(acked.accounts.size(), static_cast<size_t>(kills));
}

// The log's lines of a loop turn are written together before the server
// waits again: after SIGTERM every relayed message has its line; after
// SIGKILL every message relayed before the last turn (here, the turn that
// answered a later request) has its line.
TEST(CrashConsistency, RelayedMessagesKeepTheirLogLinesThroughSigtermAndSigkill) {
    constexpr int kMessages = 200;
    for (const int signal : {SIGTERM, SIGKILL}) {
        ScratchDirectory directory;
        ServerProcess server(ServerPath(), directory.Path());
        ASSERT_TRUE(server.StartOnFreePort());
        WireClient ann(server.Port());
        WireClient bob(server.Port());
        for (auto [client, login] : {std::pair{&ann, "ann"}, std::pair{&bob, "bob"}}) {
            client->Send(RegisterCommand(login, "pw"));
            ASSERT_EQ(client->WaitFor("AddNewUser:"), "AddNewUser:OK");
            client->Send(ConnectCommand(login, "pw"));
            ASSERT_EQ(client->WaitFor("Login:"), "Login:OK");
        }
        std::string burst;  // one write: the server reads it in a few turns
        for (int k = 0; k < kMessages; ++k) {
            parlo::AppendCommandFrame(
                burst, parlo::FormatMessage("ann", std::vector<std::string>{"ann", "bob"},
                                            "n° " + std::to_string(k)));
        }
        ASSERT_TRUE(ann.SendRaw(burst));
        for (int k = 0; k < kMessages; ++k) {
            ASSERT_TRUE(bob.WaitFor("Message:")) << k;
        }
        if (signal == SIGKILL) {
            ann.Send("GetState:bob");
            ASSERT_TRUE(ann.WaitFor("bob:"));
            server.Kill();
        } else {
            EXPECT_EQ(server.StopWith(SIGTERM), 0);
        }
        const std::string log = ReadFile(directory.Path() / "Log.txt");
        for (int k = 0; k < kMessages; ++k) {
            EXPECT_NE(log.find("ann dit à ann bob n° " + std::to_string(k) + "\n"),
                      std::string::npos)
                << "signal " << signal << ", message " << k;
        }
        EXPECT_TRUE(log.ends_with("\n"));
        if (signal == SIGTERM) {
            EXPECT_TRUE(log.ends_with("UserDB.dat sauvé\n")) << log.substr(log.size() - 200);
        }
    }
}

}  // namespace
