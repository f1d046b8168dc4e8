#include "client/dialogs/dialogs.h"

#include "client/dialogs/find_contacts_dialog.h"
#include "client/dialogs/settings_dialog.h"
#include "client/session/session.h"

namespace parlo::client {

void OpenSettingsDialog(Session& session, QWidget* parent) {
    SettingsDialog dialog(session, parent);
    dialog.exec();
}

void OpenFindContactsDialog(Session& session, QWidget* parent) {
    if (!session.ConfirmConnected()) {
        return;
    }
    FindContactsDialog dialog(session, parent);
    dialog.exec();
}

}  // namespace parlo::client
