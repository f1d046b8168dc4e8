// The client's modal dialogs, opened by the main window.
#pragma once

class QWidget;

namespace parlo::client {

class Session;

// "Paramètres": credentials, server address and port, sound; "Test",
// "Nouveau" (the new-user dialog) and "OK".
void OpenSettingsDialog(Session& session, QWidget* parent);

// "Ajouter des contacts": search the server's accounts and ask to add one;
// without a connection, the not-connected box instead.
void OpenFindContactsDialog(Session& session, QWidget* parent);

}  // namespace parlo::client
