// A server that sends what no server should: the session survives every
// case; where the frame stream cannot be trusted the connection is reset and
// the user sees the offline state, never a hang.
#include "tests/support/client_fakes.h"

namespace parlo::client::testing {
namespace {

class BadInput : public SessionTest {
  protected:
    void SetUp() override {
        LogInAs("me", "AddressBook:bob!Bob!B!b@x:carl");
        links_.Deliver({"SetState!bob:0!carl:3"});
        links_.sent.clear();
    }
    // A search waiting for its answer, to see that a reset ends it.
    void StartSearch() {
        AccountFields criteria;
        criteria.login = "x";
        ASSERT_TRUE(session_.FindUsers(criteria, [this](auto rows) {
            ++answers_;
            rows_ = std::move(rows);
        }));
    }
    void ExpectResetToOffline() {
        EXPECT_FALSE(session_.IsConnected());
        EXPECT_EQ(session_.OwnState(), kStateOffline);
        EXPECT_EQ(ui_.states.back(), kStateOffline);
        for (const Contact& contact : session_.Contacts().Entries()) {
            EXPECT_EQ(contact.state, kStateOffline) << contact.login;
        }
        EXPECT_EQ(answers_, 1);  // the search ended, empty
        EXPECT_TRUE(rows_.empty());
    }
    // The session still works: a new login is answered as usual.
    void ExpectUsableAgain() {
        session_.LogInStored();
        links_.Deliver({"Login:OK"});
        EXPECT_TRUE(session_.IsConnected());
        EXPECT_EQ(session_.OwnState(), kStateOnline);
    }
    int answers_ = 0;
    std::vector<AccountFields> rows_;
};

TEST_F(BadInput, GarbageResetsTheConnection) {
    StartSearch();
    links_.DeliverBytes("HTTP/1.1 400 Bad Request\r\n\r\n");
    ExpectResetToOffline();
    ExpectUsableAgain();
}

TEST_F(BadInput, ALengthOver8192ResetsTheConnection) {
    StartSearch();
    std::string frame;
    ASSERT_TRUE(AppendCommandFrame(frame, "SetState!bob:3"));
    // A good frame first, then one announcing 8193 bytes.
    links_.DeliverBytes(frame + "8193:" + std::string(50, 'x'));
    EXPECT_EQ(session_.Contacts().Find("bob")->state, kStateOffline);  // reset after it
    ExpectResetToOffline();
    ExpectUsableAgain();
}

TEST_F(BadInput, APayloadThatDoesNotUncompressIsSkipped) {
    std::string bytes = "5:abcde";
    // 8193 bytes of text: no receiver accepts it, whatever its compressed size.
    std::string big;
    ASSERT_TRUE(Compress(std::string(8193, 'a'), big));
    AppendFrame(bytes, big);
    ASSERT_TRUE(AppendCommandFrame(bytes, "SetState!bob:3"));
    links_.DeliverBytes(bytes);
    EXPECT_TRUE(session_.IsConnected());  // the frames themselves were sound
    EXPECT_EQ(session_.Contacts().Find("bob")->state, kStateAway);
}

TEST_F(BadInput, AnAddressBookOf8192BytesOfEntriesIsTakenWhole) {
    std::string answer = "AddressBook:";
    int count = 0;
    while (true) {
        std::string entry = "u" + std::to_string(count) + "!Prénom!Nom!u@exemple.fr";
        if (answer.size() + 1 + entry.size() > 8192) {
            break;
        }
        answer += (count > 0 ? ":" : "") + entry;
        ++count;
    }
    answer += std::string(8192 - answer.size(), 'z');  // the last login fills the rest
    ASSERT_EQ(answer.size(), 8192u);
    links_.Deliver({answer});
    EXPECT_EQ(session_.Contacts().Count(), static_cast<size_t>(count));
    EXPECT_EQ(links_.sent, Texts{"GetAllState"});
}

TEST_F(BadInput, MessagesWhoseLengthsLieShowNothingAndHarmNothing) {
    links_.Deliver({
        "Message:9999:bob:2:bob:me:court",     // text shorter than announced
        "Message:-3:bob:2:bob:me:abc",         // negative text length
        "Message:2:bob:-5:hi",                 // negative count
        "Message:2:bob:99:bob:me:hi",          // more participants than fields
        "Message:2:bob:4000000000:bob:me:hi",  // a count past every integer
        "Message:x:bob:2:bob:me:hi",           // no number at all
        "Message:",
    });
    EXPECT_TRUE(session_.Conversations().empty());
    EXPECT_TRUE(session_.IsConnected());
    links_.Deliver({FormatMessage("bob", Texts{"bob", "me"}, "enfin")});
    ASSERT_EQ(session_.Conversations().size(), 1u);
    EXPECT_EQ(ViewOf(*session_.Conversations().front()).transcript, Texts{"bob: enfin"});
}

TEST_F(BadInput, ALoginAnswerBeforeAnyConnectIsHandledLikeAnyOther) {
    session_.Disconnect();
    // A connection opened only to send a command (no "Connect" sent).
    ASSERT_TRUE(session_.SendCommandConnected("GetState:bob"));
    ASSERT_TRUE(session_.IsConnected());
    links_.sent.clear();
    links_.Deliver({"Login:Identifiant ou mot de passe non valide."});
    EXPECT_EQ(ui_.boxes.back(), "Identifiant ou mot de passe non valide.");
    links_.Deliver({"Login:OK"});
    EXPECT_EQ(session_.OwnState(), kStateOnline);
    EXPECT_EQ(links_.sent, Texts{"AddressBook"});
    links_.CloseFromServer();  // logged in: the session comes back by itself
    EXPECT_EQ(session_.OwnState(), kStateConnecting);
    EXPECT_TRUE(session_.ReconnectionPending());
}

}  // namespace
}  // namespace parlo::client::testing
