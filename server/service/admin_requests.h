// The administration commands of the control socket, carried out through the
// same operations as the console's administration dialog (same checks, same
// effects on connected users, same saves): the answer is given only once the
// change is saved.
//
//   list                                   the accounts, in user-list order
//   who                                    the logged-in connections
//   add LOGIN PASSWORD FIRST LAST EMAIL    "Ajouter"
//   passwd LOGIN PASSWORD                  "Modification" with a new password
//   delete LOGIN                           "Supprimer"
//   broadcast TEXT                         the broadcast to every user online
#pragma once

#include <span>
#include <string>

#include "server/service/control_protocol.h"

namespace parlo::server {

class ServerCore;

ControlAnswer RunAdminRequest(ServerCore& core, std::span<const std::string> fields);

}  // namespace parlo::server
