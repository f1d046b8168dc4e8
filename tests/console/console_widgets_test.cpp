#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "server/console/admin_dialog.h"
#include "server/console/broadcast_dialog.h"
#include "server/console/console_window.h"
#include "server/console/log_view.h"
#include "server/console/prompts.h"
#include "server/core/administration.h"
#include "shared_ui/french_translation.h"
#include "tests/server_core/core_fixture.h"
#include "tests/support/qt_wait.h"

namespace parlo::server {
namespace {

using testing::CoreFixture;
using testing::FakeConnection;

class FakePrompts : public OperatorPrompts {
  public:
    bool Confirm(QWidget*, const QString& caption, const QString& text) override {
        asked.push_back(caption + QLatin1Char('|') + text);
        return answer;
    }
    void Warn(QWidget*, const QString& caption, const QString& text) override {
        warned.push_back(caption + QLatin1Char('|') + text);
    }
    bool answer = true;
    QStringList asked;
    QStringList warned;
};

void PressEnter(QWidget& widget) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(&widget, &press);
}

QStringList Column(const QTreeWidget& list, int column) {
    QStringList out;
    for (int i = 0; i < list.topLevelItemCount(); ++i) {
        out << list.topLevelItem(i)->text(column);
    }
    return out;
}

AccountFields Fields(std::string login, std::string first = "F", std::string last = "L") {
    return {std::move(login), "pw", std::move(first), std::move(last), "m@lan"};
}

class ConsoleWidgetsTest : public CoreFixture {
  protected:
    void Add(const AccountFields& fields) {
        ASSERT_EQ(AddAccount(core_, fields), AdminResult::kDone);
    }
    FakePrompts prompts_;
};

TEST_F(ConsoleWidgetsTest, AdministrationListIsOrderedByLoginAndSortsByHeading) {
    Add(Fields("bob", "Zed"));
    Add(Fields("alice", "amy"));
    Add(Fields("Alan", "Bea"));
    AdministrationDialog dialog(core_, prompts_);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Gestion utilisateurs"));
    EXPECT_EQ(Column(dialog.List(), 0), (QStringList{"Alan", "alice", "bob"}));

    // Byte order, letter case significant, greatest first; again on a second click.
    dialog.List().header()->sectionClicked(1);
    EXPECT_EQ(Column(dialog.List(), 1), (QStringList{"amy", "Zed", "Bea"}));
    dialog.List().header()->sectionClicked(1);
    EXPECT_EQ(Column(dialog.List(), 1), (QStringList{"amy", "Zed", "Bea"}));

    // A heading click only sorts: the selection and what was typed stay.
    dialog.List().topLevelItem(1)->setSelected(true);  // bob
    dialog.PasswordField().setText(QStringLiteral("typed"));
    dialog.EmailField().setText(QStringLiteral("new@lan"));
    dialog.List().header()->sectionClicked(0);
    EXPECT_EQ(Column(dialog.List(), 0), (QStringList{"bob", "alice", "Alan"}));
    const QList<QTreeWidgetItem*> selected = dialog.List().selectedItems();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.front()->text(0), QStringLiteral("bob"));
    EXPECT_EQ(dialog.LoginField().text(), QStringLiteral("bob"));
    EXPECT_EQ(dialog.PasswordField().text(), QStringLiteral("typed"));
    EXPECT_EQ(dialog.EmailField().text(), QStringLiteral("new@lan"));
    // ... and the buttons still act on that account.
    dialog.Modify();
    EXPECT_EQ(prompts_.asked, QStringList{"Modification|Voulez-vous vraiment modifier bob ?"});
    EXPECT_EQ(core_.Users().FindFirstByLogin("bob")->email, "new@lan");
}

