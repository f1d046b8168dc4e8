// Answers that list entries stay texts every receiver accepts: long names and
// many accounts cut the list after the last whole entry that fits, with a log
// line counting the entries left out.
#include <string>

#include "tests/server_core/harness.h"

namespace parlo::server::testing {
namespace {

class AnswerLimits : public CoreTest {
  protected:
    // `count` accounts "user<k>" whose first name is `first` (long), all
    // contacts of "seeker", who is online.
    FakeConnection& SeekerWithMany(int count, const std::string& first) {
        FakeConnection& registrar = Accept("10.0.0.9");
        for (int k = 0; k < count; ++k) {
            Send(registrar, FormatAddNewUser(Record("user" + std::to_string(k), "pw", first)));
        }
        Close(registrar);
        FakeConnection& seeker = Online("seeker");
        for (int k = 0; k < count; ++k) {
            Core().Users().FindFirstByLogin("seeker")->AppendContact("user" + std::to_string(k));
        }
        seeker.Take();
        return seeker;
    }
    // The log line of a cut answer, or "" when none was logged.
    std::string CutLine(std::string_view what) const {
        for (const std::string& message : events_.Messages()) {
            if (message.starts_with("Réponse " + std::string(what) + " à ")) {
                return message;
            }
        }
        return {};
    }
    static std::string CutMessage(std::string_view what, std::string_view to, size_t left_out) {
        return "Réponse " + std::string(what) + " à " + std::string(to) +
               " coupée à 8192 octets : " + std::to_string(left_out) + " entrées laissées de côté";
    }
};

const std::string kLongName(200, 'N');

TEST_F(AnswerLimits, FindUserKeepsWholeEntriesAndCountsTheRest) {
    FakeConnection& seeker = SeekerWithMany(120, kLongName);
    Send(seeker, FormatFindUser("", kLongName.substr(0, 50), "", ""));
    const std::string answer = First(seeker, "FindUser:");
    ASSERT_FALSE(answer.empty());
    EXPECT_LE(answer.size(), 8192u);
    const auto entries = ParseAccountEntries(answer);
    ASSERT_GT(entries.size(), 10u);
    ASSERT_LT(entries.size(), 120u);
    for (size_t k = 0; k < entries.size(); ++k) {
        EXPECT_EQ(entries[k].login, "user" + std::to_string(k));  // in order, none skipped
        EXPECT_EQ(entries[k].first_name, kLongName);
        EXPECT_EQ(entries[k].email, "x@y.fr");  // the last entry is whole too
    }
    // One more entry would not have fitted.
    EXPECT_GT(answer.size() + 1 + FormatAccountEntry("user0", kLongName, "Nom", "x@y.fr").size(),
              8192u);
    EXPECT_TRUE(events_.Logged(CutMessage("FindUser", "seeker", 120 - entries.size())));
}

TEST_F(AnswerLimits, ShortAnswersAreNotCutNorLogged) {
    FakeConnection& seeker = SeekerWithMany(3, "Jean");
    Send(seeker, FormatFindUser("user", "", "", ""));
    EXPECT_EQ(ParseAccountEntries(First(seeker, "FindUser:")).size(), 3u);
    Send(seeker, "AddressBook");
    EXPECT_EQ(ParseAccountEntries(First(seeker, "AddressBook:")).size(), 3u);
    Send(seeker, "GetAllState");
    EXPECT_EQ(ParseStateEntries(First(seeker, "SetState!")).size(), 3u);
    EXPECT_EQ(CutLine(""), "");
}

TEST_F(AnswerLimits, AddressBookOfManyLongContactsIsCut) {
    FakeConnection& seeker = SeekerWithMany(100, kLongName);
    Send(seeker, "AddressBook");
    const std::string answer = First(seeker, "AddressBook:");
    EXPECT_LE(answer.size(), 8192u);
    const auto entries = ParseAccountEntries(answer);
    ASSERT_GT(entries.size(), 10u);
    EXPECT_EQ(entries.back().email, "x@y.fr");
    EXPECT_TRUE(events_.Logged(CutMessage("AddressBook", "seeker", 100 - entries.size())));
}

TEST_F(AnswerLimits, StateListOfAHugeBookIsCut) {
    // Contacts need not be accounts: a book of long logins, all offline.
    FakeConnection& seeker = Online("seeker");
    const std::string long_login(100, 'c');
    for (int k = 0; k < 200; ++k) {
        Core().Users().FindFirstByLogin("seeker")->AppendContact(long_login + std::to_string(k));
    }
    seeker.Take();
    Send(seeker, "GetAllState");
    const std::string answer = First(seeker, "SetState!");
    EXPECT_LE(answer.size(), 8192u);
    const auto entries = ParseStateEntries(answer);
    ASSERT_GT(entries.size(), 10u);
    ASSERT_LT(entries.size(), 200u);
    EXPECT_EQ(entries.back().login, long_login + std::to_string(entries.size() - 1));
    EXPECT_EQ(entries.back().code, kStateOffline);
    EXPECT_TRUE(events_.Logged(CutMessage("SetState!", "seeker", 200 - entries.size())));
}

TEST_F(AnswerLimits, InviteEchoAndRelayAreCutAfterTheLastWholeParticipant) {
    // Renaming the short sender into a long invitee makes the relayed list
    // longer than the request.
    const std::string invitee(60, 'i');
    FakeConnection& bob = Online("b");
    FakeConnection& guest = Online(invitee, "10.0.0.2");
    std::string list = "b!" + invitee;
    while (list.size() < 8000) {
        list += "!b";
    }
    Send(bob, FormatInvite(invitee, list));
    const std::string echo = First(bob, "Invite:");
    EXPECT_EQ(echo, FormatInvite(invitee, list));  // fits: sent as it came
    const std::string relayed = First(guest, "Invite:b:");
    ASSERT_FALSE(relayed.empty());
    EXPECT_LE(relayed.size(), 8192u);
    EXPECT_FALSE(relayed.ends_with("!"));
    for (const std::string_view item : SplitList(ParseLoginAndList(relayed).list)) {
        EXPECT_EQ(item, invitee);  // every kept participant is whole
    }
    EXPECT_NE(CutLine("Invite"), "");
}

TEST_F(AnswerLimits, ACommandNoReceiverCouldReadIsDroppedWithOneLine) {
    // The relay names the sender (long) where the request had one letter.
    const std::string sender(kMaxLoginBytes, 's');
    FakeConnection& writer = Online(sender);
    FakeConnection& other = Online("o", "10.0.0.2");
    std::string list = "o";
    while (list.size() < 8150) {
        list += "!o";
    }
    Send(writer, "Writing:x:1:" + list);
    EXPECT_TRUE(other.Take().empty());
    const auto messages = events_.Messages();
    EXPECT_EQ(std::count_if(messages.begin(), messages.end(),
                            [](const std::string& m) {
                                return m.starts_with("Commande Writing non envoyée : ") &&
                                       m.ends_with(" octets, au-delà de 8192");
                            }),
              1);
}

}  // namespace
}  // namespace parlo::server::testing
