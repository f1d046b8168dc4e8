// "Ajout d'un nouvel utilisateur" and "Ajouter des contacts": the checks, the
// default buttons, the results list and the guards of "Ajouter".
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>

#include <memory>

#include "client/ui/dialogs/dialogs.h"
#include "client/ui/dialogs/find_contacts_dialog.h"
#include "client/ui/dialogs/new_user_dialog.h"
#include "tests/client_dialogs/dialog_test_support.h"

namespace parlo::client::testing {
namespace {

TEST_F(SessionTest, NewUserChecksComeInOrderAndEnterSendsOnceTheyPass) {
    NewUserDialog dialog(session_, nullptr);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), Q("Ajout d'un nouvel utilisateur"));
    EXPECT_EQ(dialog.PasswordField().echoMode(), QLineEdit::Password);
    // Each step fills in what the previous box asked for.
    const std::pair<std::function<void()>, std::string_view> steps[] = {
        {[&] { Type(dialog.FirstNameField(), Q("Zoé")); }, texts::kNeedLoginAndPassword},
        {[&] { Type(dialog.LoginField(), "zoe"); }, texts::kNeedLoginAndPassword},
        {[&] { Type(dialog.PasswordField(), "p:w!"); }, texts::kFillAllFields},
        {[&] { Type(dialog.LoginField(), "zo!e"); }, texts::kBadLoginCharacters},
        {[&] { Type(dialog.LoginField(), "zoe"); }, texts::kFillAllFields},
        {[&] { Type(dialog.LastNameField(), "Martin"); }, texts::kFillAllFields},
        {[&] { Type(dialog.EmailField(), "zoe.lan"); }, texts::kBadEmail},
    };
    for (const auto& [fill, text] : steps) {
        fill();
        ui_.boxes.clear();
        ui_.captions.clear();
        PressEnter(dialog.EmailField());
        EXPECT_EQ(ui_.boxes, Texts{std::string(text)});
        EXPECT_EQ(ui_.captions, Texts{std::string(texts::kInformationError)});
        EXPECT_TRUE(dialog.isVisible());
    }
    EXPECT_EQ(links_.created, 0);

    Type(dialog.EmailField(), "z@");
    ui_.boxes.clear();
    PressEnter(dialog.LastNameField());
    EXPECT_TRUE(ui_.boxes.empty());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(links_.created, 1) << "connects without logging in";
    ASSERT_EQ(links_.sent.size(), 1u);
    EXPECT_EQ(links_.sent[0], FormatAddNewUser(FormatRecordText(
                                  Compressed("zoe"), Compressed("p:w!"), "Zoé", "Martin", "z@")));
    EXPECT_EQ(session_.PlainLogin(), "zoe");

    // "Annuler" sends nothing; Tab follows the dialog top to bottom.
    NewUserDialog again(session_, nullptr);
    const std::vector<QWidget*> expected = {&again.LoginField(),     &again.PasswordField(),
                                            &again.FirstNameField(), &again.LastNameField(),
                                            &again.EmailField(),     &again.SendButton(),
                                            &again.CancelButton()};
    EXPECT_EQ(TabChain(again, again.LoginField(), 7), expected);
    Type(again.LoginField(), "x");
    PressEnter(again.CancelButton());  // a focused button answers Enter itself
    EXPECT_EQ(again.result(), QDialog::Rejected);
    EXPECT_EQ(links_.sent.size(), 1u);
}

class FindContactsTest : public SessionTest {
  protected:
    void SetUp() override {
        LogInAs("me");
        dialog_ = std::make_unique<FindContactsDialog>(session_, nullptr);
        dialog_->show();
    }
    QStringList Column(int column) {
        QStringList out;
        for (int i = 0; i < dialog_->Results().topLevelItemCount(); ++i) {
            out << dialog_->Results().topLevelItem(i)->text(column);
        }
        return out;
    }
    void Click(int row) {
        QTreeWidget& list = dialog_->Results();
        const QRect rect = list.visualItemRect(list.topLevelItem(row));
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, rect.center());
    }
    void ClickBelowTheRows() {
        QTreeWidget& list = dialog_->Results();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                          QPoint(10, list.viewport()->height() - 3));
    }
    std::unique_ptr<FindContactsDialog> dialog_;
};

