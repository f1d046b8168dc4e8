#include "protocol/commands.h"

#include <gtest/gtest.h>

#include "protocol/codec.h"

namespace parlo {
namespace {

std::string Blob(std::string_view text) {
    std::string out;
    EXPECT_TRUE(Compress(text, out));
    return out;
}

TEST(Recognition, PrefixTestsInEachSidesOrder) {
    EXPECT_EQ(RecognizeServerCommand("Connect:pc:1:1:ab"), ServerKeyword::kConnect);
    EXPECT_EQ(RecognizeServerCommand("GetAllState"), ServerKeyword::kGetAllState);
    EXPECT_EQ(RecognizeServerCommand("GetState:bob"), ServerKeyword::kGetState);
    EXPECT_EQ(RecognizeServerCommand("WritingXYZ"), ServerKeyword::kWriting)
        << "a keyword followed by other letters still matches";
    EXPECT_EQ(RecognizeServerCommand("Broadcast:x"), std::nullopt);
    EXPECT_EQ(RecognizeServerCommand("connect:pc"), std::nullopt) << "case matters";
    EXPECT_EQ(RecognizeClientCommand("Login:OK"), ClientKeyword::kLogin);
    EXPECT_EQ(RecognizeClientCommand("SetState!"), ClientKeyword::kSetState);
    EXPECT_EQ(RecognizeClientCommand("DelAddressBook:bob"), ClientKeyword::kDelAddressBook);
    EXPECT_EQ(RecognizeClientCommand("FindUser:"), std::nullopt)
        << "the search answer is read by its requester, not the chain";
    EXPECT_EQ(ServerKeywordOrder().size(), 15u);
    EXPECT_EQ(ClientKeywordOrder().size(), 14u);
}

TEST(Recognition, NoKeywordIsAPrefixOfAnotherOnTheSameSide) {
    for (const auto& a : ServerKeywordOrder()) {
        for (const auto& b : ServerKeywordOrder()) {
            if (&a != &b) {
                EXPECT_FALSE(b.text.starts_with(a.text)) << a.text << " / " << b.text;
            }
        }
    }
    for (const auto& a : ClientKeywordOrder()) {
        for (const auto& b : ClientKeywordOrder()) {
            if (&a != &b) {
                EXPECT_FALSE(b.text.starts_with(a.text)) << a.text << " / " << b.text;
            }
        }
    }
}

TEST(RecordText, RoundTripWithBinaryBlobs) {
    const std::string login = Blob("alice"), password = Blob("s3cr:t!");
    const std::string record = FormatRecordText(login, password, "Alice", "Martin", "a@x.fr");
    EXPECT_TRUE(record.starts_with(std::to_string(login.size()) + ":" +
                                   std::to_string(password.size()) + ":5:6:6:"));
    const auto view = ParseRecordText(record);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->login_blob, login);
    EXPECT_EQ(view->password_blob, password);
    EXPECT_EQ(view->first_name, "Alice");
    EXPECT_EQ(view->last_name, "Martin");
    EXPECT_EQ(view->email, "a@x.fr");
    EXPECT_EQ(view->credentials, login + password);
}

TEST(RecordText, RefusesHeadersThatDoNotMatchTheBytes) {
    EXPECT_FALSE(ParseRecordText(""));
    EXPECT_FALSE(ParseRecordText("1:1:1:1:1:abcd")) << "one byte short";
    EXPECT_FALSE(ParseRecordText("1:1:1:1:1:abcdef")) << "one byte over";
    EXPECT_FALSE(ParseRecordText("-1:1:1:1:1:abc"));
    EXPECT_FALSE(ParseRecordText("1:1:1:1abcde"));
    EXPECT_FALSE(ParseRecordText("x:1:1:1:1:abcde"));
    EXPECT_FALSE(ParseRecordText("8184:0:0:0:0:" + std::string(8184, 'a')));
    EXPECT_FALSE(ParseRecordText("4294967297:0:0:0:0:a"));
    EXPECT_TRUE(ParseRecordText("1:1:1:1:1:abcde"));
    EXPECT_TRUE(ParseRecordText("0:0:0:0:0:"));
}

TEST(Connect, RoundTripAndBoundedTail) {
    const std::string login = Blob("bob"), password = Blob("pw");
    const std::string command = FormatConnect("PC-1", login, password);
    const auto view = ParseConnect(command);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->computer, "PC-1");
    EXPECT_EQ(view->login_blob, login);
    EXPECT_EQ(view->password_blob, password);
    EXPECT_EQ(view->credentials, login + password);
    EXPECT_FALSE(ParseConnect(command.substr(0, command.size() - 1))) << "tail cut short";
    EXPECT_FALSE(ParseConnect("Connect:pc:-1:3:abc"));
    EXPECT_FALSE(ParseConnect("Connect:pc:2147483647:2147483647:ab"));
    EXPECT_FALSE(ParseConnect("Connect:pc:1"));
    EXPECT_FALSE(ParseConnect("Connect"));
}

