// Notices, urgency and the unread mark of incoming messages; the automatic
// "inactif"; their settings.
#include <QSettings>

#include "tests/support/client_fakes.h"
#include "tests/support/qt_wait.h"

namespace parlo::client::testing {
namespace {

class AttentionTest : public SessionTest {
  protected:
    void SetUp() override {
        LogInAs("me", "AddressBook:bob:carl");
        links_.Deliver({"SetState!bob:0!carl:0"});
    }
    ViewRecord& ViewNumber(size_t i) { return ViewOf(*session_.Conversations().at(i)); }
};

TEST_F(AttentionTest, MessagesBehindOtherWindowsAreNoticedUntilTheirWindowIsActivated) {
    links_.Deliver({"Message:5:bob:2:me:bob:salut", "Message:4:bob:2:me:bob:ça?",
                    "Message:6:carl:2:me:carl:coucou"});
    EXPECT_EQ(ui_.notices, (Texts{"1 bob: salut", "1 bob: ça?", "2 carl: coucou"}));
    EXPECT_EQ(ui_.unread_marks, (std::vector<bool>{true}));
    EXPECT_EQ(ViewNumber(0).alerts, 2);

    // The tray shows the oldest unread conversation; activating it reads it.
    ASSERT_TRUE(session_.ShowUnreadConversation());
    EXPECT_EQ(ViewNumber(0).raised, 1);
    session_.ConversationActivated(1);
    EXPECT_EQ(ui_.closed_notices, (std::vector<ConversationId>{1}));
    ViewNumber(0).active = true;
    links_.Deliver({"Message:2:bob:2:me:bob:lu"});
    EXPECT_EQ(ui_.notices.size(), 3u);  // the active window needs none
    EXPECT_EQ(ViewNumber(0).alerts, 2);

    // Leaving the last unread conversation withdraws its notice and the mark.
    session_.LeaveConversation(2);
    EXPECT_EQ(ui_.closed_notices, (std::vector<ConversationId>{1, 2}));
    EXPECT_EQ(ui_.unread_marks, (std::vector<bool>{true, false}));
    EXPECT_FALSE(session_.ShowUnreadConversation());
}

TEST_F(AttentionTest, NoticesCanBeTurnedOffAndBroadcastsHaveTheirOwn) {
    links_.Deliver({"Broadcast:Coupure à 18h"});
    EXPECT_EQ(ui_.notices, (Texts{"0 Message de l'administrateur: Coupure à 18h"}));
    ASSERT_TRUE(session_.ApplySettingsDialog(Compressed("me"), Compressed("pw"), "127.0.0.1", 7777,
                                             true, AttentionSettings{.notify = false}));
    links_.Deliver({"Login:OK", "Message:5:bob:2:me:bob:salut", "Broadcast:encore"});
    EXPECT_EQ(ui_.notices.size(), 1u);
    EXPECT_EQ(ui_.unread_marks, (std::vector<bool>{true}));  // the mark stays
}

TEST(NoticeBodyTest, LongTextsAreCutOnWholeCharacters) {
    EXPECT_EQ(NoticeBody("court"), "court");
    const std::string long_text = std::string(199, 'a') + "éé";
    EXPECT_EQ(NoticeBody(long_text), std::string(199, 'a') + "é…");
    EXPECT_EQ(NoticeBody(std::string(199, 'a') + "é"), std::string(199, 'a') + "é");
}

TEST_F(SessionTest, AttentionSettingsAreStoredAndOutOfRangeMinutesClamped) {
    ASSERT_TRUE(session_.SetCredentials(Compressed("me"), Compressed("pw")));
    ASSERT_TRUE(session_.ApplySettingsDialog(
        Compressed("me"), Compressed("pw"), "127.0.0.1", 7777, true,
        AttentionSettings{.notify = false, .auto_inactive = true, .inactive_minutes = 12}));
    ClientSettings loaded;
    store_.Load(loaded);
    EXPECT_EQ(loaded.attention,
              (AttentionSettings{.notify = false, .auto_inactive = true, .inactive_minutes = 12}));
    QSettings(store_.Path(), QSettings::IniFormat).setValue("Options/InactiveMinutes", 100000);
    store_.Load(loaded);
    EXPECT_EQ(loaded.attention.inactive_minutes, AttentionSettings::kMaxInactiveMinutes);
}

TEST_F(SessionTest, IdleTimeMakesAnOnlineUserInactiveAndNothingElse) {
    ui_.idle_ms = 301'000;
    session_.Initialize();  // the watch starts; offline: nothing happens
    session_.SetCredentials(Compressed("me"), Compressed("pw"));
    ASSERT_TRUE(session_.ApplySettingsDialog(
        Compressed("me"), Compressed("pw"), "127.0.0.1", 7777, true,
        AttentionSettings{.auto_inactive = true, .inactive_minutes = 5}));
    EXPECT_EQ(session_.OwnState(), kStateConnecting);
    parlo::testing::Settle(IdleAway::kPollMs + 200);
    EXPECT_EQ(session_.OwnState(), kStateConnecting);

    links_.Deliver({"Login:OK"});
    EXPECT_TRUE(parlo::testing::WaitUntil([&] { return session_.OwnState() == kStateInactive; }));
    EXPECT_EQ(links_.sent.back(), "SetState:me:2");
    ui_.idle_ms = 2'000;
    EXPECT_TRUE(parlo::testing::WaitUntil([&] { return session_.OwnState() == kStateOnline; }));
    session_.MenuStateAway();
    ui_.idle_ms = 301'000;
    parlo::testing::Settle(IdleAway::kPollMs + 200);
    EXPECT_EQ(session_.OwnState(), kStateAway);
    EXPECT_EQ(session_.Idle().Available(), true);
}

}  // namespace
}  // namespace parlo::client::testing
