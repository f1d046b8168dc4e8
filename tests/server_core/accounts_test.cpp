#include "tests/server_core/harness.h"

namespace parlo::server::testing {
namespace {

using Accounts = CoreTest;

TEST_F(Accounts, RegisterThenLogInAddsARowAndIsSaved) {
    FakeConnection& c = Accept("10.0.0.7", 5123);
    Register(c, "ann");
    EXPECT_EQ(c.Take(), std::vector<std::string>{"AddNewUser:OK"});
    EXPECT_TRUE(events_.Logged("User ann ajouté"));
    EXPECT_NE(ReadFile(dir_ / "UserDB.dat").find(Record("ann")), std::string::npos);

    Login(c, "ann");
    EXPECT_EQ(c.Take(), std::vector<std::string>{"Login:OK"});
    EXPECT_TRUE(events_.Logged("Log de ann"));
    EXPECT_TRUE(events_.Logged("User ann authorisé et execute ses anciens messages"));
    ASSERT_EQ(Core().Rows().Size(), 1u);
    const ConsoleRow& row = Core().Rows().At(0);
    EXPECT_EQ(row.computer, "PC-ann");
    EXPECT_EQ(row.ip, "10.0.0.7");
    EXPECT_EQ(row.port, "5123");
    EXPECT_EQ(row.first_name, "Prénom");
}

TEST_F(Accounts, WrongPasswordFailsWithoutEvictingTheOnlineUser) {
    FakeConnection& ann = Online("ann");
    FakeConnection& intruder = Accept("10.0.0.9");
    Login(intruder, "ann", "guess");
    EXPECT_EQ(intruder.Take(),
              std::vector<std::string>{"Login:Identifiant ou mot de passe non valide."});
    EXPECT_TRUE(events_.Logged("User ann est inconnu (10.0.0.9)"));
    EXPECT_FALSE(ann.closed);
    EXPECT_TRUE(ann.Take().empty());
    EXPECT_NE(Core().Online().FindFirstByLogin("ann"), nullptr);
}

TEST_F(Accounts, RightPasswordEvictsTheOlderConnectionOfTheSameLogin) {
    FakeConnection& old = Online("ann");
    FakeConnection& bob = Online("bob");
    FakeConnection& fresh = Accept("10.0.0.2");
    Login(fresh, "ann");
    EXPECT_EQ(old.Take().front(), "Login:Vous êtes connecté ailleurs...");
    EXPECT_TRUE(old.closed);
    EXPECT_TRUE(events_.Logged("PC-ann (10.0.0.1) a quitté le chat"));
    EXPECT_EQ(First(bob, "SetState!"), "SetState!") << "the close procedure broadcast";
    EXPECT_EQ(First(fresh, "Login:"), "Login:OK");
    EXPECT_EQ(Core().Online().FindFirstByLogin("ANN")->ip, "10.0.0.2");
    // The adapter never reports the evicted connection again; if it did, it
    // would find nothing to remove.
    Close(old);
    EXPECT_EQ(Core().Online().Size(), 2u);
}

TEST_F(Accounts, PendingCommandsAreReplayedInOrderOnceAfterTheLoginAnswer) {
    Close(Online("ann"));
    Core().Users().FindFirstByLogin("ann")->pending = {"DoAddAddressBook:bob", "Leave:bob:ann!bob"};
    FakeConnection& again = Accept();
    Login(again, "ann");
    EXPECT_EQ(again.Take(),
              (std::vector<std::string>{"Login:OK", "DoAddAddressBook:bob", "Leave:bob:ann!bob"}));
    EXPECT_TRUE(events_.Logged("User ann execute Leave:bob:ann!bob"));
    Close(again);
    FakeConnection& third = Accept();
    Login(third, "ann");
    EXPECT_EQ(third.Take(), std::vector<std::string>{"Login:OK"});
}

TEST_F(Accounts, DuplicateRegistrationIgnoresCaseAndKeepsTheIdentity) {
    Online("ann");
    FakeConnection& c = Online("bob");
    Register(c, "ANN");
    EXPECT_EQ(c.Take(), std::vector<std::string>{"AddNewUser:Utilisateur déjà référencé"});
    EXPECT_TRUE(events_.Logged("User ANN déjà référencé"));
    EXPECT_EQ(Core().Users().Size(), 2u);
    EXPECT_EQ(Core().Online().Find(c)->login, "bob") << "a refused registration identifies nothing";

    FakeConnection& anonymous = Accept();
    Register(anonymous, "ann");
    anonymous.Take();
    EXPECT_FALSE(Core().Online().Find(anonymous)->HasLogin());
    Send(anonymous, "AddressBook");
    EXPECT_TRUE(anonymous.Take().empty()) << "not ann's address book";
}

TEST_F(Accounts, AcceptedRegistrationNamesTheFirstRowOfTheSendersAddress) {
    Online("ann", "10.0.0.5");
    FakeConnection& newcomer = Accept("10.0.0.5");
    Send(newcomer, FormatAddNewUser(Record("cid", "pw", "Cédric", "Durand")));
    EXPECT_EQ(newcomer.Take(), std::vector<std::string>{"AddNewUser:OK"});
    EXPECT_EQ(Core().Rows().At(0).first_name, "Cédric");
    EXPECT_EQ(Core().Online().Find(newcomer)->login, "cid");
    EXPECT_EQ(Core().Users().FindFirstByLogin("cid")->ip, "10.0.0.5");
}

TEST_F(Accounts, UnusableRecordTextsAndLoginsAreRefused) {
    FakeConnection& c = Accept();
    for (const std::string& record : {std::string(), std::string("9:9:0:0:0:short"),
                                      FormatRecordText("junk", Blob("pw"), "a", "b", "c@d"),
                                      FormatRecordText(Blob(""), Blob("pw"), "a", "b", "c@d")}) {
        Send(c, FormatAddNewUser(record));
        const auto answers = c.Take();
        ASSERT_EQ(answers.size(), 1u);
        EXPECT_TRUE(answers[0].starts_with("AddNewUser:"));
        EXPECT_NE(answers[0], "AddNewUser:OK");
    }
    EXPECT_TRUE(Core().Users().Empty());
    EXPECT_FALSE(std::filesystem::exists(dir_ / "UserDB.dat")) << "no save for a refusal";

    Send(c, FormatConnect("pc", "not zlib", Blob("pw")));
    Send(c, "Connect:pc:99:99:x");
    EXPECT_EQ(c.Take(),
              std::vector<std::string>(2, "Login:Identifiant ou mot de passe non valide."));
}

TEST_F(Accounts, FindUserMatchesAnyCriterionIgnoringCaseAndNeverTheSender) {
    FakeConnection& ann = Online("ann");
    Core().AddAccount(MakeRecord(Record("bob", "pw", "Jean", "Martin", "b@x.fr")));
    Core().AddAccount(MakeRecord(Record("cid", "pw", "Anne", "Durand", "c@x.fr")));
    Send(ann, FormatFindUser("", "an", "", ""));
    EXPECT_EQ(ann.Take(),
              std::vector<std::string>{"FindUser:bob!Jean!Martin!b@x.fr:cid!Anne!Durand!c@x.fr"});
    EXPECT_TRUE(
        events_.Logged("User ann Recherche :an:: et trouve "
                       "FindUser:bob!Jean!Martin!b@x.fr:cid!Anne!Durand!c@x.fr"));
    Send(ann, FormatFindUser("", "", "", ""));
    Send(ann, FormatFindUser("ANN", "", "", ""));
    EXPECT_EQ(ann.Take(), std::vector<std::string>(2, "FindUser:"));

    FakeConnection& anonymous = Accept();
    Send(anonymous, FormatFindUser("b", "", "", ""));
    EXPECT_EQ(anonymous.Take(), std::vector<std::string>{"FindUser:"});
}

}  // namespace
}  // namespace parlo::server::testing
