// Stand-ins until the dialogs land.
#include "client/dialogs/dialogs.h"

#include "client/session/session.h"

namespace parlo::client {

void OpenSettingsDialog(Session& /*session*/, QWidget* /*parent*/) {}

void OpenFindContactsDialog(Session& /*session*/, QWidget* /*parent*/) {}

}  // namespace parlo::client
