#include "server/console/prompts.h"

#include <QMessageBox>

namespace parlo::server {

bool MessageBoxPrompts::Confirm(QWidget* parent, const QString& caption, const QString& text) {
    // Yes is the default button: Enter answers Yes.
    return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

void MessageBoxPrompts::Warn(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox::warning(parent, caption, text, QMessageBox::Ok);
}

}  // namespace parlo::server
