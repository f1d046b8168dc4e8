#include "client/core/tcp_server_link.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <QByteArray>

namespace parlo::client {

std::string ConnectFailureText(QAbstractSocket::SocketError error) {
    switch (error) {
        case QAbstractSocket::ConnectionRefusedError:
            return "connexion refusée";
        case QAbstractSocket::HostNotFoundError:
            return "adresse introuvable";
        case QAbstractSocket::NetworkError:
            return "réseau inaccessible";
        case QAbstractSocket::SocketAccessError:
            return "accès refusé";
        case QAbstractSocket::SocketTimeoutError:
            return "pas de réponse";
        default:
            return "erreur réseau";
    }
}

void TcpServerLink::DeleteLater::operator()(QTcpSocket* socket) const {
    // The socket may be closed from inside one of its own signals or of its
    // timers'.
    for (QTimer* timer : socket->findChildren<QTimer*>(Qt::FindDirectChildrenOnly)) {
        timer->stop();
        QObject::disconnect(timer, nullptr, nullptr, nullptr);
    }
    QObject::disconnect(socket, nullptr, nullptr, nullptr);
    socket->flush();
    socket->abort();
    socket->deleteLater();
}

TcpServerLink::TcpServerLink(LinkEvents& events, int connect_timeout_ms)
    : events_(events),
      connect_timeout_ms_(connect_timeout_ms),
      socket_(new QTcpSocket),
      connect_timer_(new QTimer(socket_.get())),
      read_timer_(new QTimer(socket_.get())) {
    socket_->setReadBufferSize(kReadBufferBytes);
    connect_timer_->setSingleShot(true);
    connect_timer_->callOnTimeout([this] {
        if (failure_.empty()) {
            failure_ = "pas de réponse en " + std::to_string(connect_timeout_ms_ / 1000) + " s";
        }
        socket_->abort();
        events_.OnLinkFailed(failure_);  // may destroy this link
    });
    read_timer_->setSingleShot(true);
    read_timer_->setInterval(0);
    read_timer_->callOnTimeout([this] { ReadAvailable(); });
}

TcpServerLink::~TcpServerLink() = default;

void TcpServerLink::Connect(const std::string& address, int port) {
    if (port <= 0 || port > 65535 || address.empty()) {
        FailLater("adresse ou port non valide");
        return;
    }
    QTcpSocket* socket = socket_.get();
    QObject::connect(socket, &QTcpSocket::connected, [this] { OnConnected(); });
    QObject::connect(socket, &QTcpSocket::errorOccurred,
                     [this](QAbstractSocket::SocketError error) { OnError(error); });
    QObject::connect(socket, &QTcpSocket::readyRead, [this] { ReadAvailable(); });
    QObject::connect(socket, &QTcpSocket::disconnected, [this] { OnDisconnected(); });
    connect_timer_->start(connect_timeout_ms_);
    socket->connectToHost(QString::fromStdString(address), static_cast<quint16>(port));
}

long long TcpServerLink::Send(std::string_view bytes) {
    if (!connected_) {
        if (!failure_.empty() || socket_->state() == QAbstractSocket::UnconnectedState) {
            return -1;
        }
        unsent_.append(bytes);  // goes once connected
        return static_cast<long long>(bytes.size());
    }
    if (socket_->state() != QAbstractSocket::ConnectedState) {
        return -1;
    }
    return socket_->write(bytes.data(), static_cast<qint64>(bytes.size()));
}

void TcpServerLink::PauseReading(bool paused) {
    paused_ = paused;
    if (!paused_ && connected_ && socket_->bytesAvailable() > 0) {
        read_timer_->start();  // no new signal comes for bytes already there
    }
}

void TcpServerLink::SetKeepAlive() {
    socket_->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    const auto fd = static_cast<int>(socket_->socketDescriptor());
    const int idle = kKeepAliveIdleS;
    const int interval = kKeepAliveIntervalS;
    const int probes = kKeepAliveProbes;
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
}

void TcpServerLink::OnConnected() {
    connected_ = true;
    connect_timer_->stop();
    SetKeepAlive();
    socket_->write(unsent_.data(), static_cast<qint64>(unsent_.size()));
    unsent_.clear();
    events_.OnLinkConnected();
}

void TcpServerLink::OnError(QAbstractSocket::SocketError error) {
    if (!connected_ && failure_.empty()) {
        FailLater(ConnectFailureText(error));
    }
}

void TcpServerLink::OnDisconnected() {
    if (connected_) {
        events_.OnLinkClosed();
    }
}

void TcpServerLink::ReadAvailable() {
    if (paused_ || !connected_) {
        return;
    }
    const QByteArray bytes = socket_->readAll();  // at most the read buffer's size
    if (!bytes.isEmpty()) {
        // May destroy this link: nothing of it is touched afterwards.
        events_.OnLinkData(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    }
}

void TcpServerLink::FailLater(std::string reason) {
    failure_ = std::move(reason);
    connect_timer_->start(0);
}

std::unique_ptr<ServerLink> TcpLinkFactory::CreateLink(LinkEvents& events) {
    return std::make_unique<TcpServerLink>(events, connect_timeout_ms_);
}

}  // namespace parlo::client
