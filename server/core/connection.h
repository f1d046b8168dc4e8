// The server core's view of one accepted client connection. The network
// adapter implements it; tests use fakes.
#pragma once

#include <string_view>

namespace parlo::server {

class Connection {
  public:
    virtual ~Connection() = default;

    // Queues bytes (whole frames) for sending; never blocks.
    virtual void Send(std::string_view bytes) = 0;

    // Closes the socket at the core's request (eviction, account deleted,
    // shutdown). The core has already forgotten the connection: the adapter
    // must not report OnClosed for it afterwards, and may free it once the
    // current callback has returned.
    virtual void Close() = 0;
};

}  // namespace parlo::server
