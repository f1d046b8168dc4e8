// The simulated user's state machine, driven with canned server commands.
#include <gtest/gtest.h>

#include "protocol/codec.h"
#include "protocol/commands.h"
#include "tools/load/load_client.h"

namespace parlo::load {
namespace {

std::vector<std::string> Take(LoadClient& client) {
    std::vector<std::string> sent;
    sent.swap(client.Outbox());
    return sent;
}

std::string LoginOf(std::string_view blob) {
    std::string login;
    Uncompress(blob, login);
    return login;
}

// A client that has connected and logged in for an earlier step.
LoadClient OnlineClient(int index, std::string login) {
    LoadClient client(index, std::move(login), "pw");
    client.Begin(Task::kGoOnline, 1);
    client.OnConnected(2);
    client.OnCommand("Login:OK", 3);
    client.Outbox().clear();
    return client;
}

TEST(RegisterTest, SendsARecordTextOnceConnected) {
    LoadClient client(4, "load5", "secret");
    client.Begin(Task::kRegister, 10);
    EXPECT_TRUE(Take(client).empty());  // nothing before the connection
    client.OnConnected(11);
    const std::vector<std::string> sent = Take(client);
    ASSERT_EQ(sent.size(), 1u);
    const std::optional<std::string_view> record = AddNewUserRecord(sent[0]);
    ASSERT_TRUE(record);
    const std::optional<RecordView> view = ParseRecordText(*record);
    ASSERT_TRUE(view);
    EXPECT_EQ(LoginOf(view->login_blob), "load5");
    EXPECT_FALSE(client.Finished());
}

TEST(RegisterTest, NewAndKnownAccountsBothCount) {
    LoadClient created(0, "a", "pw");
    created.Begin(Task::kRegister, 1);
    created.OnConnected(2);
    created.OnCommand("AddNewUser:OK", 3);
    EXPECT_TRUE(created.Done());
    EXPECT_EQ(created.Registration(), RegisterOutcome::kCreated);

    LoadClient known(1, "b", "pw");
    known.Begin(Task::kRegister, 1);
    known.OnConnected(2);
    known.OnCommand("AddNewUser:Utilisateur déjà référencé", 3);
    EXPECT_TRUE(known.Done());
    EXPECT_EQ(known.Registration(), RegisterOutcome::kAlreadyKnown);

    LoadClient refused(2, "c", "pw");
    refused.Begin(Task::kRegister, 1);
    refused.OnConnected(2);
    refused.OnCommand("AddNewUser:Login invalide", 3);
    EXPECT_TRUE(refused.Failed());
    EXPECT_NE(refused.Failure().find("Login invalide"), std::string::npos);
}

TEST(StormTest, LoginThenBookThenStatesWithTimeStamps) {
    LoadClient client(0, "load1", "pw");
    client.Begin(Task::kStorm, 100);
    client.OnConnected(110);
    const std::vector<std::string> connect = Take(client);
    ASSERT_EQ(connect.size(), 1u);
    const std::optional<ConnectView> view = ParseConnect(connect[0]);
    ASSERT_TRUE(view);
    EXPECT_EQ(LoginOf(view->login_blob), "load1");

    // A state list before the book is someone else's broadcast: not ours yet.
    client.OnCommand("SetState!", 115);
    client.OnCommand("Login:OK", 120);
    EXPECT_EQ(Take(client), std::vector<std::string>{"AddressBook"});
    client.OnCommand("SetState!load2:1", 125);
    EXPECT_FALSE(client.Finished());
    client.OnCommand("AddressBook:load2!Charge!2!x@y:load3!Charge!3!z@y:gone", 130);
    EXPECT_EQ(client.BookEntries(), 3);
    EXPECT_EQ(Take(client), std::vector<std::string>{"GetAllState"});
    client.OnCommand("SetState!load2:0!load3:1!gone:1", 140);
    EXPECT_TRUE(client.Done());
    EXPECT_TRUE(client.Online());
    EXPECT_EQ(client.ConnectedNs(), 110);
    EXPECT_EQ(client.LoginNs(), 120);
    EXPECT_EQ(client.BookNs(), 130);
    EXPECT_EQ(client.StatesNs(), 140);
}

TEST(StormTest, EmptyBookStillNeedsItsStates) {
    LoadClient client(0, "load1", "pw");
    client.Begin(Task::kStorm, 0);
    client.OnConnected(1);
    client.OnCommand("Login:ok", 2);  // the answer is compared without case
    client.OnCommand("AddressBook:", 3);
    EXPECT_EQ(client.BookEntries(), 0);
    client.OnCommand("SetState!", 4);
    EXPECT_TRUE(client.Done());
}

TEST(StormTest, RefusalEvictionAndLostConnection) {
    LoadClient refused(0, "load1", "pw");
    refused.Begin(Task::kStorm, 0);
    refused.OnConnected(1);
    refused.OnCommand("Login:Identifiant ou mot de passe non valide.", 2);
    EXPECT_TRUE(refused.Failed());
    EXPECT_FALSE(refused.Online());

    // An eviction after the step is over leaves the result but not the login.
    LoadClient done = OnlineClient(1, "load2");
    ASSERT_TRUE(done.Done());
    done.OnCommand("Login:Vous êtes connecté ailleurs...", 9);
    EXPECT_TRUE(done.Done());
    EXPECT_FALSE(done.Online());

    LoadClient dropped(2, "load3", "pw");
    dropped.Begin(Task::kStorm, 0);
    dropped.OnConnected(1);
    dropped.OnClosed(2);
    EXPECT_TRUE(dropped.Failed());
    EXPECT_EQ(dropped.Failure(), "connection closed");
    EXPECT_FALSE(dropped.Connected());
}

TEST(StormTest, AlreadyOnlineAsksForTheBookAtOnce) {
    LoadClient client = OnlineClient(0, "load1");
    client.Begin(Task::kStorm, 50);
    EXPECT_EQ(Take(client), std::vector<std::string>{"AddressBook"});
}

TEST(ContactsTest, AcceptsEveryRequestInAnyStep) {
    LoadClient client = OnlineClient(0, "load1");
    client.OnCommand("DoAddAddressBook:load9", 5);
    EXPECT_EQ(Take(client), std::vector<std::string>{"YesAddAddressBook:load9"});
}

TEST(ContactsTest, DoneWhenEveryAskedUserAccepted) {
    LoadClient client = OnlineClient(0, "load1");
    client.SetContactsToAsk({"load2", "load3"});
    client.Begin(Task::kAskContacts, 10);
    EXPECT_EQ(Take(client),
              (std::vector<std::string>{"DoAddAddressBook:load2", "DoAddAddressBook:load3"}));
    client.OnCommand("YesAddAddressBook:load7", 11);  // not one we asked
    client.OnCommand("YesAddAddressBook:LOAD2", 12);  // logins ignore case
    client.OnCommand("YesAddAddressBook:load2", 13);  // a repeat does not count twice
    EXPECT_FALSE(client.Finished());
    client.OnCommand("YesAddAddressBook:load3", 14);
    EXPECT_TRUE(client.Done());
}

TEST(ContactsTest, NeedsALogin) {
    LoadClient offline(0, "load1", "pw");
    offline.SetContactsToAsk({"load2"});
    offline.Begin(Task::kAskContacts, 0);
    EXPECT_TRUE(offline.Failed());
    EXPECT_TRUE(Take(offline).empty());

    LoadClient nobody = OnlineClient(1, "load2");
    nobody.Begin(Task::kAskContacts, 0);
    EXPECT_TRUE(nobody.Done());
}

TEST(RelayTextTest, StampSurvivesSeparatorsAndPadding) {
    const std::string text = RelayText(123456789012, 17, 3, 64);
    EXPECT_EQ(text.size(), 64u);
    EXPECT_NE(text.find(':'), std::string::npos);
    EXPECT_NE(text.find('!'), std::string::npos);
    int64_t stamp = 0;
    int sender = 0;
    ASSERT_TRUE(ReadRelayText(text, stamp, sender));
    EXPECT_EQ(stamp, 123456789012);
    EXPECT_EQ(sender, 17);

    // Never cut inside a UTF-8 sequence, never shorter than the stamp.
    for (int bytes = 40; bytes < 80; ++bytes) {
        const std::string padded = RelayText(1, 2, 3, bytes);
        EXPECT_EQ(CutUtf8(padded, padded.size()).size(), padded.size());
        EXPECT_LE(padded.size(), static_cast<size_t>(bytes));
        EXPECT_GE(padded.size() + 1, static_cast<size_t>(bytes));
    }
    EXPECT_FALSE(ReadRelayText("bonjour", stamp, sender));
    EXPECT_FALSE(ReadRelayText("plm 12", stamp, sender));
    EXPECT_FALSE(ReadRelayText("plm x 1 2 ", stamp, sender));
}

TEST(RelayTest, WindowBoundsMessagesInFlight) {
    RelayTracker tracker(2);
    LoadClient sender = OnlineClient(0, "load1");
    LoadClient receiver = OnlineClient(1, "load2");
    sender.SetRelay(&tracker, "load2", 5, 2, 48);
    receiver.SetRelay(&tracker, "", 0, 1, 0);
    sender.Begin(Task::kRelay, 1000);
    std::vector<std::string> in_flight = Take(sender);
    ASSERT_EQ(in_flight.size(), 2u);

    const std::optional<MessageView> first = ParseMessage(in_flight[0]);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->sender, "load1");
    ASSERT_EQ(first->participants.size(), 2u);
    EXPECT_EQ(first->participants[1], "load2");

