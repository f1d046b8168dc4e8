#include "server/server_run.h"

#include <pthread.h>
#include <signal.h>

#include <csignal>
#include <cstdio>
#include <optional>

#include "server/core_net_events.h"
#include "server/service/data_lock.h"
#include "server/service/date_lines.h"
#include "server/tls_start.h"

namespace parlo::server {
namespace {

sigset_t StopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    return signals;
}

// SIGTERM, SIGINT and SIGHUP (the terminal or session went away) begin the
// same closing as the console window's "Close" button.
class StopOnSignals {
  public:
    StopOnSignals(NetServer& net, ServerFrontEnd& front) : net_(net), front_(front) {
        constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
        for (size_t i = 0; i < std::size(handles_) && error_ == 0; ++i) {
            error_ = uv_signal_init(net.Loop(), &handles_[i]);
            if (error_ == 0) {
                ++open_;
                handles_[i].data = this;
                error_ = uv_signal_start(&handles_[i], OnSignal, kSignals[i]);
            }
        }
    }
    // Outside the loop: close and let the closes complete while the handles'
    // memory still exists.
    ~StopOnSignals() {
        if (open_ > 0) {
            CloseHandles();
            uv_run(net_.Loop(), UV_RUN_NOWAIT);
        }
    }
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;

    // The libuv error that left a signal unwatched; 0 when all are watched.
    int Error() const { return error_; }

  private:
    static void OnSignal(uv_signal_t* handle, int) {
        auto* self = static_cast<StopOnSignals*>(handle->data);
        self->CloseHandles();
        self->front_.Stop(self->net_);
    }

    // Inside a callback the running loop completes the closes before it
    // returns.
    void CloseHandles() {
        for (size_t i = 0; i < open_; ++i) {
            uv_close(reinterpret_cast<uv_handle_t*>(&handles_[i]), nullptr);
        }
        open_ = 0;
    }

    NetServer& net_;
    ServerFrontEnd& front_;
    uv_signal_t handles_[3]{};
    size_t open_ = 0;
    int error_ = 0;
};

// Tells the front end, on every way out, that the core is going.
class DetachOnExit {
  public:
    explicit DetachOnExit(ServerFrontEnd& front) : front_(front) {}
    ~DetachOnExit() { front_.Detach(); }
    DetachOnExit(const DetachOnExit&) = delete;
    DetachOnExit& operator=(const DetachOnExit&) = delete;

  private:
    ServerFrontEnd& front_;
};

void ReleaseStopSignals() {
    const sigset_t signals = StopSignals();
    pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
}

// A refusal ends the program: a signal meanwhile may end it at once.
int Refuse(ServerFrontEnd& front, const std::string& reason) {
    ReleaseStopSignals();
    return front.Refuse(reason);
}

}  // namespace

void HoldStopSignals() {
    const sigset_t signals = StopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

Listeners ListenAsAsked(NetServer& net, ServerCore& core, const ServerCommandLine& options) {
    Listeners listeners;
    if (!options.tls_only) {
        if (const int rc = net.Listen(options.port); rc != 0) {
            listeners.failure = ListenFailure(options.port, rc);
        }
    }
    TlsStart tls = StartTlsListener(net, core, options);
    listeners.tls_refusal = std::move(tls.refusal);
    listeners.fingerprint = std::move(tls.fingerprint);
    return listeners;
}

int RunServer(const ServerCommandLine& options, ServerEvents& events, ServerFrontEnd& front) {
    // A signal that comes once connections are accepted but before its
    // handler exists must still close in order.
    HoldStopSignals();
    ServerOptions server_options = options.Core();
    // Both front ends write the lines of a loop turn before the loop waits.
    server_options.log_flushed_per_turn = true;
    // Taken before the database is read, held until the program ends:
    // another server on the same directory would overwrite this one's saves.
    std::string refusal;
    const std::optional<DataDirectoryLock> lock =
        DataDirectoryLock::Take(server_options.directory, refusal);
    if (!lock) {
        return Refuse(front, refusal);
    }
    ServerCore core(std::move(server_options), events);
    front.Attach(core);
    const DetachOnExit detach(front);
    CoreNetEvents sink(core);
    NetServer net(sink, options.limits);
    if (net.InitError() != 0) {
        return Refuse(front, UvFailure("Impossible de démarrer le réseau", net.InitError()));
    }
    net.SetKeepAlive(options.keepalive_s);
    if (!core.Start()) {
        return Refuse(front, core.StartRefusal());
    }
    const StopOnSignals signals(net, front);
    if (signals.Error() != 0) {
        return Refuse(front,
                      UvFailure("Impossible d'attendre les signaux d'arrêt", signals.Error()));
    }
    const Listeners listeners = ListenAsAsked(net, core, options);
    if (!listeners.AllOpen() && !front.RunsWithoutListener()) {
        return Refuse(front, listeners.failure.empty() ? listeners.tls_refusal : listeners.failure);
    }
    front.Listening(net, listeners);
    {
        // Log.txt's lines carry the time of day only: the date follows now.
        const MidnightDateLines date_lines(net.Loop(), core);
        ReleaseStopSignals();
        front.Run(net, core);
    }
    // Listener closed, database saved, lists cleared. The adapter hands the
    // closing to the core only when it had been listening. Without a
    // listener nothing changes but through the administration dialog, which
    // saves each change at once: closing writes nothing then.
    net.Stop();
    if (core.ClosingSaveFailed()) {
        std::fprintf(stderr, "Server: UserDB.dat non sauvé à la fermeture, voir Log.txt\n");
        return 1;
    }
    return 0;
}

}  // namespace parlo::server