TEST(AddNewUser, CarriesTheRecordText) {
    const std::string record = FormatRecordText(Blob("ann"), Blob("pw"), "Ann", "Lee", "a@b");
    const std::string command = FormatAddNewUser(record);
    const auto tail = AddNewUserRecord(command);
    ASSERT_TRUE(tail);
    EXPECT_EQ(*tail, record);
    EXPECT_FALSE(AddNewUserRecord("AddNewUse"));
}

TEST(Message, TextWithSeparatorsArrivesWhole) {
    const std::vector<std::string> who = {"bob", "ann"};
    const std::string text = "ça va : oui! non:!";
    const std::string command = FormatMessage("bob", who, text);
    EXPECT_EQ(command, "Message:" + std::to_string(text.size()) + ":bob:2:bob:ann:" + text);
    const auto view = ParseMessage(command);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->sender, "bob");
    ASSERT_EQ(view->participants.size(), 2u);
    EXPECT_EQ(view->participants[1], "ann");
    EXPECT_EQ(view->text, text);
}

TEST(Message, MalformedCountsAreRefused) {
    EXPECT_FALSE(ParseMessage("Message:5:bob:-1:hello"));
    EXPECT_FALSE(ParseMessage("Message:5:bob:3:bob:ann:hello")) << "count beyond fields";
    EXPECT_FALSE(ParseMessage("Message:6:bob:1:bob:hello")) << "text longer than bytes";
    EXPECT_FALSE(ParseMessage("Message:5:bob:999999999:"));
    EXPECT_FALSE(ParseMessage("Message:x:bob:1:bob:hello"));
    EXPECT_FALSE(ParseMessage("Message:5"));
    const auto empty = ParseMessage("Message:0:bob:0:");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->participants.empty());
    EXPECT_TRUE(empty->text.empty());
}

TEST(FindUser, CriteriaAreCutFromTheEnd) {
    const std::string command = FormatFindUser("a:b", "Jean", "", "x@y");
    const auto view = ParseFindUser(command);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->login, "a:b");
    EXPECT_EQ(view->first_name, "Jean");
    EXPECT_EQ(view->last_name, "");
    EXPECT_EQ(view->email, "x@y");
    // The login's own length is not used: what lies before the first name is the login.
    const auto loose = ParseFindUser("FindUser:99:1:1:1:loginfle");
    ASSERT_TRUE(loose);
    EXPECT_EQ(loose->login, "login");
    EXPECT_FALSE(ParseFindUser("FindUser:0:5:5:5:abc"));
    EXPECT_FALSE(ParseFindUser("FindUser:0:-1:0:0:"));
    EXPECT_FALSE(ParseFindUser("FindUser:0:0:0"));
}

