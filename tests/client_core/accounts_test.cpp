#include <QCoreApplication>
#include <QElapsedTimer>

#include "protocol/commands.h"
#include "tests/client_core/session_fixture.h"

namespace parlo::client::testing {
namespace {

using Sent = std::vector<std::string>;

NewUserForm Form() {
    return {"zoe", "p:w!", "Zoé", "Martin", "z@x"};
}

TEST_F(SessionTest, NewUserChecksRunInOrderAndSendNothingOnFailure) {
    struct Case {
        NewUserForm form;
        std::string_view text;
    };
    const Case cases[] = {
        {{"zoe", "", "", "", ""}, texts::kNeedLoginAndPassword},
        {{"", "pw", "Z", "M", "z@x"}, texts::kNeedLoginAndPassword},
        {{"zo:e", "pw", "Z", "M", "z@x"}, texts::kBadLoginCharacters},
        {{"zo!e", "pw", "", "", ""}, texts::kBadLoginCharacters},
        {{"zoe", "pw", "Z", "", "z@x"}, texts::kFillAllFields},
        {{"zoe", "pw", "Z", "M", "zx"}, texts::kBadEmail},
    };
    for (const Case& c : cases) {
        ui_.boxes.clear();
        EXPECT_FALSE(session_.CreateAccount(c.form));
        ASSERT_EQ(ui_.boxes.size(), 1u);
        EXPECT_EQ(ui_.boxes[0].text, c.text);
        EXPECT_EQ(ui_.boxes[0].caption, texts::kInformationError);
    }
    EXPECT_EQ(links_.created, 0);
}

TEST_F(SessionTest, NewUserConnectsSendsTheRecordAndAdoptsTheAccount) {
    session_.SetServer("127.0.0.1", 7777);
    NewUserForm form = Form();
    form.email = "a@";
    ASSERT_TRUE(session_.CreateAccount(form));
    EXPECT_EQ(links_.created, 1);
    ASSERT_EQ(links_.sent.size(), 1u);
    const auto record = AddNewUserRecord(links_.sent[0]);
    ASSERT_TRUE(record.has_value());
    const auto fields = ParseRecordText(*record);
    ASSERT_TRUE(fields.has_value());
    EXPECT_EQ(fields->login_blob, Compressed("zoe"));
    EXPECT_EQ(fields->password_blob, Compressed("p:w!"));
    EXPECT_EQ(fields->first_name, "Zoé");
    EXPECT_EQ(fields->email, "a@");
    EXPECT_EQ(session_.PlainLogin(), "zoe");
    EXPECT_EQ(session_.OwnState(), kStateConnecting);  // connected, not logged in
}

TEST_F(SessionTest, NewUserFieldsOverTheLimitAreRefusedWithABox) {
    session_.SetServer("127.0.0.1", 7777);
    NewUserForm form = Form();
    form.last_name = std::string(8190, 'n');
    EXPECT_FALSE(session_.CreateAccount(form));
    EXPECT_EQ(ui_.BoxTexts(), Sent{std::string(texts::kTooLong)});
    EXPECT_TRUE(links_.sent.empty());
    EXPECT_TRUE(session_.PlainLogin().empty());
}

class SearchTest : public SessionTest {
  protected:
    void SetUp() override { LogInAs("me"); }

    bool Search(std::string login) {
        return session_.FindUsers({std::move(login), "", "", ""}, [this](auto rows) {
            ++answers_;
            rows_ = std::move(rows);
        });
    }
    void WaitForAnswer() {
        QElapsedTimer timer;
        timer.start();
        while (answers_ == 0 && timer.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
    }

    int answers_ = 0;
    std::vector<AccountRow> rows_;
};

TEST_F(SearchTest, AnswerListsOtherAccountsAndNeighbouringFramesAreHandled) {
    ASSERT_TRUE(Search("o"));
    EXPECT_EQ(links_.sent, Sent{"FindUser:1:0:0:0:o"});
    links_.Deliver(
        {"AskAddressBook", "FindUser:ME!Me!!m@x:zoe!Zoé!Martin!z@x:solo", "Broadcast:after"});
    ASSERT_EQ(answers_, 1);
    ASSERT_EQ(rows_.size(), 2u);
    EXPECT_EQ(rows_[0].login, "zoe");
    EXPECT_EQ(rows_[0].last_name, "Martin");
    EXPECT_EQ(rows_[1].login, "solo");
    EXPECT_TRUE(rows_[1].email.empty());
    EXPECT_EQ(links_.sent.back(), "AddressBook");
    EXPECT_EQ(ui_.BoxTexts(), Sent{"after"});
}

TEST_F(SearchTest, EmptyCriteriaDoNothingAndAnUnconnectedSearchGivesNoRows) {
    EXPECT_FALSE(session_.FindUsers({}, [this](auto) { ++answers_; }));
    EXPECT_TRUE(links_.sent.empty());
    session_.Disconnect();
    ASSERT_TRUE(Search("zoe"));
    EXPECT_EQ(answers_, 1);
    EXPECT_TRUE(rows_.empty());
    EXPECT_EQ(ui_.BoxTexts(), Sent{std::string(texts::kNotConnected)});
}

TEST_F(SearchTest, TimedOutSearchGivesNoRowsAndItsLateAnswerIsSkipped) {
    session_.SetSearchTimeout(20);
    ASSERT_TRUE(Search("a"));
    WaitForAnswer();
    ASSERT_EQ(answers_, 1);
    EXPECT_TRUE(rows_.empty());

    session_.SetSearchTimeout(Session::kDefaultSearchTimeoutMs);
    ASSERT_TRUE(Search("b"));
    links_.Deliver({"FindUser:late"});
    EXPECT_EQ(answers_, 1);
    links_.Deliver({"FindUser:bea"});
    ASSERT_EQ(answers_, 2);
    ASSERT_EQ(rows_.size(), 1u);
    EXPECT_EQ(rows_[0].login, "bea");
}

TEST_F(SearchTest, ConnectionEndingEndsTheWait) {
    ASSERT_TRUE(Search("a"));
    links_.CloseFromServer();
    EXPECT_EQ(answers_, 1);
    EXPECT_TRUE(rows_.empty());
}

}  // namespace
}  // namespace parlo::client::testing
