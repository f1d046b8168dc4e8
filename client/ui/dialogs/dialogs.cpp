#include "client/ui/dialogs/dialogs.h"

#include "client/core/session.h"
#include "client/ui/dialogs/find_contacts_dialog.h"
#include "client/ui/dialogs/new_user_dialog.h"
#include "client/ui/dialogs/settings_dialog.h"

namespace parlo::client {

namespace {

// Shows `dialog` modal to its parent window and returns at once; it deletes
// itself when closed.
QDialog* OpenOver(QDialog* dialog) {
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
    return dialog;
}

}  // namespace

QDialog* OpenSettingsDialog(Session& session, QWidget* parent) {
    return OpenOver(new SettingsDialog(session, parent));
}

QDialog* OpenFindContactsDialog(Session& session, QWidget* parent) {
    if (!session.ConfirmConnected()) {
        return nullptr;
    }
    return OpenOver(new FindContactsDialog(session, parent));
}

QDialog* OpenNewUserDialog(Session& session, QWidget* parent) {
    return OpenOver(new NewUserDialog(session, parent));
}

}  // namespace parlo::client
