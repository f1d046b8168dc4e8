#include "tests/server_core/harness.h"

namespace parlo::server::testing {
namespace {

using Presence = CoreTest;
using Relay = CoreTest;

TEST_F(Presence, FullBroadcastRefreshesEveryConnectionInBookOrder) {
    broadcast_ = BroadcastMode::kFull;
    FakeConnection& ann = Online("ann");
    FakeConnection& bob = Online("bob");
    Core().AddAccount(MakeRecord(Record("cid")));
    Core().Users().FindFirstByLogin("ann")->address_book = {"cid", "BOB"};
    Core().AccountsChanged();
    FakeConnection& anonymous = Accept();

    Send(bob, "SetState:bob:3");
    EXPECT_EQ(ann.Take(), std::vector<std::string>{"SetState!cid:1!BOB:3"})
        << "contacts as written in the book";
    EXPECT_EQ(bob.Take(), std::vector<std::string>{"SetState!"});
    EXPECT_EQ(anonymous.Take(), std::vector<std::string>{"SetState!"});
    EXPECT_TRUE(events_.Logged("l'état de bob est absent"));

    Send(bob, "SetState:bob:2");
    EXPECT_EQ(ann.Take(), std::vector<std::string>{"SetState!cid:1!BOB:2"});
    Send(bob, "SetState:bob:5");
    EXPECT_EQ(ann.Take(), std::vector<std::string>{"SetState!cid:1!BOB:0"});
    EXPECT_TRUE(events_.Logged("l'état de bob est ")) << "code 5 has an empty name";

    bob.Take();
    Send(ann, "GetAllState");
    EXPECT_EQ(bob.Take(), std::vector<std::string>{"SetState!"}) << "not only the requester";
    EXPECT_EQ(ann.Take(), std::vector<std::string>{"SetState!cid:1!BOB:0"});
    EXPECT_TRUE(events_.Logged("ann a obtenu les états de son carnet d'adresse"));

    Close(bob);
    EXPECT_EQ(ann.Take(), std::vector<std::string>{"SetState!cid:1!BOB:1"});
    Send(ann, "GetState:Bob");
    EXPECT_EQ(ann.Take(), std::vector<std::string>{"Bob:1"});
    EXPECT_TRUE(events_.Logged("ann demande l'état de Bob"));
}

TEST_F(Presence, ListsForOthersWaitAndGatherTheChangesMeanwhile) {
    state_list_delay_ms_ = 100;
    FakeConnection& ann = Online("ann");
    Close(Online("bob"));
    Close(Online("cid"));
    MakeContacts("ann", "bob");
    MakeContacts("ann", "cid");
    Send(ann, "GetAllState");
    EXPECT_EQ(ann.Take(), std::vector<std::string>{"SetState!bob:1!cid:1"}) << "an answer at once";
    Advance(100);

    // Two contacts back within the wait: one list, once it is over.
    FakeConnection& bob = Online("bob");
    Send(bob, "GetAllState");
    FakeConnection& cid = Online("cid");
    Send(cid, "GetAllState");
    EXPECT_TRUE(ann.Take().empty());
    Advance(100);
    EXPECT_EQ(ann.Take(), std::vector<std::string>{"SetState!bob:0!cid:0"});
    Advance(100);
    EXPECT_TRUE(ann.Take().empty());

    // A change undone within the wait sends nothing.
    Send(bob, "SetState:bob:3");
    Send(bob, "SetState:bob:0");
    Advance(100);
    EXPECT_TRUE(ann.Take().empty());
    Send(bob, "SetState:bob:3");
    Advance(100);
    EXPECT_EQ(ann.Take(), std::vector<std::string>{"SetState!bob:3!cid:0"});
}

TEST_F(Presence, ListsGatheredOverTheWaitGoInSlices) {
    state_list_delay_ms_ = 100;
    const size_t watchers = server::Presence::kListsPerSlice + 10;
    std::vector<FakeConnection*> connections;
    Close(Online("ann"));
    for (size_t i = 0; i < watchers; ++i) {
        const std::string login = "u" + std::to_string(i);
        connections.push_back(&Online(login));
        Core().Users().FindFirstByLogin(login)->AppendContact("ann");
    }
    Core().AccountsChanged();
    Advance(100);
    Advance(0);  // the end of that gather
    Send(Online("ann"), "GetAllState");
    const auto received = [&] {
        size_t lists = 0;
        for (FakeConnection* c : connections) {
            lists += c->Take().size();
        }
        return lists;
    };
    received();
    Advance(100);
    EXPECT_EQ(received(), server::Presence::kListsPerSlice);
    Advance(0);
    EXPECT_EQ(received(), 10u) << "the rest at the next turn";
}

TEST_F(Presence, ChangesBroadcastSendsAListOnlyWhereItChangedAndAlwaysToTheCause) {
    FakeConnection& ann = Online("ann");
    FakeConnection& bob = Online("bob");
    FakeConnection& cid = Online("cid");
    MakeContacts("ann", "bob");
    Send(ann, "GetAllState");
    EXPECT_EQ(ann.Take(), std::vector<std::string>{"SetState!bob:0"});
    EXPECT_EQ(bob.Take(), std::vector<std::string>{"SetState!ann:0"}) << "its book changed";
    EXPECT_EQ(cid.Take(), std::vector<std::string>{"SetState!"}) << "never had a list";

    Send(ann, "GetAllState");
    EXPECT_EQ(ann.Take(), std::vector<std::string>{"SetState!bob:0"}) << "the answer, repeated";
    EXPECT_TRUE(bob.Take().empty());
    EXPECT_TRUE(cid.Take().empty());

    Send(bob, "SetState:bob:3");
    EXPECT_EQ(ann.Take(), std::vector<std::string>{"SetState!bob:3"});
    EXPECT_EQ(bob.Take(), std::vector<std::string>{"SetState!ann:0"});
    EXPECT_TRUE(cid.Take().empty());
    Send(bob, "SetState:bob:5");
    EXPECT_EQ(ann.Take(), std::vector<std::string>{"SetState!bob:0"}) << "code 5 is online";
    Send(bob, "SetState:bob:0");
    EXPECT_TRUE(ann.Take().empty()) << "still online: nothing changed";

    // A visitor that never logs in gets its empty list once.
    FakeConnection& visitor = Accept("10.0.0.9");
    Close(cid);
    EXPECT_EQ(visitor.Take(), std::vector<std::string>{"SetState!"});
    EXPECT_TRUE(ann.Take().empty()) << "cid is not in ann's book";
    Close(bob);
    EXPECT_EQ(ann.Take(), std::vector<std::string>{"SetState!bob:1"});
    EXPECT_TRUE(visitor.Take().empty());

    // Removing a contact changes both books.
    FakeConnection& bob2 = Online("bob", "10.0.0.3");
    Send(ann, "GetAllState");
    EXPECT_EQ(ann.Take(), std::vector<std::string>{"SetState!bob:0"});
    EXPECT_EQ(bob2.Take(), std::vector<std::string>{"SetState!ann:0"});
    Send(ann, "RemoveAddressBook:bob");
    ann.Take();
    bob2.Take();
    Send(ann, "GetAllState");
    EXPECT_EQ(ann.Take(), std::vector<std::string>{"SetState!"});
    EXPECT_EQ(bob2.Take(), std::vector<std::string>{"SetState!"});
}

TEST_F(Relay, MessageReachesOnlineParticipantsWithItsTextWhole) {
    FakeConnection& ann = Online("ann");
    FakeConnection& bob = Online("bob");
    const std::string text = "a: b! c:: fin";
    const std::vector<std::string> people = {"ann", "BOB", "cid"};
    const std::string message = FormatMessage("ann", people, text);
    Send(ann, message);
    EXPECT_EQ(bob.Take(), std::vector<std::string>{message});
    EXPECT_TRUE(ann.Take().empty()) << "never back to the sender";
    EXPECT_TRUE(events_.Logged("ann dit à ann BOB cid a: b! c:: fin"));
    EXPECT_TRUE(Core().Users().FindFirstByLogin("bob")->pending.empty()) << "never stored";

    events_.lines.clear();
    const std::vector<std::string> offline = {"ann", "cid"};
    Send(ann, FormatMessage("ann", offline, "hello"));
    EXPECT_TRUE(events_.lines.empty()) << "nobody reached: no log line";
}

TEST_F(Relay, NobodySpeaksInSomeoneElsesName) {
    FakeConnection& ann = Online("ann");
    FakeConnection& bob = Online("bob");
    const std::vector<std::string> people = {"ann", "bob"};
    Send(ann, FormatMessage("bob", people, "forged"));
    Send(ann, "Leave:bob:ann!bob");
    FakeConnection& anonymous = Accept();
    Send(anonymous, FormatMessage("", people, "anonymous"));
    Send(anonymous, "Writing::1:ann!bob!");
    Send(anonymous, "Invite:bob:ann!");
    Send(anonymous, "SetState::3");
    EXPECT_TRUE(bob.Take().empty());
    EXPECT_TRUE(ann.Take().empty());
    EXPECT_TRUE(anonymous.Take().empty());
    Send(ann, FormatMessage("ANN", people, "letter case aside"));
    EXPECT_EQ(bob.Take().size(), 1u);
}

TEST_F(Relay, InviteEchoesAndRenamesTheSenderInTheList) {
    FakeConnection& ann = Online("ann");
    FakeConnection& bob = Online("bob");
    FakeConnection& cid = Online("cid");
    Send(ann, "Invite:cid:bob!ann!annie");
    EXPECT_EQ(ann.Take(), std::vector<std::string>{"Invite:cid:bob!ann!annie"});
    EXPECT_EQ(bob.Take(), std::vector<std::string>{"Invite:ann:bob!cid!cidie"})
        << "the replacement also changes longer logins";
    EXPECT_EQ(cid.Take(), std::vector<std::string>{"Invite:ann:bob!cid!cidie"});
    EXPECT_TRUE(events_.Logged("ann ajoute cid dans la discussion"));
}

TEST_F(Relay, LeaveIsDeliveredOrStoredOnceAndReplayedAfterLogin) {
    FakeConnection& ann = Online("ann");
    Core().AddAccount(MakeRecord(Record("bob")));
    Send(ann, "Leave:ann:ann!bob");
    Send(ann, "Leave:ann:ann!bob");
    EXPECT_EQ(ann.Take(), std::vector<std::string>(2, "Leave:ann:ann!bob"))
        << "the leaver is a participant too";
    EXPECT_TRUE(events_.Logged("ann quite la discussion"));
    Send(ann, "Leave:ANN:ann!bob");
    EXPECT_EQ(Core().Users().FindFirstByLogin("bob")->pending.size(), 2u)
        << "stored once unless the text differs, letter case included";
    FakeConnection& bob = Accept();
    Login(bob, "bob");
    EXPECT_EQ(bob.Take(),
              (std::vector<std::string>{"Login:OK", "Leave:ann:ann!bob", "Leave:ANN:ann!bob"}));
}

TEST_F(Relay, WritingGoesToOtherOnlineParticipants) {
    FakeConnection& ann = Online("ann");
    FakeConnection& bob = Online("bob");
    events_.lines.clear();
    Send(ann, "Writing:whoever:1:ann!bob!cid!");
    EXPECT_EQ(bob.Take(), std::vector<std::string>{"Writing:ann:1:ann!bob!cid!"});
    EXPECT_TRUE(ann.Take().empty());
    EXPECT_TRUE(events_.lines.empty());
}

}  // namespace
}  // namespace parlo::server::testing
