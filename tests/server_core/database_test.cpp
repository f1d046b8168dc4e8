#include "tests/server_core/harness.h"

namespace parlo::server::testing {
namespace {

// A hand-built UserDB.dat image.
class Image {
  public:
    explicit Image(int32_t version) { Int(version); }
    Image& Int(int32_t value) {
        for (int shift = 0; shift < 32; shift += 8) {
            bytes_.push_back(static_cast<char>((static_cast<uint32_t>(value) >> shift) & 0xFF));
        }
        return *this;
    }
    Image& String(std::string_view text) {
        Int(static_cast<int32_t>(text.size()));
        bytes_.append(text);
        return *this;
    }
    Image& Strings(std::initializer_list<std::string_view> items) {
        Int(static_cast<int32_t>(items.size()));
        for (std::string_view item : items) {
            String(item);
        }
        return *this;
    }
    // One record block of a version-103 image.
    Image& Block(std::string_view record, std::initializer_list<std::string_view> book = {},
                 std::initializer_list<std::string_view> pending = {}) {
        return String(record).Strings(book).Strings(pending);
    }
    const std::string& Bytes() const { return bytes_; }

  private:
    std::string bytes_;
};

std::vector<std::string> Logins(const RecordList& users) {
    std::vector<std::string> out;
    for (const auto& record : users.Records()) {
        out.push_back(record->login);
    }
    return out;
}

using Database = CoreTest;

TEST_F(Database, LoadsEachVersionAndSkipsEmptyBlocksWithTheirLists) {
    WriteFile(dir_ / "UserDB.dat", Image(100).Int(0).Bytes());
    EXPECT_TRUE(Core().Users().Empty()) << "below 101 the file holds no account";
    EXPECT_TRUE(events_.Logged("UserDB.dat chargé"));

    // Data behind an old version is a layout nobody here knows: no start.
    Stop();
    const std::string ghost = Image(100).Int(1).String(Record("ghost")).Bytes();
    WriteFile(dir_ / "UserDB.dat", ghost);
    ServerCore refused(ServerOptions{dir_, [] { return kNineFiveSeven; }}, events_);
    EXPECT_FALSE(refused.Start());
    EXPECT_EQ(refused.StartRefusal(),
              "UserDB.dat illisible (version 100 inconnue) : démarrage refusé, le fichier est "
              "laissé tel quel");
    refused.Shutdown();
    EXPECT_FALSE(refused.ClosingSaveFailed());
    EXPECT_EQ(ReadFile(dir_ / "UserDB.dat"), ghost);

    Image image(103);
    image.Int(3).Block(Record("ann"), {"bob"}, {"Leave:bob:ann!bob"});
    image.Block("", {"lost"}, {"lost too"}).Block(Record("bob"), {"ann", "cid"});
    WriteFile(dir_ / "UserDB.dat", image.Bytes());
    Core();
    EXPECT_EQ(Logins(Core().Users()), (std::vector<std::string>{"ann", "bob"}));
    const Account& ann = *Core().Users().FindFirstByLogin("ANN");
    EXPECT_EQ(ann.address_book, std::vector<std::string>{"bob"});
    EXPECT_EQ(ann.pending, std::vector<std::string>{"Leave:bob:ann!bob"});
    EXPECT_EQ(Core().Users().FindFirstByLogin("bob")->address_book,
              (std::vector<std::string>{"ann", "cid"}));
}

TEST_F(Database, OldLayoutsLoadAndAreRewrittenAs103) {
    WriteFile(dir_ / "UserDB.dat",
              Image(101).Int(2).String(Record("ann")).String(Record("bob")).Bytes());
    ASSERT_EQ(Core().Users().Size(), 2u);
    ASSERT_TRUE(Core().SaveDatabase());
    const Image expected = Image(103).Int(2).Block(Record("ann")).Block(Record("bob"));
    EXPECT_EQ(ReadFile(dir_ / "UserDB.dat"), expected.Bytes());

    Stop();
    WriteFile(dir_ / "UserDB.dat",
              Image(102).Int(1).String(Record("cid")).Strings({"ann"}).Bytes());
    Core();
    EXPECT_EQ(Core().Users().FindFirstByLogin("cid")->address_book,
              std::vector<std::string>{"ann"});
}

TEST_F(Database, SaveThenLoadKeepsEveryOrderAndTheBackupHoldsThePreviousSave) {
    for (const char* login : {"zoe", "ann", "max"}) {
        Core().AddAccount(MakeRecord(Record(login)));
    }
    Account& zoe = *Core().Users().FindFirstByLogin("zoe");
    zoe.address_book = {"max", "ann"};
    zoe.pending = {"AskAddressBook", "DelAddressBook:bob"};
    ASSERT_TRUE(Core().SaveDatabase());
    const std::string first = ReadFile(dir_ / "UserDB.dat");
    Core().AddAccount(MakeRecord(Record("eve")));
    ASSERT_TRUE(Core().SaveDatabase());
    EXPECT_EQ(ReadFile(dir_ / "UserDB.bak"), first);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "UserDB.dat.tmp"));

