// One encrypted connection's TLS state, between the socket and the frames:
// what arrives is fed in and comes out decrypted; what the server sends is
// encrypted into bytes for the socket. It never touches the socket itself
// (the network adapter reads and writes it on its loop): a BIO of its own
// reads from the bytes being fed and writes into an output buffer.
#pragma once

#include <openssl/ssl.h>

#include <memory>
#include <string>
#include <string_view>

namespace parlo::server {

class TlsStream {
  public:
    // The server side of a new connection; nothing when OpenSSL is out of
    // memory.
    static std::unique_ptr<TlsStream> Accept(SSL_CTX* context);
    ~TlsStream();
    TlsStream(const TlsStream&) = delete;
    TlsStream& operator=(const TlsStream&) = delete;

    // Takes every byte that arrived: handshake messages are answered (see
    // TakeOutput), application data is decrypted and appended to `plain`.
    // False when the connection must close: a failed handshake or record
    // (Failure() says why), or the peer's closing notice.
    bool Receive(std::string_view bytes, std::string& plain);
    // The handshake completed: data may flow both ways.
    bool Established() const { return SSL_is_init_finished(ssl_) == 1; }
    // Encrypts `queued` (the plain bytes waiting to be sent, only once
    // established), then, with `closing`, the closing notice, and replaces
    // `queued` by every byte now due on the socket, handshake messages
    // included. False when OpenSSL refuses.
    bool Seal(std::string& queued, bool closing);
    // Bytes wait to be sent (a handshake answer).
    bool HasOutput() const { return !output_.empty(); }
    // Why the last Receive returned false, in French.
    const std::string& Failure() const { return failure_; }

  private:
    explicit TlsStream(SSL* ssl);
    void NoteFailure(int error);

    static int BioRead(BIO* bio, char* out, size_t size, size_t* read);
    static int BioWrite(BIO* bio, const char* in, size_t size, size_t* written);
    static long BioControl(BIO* bio, int command, long number, void* pointer);
    static BIO_METHOD* Method();

    SSL* ssl_;
    std::string_view input_;  // the part of the bytes being fed not yet read
    std::string output_;      // encrypted bytes not yet handed to the socket
    std::string failure_;
    bool shut_ = false;  // closing notice written
};

}  // namespace parlo::server
