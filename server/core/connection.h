// The server core's view of one accepted client connection. The network
// adapter implements it; tests use fakes.
#pragma once

#include <cstddef>
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

    // Bytes queued and not yet written to the peer.
    virtual size_t QueuedBytes() const { return 0; }
    // Asks for one OnDrained event once everything queued has been written.
    virtual void NotifyWhenDrained() {}
    // Stops (true) or resumes (false) reading from the peer: the kernel
    // holds what it sends meanwhile.
    virtual void HoldReading(bool /*hold*/) {}
    // The connection is encrypted (the TLS port).
    virtual bool Encrypted() const { return false; }
};

}  // namespace parlo::server