    Restart();  // Shutdown saves once more
    EXPECT_EQ(Logins(Core().Users()), (std::vector<std::string>{"zoe", "ann", "max", "eve"}));
    const Account& loaded = *Core().Users().FindFirstByLogin("zoe");
    EXPECT_EQ(loaded.address_book, (std::vector<std::string>{"max", "ann"}));
    EXPECT_EQ(loaded.pending, (std::vector<std::string>{"AskAddressBook", "DelAddressBook:bob"}));
    EXPECT_EQ(loaded.record_text, Record("zoe"));
}

TEST_F(Database, TemporaryFileLeftByACrashIsRemovedAtStart) {
    Core().AddAccount(MakeRecord(Record("ann")));
    ASSERT_TRUE(Core().SaveDatabase());
    Stop();
    // A save killed between writing the temporary file and the rename.
    WriteFile(dir_ / "UserDB.dat.tmp", "half a sav");
    Core();
    EXPECT_FALSE(std::filesystem::exists(dir_ / "UserDB.dat.tmp"));
    EXPECT_TRUE(events_.Logged("UserDB.dat.tmp supprimé : reste d'une sauvegarde interrompue"));
    EXPECT_EQ(Logins(Core().Users()), std::vector<std::string>{"ann"});
    // Without one, no line.
    events_.lines.clear();
    Restart();
    EXPECT_FALSE(events_.Logged("UserDB.dat.tmp supprimé : reste d'une sauvegarde interrompue"));
}

TEST_F(Database, TruncatedFileIsSetAsideAndWhatWasReadWholeIsKept) {
    const std::string whole = Image(103)
                                  .Int(3)
                                  .Block(Record("ann"), {"bob"})
                                  .Block(Record("bob"))
                                  .Block(Record("cid"))
                                  .Bytes();
    const std::string cut = whole.substr(0, whole.size() - 20);
    WriteFile(dir_ / "UserDB.dat", cut);
    EXPECT_EQ(Logins(Core().Users()), (std::vector<std::string>{"ann", "bob"}));
    EXPECT_EQ(ReadFile(dir_ / "UserDB.dat"), cut) << "kept until a save replaces it";
    bool kept = false;
    for (const auto& file : std::filesystem::directory_iterator(dir_)) {
        if (file.path().filename().string().starts_with("UserDB.dat.") &&
            ReadFile(file.path()) == cut) {
            kept = true;
            EXPECT_NE(file.path().filename().string().find("-090507"), std::string::npos);
        }
    }
    EXPECT_TRUE(kept) << "the damaged file is kept aside, byte for byte";
    const auto messages = events_.Messages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_TRUE(messages[0].starts_with("UserDB.dat incomplet")) << messages[0];
    EXPECT_EQ(messages[1], "UserDB.dat chargé");
}

