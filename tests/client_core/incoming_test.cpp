// Commands from the server, the conversation registry, and the account
// commands, against fake links.
#include <QElapsedTimer>

#include "tests/support/client_fakes.h"

namespace parlo::client::testing {
namespace {

class IncomingTest : public SessionTest {
  protected:
    void SetUp() override {
        LogInAs("me", "AddressBook:bob!Bob!B!b@x:carl:dora");
        links_.Deliver({"SetState!bob:0!carl:0"});
        links_.sent.clear();
    }
    Conversation* Find(const Texts& names) { return session_.FindConversation(names); }
    Conversation& Only() {
        EXPECT_EQ(session_.Conversations().size(), 1u);
        return *session_.Conversations().front();
    }
};

TEST_F(IncomingTest, AddressBookAnswersAlwaysAskForStates) {
    links_.Deliver({"AddressBook:zoe:Amy", "AddressBook:", "AskAddressBook"});
    EXPECT_TRUE(session_.Contacts().IsEmpty());
    EXPECT_EQ(links_.sent, (Texts{"GetAllState", "GetAllState", "AddressBook"}));
}

TEST_F(IncomingTest, MessagesGoToTheWindowOfExactlyTheirParticipants) {
    links_.Deliver({"Message:8:bob:2:me:bob:a:b!c:d!", "Message:2:bob:2:BOB:me:ok",
                    "Message:99:bob:2:me:bob:short",
                    std::string_view("Message:5:bob:2:me:bob:ab\0cd", 28)});
    const ViewRecord& view = ViewOf(Only());
    EXPECT_EQ(view.transcript, (Texts{"bob: a:b!c:d!", "bob: ok", "bob: ab"}));
    EXPECT_TRUE(view.visible);
    EXPECT_EQ(view.title, "bob est connecté(e)");
    links_.Deliver({"SetState!bob:2"});
    EXPECT_EQ(view.title, "bob est inactif(ve)");
    links_.Deliver({"SetState!bob:3"});
    EXPECT_EQ(view.title, "bob est absent(e)");
    links_.Deliver({"SetState!bob:1"});
    EXPECT_EQ(view.title, "bob est déconnecté(e)");
    links_.Deliver({"SetState!bob:0"});
    EXPECT_EQ(ui_.sounds, 3);
    session_.SetSound(false);
    links_.Deliver({"Message:2:bob:3:me:bob:carl:hi", "Message:2:bob:2:me:bob:ok"});
    EXPECT_EQ(session_.Conversations().size(), 2u);  // a superset is another conversation
    EXPECT_EQ(ViewOf(*session_.Conversations()[0]).transcript.size(), 4u);
    EXPECT_EQ(ui_.sounds, 3);
}

TEST_F(IncomingTest, AddressBookNotificationsAndBroadcastShowBoxes) {
    ui_.next_answer = BoxAnswer::kYes;
    links_.Deliver({"DoAddAddressBook:zoe", "DoAddAddressBook:max", "YesAddAddressBook:zoe",
                    "NoAddAddressBook:max", "DelAddressBook:bob", "AddNewUser:refus",
                    "AddNewUser:OK", "Broadcast:Coupure à 18h: merci", "Unknown:x"});
    EXPECT_EQ(links_.sent, (Texts{"YesAddAddressBook:zoe", "NoAddAddressBook:max"}));
    EXPECT_EQ(ui_.boxes[0],
              "zoe vous a ajouté à son carnet d'adresse\npour voir ses messages vous devez "
              "faire de même...\n\nAjouter zoe");
    EXPECT_EQ(ui_.icons[0], BoxIcon::kQuestion);
    EXPECT_EQ(Texts(ui_.boxes.begin() + 2, ui_.boxes.end()),
              (Texts{"zoe a accepté l'ajout dans votre carnet d'adresse",
                     "max a refusé l'ajout dans votre carnet d'adresse",
                     "bob est supprimé de votre carnet d'adresse", std::string(texts::kLoginTaken),
                     "Coupure à 18h"}));
    EXPECT_EQ(ui_.captions[5], texts::kAddError);
    EXPECT_EQ(ui_.captions[6], texts::kAdministrator);
}

TEST_F(IncomingTest, OpeningAConversationInvitesAndTheEchoAddsTheContact) {
    session_.OpenConversationWith("BOB");
    EXPECT_EQ(links_.sent, Texts{"Invite:bob:me!"});
    links_.Deliver({"Invite:bob:me!"});
    Conversation& conversation = Only();
    EXPECT_EQ(conversation.ParticipantLogins(), (Texts{"me", "bob"}));
    EXPECT_EQ(ViewOf(conversation).transcript, Texts{"info: bob s'est joint à la conversation"});
    session_.OpenConversationWith("bob");
    EXPECT_EQ(ViewOf(Only()).raised, 2);  // when it opened, and now

    links_.Deliver({"Invite:carl:me!bob", "Invite:carl:me!bob"});
    EXPECT_EQ(Only().ParticipantLogins(), (Texts{"me", "bob", "carl"}));
    EXPECT_EQ(ViewOf(Only()).transcript.size(), 2u);

    session_.OpenConversationWith("dora");  // offline: an e-mail instead
    EXPECT_EQ(ui_.mails, Texts{""});
    EXPECT_EQ(links_.sent.size(), 2u);
}

TEST_F(IncomingTest, LeaveClosesOnlyAVisibleTwoPersonWindow) {
    Conversation& hidden = session_.CreateConversation(Texts{"me", "bob"});
    links_.Deliver({"Leave:BOB:me!bob"});
    EXPECT_TRUE(ui_.boxes.empty());
    EXPECT_EQ(hidden.ParticipantLogins(), Texts{"me"});
    EXPECT_EQ(ViewOf(hidden).transcript, Texts{"info: BOB a quitté la conversation"});

    links_.Deliver(
        {"Message:2:bob:2:me:bob:hi", "Message:2:bob:3:me:bob:carl:hi", "Leave:carl:me!bob!carl"});
    // The window of three is now a duplicate of the pair's, which goes.
    EXPECT_EQ(session_.Conversations().size(), 2u);
    EXPECT_EQ(ui_.boxes.size(), 1u);
    const ConversationId pair = session_.Conversations()[1]->Id();
    ui_.boxes.clear();
    links_.Deliver({"Leave:bob:me!bob"});
    EXPECT_EQ(ui_.boxes, Texts{"bob a quitté la conversation, la fenêtre va être fermée"});
    EXPECT_TRUE(ui_.views.at(pair)->destroyed);
}

TEST_F(IncomingTest, LookupClosesOlderDuplicatesWithABoxOnlyWhenVisible) {
    const ConversationId first = session_.CreateConversation(Texts{"me", "bob"}).Id();
    session_.ConversationById(first)->View().Show();
    const ConversationId second = session_.CreateConversation(Texts{"bob", "me"}).Id();
    const ConversationId third = session_.CreateConversation(Texts{"me", "BOB"}).Id();
    EXPECT_EQ(Find({"me", "bob"})->Id(), third);
    EXPECT_EQ(ui_.boxes, Texts{"Une autre conversation entre :\nme et bob\nexiste déjà, cette "
                               "fenêtre va être fermée"});
    EXPECT_TRUE(ui_.views.at(first)->destroyed && ui_.views.at(second)->destroyed);
}

TEST_F(IncomingTest, TheServerOpensAtMostItsShareOfConversations) {
    for (size_t i = 0; i < ConversationRegistry::kMaxOpenedByServer + 10; ++i) {
        const std::string from = "u" + std::to_string(i);
        links_.Deliver({"Message:2:" + from + ":2:me:" + from + ":hi"});
        links_.Deliver({"Invite:" + from + ":me!" + from + "!x"});
    }
    EXPECT_EQ(session_.Conversations().size(), ConversationRegistry::kMaxOpenedByServer);
    links_.Deliver({"Message:5:u0:2:me:u0:again"});
    EXPECT_EQ(ViewOf(*session_.Conversations()[0]).transcript.back(), "u0: again");
    session_.OpenConversationWith("bob");  // the user's own are not counted
    EXPECT_EQ(session_.Conversations().size(), ConversationRegistry::kMaxOpenedByServer + 1);
}

TEST_F(IncomingTest, ConversationSendersBuildTheirCommands) {
    links_.Deliver({"Message:2:bob:2:me:bob:hi"});
    const ConversationId id = Only().Id();
    session_.SubmitMessage(id, "");
    session_.ConversationInputChanged(id, 3);
    session_.ConversationInputChanged(id, 4);
    session_.SubmitMessage(id, "x:y!z");
    session_.ConversationInputChanged(id, 0);
    EXPECT_EQ(ViewOf(Only()).transcript.back(), "me: x:y!z");
    EXPECT_EQ(session_.InviteCandidates(id), Texts{"carl"});
    session_.InviteToConversation(id, "carl");
    session_.LeaveConversation(id);
    EXPECT_EQ(links_.sent,
              (Texts{"Writing:me:1:me!bob!", "Message:5:me:2:me:bob:x:y!z", "Writing:me:0:me!bob!",
                     "Invite:carl:me!bob", "Leave:me:me!bob"}));
    EXPECT_TRUE(ui_.views.at(id)->destroyed);
}

TEST_F(IncomingTest, ABoxHoldsOnlyTheRestOfItsReadWhichRunsInOrderOnceAnswered) {
    ui_.keep_open = true;
    links_.Deliver({"Broadcast:one", "AskAddressBook", "DoAddAddressBook:zoe", "Broadcast:two"});
    EXPECT_TRUE(links_.sent.empty()) << "a frame was handled behind its read's box";
    // Later reads go on meanwhile, without any further bytes.
    links_.Deliver({"Message:2:bob:2:me:bob:hi"});
    EXPECT_EQ(ViewOf(Only()).transcript, Texts{"bob: hi"});
    links_.Deliver({"AskAddressBook", "DoAddAddressBook:ZOE"});
    EXPECT_EQ(links_.sent, Texts{"AddressBook"});
    ui_.Answer();
    EXPECT_EQ(links_.sent, (Texts{"AddressBook", "AddressBook"}));
    EXPECT_EQ(ui_.boxes.back(), "two") << "the held request joined the open question";
    ui_.next_answer = BoxAnswer::kYes;
    ui_.Answer();
    EXPECT_EQ(links_.sent.back(), "YesAddAddressBook:ZOE");
    ui_.Answer();

    // The connection ends behind a box: the rest of that read is dropped.
    links_.sent.clear();
    links_.Deliver({"Login:Vous êtes connecté ailleurs...", "AskAddressBook"});
    links_.CloseFromServer();
    while (!ui_.open.empty()) {
        ui_.Answer();
    }
    EXPECT_FALSE(session_.IsConnected());
    EXPECT_TRUE(links_.sent.empty());
}

TEST_F(IncomingTest, ReadingWaitsWhileTooManyBoxesAreOpen) {
    ui_.keep_open = true;
    for (size_t i = 0; i < Session::kMaxOpenBoxes; ++i) {
        EXPECT_FALSE(links_.ReadingPaused());
        links_.Deliver({"Broadcast:x"});
    }
    EXPECT_TRUE(links_.ReadingPaused());
    ui_.Answer();
    EXPECT_FALSE(links_.ReadingPaused());
}

TEST_F(SessionTest, NewUserChecksComeInOrderAndABadFormSendsNothing) {
    const std::pair<AccountFields, std::string_view> cases[] = {
        {{"zoe", "", "", "", ""}, texts::kNeedLoginAndPassword},
        {{"zo:e", "pw", "", "", ""}, texts::kBadLoginCharacters},
        {{"zo!e", "pw", "Z", "M", "z@x"}, texts::kBadLoginCharacters},
        {{"zoe", "pw", "Z", "", "z@x"}, texts::kFillAllFields},
        {{"zoe", "pw", "Z", "M", "zx"}, texts::kBadEmail},
        {{"zoe", "pw", "Z", std::string(8190, 'n'), "z@x"}, texts::kTooLong},
        {{std::string(9000, 'z'), "pw", "Z", "M", "z@x"}, texts::kTooLong},
    };
    for (const auto& [form, text] : cases) {
        ui_.boxes.clear();
        EXPECT_FALSE(session_.CreateAccount(form));
        EXPECT_EQ(ui_.boxes, Texts{std::string(text)});
    }
    EXPECT_EQ(links_.created, 0);
}

class SearchTest : public SessionTest {
  protected:
    void SetUp() override { LogInAs("me"); }
    bool Search(std::string login) {
        AccountFields criteria;
        criteria.login = std::move(login);
        return session_.FindUsers(criteria, [this](auto rows) {
            ++answers_;
            rows_ = std::move(rows);
        });
    }
    int answers_ = 0;
    std::vector<AccountFields> rows_;
};

TEST_F(SearchTest, AnswerSkipsOwnLoginAndFramesAroundItAreHandled) {
    EXPECT_FALSE(session_.FindUsers({}, [](auto) {}));
    ASSERT_TRUE(Search("o"));
    EXPECT_EQ(links_.sent, Texts{"FindUser:1:0:0:0:o"});
    links_.Deliver(
        {"AskAddressBook", "FindUser:ME!Me!!m@x:zoe!Zoé!Martin!z@x:solo", "Broadcast:after"});
    ASSERT_EQ(answers_, 1);
    ASSERT_EQ(rows_.size(), 2u);
    EXPECT_EQ(rows_[0].last_name, "Martin");
    EXPECT_EQ(rows_[1].login, "solo");
    EXPECT_EQ(links_.sent.back(), "AddressBook");
    EXPECT_EQ(ui_.boxes, Texts{"after"});
}

TEST_F(SearchTest, AddContactSendsNothingForAnEmptyLoginOrTheUsersOwn) {
    for (std::string_view login : {"", "ME", "Me", "me"}) {
        session_.AddContact(login);
    }
    EXPECT_TRUE(links_.sent.empty());
    EXPECT_TRUE(ui_.boxes.empty());
    session_.AddContact("mel");
    EXPECT_EQ(links_.sent, Texts{"DoAddAddressBook:mel"});
    EXPECT_EQ(ui_.boxes, Texts{"mel apparaîtra automatiquement dès qu'il vous aura accepté"});
}

TEST_F(SearchTest, WaitEndsEmptyOnTimeoutOrDisconnectionAndALateAnswerIsSkipped) {
    session_.SetSearchTimeout(20);
    ASSERT_TRUE(Search("a"));
    QElapsedTimer timer;
    timer.start();
    while (answers_ == 0 && timer.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    ASSERT_EQ(answers_, 1);
    session_.SetSearchTimeout(Session::kDefaultSearchTimeoutMs);
    ASSERT_TRUE(Search("b"));
    links_.Deliver({"FindUser:late", "FindUser:bea"});
    ASSERT_EQ(answers_, 2);
    EXPECT_EQ(rows_[0].login, "bea");

    ASSERT_TRUE(Search("c"));
    links_.CloseFromServer();
    EXPECT_EQ(answers_, 3);
    EXPECT_TRUE(rows_.empty());
    ASSERT_TRUE(Search("d"));  // not connected: refused, no rows
    EXPECT_EQ(answers_, 4);
    EXPECT_TRUE(ui_.HasBox(texts::kNotConnected));
}

}  // namespace
}  // namespace parlo::client::testing
