#include "server/headless.h"

#include <uv.h>

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "server/core/server_core.h"
#include "server/line_output.h"
#include "server/net/net.h"
#include "server/service/control_server.h"
#include "server/service/data_lock.h"
#include "server/service/date_lines.h"
#include "server/service/journal_lines.h"

namespace parlo::server {
namespace {

// How long the last lines may take to reach a slow reader at exit.
constexpr int kExitDrainMs = 1000;

// Log lines (all of them, or only warnings and errors) go to standard output
// without ever blocking the server: they are written once per loop turn, and
// when the reader is slow the rest waits for the descriptor to become
// writable (see LineOutput).
class StdoutEvents final : public ServerEvents {
  public:
    StdoutEvents(LineOutput& output, bool all_lines) : output_(output), all_lines_(all_lines) {}

    void OnLogLine(std::string_view line) override {
        if (all_lines_ || IsWarningLine(line)) {
            output_.Add(line);
        }
    }
    void OnSaveAbandoned() override {
        std::fputs("Relancer le server : Erreur de données\nRedémarrer le server\n", stderr);
    }

  private:
    LineOutput& output_;
    bool all_lines_;
};

// The administration socket: the one asked for, else the service's runtime
// directory's; none when neither is there.
std::optional<std::filesystem::path> ControlSocketPath(const ServerCommandLine& options) {
    if (!options.control_socket.empty()) {
        return std::filesystem::path(options.control_socket);
    }
    const char* runtime = std::getenv("RUNTIME_DIRECTORY");
    if (runtime != nullptr && *runtime != '\0') {
        // Several directories come separated by ':'; the first is ours.
        const std::string_view first =
            std::string_view(runtime).substr(0, std::string_view(runtime).find(':'));
        return std::filesystem::path(first) / "control";
    }
    return std::nullopt;
}

// The lines are written just before the loop waits for events, so none
// stays behind while the server is idle (the first lines included): the
// turn's lines to Log.txt, then those to standard output.
class FlushEachTurn {
  public:
    FlushEachTurn(uv_loop_t* loop, ServerCore& core, LineOutput& output)
        : loop_(loop), core_(core), output_(output) {
        uv_prepare_init(loop, &before_wait_);
        before_wait_.data = this;
        uv_prepare_start(&before_wait_, [](uv_prepare_t* handle) {
            auto* self = static_cast<FlushEachTurn*>(handle->data);
            self->core_.FlushLog();
            self->Flush();
        });
        // These handles alone must not keep the loop running.
        uv_unref(reinterpret_cast<uv_handle_t*>(&before_wait_));
        // Other outputs are written at each turn only.
        poll_open_ = output.Pollable() && uv_poll_init(loop, &writable_, output.Fd()) == 0;
        if (poll_open_) {
            writable_.data = this;
            uv_unref(reinterpret_cast<uv_handle_t*>(&writable_));
        }
    }
    // Called once the loop has returned: the closes complete here while the
    // handles' memory still exists.
    ~FlushEachTurn() {
        uv_close(reinterpret_cast<uv_handle_t*>(&before_wait_), nullptr);
        if (poll_open_) {
            uv_close(reinterpret_cast<uv_handle_t*>(&writable_), nullptr);
        }
        uv_run(loop_, UV_RUN_NOWAIT);
    }
    FlushEachTurn(const FlushEachTurn&) = delete;
    FlushEachTurn& operator=(const FlushEachTurn&) = delete;

  private:
    void Flush() {
        const bool done = output_.Flush();
        if (!poll_open_ || done == !waiting_) {
            return;
        }
        waiting_ = !done;
        if (waiting_) {
            uv_poll_start(&writable_, UV_WRITABLE, [](uv_poll_t* handle, int, int) {
                static_cast<FlushEachTurn*>(handle->data)->Flush();
            });
        } else {
            uv_poll_stop(&writable_);
        }
    }

