// What the painted contact list shows and where: groups, rows, toggles, the
// rule, the status line and its strip repaint as it reaches the screen, and
// what the mouse does on it.
#include <QAccessible>
#include <QDesktopServices>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QWindow>

#include "client/ui/shell/artwork.h"
#include "client/ui/shell/contact_list_view.h"
#include "tests/client_shell/shell_fixture.h"
#include "tests/support/image_checks.h"

namespace parlo::client::testing {
namespace {

using parlo::testing::Settle;
using parlo::testing::WaitUntil;

constexpr int kWidth = 294;
constexpr int kHeight = 362;

// Receives the URLs the desktop would hand to the mail program.
class MailCatcher : public QObject {
    Q_OBJECT

  public:
    MailCatcher() { QDesktopServices::setUrlHandler(QStringLiteral("mailto"), this, "Open"); }
    ~MailCatcher() override { QDesktopServices::unsetUrlHandler(QStringLiteral("mailto")); }
    Q_INVOKABLE void Open(const QUrl& url) { urls.push_back(url.toEncoded().toStdString()); }
    std::vector<std::string> urls;
};

// Every region a widget repaints, in order.
class PaintSpy : public QObject {
  public:
    explicit PaintSpy(QWidget& widget) { widget.installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            regions.push_back(static_cast<QPaintEvent*>(event)->region());
        }
        return false;
    }
    std::vector<QRegion> regions;
};

// `pixmap` drawn on the white background at (x, y)?
bool Shows(const QImage& image, const QPixmap& pixmap, int x, int y) {
    QImage expected(pixmap.size(), QImage::Format_RGB32);
    expected.fill(Qt::white);
    QPainter(&expected).drawPixmap(0, 0, pixmap);
    return image.copy(x, y, pixmap.width(), pixmap.height()) == expected;
}

using parlo::testing::HasInk;

void Mouse(QWidget& view, QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::NoButton) {
    QMouseEvent event(type, QPointF(at), QPointF(view.mapToGlobal(at)), button,
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::MouseButtons(button),
                      Qt::NoModifier);
    QApplication::sendEvent(&view, &event);
}
void Move(QWidget& view, int y) {
    Mouse(view, QEvent::MouseMove, {60, y});
}
void DoubleClick(QWidget& view, QPoint at) {
    Mouse(view, QEvent::MouseButtonDblClick, at, Qt::LeftButton);
}

class ContactView : public ShellTest {
  protected:
    ContactView() : view_(Session()) { view_.resize(kWidth, kHeight); }
    int HeaderHeight() const { return QFontMetrics(view_.Fonts().header).height(); }
    ContactListView view_;
};

TEST_F(ContactView, PaintsGroupsRowsTogglesAndLogoWhereTheLayoutPutsThem) {
    LogIn();
    // Verdana, or the font drawn to its metrics (fonts-arkpandora).
    for (const QFont& font : {view_.Fonts().title, view_.Fonts().names, view_.Fonts().status}) {
        const QString family = QFontInfo(font).family();
        EXPECT_TRUE(family == "Verdana" || family == "Veranda") << family.toStdString();
    }
    EXPECT_EQ(QFontMetrics(view_.Fonts().names).height(), 16);
    EXPECT_EQ(QFontMetrics(view_.Fonts().title).height(), 18);
    const int header = HeaderHeight();
    QImage image = Render(view_);
    // Own login with its state label, then "Connecté" with bruno, chloe
    // (away) and david.
    EXPECT_TRUE(HasInk(image, QRect(10, 10, 40, 18)));
    EXPECT_TRUE(Shows(image, TogglePixmap(true), 5, 58));
    EXPECT_TRUE(Shows(image, PresencePixmap(PresencePicture::kOnline), 20, 78));
    EXPECT_TRUE(Shows(image, PresencePixmap(PresencePicture::kAway), 20, 98));
    EXPECT_TRUE(Shows(image, PresencePixmap(PresencePicture::kOnline), 20, 118));
    EXPECT_TRUE(HasInk(image, QRect(46, 80, 40, 14)));  // "bruno"
    EXPECT_FALSE(HasInk(image, QRect(37, 78, 8, 60)));  // between icons and logins
    // "Déconnecté" below the header's height and three rows.
    const int offline_header = 78 + header + 3 * 20;
    EXPECT_EQ(view_.Layout().offline_header_y, offline_header);
    EXPECT_TRUE(Shows(image, TogglePixmap(true), 5, offline_header));
    EXPECT_TRUE(HasInk(image, QRect(25, offline_header, 40, header)));
    EXPECT_TRUE(Shows(image, PresencePixmap(PresencePicture::kOffline), 20, offline_header + 20));
    EXPECT_TRUE(Shows(image, PresencePixmap(PresencePicture::kOffline), 20, offline_header + 40));
    EXPECT_FALSE(HasInk(image, QRect(0, offline_header + 60, 190, 100)));
    EXPECT_TRUE(Shows(image, LogoPixmap(), kWidth - 96, kHeight - 96));

    // Collapsing "Connecté" moves "Déconnecté" up under it; its area holds
    // no contact any more.
    DoubleClick(view_, {10, 64});
    EXPECT_FALSE(Session().Settings().online_expanded);
    image = Render(view_);
    EXPECT_TRUE(Shows(image, TogglePixmap(false), 5, 58));
    EXPECT_EQ(view_.Layout().offline_header_y, 78 + header);
    EXPECT_TRUE(Shows(image, TogglePixmap(true), 5, 78 + header));
    EXPECT_FALSE(HasInk(image, QRect(20, 78, 100, header)));
    EXPECT_TRUE(Shows(image, PresencePixmap(PresencePicture::kOffline), 20, 78 + header + 20));
    Move(view_, 78 + header + 25);
    EXPECT_EQ(view_.StatusLine(), "Nom : Émile Fontaine\nEmail : emile@bureau.lan");

    // Collapsing "Déconnecté" too leaves only the two headers.
    DoubleClick(view_, {10, 78 + header + 8});
    EXPECT_FALSE(Session().Settings().offline_expanded);
    image = Render(view_);
    EXPECT_TRUE(Shows(image, TogglePixmap(false), 5, 78 + header));
    EXPECT_FALSE(HasInk(image, QRect(0, 78 + header + 18, 190, 150)));
    Move(view_, 78 + header + 25);
    EXPECT_EQ(view_.StatusLine(), "");

    // A contact coming online shows up in the expanded group with its picture.
    DoubleClick(view_, {10, 64});
    links_.Deliver({"SetState!emile:3"});
    image = Render(view_);
    EXPECT_TRUE(Shows(image, PresencePixmap(PresencePicture::kAway), 20, 78 + 3 * 20));
}

TEST_F(ContactView, TheRuleRunsFromYellowToRedAndNeedsTwentyFivePixels) {
    view_.resize(24, kHeight);
    EXPECT_FALSE(HasInk(Render(view_), QRect(0, 36, 24, 8)));
    view_.resize(25, kHeight);
    QImage image = Render(view_);
    EXPECT_EQ(image.pixel(10, 39), qRgb(255, 255, 0));
    EXPECT_EQ(image.pixel(12, 40), qRgb(255, 255, 0));
    EXPECT_EQ(image.pixel(13, 40), qRgb(255, 255, 255));
    EXPECT_FALSE(HasInk(image, QRect(0, 36, 25, 3)));
    EXPECT_FALSE(HasInk(image, QRect(0, 41, 25, 3)));

    view_.resize(kWidth, kHeight);
    image = Render(view_);
    const int segments = (kWidth - 22) / 3;
    for (int i = 0; i < segments; ++i) {
        ASSERT_EQ(image.pixel(10 + 3 * i + 1, 40), qRgb(255, (segments - i) * 255 / segments, 0))
            << i;
    }
    EXPECT_EQ(image.pixel(10 + 3 * segments, 40), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(9, 40), qRgb(255, 255, 255));
}

TEST_F(ContactView, MouseFindsContactsByRowAndActsOnThem) {
    LogIn();
    const int offline_top = view_.Layout().offline_top;
    Move(view_, 78 + 20 + 5);
    EXPECT_EQ(view_.StatusLine(),
              "Nom : Chloé Garnier\nEmail : chloe.garnier.de.la.direction.commerciale@bureau.lan");
    Move(view_, 78 + 40 + 19);
    EXPECT_EQ(view_.StatusLine(), "");  // david: a login only
    Move(view_, offline_top + 25);
    EXPECT_EQ(view_.StatusLine(), "Email : farida@bureau.lan");
    Move(view_, 78);  // the group's top line belongs to no row
    EXPECT_EQ(view_.StatusLine(), "");
    Move(view_, offline_top + 41);
    EXPECT_EQ(view_.StatusLine(), "");

    // Inactive: any movement, also over the menu bar, is activity.
    Session().SetOwnState(kStateInactive);
    Move(view_, 5);
    EXPECT_EQ(links_.sent, Texts{"SetState:amelie:0"});
    Session().SetOwnState(kStateInactive);
    Mouse(*shell_.Window().menuBar(), QEvent::MouseMove, {5, 5});
    EXPECT_EQ(Session().OwnState(), kStateOnline);
    links_.sent.clear();

    // Double-click: a conversation with a connected contact, an e-mail to
    // an offline one.
    MailCatcher mail;
    DoubleClick(view_, {120, 78 + 5});
    EXPECT_EQ(links_.sent, Texts{"Invite:bruno:amelie!"});
    EXPECT_EQ(Session().Conversations().size(), 1u);
    DoubleClick(view_, {120, offline_top + 5});
    EXPECT_EQ(mail.urls, std::vector<std::string>{"mailto:emile@bureau.lan"});
    EXPECT_EQ(links_.sent.size(), 1u);
    DoubleClick(view_, {120, 70});  // between header and rows: nothing
    EXPECT_EQ(links_.sent.size(), 1u);
    EXPECT_EQ(mail.urls.size(), 1u);
}

TEST_F(ContactView, ContactMenuGreysMessagesForOfflineContactsAndActsOnTheChosenOne) {
    LogIn();
    const int offline_top = view_.Layout().offline_top;
    auto texts = [](QMenu& menu) {
        std::vector<std::string> out;
        for (QAction* action : menu.actions()) {
            out.push_back(action->text().toStdString() + (action->isEnabled() ? "" : " (grisé)"));
        }
        return out;
    };
    // A real right-click on emile opens the menu at the cursor.
    Mouse(view_, QEvent::MouseButtonPress, {120, offline_top + 5}, Qt::RightButton);
    auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(popup, nullptr);
    const std::vector<std::string> shown = texts(*popup);
    popup->close();
    EXPECT_EQ(shown, (std::vector<std::string>{"Envoyer un &message instantanné (grisé)",
                                               "Envoyer un &courrier électronique", "&Supprimer",
                                               "&Historique"}));
    EXPECT_EQ(view_.MakeContactMenu(10), nullptr);

    MailCatcher mail;
    const std::unique_ptr<QMenu> menu = view_.MakeContactMenu(78 + 5);
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->actions()[0]->isEnabled());
    menu->actions()[0]->trigger();
    menu->actions()[1]->trigger();
    EXPECT_EQ(links_.sent, Texts{"Invite:bruno:amelie!"});
    EXPECT_EQ(mail.urls, std::vector<std::string>{"mailto:bruno@bureau.lan"});
    // The list is rebuilt while the menu is open: the entry still names bruno.
    links_.Deliver({"AddressBook:"});
    menu->actions()[2]->trigger();
    EXPECT_EQ(links_.sent.back(), "RemoveAddressBook:bruno");
}

