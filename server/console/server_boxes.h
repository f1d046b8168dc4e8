// The boxes in which the console tells its operator that the server cannot
// run or cannot serve, shown with open() (never a nested event loop).
#pragma once

#include <QMessageBox>
#include <QString>

namespace parlo::server {

// Why the server does not start (another server on the directory, an
// unreadable database); the program ends once it is closed.
QMessageBox* MakeRefusalBox(const QString& reason, QWidget* parent = nullptr);

// The listening socket could not be opened: `reason` names the port and why.
QMessageBox* MakeListenFailureBox(const QString& reason, QWidget* parent);

}  // namespace parlo::server
