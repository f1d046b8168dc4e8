#include "server/console/admin_dialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <numeric>
#include <optional>

#include "protocol/ascii.h"
#include "server/console/prompts.h"
#include "server/console/report_list.h"

namespace parlo::server {
namespace {

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToUtf8(const QString& text) {
    return text.toUtf8().toStdString();
}

const std::string& Column(const AccountFields& row, int column) {
    switch (column) {
        case 1:
            return row.first_name;
        case 2:
            return row.last_name;
        case 3:
            return row.email;
        default:
            return row.login;
    }
}

bool LoginLessNoCase(const AccountFields& a, const AccountFields& b) {
    return LessNoCase(a.login, b.login);
}

}  // namespace

AdministrationDialog::AdministrationDialog(ServerCore& core, OperatorPrompts& prompts,
                                           QWidget* parent)
    : QDialog(parent),
      core_(core),
      prompts_(prompts),
      list_(new QTreeWidget(this)),
      login_(new QLineEdit(this)),
      password_(new QLineEdit(this)),
      first_name_(new QLineEdit(this)),
      last_name_(new QLineEdit(this)),
      email_(new QLineEdit(this)) {
    setWindowTitle(QStringLiteral("Gestion utilisateurs"));

    static constexpr ReportColumn kColumns[] = {
        {"Login", 70}, {"First Name", 70}, {"Last Name", 100}, {"Email", 200}};
    SetUpReportList(*list_, kColumns);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->header()->setSectionsClickable(true);
    list_->header()->setSortIndicatorShown(false);
    connect(list_->header(), &QHeaderView::sectionClicked, this,
            &AdministrationDialog::SortByColumn);
    // Every click refills the fields, even on the row already selected.
    connect(list_, &QTreeWidget::itemSelectionChanged, this,
            &AdministrationDialog::FillFieldsFromSelection);
    connect(list_, &QTreeWidget::itemClicked, this, &AdministrationDialog::FillFieldsFromSelection);

    password_->setEchoMode(QLineEdit::Password);
    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Identifiant"), login_);
    fields->addRow(QStringLiteral("Mot de passe"), password_);
    fields->addRow(QStringLiteral("Prénom"), first_name_);
    fields->addRow(QStringLiteral("Nom"), last_name_);
    fields->addRow(QStringLiteral("Email"), email_);

    auto* modify = new QPushButton(QStringLiteral("Modification"), this);
    auto* add = new QPushButton(QStringLiteral("Ajouter"), this);
    auto* remove = new QPushButton(QStringLiteral("Supprimer"), this);
    auto* close = new QPushButton(QStringLiteral("Fermer"), this);
    close->setDefault(true);
    connect(modify, &QPushButton::clicked, this, &AdministrationDialog::Modify);
    connect(add, &QPushButton::clicked, this, &AdministrationDialog::Add);
    connect(remove, &QPushButton::clicked, this, &AdministrationDialog::Delete);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(modify);
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addStretch(1);
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    resize(minimumSizeHint().width(), 420);  // as wide as the accounts' columns

    Fill();
}

void AdministrationDialog::Fill() {
    rows_ = AccountRows(core_);
    // The list keeps its rows in ascending order of the login.
    std::stable_sort(rows_.begin(), rows_.end(), LoginLessNoCase);
    ShowRows();
    FillFieldsFromSelection();  // nothing is selected: the fields are emptied
}

void AdministrationDialog::SortByColumn(int column) {
    // A heading click only sorts: the selected account stays selected and
    // the fields keep what the operator typed.
    const std::optional<size_t> selected = SelectedIndex();
    std::vector<size_t> order(rows_.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        // Byte by byte, letter case significant, greatest first.
        return Column(rows_[a], column) > Column(rows_[b], column);
    });
    std::vector<AccountFields> sorted;
    sorted.reserve(rows_.size());
    std::optional<size_t> now_selected;
    for (size_t place = 0; place < order.size(); ++place) {
        if (selected == order[place]) {
            now_selected = place;
        }
        sorted.push_back(std::move(rows_[order[place]]));
    }
    rows_ = std::move(sorted);
    ShowRows();
    if (now_selected) {
        const QSignalBlocker quiet(list_);
        QTreeWidgetItem* item = list_->topLevelItem(static_cast<int>(*now_selected));
        list_->setCurrentItem(item);
        list_->scrollToItem(item);
    }
}

