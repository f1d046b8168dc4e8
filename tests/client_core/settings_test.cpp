#include <sys/stat.h>

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "client/settings/client_settings.h"
#include "protocol/codec.h"

namespace parlo::client {
namespace {

std::string Compressed(std::string_view text) {
    std::string blob;
    EXPECT_TRUE(Compress(text, blob));
    return blob;
}

TEST(ByteList, FormatsEachByteAsAnUnsignedNumber) {
    EXPECT_EQ(FormatByteList(std::string("\x00\x78\xff", 3)), "0:120:255");
    EXPECT_EQ(FormatByteList(""), "");
}

TEST(ByteList, ParsesUpToTheFirstEmptyFieldKeepingLowEightBits) {
    EXPECT_EQ(ParseByteList("5::7"), std::string("\x05"));
    EXPECT_EQ(ParseByteList("300"), std::string("\x2c"));
    EXPECT_EQ(ParseByteList("1:2:"), std::string("\x01\x02"));
    EXPECT_EQ(ParseByteList(""), std::string());
    EXPECT_EQ(ParseByteList("x:7"), std::string("\x00\x07", 2));
}

TEST(ByteList, RoundTripsEveryByteValue) {
    std::string all;
    for (int i = 0; i < 256; ++i) {
        all.push_back(static_cast<char>(i));
    }
    EXPECT_EQ(ParseByteList(FormatByteList(all)), all);
}

TEST(ByteList, RefusesMoreNumbersThanABlobHolds) {
    std::string text = "1";
    for (size_t i = 1; i < kMaxBlobBytes; ++i) {
        text += ":1";
    }
    EXPECT_EQ(ParseByteList(text)->size(), kMaxBlobBytes);
    EXPECT_FALSE(ParseByteList(text + ":1").has_value());
}

TEST(Credentials, PlainLoginIsTheUncompressedLoginBlob) {
    const auto credentials = MakeCredentials(Compressed("émilie"), Compressed("secret"));
    ASSERT_TRUE(credentials.has_value());
    EXPECT_EQ(credentials->plain_login, "émilie");
    EXPECT_TRUE(credentials->IsComplete());
    EXPECT_FALSE(MakeCredentials("not zlib", Compressed("secret")).has_value());
    EXPECT_FALSE(MakeCredentials("", "").has_value());
}

class SettingsStoreTest : public ::testing::Test {
  protected:
    QString Path() const { return dir_.filePath("Parlomatic/Parlomatic.ini"); }
    void WriteIni(const char* text) {
        ASSERT_TRUE(QDir().mkpath(dir_.filePath("Parlomatic")));
        QFile file(Path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    QTemporaryDir dir_;
};

TEST_F(SettingsStoreTest, SavedSettingsLoadBackAndTheFileIsPrivate) {
    ClientSettings saved;
    saved.credentials = *MakeCredentials(Compressed("alice"), Compressed("pw:!"));
    saved.server_address = "192.168.1.20";
    saved.port = 7777;
    saved.sound = false;
    saved.online_expanded = false;
    SettingsStore store(Path());
    ASSERT_TRUE(store.Save(saved));

    ClientSettings loaded;
    store.Load(loaded);
    EXPECT_EQ(loaded.credentials.login_blob, saved.credentials.login_blob);
    EXPECT_EQ(loaded.credentials.password_blob, saved.credentials.password_blob);
    EXPECT_EQ(loaded.credentials.plain_login, "alice");
    EXPECT_EQ(loaded.server_address, "192.168.1.20");
    EXPECT_EQ(loaded.port, 7777);
    EXPECT_FALSE(loaded.sound);
    EXPECT_FALSE(loaded.online_expanded);
    EXPECT_TRUE(loaded.offline_expanded);

    struct stat info {};
    ASSERT_EQ(stat(Path().toLocal8Bit().constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    QFile file(Path());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("[Login]"));
    EXPECT_TRUE(text.contains(
        "Login=" + QByteArray::fromStdString(FormatByteList(saved.credentials.login_blob))));
    EXPECT_TRUE(text.contains("[Server]"));
    EXPECT_TRUE(text.contains("Port=7777"));
    EXPECT_TRUE(text.contains("[Sound]"));
    EXPECT_TRUE(text.contains("Play=0"));
    EXPECT_TRUE(text.contains("[State]"));
    EXPECT_TRUE(text.contains("OnLine=0"));
    EXPECT_TRUE(text.contains("OffLine=1"));
}

TEST_F(SettingsStoreTest, EmptyStoredLoginLeavesEverySettingAsItWas) {
    WriteIni("[Login]\nLogin=\n[Server]\nIP=10.0.0.1\nPort=7777\n[Sound]\nPlay=0\n");
    ClientSettings settings;
    SettingsStore(Path()).Load(settings);
    EXPECT_EQ(settings.server_address, "");
    EXPECT_EQ(settings.port, 0);
    EXPECT_TRUE(settings.sound);
}

TEST_F(SettingsStoreTest, FlagsAreSetOnlyByExactlyOneAndMissingValuesKeepCurrent) {
    const std::string login = FormatByteList(Compressed("bob"));
    WriteIni(("[Login]\nLogin=" + login + "\n[Sound]\nPlay=2\n[State]\nOnLine=1\n").c_str());
    ClientSettings settings;
    settings.server_address = "10.1.1.1";
    settings.port = 4000;
    settings.offline_expanded = false;
    SettingsStore(Path()).Load(settings);
    EXPECT_FALSE(settings.sound);
    EXPECT_TRUE(settings.online_expanded);
    EXPECT_FALSE(settings.offline_expanded);
    EXPECT_EQ(settings.server_address, "10.1.1.1");
    EXPECT_EQ(settings.port, 4000);
    EXPECT_EQ(settings.credentials.plain_login, "bob");
    EXPECT_TRUE(settings.credentials.password_blob.empty());
}

TEST_F(SettingsStoreTest, UnusableStoredLoginLeavesCredentialsEmptyButReadsTheRest) {
    WriteIni("[Login]\nLogin=1:2:3\nPassword=4:5\n[Server]\nIP=10.0.0.2\nPort=7777\n");
    ClientSettings settings;
    settings.credentials = *MakeCredentials(Compressed("old"), Compressed("old"));
    SettingsStore(Path()).Load(settings);
    EXPECT_FALSE(settings.credentials.IsComplete());
    EXPECT_TRUE(settings.credentials.plain_login.empty());
    EXPECT_EQ(settings.server_address, "10.0.0.2");
    EXPECT_EQ(settings.port, 7777);
}

TEST_F(SettingsStoreTest, OverlongByteListLeavesCredentialsEmpty) {
    std::string list = FormatByteList(Compressed("bob"));
    for (size_t i = 0; i < kMaxBlobBytes; ++i) {
        list += ":0";
    }
    WriteIni(("[Login]\nLogin=" + list + "\nPassword=1\n").c_str());
    ClientSettings settings;
    SettingsStore(Path()).Load(settings);
    EXPECT_TRUE(settings.credentials.login_blob.empty());
    EXPECT_TRUE(settings.credentials.plain_login.empty());
}

TEST(SettingsPath, FollowsXdgConfigHome) {
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/tmp/parlo-config");
    EXPECT_EQ(DefaultSettingsPath(), QString("/tmp/parlo-config/Parlomatic/Parlomatic.ini"));
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_TRUE(DefaultSettingsPath().endsWith("/.config/Parlomatic/Parlomatic.ini"));
    if (!saved.isNull()) {
        qputenv("XDG_CONFIG_HOME", saved);
    }
}

}  // namespace
}  // namespace parlo::client
