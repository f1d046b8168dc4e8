#include <QFile>

#include "tests/client_core/session_fixture.h"

namespace parlo::client::testing {
namespace {

using Sent = std::vector<std::string>;

TEST_F(SessionTest, StartUpWithoutCompleteCredentialsOpensTheSettingsDialog) {
    session_.Initialize();
    EXPECT_EQ(ui_.states, std::vector<int>{4});
    session_.StartUp();
    EXPECT_EQ(ui_.settings_dialogs, 1);
    EXPECT_EQ(links_.created, 0);

    session_.SetCredentials(Compressed("alice"), Compressed("pw"));
    session_.StartUp();  // still no port
    EXPECT_EQ(ui_.settings_dialogs, 2);
}

TEST_F(SessionTest, LogInSendsConnectWithComputerNameAndBothBlobs) {
    qputenv("COMPUTERNAME", "desk:1!");
    const std::string login = Compressed("alice");
    const std::string password = Compressed("pw");
    session_.SetServer("10.0.0.5", 7777);
    session_.SetCredentials(login, password);
    session_.StartUp();
    qunsetenv("COMPUTERNAME");

    EXPECT_EQ(links_.last_address, "10.0.0.5");
    EXPECT_EQ(links_.last_port, 7777);
    EXPECT_EQ(session_.OwnState(), kStateConnecting);
    ASSERT_EQ(links_.sent.size(), 1u);
    EXPECT_EQ(links_.sent[0], "Connect:desk-1-:" + std::to_string(login.size()) + ":" +
                                  std::to_string(password.size()) + ":" + login + password);
}

TEST_F(SessionTest, LoginAnswerOkGoesOnlineAndAsksForTheAddressBook) {
    session_.SetServer("127.0.0.1", 7777);
    session_.TestLogIn(Compressed("alice"), Compressed("pw"));
    links_.sent.clear();
    links_.Deliver({"Login:ok"});
    EXPECT_EQ(session_.OwnState(), kStateOnline);
    EXPECT_EQ(links_.sent, Sent{"AddressBook"});
    ASSERT_EQ(ui_.boxes.size(), 1u);  // the test flag confirms the login
    EXPECT_EQ(ui_.boxes[0].text, texts::kLoginOk);
    EXPECT_EQ(ui_.boxes[0].caption, texts::kUserManagement);
}

TEST_F(SessionTest, LoginRefusalShowsTheServerTextAndStaysConnecting) {
    session_.SetServer("127.0.0.1", 7777);
    session_.LogIn(Compressed("alice"), Compressed("bad"));
    links_.Deliver({"Login:Identifiant ou mot de passe non valide.", "Login:OKAY"});
    EXPECT_EQ(session_.OwnState(), kStateConnecting);
    EXPECT_EQ(ui_.BoxTexts(), (Sent{"Identifiant ou mot de passe non valide.", "OKAY"}));
}

TEST_F(SessionTest, FailedConnectionEndsOfflineAndLaterSendsSayNotConnected) {
    links_.connect_succeeds = false;
    session_.SetServer("127.0.0.1", 7777);
    session_.LogIn(Compressed("alice"), Compressed("pw"));
    EXPECT_EQ(ui_.states, (std::vector<int>{kStateConnecting, kStateOffline}));
    EXPECT_FALSE(session_.IsConnected());
    EXPECT_TRUE(ui_.boxes.empty());  // no message for the failed attempt

    session_.RequestAddressBook();
    ASSERT_EQ(ui_.boxes.size(), 1u);
    EXPECT_EQ(ui_.boxes[0].text, texts::kNotConnected);
    EXPECT_EQ(ui_.boxes[0].caption, texts::kImpossible);
    EXPECT_TRUE(links_.sent.empty());
}

TEST_F(SessionTest, ReconnectingClosesTheOldConnectionAndSendsContactsOffline) {
    LogInAs("alice", "AddressBook:bob:carl");
    links_.Deliver({"SetState!bob:0!carl:3"});
    session_.MenuConnect();
    EXPECT_EQ(links_.closed, 1);
    EXPECT_EQ(links_.created, 2);
    for (const Contact& contact : session_.Contacts().Entries()) {
        EXPECT_EQ(contact.state, kStateOffline);
    }
}

TEST_F(SessionTest, StateMenusSendOnlyRealChanges) {
    LogInAs("alice");
    session_.MenuStateAway();
    session_.MenuStateAway();
    EXPECT_EQ(links_.sent, Sent{"SetState:alice:3"});
    session_.MenuStateOnline();
    EXPECT_EQ(links_.sent.back(), "SetState:alice:0");
    EXPECT_EQ(session_.OwnState(), kStateOnline);

    session_.ChangeState(kStateInactive);
    session_.MouseMoved();
    EXPECT_EQ(links_.sent.back(), "SetState:alice:0");
    const size_t count = links_.sent.size();
    session_.MouseMoved();  // online: nothing to do
    EXPECT_EQ(links_.sent.size(), count);
}

TEST_F(SessionTest, GoingOfflineClosesTheConnectionWithoutACommand) {
    LogInAs("alice", "AddressBook:bob");
    links_.Deliver({"SetState!bob:0"});
    links_.sent.clear();
    session_.MenuStateOffline();
    EXPECT_TRUE(links_.sent.empty());
    EXPECT_FALSE(session_.IsConnected());
    EXPECT_EQ(session_.OwnState(), kStateOffline);
    EXPECT_EQ(session_.Contacts().Entries()[0].state, kStateOffline);
    // The "En ligne" item now logs in again.
    session_.MenuStateOnline();
    EXPECT_EQ(links_.created, 2);
}

TEST_F(SessionTest, StateChangeWithoutConnectionChangesLocallyAndSaysNotConnected) {
    session_.SetOwnState(kStateOnline);
    EXPECT_EQ(session_.ChangeState(kStateAway), -1);
    EXPECT_EQ(session_.OwnState(), kStateAway);
    EXPECT_EQ(ui_.BoxTexts(), Sent{std::string(texts::kNotConnected)});
}

TEST_F(SessionTest, ServerClosingTheConnectionEndsTheSession) {
    LogInAs("alice", "AddressBook:bob");
    links_.Deliver({"SetState!bob:0"});
    links_.CloseFromServer();
    EXPECT_FALSE(session_.IsConnected());
    EXPECT_EQ(session_.OwnState(), kStateOffline);
    EXPECT_EQ(session_.Contacts().Entries()[0].state, kStateOffline);
}

TEST_F(SessionTest, ScreenSaverDisconnectsAndTheNextPaintLogsInOnce) {
    LogInAs("alice");
    session_.ScreenSaverStarting();
    EXPECT_FALSE(session_.IsConnected());
    EXPECT_TRUE(session_.ReconnectOnPaint());
    session_.MainWindowPainting();
    session_.MainWindowPainting();
    EXPECT_EQ(links_.created, 2);
    EXPECT_TRUE(links_.LastSent().starts_with("Connect:"));
}

TEST_F(SessionTest, CommandsOverTheLimitAreRefusedWithABox) {
    LogInAs("alice");
    EXPECT_EQ(session_.SendFrame("Broadcast:" + std::string(8200, 'x')), -1);
    EXPECT_TRUE(links_.sent.empty());
    ASSERT_EQ(ui_.boxes.size(), 1u);
    EXPECT_EQ(ui_.boxes[0].caption, texts::kInformationError);
}

TEST_F(SessionTest, FramesSplitAcrossReadsAreReassembled) {
    LogInAs("alice");
    const std::string bytes = Frame("AskAddressBook") + Frame("AskAddressBook");
    links_.DeliverBytes(bytes.substr(0, 1));
    links_.DeliverBytes(bytes.substr(1, bytes.size() / 2));
    EXPECT_EQ(links_.sent, Sent{"AddressBook"});
    links_.DeliverBytes(bytes.substr(1 + bytes.size() / 2));
    EXPECT_EQ(links_.sent, (Sent{"AddressBook", "AddressBook"}));
}

TEST_F(SessionTest, DamagedPayloadIsSkippedAndGarbageDropsTheConnection) {
    LogInAs("alice");
    std::string bytes;
    AppendFrame(bytes, "not a zlib stream");
    links_.DeliverBytes(bytes + Frame("AskAddressBook"));
    EXPECT_EQ(links_.sent, Sent{"AddressBook"});
    links_.DeliverBytes("x:garbage");
    EXPECT_FALSE(session_.IsConnected());
    EXPECT_EQ(session_.OwnState(), kStateOffline);
}

TEST_F(SessionTest, SettingsDialogOkStoresOldSoundFlagAndLogsInToTheNewServer) {
    const std::string login = Compressed("bob");
    session_.ApplySettingsDialog(login, Compressed("pw"), "10.0.0.9", 7778, false);
    EXPECT_EQ(links_.last_address, "10.0.0.9");
    EXPECT_EQ(session_.PlainLogin(), "bob");
    EXPECT_FALSE(session_.Settings().sound);

    ClientSettings stored;
    store_.Load(stored);
    EXPECT_TRUE(stored.sound);  // written before the new choice applied
    EXPECT_EQ(stored.port, 7778);
    session_.Shutdown();
    store_.Load(stored);
    EXPECT_FALSE(stored.sound);
    EXPECT_EQ(ui_.states.back(), kStateExit);
}

}  // namespace
}  // namespace parlo::client::testing
