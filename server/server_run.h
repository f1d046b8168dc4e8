// One way to run the server, behind the console window or headless: the data
// directory locked, the core started, SIGTERM, SIGINT and SIGHUP held from
// before listening until their handlers exist, the loop run until a signal or
// the operator ends it, then the same closing: listener closed, database
// saved, lists cleared, exit status 0 (1 when the closing save failed).
#pragma once

#include <string>

#include "server/core/server_core.h"
#include "server/net/net.h"
#include "server/options.h"

namespace parlo::server {

// The listeners the command line asked for, as they came out.
struct Listeners {
    std::string failure;      // why the plain port is not listened on; empty: fine
    std::string tls_refusal;  // why there is no encrypted port (when asked)
    std::string fingerprint;  // of the certificate served on the encrypted port
    bool AllOpen() const { return failure.empty() && tls_refusal.empty(); }
};

// What differs between the console and headless: how a refusal is shown,
// who watches the loop, and how the loop is ended.
class ServerFrontEnd {
  public:
    virtual ~ServerFrontEnd() = default;
    // The server cannot start (data directory taken, database unreadable, no
    // event loop, no port when the front end cannot run without one): tells
    // why and returns the exit status.
    virtual int Refuse(const std::string& reason) = 0;
    // The core exists, not started yet: a window may attach to it.
    virtual void Attach(ServerCore& /*core*/) {}
    // The core is about to go, on every way out once Attach was called
    // (after the closing when the server ran).
    virtual void Detach() {}
    // No port could be listened on: true to run anyway (the console then
    // shows why), false to refuse.
    virtual bool RunsWithoutListener() const = 0;
    // Listening, or running without a listener (`listeners` then says why):
    // tells whoever watches, before the first log line of the run.
    virtual void Listening(NetServer& /*net*/, const Listeners& /*listeners*/) {}
    // Runs the loop until Stop or the operator ends it.
    virtual void Run(NetServer& net, ServerCore& core) = 0;
    // A stop signal came (inside the loop): makes Run return.
    virtual void Stop(NetServer& net) = 0;
};

// Holds SIGTERM, SIGINT and SIGHUP (the kernel keeps them pending). Threads
// started afterwards keep them held, so call this before starting any; the
// run releases them on its own thread once their handlers exist.
void HoldStopSignals();

// Opens the listeners the command line asks for: the plain port (unless
// --tls-only), then the encrypted one (with --tls-port).
Listeners ListenAsAsked(NetServer& net, ServerCore& core, const ServerCommandLine& options);

// Runs the server as described above; returns the process exit status.
int RunServer(const ServerCommandLine& options, ServerEvents& events, ServerFrontEnd& front);

}  // namespace parlo::server
