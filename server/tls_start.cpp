#include "server/tls_start.h"

#include <cstdio>
#include <memory>

#include "server/core/server_core.h"
#include "server/net/tls_context.h"

namespace parlo::server {
namespace {

std::unique_ptr<TlsContext> LoadIdentity(const ServerCommandLine& options, std::string& error,
                                         bool& created) {
    created = false;
    if (!options.tls_certificate.empty()) {
        return TlsContext::FromFiles(options.tls_certificate, options.tls_key, error);
    }
    return TlsContext::SelfSigned(options.Core().directory, error, &created);
}

}  // namespace

TlsStart StartTlsListener(NetServer& net, ServerCore& core, const ServerCommandLine& options) {
    TlsStart start;
    if (options.tls_port == 0) {
        return start;
    }
    bool created = false;
    std::unique_ptr<TlsContext> context = LoadIdentity(options, start.refusal, created);
    if (context == nullptr) {
        core.Log(start.refusal);
        return start;
    }
    if (created) {
        core.Log(std::string("Certificat auto-signé créé dans ") + kSelfSignedFile);
    }
    start.fingerprint = context->Fingerprint();
    net.SetHandshakeTimeout(options.tls_handshake_timeout_s);
    if (const int rc = net.ListenTls(options.tls_port, std::move(context)); rc != 0) {
        start.refusal = ListenFailure(options.tls_port, rc);
        return start;
    }
    core.Log("Connexions chiffrées sur le port " + std::to_string(options.tls_port) +
             ", empreinte SHA-256 du certificat " + start.fingerprint);
    return start;
}

int PrintFingerprint(const ServerCommandLine& options) {
    std::string error;
    bool created = false;
    const std::unique_ptr<TlsContext> context = LoadIdentity(options, error, created);
    if (context == nullptr) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", context->Fingerprint().c_str());
    return 0;
}

}  // namespace parlo::server
