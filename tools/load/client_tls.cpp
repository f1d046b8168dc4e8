#include "tools/load/client_tls.h"

#include <openssl/err.h>

namespace parlo::load {

SSL_CTX* ClientTls::NewContext() {
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    if (context != nullptr) {
        SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
        SSL_CTX_set_mode(context, SSL_MODE_RELEASE_BUFFERS);
        // No chain to check: the tool trusts the server it was started
        // against (the handshake's signature is still checked).
        SSL_CTX_set_cert_verify_callback(
            context, [](X509_STORE_CTX*, void*) { return 1; }, nullptr);
    }
    return context;
}

ClientTls::ClientTls(SSL_CTX* context)
    : ssl_(SSL_new(context)), in_(BIO_new(BIO_s_mem())), out_(BIO_new(BIO_s_mem())) {
    SSL_set_bio(ssl_, in_, out_);
    SSL_set_connect_state(ssl_);
    SSL_do_handshake(ssl_);  // the ClientHello, waiting in out_
    ERR_clear_error();
}

ClientTls::~ClientTls() {
    SSL_free(ssl_);
}

bool ClientTls::Receive(std::string_view bytes, std::string& plain) {
    BIO_write(in_, bytes.data(), static_cast<int>(bytes.size()));
    char chunk[16 * 1024];
    while (true) {
        size_t read = 0;
        const int rc = SSL_read_ex(ssl_, chunk, sizeof chunk, &read);
        if (rc == 1) {
            plain.append(chunk, read);
            continue;
        }
        const int error = SSL_get_error(ssl_, rc);
        ERR_clear_error();
        return error == SSL_ERROR_WANT_READ;
    }
}

bool ClientTls::Seal(std::string_view plain) {
    size_t written = 0;
    const bool ok = plain.empty() || SSL_write_ex(ssl_, plain.data(), plain.size(), &written) == 1;
    ERR_clear_error();
    return ok;
}

std::string ClientTls::TakeOutput() {
    std::string bytes;
    char* data = nullptr;
    const long length = BIO_get_mem_data(out_, &data);
    if (length > 0) {
        bytes.assign(data, static_cast<size_t>(length));
        (void)BIO_reset(out_);
    }
    return bytes;
}

}  // namespace parlo::load
