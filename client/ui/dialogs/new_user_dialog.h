// "Ajout d'un nouvel utilisateur": creates an account on the server, which
// becomes the client's account ("Envoie").
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace parlo::client {

class Session;

class NewUserDialog final : public QDialog {
    Q_OBJECT

  public:
    NewUserDialog(Session& session, QWidget* parent);

    QLineEdit& LoginField() { return *login_; }
    QLineEdit& PasswordField() { return *password_; }
    QLineEdit& FirstNameField() { return *first_name_; }
    QLineEdit& LastNameField() { return *last_name_; }
    QLineEdit& EmailField() { return *email_; }
    QPushButton& SendButton() { return *send_; }
    QPushButton& CancelButton() { return *cancel_; }

  private:
    void Send();

    Session& session_;
    QLineEdit* login_ = nullptr;
    QLineEdit* password_ = nullptr;
    QLineEdit* first_name_ = nullptr;
    QLineEdit* last_name_ = nullptr;
    QLineEdit* email_ = nullptr;
    QPushButton* send_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace parlo::client
