// ServerLink over a QTcpSocket, or a QSslSocket for encrypted connections, on
// the program's one thread: connecting never waits, and reading takes the
// server's bytes in bounded steps.
#pragma once

#include <memory>
#include <string>

#include <QAbstractSocket>
#include <QSslCertificate>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

#include "client/core/server_link.h"

namespace parlo::client {

// Why a connection could not be made, as the user is told ("connexion
// refusée").
std::string ConnectFailureText(QAbstractSocket::SocketError error);
// The certificate's SHA-256 digest in uppercase hex, the bytes separated by
// ":"; empty for a null certificate.
std::string CertificateFingerprint(const QSslCertificate& certificate);

class TcpServerLink final : public ServerLink {
  public:
    // The socket holds at most this much unread; once it is full (a paused
    // link), the rest waits in the system's buffers and slows the server.
    static constexpr qint64 kReadBufferBytes = 64 * 1024;
    // A server that vanished without closing (power cut, cable pulled) is
    // probed after this many idle seconds, then every kKeepAliveIntervalS,
    // and the connection ends after kKeepAliveProbes unanswered probes.
    static constexpr int kKeepAliveIdleS = 20;
    static constexpr int kKeepAliveIntervalS = 10;
    static constexpr int kKeepAliveProbes = 3;

    TcpServerLink(LinkEvents& events, int connect_timeout_ms);
    ~TcpServerLink() override;

    // Encrypted connections are TLS 1.2 or later. The server's certificate is
    // judged by the session (OnLinkCertificate), not by certificate
    // authorities: it is usually self-signed.
    void Connect(const std::string& address, int port, Transport transport) override;
    void TrustCertificate() override;
    long long Send(std::string_view bytes) override;
    void PauseReading(bool paused) override;

  private:
    struct DeleteLater {
        void operator()(QTcpSocket* socket) const;
    };

    void CreateSocket(Transport transport);
    void StartConnecting();
    // The handshake met the certificate's errors (a self-signed one): they
    // are ignored for the certificate trusted, otherwise the handshake ends
    // and the session is asked.
    void OnCertificateErrors();
    // The handshake succeeded: with a certificate no one trusted yet (one
    // that certificate authorities accept), the session is asked too.
    void OnEncrypted();
    // Reports the certificate; true when the link still exists and the
    // session trusted it at once.
    bool AskTrust(const std::string& fingerprint);
    // Trusted later: the waiting connection goes on, or one is made again.
    void GoOnTrusted();
    void OnConnected();
    void SetKeepAlive();
    void OnError(QAbstractSocket::SocketError error);
    void OnDisconnected();
    void ReadAvailable();
    // Reports the failure from the event loop, never from inside Connect.
    void FailLater(std::string reason);

    LinkEvents& events_;
    int connect_timeout_ms_;
    std::string address_;
    int port_ = 0;
    std::unique_ptr<QTcpSocket, DeleteLater> socket_;  // made by Connect
    QSslSocket* tls_ = nullptr;                        // the same socket, when encrypted
    // Children of the socket, so that they outlive a callback that destroys
    // this link.
    QTimer* connect_timer_ = nullptr;  // the attempt's time limit, or a failure to report
    QTimer* read_timer_ = nullptr;     // reads what came while paused
    QTimer* trust_timer_ = nullptr;    // goes on once the certificate is trusted
    std::string asked_;                // the fingerprint last reported
    std::string trusted_;              // the fingerprint the session trusted
    bool asking_ = false;              // inside OnLinkCertificate
    // Expires with the link: a callback may destroy it.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    std::string failure_;
    std::string unsent_;  // sent while connecting
    bool connected_ = false;
    bool paused_ = false;
};

class TcpLinkFactory final : public LinkFactory {
  public:
    // A connection attempt gives up after this long.
    static constexpr int kDefaultConnectTimeoutMs = 5000;

    explicit TcpLinkFactory(int connect_timeout_ms = kDefaultConnectTimeoutMs)
        : connect_timeout_ms_(connect_timeout_ms) {}
    std::unique_ptr<ServerLink> CreateLink(LinkEvents& events) override;

  private:
    int connect_timeout_ms_;
};

}  // namespace parlo::client
