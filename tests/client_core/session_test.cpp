// Connection, own state, sending and frame reading, against fake links.
#include <QFile>

#include "tests/support/client_fakes.h"

namespace parlo::client::testing {
namespace {

TEST_F(SessionTest, StartUpLogsInOnlyWithCompleteCredentialsAndAPort) {
    session_.SetServer("127.0.0.1", 0);
    session_.Initialize();
    session_.StartUp();
    session_.SetCredentials(Compressed("alice"), Compressed("pw"));
    session_.StartUp();  // still port 0
    EXPECT_EQ(ui_.settings_dialogs, 2);
    EXPECT_EQ(links_.created, 0);

    qputenv("COMPUTERNAME", "desk:1");
    session_.SetServer("10.0.0.5", 7777);
    session_.StartUp();
    qunsetenv("COMPUTERNAME");
    EXPECT_EQ(links_.address, "10.0.0.5:7777");
    EXPECT_EQ(ui_.states, (std::vector<int>{kStateStartup, kStateConnecting}));
    const std::string login = Compressed("alice");
    const std::string password = Compressed("pw");
    EXPECT_EQ(links_.sent, Texts{"Connect:desk-1:" + std::to_string(login.size()) + ":" +
                                 std::to_string(password.size()) + ":" + login + password});
}

TEST_F(SessionTest, LoginAnswers) {
    session_.TestLogIn(Compressed("alice"), Compressed("pw"));
    links_.Deliver({"Login:Identifiant ou mot de passe non valide.", "Login:OKAY"});
    EXPECT_EQ(session_.OwnState(), kStateConnecting);
    links_.sent.clear();
    links_.Deliver({"Login:ok"});
    EXPECT_EQ(session_.OwnState(), kStateOnline);
    EXPECT_EQ(links_.sent, Texts{"AddressBook"});
    EXPECT_EQ(ui_.boxes, (Texts{"Identifiant ou mot de passe non valide.", "OKAY",
                                std::string(texts::kLoginOk)}));
    EXPECT_EQ(ui_.captions.back(), texts::kUserManagement);
}

TEST_F(SessionTest, FailedConnectionEndsOfflineSaysWhyAndLaterSendsSayNotConnected) {
    session_.LogIn(Compressed("alice"), Compressed("pw"));
    links_.FailConnect("connexion refusée");
    EXPECT_EQ(ui_.states, (std::vector<int>{kStateConnecting, kStateOffline}));
    EXPECT_TRUE(ui_.boxes.empty());
    EXPECT_EQ(session_.ConnectionProblem(), "Serveur injoignable : connexion refusée");
    session_.RequestAddressBook();
    EXPECT_EQ(ui_.boxes, Texts{std::string(texts::kNotConnected)});
    EXPECT_EQ(ui_.captions, Texts{std::string(texts::kImpossible)});
    EXPECT_EQ(links_.sent.size(), 1u) << "only the Connect queued while connecting";

    // "Test" names the server and the reason in one box.
    ui_.boxes.clear();
    ASSERT_TRUE(session_.TestLogIn(Compressed("alice"), Compressed("pw")));
    EXPECT_TRUE(session_.ConnectionProblem().empty());
    links_.FailConnect("connexion refusée");
    EXPECT_EQ(ui_.boxes,
              Texts{"Impossible de joindre le serveur 127.0.0.1:7777 : connexion refusée"});
}

TEST_F(SessionTest, EveryWayOfEndingTheConnectionSendsContactsOffline) {
    const std::function<void()> endings[] = {
        [&] { session_.MenuConnect(); },  // a new attempt replaces the connection
        [&] { session_.MenuStateOffline(); },
        [&] { links_.CloseFromServer(); },
        [&] { session_.ScreenSaverStarting(); },
    };
    for (const auto& end : endings) {
        LogInAs("alice", "AddressBook:bob");
        links_.Deliver({"SetState!bob:0"});
        links_.sent.clear();
        end();
        EXPECT_EQ(session_.Contacts().Entries()[0].state, kStateOffline);
        EXPECT_EQ(links_.closed, links_.created - (session_.IsConnected() ? 1 : 0));
        // Nothing tells the server: it sees the connection close.
        EXPECT_TRUE(links_.sent.empty() || links_.sent[0].starts_with("Connect:"));
    }
    EXPECT_EQ(session_.OwnState(), kStateOffline);
    session_.MainWindowPainting();  // while the screen saver runs: nothing
    EXPECT_TRUE(links_.sent.empty());
    session_.ScreenSaverEnded();  // one new login
    session_.MainWindowPainting();
    ASSERT_EQ(links_.sent.size(), 1u);
    EXPECT_TRUE(links_.sent[0].starts_with("Connect:"));
}

TEST_F(SessionTest, StateMenusSendOnlyRealChanges) {
    LogInAs("alice");
    session_.MenuStateAway();
    session_.MenuStateAway();
    session_.MenuStateOnline();
    session_.ChangeState(kStateInactive);
    session_.MouseMoved();
    session_.MouseMoved();
    EXPECT_EQ(links_.sent, (Texts{"SetState:alice:3", "SetState:alice:0", "SetState:alice:2",
                                  "SetState:alice:0"}));
    session_.Disconnect();
    session_.SetOwnState(kStateOnline);
    EXPECT_EQ(session_.ChangeState(kStateAway), -1);
    EXPECT_EQ(session_.OwnState(), kStateAway);  // changed before the refused send
}

TEST_F(SessionTest, FramesAreReassembledDamagedOnesSkippedAndGarbageDropsTheLink) {
    LogInAs("alice");
    std::string bytes;
    AppendCommandFrame(bytes, "AskAddressBook");
    AppendFrame(bytes, "not zlib");
    AppendCommandFrame(bytes, "AskAddressBook");
    for (char byte : bytes) {
        links_.DeliverBytes(std::string_view(&byte, 1));
    }
    EXPECT_EQ(links_.sent, (Texts{"AddressBook", "AddressBook"}));
    links_.DeliverBytes("x:garbage");
    EXPECT_FALSE(session_.IsConnected());
    EXPECT_EQ(session_.OwnState(), kStateOffline);
}

TEST_F(SessionTest, SettingsDialogOkWritesTheOldSoundFlagUntilTheProgramEnds) {
    session_.ApplySettingsDialog(Compressed("bob"), Compressed("pw"), "10.0.0.9", 7778, false);
    EXPECT_EQ(links_.address, "10.0.0.9:7778");
    EXPECT_EQ(session_.PlainLogin(), "bob");
    ClientSettings stored;
    store_.Load(stored);
    EXPECT_TRUE(stored.sound);
    EXPECT_EQ(stored.port, 7778);
    session_.Shutdown();
    store_.Load(stored);
    EXPECT_FALSE(stored.sound);
    EXPECT_EQ(ui_.states.back(), kStateExit);
}

TEST_F(SessionTest, OverLongCredentialsAreRefusedBeforeAnythingChanges) {
    LogInAs("me");
    const int links_before = links_.created;
    const std::string big_blob(5000, 'x');  // two such blobs cannot travel in one frame
    const std::pair<std::optional<std::string>, std::optional<std::string>> refused[] = {
        {std::nullopt, Compressed("pw")},
        {Compressed("bob"), std::nullopt},
        {big_blob, big_blob},
    };
    for (const auto& [login, password] : refused) {
        EXPECT_FALSE(session_.TestLogIn(login, password));
        EXPECT_FALSE(session_.ApplySettingsDialog(login, password, "10.0.0.9", 1, false));
    }
    session_.LogIn(big_blob, big_blob);
    EXPECT_EQ(ui_.boxes, Texts(7, std::string(texts::kTooLong)));
    EXPECT_EQ(ui_.captions.back(), texts::kInformationError);
    // The session is as it was: same connection, account, server and sound.
    EXPECT_EQ(links_.created, links_before);
    EXPECT_TRUE(session_.IsConnected());
    EXPECT_FALSE(session_.TestFlag());
    EXPECT_EQ(session_.PlainLogin(), "me");
    EXPECT_EQ(session_.Settings().server_address, "127.0.0.1");
    EXPECT_TRUE(session_.Settings().sound);
    EXPECT_FALSE(QFile::exists(store_.Path()));
    EXPECT_TRUE(links_.sent.empty());
}

TEST_F(SessionTest, ConfirmConnectedShowsTheNotConnectedBoxOnlyWithoutAConnection) {
    EXPECT_FALSE(session_.ConfirmConnected());
    EXPECT_EQ(ui_.boxes, Texts{std::string(texts::kNotConnected)});
    EXPECT_EQ(ui_.captions, Texts{std::string(texts::kImpossible)});
    LogInAs("me");
    EXPECT_TRUE(session_.ConfirmConnected());
    EXPECT_TRUE(ui_.boxes.empty());
}

}  // namespace
}  // namespace parlo::client::testing