    uv_loop_t* loop_;
    ServerCore& core_;
    LineOutput& output_;
    uv_prepare_t before_wait_{};
    uv_poll_t writable_{};
    bool poll_open_ = false;
    bool waiting_ = false;
};

// SIGTERM, SIGINT and SIGHUP (the terminal or session went away) begin the
// same closing as the console window's: the listener closes, the database is
// saved, the lists are cleared; the loop then runs out of handles and returns.
class StopOnSignals {
  public:
    explicit StopOnSignals(NetServer& net) : net_(net) {
        for (uv_signal_t& handle : handles_) {
            uv_signal_init(net.Loop(), &handle);
            handle.data = this;
        }
        uv_signal_start(&handles_[0], OnSignal, SIGTERM);
        uv_signal_start(&handles_[1], OnSignal, SIGINT);
        uv_signal_start(&handles_[2], OnSignal, SIGHUP);
    }
    // Outside the loop: close and let the closes complete while the handles'
    // memory still exists.
    ~StopOnSignals() {
        if (open_) {
            CloseHandles();
            uv_run(net_.Loop(), UV_RUN_NOWAIT);
        }
    }
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;

    bool Signalled() const { return signalled_; }

  private:
    static void OnSignal(uv_signal_t* handle, int) {
        auto* self = static_cast<StopOnSignals*>(handle->data);
        self->signalled_ = true;
        self->CloseHandles();
        self->net_.BeginStop();
    }

    // Inside a callback the running loop completes the closes before it
    // returns.
    void CloseHandles() {
        if (open_) {
            for (uv_signal_t& handle : handles_) {
                uv_close(reinterpret_cast<uv_handle_t*>(&handle), nullptr);
            }
            open_ = false;
        }
    }

    NetServer& net_;
    uv_signal_t handles_[3]{};
    bool open_ = true;
    bool signalled_ = false;
};

}  // namespace

int RunHeadless(const ServerCommandLine& options) {
    LineOutput output(STDOUT_FILENO);
    StdoutEvents events(output, options.log_stdout_all.value_or(!StdoutIsJournal()));
    ServerOptions server_options = options.Core();
    server_options.log_flushed_per_turn = true;  // by FlushEachTurn below
    // Taken before the database is read, held until the program ends.
    std::string refusal;
    const std::optional<DataDirectoryLock> lock =
        DataDirectoryLock::Take(server_options.directory, refusal);
    if (!lock) {
        std::fprintf(stderr, "%s\n", refusal.c_str());
        return 1;
    }
    ServerCore core(std::move(server_options), events);
    CoreNetEvents sink(core);
    NetServer net(sink, options.limits);
    net.SetKeepAlive(options.keepalive_s);
    if (!core.Start()) {
        std::fprintf(stderr, "Server: %s\n", core.StartRefusal().c_str());
        return 1;
    }
    // A SIGTERM that comes once connections are accepted but before the
    // handlers below exist must still close in order: hold both signals
    // until then (the kernel keeps them pending).
    sigset_t stopping;
    sigemptyset(&stopping);
    sigaddset(&stopping, SIGTERM);
    sigaddset(&stopping, SIGINT);
    sigaddset(&stopping, SIGHUP);
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &stopping, &previous);
    if (int rc = net.Listen(options.port); rc != 0) {
        std::fprintf(stderr, "Server: %s\n", ListenFailure(options.port, rc).c_str());
        return 1;
    }
    // Where the service's data lies, for whoever reads its output (the
    // journal); not a log line, so not in Log.txt.
    std::error_code error;
    const std::filesystem::path directory = std::filesystem::current_path(error);
    output.Add("Server en écoute sur le port " + std::to_string(options.port) + ", fichiers dans " +
               (error ? std::string(".") : directory.string()));
    {
        // Log.txt's lines carry the time of day only: the date follows now.
        const MidnightDateLines date_lines(net.Loop(), core);
        ControlServer control(net.Loop(), core);
        if (const std::optional<std::filesystem::path> path = ControlSocketPath(options)) {
            control.Listen(*path);
        }
        FlushEachTurn flush(net.Loop(), core, output);
        StopOnSignals signals(net);
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        uv_run(net.Loop(), UV_RUN_DEFAULT);
    }
    net.Stop();
    output.Drain(kExitDrainMs);
    if (core.ClosingSaveFailed()) {
        std::fprintf(stderr, "Server: UserDB.dat non sauvé à la fermeture, voir Log.txt\n");
        return 1;
    }
    return 0;
}

}  // namespace parlo::server
