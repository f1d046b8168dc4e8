#include "client/core/tcp_server_link.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <QSslConfiguration>

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
        case QAbstractSocket::SslHandshakeFailedError:
            return "échec de la connexion chiffrée";
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

std::string CertificateFingerprint(const QSslCertificate& certificate) {
    if (certificate.isNull()) {
        return {};
    }
    return certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper().toStdString();
}

TcpServerLink::TcpServerLink(LinkEvents& events, int connect_timeout_ms)
    : events_(events), connect_timeout_ms_(connect_timeout_ms) {}

TcpServerLink::~TcpServerLink() = default;

void TcpServerLink::CreateSocket(Transport transport) {
    if (transport == Transport::kEncrypted) {
        tls_ = new QSslSocket;
        socket_.reset(tls_);
    } else {
        socket_.reset(new QTcpSocket);
    }
    socket_->setReadBufferSize(kReadBufferBytes);
    connect_timer_ = new QTimer(socket_.get());
    connect_timer_->setSingleShot(true);
    connect_timer_->callOnTimeout([this] {
        if (failure_.empty()) {
            failure_ = "pas de réponse en " + std::to_string(connect_timeout_ms_ / 1000) + " s";
        }
        socket_->abort();
        events_.OnLinkFailed(failure_);  // may destroy this link
    });
    read_timer_ = new QTimer(socket_.get());
    read_timer_->setSingleShot(true);
    read_timer_->setInterval(0);
    read_timer_->callOnTimeout([this] { ReadAvailable(); });
    trust_timer_ = new QTimer(socket_.get());
    trust_timer_->setSingleShot(true);
    trust_timer_->setInterval(0);
    trust_timer_->callOnTimeout([this] { GoOnTrusted(); });
}

void TcpServerLink::Connect(const std::string& address, int port, Transport transport) {
    CreateSocket(transport);
    if (port <= 0 || port > 65535 || address.empty()) {
        FailLater("adresse ou port non valide");
        return;
    }
    address_ = address;
    port_ = port;
    QTcpSocket* socket = socket_.get();
    QObject::connect(socket, &QTcpSocket::errorOccurred,
                     [this](QAbstractSocket::SocketError error) { OnError(error); });
    QObject::connect(socket, &QTcpSocket::readyRead, [this] { ReadAvailable(); });
    QObject::connect(socket, &QTcpSocket::disconnected, [this] { OnDisconnected(); });
    if (tls_ == nullptr) {
        QObject::connect(socket, &QTcpSocket::connected, [this] { OnConnected(); });
    } else {
        QSslConfiguration config = tls_->sslConfiguration();
        config.setProtocol(QSsl::TlsV1_2OrLater);
        tls_->setSslConfiguration(config);
        QObject::connect(tls_, &QSslSocket::sslErrors, [this] { OnCertificateErrors(); });
        QObject::connect(tls_, &QSslSocket::encrypted, [this] { OnEncrypted(); });
    }
    StartConnecting();
}

void TcpServerLink::StartConnecting() {
    connect_timer_->start(connect_timeout_ms_);
    const QString host = QString::fromStdString(address_);
    const auto port = static_cast<quint16>(port_);
    if (tls_ != nullptr) {
        tls_->connectToHostEncrypted(host, port);
    } else {
        socket_->connectToHost(host, port);
    }
}

void TcpServerLink::OnCertificateErrors() {
    const std::string fingerprint = CertificateFingerprint(tls_->peerCertificate());
    if (fingerprint.empty()) {
        FailLater("le serveur ne présente aucun certificat");
    } else if (fingerprint == trusted_ || AskTrust(fingerprint)) {
        tls_->ignoreSslErrors();  // only here, for this certificate
    }
}

void TcpServerLink::OnEncrypted() {
    const std::string fingerprint = CertificateFingerprint(tls_->peerCertificate());
    if (fingerprint == trusted_ || AskTrust(fingerprint)) {
        OnConnected();
    }
}

bool TcpServerLink::AskTrust(const std::string& fingerprint) {
    connect_timer_->stop();  // the user may take a while to answer
    asked_ = fingerprint;
    const std::weak_ptr<int> alive = alive_;
    asking_ = true;
    events_.OnLinkCertificate(fingerprint);  // may destroy this link
    if (alive.expired()) {
        return false;
    }
    asking_ = false;
    return trusted_ == fingerprint;
}

void TcpServerLink::TrustCertificate() {
    trusted_ = asked_;
    if (!asking_) {
        trust_timer_->start();
    }
}

void TcpServerLink::GoOnTrusted() {
    if (tls_->isEncrypted() && tls_->state() == QAbstractSocket::ConnectedState) {
        OnConnected();
        return;
    }
    // The handshake ended when the certificate was first met: a new one,
    // which goes through now.
    tls_->abort();
    failure_.clear();
    StartConnecting();
}

long long TcpServerLink::Send(std::string_view bytes) {
    if (socket_ == nullptr) {
        return -1;
    }
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
    // While the session weighs the certificate, the connection is made again
    // once it is trusted.
    const bool weighing = !asked_.empty() && trusted_ != asked_;
    if (!connected_ && failure_.empty() && !weighing) {
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
