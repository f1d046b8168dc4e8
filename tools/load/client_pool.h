// The libuv side of parlo-load: one loop, one TCP connection per simulated
// user to 127.0.0.1 (plain, or TLS on the server's encrypted port), frames in
// and out, and the steps that run a task over many users with a bounded
// number starting at once.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <uv.h>

#include "protocol/codec.h"
#include "tools/load/client_tls.h"
#include "tools/load/load_client.h"

namespace parlo::load {

int64_t NowNs();  // monotonic clock

struct StepResult {
    int done = 0;
    int failed = 0;
    int unfinished = 0;  // still running at the deadline
    double seconds = 0;
    std::string first_failure;
};

class ClientPool {
  public:
    // With `tls`, every connection speaks TLS; a user counts as connected
    // once its handshake has completed.
    ClientPool(int port, std::vector<LoadClient>& clients, bool tls = false);
    ~ClientPool();
    ClientPool(const ClientPool&) = delete;
    ClientPool& operator=(const ClientPool&) = delete;

    bool Ready() const { return ready_; }
    void SetRelayTracker(RelayTracker* tracker) { relay_ = tracker; }

    // Runs `task` for every user of `indices`: at most `window` (0: all) are
    // started at once, the next one starts when one finishes. Users that
    // finish are disconnected when `close_when_done` is set. With
    // `start_after_ns` (one per user, in increasing order), user k starts no
    // sooner than that long after the step began.
    StepResult RunStep(std::span<const int> indices, Task task, int window, bool close_when_done,
                       int64_t deadline_ns, std::span<const int64_t> start_after_ns = {});
    // Keeps the loop running (answering what arrives) until `until_ns`.
    void Hold(int64_t until_ns);
    // Closes every connection and waits (at most until `deadline_ns`) for
    // the closes to complete.
    void CloseAll(int64_t deadline_ns);

    int OpenConnections() const { return open_; }
    int64_t ProtocolErrors() const { return protocol_errors_; }
    int64_t ConnectErrors() const { return connect_errors_; }
    int64_t FramesReceived() const { return frames_received_; }
    int64_t StateListsReceived() const { return state_lists_received_; }
    // Relay senders at a fixed rate need a pump on every loop turn, not only
    // after deliveries.
    void SetPumpEveryTurn(bool pump) { pump_every_turn_ = pump; }

  private:
    struct Link;
    struct WriteRequest;

    void Start(int index, Task task);
    void Connect(int index);
    void CloseLink(int index);
    void Flush(int index);
    // Encrypts on a TLS link, then WriteRaw.
    void Write(Link& link, std::string bytes);
    void WriteRaw(Link& link, std::string bytes);
    // Hands what arrived on a TLS link to its TLS; false when it failed.
    bool Decrypt(Link& link, std::string_view bytes);
    void NoteIfFinished(int index, bool was_finished);
    void OnConnected(Link& link, int status);
    void OnRead(Link& link, ssize_t nread);
    void DrainRelay();
    void RunOnce();

    static void AllocCb(uv_handle_t* handle, size_t suggested, uv_buf_t* buf);
    static void ReadCb(uv_stream_t* stream, ssize_t nread, const uv_buf_t* buf);
    static void ConnectCb(uv_connect_t* request, int status);
    static void WriteCb(uv_write_t* request, int status);
    static void CloseCb(uv_handle_t* handle);

    uv_loop_t loop_{};
    uv_timer_t tick_{};  // wakes the loop so deadlines are checked
    bool ready_ = false;
    int port_;
    std::vector<LoadClient>& clients_;
    std::vector<std::unique_ptr<Link>> links_;  // by user index; empty when not connected
    RelayTracker* relay_ = nullptr;
    std::vector<int> finished_;       // users that finished since the last look
    std::vector<char> in_step_;       // by user index: part of the running step
    std::string scratch_;             // decompressed command
    SSL_CTX* tls_context_ = nullptr;  // with --tls
    std::string plain_;               // decrypted bytes of the read being handled
    std::vector<char> read_buffer_;
    int open_ = 0;     // handles initialised and not yet closed
    int closing_ = 0;  // closes requested and not yet completed
    int64_t protocol_errors_ = 0;
    int64_t connect_errors_ = 0;
    int64_t frames_received_ = 0;
    int64_t state_lists_received_ = 0;
    bool pump_every_turn_ = false;
};

}  // namespace parlo::load
