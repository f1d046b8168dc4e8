// "Paramètres": the account, the server's address and port, the encrypted
// connection and its port, the sound flag,
// the desktop notices and the automatic "inactif", with "Test" (try the typed
// account), "Nouveau" (the new-user dialog) and "OK" (apply, store, log in).
#pragma once

#include <optional>
#include <string>

#include <QDialog>

#include "client/core/client_settings.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace parlo::client {

class AddressEdit;
class Session;

class SettingsDialog final : public QDialog {
    Q_OBJECT

  public:
    SettingsDialog(Session& session, QWidget* parent);

    QLineEdit& LoginField() { return *login_; }
    QLineEdit& PasswordField() { return *password_; }
    AddressEdit& AddressField() { return *address_field_; }
    QLineEdit& PortField() { return *port_field_; }
    QCheckBox& EncryptedBox() { return *encrypted_; }
    QLineEdit& EncryptedPortField() { return *encrypted_port_; }
    QCheckBox& SoundBox() { return *sound_; }
    QCheckBox& NotifyBox() { return *notify_; }
    QCheckBox& AutoInactiveBox() { return *auto_inactive_; }
    QSpinBox& InactiveMinutesField() { return *inactive_minutes_; }
    QCheckBox& KeepHistoryBox() { return *keep_history_; }
    QPushButton& TestButton() { return *test_; }
    QPushButton& NewButton() { return *new_user_; }
    QPushButton& OkButton() { return *ok_; }
    QPushButton& CancelButton() { return *cancel_; }

  private:
    // "Passer en inactif après [N] minutes d'inactivité", greyed when the
    // desktop does not tell the idle time.
    QLayout* MakeAutoInactiveRow();
    // "Connexion chiffrée, port [7778]": the port greyed while it is off.
    QLayout* MakeEncryptionRow();
    EncryptionSettings TypedEncryption() const;
    void Test();
    void NewUser();
    void Ok();

    Session& session_;
    // The dialog's copies: the compressed forms of what the two fields show
    // (none when a text cannot be compressed within the limit), and the
    // server address and port as last edited.
    std::optional<std::string> login_blob_;
    std::optional<std::string> password_blob_;
    std::string address_;
    int port_ = 0;

    QLineEdit* login_ = nullptr;
    QLineEdit* password_ = nullptr;
    QPushButton* test_ = nullptr;
    QPushButton* new_user_ = nullptr;
    AddressEdit* address_field_ = nullptr;
    QLineEdit* port_field_ = nullptr;
    QCheckBox* encrypted_ = nullptr;
    QLineEdit* encrypted_port_ = nullptr;
    QCheckBox* sound_ = nullptr;
    QCheckBox* notify_ = nullptr;
    QCheckBox* auto_inactive_ = nullptr;
    QSpinBox* inactive_minutes_ = nullptr;
    QCheckBox* keep_history_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace parlo::client
