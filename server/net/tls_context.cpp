#include "server/net/tls_context.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <system_error>

#include "server/core/userdb_file.h"

namespace parlo::server {
namespace {

// The self-signed certificate stays valid for 30 years: clients pin its
// fingerprint instead of trusting an authority, so a renewal would only make
// each of them ask again.
constexpr long kSelfSignedDays = 30L * 365;
// Suites of TLS 1.2 (1.3 has its own, all forward-secret): ephemeral keys
// and authenticated encryption only.
constexpr const char* kTls12Ciphers = "ECDHE+AESGCM:ECDHE+CHACHA20";

struct Free {
    void operator()(BIO* p) const { BIO_free(p); }
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
    void operator()(X509* p) const { X509_free(p); }
    void operator()(X509_EXTENSION* p) const { X509_EXTENSION_free(p); }
    void operator()(BIGNUM* p) const { BN_free(p); }
    void operator()(SSL_CTX* p) const { SSL_CTX_free(p); }
};
template <typename T>
using Owned = std::unique_ptr<T, Free>;

// OpenSSL's first queued reason, then the queue emptied: its errors must
// not linger into another connection's.
std::string OpensslReason() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
    return reason != nullptr ? reason : "?";
}

Owned<SSL_CTX> NewServerContext() {
    Owned<SSL_CTX> context(SSL_CTX_new(TLS_server_method()));
    if (!context) {
        return nullptr;
    }
    SSL_CTX* ctx = context.get();
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_options(ctx, SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE |
                                 SSL_OP_NO_TICKET | SSL_OP_NO_COMPRESSION);
    SSL_CTX_set_cipher_list(ctx, kTls12Ciphers);
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_OFF);
    SSL_CTX_set_num_tickets(ctx, 0);
    // The chain is the one given (or none): nothing to look up per handshake.
    SSL_CTX_set_mode(ctx, SSL_MODE_RELEASE_BUFFERS | SSL_MODE_NO_AUTO_CHAIN);
    return context;
}

std::string HexFingerprint(const X509* certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (certificate == nullptr || X509_digest(certificate, EVP_sha256(), digest, &length) != 1) {
        return {};
    }
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : ":%02X", digest[i]);
        text += byte;
    }
    return text;
}

// This machine's name when it can stand in a certificate, else "localhost".
std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
        return "localhost";
    }
    for (const char* c = name; *c != '\0'; ++c) {
        if (!(std::isalnum(static_cast<unsigned char>(*c)) || *c == '-' || *c == '.')) {
            return "localhost";
        }
    }
    return name;
}

bool AddExtension(X509* certificate, int nid, const std::string& value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, certificate, certificate, nullptr, nullptr, 0);
    Owned<X509_EXTENSION> extension(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str()));
    return extension && X509_add_ext(certificate, extension.get(), -1) == 1;
}

// A new P-256 key and a certificate for it, signed by itself.
bool MakeSelfSigned(Owned<EVP_PKEY>& key, Owned<X509>& certificate) {
    key.reset(EVP_EC_gen("P-256"));
    certificate.reset(X509_new());
    Owned<BIGNUM> serial(BN_new());
    if (!key || !certificate || !serial || !BN_rand(serial.get(), 120, BN_RAND_TOP_ANY, 0)) {
        return false;
    }
    X509* cert = certificate.get();
    const std::string host = HostName();
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>("Parlomatic"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(host.c_str()), -1, -1, 0);
    return X509_set_version(cert, X509_VERSION_3) == 1 &&
           BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(cert)) != nullptr &&
           X509_set_issuer_name(cert, name) == 1 &&
           X509_gmtime_adj(X509_getm_notBefore(cert), -3600) != nullptr &&
           X509_time_adj_ex(X509_getm_notAfter(cert), kSelfSignedDays, 0, nullptr) != nullptr &&
           X509_set_pubkey(cert, key.get()) == 1 &&
           AddExtension(cert, NID_basic_constraints, "critical,CA:FALSE") &&
           AddExtension(cert, NID_key_usage, "critical,digitalSignature") &&
           AddExtension(cert, NID_ext_key_usage, "serverAuth") &&
           AddExtension(cert, NID_subject_alt_name, "DNS:" + host) &&
           X509_sign(cert, key.get(), EVP_sha256()) > 0;
}

// Key then certificate, as PEM text.
std::string PemOf(EVP_PKEY* key, X509* certificate) {
    Owned<BIO> out(BIO_new(BIO_s_mem()));
    if (!out ||
        PEM_write_bio_PrivateKey(out.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1 ||
        PEM_write_bio_X509(out.get(), certificate) != 1) {
        return {};
    }
    char* data = nullptr;
    const long length = BIO_get_mem_data(out.get(), &data);
    return std::string(data, static_cast<size_t>(length));
}

// Writes `pem` as `path`, whole or not at all (a temporary renamed over).
bool WriteAtomically(const std::filesystem::path& path, const std::string& pem,
                     std::string& error) {
    std::filesystem::path temporary = path;
    temporary += ".tmp";
    return WriteDurably(temporary, pem, error) && Replace(temporary, path, error);
}

}  // namespace

TlsContext::TlsContext(SSL_CTX* context)
    : context_(context), fingerprint_(HexFingerprint(SSL_CTX_get0_certificate(context))) {}

TlsContext::~TlsContext() {
    SSL_CTX_free(context_);
}

std::unique_ptr<TlsContext> TlsContext::FromFiles(const std::filesystem::path& certificate,
                                                  const std::filesystem::path& key,
                                                  std::string& error) {
    Owned<SSL_CTX> context = NewServerContext();
    if (!context) {
        error = "TLS indisponible : " + OpensslReason();
        return nullptr;
    }
    if (SSL_CTX_use_certificate_chain_file(context.get(), certificate.c_str()) != 1) {
        error = "Certificat illisible (" + certificate.string() + ") : " + OpensslReason();
        return nullptr;
    }
    if (SSL_CTX_use_PrivateKey_file(context.get(), key.c_str(), SSL_FILETYPE_PEM) != 1) {
        error = "Clé privée illisible (" + key.string() + ") : " + OpensslReason();
        return nullptr;
    }
    if (SSL_CTX_check_private_key(context.get()) != 1) {
        ERR_clear_error();
        error =
            "La clé " + key.string() + " ne correspond pas au certificat " + certificate.string();
        return nullptr;
    }
    return std::unique_ptr<TlsContext>(new TlsContext(context.release()));
}

std::unique_ptr<TlsContext> TlsContext::SelfSigned(const std::filesystem::path& directory,
                                                   std::string& error, bool* created) {
    const std::filesystem::path path = directory / kSelfSignedFile;
    if (created != nullptr) {
        *created = false;
    }
    std::error_code missing;
    if (!std::filesystem::exists(path, missing) && !missing) {
        Owned<EVP_PKEY> key;
        Owned<X509> certificate;
        if (!MakeSelfSigned(key, certificate)) {
            error = "Impossible de créer le certificat : " + OpensslReason();
            return nullptr;
        }
        const std::string pem = PemOf(key.get(), certificate.get());
        std::string reason;
        if (pem.empty() || !WriteAtomically(path, pem, reason)) {
            error = "Impossible d'écrire " + path.string() + " : " + reason;
            return nullptr;
        }
        if (created != nullptr) {
            *created = true;
        }
    }
    return FromFiles(path, path, error);
}

}  // namespace parlo::server
