// The client's one connection to the server, behind a small interface so the
// session runs against a fake in tests and a QTcpSocket in the program.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace parlo::client {

// What a link reports. A callback may destroy the link that calls it, so a
// link touches nothing of itself after calling one.
class LinkEvents {
  public:
    virtual void OnLinkData(std::string_view bytes) = 0;
    virtual void OnLinkClosed() = 0;

  protected:
    ~LinkEvents() = default;
};

class ServerLink {
  public:
    virtual ~ServerLink() = default;  // closes the connection
    // Connects to the server; true once connected. Reports no events before.
    virtual bool Connect(const std::string& address, int port) = 0;
    // Queues bytes for sending; the count accepted, or -1.
    virtual long long Send(std::string_view bytes) = 0;
};

class LinkFactory {
  public:
    virtual ~LinkFactory() = default;
    virtual std::unique_ptr<ServerLink> CreateLink(LinkEvents& events) = 0;
};

}  // namespace parlo::client
