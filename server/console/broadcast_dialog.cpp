#include "server/console/broadcast_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <string>
#include <vector>

#include "server/core/administration.h"

namespace parlo::server {

BroadcastDialog::BroadcastDialog(ServerCore& core, QWidget* parent)
    : QDialog(parent), core_(core), users_(new QListWidget(this)), message_(new QLineEdit(this)) {
    setWindowTitle(QStringLiteral("Brodcast"));

    // Entries in columns; each click toggles the entry it hits.
    users_->setSelectionMode(QAbstractItemView::MultiSelection);
    users_->setFlow(QListView::TopToBottom);
    users_->setWrapping(true);
    users_->setResizeMode(QListView::Adjust);
    for (const std::string& entry : BroadcastEntries(core_)) {
        users_->addItem(QString::fromUtf8(entry.data(), static_cast<qsizetype>(entry.size())));
    }

    auto* send = new QPushButton(QStringLiteral("Envoyer"), this);
    auto* close = new QPushButton(QStringLiteral("Fermer"), this);
    close->setDefault(true);
    connect(send, &QPushButton::clicked, this, &BroadcastDialog::Send);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(send);
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Utilisateurs en ligne :"), this));
    layout->addWidget(users_, 1);
    layout->addWidget(new QLabel(QStringLiteral("Message :"), this));
    layout->addWidget(message_);
    layout->addLayout(buttons);
    resize(420, 300);
}

int BroadcastDialog::Send() {
    std::vector<std::string> selected;
    for (int row = 0; row < users_->count(); ++row) {
        if (users_->item(row)->isSelected()) {
            selected.push_back(users_->item(row)->text().toUtf8().toStdString());
        }
    }
    return SendBroadcast(core_, selected, message_->text().toUtf8().toStdString());
}

}  // namespace parlo::server
