// ServerLink over a QTcpSocket on the program's one thread.
#pragma once

#include <memory>

#include <QTcpSocket>

#include "client/session/server_link.h"

namespace parlo::client {

class TcpServerLink final : public ServerLink {
  public:
    TcpServerLink(LinkEvents& events, int connect_timeout_ms);
    ~TcpServerLink() override;

    bool Connect(const std::string& address, int port) override;
    long long Send(std::string_view bytes) override;

  private:
    struct DeleteLater {
        void operator()(QTcpSocket* socket) const;
    };

    void OnReadyRead();
    void OnDisconnected();

    LinkEvents& events_;
    int connect_timeout_ms_;
    std::unique_ptr<QTcpSocket, DeleteLater> socket_;
};

class TcpLinkFactory final : public LinkFactory {
  public:
    // Connecting waits at most this long; the server is on the local network.
    static constexpr int kDefaultConnectTimeoutMs = 3000;

    explicit TcpLinkFactory(int connect_timeout_ms = kDefaultConnectTimeoutMs)
        : connect_timeout_ms_(connect_timeout_ms) {}
    std::unique_ptr<ServerLink> CreateLink(LinkEvents& events) override;

  private:
    int connect_timeout_ms_;
};

}  // namespace parlo::client
