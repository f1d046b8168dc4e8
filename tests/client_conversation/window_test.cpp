// The conversation window on the offscreen platform, over the core's fake
// links: typing indicator, input limit, Enter and Escape, the two menus, the
// first paint and the controls' places.
#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <set>

#include "client/ui/conversation/conversation_input.h"
#include "client/ui/conversation/conversation_window.h"
#include "client/ui/conversation/emoticons.h"
#include "client/ui/conversation/transcript_view.h"
#include "tests/support/client_fakes.h"
#include "tests/support/qt_wait.h"

namespace parlo::client::testing {
namespace {

// The fake port's boxes and records, with real conversation windows.
class WindowUi final : public UiPort {
  public:
    void ShowMessageBox(const BoxRequest& box, BoxContinuation answered) override {
        fake.ShowMessageBox(box, std::move(answered));
    }
    std::unique_ptr<ConversationView> CreateConversationView(ConversationId id) override {
        const QWidgetList before = QApplication::topLevelWidgets();
        auto view = CreateConversationWindow(*session, id);
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (!before.contains(widget) && widget->objectName() == "conversation") {
                windows[id] = widget;
            }
        }
        return view;
    }
    void RepaintMainWindow() override {}
    void OwnStateChanged(int state) override { fake.OwnStateChanged(state); }
    void PlayReceiveSound() override {}
    void SendMail(std::string_view address) override { fake.SendMail(address); }
    void OpenSettingsDialog() override {}
    void ShowNotice(const Notice& notice) override { fake.ShowNotice(notice); }
    void CloseNotice(ConversationId key) override { fake.CloseNotice(key); }
    void ShowUnreadMark(bool) override {}
    void QueryIdleTime(IdleTimeContinuation answered) override { answered(std::nullopt); }

