#include "client/ui/dialogs/find_contacts_dialog.h"

#include <algorithm>

#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "client/core/contact_list.h"
#include "client/core/session.h"
#include "client/ui/common/dialog_parts.h"
#include "protocol/ascii.h"

namespace parlo::client {

namespace {

// Rows visible without scrolling.
constexpr int kVisibleRows = 8;

// A result row; rows sort by login as the contact list does.
class ResultItem final : public QTreeWidgetItem {
  public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override {
        const QByteArray a = text(0).toUtf8();
        const QByteArray b = other.text(0).toUtf8();
        return LessNoCase({a.constData(), static_cast<size_t>(a.size())},
                          {b.constData(), static_cast<size_t>(b.size())});
    }
};

}  // namespace

FindContactsDialog::FindContactsDialog(Session& session, QWidget* parent)
    : QDialog(parent), session_(session) {
    dialogs::SetUpDialog(this, QStringLiteral("Ajouter des contacts"));

    // Created in the order the Tab key visits them.
    auto* group = new QGroupBox(QStringLiteral("Rechercher"), this);
    login_ = new QLineEdit(group);
    first_name_ = new QLineEdit(group);
    last_name_ = new QLineEdit(group);
    email_ = new QLineEdit(group);
    search_ = dialogs::MakeButton(QStringLiteral("Rechercher"), group);
    results_ = new QTreeWidget(group);
    login_to_add_ = new QLineEdit(this);
    add_ = dialogs::MakeButton(QStringLiteral("Ajouter"), this, true);
    close_ = dialogs::MakeButton(QStringLiteral("Fermer"), this);
    dialogs::NameWidgets({{this, "findContacts"},
                          {login_, "login"},
                          {first_name_, "firstName"},
                          {last_name_, "lastName"},
                          {email_, "email"},
                          {search_, "search"},
                          {results_, "results"},
                          {login_to_add_, "loginToAdd"},
                          {add_, "add"},
                          {close_, "close"}});

    results_->setColumnCount(kColumns);
    results_->setHeaderLabels({QStringLiteral("Login"), QStringLiteral("First Name"),
                               QStringLiteral("Last Name"), QStringLiteral("Email")});
    results_->setRootIsDecorated(false);
    results_->setUniformRowHeights(true);
    results_->setAllColumnsShowFocus(true);
    results_->setSelectionMode(QAbstractItemView::SingleSelection);
    results_->setSelectionBehavior(QAbstractItemView::SelectRows);
    results_->setSortingEnabled(false);  // kept in login order, whatever is clicked
    QHeaderView* header = results_->header();
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // A heading wider than its column (a large desktop font) widens it.
    const int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    int columns_width = 0;
    for (int column = 0; column < kColumns; ++column) {
        const int heading =
            header->fontMetrics().horizontalAdvance(results_->headerItem()->text(column));
        const int width = std::max(kColumnWidths[column], heading + 2 * margin);
        header->resizeSection(column, width);
        columns_width += width;
    }
    const int row_height = results_->fontMetrics().height() + 6;
    results_->setFixedSize(
        columns_width + 2 * results_->frameWidth() +
            results_->verticalScrollBar()->sizeHint().width(),
        header->sizeHint().height() + kVisibleRows * row_height + 2 * results_->frameWidth());

    // Each label names its field (also for screen readers).
    const auto label = [](const QString& text, QWidget* field) {
        auto* widget = new QLabel(text, field->parentWidget());
        widget->setBuddy(field);
        return widget;
    };
    auto* criteria = new QGridLayout;
    criteria->addWidget(label(QStringLiteral("Identifiant"), login_), 0, 0);
    criteria->addWidget(login_, 0, 1);
    criteria->addWidget(label(QStringLiteral("Prénom"), first_name_), 0, 2);
    criteria->addWidget(first_name_, 0, 3);
    criteria->addWidget(label(QStringLiteral("Nom"), last_name_), 1, 0);
    criteria->addWidget(last_name_, 1, 1);
    criteria->addWidget(label(QStringLiteral("Email"), email_), 1, 2);
    criteria->addWidget(email_, 1, 3);
    criteria->addWidget(search_, 1, 4);
    criteria->setColumnStretch(1, 1);
    criteria->setColumnStretch(3, 1);
    auto* group_layout = new QVBoxLayout(group);
    group_layout->addLayout(criteria);
    group_layout->addWidget(results_);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(label(QStringLiteral("Identifiant"), login_to_add_));
    bottom->addWidget(login_to_add_, 1);
    bottom->addSpacing(bottom->spacing() * 4);
    bottom->addWidget(add_);
    bottom->addWidget(close_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(search_, &QPushButton::clicked, this, &FindContactsDialog::Search);
    connect(results_, &QTreeWidget::itemSelectionChanged, this,
            &FindContactsDialog::TakeSelectedLogin);
    connect(add_, &QPushButton::clicked, this, &FindContactsDialog::Add);
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);
}

void FindContactsDialog::Search() {
    const AccountFields criteria{.login = Utf8(login_->text()),
                                 .password = {},
                                 .first_name = Utf8(first_name_->text()),
                                 .last_name = Utf8(last_name_->text()),
                                 .email = Utf8(email_->text())};
    // The answer comes later, maybe after this dialog has closed.
    session_.FindUsers(criteria, [dialog = QPointer(this)](std::vector<AccountFields> rows) {
        if (dialog) {
            dialog->ShowResults(rows);
        }
    });
}

void FindContactsDialog::ShowResults(const std::vector<AccountFields>& rows) {
    // Replacing the rows is no click: the login to add stays as it is.
    const QSignalBlocker blocker(results_);
    results_->clear();
    for (const AccountFields& row : rows) {
        new ResultItem(results_, {Q(row.login), Q(row.first_name), Q(row.last_name), Q(row.email)});
    }
    results_->sortItems(0, Qt::AscendingOrder);
}

void FindContactsDialog::TakeSelectedLogin() {
    const QList<QTreeWidgetItem*> selected = results_->selectedItems();
    login_to_add_->setText(selected.isEmpty() ? QString() : selected.front()->text(0));
}

void FindContactsDialog::Add() {
    // The session skips an empty login and the user's own.
    session_.AddContact(Utf8(login_to_add_->text()));
}

}  // namespace parlo::client