TEST_F(ShellTest, StatusLineRepaintsOnlyItsStripAndTheScreenMatchesAFullPaint) {
    LogIn();
    MainWindow& window = shell_.Window();
    window.show();
    ASSERT_TRUE(WaitUntil([&] { return window.windowHandle()->isExposed(); }));
    Settle(50);
    ContactListView& view = window.View();
    ASSERT_EQ(view.size(), QSize(MainWindow::kClientWidth, MainWindow::kClientHeight));
    const QRect strip(0, view.height() - 50, view.width() - 70, 50);
    // What the screen shows of the view: the window's pixels there.
    auto on_screen = [&] {
        const QPoint at = view.mapTo(&window, QPoint(0, 0));
        return window.screen()
            ->grabWindow(window.winId(), at.x(), at.y(), view.width(), view.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    };
    ASSERT_EQ(on_screen(), Render(view));

    PaintSpy spy(view);
    const int offline_top = view.Layout().offline_top;
    // Long, short, none, again, the e-mail only: each change paints the strip
    // over what the previous one left.
    for (const int y : {78 + 25, 78 + 5, 78 + 45, 78 + 25, offline_top + 25, offline_top + 5}) {
        spy.regions.clear();
        const std::string before = view.StatusLine();
        Move(view, y);
        Settle(30);
        if (view.StatusLine() != before) {
            EXPECT_FALSE(spy.regions.empty()) << y;
        }
        for (const QRegion& region : spy.regions) {
            EXPECT_TRUE(QRegion(strip).united(region) == QRegion(strip)) << y;
        }
        EXPECT_EQ(on_screen(), Render(view)) << y;
    }
    Move(view, 78 + 25);
    Settle(30);
    EXPECT_TRUE(HasInk(on_screen(), strip));

    // Resizing repaints the whole window: the logo follows the corner.
    window.resize(window.width() + 80, window.height() + 60);
    ASSERT_TRUE(WaitUntil([&] { return view.width() == MainWindow::kClientWidth + 80; }));
    Settle(50);
    const QImage resized = on_screen();
    EXPECT_EQ(resized, Render(view));
    EXPECT_TRUE(Shows(resized, LogoPixmap(), view.width() - 96, view.height() - 96));
}

// Thirty contacts in a window of the first size: the list scrolls, and the
// mouse, the keyboard and screen readers find what is painted where.
TEST_F(ShellTest, ALongListScrollsAndTheMouseKeyboardAndScreenReadersFollowIt) {
    ASSERT_TRUE(Session().SetCredentials(Compressed("amelie"), Compressed("pw")));
    Session().LogInStored();
    std::string book = "AddressBook";
    std::string states = "SetState";
    for (int i = 0; i < 30; ++i) {
        const std::string login = QStringLiteral("c%1").arg(i, 2, 10, QChar('0')).toStdString();
        book += ":" + login + "!" + login + "!Nom!";
        states += "!" + login + (i < 22 ? ":0" : ":1");
    }
    links_.Deliver({"Login:OK", book, states});
    links_.sent.clear();
    MainWindow& window = shell_.Window();
    window.show();
    ContactListView& view = window.View();
    ASSERT_TRUE(WaitUntil([&] { return window.windowHandle()->isExposed(); }));
    QScrollBar& bar = view.ScrollBar();
    ASSERT_TRUE(bar.isVisible());
    EXPECT_EQ(bar.maximum(), view.Layout().content_height - view.height());

    // Half-way: rows are painted and hit where the layout puts them; the
    // status line stays at the bottom.
    bar.setValue(bar.maximum() / 2);
    const ContactListLayout layout = view.Layout();
    EXPECT_EQ(layout.scroll, bar.maximum() / 2);
    const int row = 12;
    const int y = layout.OnlineRowY(row);
    ASSERT_GT(y, 0);
    ASSERT_LT(y + 20, view.height() - 50);
    const QImage image = Render(view);
    EXPECT_TRUE(Shows(image, PresencePixmap(PresencePicture::kOnline), 20, y));
    Move(view, y + 5);
    EXPECT_EQ(view.StatusLine(), "Nom : c12 Nom");
    Move(view, y - 15);
    EXPECT_EQ(view.StatusLine(), "Nom : c11 Nom");

    // The keyboard: Down from nowhere is "Connecté", End the last row,
    // scrolled into view above the status line.
    view.setFocus();
    QTest::keyClick(&view, Qt::Key_Down);
    EXPECT_EQ(view.CurrentItem(), std::optional<size_t>(0));
    EXPECT_EQ(bar.value(), 0);
    QTest::keyClick(&view, Qt::Key_End);
    const std::vector<ContactListItem> items = view.Items();
    ASSERT_EQ(items.size(), 32u);
    EXPECT_EQ(view.CurrentItem(), std::optional<size_t>(31));
    EXPECT_EQ(bar.value(), bar.maximum());
    EXPECT_LE(items[31].rect.bottom, view.height() - 50);
    EXPECT_EQ(view.StatusLine(), "Nom : c29 Nom");
    // Enter on an offline contact writes an e-mail, on a connected one talks.
    MailCatcher mail;
    QTest::keyClick(&view, Qt::Key_Return);
    EXPECT_EQ(mail.urls.size(), 1u);
    for (int i = 0; i < 11; ++i) {
        QTest::keyClick(&view, Qt::Key_Up);
    }
    EXPECT_EQ(view.Items()[*view.CurrentItem()].contact->login, "c19");
    QTest::keyClick(&view, Qt::Key_Enter);
    EXPECT_EQ(links_.sent, Texts{"Invite:c19:amelie!"});
    // The menu key opens the contact's menu below its row.
    QTest::keyClick(&view, Qt::Key_F10, Qt::ShiftModifier);
    QMenu* menu = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        menu = QApplication::activePopupWidget()
                   ? qobject_cast<QMenu*>(QApplication::activePopupWidget())
                   : nullptr;
        return menu != nullptr;
    }));
    EXPECT_EQ(menu->objectName(), "contactMenu");
    menu->close();
    // Space, Left and Right fold and unfold a header; the keyboard stays on it.
    QTest::keyClick(&view, Qt::Key_Home);
    QTest::keyClick(&view, Qt::Key_Space);
    EXPECT_FALSE(Session().Settings().online_expanded);
    QTest::keyClick(&view, Qt::Key_Right);
    EXPECT_TRUE(Session().Settings().online_expanded);
    QTest::keyClick(&view, Qt::Key_Left);
    EXPECT_FALSE(Session().Settings().online_expanded);
    EXPECT_EQ(view.Items().size(), 10u);
    EXPECT_FALSE(bar.isVisible());

    // Screen readers: one child per header and row, named and placed as
    // painted, the keyboard's one focused.
    QTest::keyClick(&view, Qt::Key_Down);
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&view);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->childCount(), 10);
    EXPECT_EQ(list->child(0)->text(QAccessible::Name), "Connecté");
    EXPECT_TRUE(list->child(0)->state().collapsed);
    EXPECT_EQ(list->child(1)->text(QAccessible::Name), "Déconnecté");
    EXPECT_EQ(list->child(2)->text(QAccessible::Name), "c22, déconnecté(e)");
    EXPECT_EQ(list->child(2)->rect().topLeft(),
              view.mapToGlobal(QPoint(0, view.Layout().OfflineRowY(0))));
    EXPECT_EQ(list->focusChild(), list->child(1));
    EXPECT_EQ(list->indexOfChild(list->child(2)), 2);
    links_.Deliver({"SetState!c22:3"});  // into the folded group
    EXPECT_EQ(list->child(2)->text(QAccessible::Name), "c23, déconnecté(e)");
}

