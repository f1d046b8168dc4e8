// The client's dialogs, opened over their parent window: each returns at once
// (the dialog, or none) and deletes itself when closed.
#pragma once

class QDialog;
class QWidget;

namespace parlo::client {

class Session;

// "Paramètres": credentials, server address and port, sound; "Test",
// "Nouveau" (the new-user dialog) and "OK".
QDialog* OpenSettingsDialog(Session& session, QWidget* parent);

// "Ajouter des contacts": search the server's accounts and ask to add one;
// without a connection, the not-connected box instead.
QDialog* OpenFindContactsDialog(Session& session, QWidget* parent);

// "Nouvel utilisateur", from the settings dialog's "Nouveau".
QDialog* OpenNewUserDialog(Session& session, QWidget* parent);

}  // namespace parlo::client
