// Commands stored for offline users: the save they ask for, and their bound.
#include <ctime>

#include "tests/server_core/harness.h"

namespace parlo::server::testing {
namespace {

using PendingCommands = CoreTest;

size_t Saves(const RecordingEvents& events) {
    const auto messages = events.Messages();
    return static_cast<size_t>(std::count(messages.begin(), messages.end(), "UserDB.dat sauvé"));
}

TEST_F(PendingCommands, AStoredCommandAsksForOneSaveForEverythingStoredBeforeIt) {
    FakeConnection& ann = Online("ann");
    Core().AddAccount(MakeRecord(Record("bob")));
    Core().AddAccount(MakeRecord(Record("cid")));
    EXPECT_FALSE(Core().SaveWanted());
    const size_t saves = Saves(events_);

    Send(ann, "DoAddAddressBook:bob");
    Send(ann, "DoAddAddressBook:cid");
    Send(ann, "Leave:ann:bob!cid");
    EXPECT_TRUE(Core().SaveWanted());
    EXPECT_EQ(Saves(events_), saves) << "not at once";
    Core().SavePending();
    EXPECT_EQ(Saves(events_), saves + 1);
    EXPECT_FALSE(Core().SaveWanted());
    Core().SavePending();
    EXPECT_EQ(Saves(events_), saves + 1) << "nothing new to save";

    // Already on disk: the restarted server still has them.
    core_.reset();
    Core();
    EXPECT_EQ(Core().Users().FindFirstByLogin("bob")->pending,
              (std::vector<std::string>{"DoAddAddressBook:ann", "Leave:ann:bob!cid"}));

    // A command identical to a pending one stores nothing and asks for nothing.
    FakeConnection& ann2 = Online("ann");
    Send(ann2, "DoAddAddressBook:bob");
    EXPECT_FALSE(Core().SaveWanted());
}

TEST_F(PendingCommands, ASaveMadeAtOnceCoversWhatWasStoredBefore) {
    FakeConnection& ann = Online("ann");
    Core().AddAccount(MakeRecord(Record("bob")));
    Send(ann, "DoAddAddressBook:bob");
    ASSERT_TRUE(Core().SaveWanted());
    FakeConnection& visitor = Accept("10.0.0.2");
    Register(visitor, "zoe");  // saves at once, as always
    EXPECT_FALSE(Core().SaveWanted());
}

TEST_F(PendingCommands, EachAccountKeepsAtMostItsLimitAndTheNewestIsRefusedWithALogLine) {
    FakeConnection& ann = Online("ann");
    Core().AddAccount(MakeRecord(Record("bob")));
    for (size_t i = 0; i < UserRecord::kMaxPending; ++i) {
        Send(ann, "Leave:ann:bob!x" + std::to_string(i));
    }
    const UserRecord& bob = *Core().Users().FindFirstByLogin("bob");
    ASSERT_EQ(bob.pending.size(), UserRecord::kMaxPending);
    EXPECT_FALSE(
        events_.Logged("Commande en attente refusée pour bob : déjà 1000 commandes en attente"));

    Send(ann, "Leave:ann:bob!over");
    EXPECT_EQ(bob.pending.size(), UserRecord::kMaxPending);
    EXPECT_EQ(bob.pending.back(), "Leave:ann:bob!x999") << "the newest is the one refused";
    EXPECT_TRUE(
        events_.Logged("Commande en attente refusée pour bob : déjà 1000 commandes en attente"));

    // Once delivered, the list has room again.
    FakeConnection& bob_online = Online("bob", "10.0.0.2");
    Close(bob_online);
    Send(ann, "Leave:ann:bob!again");
    EXPECT_EQ(Core().Users().FindFirstByLogin("bob")->pending,
              std::vector<std::string>{"Leave:ann:bob!again"});
}

TEST_F(PendingCommands, AMessageForAnOfflineUserIsKeptWithItsTimeAndTheSenderIsTold) {
    FakeConnection& ann = Online("ann");
    Core().AddAccount(MakeRecord(Record("bob")));
    const std::vector<std::string> people = {"ann", "bob", "nobody"};
    const std::string message = FormatMessage("ann", people, "à demain : oui!");
    Send(ann, message);
    Send(ann, message);  // the same text again: a second message
    // Told for bob; "nobody" has no account and is dropped as before.
    EXPECT_EQ(ann.Take(), (std::vector<std::string>{"Absent:bob:1:ann!bob!nobody",
                                                    "Absent:bob:1:ann!bob!nobody"}));
    const std::vector<std::string>& pending = Core().Users().FindFirstByLogin("bob")->pending;
    ASSERT_EQ(pending.size(), 2u);
    const auto first = ParseKeptMessage(pending[0]);
    const auto second = ParseKeptMessage(pending[1]);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->message_command, message);
    EXPECT_LT(first->sent_ms, second->sent_ms);
    EXPECT_NEAR(static_cast<double>(first->sent_ms), std::time(nullptr) * 1000.0, 5000.0);
    EXPECT_TRUE(events_.Logged("Message de ann gardé pour bob"));
    // A client that knows only the protocol's own keywords ignores both.
    EXPECT_FALSE(RecognizeClientCommand(pending[0]));
    EXPECT_FALSE(RecognizeClientCommand("Absent:bob:1:ann!bob"));

    // Delivered after the login's answer, in order, then gone.
    FakeConnection& bob = Accept("10.0.0.2");
    Login(bob, "bob");
    const auto received = bob.Take();
    ASSERT_GE(received.size(), 3u);
    EXPECT_EQ(received[0], "Login:OK");
    EXPECT_EQ(ParseKeptMessage(received[1])->sent_ms, first->sent_ms);
    EXPECT_EQ(ParseKeptMessage(received[2])->sent_ms, second->sent_ms);
    EXPECT_TRUE(Core().Users().FindFirstByLogin("bob")->pending.empty());
    Close(bob);

    // Kept messages are bounded in bytes; the sender hears of the refusal.
    const std::vector<std::string> pair = {"ann", "bob"};
    const std::string big = FormatMessage("ann", pair, std::string(7000, 'x'));
    const size_t fit = UserRecord::kMaxPendingBytes / (big.size() + 26);
    for (size_t i = 0; i <= fit; ++i) {
        Send(ann, big);
    }
    const auto told = ann.Take();
    EXPECT_EQ(std::count(told.begin(), told.end(), "Absent:bob:1:ann!bob"), fit);
    EXPECT_EQ(told.back(), "Absent:bob:0:ann!bob");
    const UserRecord& stored = *Core().Users().FindFirstByLogin("bob");
    EXPECT_TRUE(events_.Logged("Commande en attente refusée pour bob : déjà " +
                               std::to_string(fit) + " commandes en attente (" +
                               std::to_string(stored.PendingBytes()) + " octets, au plus 262144)"));
    Close(Online("bob", "10.0.0.2"));

    // A full store refuses it, and the sender hears that it was not kept.
    for (size_t i = 0; i < UserRecord::kMaxPending; ++i) {
        Send(ann, "Leave:ann:bob!x" + std::to_string(i));
    }
    ann.Take();
    Send(ann, FormatMessage("ann", pair, "trop tard"));
    EXPECT_EQ(ann.Take(), std::vector<std::string>{"Absent:bob:0:ann!bob"});
    // Typing and invitations are never kept.
    Close(Online("bob", "10.0.0.2"));
    Send(ann, "Writing:ann:1:ann!bob!");
    Send(ann, "Invite:bob:ann!");
    EXPECT_TRUE(Core().Users().FindFirstByLogin("bob")->pending.empty());
}

}  // namespace
}  // namespace parlo::server::testing