TEST_F(FindContactsTest, ResultsAreSortedInFourColumnsAndAClickFillsTheLogin) {
    EXPECT_EQ(dialog_->windowTitle(), "Ajouter des contacts");
    QTreeWidget& list = dialog_->Results();
    ASSERT_EQ(list.columnCount(), 4);
    const QStringList headings = {"Login", "First Name", "Last Name", "Email"};
    const int widths[] = {70, 70, 100, 200};
    for (int column = 0; column < 4; ++column) {
        EXPECT_EQ(list.headerItem()->text(column), headings[column]);
        EXPECT_EQ(list.header()->sectionSize(column), widths[column]);
    }
    {
        // Headings of a large desktop font widen their columns rather than be cut.
        const QFont normal = QApplication::font();
        QFont large = normal;
        large.setPointSize(normal.pointSize() * 2);
        QApplication::setFont(large);
        FindContactsDialog dialog(session_, nullptr);
        QApplication::setFont(normal);
        const QHeaderView& header = *dialog.Results().header();
        EXPECT_GE(header.sectionSize(1), QFontMetrics(large).horizontalAdvance("First Name"));
        EXPECT_GT(header.sectionSize(1), 70);
        EXPECT_EQ(header.sectionSize(3), 200);
    }
    EXPECT_EQ(list.selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(list.selectionBehavior(), QAbstractItemView::SelectRows);

    Type(dialog_->EmailCriterion(), "lan");
    dialog_->SearchButton().click();
    EXPECT_EQ(links_.sent, Texts{"FindUser:0:0:0:3:lan"});
    links_.Deliver({"FindUser:zoe!Zoé!Martin!z@lan:Bob!Bob!B!b@lan:ME!x!y!z:solo:alice!A!L!a@lan"});
    EXPECT_EQ(Column(0), (QStringList{"alice", "Bob", "solo", "zoe"}));
    EXPECT_EQ(Column(1), (QStringList{"A", "Bob", "", Q("Zoé")}));
    EXPECT_EQ(Column(3), (QStringList{"a@lan", "b@lan", "", "z@lan"}));
    EXPECT_EQ(Column(2)[2], "") << "an entry without '!' fills only Login";

    Click(1);
    EXPECT_EQ(dialog_->LoginToAdd().text(), "Bob");
    Click(3);
    EXPECT_EQ(dialog_->LoginToAdd().text(), "zoe");
    ClickBelowTheRows();
    EXPECT_TRUE(list.selectedItems().isEmpty());
    EXPECT_EQ(dialog_->LoginToAdd().text(), "");

    // A new answer replaces the rows; "FindUser:" alone leaves none.
    Click(0);
    dialog_->SearchButton().click();
    links_.Deliver({"FindUser:"});
    EXPECT_EQ(list.topLevelItemCount(), 0);
    EXPECT_EQ(dialog_->LoginToAdd().text(), "alice") << "only a click changes it";
    EXPECT_TRUE(dialog_->isVisible());

    // Nothing to search for: nothing sent, the rows stay.
    links_.sent.clear();
    Type(dialog_->EmailCriterion(), "");
    dialog_->SearchButton().click();
    EXPECT_TRUE(links_.sent.empty());
}

TEST_F(FindContactsTest, EnterInAFieldIsAjouterWhichSkipsAnEmptyLoginAndTheUsersOwn) {
    Type(dialog_->LoginCriterion(), "zo");
    for (const QString login : {"", "ME", "mE"}) {
        Type(dialog_->LoginToAdd(), login);
        PressEnter(dialog_->LoginCriterion());
        dialog_->AddButton().click();
    }
    EXPECT_TRUE(links_.sent.empty());
    EXPECT_TRUE(ui_.boxes.empty());

    // Enter on a focused button is that button, never "Ajouter".
    Type(dialog_->LoginToAdd(), "zoe");
    PressEnter(dialog_->SearchButton());
    ASSERT_EQ(links_.sent.size(), 1u);
    EXPECT_EQ(links_.sent[0].rfind("FindUser:", 0), 0u);
    links_.Deliver({"FindUser:"});
    PressEnter(dialog_->CloseButton());
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_EQ(links_.sent.size(), 1u);
    links_.sent.clear();
    dialog_->show();

    Type(dialog_->LoginToAdd(), "zoe");
    PressEnter(dialog_->LastNameCriterion());
    EXPECT_EQ(links_.sent, Texts{"DoAddAddressBook:zoe"});
    EXPECT_EQ(ui_.boxes, Texts{"zoe apparaîtra automatiquement dès qu'il vous aura accepté"});
    EXPECT_EQ(ui_.captions, Texts{std::string(texts::kAddressBook)});
    EXPECT_TRUE(dialog_->isVisible());

    const std::vector<QWidget*> expected = {
        &dialog_->LoginCriterion(), &dialog_->FirstNameCriterion(), &dialog_->LastNameCriterion(),
        &dialog_->EmailCriterion(), &dialog_->SearchButton(),       &dialog_->Results(),
        &dialog_->LoginToAdd(),     &dialog_->AddButton(),          &dialog_->CloseButton()};
    EXPECT_EQ(TabChain(*dialog_, dialog_->LoginCriterion(), 9), expected);
}

TEST_F(FindContactsTest, AnAnswerAfterTheDialogClosedChangesNothing) {
    Type(dialog_->LoginCriterion(), "zo");
    dialog_->SearchButton().click();
    dialog_->CloseButton().click();
    dialog_.reset();
    links_.Deliver({"FindUser:zoe!Zoé!Martin!z@lan", "AskAddressBook"});
    EXPECT_EQ(links_.sent, (Texts{"FindUser:2:0:0:0:zo", "AddressBook"}));

    // A search over the limit says so and sends nothing.
    FindContactsDialog dialog(session_, nullptr);
    links_.sent.clear();
    dialog.FirstNameCriterion().setText(QString(8200, 'a'));
    dialog.SearchButton().click();
    EXPECT_EQ(ui_.boxes, Texts{std::string(texts::kTooLong)});
    EXPECT_TRUE(links_.sent.empty());
}

TEST_F(SessionTest, FindContactsWithoutAConnectionShowsTheBoxInstead) {
    OpenFindContactsDialog(session_, nullptr);
    EXPECT_EQ(ui_.boxes, Texts{std::string(texts::kNotConnected)});
    EXPECT_EQ(ui_.captions, Texts{std::string(texts::kImpossible)});

    LogInAs("me");
    QDialog* dialog = OpenFindContactsDialog(session_, nullptr);
    ASSERT_EQ(QApplication::activeModalWidget(), dialog);
    EXPECT_EQ(dialog->windowTitle(), "Ajouter des contacts");
    dialog->close();
    EXPECT_TRUE(ui_.boxes.empty());
}

}  // namespace
}  // namespace parlo::client::testing
