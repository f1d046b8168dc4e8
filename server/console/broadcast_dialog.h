// "Brodcast": the operator sends a short text to chosen connected users.
#pragma once

#include <QDialog>

class QLineEdit;
class QListWidget;

namespace parlo::server {

class ServerCore;

class BroadcastDialog : public QDialog {
    Q_OBJECT

  public:
    explicit BroadcastDialog(ServerCore& core, QWidget* parent = nullptr);

    // "Envoyer": returns the number of frames sent.
    int Send();

    QListWidget& Users() { return *users_; }
    QLineEdit& MessageField() { return *message_; }

  private:
    ServerCore& core_;
    QListWidget* users_;
    QLineEdit* message_;
};

}  // namespace parlo::server