TEST_F(Database, HugeCountsAndNegativeLengthsNeverReadPastTheData) {
    WriteFile(dir_ / "UserDB.dat",
              Image(103).Int(0x7fffffff).String(Record("ann")).Int(-5).Bytes());
    EXPECT_EQ(Logins(Core().Users()), std::vector<std::string>{"ann"});
}

TEST_F(Database, RefusedRecordTextsAreSkippedWithALogLine) {
    const std::string bad_header = "3:1:0:0:0:abcd";
    const std::string no_login = FormatRecordText("not zlib", Blob("pw"), "A", "B", "c@d");
    const std::string empty_login = FormatRecordText(Blob(""), Blob("pw"), "A", "B", "c@d");
    Image image(103);
    image.Int(4).Block(bad_header, {"x"}).Block(no_login).Block(empty_login).Block(Record("ann"));
    WriteFile(dir_ / "UserDB.dat", image.Bytes());
    EXPECT_EQ(Logins(Core().Users()), std::vector<std::string>{"ann"});
    EXPECT_TRUE(events_.Logged("UserDB.dat : compte n°1 ignoré (enregistrement illisible)"));
    EXPECT_TRUE(events_.Logged("UserDB.dat : compte n°3 ignoré (enregistrement illisible)"));
    EXPECT_TRUE(
        events_.Logged("UserDB.dat : copie mise de côté sous UserDB.dat.19700101-090507.damaged"));
    // Nothing refused is left to abandon later saves.
    EXPECT_TRUE(Core().SaveDatabase());
}

TEST_F(Database, RecordWithoutRecordTextAbandonsTheSaveAndRestoresTheBackup) {
    Core().AddAccount(MakeRecord(Record("ann")));
    ASSERT_TRUE(Core().SaveDatabase());
    const std::string saved = ReadFile(dir_ / "UserDB.dat");
    Core().AddAccount(std::make_unique<Account>());
    EXPECT_FALSE(Core().SaveDatabase());
    EXPECT_EQ(events_.saves_abandoned, 1);
    EXPECT_EQ(events_.Messages().back(), "Données erronnées : Abandon sauvegarde");
    EXPECT_EQ(ReadFile(dir_ / "UserDB.dat"), saved);
    EXPECT_EQ(Core().Users().Size(), 2u) << "the list in memory is unchanged";
}

TEST_F(Database, NothingIsSavedOutsideStartAndShutdown) {
    Core().AddAccount(MakeRecord(Record("ann")));
    ServerCore& core = Core();
    core.Shutdown();
    const std::string saved = ReadFile(dir_ / "UserDB.dat");
    core.Shutdown();  // a second close must not write the cleared list
    EXPECT_FALSE(core.SaveDatabase());
    EXPECT_EQ(ReadFile(dir_ / "UserDB.dat"), saved);

    ServerCore not_started(ServerOptions{dir_, [] { return kNineFiveSeven; }}, events_);
    EXPECT_FALSE(not_started.SaveDatabase());
    EXPECT_EQ(ReadFile(dir_ / "UserDB.dat"), saved);
}

TEST(RecordLists, IndexesKeepListOrderWhenLoginsChange) {
    RecordList list;
    Account& first = list.Append(std::make_unique<Account>());
    Account& second = list.Append(MakeRecord(Record("Ann")));
    ASSERT_EQ(list.FindFirstByLogin("ann"), &second);
    ASSERT_TRUE(list.SetRecordText(first, Record("ANN")));
    EXPECT_EQ(list.FindFirstByLogin("aNn"), &first) << "first in list order, not in time";
    EXPECT_EQ(list.FindAllByLogin("ann").size(), 2u);
    EXPECT_EQ(list.FindFirstByCredentials(second.credentials), &second);
    EXPECT_FALSE(list.SetRecordText(first, "")) << "refused texts change nothing";
    EXPECT_EQ(first.login, "ANN");
    list.Remove(first);
    EXPECT_EQ(list.FindFirstByLogin("ann"), &second);
    EXPECT_EQ(list.FindFirstByLogin(""), nullptr);
}

}  // namespace
}  // namespace parlo::server::testing