TEST_F(ConsoleWidgetsTest, SelectingARowFillsFourFieldsAndModifyWaitsForAPassword) {
    Add(Fields("bob", "Bob", "Li"));
    AdministrationDialog dialog(core_, prompts_);
    dialog.PasswordField().setText(QStringLiteral("typed before"));
    dialog.List().topLevelItem(0)->setSelected(true);
    EXPECT_EQ(dialog.LoginField().text(), QStringLiteral("bob"));
    EXPECT_EQ(dialog.FirstNameField().text(), QStringLiteral("Bob"));
    EXPECT_EQ(dialog.LastNameField().text(), QStringLiteral("Li"));
    EXPECT_EQ(dialog.EmailField().text(), QStringLiteral("m@lan"));
    EXPECT_TRUE(dialog.PasswordField().text().isEmpty());

    const int saves = Saves();
    dialog.Modify();
    EXPECT_TRUE(prompts_.asked.isEmpty());
    EXPECT_EQ(Saves(), saves);

    dialog.PasswordField().setText(QStringLiteral("new"));
    dialog.FirstNameField().setText(QStringLiteral("Robert"));
    dialog.Modify();
    EXPECT_EQ(prompts_.asked, QStringList{"Modification|Voulez-vous vraiment modifier bob ?"});
    EXPECT_EQ(Column(dialog.List(), 1), QStringList{"Robert"});
    EXPECT_TRUE(dialog.LoginField().text().isEmpty());  // nothing selected after a refill
}

TEST_F(ConsoleWidgetsTest, AddDuplicateWarnsAndDeleteNeedsAYes) {
    Add(Fields("Ann"));
    AdministrationDialog dialog(core_, prompts_);
    dialog.LoginField().setText(QStringLiteral("aNN"));
    dialog.PasswordField().setText(QStringLiteral("pw"));
    dialog.FirstNameField().setText(QStringLiteral("A"));
    dialog.LastNameField().setText(QStringLiteral("B"));
    dialog.EmailField().setText(QStringLiteral("a@b"));
    dialog.Add();
    EXPECT_EQ(prompts_.warned, QStringList{"Erreur d'ajout|Utilisateur déjà existant"});

    dialog.List().topLevelItem(0)->setSelected(true);
    prompts_.answer = false;
    dialog.Delete();
    EXPECT_EQ(prompts_.asked, QStringList{"Suppression|Voulez-vous vraiment supprimer Ann ?"});
    EXPECT_EQ(core_.Users().Size(), 1u);
    prompts_.answer = true;
    dialog.Delete();
    EXPECT_EQ(core_.Users().Size(), 0u);
    EXPECT_EQ(dialog.List().topLevelItemCount(), 0);
}

TEST_F(ConsoleWidgetsTest, EnterInAFieldClosesTheAdministrationDialog) {
    AdministrationDialog dialog(core_, prompts_);
    dialog.show();
    dialog.LoginField().setFocus();
    dialog.LoginField().setText(QStringLiteral("someone"));
    PressEnter(dialog.LoginField());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(core_.Users().Size(), 0u);
}

TEST_F(ConsoleWidgetsTest, BroadcastDialogSendsSelectionAndEnterOnlyCloses) {
    Add(Fields("ann", "Ann", "A"));
    Add(Fields("bea", "Bea", "B"));
    FakeConnection& ann = Accept("10.1.0.1");
    FakeConnection& bea = Accept("10.1.0.2");
    ASSERT_EQ(Login(ann, "ann", "pw"), "Login:OK");
    ASSERT_EQ(Login(bea, "bea", "pw"), "Login:OK");
    ann.Take();
    bea.Take();

    BroadcastDialog dialog(core_);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Brodcast"));
    ASSERT_EQ(dialog.Users().count(), 2);
    EXPECT_EQ(dialog.Users().item(1)->text(), QStringLiteral("bea (Bea B)"));
    dialog.show();
    dialog.Users().item(1)->setSelected(true);
    dialog.MessageField().setText(QStringLiteral("Redémarrage"));
    EXPECT_EQ(dialog.Send(), 1);
    EXPECT_EQ(bea.Take(), std::vector<std::string>{"Broadcast:Redémarrage"});

    dialog.MessageField().setFocus();
    PressEnter(dialog.MessageField());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(ann.Take().empty());
    EXPECT_TRUE(bea.Take().empty());
}