TEST(ListCommands, WritingInviteLeave) {
    const std::vector<std::string> who = {"bob", "ann"};
    const std::string request = FormatWritingRequest("bob", 1, who);
    EXPECT_EQ(request, "Writing:bob:1:bob!ann!");
    const WritingView writing = ParseWriting(request);
    EXPECT_EQ(writing.login, "bob");
    EXPECT_EQ(writing.flag, 1);
    EXPECT_EQ(writing.list, "bob!ann!");
    EXPECT_EQ(FormatWritingRelay("bob", 0, writing.list), "Writing:bob:0:bob!ann!");
    EXPECT_EQ(FormatInvite("ann", "bob!"), "Invite:ann:bob!");
    const std::string leave_command = FormatLeave("bob", JoinList(who));
    const LoginAndList leave = ParseLoginAndList(leave_command);
    EXPECT_EQ(leave.login, "bob");
    EXPECT_EQ(leave.list, "bob!ann");
    EXPECT_EQ(SplitList("a!b!"), (std::vector<std::string_view>{"a", "b"}));
    EXPECT_EQ(SplitList("a!!b"), (std::vector<std::string_view>{"a"}))
        << "an empty item ends the list";
}

TEST(StateCommands, RequestsAndAnswers) {
    EXPECT_EQ(FormatSetStateRequest("bob", 3), "SetState:bob:3");
    EXPECT_EQ(SetStateRequestCode("SetState:bob:3"), 3);
    EXPECT_EQ(SetStateRequestCode("SetState:bob"), 0);
    EXPECT_EQ(GetStateLogin(FormatGetState("ann")), "ann");
    EXPECT_EQ(GetStateLogin("GetState"), "");
    EXPECT_EQ(FormatStateOfLogin("ann", 1), "ann:1");
    const auto entries = ParseStateEntries("SetState!bob:0!Ann:3");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].login, "Ann");
    EXPECT_EQ(entries[1].code, 3);
    EXPECT_TRUE(ParseStateEntries("SetState!").empty());
    EXPECT_EQ(StateLogName(5), "");
    EXPECT_EQ(StateLogName(1), "deconnecté");
}

TEST(AccountEntries, AddressBookAndFindUserAnswers) {
    const std::string answer =
        "AddressBook:" + FormatAccountEntry("bob", "Bob", "B", "b@x") + ":carol";
    const auto entries = ParseAccountEntries(answer);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].email, "b@x");
    EXPECT_EQ(entries[1].login, "carol");
    EXPECT_EQ(entries[1].first_name, "");
    EXPECT_TRUE(ParseAccountEntries("FindUser:").empty());
}

TEST(Broadcast, CutAt1023BytesWithoutSplittingUtf8) {
    EXPECT_EQ(FormatBroadcast("a:b"), "Broadcast:a:b");
    const std::string accents(2000, 'a');
    EXPECT_EQ(FormatBroadcast(accents).size(), 1023u);
    std::string e_acute;
    for (int i = 0; i < 600; ++i) {
        e_acute += "\xc3\xa9";
    }
    const std::string cut = FormatBroadcast(e_acute);
    EXPECT_EQ(cut.size(), 1022u) << "\"Broadcast:\" is 10 bytes, then whole 2-byte letters";
    EXPECT_EQ(CutUtf8("ab\xe2\x82\xac", 4), "ab");
}

TEST(Decimal, StrictParsing) {
    EXPECT_EQ(ParseDecimal("12"), 12);
    EXPECT_EQ(ParseDecimal("-3"), -3);
    EXPECT_FALSE(ParseDecimal(""));
    EXPECT_FALSE(ParseDecimal("+3"));
    EXPECT_FALSE(ParseDecimal("1 "));
    EXPECT_FALSE(ParseDecimal("99999999999"));
}

TEST(BoundedList, KeepsWholeEntriesUntilTheFirstThatDoesNotFit) {
    BoundedList list("L:", ':', 10);
    EXPECT_TRUE(list.Add("abc"));   // "L:abc"
    EXPECT_TRUE(list.Add("de"));    // "L:abc:de"
    EXPECT_FALSE(list.Add("fgh"));  // would make 12
    EXPECT_FALSE(list.Add("x"));    // fits, but the list is cut: never thinned
    EXPECT_EQ(list.Text(), "L:abc:de");
    EXPECT_EQ(list.Kept(), 2u);
    EXPECT_EQ(list.LeftOut(), 2u);
    BoundedList exact("L:", ':', 5);
    EXPECT_TRUE(exact.Add("abc"));
    EXPECT_EQ(exact.LeftOut(), 0u);
}

}  // namespace
}  // namespace parlo
