// Bounds against hostile peers: password guessing slowed, connections that
// never log in closed, stored commands bounded by bytes and replayed at the
// pace the connection's output takes them, log lines quoting answers cut.
#include <random>

#include "tests/server_core/harness.h"

namespace parlo::server::testing {
namespace {

using Limits = CoreTest;
const std::vector<std::string> kRefused{"Login:Identifiant ou mot de passe non valide."};

TEST_F(Limits, EachFailedLoginMakesItsConnectionWaitLongerAndTheFifthClosesIt) {
    Close(Online("ann"));
    FakeConnection& guesser = Accept("10.0.0.9");
    for (const int64_t wait : {500, 1000, 2000, 4000}) {
        Login(guesser, "ann", "guess");
        EXPECT_EQ(guesser.Take(), kRefused);
        Send(guesser, "GetState:ann");  // waits behind the failure
        Advance(wait - 1);
        EXPECT_TRUE(guesser.Take().empty()) << wait;
        Advance(1);
        EXPECT_EQ(guesser.Take(), std::vector<std::string>{"ann:1"}) << wait;
    }
    Login(guesser, "ann", "guess");
    EXPECT_EQ(guesser.Take(), kRefused);
    EXPECT_TRUE(guesser.closed);
    EXPECT_TRUE(events_.Logged("PC-ann (10.0.0.9) : 5 identifications refusées, connexion fermée"));
    EXPECT_TRUE(events_.Logged("User ann est inconnu (10.0.0.9)"));

    // The owner, from another connection, logs in at once.
    FakeConnection& owner = Accept("10.0.0.3");
    Login(owner, "ann");
    EXPECT_EQ(owner.Take().front(), "Login:OK");
}

TEST_F(Limits, ALoginTriedFromManyConnectionsIsCheckedTenTimesASecond) {
    Close(Online("ann"));
    std::vector<FakeConnection*> guessers;
    for (int k = 0; k < 100; ++k) {
        guessers.push_back(&Accept("10.0.1." + std::to_string(k)));
    }
    const auto answered = [&] {
        size_t count = 0;
        for (FakeConnection* c : guessers) {
            count += !First(*c, "Login:").empty();
        }
        return count;
    };
    for (FakeConnection* c : guessers) {
        Login(*c, "ann", "guess");
    }
    size_t total = answered();
    EXPECT_EQ(total, 11u) << "the first, then a burst of ten";
    Advance(1000);
    total += answered();
    EXPECT_EQ(total, 21u);
    // Those whose turn was more than eight seconds away were closed.
    EXPECT_EQ(std::count_if(guessers.begin(), guessers.end(), [](auto* c) { return c->closed; }),
              100 - 11 - 80);
}

TEST_F(Limits, AConnectionThatDoesNotLogInInTimeIsClosed) {
    FakeConnection& idle = Accept("10.0.0.5");
    FakeConnection& ann = Online("ann", "10.0.0.6");
    Advance(ServerOptions::kDefaultLoginTimeoutMs - 1);
    EXPECT_FALSE(idle.closed);
    Advance(1);
    EXPECT_TRUE(idle.closed);
    EXPECT_FALSE(ann.closed);
    EXPECT_TRUE(events_.Logged(" (10.0.0.5) non identifié après 30 s : connexion fermée"));
}

// A connection whose output drains only when the test says so.
class SlowConnection : public FakeConnection {
  public:
    void Send(std::string_view bytes) override {
        FakeConnection::Send(bytes);
        queued += bytes.size();
    }
    size_t QueuedBytes() const override { return queued; }
    void NotifyWhenDrained() override { drain_asked = true; }

    size_t queued = 0;
    bool drain_asked = false;
};

TEST_F(Limits, StoredCommandsAreBoundedByBytesAndReplayedAsTheOutputDrains) {
    FakeConnection& ann = Online("ann");
    Core().AddAccount(MakeRecord(Record("bob")));
    std::mt19937 random(3);
    std::vector<std::string> sent;
    for (int k = 0; k < 40; ++k) {
        std::string text = "Leave:ann:bob!" + std::to_string(k) + "!";
        while (text.size() < 8000) {
            text.push_back(static_cast<char>('a' + random() % 26));
        }
        Send(ann, text);
        sent.push_back(text);
    }
    const Account& stored = *Core().Users().FindFirstByLogin("bob");
    EXPECT_LE(stored.PendingBytes(), Account::kMaxPendingBytes);
    const size_t kept = stored.pending.size();
    EXPECT_EQ(kept, Account::kMaxPendingBytes / 8000);
    EXPECT_TRUE(
        events_.Logged("Commande en attente refusée pour bob : déjà 32 commandes en "
                       "attente (256000 octets, au plus 262144)"));

    SlowConnection bob;
    Core().OnAccepted(bob, "10.0.0.2", 1);
    Login(bob, "bob");
    std::vector<std::string> received = bob.Take();
    ASSERT_EQ(received.front(), "Login:OK");
    received.erase(received.begin());
    EXPECT_LT(received.size(), kept) << "no more than the window at once";
    EXPECT_TRUE(bob.drain_asked);
    Send(ann, "DoAddAddressBook:bob");  // comes after the stored ones
    for (int round = 0; bob.drain_asked && round < 100; ++round) {
        bob.queued = 0;
        bob.drain_asked = false;
        Core().OnDrained(bob);
        for (std::string& command : bob.Take()) {
            received.push_back(std::move(command));
        }
    }
    sent.resize(kept);
    sent.push_back("DoAddAddressBook:ann");
    EXPECT_EQ(received, sent);
    EXPECT_TRUE(Core().Users().FindFirstByLogin("bob")->pending.empty());
}

TEST_F(Limits, LogLinesQuoteAnswersOnlySoFar) {
    FakeConnection& ann = Online("ann");
    for (int k = 0; k < 200; ++k) {
        Core().AddAccount(MakeRecord(Record("anne" + std::to_string(k), "pw", "Anne")));
    }
    Send(ann, FormatFindUser("", "anne", "", ""));
    EXPECT_GT(First(ann, "FindUser:").size(), 4000u);
    const std::string line = events_.Messages().back();
    EXPECT_LT(line.size(), 2 * kMaxQuotedBytes);
    EXPECT_TRUE(line.ends_with(" octets), 200 entrées")) << line;
}

}  // namespace
}  // namespace parlo::server::testing
