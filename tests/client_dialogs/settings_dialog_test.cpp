// "Paramètres": what it shows at opening, and what "Test", "Nouveau", "OK"
// and Enter apply, through a real settings file.
#include <QCheckBox>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>

#include "client/ui/dialogs/address_edit.h"
#include "client/ui/dialogs/new_user_dialog.h"
#include "client/ui/dialogs/settings_dialog.h"
#include "tests/client_dialogs/dialog_test_support.h"

namespace parlo::client::testing {
namespace {

class SettingsDialogTest : public SessionTest {
  protected:
    QStringList AddressNumbers(SettingsDialog& dialog) {
        QStringList numbers;
        for (int i = 0; i < AddressEdit::kFields; ++i) {
            numbers << dialog.AddressField().Field(i).text();
        }
        return numbers;
    }
    void TypeAddress(SettingsDialog& dialog, const QStringList& numbers) {
        for (int i = 0; i < AddressEdit::kFields; ++i) {
            Type(dialog.AddressField().Field(i), numbers[i]);
        }
    }
    QString Stored(const char* key) {
        return QSettings(store_.Path(), QSettings::IniFormat).value(key).toString();
    }
    std::string ConnectWith(std::string_view login, std::string_view password) {
        return FormatConnect(ComputerName(), Compressed(login), Compressed(password));
    }
};

TEST_F(SettingsDialogTest, OpensWithTheAppliedValuesSplittingTheAddressAsStored) {
    ASSERT_TRUE(session_.SetCredentials(Compressed("émilie"), Compressed("s3cr:t!")));
    session_.SetSound(false);
    const std::pair<std::string, QStringList> addresses[] = {
        {"10.0.0", {"10", "0", "0", "0"}},
        {"192.168.300.7x", {"192", "168", "44", "7"}},
        {"", {"0", "0", "0", "0"}},
        {"1..2.3.4", {"1", "0", "2", "3"}},
    };
    for (const auto& [address, numbers] : addresses) {
        session_.SetServer(address, 7777);
        SettingsDialog dialog(session_, nullptr);
        EXPECT_EQ(AddressNumbers(dialog), numbers) << address;
        EXPECT_EQ(dialog.LoginField().text(), Q("émilie"));
        EXPECT_EQ(dialog.PasswordField().text(), Q("s3cr:t!"));
        EXPECT_EQ(dialog.PasswordField().echoMode(), QLineEdit::Password);
        EXPECT_EQ(dialog.PortField().text(), "7777");
        EXPECT_TRUE(dialog.PortField().alignment() & Qt::AlignRight);
        EXPECT_FALSE(dialog.SoundBox().isChecked());
        EXPECT_FALSE(dialog.EncryptedBox().isChecked());
        EXPECT_EQ(dialog.EncryptedPortField().text(), "7778");
        EXPECT_FALSE(dialog.EncryptedPortField().isEnabled());
        EXPECT_EQ(dialog.windowTitle(), Q("Paramètres"));
    }

    // The numbers and the port take digits only, the numbers up to 255.
    SettingsDialog dialog(session_, nullptr);
    Type(dialog.PortField(), "77a8");
    EXPECT_EQ(dialog.PortField().text(), "778");
    Type(dialog.AddressField().Field(0), "256");
    EXPECT_EQ(dialog.AddressField().Field(0).text(), "25");
    Type(dialog.AddressField().Field(1), "-1");
    EXPECT_EQ(dialog.AddressField().Field(1).text(), "1");
    Type(dialog.AddressField().Field(2), "");
    EXPECT_EQ(dialog.AddressField().Address(), "25.1.0.3");
}

TEST_F(SettingsDialogTest, TestUsesTheAppliedServerAndNouveauAppliesTheTypedOneFirst) {
    SettingsDialog dialog(session_, nullptr);
    dialog.show();
    Type(dialog.LoginField(), Q("zoé"));
    Type(dialog.PasswordField(), "pw");
    TypeAddress(dialog, {"10", "1", "2", "3"});
    Type(dialog.PortField(), "7778");

    dialog.TestButton().click();
    EXPECT_EQ(links_.address, "127.0.0.1:7777");
    EXPECT_EQ(links_.sent, Texts{ConnectWith("zoé", "pw")});
    EXPECT_TRUE(session_.TestFlag());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(session_.PlainLogin(), "") << "Test applies no account";

    dialog.NewButton().click();
    QWidget* modal = QApplication::activeModalWidget();
    ASSERT_NE(qobject_cast<NewUserDialog*>(modal), nullptr);
    EXPECT_EQ(modal->parentWidget(), &dialog);
    EXPECT_EQ(session_.Settings().server_address, "10.1.2.3");
    EXPECT_EQ(session_.Settings().port, 7778);
    modal->close();
    EXPECT_EQ(dialog.LoginField().text(), Q("zoé"));

    // "Annuler" keeps what "Test" and "Nouveau" did.
    dialog.CancelButton().click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(session_.Settings().server_address, "10.1.2.3");
    EXPECT_TRUE(session_.TestFlag());
    EXPECT_FALSE(QFile::exists(store_.Path()));
}

TEST_F(SettingsDialogTest, OkStoresByteListsAndTheOldSoundFlagThenLogsInWithTheTypedAccount) {
    session_.SetServer("10.0.0", 7777);
    SettingsDialog dialog(session_, nullptr);
    dialog.show();
    Type(dialog.LoginField(), "bob");
    Type(dialog.PasswordField(), "pw");
    dialog.SoundBox().setChecked(false);
    dialog.NotifyBox().setChecked(false);
    dialog.AutoInactiveBox().setChecked(true);
    dialog.InactiveMinutesField().setValue(9);
    EXPECT_TRUE(dialog.KeepHistoryBox().isChecked());  // on by default
    dialog.KeepHistoryBox().setChecked(false);
    dialog.EncryptedBox().setChecked(true);
    Type(dialog.EncryptedPortField(), "7900");
    dialog.OkButton().click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());

