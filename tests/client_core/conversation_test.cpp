#include <gtest/gtest.h>

#include "client/session/conversation.h"
#include "tests/client_core/fakes.h"

namespace parlo::client::testing {
namespace {

Conversation Make() {
    return Conversation(1, "me", std::make_unique<FakeView>(std::make_shared<ViewRecord>()));
}

TEST(ConversationModel, ParticipantsAreUniqueIgnoringCaseAndKeepTheirFirstSpelling) {
    Conversation conversation = Make();
    EXPECT_TRUE(conversation.AddParticipant("Bob"));
    EXPECT_FALSE(conversation.AddParticipant("bOB"));
    EXPECT_TRUE(conversation.IsParticipant("BOB"));
    EXPECT_FALSE(conversation.IsParticipant("Bo"));
    EXPECT_EQ(conversation.ParticipantLogins(), std::vector<std::string>{"Bob"});
    EXPECT_TRUE(conversation.RemoveParticipant("bob"));
    EXPECT_EQ(conversation.Count(), 0u);
}

TEST(ConversationModel, MatchesExactlyItsParticipantSet) {
    Conversation conversation = Make();
    conversation.AddParticipant("me");
    conversation.AddParticipant("bob");
    EXPECT_TRUE(conversation.Matches(std::vector<std::string>{"BOB", "me"}));
    EXPECT_FALSE(conversation.Matches(std::vector<std::string>{"me"}));
    EXPECT_FALSE(conversation.Matches(std::vector<std::string>{"me", "bob", "carl"}));
    EXPECT_FALSE(conversation.Matches(std::vector<std::string>{"me", "carl"}));
    EXPECT_TRUE(Make().Matches({}));
}

TEST(ConversationModel, TypingFlagIsSentOnlyWhenTheInputEmptiesOrStopsBeingEmpty) {
    Conversation conversation = Make();
    EXPECT_EQ(conversation.InputChanged(1), 1);
    EXPECT_EQ(conversation.InputChanged(2), std::nullopt);
    EXPECT_EQ(conversation.InputChanged(0), 0);
    EXPECT_EQ(conversation.InputChanged(0), std::nullopt);
}

TEST(ConversationModel, TitleNamesOnlyContactsWithTheirStateAndTypers) {
    ContactList contacts;
    contacts.Rebuild("AddressBook:bob:carl");
    contacts.ApplyStates("SetState!bob:0!carl:3");
    Conversation conversation = Make();
    conversation.AddParticipant("me");
    conversation.AddParticipant("BOB");
    conversation.AddParticipant("carl");
    conversation.SetTyping("bob", true);
    conversation.SetTyping("carl", true);
    const ConversationTitle title = ComputeTitle(conversation, contacts);
    EXPECT_EQ(title.title, "bob est connecté(e), carl est déconnecté(e)");
    EXPECT_EQ(title.typing_line, "bob écrit, carl écrit");
}

TEST(ConversationModel, BoxNamesJoinWithEtBeforeTheLast) {
    EXPECT_EQ(JoinNamesForBox(std::vector<std::string>{"a", "b"}), "a et b");
    EXPECT_EQ(JoinNamesForBox(std::vector<std::string>{"a", "b", "c"}), "a, b et c");
    EXPECT_EQ(JoinNamesForBox(std::vector<std::string>{"a"}), "a");
}

}  // namespace
}  // namespace parlo::client::testing