TEST_F(ConsoleWidgetsTest, ConsoleShowsLoginsAndClosesOnEnterOrEscape) {
    ConsoleWindow window(core_, prompts_);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Server Parlomatic"));
    QTreeWidget& online = window.OnlineClients();
    EXPECT_EQ(online.headerItem()->text(3), QStringLiteral("First Name"));
    EXPECT_EQ(online.columnWidth(2), 45);

    Add(Fields("bob", "Bob", "Li"));
    FakeConnection& bob = Accept("10.2.0.1", 50123);
    ASSERT_EQ(Login(bob, "bob", "pw", "POSTE"), "Login:OK");
    window.RefreshRows();
    ASSERT_EQ(online.topLevelItemCount(), 1);
    EXPECT_EQ(online.topLevelItem(0)->text(0), QStringLiteral("POSTE"));
    EXPECT_EQ(online.topLevelItem(0)->text(2), QStringLiteral("50123"));
    core_.OnClosed(bob);
    window.RefreshRows();
    EXPECT_EQ(online.topLevelItemCount(), 0);

    for (int key : {Qt::Key_Return, Qt::Key_Escape}) {
        window.show();
        window.activateWindow();
        int finished = 0;
        const auto connection =
            QObject::connect(&window, &QDialog::finished, [&finished] { ++finished; });
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&window, &press);
        EXPECT_EQ(finished, 1) << key;
        EXPECT_FALSE(window.isVisible());
        QObject::disconnect(connection);
    }
}

std::vector<int> Widths(const QTreeWidget& list) {
    std::vector<int> out;
    for (int column = 0; column < list.columnCount(); ++column) {
        out.push_back(list.columnWidth(column));
    }
    return out;
}

// As the windows open, each column has its own width, the last one too, and
// none is cut; widening the window widens the last column only.
TEST_F(ConsoleWidgetsTest, ListsOpenWithTheirColumnWidths) {
    ConsoleWindow window(core_, prompts_);
    AdministrationDialog dialog(core_, prompts_);
    struct Case {
        QWidget& window;
        QTreeWidget& list;
        std::vector<int> widths;
    };
    for (const Case& c : {Case{window, window.OnlineClients(), {70, 100, 45, 70, 100}},
                          Case{dialog, dialog.List(), {70, 70, 100, 200}}}) {
        c.window.show();
        QApplication::processEvents();
        EXPECT_EQ(Widths(c.list), c.widths) << c.window.windowTitle().toStdString();
        EXPECT_EQ(c.list.horizontalScrollBar()->maximum(), 0);

        c.window.resize(c.window.width() + 60, c.window.height());
        QApplication::processEvents();
        std::vector<int> wider = c.widths;
        wider.back() += 60;
        EXPECT_EQ(Widths(c.list), wider) << c.window.windowTitle().toStdString();
        c.window.hide();
    }
}

