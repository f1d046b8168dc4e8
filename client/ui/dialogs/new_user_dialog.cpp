#include "client/ui/dialogs/new_user_dialog.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "client/core/session.h"
#include "client/ui/common/dialog_parts.h"

namespace parlo::client {

NewUserDialog::NewUserDialog(Session& session, QWidget* parent)
    : QDialog(parent), session_(session) {
    dialogs::SetUpDialog(this, QStringLiteral("Ajout d'un nouvel utilisateur"));

    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    const auto add_field = [&](const QString& label) {
        auto* field = new QLineEdit(this);
        form->addRow(label, field);
        return field;
    };
    login_ = add_field(QStringLiteral("Identifiant"));
    password_ = add_field(QStringLiteral("Mot de passe"));
    password_->setEchoMode(QLineEdit::Password);
    first_name_ = add_field(QStringLiteral("Prénom"));
    last_name_ = add_field(QStringLiteral("Nom"));
    email_ = add_field(QStringLiteral("Email"));
    // Room for a full name or an e-mail address.
    email_->setMinimumWidth(email_->fontMetrics().averageCharWidth() * 36);
    send_ = dialogs::MakeButton(QStringLiteral("Envoie"), this, true);
    cancel_ = dialogs::MakeButton(QStringLiteral("Annuler"), this);
    dialogs::NameWidgets({{this, "newUser"},
                          {login_, "login"},
                          {password_, "password"},
                          {first_name_, "firstName"},
                          {last_name_, "lastName"},
                          {email_, "email"},
                          {send_, "send"},
                          {cancel_, "cancel"}});

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addSpacing(layout->spacing());
    dialogs::AddButtonRow(layout, {send_, cancel_});
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(send_, &QPushButton::clicked, this, &NewUserDialog::Send);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void NewUserDialog::Send() {
    // The session checks the form, says what is wrong, and sends it.
    const AccountFields form{Utf8(login_->text()), Utf8(password_->text()),
                             Utf8(first_name_->text()), Utf8(last_name_->text()),
                             Utf8(email_->text())};
    if (session_.CreateAccount(form)) {
        accept();
    }
}

}  // namespace parlo::client