    // The untouched address is applied as it was; one connection attempt,
    // encrypted.
    EXPECT_EQ(links_.address, "10.0.0:7900");
    EXPECT_EQ(links_.transport, Transport::kEncrypted);
    EXPECT_EQ(links_.created, 1);
    EXPECT_EQ(links_.sent, Texts{ConnectWith("bob", "pw")});
    EXPECT_EQ(session_.PlainLogin(), "bob");
    EXPECT_FALSE(session_.TestFlag());
    EXPECT_EQ(Stored("Login/Login"), Q(FormatByteList(Compressed("bob"))));
    EXPECT_EQ(Stored("Login/Password"), Q(FormatByteList(Compressed("pw"))));
    EXPECT_TRUE(Stored("Login/Login").contains(QRegularExpression("^[0-9]+(:[0-9]+)+$")));
    EXPECT_EQ(Stored("Server/IP"), "10.0.0");
    EXPECT_EQ(Stored("Sound/Play"), "1") << "the old flag";
    EXPECT_EQ(Stored("Sound/Notify"), "0");
    EXPECT_EQ(Stored("Options/AutoInactive"), "1");
    EXPECT_EQ(Stored("Options/InactiveMinutes"), "9");
    EXPECT_EQ(Stored("Options/KeepHistory"), "0");
    EXPECT_EQ(Stored("Server/Encrypted"), "1");
    EXPECT_EQ(Stored("Server/EncryptedPort"), "7900");
    session_.Shutdown();
    EXPECT_EQ(Stored("Sound/Play"), "0");