TEST_F(ConsoleWidgetsTest, OnlineRowsChangeInPlaceKeepingSelectionAndScroll) {
    ConsoleWindow window(core_, prompts_);
    QTreeWidget& online = window.OnlineClients();
    std::vector<FakeConnection*> clients;
    for (int i = 0; i < 40; ++i) {
        const std::string n = std::to_string(10 + i);
        Add(Fields("user" + n, "First" + n));
        clients.push_back(&Accept("10.4.0." + n, 5000));
        ASSERT_EQ(Login(*clients.back(), "user" + n, "pw", "PC" + n), "Login:OK");
    }
    window.show();
    window.RefreshRows();
    ASSERT_EQ(online.topLevelItemCount(), 40);
    QApplication::processEvents();  // lays the list out
    online.verticalScrollBar()->setValue(12);
    ASSERT_EQ(online.verticalScrollBar()->value(), 12);
    online.setCurrentItem(online.topLevelItem(20));  // as a click does
    QTreeWidgetItem* kept = online.topLevelItem(30);

    // One comes in among the others, two leave, one has its names changed.
    Add(Fields("late", "Late"));
    FakeConnection& late = Accept("10.4.1.1", 5001);
    ASSERT_EQ(Login(late, "late", "pw", "PC255"), "Login:OK");  // between PC25 and PC26
    core_.OnClosed(*clients[0]);
    core_.OnClosed(*clients[39]);
    FakeConnection& same_machine = Accept("10.4.0.40", 5002);  // the row of PC40
    SendCommand(same_machine, FormatAddNewUser(*BuildRecordText(Fields("nouveau", "Nadia", "N"))));
    window.RefreshRows();
    QApplication::processEvents();

    const ConsoleRows& rows = core_.Rows();
    ASSERT_EQ(online.topLevelItemCount(), static_cast<int>(rows.Size()));
    for (size_t i = 0; i < rows.Size(); ++i) {
        const QTreeWidgetItem* item = online.topLevelItem(static_cast<int>(i));
        EXPECT_EQ(item->text(0).toStdString(), rows.At(i).computer);
        EXPECT_EQ(item->text(3).toStdString(), rows.At(i).first_name);
    }
    EXPECT_EQ(Column(online, 0).indexOf("PC255"), Column(online, 0).indexOf("PC25") + 1);
    EXPECT_EQ(Column(online, 3).at(Column(online, 0).indexOf("PC40")), QStringLiteral("Nadia"));
    EXPECT_EQ(online.topLevelItem(30), kept);  // the same row, not a rebuilt one
    const QList<QTreeWidgetItem*> selected = online.selectedItems();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.front()->text(0), QStringLiteral("PC30"));
    EXPECT_EQ(online.verticalScrollBar()->value(), 12);

    // The selected client leaves: nothing else gets selected, nothing scrolls.
    core_.OnClosed(*clients[20]);
    window.RefreshRows();
    QApplication::processEvents();
    EXPECT_TRUE(online.selectedItems().isEmpty());
    EXPECT_EQ(online.verticalScrollBar()->value(), 12);
}

// The real message box: French buttons, and Enter answers Yes.
TEST(MessageBoxPrompts, ConfirmReadsOuiNonAndEnterAnswersYes) {
    ui::InstallFrenchTranslation(*QCoreApplication::instance());
    MessageBoxPrompts prompts;
    QStringList seen;
    QTimer::singleShot(0, [&seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            ADD_FAILURE() << "no message box";
            return;
        }
        seen << box->windowTitle() << box->text()
             << box->button(QMessageBox::Yes)->text().remove('&')
             << box->button(QMessageBox::No)->text().remove('&');
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Yes));
        PressEnter(*box);
    });
    QTimer guard;  // never left waiting for an answer
    guard.callOnTimeout([] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            box->close();
        }
    });
    guard.start(parlo::testing::kWaitMs);
    EXPECT_TRUE(prompts.Confirm(nullptr, QStringLiteral("Suppression"),
                                QStringLiteral("Voulez-vous vraiment supprimer ann ?")));
    EXPECT_EQ(seen,
              (QStringList{"Suppression", "Voulez-vous vraiment supprimer ann ?", "Oui", "Non"}));
}

TEST_F(ConsoleWidgetsTest, CoreEventsReachTheWindowAfterTheCallback) {
    ConsoleWindow window(core_, prompts_);
    ConsoleEvents events;
    events.Attach(&window);
    events.OnLogLine("(10:00:00) UserDB.dat chargé");
    events.OnSaveAbandoned();
    EXPECT_TRUE(prompts_.warned.isEmpty());  // never inside the core's callback
    QApplication::processEvents();
    window.Log().Flush();
    EXPECT_TRUE(
        window.Log().toPlainText().startsWith(QStringLiteral("(10:00:00) UserDB.dat chargé")));
    EXPECT_EQ(prompts_.warned,
              QStringList{"Relancer le server|Erreur de données\nRedémarrer le server"});
}

}  // namespace
}  // namespace parlo::server
