#include "client/ui/dialogs/settings_dialog.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QVBoxLayout>

#include "client/core/session.h"
#include "client/ui/common/dialog_parts.h"
#include "client/ui/dialogs/address_edit.h"
#include "client/ui/dialogs/dialogs.h"

namespace parlo::client {

namespace {

// Ports have at most five digits.
constexpr int kPortDigits = 5;

// Digits only, right-aligned, five digits wide with the room a line edit
// keeps around its text.
QLineEdit* MakePortField(QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), field));
    field->setMaxLength(kPortDigits);
    field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    field->setFixedWidth(field->fontMetrics().horizontalAdvance(QString(9, '0')));
    return field;
}

const QString kNoIdleTime = QStringLiteral(
    "Indisponible : le bureau n'indique pas depuis quand l'ordinateur est inutilisé");

}  // namespace

SettingsDialog::SettingsDialog(Session& session, QWidget* parent)
    : QDialog(parent), session_(session) {
    dialogs::SetUpDialog(this, QStringLiteral("Paramètres"));

    // Created in the order the Tab key visits them.
    login_ = new QLineEdit(this);
    password_ = new QLineEdit(this);
    password_->setEchoMode(QLineEdit::Password);
    test_ = dialogs::MakeButton(QStringLiteral("Test"), this);
    new_user_ = dialogs::MakeButton(QStringLiteral("Nouveau"), this);
    address_field_ = new AddressEdit(this);
    port_field_ = MakePortField(this);
    encrypted_ = new QCheckBox(QStringLiteral("Connexion chiffrée"), this);
    encrypted_port_ = MakePortField(this);
    sound_ = new QCheckBox(QStringLiteral("Jouer les sons"), this);
    notify_ = new QCheckBox(QStringLiteral("Afficher les notifications"), this);
    auto_inactive_ = new QCheckBox(QStringLiteral("Passer en inactif après"), this);
    inactive_minutes_ = new QSpinBox(this);
    keep_history_ = new QCheckBox(QStringLiteral("Garder l'historique des conversations"), this);
    ok_ = dialogs::MakeButton(QStringLiteral("OK"), this, true);
    cancel_ = dialogs::MakeButton(QStringLiteral("Annuler"), this);
    dialogs::NameWidgets({{this, "settings"},
                          {login_, "login"},
                          {password_, "password"},
                          {test_, "test"},
                          {new_user_, "new"},
                          {address_field_, "address"},
                          {port_field_, "port"},
                          {encrypted_, "encrypted"},
                          {encrypted_port_, "encryptedPort"},
                          {sound_, "sound"},
                          {notify_, "notify"},
                          {auto_inactive_, "autoInactive"},
                          {inactive_minutes_, "inactiveMinutes"},
                          {keep_history_, "keepHistory"},
                          {ok_, "ok"},
                          {cancel_, "cancel"}});

    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    form->addRow(QStringLiteral("Identifiant"), login_);
    form->addRow(QStringLiteral("Mot de passe"), password_);
    auto* account_buttons = new QHBoxLayout;
    account_buttons->addStretch(1);
    account_buttons->addWidget(test_);
    account_buttons->addWidget(new_user_);
    form->addRow(account_buttons);
    auto* separator = new QFrame(this);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    form->addRow(separator);
    form->addRow(QStringLiteral("Serveur IP"), address_field_);
    form->addRow(QStringLiteral("Serveur Port"), port_field_);
    form->addRow(QString(), MakeEncryptionRow());
    form->addRow(QString(), sound_);
    form->addRow(QString(), notify_);
    form->addRow(QString(), MakeAutoInactiveRow());
    form->addRow(QString(), keep_history_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addSpacing(layout->spacing());
    dialogs::AddButtonRow(layout, {ok_, cancel_});
    layout->setSizeConstraint(QLayout::SetFixedSize);
    login_->setMinimumWidth(login_->fontMetrics().averageCharWidth() * 36);

    // The copies follow every change of the fields, the first filling
    // included; the address only follows what the user types.
    connect(login_, &QLineEdit::textChanged, this,
            [this](const QString& text) { login_blob_ = CompressField(Utf8(text)); });
    connect(password_, &QLineEdit::textChanged, this,
            [this](const QString& text) { password_blob_ = CompressField(Utf8(text)); });
    connect(address_field_, &AddressEdit::Edited, this,
            [this] { address_ = address_field_->Address(); });
    connect(port_field_, &QLineEdit::textChanged, this,
            [this](const QString& text) { port_ = text.toInt(); });
    connect(test_, &QPushButton::clicked, this, &SettingsDialog::Test);
    connect(new_user_, &QPushButton::clicked, this, &SettingsDialog::NewUser);
    connect(ok_, &QPushButton::clicked, this, &SettingsDialog::Ok);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    const ClientSettings& settings = session_.Settings();
    login_->setText(Q(UncompressField(settings.credentials.login_blob)));
    password_->setText(Q(UncompressField(settings.credentials.password_blob)));
    // Filling an empty field with an empty text signals nothing.
    login_blob_ = CompressField(Utf8(login_->text()));
    password_blob_ = CompressField(Utf8(password_->text()));
    address_ = settings.server_address;
    address_field_->ShowAddress(address_);
    port_field_->setText(QString::number(settings.port));
    port_ = port_field_->text().toInt();
    encrypted_->setChecked(settings.encryption.enabled);
    encrypted_port_->setText(QString::number(settings.encryption.port));
    encrypted_port_->setEnabled(settings.encryption.enabled);
    sound_->setChecked(settings.sound);
    notify_->setChecked(settings.attention.notify);
    auto_inactive_->setChecked(settings.attention.auto_inactive);
    inactive_minutes_->setValue(settings.attention.inactive_minutes);
    keep_history_->setChecked(settings.keep_history);
}

QLayout* SettingsDialog::MakeAutoInactiveRow() {
    inactive_minutes_->setRange(AttentionSettings::kMinInactiveMinutes,
                                AttentionSettings::kMaxInactiveMinutes);
    inactive_minutes_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* unit = new QLabel(QStringLiteral("minutes d'inactivité"), this);
    auto* row = new QHBoxLayout;
    row->addWidget(auto_inactive_);
    row->addWidget(inactive_minutes_);
    row->addWidget(unit);
    row->addStretch(1);
    if (session_.Idle().Available() == false) {
        for (QWidget* part :
             std::initializer_list<QWidget*>{auto_inactive_, inactive_minutes_, unit}) {
            part->setEnabled(false);
            part->setToolTip(kNoIdleTime);
        }
    }
    return row;
}

QLayout* SettingsDialog::MakeEncryptionRow() {
    auto* label = new QLabel(QStringLiteral("port"), this);
    label->setBuddy(encrypted_port_);
    connect(encrypted_, &QCheckBox::toggled, encrypted_port_, &QWidget::setEnabled);
    auto* row = new QHBoxLayout;
    row->addWidget(encrypted_);
    row->addWidget(label);
    row->addWidget(encrypted_port_);
    row->addStretch(1);
    return row;
}

EncryptionSettings SettingsDialog::TypedEncryption() const {
    return {.enabled = encrypted_->isChecked(), .port = encrypted_port_->text().toInt()};
}

void SettingsDialog::Test() {
    // The server is the applied one, not the one typed here.
    session_.TestLogIn(login_blob_, password_blob_);
}

void SettingsDialog::NewUser() {
    session_.SetServer(address_, port_);
    session_.SetEncryption(TypedEncryption());
    OpenNewUserDialog(session_, this);
}

void SettingsDialog::Ok() {
    const AttentionSettings attention{.notify = notify_->isChecked(),
                                      .auto_inactive = auto_inactive_->isChecked(),
                                      .inactive_minutes = inactive_minutes_->value()};
    // Stored with the other settings; off, no line is kept from now on.
    session_.SetKeepHistory(keep_history_->isChecked());
    session_.SetEncryption(TypedEncryption());
    if (session_.ApplySettingsDialog(login_blob_, password_blob_, address_, port_,
                                     sound_->isChecked(), attention)) {
        accept();
    }
}

}  // namespace parlo::client
