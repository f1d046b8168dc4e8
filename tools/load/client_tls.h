// The client side of TLS for parlo-load: OpenSSL over two memory BIOs, so
// the pool's libuv loop carries the bytes and nothing blocks.
#pragma once

#include <openssl/ssl.h>

#include <string>
#include <string_view>

namespace parlo::load {

class ClientTls {
  public:
    // The certificate is not checked: the tool measures, it trusts the
    // server it was pointed at on 127.0.0.1. Starts the handshake.
    explicit ClientTls(SSL_CTX* context);
    ~ClientTls();
    ClientTls(const ClientTls&) = delete;
    ClientTls& operator=(const ClientTls&) = delete;

    // A client context for every connection of a run.
    static SSL_CTX* NewContext();

    // Feeds what arrived; decrypted bytes are appended to `plain`. False
    // when the handshake or a record failed, or the server closed TLS.
    bool Receive(std::string_view bytes, std::string& plain);
    bool Established() const { return SSL_is_init_finished(ssl_) == 1; }
    // Encrypts `plain` (once established).
    bool Seal(std::string_view plain);
    // The bytes due on the socket (handshake messages and records).
    std::string TakeOutput();

  private:
    SSL* ssl_;
    BIO* in_;   // owned by ssl_
    BIO* out_;  // owned by ssl_
};

}  // namespace parlo::load
