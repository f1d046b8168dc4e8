#include "client/session/tcp_server_link.h"

#include <QByteArray>
#include <QHostAddress>

namespace parlo::client {

void TcpServerLink::DeleteLater::operator()(QTcpSocket* socket) const {
    // The socket may be closed from inside one of its own signals.
    QObject::disconnect(socket, nullptr, nullptr, nullptr);
    socket->flush();
    socket->abort();
    socket->deleteLater();
}

TcpServerLink::TcpServerLink(LinkEvents& events, int connect_timeout_ms)
    : events_(events), connect_timeout_ms_(connect_timeout_ms), socket_(new QTcpSocket) {}

TcpServerLink::~TcpServerLink() = default;

bool TcpServerLink::Connect(const std::string& address, int port) {
    if (port <= 0 || port > 65535 || address.empty()) {
        return false;
    }
    socket_->connectToHost(QString::fromStdString(address), static_cast<quint16>(port));
    if (!socket_->waitForConnected(connect_timeout_ms_)) {
        socket_->abort();
        return false;
    }
    QObject::connect(socket_.get(), &QTcpSocket::readyRead, [this] { OnReadyRead(); });
    QObject::connect(socket_.get(), &QTcpSocket::disconnected, [this] { OnDisconnected(); });
    return true;
}

long long TcpServerLink::Send(std::string_view bytes) {
    if (socket_->state() != QAbstractSocket::ConnectedState) {
        return -1;
    }
    return socket_->write(bytes.data(), static_cast<qint64>(bytes.size()));
}

void TcpServerLink::OnReadyRead() {
    const QByteArray bytes = socket_->readAll();
    if (!bytes.isEmpty()) {
        // May destroy this link: nothing of it is touched afterwards.
        events_.OnLinkData(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    }
}

void TcpServerLink::OnDisconnected() {
    events_.OnLinkClosed();
}

std::unique_ptr<ServerLink> TcpLinkFactory::CreateLink(LinkEvents& events) {
    return std::make_unique<TcpServerLink>(events, connect_timeout_ms_);
}

}  // namespace parlo::client
