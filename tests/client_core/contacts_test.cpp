#include <gtest/gtest.h>

#include "client/contacts/contact_layout.h"
#include "client/contacts/contact_list.h"

namespace parlo::client {
namespace {

std::vector<std::string> LoginsOf(const ContactList& list) {
    std::vector<std::string> logins;
    for (const Contact& contact : list.Entries()) {
        logins.push_back(contact.login);
    }
    return logins;
}

TEST(ContactListRebuild, OrdersByLoginIgnoringCaseAndKeepsEqualLoginsInArrivalOrder) {
    ContactList list;
    list.Rebuild("AddressBook:bob!B!Bb!b@x:Alice:carl!C:BOB!Second");
    EXPECT_EQ(LoginsOf(list), (std::vector<std::string>{"Alice", "bob", "BOB", "carl"}));
    // Letters fold to upper case; other bytes compare unsigned, so '_' sorts
    // after every letter and UTF-8 sequences come last.
    list.Rebuild("AddressBook:zed:\xc3\xa9mile:_x:Anna");
    EXPECT_EQ(LoginsOf(list), (std::vector<std::string>{"Anna", "zed", "_x", "\xc3\xa9mile"}));
}

TEST(ContactListRebuild, ReadsDetailsAndStartsEveryoneOffline) {
    ContactList list;
    list.Rebuild("AddressBook:bob!Bob!Martin!bob@example.org:solo");
    ASSERT_EQ(list.Count(), 2u);
    const Contact& bob = list.Entries()[0];
    EXPECT_EQ(bob.first_name, "Bob");
    EXPECT_EQ(bob.last_name, "Martin");
    EXPECT_EQ(bob.email, "bob@example.org");
    const Contact& solo = list.Entries()[1];
    EXPECT_TRUE(solo.first_name.empty() && solo.last_name.empty() && solo.email.empty());
    for (const Contact& contact : list.Entries()) {
        EXPECT_EQ(contact.state, 1);
        EXPECT_EQ(contact.picture, PresencePicture::kOffline);
    }
}

TEST(ContactListRebuild, EmptyAnswerAndStopAtFirstEmptyEntry) {
    ContactList list;
    list.Rebuild("AddressBook:a:b");
    list.Rebuild("AddressBook:");
    EXPECT_TRUE(list.IsEmpty());
    list.Rebuild("AddressBook:a::b");
    EXPECT_EQ(LoginsOf(list), std::vector<std::string>{"a"});
}

TEST(ContactListStates, AppliesEntriesCaseInsensitivelyAndSkipsUnknownLogins) {
    ContactList list;
    list.Rebuild("AddressBook:alice:bob");
    EXPECT_EQ(list.ApplyStates("SetState!ALICE:0!nobody:3!bob:3"), 2);
    EXPECT_EQ(list.Find("alice")->state, 0);
    EXPECT_EQ(list.Find("bob")->state, 3);
    EXPECT_EQ(list.Find("bob")->picture, PresencePicture::kAway);
    EXPECT_EQ(list.ApplyStates("SetState!"), 0);
    EXPECT_EQ(list.ApplyStates("SetState!bob:3"), 0);  // unchanged state
}

TEST(ContactListStates, CodeWithoutPictureChangesStateButKeepsPicture) {
    ContactList list;
    list.Rebuild("AddressBook:alice");
    list.ApplyStates("SetState!alice:0");
    list.ApplyStates("SetState!alice:5");
    EXPECT_EQ(list.Entries()[0].state, 5);
    EXPECT_EQ(list.Entries()[0].picture, PresencePicture::kOnline);
    EXPECT_TRUE(list.GroupMembers(ContactGroup::kOnline).empty());
    EXPECT_TRUE(list.GroupMembers(ContactGroup::kOffline).empty());
}

TEST(ContactListStates, GroupsFollowStatesAndDisconnectionSendsAllOffline) {
    ContactList list;
    list.Rebuild("AddressBook:a:b:c:d");
    list.ApplyStates("SetState!a:0!b:2!c:3!d:1");
    EXPECT_EQ(list.GroupMembers(ContactGroup::kOnline).size(), 3u);
    EXPECT_EQ(list.GroupMembers(ContactGroup::kOffline).size(), 1u);
    list.SetAllOffline();
    EXPECT_EQ(list.GroupMembers(ContactGroup::kOffline).size(), 4u);
    EXPECT_EQ(list.Entries()[1].picture, PresencePicture::kOffline);
}

TEST(StatusText, CombinesWhatTheEntryHas) {
    Contact contact;
    contact.login = "bob";
    EXPECT_EQ(StatusText(nullptr), "");
    EXPECT_EQ(StatusText(&contact), "");
    contact.first_name = "Bob";
    EXPECT_EQ(StatusText(&contact), "Nom : Bob ");
    contact.last_name = "Martin";
    contact.email = "b@x";
    EXPECT_EQ(StatusText(&contact), "Nom : Bob Martin\nEmail : b@x");
    contact.first_name.clear();
    EXPECT_EQ(StatusText(&contact), "Email : b@x");
}

class ContactLayoutTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Online: amy, bob (rows 0, 1); offline: cat, dan (rows 0, 1).
        list_.Rebuild("AddressBook:amy:bob:cat:dan");
        list_.ApplyStates("SetState!amy:0!bob:3");
    }
    static constexpr int kHeader = 16;
    ContactList list_;
};

TEST_F(ContactLayoutTest, RowsOfBothGroupsAreFoundFromTheirTops) {
    const auto layout = LayOutContacts(list_, true, true, kHeader);
    EXPECT_EQ(layout.offline_header_y, 78 + kHeader + 40);
    EXPECT_EQ(layout.offline_top, layout.offline_header_y + 20);
    EXPECT_EQ(HitTest(list_, layout, 79)->login, "amy");
    EXPECT_EQ(HitTest(list_, layout, 78 + 25)->login, "bob");
    EXPECT_EQ(HitTest(list_, layout, 78 + 45), nullptr);  // below the last online row
    EXPECT_EQ(HitTest(list_, layout, layout.offline_top + 1)->login, "cat");
    EXPECT_EQ(HitTest(list_, layout, layout.offline_top + 21)->login, "dan");
    EXPECT_EQ(HitTest(list_, layout, layout.offline_top + 41), nullptr);
    EXPECT_EQ(HitTest(list_, layout, 60), nullptr);  // the "Connecté" header
    EXPECT_TRUE(layout.offline_toggle.Contains(10, layout.offline_header_y + 3));
}

TEST_F(ContactLayoutTest, CollapsedOnlineGroupMovesOfflineHeaderUpAndHoldsNoContacts) {
    const auto layout = LayOutContacts(list_, false, true, kHeader);
    EXPECT_EQ(layout.offline_header_y, 78 + kHeader);
    // The "Déconnecté" header now lies where online rows would be.
    EXPECT_EQ(HitTest(list_, layout, 80), nullptr);
    EXPECT_EQ(HitTest(list_, layout, layout.offline_top + 1)->login, "cat");
}

TEST_F(ContactLayoutTest, CollapsedOfflineGroupHoldsNoContacts) {
    const auto layout = LayOutContacts(list_, true, false, kHeader);
    EXPECT_EQ(HitTest(list_, layout, layout.offline_top + 1), nullptr);
    EXPECT_EQ(HitTest(list_, layout, 79)->login, "amy");
}

}  // namespace
}  // namespace parlo::client
