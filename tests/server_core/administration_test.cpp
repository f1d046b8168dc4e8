#include "server/core/administration.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/server_core/core_fixture.h"

namespace parlo::server {
namespace {

using testing::CoreFixture;
using testing::FakeConnection;

AccountFields Fields(std::string login, std::string password = "secret",
                     std::string first = "Prénom", std::string last = "Nom",
                     std::string email = "x@lan") {
    return {std::move(login), std::move(password), std::move(first), std::move(last),
            std::move(email)};
}

AccountFields RowOf(const AccountFields& f) {
    return {.login = f.login,
            .password = {},
            .first_name = f.first_name,
            .last_name = f.last_name,
            .email = f.email};
}

const Account* AccountNamed(const ServerCore& core, std::string_view login) {
    return core.Users().FindFirstByLogin(login);
}

class AdministrationTest : public CoreFixture {};

TEST_F(AdministrationTest, AddedAccountIsSavedAndCanLogIn) {
    ASSERT_EQ(AddAccount(core_, Fields("Ann", "mot2passe", "Anne", "Martin", "ann@lan")),
              AdminResult::kDone);
    EXPECT_EQ(Saves(), 1);
    const Account* ann = AccountNamed(core_, "Ann");
    ASSERT_NE(ann, nullptr);
    EXPECT_EQ(ann->first_name, "Anne");
    EXPECT_EQ(ann->email, "ann@lan");
    EXPECT_TRUE(std::filesystem::exists(directory_ / "UserDB.dat"));

    FakeConnection& client = Accept("10.0.0.1");
    EXPECT_EQ(Login(client, "Ann", "mot2passe"), "Login:OK");
    FakeConnection& intruder = Accept("10.0.0.2");
    EXPECT_NE(Login(intruder, "Ann", "wrong"), "Login:OK");
}

TEST_F(AdministrationTest, AddRefusesALoginThatExistsInAnotherCase) {
    ASSERT_EQ(AddAccount(core_, Fields("Ann")), AdminResult::kDone);
    EXPECT_EQ(AddAccount(core_, Fields("aNN")), AdminResult::kDuplicate);
    EXPECT_EQ(core_.Users().Size(), 1u);
    EXPECT_EQ(Saves(), 1);
}

TEST_F(AdministrationTest, RefusedFieldsCreateAndSaveNothing) {
    const AccountFields refused[] = {
        Fields(""),
        Fields("a", ""),
        Fields("a", "p", ""),
        Fields("a", "p", "f", ""),
        Fields("a", "p", "f", "l", ""),
        Fields("a", "p", "f", "l", "no-at-sign"),
        Fields("a:b"),
        Fields("a!b"),
    };
    for (const AccountFields& fields : refused) {
        EXPECT_EQ(AddAccount(core_, fields), AdminResult::kInvalidInput) << fields.login;
    }
    // Fields that cannot make a record text of at most 8192 bytes.
    EXPECT_EQ(AddAccount(core_, Fields("long", "p", std::string(9000, 'x'))),
              AdminResult::kTooLong);
    EXPECT_EQ(core_.Users().Size(), 0u);
    EXPECT_EQ(Saves(), 0);
}

TEST_F(AdministrationTest, ModifyChangesAccountAndOnlineEntry) {
    const AccountFields bob = Fields("bob", "old", "Bob", "Durand", "bob@lan");
    ASSERT_EQ(AddAccount(core_, bob), AdminResult::kDone);
    FakeConnection& client = Accept("10.0.0.5");
    ASSERT_EQ(Login(client, "bob", "old"), "Login:OK");
    const int saves = Saves();

    // The row as the dialog shows it may differ in letter case.
    AccountFields row = RowOf(bob);
    row.last_name = "DURAND";
    ASSERT_EQ(ModifyAccount(core_, row, Fields("bob", "new", "Robert", "Durand", "rob@lan")),
              AdminResult::kDone);
    EXPECT_EQ(Saves(), saves + 1);
    EXPECT_EQ(AccountNamed(core_, "bob")->first_name, "Robert");
    EXPECT_EQ(core_.Online().FindFirstByLogin("bob")->first_name, "Robert");
    EXPECT_FALSE(client.closed);

    FakeConnection& again = Accept("10.0.0.6");
    EXPECT_NE(Login(again, "bob", "old"), "Login:OK");
    // (that connection now waits after its failure: the new password from
    // another one)
    FakeConnection& other = Accept("10.0.0.7");
    EXPECT_EQ(Login(other, "bob", "new"), "Login:OK");
}

TEST_F(AdministrationTest, ModifyAcceptsTheLoginOfAnotherAccount) {
    ASSERT_EQ(AddAccount(core_, Fields("ann")), AdminResult::kDone);
    const AccountFields bob = Fields("bob");
    ASSERT_EQ(AddAccount(core_, bob), AdminResult::kDone);
    EXPECT_EQ(ModifyAccount(core_, RowOf(bob), Fields("ANN", "x")), AdminResult::kDone);
    EXPECT_EQ(core_.Users().FindAllByLogin("ann").size(), 2u);
    EXPECT_EQ(AccountNamed(core_, "bob"), nullptr);
}

TEST_F(AdministrationTest, DeletingALoggedInAccountClosesItsConnectionProperly) {
    const AccountFields bob = Fields("bob", "pw", "Bob", "Durand", "bob@lan");
    ASSERT_EQ(AddAccount(core_, bob), AdminResult::kDone);
    ASSERT_EQ(AddAccount(core_, Fields("ann", "pw")), AdminResult::kDone);
    FakeConnection& bob_client = Accept("10.0.0.7");
    FakeConnection& ann_client = Accept("10.0.0.8");
    ASSERT_EQ(Login(bob_client, "bob", "pw", "BOBPC"), "Login:OK");
    ASSERT_EQ(Login(ann_client, "ann", "pw", "ANNPC"), "Login:OK");
    ASSERT_EQ(core_.Rows().Size(), 2u);
    ann_client.Take();
    const int saves = Saves();

    DeleteAccount(core_, RowOf(bob));

    EXPECT_TRUE(bob_client.closed);
    EXPECT_EQ(core_.Online().FindFirstByLogin("bob"), nullptr);
    EXPECT_EQ(AccountNamed(core_, "bob"), nullptr);
    EXPECT_EQ(Logged("BOBPC (10.0.0.7) a quitté le chat"), 1);
    ASSERT_EQ(core_.Rows().Size(), 1u);
    EXPECT_EQ(core_.Rows().At(0).ip, "10.0.0.8");
    const std::vector<std::string> received = ann_client.Take();
    EXPECT_NE(std::find(received.begin(), received.end(), "SetState!"), received.end());
    EXPECT_NE(std::find(received.begin(), received.end(), "AskAddressBook"), received.end());
    EXPECT_TRUE(AccountNamed(core_, "ann")->pending.empty());  // sent, not stored
    EXPECT_EQ(Saves(), saves + 1);

    // The connection is gone for good: its late close report changes nothing.
    core_.OnClosed(bob_client);
    EXPECT_EQ(Logged("a quitté le chat"), 1);
}

TEST_F(AdministrationTest, DeleteAsksEveryOfflineAccountOnceToReloadItsBook) {
    for (const char* login : {"a", "b", "c", "d"}) {
        ASSERT_EQ(AddAccount(core_, Fields(login)), AdminResult::kDone);
    }
    core_.Users().FindFirstByLogin("c")->AppendContact("A");
    core_.Users().FindFirstByLogin("c")->AppendContact("d");

    DeleteAccount(core_, RowOf(Fields("a")));
    DeleteAccount(core_, RowOf(Fields("b")));

    for (const char* login : {"c", "d"}) {
        EXPECT_EQ(AccountNamed(core_, login)->pending, std::vector<std::string>{"AskAddressBook"})
            << login;
    }
    EXPECT_EQ(AccountNamed(core_, "c")->address_book, std::vector<std::string>{"d"});
}

class BroadcastTest : public CoreFixture {
  protected:
    FakeConnection& Online(const AccountFields& fields, std::string_view ip) {
        EXPECT_EQ(AddAccount(core_, fields), AdminResult::kDone);
        FakeConnection& client = Accept(ip);
        EXPECT_EQ(Login(client, fields.login, fields.password), "Login:OK");
        client.Take();
        return client;
    }
};

TEST_F(BroadcastTest, EntriesListLoggedInAccountsSorted) {
    Online(Fields("zoe", "p", "Zoé", "Roy"), "10.0.1.1");
    Online(Fields("Bob", "p", "Bob", "Li"), "10.0.1.2");
    Online(Fields("alice", "p", "Alice", "Dupont"), "10.0.1.3");
    Accept("10.0.1.4");  // not logged in: not listed
    EXPECT_EQ(BroadcastEntries(core_),
              (std::vector<std::string>{"alice (Alice Dupont)", "Bob (Bob Li)", "zoe (Zoé Roy)"}));
}

TEST_F(BroadcastTest, SendsToTheUsersOfTheSelectedEntries) {
    FakeConnection& ann = Online(Fields("ann", "p", "Ann", "A"), "10.0.2.1");
    FakeConnection& bea = Online(Fields("bea", "p", "Bea", "B"), "10.0.2.2");
    FakeConnection& cid = Online(Fields("cid", "p", "Cid", "C"), "10.0.2.3");
    const std::vector<std::string> entries = BroadcastEntries(core_);
    const std::vector<std::string> selected = {entries[0], entries[2]};

    EXPECT_EQ(SendBroadcast(core_, {}, "Arrêt"), 0);
    EXPECT_EQ(SendBroadcast(core_, entries, ""), 0);
    EXPECT_EQ(SendBroadcast(core_, selected, "Arrêt à 18:00"), 2);
    EXPECT_EQ(ann.Take(), std::vector<std::string>{"Broadcast:Arrêt à 18:00"});
    EXPECT_TRUE(bea.Take().empty());
    EXPECT_EQ(cid.Take(), std::vector<std::string>{"Broadcast:Arrêt à 18:00"});
}

TEST_F(BroadcastTest, ALoginInsideASelectedEntryReceivesOncePerEntry) {
    FakeConnection& al = Online(Fields("al", "p", "Albert", "X"), "10.0.3.1");
    FakeConnection& sal = Online(Fields("sally", "p", "Sally", "Y"), "10.0.3.2");
    const std::vector<std::string> entries = BroadcastEntries(core_);  // al..., sally...

    EXPECT_EQ(SendBroadcast(core_, entries, "hi"), 3);
    EXPECT_EQ(al.Take().size(), 2u);  // "al (Albert X)" and "sALly (Sally Y)"
    EXPECT_EQ(sal.Take().size(), 1u);
}

TEST_F(BroadcastTest, LongTextIsCutWithoutSplittingACharacter) {
    FakeConnection& ann = Online(Fields("ann"), "10.0.5.1");
    std::string text;
    for (int i = 0; i < 600; ++i) {
        text += "é";
    }
    ASSERT_EQ(SendBroadcast(core_, BroadcastEntries(core_), text), 1);
    const std::vector<std::string> received = ann.Take();
    ASSERT_EQ(received.size(), 1u);
    // "Broadcast:" is 10 bytes; 1013 bytes left hold 506 whole characters.
    EXPECT_EQ(received[0].size(), 10u + 2 * 506);
    EXPECT_EQ(received[0], "Broadcast:" + text.substr(0, 2 * 506));
}

TEST_F(AdministrationTest, ChangesWhoseSaveFailsAreUndone) {
    ASSERT_EQ(AddAccount(core_, Fields("ann")), AdminResult::kDone);
    ASSERT_EQ(AddAccount(core_, Fields("bob")), AdminResult::kDone);
    core_.Users().FindFirstByLogin("bob")->AppendContact("ann");
    std::filesystem::create_directories(directory_ / "UserDB.dat.tmp" / "in-the-way");
    EXPECT_EQ(AddAccount(core_, Fields("cid")), AdminResult::kNotSaved);
    EXPECT_EQ(AccountNamed(core_, "cid"), nullptr);
    EXPECT_EQ(ModifyAccount(core_, RowOf(Fields("ann")), Fields("anne")), AdminResult::kNotSaved);
    EXPECT_NE(AccountNamed(core_, "ann"), nullptr);
    EXPECT_EQ(DeleteAccount(core_, RowOf(Fields("ann"))), AdminResult::kNotSaved);
    EXPECT_NE(AccountNamed(core_, "ann"), nullptr);
    EXPECT_EQ(AccountNamed(core_, "bob")->address_book, std::vector<std::string>{"ann"});
    EXPECT_EQ(AddAccount(core_, Fields("m:0!boss")), AdminResult::kInvalidInput);
    // Once the server is closed a change is refused with a line, not silently.
    core_.Shutdown();
    EXPECT_EQ(AddAccount(core_, Fields("dan")), AdminResult::kNotSaved);
    EXPECT_EQ(Logged("UserDB.dat non sauvé (Server arrêté) : modification annulée"), 1);
}

}  // namespace
}  // namespace parlo::server
