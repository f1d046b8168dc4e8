// The pieces without a connection: contact list and layout, settings store,
// conversation model.
#include <sys/stat.h>

#include <QDir>
#include <QFile>

#include "client/core/contact_layout.h"
#include "tests/support/client_fakes.h"

namespace parlo::client::testing {
namespace {

Texts LoginsOf(const ContactList& list) {
    Texts logins;
    for (const Contact& contact : list.Entries()) {
        logins.push_back(contact.login);
    }
    return logins;
}

TEST(ContactList, RebuildOrdersByFoldedLoginAndPutsEqualLoginsAfter) {
    ContactList list;
    list.Rebuild("AddressBook:bob!Bob!Martin!b@x:Alice:carl:BOB!Second:_x::ignored");
    EXPECT_EQ(LoginsOf(list), (Texts{"Alice", "bob", "BOB", "carl", "_x"}));
    EXPECT_EQ(list.Entries()[1].email, "b@x");
    EXPECT_EQ(list.Entries()[2].first_name, "Second");
    EXPECT_EQ(list.Entries()[0].state, kStateOffline);
    list.Rebuild("AddressBook:");
    EXPECT_TRUE(list.IsEmpty());
}

TEST(ContactList, StatesApplyByFoldedLoginAndAPictureOnlyForKnownCodes) {
    ContactList list;
    list.Rebuild("AddressBook:alice:bob");
    EXPECT_EQ(list.ApplyStates("SetState!ALICE:0!nobody:3!bob:3"), 2);
    EXPECT_EQ(list.Find("bob")->picture, PresencePicture::kAway);
    EXPECT_EQ(list.GroupMembers(ContactGroup::kOnline).size(), 2u);
    list.ApplyStates("SetState!alice:5");
    EXPECT_EQ(list.Find("alice")->state, 5);
    EXPECT_EQ(list.Find("alice")->picture, PresencePicture::kOnline);
    EXPECT_EQ(list.GroupMembers(ContactGroup::kOnline).size(), 1u);  // 5 is in neither group
}

TEST(ContactList, HitTestFollowsRowsAndACollapsedGroupHoldsNoContact) {
    ContactList list;
    list.Rebuild("AddressBook:amy:bob:cat:dan");
    list.ApplyStates("SetState!amy:0!bob:3");
    const int header = 16;
    auto layout = LayOutContacts(list, true, true, header);
    EXPECT_EQ(layout.offline_top, 78 + header + 2 * 20 + 20);
    EXPECT_EQ(HitTest(list, layout, 79)->login, "amy");
    EXPECT_EQ(HitTest(list, layout, 78 + 39)->login, "bob");
    EXPECT_EQ(HitTest(list, layout, 78 + 41), nullptr);
    EXPECT_EQ(HitTest(list, layout, layout.offline_top + 21)->login, "dan");
    EXPECT_EQ(HitTest(list, layout, layout.offline_top + 41), nullptr);

    layout = LayOutContacts(list, false, true, header);
    EXPECT_EQ(layout.offline_header_y, 78 + header);  // "Déconnecté" moves up
    EXPECT_EQ(HitTest(list, layout, 80), nullptr);
    EXPECT_EQ(HitTest(list, layout, layout.offline_top + 1)->login, "cat");
    layout = LayOutContacts(list, true, false, header);
    EXPECT_EQ(HitTest(list, layout, layout.offline_top + 1), nullptr);
}

TEST(ByteList, FormatsAndParsesAsStored) {
    EXPECT_EQ(FormatByteList(std::string("\x00\x78\xff", 3)), "0:120:255");
    EXPECT_EQ(ParseByteList("5::7"), std::string("\x05"));
    EXPECT_EQ(ParseByteList("300"), std::string("\x2c"));
    std::string all;
    for (int i = 0; i < 256; ++i) {
        all.push_back(static_cast<char>(i));
    }
    EXPECT_EQ(ParseByteList(FormatByteList(all)), all);
    std::string longest = "1";
    for (size_t i = 1; i < kMaxBlobBytes; ++i) {
        longest += ":1";
    }
    EXPECT_TRUE(ParseByteList(longest).has_value());
    EXPECT_FALSE(ParseByteList(longest + ":1").has_value());
}

TEST(ByteList, FieldsCompressWithinTheLimitAndUncompressUpToANul) {
    EXPECT_EQ(UncompressField(*CompressField("pw:!é")), "pw:!é");
    EXPECT_EQ(UncompressField(Compressed(std::string("ab\0cd", 5))), "ab");
    EXPECT_EQ(UncompressField("not zlib"), "");
    EXPECT_EQ(UncompressField(""), "");
    EXPECT_TRUE(CompressField(std::string(kMaxBlobBytes - 1, 'a')).has_value());
    EXPECT_FALSE(CompressField(std::string(kMaxBlobBytes, 'a')).has_value());
}

class SettingsFile : public ::testing::Test {
  protected:
    QString Path() const { return dir_.filePath("Parlomatic/Parlomatic.ini"); }
    ClientSettings LoadIni(const std::string& text, ClientSettings settings = {}) {
        QDir().mkpath(dir_.filePath("Parlomatic"));
        QFile file(Path());
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.c_str());
        file.close();
        SettingsStore(Path()).Load(settings);
        return settings;
    }
    QTemporaryDir dir_;
};

TEST_F(SettingsFile, SavedSettingsLoadBackFromAPrivateIniFile) {
    ClientSettings saved;
    saved.credentials = *MakeCredentials(Compressed("émilie"), Compressed("pw:!"));
    saved.server_address = "192.168.1.20";
    saved.port = 7777;
    saved.sound = false;
    saved.encryption = {.enabled = true, .port = 7800};
    saved.pinned_certificates = {{"192.168.1.20", "AB:01"}, {"10.0.0.1", "CD:02"}};
    ASSERT_TRUE(SettingsStore(Path()).Save(saved));
    ClientSettings loaded;
    SettingsStore(Path()).Load(loaded);
    EXPECT_EQ(loaded.credentials.password_blob, saved.credentials.password_blob);
    EXPECT_EQ(loaded.credentials.plain_login, "émilie");
    EXPECT_EQ(loaded.server_address, "192.168.1.20");
    EXPECT_EQ(loaded.port, 7777);
    EXPECT_FALSE(loaded.sound);
    EXPECT_EQ(loaded.encryption, saved.encryption);
    EXPECT_EQ(loaded.pinned_certificates, saved.pinned_certificates);

    struct stat info {};
    ASSERT_EQ(stat(Path().toLocal8Bit().constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    QFile file(Path());
    file.open(QIODevice::ReadOnly);
    const QByteArray text = file.readAll();
    for (const char* line : {"[Login]", "[Server]", "Port=7777", "[Sound]", "Play=0", "[State]",
                             "OnLine=1", "OffLine=1", "Encrypted=1", "EncryptedPort=7800",
                             "[Certificates]", "192.168.1.20=AB:01"}) {
        EXPECT_TRUE(text.contains(line)) << line;
    }
}

TEST_F(SettingsFile, EmptyLoginKeepsEverythingAndFlagsNeedExactlyOne) {
    ClientSettings settings = LoadIni("[Server]\nIP=10.0.0.1\nPort=7777\n[Sound]\nPlay=0\n");
    EXPECT_EQ(settings.port, 0);
    EXPECT_TRUE(settings.sound);

    ClientSettings current;
    current.port = 4000;
    current.offline_expanded = false;
    settings = LoadIni("[Login]\nLogin=" + FormatByteList(Compressed("bob")) +
                           "\n[Sound]\nPlay=2\n[State]\nOnLine=1\n",
                       current);
    EXPECT_EQ(settings.credentials.plain_login, "bob");
    EXPECT_FALSE(settings.sound);
    EXPECT_TRUE(settings.online_expanded);
    EXPECT_FALSE(settings.offline_expanded);  // missing: kept
    EXPECT_EQ(settings.port, 4000);
    EXPECT_EQ(settings.encryption, EncryptionSettings{});  // plain, as before
}

TEST_F(SettingsFile, UnusableStoredLoginLeavesTheCredentialsEmpty) {
    ClientSettings settings = LoadIni("[Login]\nLogin=1:2:3\nPassword=4\n[Server]\nPort=7777\n");
    EXPECT_TRUE(settings.credentials.login_blob.empty());
    EXPECT_EQ(settings.port, 7777);
    std::string overlong = FormatByteList(Compressed("bob"));
    for (size_t i = 0; i < kMaxBlobBytes; ++i) {
        overlong += ":0";
    }
    settings = LoadIni("[Login]\nLogin=" + overlong + "\nPassword=4\n");
    EXPECT_TRUE(settings.credentials.plain_login.empty());
}

TEST(ConversationModel, TitleTypingLineAndTypingFlag) {
    ContactList contacts;
    contacts.Rebuild("AddressBook:bob:carl");
    contacts.ApplyStates("SetState!bob:0!carl:3");
    Conversation conversation(1, "me", nullptr);
    for (const char* login : {"me", "BOB", "carl", "Bob"}) {
        conversation.AddParticipant(login);
    }
    EXPECT_EQ(conversation.Count(), 3u);
    conversation.SetTyping("bob", true);
    const ConversationTitle title = ComputeTitle(conversation, contacts);
    EXPECT_EQ(title.title, "bob est connecté(e), carl est absent(e)");
    EXPECT_EQ(title.typing_line, "bob écrit");

    EXPECT_EQ(conversation.InputChanged(1), 1);
    EXPECT_EQ(conversation.InputChanged(2), std::nullopt);
    EXPECT_EQ(conversation.InputChanged(0), 0);
    EXPECT_EQ(JoinNamesForBox(Texts{"a", "b", "c"}), "a, b et c");
}

}  // namespace
}  // namespace parlo::client::testing
