// ServerLink over a QTcpSocket on the program's one thread: connecting never
// waits, and reading takes the server's bytes in bounded steps.
#pragma once

#include <memory>
#include <string>

#include <QAbstractSocket>
#include <QTcpSocket>
#include <QTimer>

#include "client/core/server_link.h"

namespace parlo::client {

// Why a connection could not be made, as the user is told ("connexion
// refusée").
std::string ConnectFailureText(QAbstractSocket::SocketError error);

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

    void Connect(const std::string& address, int port) override;
    long long Send(std::string_view bytes) override;
    void PauseReading(bool paused) override;

  private:
    struct DeleteLater {
        void operator()(QTcpSocket* socket) const;
    };

    void OnConnected();
    void SetKeepAlive();
    void OnError(QAbstractSocket::SocketError error);
    void OnDisconnected();
    void ReadAvailable();
    // Reports the failure from the event loop, never from inside Connect.
    void FailLater(std::string reason);

    LinkEvents& events_;
    int connect_timeout_ms_;
    std::unique_ptr<QTcpSocket, DeleteLater> socket_;
    // Children of the socket, so that they outlive a callback that destroys
    // this link.
    QTimer* connect_timer_;  // the attempt's time limit, or a failure to report
    QTimer* read_timer_;     // reads what came while paused
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