void AdministrationDialog::ShowRows() {
    const QSignalBlocker quiet(list_);  // the fields are filled by the callers
    list_->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows_.size()));
    for (const AccountFields& row : rows_) {
        items.append(
            new QTreeWidgetItem(QStringList{FromUtf8(row.login), FromUtf8(row.first_name),
                                            FromUtf8(row.last_name), FromUtf8(row.email)}));
    }
    list_->addTopLevelItems(items);  // the list takes ownership
    list_->clearSelection();
}

std::optional<size_t> AdministrationDialog::SelectedIndex() const {
    const QList<QTreeWidgetItem*> selected = list_->selectedItems();
    if (selected.isEmpty()) {
        return std::nullopt;
    }
    const int index = list_->indexOfTopLevelItem(selected.front());
    if (index < 0 || static_cast<size_t>(index) >= rows_.size()) {
        return std::nullopt;
    }
    return static_cast<size_t>(index);
}

const AccountFields* AdministrationDialog::SelectedRow() const {
    const std::optional<size_t> index = SelectedIndex();
    return index ? &rows_[*index] : nullptr;
}

void AdministrationDialog::FillFieldsFromSelection() {
    const AccountFields* row = SelectedRow();
    login_->setText(row ? FromUtf8(row->login) : QString());
    first_name_->setText(row ? FromUtf8(row->first_name) : QString());
    last_name_->setText(row ? FromUtf8(row->last_name) : QString());
    email_->setText(row ? FromUtf8(row->email) : QString());
    // A stored password is never shown.
    password_->clear();
}

AccountFields AdministrationDialog::Fields() const {
    return {ToUtf8(login_->text()), ToUtf8(password_->text()), ToUtf8(first_name_->text()),
            ToUtf8(last_name_->text()), ToUtf8(email_->text())};
}

bool AdministrationDialog::FieldsAcceptable(const AccountFields& fields) {
    if (!AccountFieldsValid(fields)) {
        return false;
    }
    if (!BuildRecordText(fields)) {
        prompts_.Warn(this, QStringLiteral("Gestion utilisateurs"),
                      QStringLiteral("Les informations saisies sont trop longues."));
        return false;
    }
    return true;
}

void AdministrationDialog::Add() {
    const AccountFields fields = Fields();
    if (!FieldsAcceptable(fields)) {
        return;
    }
    const AdminResult result = AddAccount(core_, fields);
    if (result == AdminResult::kDuplicate) {
        prompts_.Warn(this, QStringLiteral("Erreur d'ajout"),
                      QStringLiteral("Utilisateur déjà existant"));
        return;
    }
    WarnIfNotSaved(result);
    Fill();
}

void AdministrationDialog::Modify() {
    const AccountFields* selected = SelectedRow();
    if (selected == nullptr) {
        return;
    }
    const AccountFields fields = Fields();
    if (!FieldsAcceptable(fields)) {
        return;
    }
    const AccountFields row = *selected;
    if (!prompts_.Confirm(
            this, QStringLiteral("Modification"),
            QStringLiteral("Voulez-vous vraiment modifier %1 ?").arg(FromUtf8(row.login)))) {
        return;
    }
    WarnIfNotSaved(ModifyAccount(core_, row, fields));
    Fill();
}

void AdministrationDialog::Delete() {
    const AccountFields* selected = SelectedRow();
    if (selected == nullptr) {
        return;
    }
    const AccountFields row = *selected;
    if (!prompts_.Confirm(
            this, QStringLiteral("Suppression"),
            QStringLiteral("Voulez-vous vraiment supprimer %1 ?").arg(FromUtf8(row.login)))) {
        return;
    }
    WarnIfNotSaved(DeleteAccount(core_, row));
    Fill();
}

void AdministrationDialog::WarnIfNotSaved(AdminResult result) {
    if (result == AdminResult::kNotSaved) {
        prompts_.Warn(this, QStringLiteral("Gestion utilisateurs"),
                      QStringLiteral("La base n'a pas pu être sauvée : modification annulée."));
    }
}

}  // namespace parlo::server