    FakeUi fake;
    Session* session = nullptr;
    std::map<ConversationId, QPointer<QWidget>> windows;
};

class ConversationWindowTest : public ::testing::Test {
  protected:
    ConversationWindowTest()
        : store_(dir_.filePath("Parlomatic.ini")), session_(ui_, links_, store_) {
        ui_.session = &session_;
        session_.SetServer("127.0.0.1", 7777);
        EXPECT_TRUE(session_.SetCredentials(Compressed("me"), Compressed("pw")));
        session_.LogInStored();
        // In login order: bob, carl, dora, eve, fred, gina.
        links_.Deliver({"Login:OK", "AddressBook:bob:carl:dora:eve:fred:gina",
                        "SetState!bob:0!carl:0!dora:1!eve:2!fred:3!gina:0"});
        links_.sent.clear();
    }
    ~ConversationWindowTest() override {
        while (!session_.Conversations().empty()) {
            session_.LeaveConversation(session_.Conversations().front()->Id());
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // The window of "me" and bob, opened as a message from bob opens it.
    QWidget& OpenWithBob() {
        links_.Deliver({"Message:5:bob:2:me:bob:salut"});
        id_ = session_.FindConversation(Texts{"me", "bob"})->Id();
        links_.sent.clear();
        return *ui_.windows.at(id_);
    }
    template <typename T>
    T& Child(QWidget& window, const char* name) {
        T* child = window.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return *child;
    }
    static void Type(QWidget& widget, const QString& text) {
        for (const QChar c : text) {
            QTest::sendKeyEvent(QTest::Click, &widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }

    QTemporaryDir dir_;
    WindowUi ui_;
    FakeLinks links_;
    SettingsStore store_;
    Session session_;
    ConversationId id_ = 0;
};

TEST_F(ConversationWindowTest, TypingSendsWritingOnlyWhenTheInputEmptiesOrStopsBeingEmpty) {
    QWidget& window = OpenWithBob();
    auto& input = Child<QPlainTextEdit>(window, "input");
    Type(input, "ab");
    EXPECT_EQ(links_.sent, Texts{"Writing:me:1:me!bob!"});
    QTest::keyClick(&input, Qt::Key_Backspace);
    EXPECT_EQ(links_.sent.size(), 1u);
    QTest::keyClick(&input, Qt::Key_Backspace);
    EXPECT_EQ(links_.sent, (Texts{"Writing:me:1:me!bob!", "Writing:me:0:me!bob!"}));

    // Sending empties the input, which ends the typing.
    links_.sent.clear();
    Type(input, "ça va ?");
    QTest::keyClick(&input, Qt::Key_Return);
    EXPECT_EQ(links_.sent, (Texts{"Writing:me:1:me!bob!", "Message:8:me:2:me:bob:ça va ?",
                                  "Writing:me:0:me!bob!"}));
    EXPECT_TRUE(input.toPlainText().isEmpty());
    EXPECT_EQ(Child<TranscriptView>(window, "transcript").Text(),
              "bob dit :\nsalut\nme dit :\nça va ?\n");

    // The caption and the typing line are the session's.
    links_.Deliver({"Writing:bob:1:me!bob!"});
    EXPECT_EQ(window.windowTitle(), "bob est connecté(e)");
    EXPECT_EQ(Child<QLabel>(window, "typing").text(), "bob écrit");
    links_.Deliver({"Writing:bob:0:me!bob!"});
    EXPECT_EQ(Child<QLabel>(window, "typing").text(), "");
}

TEST(InputLimitTest, CutsBeforeASplitCharacter) {
    const std::string two = "\xC3\xA9";           // é
    const std::string four = "\xF0\x9F\x98\x80";  // 😀
    EXPECT_EQ(CutOnCharacterBoundary("abc", 3), 3u);
    EXPECT_EQ(CutOnCharacterBoundary("abcd", 3), 3u);
    EXPECT_EQ(CutOnCharacterBoundary("ab" + two, 3), 2u);
    EXPECT_EQ(CutOnCharacterBoundary("ab" + two, 4), 4u);
    EXPECT_EQ(CutOnCharacterBoundary("a" + four + "b", 4), 1u);
    EXPECT_EQ(CutOnCharacterBoundary("a" + four + "b", 5), 5u);
    EXPECT_EQ(CutOnCharacterBoundary(four, 0), 0u);
    EXPECT_EQ(CutOnCharacterBoundary("\x80\x80\x80", 2), 0u);  // broken input stays in bounds
}

TEST_F(ConversationWindowTest, InputBeyondTheLimitIsCutOnACharacterKeepingTheSelection) {
    QWidget& window = OpenWithBob();
    auto& input = Child<QPlainTextEdit>(window, "input");

    // Pasting 9000 bytes leaves the first 8172.
    input.setPlainText(QString(9000, 'a'));
    EXPECT_EQ(input.toPlainText().toUtf8().size(), 8172);
    EXPECT_EQ(links_.sent, Texts{"Writing:me:1:me!bob!"});

    // "é" would end at byte 8173: it goes whole, the selection stays.
    input.setPlainText(QString(8100, 'b'));
    QTextCursor selection = input.textCursor();
    selection.setPosition(10);
    selection.setPosition(20, QTextCursor::KeepAnchor);
    input.setTextCursor(selection);
    QTextCursor end(input.document());
    end.movePosition(QTextCursor::End);
    end.insertText(QString(71, 'c') + QString::fromUtf8("é"));
    EXPECT_EQ(input.toPlainText(), QString(8100, 'b') + QString(71, 'c'));
    EXPECT_EQ(input.textCursor().anchor(), 10);
    EXPECT_EQ(input.textCursor().position(), 20);

    // A three-byte character over the limit, typed over a selection: the
    // caret, after the typed text, comes back to where the text now ends.
    input.setPlainText(QString(8170, 'd'));
    input.selectAll();
    input.insertPlainText(QString(8170, 'd') + QString::fromUtf8("€€"));
    EXPECT_EQ(input.toPlainText().toUtf8().size(), 8170);
    EXPECT_EQ(input.textCursor().position(), 8170);
    EXPECT_EQ(links_.sent.size(), 1u);  // typing went on throughout
}

TEST_F(ConversationWindowTest, EnterSendsAndNeverClosesWhileEscapeLeaves) {
    QWidget& window = OpenWithBob();
    window.show();
    auto& input = Child<QPlainTextEdit>(window, "input");
    QTest::keyClick(&input, Qt::Key_Return);  // empty: nothing
    EXPECT_TRUE(links_.sent.empty());
    Type(input, "un");
    QTest::keyClick(&input, Qt::Key_Enter);
    Type(input, "deux");
    // Enter on a focused "Inviter" is "Inviter", not "Envoyer".
    auto& invite = Child<QPushButton>(window, "invite");
    invite.setFocus();
    QTest::keyClick(&invite, Qt::Key_Return);
    auto& invite_menu = Child<QMenu>(window, "inviteMenu");
    EXPECT_TRUE(invite_menu.isVisible());
    invite_menu.hide();
    EXPECT_EQ(links_.sent.size(), 4u);
    QTest::keyClick(&input, Qt::Key_Return);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(links_.sent[1], "Message:2:me:2:me:bob:un");
    EXPECT_EQ(links_.sent[4], "Message:4:me:2:me:bob:deux");
    EXPECT_FALSE(session_.Conversations().empty());

    links_.sent.clear();
    QTest::keyClick(&input, Qt::Key_Escape);
    EXPECT_EQ(links_.sent, Texts{"Leave:me:me!bob"});
    EXPECT_TRUE(session_.Conversations().empty());
    EXPECT_FALSE(window.isVisible());
    const QPointer<QWidget> gone(&window);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(gone.isNull());
}

TEST_F(ConversationWindowTest, TheCloseBoxLeavesOnce) {
    QWidget* window = &OpenWithBob();
    window->show();
    EXPECT_TRUE(window->close());
    EXPECT_EQ(links_.sent, Texts{"Leave:me:me!bob"});
    EXPECT_TRUE(session_.Conversations().empty());
    window->close();
    EXPECT_EQ(links_.sent.size(), 1u);
}

TEST_F(ConversationWindowTest, WithoutAConnectionTheMessageStillEntersTheTranscript) {
    QWidget& window = OpenWithBob();
    links_.CloseFromServer();
    ui_.fake.boxes.clear();
    auto& input = Child<QPlainTextEdit>(window, "input");
    Type(input, "allô");
    ui_.fake.boxes.clear();
    QTest::keyClick(&input, Qt::Key_Return);
    EXPECT_FALSE(ui_.fake.boxes.empty());  // the session's not-connected box
    EXPECT_TRUE(input.toPlainText().isEmpty());
    EXPECT_EQ(Child<TranscriptView>(window, "transcript").Text(),
              "bob dit :\nsalut\nme dit :\nallô\n");
}

TEST_F(ConversationWindowTest, AWindowTheSessionDroppedCallsNothingBeforeItGoes) {
    QWidget& window = OpenWithBob();
    window.show();
    auto& input = Child<QPlainTextEdit>(window, "input");
    session_.LeaveConversation(id_);
    EXPECT_FALSE(window.isVisible());
    links_.sent.clear();
    Type(input, "encore");
    QTest::keyClick(&input, Qt::Key_Return);
    Child<QPushButton>(window, "invite").click();
    QTest::keyClick(&input, Qt::Key_Escape);
    EXPECT_TRUE(links_.sent.empty());
}

TEST_F(ConversationWindowTest, InviteMenuOffersReachableNewContactsNumberedInListOrder) {
    session_.CreateConversation(Texts{"me", "bob", "carl"});  // carl: that set exists
    QWidget& window = OpenWithBob();
    window.show();
    auto& menu = Child<QMenu>(window, "inviteMenu");
    Child<QPushButton>(window, "invite").click();
    ASSERT_TRUE(menu.isVisible());
    // Not dora (offline), fred (absent), bob (a participant) nor carl.
    const QList<QAction*> items = menu.actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->text(), "eve");
    EXPECT_EQ(items[1]->text(), "gina");
    EXPECT_EQ(items[0]->data().toInt(), 0);
    EXPECT_EQ(items[1]->data().toInt(), 1);
    items[1]->trigger();
    EXPECT_EQ(links_.sent, Texts{"Invite:gina:me!bob"});
    menu.hide();

    // An item stands for a position among the contacts offered when it is
    // chosen: eve went offline, so the first item is now gina.
    Child<QPushButton>(window, "invite").click();
    links_.Deliver({"SetState!eve:1"});
    links_.sent.clear();
    menu.actions()[0]->trigger();
    EXPECT_EQ(links_.sent, Texts{"Invite:gina:me!bob"});
    menu.hide();

    // Nobody left to offer: no menu.
    links_.Deliver({"SetState!gina:3"});
    Child<QPushButton>(window, "invite").click();
    EXPECT_FALSE(menu.isVisible());
}

TEST_F(ConversationWindowTest, EmoticonItemsGoInAtTheCaretAndUndoTakesThemBack) {
    QWidget& window = OpenWithBob();
    window.show();
    auto& input = Child<QPlainTextEdit>(window, "input");
    auto& menu = Child<QMenu>(window, "emoticonMenu");
    auto& button = Child<QToolButton>(window, "emoticons");
    button.click();
    EXPECT_TRUE(menu.isVisible());
    const QList<QAction*> items = menu.actions();
    ASSERT_EQ(items.size(), 16);
    Type(input, "salut ");
    QTextCursor start = input.textCursor();
    start.setPosition(0);
    input.setTextCursor(start);
    items[2]->trigger();  // the third item: the wink
    EXPECT_EQ(input.toPlainText(), ";)salut ");
    EXPECT_EQ(input.textCursor().position(), 2);
    EXPECT_FALSE(input.textCursor().hasSelection());
    input.moveCursor(QTextCursor::End);
    items[15]->trigger();
    EXPECT_EQ(input.toPlainText(), ";)salut (L)");
    input.undo();
    EXPECT_EQ(input.toPlainText(), ";)salut ");
    input.undo();
    EXPECT_EQ(input.toPlainText(), "salut ");
    EXPECT_EQ(links_.sent, Texts{"Writing:me:1:me!bob!"});
    menu.hide();

    // Every item shows its picture and names its code; screen readers read
    // the button's name and each picture's.
    std::set<QString> codes;
    std::set<QString> names;
    QAccessibleInterface* menu_reader = QAccessible::queryAccessibleInterface(&menu);
    ASSERT_EQ(menu_reader->childCount(), 16);
    for (int i = 0; i < 16; ++i) {
        EXPECT_FALSE(items[i]->icon().isNull());
        codes.insert(items[i]->toolTip());
        names.insert(menu_reader->child(i)->text(QAccessible::Name));
    }
    EXPECT_EQ(codes.size(), 16u);
    EXPECT_EQ(names.size(), 16u);
    EXPECT_FALSE(names.contains(QString()));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&button)->text(QAccessible::Name),
              "Émoticônes");
    EXPECT_EQ(EmoticonIcon(142).pixmap(QSize(21, 21), 2.0).size(), QSize(42, 42));
}

TEST_F(ConversationWindowTest, AMessageOpensItsWindowWithoutTakingTheKeyboard) {
    QWidget& bob = OpenWithBob();
    bob.show();
    bob.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&bob));
    auto& input = Child<QPlainTextEdit>(bob, "input");
    ASSERT_EQ(QApplication::focusWidget(), &input);
    links_.Deliver({"Message:6:carl:2:me:carl:coucou"});
    const ConversationId carl = session_.FindConversation(Texts{"me", "carl"})->Id();
    QWidget& other = *ui_.windows.at(carl);
    EXPECT_TRUE(other.isVisible());
    EXPECT_TRUE(other.testAttribute(Qt::WA_ShowWithoutActivating));
    parlo::testing::Settle(100);
    // The offscreen platform activates every window it shows; desktops
    // honour the attribute.
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) {
        EXPECT_EQ(QApplication::activeWindow(), &bob);
        EXPECT_EQ(QApplication::focusWidget(), &input);
    }
    // Opened by the user, it comes forward.
    session_.OpenConversationWith("carl");
    EXPECT_TRUE(parlo::testing::WaitUntil([&] { return QApplication::activeWindow() == &other; }));

    // Screen readers read the transcript line by line.
    auto& transcript = Child<TranscriptView>(other, "transcript");
    transcript.AppendInfo("dora a rejoint la conversation");
    QAccessibleInterface* lines = QAccessible::queryAccessibleInterface(&transcript);
    ASSERT_EQ(lines->childCount(), 3);
    EXPECT_EQ(lines->child(0)->text(QAccessible::Name), "carl dit :");
    EXPECT_EQ(lines->child(1)->text(QAccessible::Name), "coucou");
    EXPECT_EQ(lines->child(2)->text(QAccessible::Name), "dora a rejoint la conversation");
    EXPECT_LT(lines->child(0)->rect().top(), lines->child(1)->rect().top());
    EXPECT_TRUE(
        transcript.rect().contains(transcript.mapFromGlobal(lines->child(2)->rect().center())));
}

