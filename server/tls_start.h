// The encrypted listener as the command line asks for it, and
// "--fingerprint", shared by the headless program and the operator's console.
#pragma once

#include <string>

#include "server/options.h"

namespace parlo::server {

struct TlsStart {
    std::string refusal;      // why there is no TLS listener (in French); empty: fine
    std::string fingerprint;  // of the certificate served
};

// With --tls-port: loads (or makes) the certificate, listens, and logs the
// port and the certificate's fingerprint. Nothing without --tls-port.
TlsStart StartTlsListener(NetServer& net, ServerCore& core, const ServerCommandLine& options);

// "--fingerprint": prints the SHA-256 fingerprint of the certificate the
// server serves, making the self-signed one first when there is none yet.
// Returns the exit status.
int PrintFingerprint(const ServerCommandLine& options);

}  // namespace parlo::server
