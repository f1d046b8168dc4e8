// Coming back after a lost connection: the schedule of the attempts, and what
// the session shows and sends meanwhile.
#include <QDateTime>

#include "client/core/reconnect_policy.h"
#include "tests/support/client_fakes.h"
#include "tests/support/qt_wait.h"

namespace parlo::client::testing {
namespace {

using Ms = ReconnectPolicy::Ms;

TEST(ReconnectPolicy, WaitsDoubleUpToAMinuteWithFullJitterAndRestartAfterAStableMinute) {
    ReconnectPolicy policy(1);
    const Ms ceilings[] = {Ms(1000),  Ms(2000),  Ms(4000),  Ms(8000),  Ms(16000),
                           Ms(32000), Ms(60000), Ms(60000), Ms(60000), Ms(60000)};
    for (const Ms ceiling : ceilings) {
        EXPECT_EQ(policy.Ceiling(), ceiling);
        const Ms delay = policy.NextDelay();
        EXPECT_GE(delay.count(), 0);
        EXPECT_LE(delay, ceiling);
    }
    for (int i = 0; i < 100; ++i) {
        policy.NextDelay();  // no overflow however long the server stays away
    }
    EXPECT_EQ(policy.Ceiling(), Ms(60000));
    policy.ConnectionLost(Ms(59999));
    EXPECT_EQ(policy.Ceiling(), Ms(60000)) << "a short stay online does not reset";
    policy.ConnectionLost(ReconnectPolicy::kStableOnline);
    EXPECT_EQ(policy.Ceiling(), Ms(1000));

    // Full jitter: first waits spread over the whole second.
    Ms low(1000), high(0);
    for (std::uint64_t seed = 0; seed < 200; ++seed) {
        const Ms delay = ReconnectPolicy(seed).NextDelay();
        low = std::min(low, delay);
        high = std::max(high, delay);
    }
    EXPECT_LT(low, Ms(100));
    EXPECT_GT(high, Ms(900));
}

class Reconnecting : public SessionTest {
  protected:
    void SetUp() override {
        LogInAs("me", "AddressBook:bob");
        links_.Deliver({"SetState!bob:0"});
        session_.SendInvite("bob", "me!");
        links_.Deliver({"Invite:bob:me!"});
        ASSERT_EQ(session_.Conversations().size(), 1u);
        links_.sent.clear();
    }
    Conversation& Chat() { return *session_.Conversations()[0]; }
};

TEST_F(Reconnecting, ALostConnectionComesBackWithThePresenceChosenAndCaptionsFollow) {
    session_.MenuStateAway();
    links_.sent.clear();
    EXPECT_EQ(ViewOf(Chat()).title, "bob est connecté(e)");
    links_.CloseFromServer();
    EXPECT_EQ(session_.OwnState(), kStateConnecting);
    EXPECT_EQ(session_.OwnStateText(), "reconnexion dans 1 s");
    EXPECT_EQ(ViewOf(Chat()).title, "bob est déconnecté(e)");
    // Typing says nothing while a reconnection is under way.
    session_.ConversationInputChanged(Chat().Id(), 2);
    EXPECT_TRUE(ui_.boxes.empty());

    const int links = links_.created;
    ASSERT_TRUE(parlo::testing::WaitUntil([&] { return links_.created > links; }, 1500));
    EXPECT_TRUE(links_.sent.at(0).starts_with("Connect:"));
    links_.Deliver({"Login:OK"});
    EXPECT_EQ(links_.sent, (Texts{links_.sent[0], "AddressBook", "SetState:me:3"}));
    EXPECT_EQ(session_.OwnState(), kStateAway);
    EXPECT_FALSE(session_.ReconnectionPending());
}

TEST_F(Reconnecting, FailedAttemptsWaitLongerUntilTheUserChoosesToStop) {
    links_.CloseFromServer();
    session_.NetworkBack();  // at once
    links_.FailConnect("connexion refusée");
    EXPECT_EQ(session_.OwnState(), kStateConnecting);
    EXPECT_EQ(session_.ConnectionProblem(), "Serveur injoignable : connexion refusée");
    EXPECT_TRUE(session_.ReconnectionPending());
    session_.MenuStateOffline();
    EXPECT_FALSE(session_.ReconnectionPending());
    EXPECT_EQ(session_.OwnState(), kStateOffline);
    EXPECT_EQ(session_.OwnStateText(), "deconnecté(e)");

    // Offline by choice, typing raises one box per conversation.
    session_.ConversationInputChanged(Chat().Id(), 0);
    session_.ConversationInputChanged(Chat().Id(), 1);
    session_.ConversationInputChanged(Chat().Id(), 0);
    session_.ConversationInputChanged(Chat().Id(), 1);
    EXPECT_EQ(ui_.boxes, Texts{std::string(texts::kNotConnected)});
}

TEST_F(Reconnecting, NeverAfterAnEvictionOrARefusedLogin) {
    for (const char* refusal : {"Login:Vous êtes connecté ailleurs...",
                                "Login:Identifiant ou mot de passe non valide."}) {
        links_.Deliver({refusal});
        links_.CloseFromServer();
        EXPECT_FALSE(session_.ReconnectionPending()) << refusal;
        EXPECT_EQ(session_.OwnState(), kStateOffline);
        LogInAs("me", "AddressBook:bob");
    }
}

TEST_F(Reconnecting, KeptMessagesOpenTheirWindowWithTheirTimeAndAbsencesAreSaidOnce) {
    const std::vector<std::string> trio = {"ann", "me", "zoe"};
    const std::string message = FormatMessage("ann", trio, "tu es là ?");
    // 2026-12-09 10:58 UTC; shown in the user's time zone.
    const std::int64_t sent = 1796813880000;
    links_.Deliver({FormatKeptMessage(sent, message)});
    const Conversation* kept = session_.FindConversation(trio);
    ASSERT_NE(kept, nullptr);
    const QString when = QDateTime::fromMSecsSinceEpoch(sent).toLocalTime().toString(
        QStringLiteral("'message envoyé le 'dd/MM/yyyy' à 'HH:mm"));
    EXPECT_EQ(ViewOf(*kept).transcript, (Texts{"info: " + when.toStdString(), "ann: tu es là ?"}));
    EXPECT_TRUE(ViewOf(*kept).visible);

    links_.Deliver({"SetState!bob:1", "Absent:bob:1:me!bob", "Absent:BOB:1:me!bob"});
    links_.Deliver(
        {"Absent:bob:0:bob!me", "SetState!bob:0", "SetState!bob:1", "Absent:bob:0:me!bob"});
    EXPECT_EQ(ViewOf(Chat()).transcript,
              (Texts{"info: bob s'est joint à la conversation",
                     "info: bob n'est pas connecté(e) : il le recevra à sa prochaine connexion",
                     "info: bob n'est pas connecté(e) : le message n'a pas pu lui être gardé"}));
}

}  // namespace
}  // namespace parlo::client::testing
