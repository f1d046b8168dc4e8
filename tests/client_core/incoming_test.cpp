#include <QCoreApplication>
#include <QElapsedTimer>

#include "tests/client_core/session_fixture.h"

namespace parlo::client::testing {
namespace {

using Sent = std::vector<std::string>;
using Names = std::vector<std::string>;

class IncomingTest : public SessionTest {
  protected:
    void SetUp() override {
        LogInAs("me", "AddressBook:bob!Bob!B!b@x:carl:dora!D!!");
        links_.Deliver({"SetState!bob:0!carl:0!dora:1"});
        links_.sent.clear();
    }
    Conversation* Find(const Names& names) { return session_.FindConversation(names); }
};

TEST_F(IncomingTest, AddressBookAnswerRebuildsTheListAndAsksForStates) {
    links_.Deliver({"AddressBook:zoe:Amy"});
    EXPECT_EQ(session_.Contacts().Entries()[0].login, "Amy");
    links_.Deliver({"AddressBook:"});
    EXPECT_TRUE(session_.Contacts().IsEmpty());
    EXPECT_EQ(links_.sent, (Sent{"GetAllState", "GetAllState"}));
}

TEST_F(IncomingTest, MessagesFindOrOpenTheWindowOfExactlyTheirParticipants) {
    links_.Deliver({"Message:8:bob:2:me:bob:a:b!c:d!", "Message:2:bob:2:BOB:me:ok"});
    ASSERT_EQ(session_.Conversations().size(), 1u);
    const ViewRecord& view = ViewOf(*session_.Conversations()[0]);
    EXPECT_EQ(view.transcript, (Sent{"bob: a:b!c:d!", "bob: ok"}));
    EXPECT_TRUE(view.visible);
    EXPECT_EQ(view.raised, 0);
    EXPECT_EQ(view.title, "bob est connecté(e)");
    EXPECT_EQ(ui_.sounds, 2);

    links_.Deliver({"Message:2:bob:3:me:bob:carl:hi"});
    EXPECT_EQ(session_.Conversations().size(), 2u);
}

TEST_F(IncomingTest, MessageTextEndsAtANulAndMalformedMessagesAreIgnored) {
    session_.SetSound(false);
    links_.Deliver({std::string_view("Message:5:bob:2:me:bob:ab\0cd", 28),
                    "Message:99:bob:2:me:bob:short", "Message:x:bob:2:me:bob:y"});
    ASSERT_EQ(session_.Conversations().size(), 1u);
    EXPECT_EQ(ViewOf(*session_.Conversations()[0]).transcript, Sent{"bob: ab"});
    EXPECT_EQ(ui_.sounds, 0);
}

TEST_F(IncomingTest, AddressBookRequestsAskTheUserAndAnswer) {
    ui_.answers = {BoxAnswer::kYes, BoxAnswer::kNo};
    links_.Deliver({"DoAddAddressBook:zoe", "DoAddAddressBook:max"});
    EXPECT_EQ(links_.sent, (Sent{"YesAddAddressBook:zoe", "NoAddAddressBook:max"}));
    ASSERT_EQ(ui_.boxes.size(), 2u);
    EXPECT_EQ(ui_.boxes[0].text,
              "zoe vous a ajouté à son carnet d'adresse\npour voir ses messages vous devez "
              "faire de même...\n\nAjouter zoe");
    EXPECT_EQ(ui_.boxes[0].buttons, BoxButtons::kYesNo);
    EXPECT_EQ(ui_.boxes[0].icon, BoxIcon::kQuestion);
}

TEST_F(IncomingTest, InformationCommandsShowTheirBoxes) {
    links_.Deliver({"YesAddAddressBook:zoe", "NoAddAddressBook:max", "DelAddressBook:bob",
                    "AddNewUser:Utilisateur déjà référencé", "AddNewUser:OK",
                    "Broadcast:Coupure à 18h: merci", "Unknown:thing"});
    EXPECT_EQ(ui_.BoxTexts(), (Sent{"zoe a accepté l'ajout dans votre carnet d'adresse",
                                    "max a refusé l'ajout dans votre carnet d'adresse",
                                    "bob est supprimé de votre carnet d'adresse",
                                    std::string(texts::kLoginTaken), "Coupure à 18h"}));
    EXPECT_EQ(ui_.boxes[3].caption, texts::kAddError);
    EXPECT_EQ(ui_.boxes[4].caption, texts::kAdministrator);
    EXPECT_EQ(ui_.boxes[4].icon, BoxIcon::kInformation);
    links_.Deliver({"AskAddressBook"});
    EXPECT_EQ(links_.sent, Sent{"AddressBook"});
}

TEST_F(IncomingTest, OpeningAConversationInvitesAndTheEchoAddsTheContact) {
    session_.OpenConversationWith("BOB");
    ASSERT_EQ(session_.Conversations().size(), 1u);
    const Conversation& conversation = *session_.Conversations()[0];
    EXPECT_TRUE(ViewOf(conversation).visible);
    EXPECT_EQ(links_.sent, Sent{"Invite:bob:me!"});

    links_.Deliver({"Invite:bob:me!"});
    EXPECT_EQ(conversation.ParticipantLogins(), (Names{"me", "bob"}));
    EXPECT_EQ(ViewOf(conversation).transcript, Sent{"info: bob s'est joint à la conversation"});

    // A second opening brings the same window forward and invites again.
    session_.OpenConversationWith("bob");
    EXPECT_EQ(session_.Conversations().size(), 1u);
    EXPECT_EQ(ViewOf(conversation).raised, 1);
    EXPECT_EQ(links_.sent.back(), "Invite:bob:me!");
}

TEST_F(IncomingTest, OpeningAConversationWithAnOfflineContactStartsAnEmail) {
    session_.OpenConversationWith("dora");
    EXPECT_EQ(ui_.mails, Sent{""});  // dora's entry has an empty e-mail field
    EXPECT_TRUE(links_.sent.empty());
    EXPECT_TRUE(session_.Conversations().empty());
}

TEST_F(IncomingTest, InviteOfAThirdUserGrowsTheExistingConversation) {
    links_.Deliver({"Message:2:bob:2:me:bob:hi"});
    const Conversation& conversation = *session_.Conversations()[0];
    links_.Deliver({"Invite:carl:me!bob"});
    EXPECT_EQ(conversation.ParticipantLogins(), (Names{"me", "bob", "carl"}));
    links_.Deliver({"Invite:carl:me!bob"});  // already there: no second line
    EXPECT_EQ(ViewOf(conversation).transcript,
              (Sent{"bob: hi", "info: carl s'est joint à la conversation"}));
    EXPECT_EQ(session_.Conversations().size(), 1u);
}

TEST_F(IncomingTest, LeaveOfATwoPersonConversationClosesItsVisibleWindow) {
    links_.Deliver({"Message:2:bob:2:me:bob:hi"});
    const ConversationId id = session_.Conversations()[0]->Id();
    links_.Deliver({"Leave:bob:me!bob"});
    EXPECT_EQ(ui_.BoxTexts(), Sent{"bob a quitté la conversation, la fenêtre va être fermée"});
    EXPECT_EQ(ui_.boxes[0].caption, texts::kConversations);
    EXPECT_TRUE(session_.Conversations().empty());
    EXPECT_TRUE(ui_.views.at(id)->destroyed);
}

TEST_F(IncomingTest, LeaveOfAHiddenOrLargerConversationOnlyRemovesTheParticipant) {
    Conversation& hidden = session_.CreateConversation(Names{"me", "bob"});
    links_.Deliver({"Leave:BOB:me!bob"});
    EXPECT_TRUE(ui_.boxes.empty());
    EXPECT_EQ(hidden.ParticipantLogins(), Names{"me"});
    EXPECT_EQ(ViewOf(hidden).transcript, Sent{"info: BOB a quitté la conversation"});

    links_.Deliver({"Message:2:bob:3:me:bob:carl:hi"});
    Conversation& group = *session_.Conversations().back();
    links_.Deliver({"Leave:carl:me!bob!carl"});
    EXPECT_EQ(group.ParticipantLogins(), (Names{"me", "bob"}));
    EXPECT_FALSE(ViewOf(group).destroyed);
}

TEST_F(IncomingTest, DuplicateWindowsAreClosedByTheNextLookup) {
    Conversation& older = session_.CreateConversation(Names{"me", "bob"});
    const ConversationId older_id = older.Id();
    older.View().Show();
    Conversation& newer = session_.CreateConversation(Names{"bob", "me"});
    EXPECT_EQ(Find({"me", "bob"}), &newer);
    EXPECT_EQ(ui_.BoxTexts(),
              Sent{"Une autre conversation entre :\nme et bob\nexiste déjà, cette fenêtre va "
                   "être fermée"});
    EXPECT_TRUE(ui_.views.at(older_id)->destroyed);

    // A hidden older duplicate goes without a box.
    ui_.boxes.clear();
    const Conversation& third = session_.CreateConversation(Names{"me", "bob"});
    EXPECT_EQ(Find({"me", "bob"}), &third);
    EXPECT_TRUE(ui_.boxes.empty());
    EXPECT_EQ(session_.Conversations().size(), 1u);
}

TEST_F(IncomingTest, WritingSetsTheTypingLineAndStatesRefreshEveryTitle) {
    links_.Deliver({"Message:2:bob:2:me:bob:hi"});
    const ViewRecord& view = ViewOf(*session_.Conversations()[0]);
    links_.Deliver({"Writing:bob:1:me!bob!"});
    EXPECT_EQ(view.typing_line, "bob écrit");
    links_.Deliver({"Writing:bob:0:me!bob!"});
    EXPECT_EQ(view.typing_line, "");
    links_.Deliver({"SetState!bob:3"});
    EXPECT_EQ(view.title, "bob est déconnecté(e)");
    links_.Deliver({"SetState!bob:2"});
    EXPECT_EQ(view.title, "bob est absent(e)");
}

TEST_F(IncomingTest, ConversationSendersBuildTheirCommands) {
    links_.Deliver({"Message:2:bob:2:me:bob:hi"});
    const ConversationId id = session_.Conversations()[0]->Id();
    session_.SubmitMessage(id, "");
    EXPECT_TRUE(links_.sent.empty());
    session_.ConversationInputChanged(id, 3);
    session_.ConversationInputChanged(id, 4);
    session_.SubmitMessage(id, "x:y!z");
    session_.ConversationInputChanged(id, 0);
    EXPECT_EQ(links_.sent, (Sent{"Writing:me:1:me!bob!", "Message:5:me:2:me:bob:x:y!z",
                                 "Writing:me:0:me!bob!"}));
    EXPECT_EQ(ViewOf(*session_.Conversations()[0]).transcript.back(), "me: x:y!z");

    EXPECT_EQ(session_.InviteCandidates(id), Names{"carl"});
    session_.LeaveConversation(id);
    EXPECT_EQ(links_.sent.back(), "Leave:me:me!bob");
    EXPECT_TRUE(session_.Conversations().empty());
    EXPECT_TRUE(ui_.views.at(id)->destroyed);
}

TEST_F(IncomingTest, FramesWaitWhileABoxRaisedByACommandIsOpen) {
    ui_.while_box_open = [this] {
        links_.Deliver({"AskAddressBook"});
        EXPECT_TRUE(links_.sent.empty()) << "a frame was handled behind an open box";
    };
    links_.Deliver({"Broadcast:one", "AskAddressBook"});
    EXPECT_EQ(links_.sent, (Sent{"AddressBook", "AddressBook"}));
}

TEST_F(IncomingTest, FramesArrivingDuringABoxOfAUserActionWaitForItsEnd) {
    ui_.while_box_open = [this] { links_.Deliver({"AskAddressBook"}); };
    session_.AddContact("zoe");
    EXPECT_EQ(links_.sent, Sent{"DoAddAddressBook:zoe"});
    EXPECT_EQ(ui_.BoxTexts(), Sent{"zoe apparaîtra automatiquement dès qu'il vous aura accepté"});
    QCoreApplication::processEvents();
    EXPECT_EQ(links_.sent.back(), "AddressBook");
}

TEST_F(IncomingTest, ConnectionLostBehindABoxDropsTheRestOfTheRead) {
    ui_.while_box_open = [this] { links_.CloseFromServer(); };
    links_.Deliver({"Login:Vous êtes connecté ailleurs...", "AskAddressBook"});
    EXPECT_FALSE(session_.IsConnected());
    EXPECT_EQ(ui_.boxes.size(), 1u);
    EXPECT_TRUE(links_.sent.empty());
}

TEST_F(IncomingTest, UserClosingAWindowBehindADuplicateBoxIsHandled) {
    Conversation& older = session_.CreateConversation(Names{"me", "bob"});
    older.View().Show();
    const ConversationId newer = session_.CreateConversation(Names{"me", "bob"}).Id();
    ui_.while_box_open = [&] { session_.LeaveConversation(newer); };
    EXPECT_EQ(Find({"me", "bob"}), nullptr);
    EXPECT_TRUE(session_.Conversations().empty());
}

}  // namespace
}  // namespace parlo::client::testing
