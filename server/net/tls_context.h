// The server's TLS identity and settings: one SSL_CTX shared by every
// encrypted connection, serving either the certificate named on the command
// line or the self-signed one kept in the data directory.
//
// TLS 1.2 at least (1.3 preferred), forward-secret suites only, no
// renegotiation, no session cache nor tickets (nothing grows with the number
// of clients), and the record buffers of idle connections released.
#pragma once

#include <openssl/ssl.h>

#include <filesystem>
#include <memory>
#include <string>

namespace parlo::server {

// The self-signed certificate and its key, in one PEM file of the data
// directory (mode 0600).
inline constexpr const char* kSelfSignedFile = "ServerTLS.pem";

class TlsContext {
  public:
    // The certificate chain and key of two PEM files. Nothing, with `error`
    // set (in French), when they cannot be read or do not belong together.
    static std::unique_ptr<TlsContext> FromFiles(const std::filesystem::path& certificate,
                                                 const std::filesystem::path& key,
                                                 std::string& error);
    // kSelfSignedFile of `directory`, made first when it does not exist (an
    // ECDSA P-256 key and a certificate naming this host). A file that
    // exists but cannot be used is never replaced: nothing, with `error`.
    // `created` tells whether the file was made now.
    static std::unique_ptr<TlsContext> SelfSigned(const std::filesystem::path& directory,
                                                  std::string& error, bool* created = nullptr);

    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    SSL_CTX* Get() const { return context_; }
    // SHA-256 of the served certificate: 32 bytes in uppercase hexadecimal
    // separated by colons ("AB:CD:...").
    const std::string& Fingerprint() const { return fingerprint_; }

  private:
    explicit TlsContext(SSL_CTX* context);

    SSL_CTX* context_;
    std::string fingerprint_;
};

}  // namespace parlo::server
