#include "tests/support/wire_client.h"

#include <openssl/x509.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "protocol/commands.h"
#include "tests/support/process.h"

namespace parlo::testing {

using Clock = std::chrono::steady_clock;

std::string Blob(std::string_view text) {
    std::string out;
    Compress(text, out);
    return out;
}

std::string RegisterCommand(std::string_view login, std::string_view password,
                            std::string_view first, std::string_view last, std::string_view email) {
    return FormatAddNewUser(FormatRecordText(Blob(login), Blob(password), first, last, email));
}

std::string ConnectCommand(std::string_view login, std::string_view password,
                           std::string_view computer) {
    return FormatConnect(computer, Blob(login), Blob(password));
}

WireClient::WireClient(uint16_t port, Transport transport) : fd_(ConnectTo(port)) {
    if (transport == Transport::kPlain || fd_ < 0) {
        return;
    }
    std::signal(SIGPIPE, SIG_IGN);  // a write to a closed peer fails, as send's does
    tls_context_ = SSL_CTX_new(TLS_client_method());
    tls_ = SSL_new(tls_context_);
    SSL_set_fd(tls_, fd_);
    BIO_set_callback_ex(SSL_get_rbio(tls_), Tap);
    BIO_set_callback_arg(SSL_get_rbio(tls_), reinterpret_cast<char*>(this));
    if (SSL_connect(tls_) != 1) {
        close(fd_);
        fd_ = -1;
    }
}

WireClient::~WireClient() {
    SSL_free(tls_);
    SSL_CTX_free(tls_context_);
    if (fd_ >= 0) {
        close(fd_);
    }
}

long WireClient::Tap(BIO* bio, int operation, const char* bytes, size_t, int, long, int rc,
                     size_t* processed) {
    auto* self = reinterpret_cast<WireClient*>(BIO_get_callback_arg(bio));
    const bool done =
        operation == (BIO_CB_READ | BIO_CB_RETURN) || operation == (BIO_CB_WRITE | BIO_CB_RETURN);
    if (done && rc > 0 && processed != nullptr) {
        self->wire_.append(bytes, *processed);
    }
    return rc;
}

std::string WireClient::PeerFingerprint() const {
    X509* certificate = tls_ != nullptr ? SSL_get1_peer_certificate(tls_) : nullptr;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    std::string text;
    if (certificate != nullptr && X509_digest(certificate, EVP_sha256(), digest, &length) == 1) {
        for (unsigned int i = 0; i < length; ++i) {
            char byte[4];
            std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : ":%02X", digest[i]);
            text += byte;
        }
    }
    X509_free(certificate);
    return text;
}

bool WireClient::WaitReadable(int ms) {
    if (tls_ != nullptr && SSL_pending(tls_) > 0) {
        return true;
    }
    pollfd fd{fd_, POLLIN, 0};
    return poll(&fd, 1, ms) > 0;
}

bool WireClient::SendRaw(std::string_view bytes) {
    if (tls_ != nullptr) {
        size_t written = 0;
        return fd_ >= 0 && SSL_write_ex(tls_, bytes.data(), bytes.size(), &written) == 1;
    }
    while (!bytes.empty()) {
        const ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool WireClient::Send(std::string_view command) {
    std::string frame;
    return AppendCommandFrame(frame, command) && SendRaw(frame);
}

std::optional<std::string> WireClient::Next(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        std::optional<std::string> command = NextAny(std::max(left, std::chrono::milliseconds(0)));
        if (!command || !command->starts_with("SetState!")) {
            return command;
        }
    }
}

std::optional<std::string> WireClient::NextAny(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (received_.empty() && !closed_) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            break;
        }
        if (WaitReadable(static_cast<int>(left.count()))) {
            ReadSome(0);
        }
    }
    return Pop();
}

std::optional<std::string> WireClient::WaitFor(std::string_view prefix,
                                               std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        std::optional<std::string> command = NextAny(left);
        if (!command) {
            return std::nullopt;
        }
        if (command->starts_with(prefix)) {
            return command;
        }
    }
    return std::nullopt;
}

bool WireClient::WaitClosed(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!closed_ && Clock::now() < deadline) {
        if (WaitReadable(50)) {
            ReadSome(0);
        }
    }
    return closed_;
}

bool WireClient::ReadAvailable() {
    while (!closed_) {
        if (!WaitReadable(0)) {
            break;
        }
        ReadSome(MSG_DONTWAIT);
    }
    return !closed_;
}

std::optional<std::string> WireClient::Pop() {
    if (received_.empty()) {
        return std::nullopt;
    }
    std::string command = std::move(received_.front());
    received_.pop_front();
    return command;
}

void WireClient::ReadSome(int flags) {
    if (fd_ < 0) {
        closed_ = true;
        return;
    }
    char chunk[16384];
    size_t decrypted = 0;
    const ssize_t n = tls_ == nullptr ? recv(fd_, chunk, sizeof chunk, flags)
                      : SSL_read_ex(tls_, chunk, sizeof chunk, &decrypted) == 1
                          ? static_cast<ssize_t>(decrypted)
                          : 0;
    if (n <= 0) {
        closed_ = true;
        return;
    }
    reader_.Feed({chunk, static_cast<size_t>(n)});
    std::string_view payload;
    FrameReader::Status status;
    while ((status = reader_.Next(payload)) == FrameReader::Status::kFrame) {
        std::string text;
        if (!Uncompress(payload, text)) {
            bad_frame_ = true;
            continue;
        }
        received_.push_back(std::move(text));
    }
    if (status == FrameReader::Status::kError) {
        bad_frame_ = true;
    }
}

}  // namespace parlo::testing
