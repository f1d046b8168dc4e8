#include "server/console/server_boxes.h"

namespace parlo::server {

QMessageBox* MakeRefusalBox(const QString& reason, QWidget* parent) {
    return new QMessageBox(QMessageBox::Critical, QStringLiteral("Server"), reason,  // parent owns
                           QMessageBox::Ok, parent);
}

QMessageBox* MakeListenFailureBox(const QString& reason, QWidget* parent) {
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Server"), reason,
                                QMessageBox::Ok, parent);  // parent owns it
    box->setInformativeText(QStringLiteral("Aucun client ne peut se connecter à cette console."));
    return box;
}

}  // namespace parlo::server