    int64_t now = 2000;
    int rounds = 0;
    while (!sender.Finished() && rounds++ < 10) {
        for (const std::string& message : in_flight) {
            receiver.OnCommand(message, now);
        }
        EXPECT_EQ(tracker.TakeReadySenders(), std::vector<int>(in_flight.size(), 0));
        sender.PumpRelay(now);
        in_flight = Take(sender);
        EXPECT_LE(in_flight.size(), 2u);
        now += 1000;
    }
    EXPECT_TRUE(sender.Done());
    EXPECT_EQ(tracker.Delivered(), 5);
    EXPECT_EQ(tracker.DeliveredFrom(0), 5);
    ASSERT_EQ(tracker.LatenciesNs().size(), 5u);
    EXPECT_EQ(tracker.LatenciesNs()[0], 1000);  // stamped at 1000, seen at 2000
}

TEST(RelayTest, AFixedRateReleasesOneMessagePerIntervalWithinTheWindow) {
    RelayTracker tracker(2);
    LoadClient sender = OnlineClient(0, "load1");
    LoadClient receiver = OnlineClient(1, "load2");
    sender.SetRelay(&tracker, "load2", 10, 3, 48, /*interval_ns=*/100);
    receiver.SetRelay(&tracker, "", 0, 1, 0);
    sender.Begin(Task::kRelay, 1000);
    EXPECT_EQ(Take(sender).size(), 1u) << "the first leaves at once";
    sender.PumpRelay(1050);
    EXPECT_TRUE(Take(sender).empty()) << "not before its interval";
    sender.PumpRelay(1200);
    const std::vector<std::string> due = Take(sender);
    EXPECT_EQ(due.size(), 2u) << "two intervals later, two more";
    sender.PumpRelay(2000);
    EXPECT_TRUE(Take(sender).empty()) << "three in flight: the window holds the rest";
    receiver.OnCommand(due[0], 2000);
    sender.PumpRelay(2000);
    EXPECT_EQ(Take(sender).size(), 1u);
}

TEST(RelayTest, ForeignOrBrokenMessagesAreCountedNotTrusted) {
    RelayTracker tracker(2);
    LoadClient receiver = OnlineClient(1, "load2");
    receiver.SetRelay(&tracker, "", 0, 1, 0);
    receiver.OnCommand(FormatMessage("bob", std::vector<std::string>{"bob", "load2"}, "salut"), 1);
    receiver.OnCommand("Message:999:bob:2:bob:load2:court", 2);
    // A stamp naming a sender outside the run.
    receiver.OnCommand(
        FormatMessage("bob", std::vector<std::string>{"bob", "load2"}, "plm 5 77 0 "), 3);
    EXPECT_EQ(tracker.Delivered(), 0);
    EXPECT_EQ(tracker.Unreadable(), 3);
    EXPECT_TRUE(tracker.TakeReadySenders().empty());
}

}  // namespace
}  // namespace parlo::load