    // The next run opens the dialog with what the file holds.
    FakeUi ui;
    Session next(ui, links_, store_);
    next.Initialize();
    SettingsDialog reopened(next, nullptr);
    EXPECT_EQ(reopened.LoginField().text(), "bob");
    EXPECT_EQ(reopened.PasswordField().text(), "pw");
    EXPECT_EQ(AddressNumbers(reopened), (QStringList{"10", "0", "0", "0"}));
    EXPECT_FALSE(reopened.SoundBox().isChecked());
    EXPECT_FALSE(reopened.NotifyBox().isChecked());
    EXPECT_TRUE(reopened.AutoInactiveBox().isChecked());
    EXPECT_EQ(reopened.InactiveMinutesField().value(), 9);
    EXPECT_TRUE(reopened.EncryptedPortField().isEnabled());
    EXPECT_EQ(reopened.EncryptedPortField().text(), "7900");
    // This desktop does not tell the idle time (the fake says nothing).
    EXPECT_FALSE(reopened.AutoInactiveBox().isEnabled());
    EXPECT_FALSE(reopened.InactiveMinutesField().isEnabled());
    EXPECT_TRUE(reopened.AutoInactiveBox().toolTip().startsWith("Indisponible"));
    EXPECT_TRUE(dialog.AutoInactiveBox().isEnabled()) << "not known yet";
}

TEST_F(SettingsDialogTest, AnOverLongFieldIsRefusedWithABoxAndTheDialogStaysOpen) {
    SettingsDialog dialog(session_, nullptr);
    dialog.show();
    dialog.LoginField().setText(QString(9000, 'a'));
    Type(dialog.PasswordField(), "pw");
    dialog.OkButton().click();
    dialog.TestButton().click();
    EXPECT_EQ(ui_.boxes, Texts(2, std::string(texts::kTooLong)));
    EXPECT_EQ(ui_.captions.back(), texts::kInformationError);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(links_.created, 0);
    EXPECT_FALSE(session_.TestFlag());
    EXPECT_FALSE(QFile::exists(store_.Path()));

    // Shortened, the same dialog goes through.
    Type(dialog.LoginField(), "ann");
    dialog.OkButton().click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(session_.PlainLogin(), "ann");
}

TEST_F(SettingsDialogTest, EnterInAFieldIsOkOnAButtonThatButtonAndTabGoesTopToBottom) {
    SettingsDialog dialog(session_, nullptr);
    AddressEdit& address = dialog.AddressField();
    const std::vector<QWidget*> expected = {
        &dialog.LoginField(),      &dialog.PasswordField(),
        &dialog.TestButton(),      &dialog.NewButton(),
        &address.Field(0),         &address.Field(1),
        &address.Field(2),         &address.Field(3),
        &dialog.PortField(),
        &dialog.EncryptedBox(),  // its port greyed
        &dialog.SoundBox(),        &dialog.NotifyBox(),
        &dialog.AutoInactiveBox(), &dialog.InactiveMinutesField(),
        &dialog.KeepHistoryBox(),  &dialog.OkButton(),
        &dialog.CancelButton(),    &dialog.LoginField()};
    EXPECT_EQ(TabChain(dialog, dialog.LoginField(), static_cast<int>(expected.size())), expected);

    // Enter in a field is "OK"; on a focused button it is that button.
    Type(dialog.LoginField(), "bob");
    Type(dialog.PasswordField(), "pw");
    PressEnter(dialog.TestButton());
    EXPECT_TRUE(session_.TestFlag());
    EXPECT_TRUE(dialog.isVisible());
    PressEnter(dialog.CancelButton());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(QFile::exists(store_.Path()));

    SettingsDialog again(session_, nullptr);
    again.show();
    Type(again.LoginField(), "bob");
    PressEnter(again.PortField());
    EXPECT_EQ(again.result(), QDialog::Accepted);
    EXPECT_EQ(session_.PlainLogin(), "bob");
}

TEST_F(SettingsDialogTest, TheAddressMovesOnAtADotOrAThirdDigit) {
    SettingsDialog dialog(session_, nullptr);
    AddressEdit& address = dialog.AddressField();
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    address.Field(0).setFocus();
    address.Field(0).selectAll();
    for (const char* key : {"1", "9", "2", "1", "6", "8", ".", "5", ".", ".", "4", "2"}) {
        QTest::keyClicks(QApplication::focusWidget(), key);
    }
    EXPECT_EQ(address.Address(), "192.168.5.42");
    EXPECT_EQ(QApplication::focusWidget(), &address.Field(3));
    // Backspace through an emptied number goes back to the one before.
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
    }
    EXPECT_EQ(QApplication::focusWidget(), &address.Field(2));
    EXPECT_EQ(address.Address(), "192.168.5.0");
}

}  // namespace
}  // namespace parlo::client::testing
