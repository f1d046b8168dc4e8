#include "server/net/tls_stream.h"

#include <openssl/err.h>

#include <algorithm>
#include <cstring>

namespace parlo::server {
namespace {

// Decrypted bytes taken from OpenSSL at a time (one record's worth).
constexpr size_t kPlainChunk = 16 * 1024;
// A larger output buffer is given back once handed to the socket, so that one
// burst does not keep memory tied to an idle connection.
constexpr size_t kKeepOutputCapacity = 4 * 1024;

// What went wrong, for the log, from OpenSSL's reason code.
std::string FailureText(unsigned long code) {
    switch (ERR_GET_REASON(code)) {
        case SSL_R_WRONG_VERSION_NUMBER:
        case SSL_R_HTTP_REQUEST:
        case SSL_R_UNKNOWN_PROTOCOL:
        case SSL_R_PACKET_LENGTH_TOO_LONG:
            return "ce ne sont pas des données TLS";
        case SSL_R_UNSUPPORTED_PROTOCOL:
        case SSL_R_VERSION_TOO_LOW:
        case SSL_R_NO_SHARED_CIPHER:
        case SSL_R_NO_SHARED_GROUPS:
            return "version ou chiffrement non pris en charge par le client";
        case SSL_R_SSLV3_ALERT_BAD_CERTIFICATE:
        case SSL_R_SSLV3_ALERT_CERTIFICATE_UNKNOWN:
        case SSL_R_TLSV1_ALERT_UNKNOWN_CA:
            return "le client refuse le certificat";
        case SSL_R_ENCRYPTED_LENGTH_TOO_LONG:
        case SSL_R_DATA_LENGTH_TOO_LONG:
            return "enregistrement trop long";
        case SSL_R_DECRYPTION_FAILED_OR_BAD_RECORD_MAC:
            return "enregistrement altéré";
        default:
            return "erreur de protocole";
    }
}

}  // namespace

std::unique_ptr<TlsStream> TlsStream::Accept(SSL_CTX* context) {
    BIO_METHOD* method = Method();
    SSL* ssl = method != nullptr ? SSL_new(context) : nullptr;
    if (ssl == nullptr) {
        return nullptr;
    }
    std::unique_ptr<TlsStream> stream(new TlsStream(ssl));
    BIO* bio = BIO_new(method);
    if (bio == nullptr) {
        return nullptr;
    }
    BIO_set_data(bio, stream.get());
    BIO_set_init(bio, 1);
    SSL_set_bio(ssl, bio, bio);  // one reference, owned by the SSL
    SSL_set_accept_state(ssl);
    return stream;
}

TlsStream::TlsStream(SSL* ssl) : ssl_(ssl) {}

TlsStream::~TlsStream() {
    SSL_free(ssl_);
}

bool TlsStream::Receive(std::string_view bytes, std::string& plain) {
    input_ = bytes;
    char chunk[kPlainChunk];
    while (true) {
        size_t read = 0;
        const int rc = SSL_read_ex(ssl_, chunk, sizeof chunk, &read);
        if (rc == 1) {
            plain.append(chunk, read);
            continue;
        }
        const int error = SSL_get_error(ssl_, rc);
        if (error == SSL_ERROR_WANT_READ) {
            return true;  // everything fed was taken
        }
        input_ = {};
        NoteFailure(error);
        return false;
    }
}

void TlsStream::NoteFailure(int error) {
    if (error == SSL_ERROR_ZERO_RETURN) {
        failure_ = "fermeture annoncée par le client";
    } else {
        failure_ = FailureText(ERR_peek_last_error());
    }
    ERR_clear_error();
}

bool TlsStream::Seal(std::string& queued, bool closing) {
    if (!queued.empty() && Established()) {
        size_t written = 0;
        if (SSL_write_ex(ssl_, queued.data(), queued.size(), &written) != 1) {
            ERR_clear_error();
            return false;
        }
        queued.clear();
    }
    if (closing && !shut_ && Established()) {
        shut_ = true;
        SSL_shutdown(ssl_);
        ERR_clear_error();
    }
    if (!output_.empty()) {
        queued.swap(output_);
        output_.clear();
        if (output_.capacity() > kKeepOutputCapacity) {
            std::string().swap(output_);
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// The BIO between OpenSSL and the adapter's buffers

int TlsStream::BioRead(BIO* bio, char* out, size_t size, size_t* read) {
    auto* self = static_cast<TlsStream*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    if (self->input_.empty()) {
        BIO_set_retry_read(bio);  // more when the socket has it
        *read = 0;
        return 0;
    }
    const size_t n = std::min(size, self->input_.size());
    std::memcpy(out, self->input_.data(), n);
    self->input_.remove_prefix(n);
    *read = n;
    return 1;
}

int TlsStream::BioWrite(BIO* bio, const char* in, size_t size, size_t* written) {
    auto* self = static_cast<TlsStream*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    self->output_.append(in, size);
    *written = size;
    return 1;
}

long TlsStream::BioControl(BIO*, int command, long, void*) {
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

BIO_METHOD* TlsStream::Method() {
    // Made once, for the program's lifetime.
    static BIO_METHOD* const method = [] {
        BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "parlo");
        if (made != nullptr) {
            BIO_meth_set_read_ex(made, BioRead);
            BIO_meth_set_write_ex(made, BioWrite);
            BIO_meth_set_ctrl(made, BioControl);
        }
        return made;
    }();
    return method;
}

}  // namespace parlo::server
