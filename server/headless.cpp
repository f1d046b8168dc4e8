#include "server/headless.h"

#include <uv.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "server/core/server_core.h"
#include "server/line_output.h"
#include "server/net/net.h"
#include "server/server_run.h"
#include "server/service/control_server.h"
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
        if (const int rc = uv_prepare_init(loop, &before_wait_); rc != 0) {
            // The lines then wait for the exit's drain: say so at once.
            std::fprintf(stderr, "Server: %s\n",
                         UvFailure("Lignes du journal différées", rc).c_str());
            return;
        }
        prepare_open_ = true;
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
        if (prepare_open_) {
            uv_close(reinterpret_cast<uv_handle_t*>(&before_wait_), nullptr);
        }
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
    bool prepare_open_ = false;
    bool poll_open_ = false;
    bool waiting_ = false;
};

// Without a window: refusals and the start line on the standard streams, the
// control socket beside the server, the loop run until a signal.
class HeadlessFrontEnd final : public ServerFrontEnd {
  public:
    HeadlessFrontEnd(const ServerCommandLine& options, LineOutput& output)
        : options_(options), output_(output) {}

    int Refuse(const std::string& reason) override {
        std::fprintf(stderr, "Server: %s\n", reason.c_str());
        return 1;
    }
    bool RunsWithoutListener() const override { return false; }

    void Listening(NetServer& /*net*/, const Listeners& listeners) override {
        // Where the service's data lies, for whoever reads its output (the
        // journal); not a log line, so not in Log.txt.
        std::error_code error;
        const std::filesystem::path directory = std::filesystem::current_path(error);
        output_.Add("Server en écoute sur le port " +
                    (options_.tls_only ? "chiffré " + std::to_string(options_.tls_port)
                                       : std::to_string(options_.port)) +
                    ", fichiers dans " + (error ? std::string(".") : directory.string()));
        if (!listeners.fingerprint.empty()) {
            output_.Add("Connexions chiffrées sur le port " + std::to_string(options_.tls_port) +
                        ", empreinte SHA-256 du certificat " + listeners.fingerprint);
        }
    }

    void Run(NetServer& net, ServerCore& core) override {
        ControlServer control(net.Loop(), core);
        if (const std::optional<std::filesystem::path> path = ControlSocketPath(options_)) {
            control.Listen(*path);
        }
        FlushEachTurn flush(net.Loop(), core, output_);
        uv_run(net.Loop(), UV_RUN_DEFAULT);
    }

    // The listener closes, the database is saved, the lists are cleared; the
    // loop then runs out of handles and returns.
    void Stop(NetServer& net) override { net.BeginStop(); }

    void Detach() override { output_.Drain(kExitDrainMs); }

  private:
    const ServerCommandLine& options_;
    LineOutput& output_;
};

}  // namespace

int RunHeadless(const ServerCommandLine& options) {
    LineOutput output(STDOUT_FILENO);
    StdoutEvents events(output, options.log_stdout_all.value_or(!StdoutIsJournal()));
    HeadlessFrontEnd front(options, output);
    return RunServer(options, events, front);
}

}  // namespace parlo::server