TEST_F(ConversationWindowTest, FirstPaintPutsTheFocusInTheInputWithTheCaretAtTheStart) {
    QWidget& window = OpenWithBob();
    auto& input = Child<QPlainTextEdit>(window, "input");
    input.setPlainText("brouillon");
    input.moveCursor(QTextCursor::End);
    Child<QPushButton>(window, "send").setFocus();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(parlo::testing::WaitUntil([&] { return window.focusWidget() == &input; }));
    EXPECT_EQ(input.textCursor().position(), 0);

    // Later paints leave the focus alone.
    input.moveCursor(QTextCursor::End);
    Child<QPushButton>(window, "send").setFocus();
    window.repaint();
    EXPECT_EQ(window.focusWidget(), &Child<QPushButton>(window, "send"));
}

TEST_F(ConversationWindowTest, ControlsFitTheirTextsInsideTheFixedWindow) {
    QWidget& window = OpenWithBob();
    window.show();
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_GT(window.width(), window.height());
    const QRect inside = window.rect();
    for (const char* name : {"input", "send", "invite", "emoticons", "typing"}) {
        auto& control = Child<QWidget>(window, name);
        EXPECT_TRUE(inside.contains(control.geometry())) << name;
    }
    for (const char* name : {"send", "invite"}) {
        auto& button = Child<QPushButton>(window, name);
        EXPECT_GE(button.width(), button.fontMetrics().horizontalAdvance(button.text()) + 8)
            << name;
        EXPECT_GE(button.height(), button.fontMetrics().height()) << name;
    }
    auto& typing = Child<QLabel>(window, "typing");
    EXPECT_GE(typing.contentsRect().height(), typing.fontMetrics().height());
    EXPECT_TRUE(Child<QPushButton>(window, "send").isDefault());
    EXPECT_FALSE(Child<QPushButton>(window, "invite").autoDefault());
    // The transcript sits above the input, the typing line below the buttons.
    auto& transcript = Child<QWidget>(window, "transcript");
    const QRect transcript_area(transcript.mapTo(&window, QPoint(0, 0)), transcript.size());
    EXPECT_LT(transcript_area.bottom(), Child<QWidget>(window, "input").y());
    EXPECT_GT(typing.y(), Child<QWidget>(window, "send").geometry().bottom());
}

}  // namespace
}  // namespace parlo::client::testing