// The pictures are drawn for the screen's pixel ratio, not scaled up.
TEST(Artwork, PicturesAtTwiceTheRatioHoldTheirOwnDetail) {
    const QPixmap one = PresencePixmap(PresencePicture::kOnline);
    for (const qreal ratio : {1.5, 2.0}) {
        const QPixmap sharp = PresencePixmap(PresencePicture::kOnline, ratio);
        EXPECT_EQ(sharp.devicePixelRatio(), ratio);
        EXPECT_EQ(sharp.deviceIndependentSize(), QSizeF(16, 16));
    }
    const QImage two = PresencePixmap(PresencePicture::kOnline, 2.0).toImage();
    const QImage blurry =
        one.toImage().scaled(32, 32, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_NE(two.convertToFormat(QImage::Format_ARGB32),
              blurry.convertToFormat(QImage::Format_ARGB32));
    EXPECT_EQ(LogoPixmap(2.0).size(), QSize(192, 192));
    EXPECT_EQ(TogglePixmap(true, 2.0).size(), QSize(32, 32));
    EXPECT_EQ(OwnIcon(OwnPicture::kOnline).pixmap(QSize(32, 32), 2.0).size(), QSize(64, 64));
}

}  // namespace
}  // namespace parlo::client::testing

#include "contact_view_test.moc"
