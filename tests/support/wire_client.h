// A test client speaking the wire protocol over a plain loopback socket, or
// inside TLS on the server's encrypted port: blocking waits for the next
// command, or non-blocking reads for tests that drive several clients from
// one poll loop.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include <openssl/ssl.h>

#include "protocol/codec.h"

namespace parlo::testing {

// zlib form of `text`, as logins and passwords travel.
std::string Blob(std::string_view text);
// "AddNewUser:" with a record of the given fields.
std::string RegisterCommand(std::string_view login, std::string_view password,
                            std::string_view first = "Prénom", std::string_view last = "Nom",
                            std::string_view email = "x@example.org");
// "Connect:" from `computer`.
std::string ConnectCommand(std::string_view login, std::string_view password,
                           std::string_view computer = "poste");

class WireClient {
  public:
    static constexpr std::chrono::milliseconds kWait{5000};

    enum class Transport { kPlain, kTls };

    // With kTls the handshake is made here (the certificate is not checked:
    // tests compare its fingerprint); a failed one leaves it not connected.
    explicit WireClient(uint16_t port, Transport transport = Transport::kPlain);
    ~WireClient();
    WireClient(const WireClient&) = delete;
    WireClient& operator=(const WireClient&) = delete;

    bool Connected() const { return fd_ >= 0; }
    int Fd() const { return fd_; }

    // Writes every byte (false when the connection is gone).
    bool SendRaw(std::string_view bytes);
    // One command as one frame.
    bool Send(std::string_view command);

    // The next command other than a state broadcast (connections coming and
    // going elsewhere cause those at any time).
    std::optional<std::string> Next(std::chrono::milliseconds timeout = kWait);
    // The next command received, or nothing when none came in time or the
    // server closed the connection.
    std::optional<std::string> NextAny(std::chrono::milliseconds timeout = kWait);
    // Skips commands until one starts with `prefix`; returns it (or nothing).
    std::optional<std::string> WaitFor(std::string_view prefix,
                                       std::chrono::milliseconds timeout = kWait);
    // True once the server has closed the connection.
    bool WaitClosed(std::chrono::milliseconds timeout = kWait);

    // Reads what the socket holds now without waiting; false once closed.
    bool ReadAvailable();
    // The oldest command received and not yet taken.
    std::optional<std::string> Pop();

    bool Closed() const { return closed_; }
    // A frame arrived that no receiver accepts (bad framing, a payload that
    // does not uncompress, or a text over 8192 bytes).
    bool ReceivedBadFrame() const { return bad_frame_; }

    // TLS: every byte that crossed the socket, both ways, as it crossed.
    const std::string& Wire() const { return wire_; }
    // TLS: the SHA-256 fingerprint of the server's certificate ("AB:CD:...").
    std::string PeerFingerprint() const;

  private:
    void ReadSome(int flags);
    // The socket is readable, or TLS holds decrypted bytes, within `ms`.
    bool WaitReadable(int ms);
    static long Tap(BIO* bio, int operation, const char* bytes, size_t length, int, long, int rc,
                    size_t* processed);

    int fd_;
    FrameReader reader_;
    std::deque<std::string> received_;
    bool closed_ = false;
    bool bad_frame_ = false;
    SSL_CTX* tls_context_ = nullptr;
    SSL* tls_ = nullptr;
    std::string wire_;
};

}  // namespace parlo::testing
