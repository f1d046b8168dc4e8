#include "tests/server_core/harness.h"

namespace parlo::server::testing {
namespace {

using AddressBooks = CoreTest;

size_t Count(const std::vector<std::string>& commands, std::string_view command) {
    return static_cast<size_t>(std::count(commands.begin(), commands.end(), command));
}

TEST_F(AddressBooks, RequestIsForwardedOrStoredAndAcceptanceLinksBothWays) {
    FakeConnection& ann = Online("ann");
    Core().AddAccount(MakeRecord(Record("bob")));
    Send(ann, "DoAddAddressBook:BOB");
    EXPECT_EQ(Core().Users().FindFirstByLogin("bob")->pending,
              std::vector<std::string>{"DoAddAddressBook:ann"});

    FakeConnection& bob = Accept("10.0.0.2");
    Login(bob, "bob");
    EXPECT_EQ(First(bob, "DoAdd"), "DoAddAddressBook:ann");
    const size_t saves_before = std::count(events_.lines.begin(), events_.lines.end(),
                                           LogTimeStamp(kNineFiveSeven) + "UserDB.dat sauvé");
    Send(bob, "YesAddAddressBook:ann");
    EXPECT_TRUE(events_.Logged("bob a accepté de ann l'ajout dans un carnet d'adresse"));
    EXPECT_TRUE(events_.Logged("bob ajoute ann dans son carnet d'adresses"));
    EXPECT_TRUE(events_.Logged("ann ajoute bob dans son carnet d'adresses"));
    const auto to_ann = ann.Take();
    EXPECT_EQ(to_ann.front(), "YesAddAddressBook:bob");
    EXPECT_EQ(Count(to_ann, "AskAddressBook"), 2u) << "an online owner is asked twice";
    EXPECT_EQ(Count(bob.Take(), "AskAddressBook"), 2u);
    EXPECT_EQ(std::count(events_.lines.begin(), events_.lines.end(),
                         LogTimeStamp(kNineFiveSeven) + "UserDB.dat sauvé"),
              static_cast<long>(saves_before + 2));

    Send(ann, "AddressBook");
    EXPECT_EQ(ann.Take(), std::vector<std::string>{"AddressBook:bob!Prénom!Nom!x@y.fr"});
    EXPECT_TRUE(events_.Logged("ann a obtenu son carnet d'adresse"));

    // Accepting again changes nothing but is still forwarded.
    events_.lines.clear();
    Send(bob, "YesAddAddressBook:ann");
    EXPECT_EQ(ann.Take(), std::vector<std::string>{"YesAddAddressBook:bob"});
    EXPECT_FALSE(events_.Logged("UserDB.dat sauvé"));
    EXPECT_EQ(Core().Users().FindFirstByLogin("ann")->address_book.size(), 1u);

    Send(bob, "NoAddAddressBook:ann");
    EXPECT_EQ(ann.Take(), std::vector<std::string>{"NoAddAddressBook:bob"});
    EXPECT_TRUE(events_.Logged("bob a refusé l'ajout dans un carnet d'adresse"));
}

TEST_F(AddressBooks, OfflineOwnerGetsTheRequestStoredOnce) {
    FakeConnection& ann = Online("ann");
    Core().AddAccount(MakeRecord(Record("bob")));
    Send(ann, "YesAddAddressBook:bob");
    EXPECT_EQ(Core().Users().FindFirstByLogin("bob")->pending,
              (std::vector<std::string>{"YesAddAddressBook:ann", "AskAddressBook"}));
    EXPECT_EQ(Core().Users().FindFirstByLogin("bob")->address_book,
              std::vector<std::string>{"ann"});
}

TEST_F(AddressBooks, EntriesWithoutAccountAreAnsweredAsStored) {
    FakeConnection& ann = Online("ann");
    Core().Users().FindFirstByLogin("ann")->address_book = {"Gone", "ANN"};
    Send(ann, "AddressBook");
    EXPECT_EQ(ann.Take(), std::vector<std::string>{"AddressBook:Gone:ann!Prénom!Nom!x@y.fr"});
    Core().Users().FindFirstByLogin("ann")->address_book.clear();
    Send(ann, "AddressBook");
    EXPECT_EQ(ann.Take(), std::vector<std::string>{"AddressBook:"});
}

TEST_F(AddressBooks, RemovalUnlinksBothAndTellsEachOwner) {
    FakeConnection& ann = Online("ann");
    Online("bob");
    MakeContacts("ann", "bob");
    Close(*connections_.back());
    ann.Take();
    Send(ann, "RemoveAddressBook:bob");
    EXPECT_TRUE(events_.Logged("ann a supprimé bob dans son carnet d'adresses"));
    EXPECT_TRUE(events_.Logged("bob a supprimé ann dans son carnet d'adresses"));
    EXPECT_EQ(ann.Take(), (std::vector<std::string>{"DelAddressBook:bob", "AskAddressBook"}));
    EXPECT_EQ(Core().Users().FindFirstByLogin("bob")->pending,
              std::vector<std::string>{"DelAddressBook:ann"});
    EXPECT_TRUE(Core().Users().FindFirstByLogin("bob")->address_book.empty());

    // Nothing left to remove: no save, but the owner still reloads.
    events_.lines.clear();
    Send(ann, "RemoveAddressBook:bob");
    EXPECT_EQ(ann.Take(), std::vector<std::string>{"AskAddressBook"});
    EXPECT_FALSE(events_.Logged("UserDB.dat sauvé"));
}

TEST_F(AddressBooks, ConnectionWithoutAccountDropsTheRestOfItsRead) {
    FakeConnection& c = Accept("10.0.0.3");
    std::string frames;
    for (const char* command : {"GetState:x", "AddressBook", "GetState:y"}) {
        ASSERT_TRUE(AppendCommandFrame(frames, command));
    }
    Core().OnBytes(c, frames);
    EXPECT_EQ(c.Take(), std::vector<std::string>{"x:1"});
    EXPECT_TRUE(events_.Logged(
        "--> FindClientByConnection a trouvé une erreur\n connecté (10.0.0.3) mais pas dans la "
        "base !!!"));
    EXPECT_FALSE(c.closed);
    Send(c, "GetState:z");
    EXPECT_EQ(c.Take(), std::vector<std::string>{"z:1"}) << "the next read is processed";
}

TEST_F(AddressBooks, SenderlessRequestsAreIgnored) {
    FakeConnection& bob = Online("bob");
    FakeConnection& anonymous = Accept();
    for (const char* command : {"DoAddAddressBook:bob", "YesAddAddressBook:bob",
                                "NoAddAddressBook:bob", "YesAddAddressBook:"}) {
        Send(anonymous, command);
    }
    Send(bob, "YesAddAddressBook:");
    EXPECT_TRUE(bob.Take().empty());
    EXPECT_TRUE(Core().Users().FindFirstByLogin("bob")->address_book.empty());
}

TEST_F(AddressBooks, ChangesWhoseSaveFailsAreUndoneAndNobodyIsTold) {
    FakeConnection& ann = Online("ann");
    FakeConnection& bob = Online("bob", "10.0.0.2");
    Core().AddAccount(MakeRecord(Record("cid")));
    MakeContacts("ann", "cid");
    // A directory where the save writes its temporary file: every save fails.
    std::filesystem::create_directories(dir_ / "UserDB.dat.tmp" / "in-the-way");
    Send(bob, "YesAddAddressBook:ann");
    Send(ann, "RemoveAddressBook:cid");
    EXPECT_EQ(Core().Users().FindFirstByLogin("ann")->address_book,
              std::vector<std::string>{"cid"});
    EXPECT_TRUE(Core().Users().FindFirstByLogin("bob")->address_book.empty());
    for (FakeConnection* c : {&ann, &bob}) {
        for (const std::string& command : c->Take()) {
            EXPECT_FALSE(command.starts_with("AskAddressBook") ||
                         command.starts_with("DelAddressBook"))
                << command;
        }
    }
    EXPECT_EQ(std::count_if(events_.lines.begin(), events_.lines.end(),
                            [](const std::string& l) {
                                return l.find("UserDB.dat non sauvé (") != std::string::npos;
                            }),
              1)
        << "one line per interval, however many saves fail";
}

}  // namespace
}  // namespace parlo::server::testing
