// The client's one connection to the server, behind a small interface so the
// session runs against a fake in tests and a QTcpSocket (or, encrypted, a
// QSslSocket) in the program.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace parlo::client {

// What a link reports, never from inside one of its own calls. A callback may
// destroy the link that calls it, so a link touches nothing of itself after
// calling one.
class LinkEvents {
  public:
    virtual void OnLinkConnected() = 0;
    // An encrypted link met a server whose certificate has this SHA-256
    // fingerprint ("AB:01:..."). The link sends nothing and waits: it goes on
    // after TrustCertificate; to refuse, the session destroys it.
    virtual void OnLinkCertificate(std::string_view fingerprint) = 0;
    // The attempt failed; `reason` says why, in French ("connexion refusée").
    virtual void OnLinkFailed(std::string_view reason) = 0;
    virtual void OnLinkData(std::string_view bytes) = 0;
    virtual void OnLinkClosed() = 0;

  protected:
    ~LinkEvents() = default;
};

// Plain frames, or the same frames inside TLS.
enum class Transport { kPlain, kEncrypted };

class ServerLink {
  public:
    virtual ~ServerLink() = default;  // closes the connection
    // Starts connecting and returns at once; OnLinkConnected or OnLinkFailed
    // follows (encrypted, after OnLinkCertificate and TrustCertificate).
    virtual void Connect(const std::string& address, int port, Transport transport) = 0;
    // The certificate last reported is trusted: the connection goes on (or is
    // made again, if the handshake ended while the user was asked), and what
    // was sent meanwhile goes once it is through. Never reports from inside.
    virtual void TrustCertificate() = 0;
    // Queues bytes for sending (also while connecting); the count accepted,
    // or -1.
    virtual long long Send(std::string_view bytes) = 0;
    // While paused the link reads nothing, so the server's bytes wait in the
    // system's buffers; resuming delivers what came meanwhile.
    virtual void PauseReading(bool paused) = 0;
};

class LinkFactory {
  public:
    virtual ~LinkFactory() = default;
    virtual std::unique_ptr<ServerLink> CreateLink(LinkEvents& events) = 0;
};

}  // namespace parlo::client
