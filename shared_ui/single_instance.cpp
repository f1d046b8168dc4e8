#include "shared_ui/single_instance.h"

#include <QLocalSocket>

#include <unistd.h>

namespace parlo::ui {
namespace {

constexpr char kShowRequest[] = "show\n";

}  // namespace

QString PerUserInstanceName(const QString& program) {
    return QStringLiteral("%1-%2").arg(program).arg(static_cast<qulonglong>(getuid()));
}

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), name_(std::move(name)) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            emit ShowRequested();
        }
    });
}

bool SingleInstance::AskRunningCopyToShow(int timeout_ms) {
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(timeout_ms)) {
        return false;
    }
    socket.write(kShowRequest);
    socket.waitForBytesWritten(timeout_ms);
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::Listen() {
    if (server_.listen(name_)) {
        return true;
    }
    QLocalServer::removeServer(name_);
    return server_.listen(name_);
}

}  // namespace parlo::ui
