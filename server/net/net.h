// The server's network adapter: one libuv loop, a listening TCP socket and one
// non-blocking connection per client, reported to a small event sink (the
// program's glue to the server core, fakes in tests). It knows the core only
// through Connection.
//
// Output is queued per connection and flushed once per loop turn, so the
// frames the core sends while handling one read leave in as few writes as
// possible. A peer whose queue passes kMaxQueuedBytes is disconnected: one
// client that stops reading must not make the server hold ever more memory.
//
// The program ignores SIGPIPE: a peer that vanishes mid-write then costs an
// error code (and its connection), not the process.
//
// Embedding: the console drives Loop() from its own event loop, polling
// uv_backend_fd() and running uv_run(Loop(), UV_RUN_NOWAIT) when it is
// readable or when uv_backend_timeout() expires (re-read the timeout after
// every run: queued output makes it 0 until flushed).
#pragma once

#include <sys/socket.h>

#include <uv.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "server/core/connection.h"
#include "server/net/connection_limits.h"

namespace parlo::server {

class TlsContext;
class TlsStream;

// What the adapter reports. Calls never come from inside another call of the
// sink: disconnections noticed while the sink is running (an output queue
// overflowing during a broadcast) are reported on the next loop turn.
class NetEvents {
  public:
    virtual ~NetEvents() = default;
    virtual void OnAccepted(Connection& connection, std::string_view ip, uint16_t port) = 0;
    virtual void OnBytes(Connection& connection, std::string_view bytes) = 0;
    // The peer went away (end of stream, socket error, output queue overflow).
    // Not called for a connection the sink closed itself.
    virtual void OnClosed(Connection& connection) = 0;
    // Everything queued for a connection that asked (NotifyWhenDrained)
    // has been written.
    virtual void OnDrained(Connection& /*connection*/) {}
    virtual void Log(std::string_view message) = 0;
    // Timed work: asked after every event; OnTimer is called that many
    // milliseconds later (-1: none).
    virtual int64_t TimerDelayMs() { return -1; }
    virtual void OnTimer() {}
    // Stop() after a successful Listen: the listener is closed; the sink
    // closes what it still holds. Never called when listening never began.
    virtual void OnShutdown() {}
    // Work the sink wants done a little later: asked after every read; a
    // delay in milliseconds, or a negative value for none. RunDeferredWork
    // is then called once, that long after the read that asked.
    virtual int DeferredWorkDelayMs() { return -1; }
    virtual void RunDeferredWork() {}
};

// Raises the soft open-file limit to the hard limit (one descriptor per
// client). Returns the new soft limit, or 0 when it could not be read.
uint64_t RaiseOpenFileLimit();

// "Impossible d'écouter sur le port N : " and the reason in French, for the
// libuv error of a failed Listen.
std::string ListenFailure(uint16_t port, int uv_error);

// "<what> : erreur système <libuv error name>", for a libuv call that failed.
std::string UvFailure(std::string_view what, int uv_error);

// Closes every handle still open on `loop` and runs it until they are gone.
void CloseAllHandles(uv_loop_t* loop);

class NetServer {
  public:
    // Bytes a connection may have waiting to be written before it is dropped.
    static constexpr size_t kMaxQueuedBytes = 4u << 20;
    // Connections the kernel may complete before the loop accepts them. A
    // short queue makes a burst of logins lose clients whose connect already
    // succeeded (the kernel drops them a minute later), so take the largest.
    static constexpr int kBacklog = SOMAXCONN;
    // With keepalive on (SetKeepAlive), a peer that vanished without closing
    // (power cut, cable pulled) is probed after its idle seconds, then every
    // kKeepAliveIntervalS (at most the idle time), and closed after
    // kKeepAliveProbes unanswered.
    static constexpr int kKeepAliveIntervalS = 10;
    static constexpr int kKeepAliveProbes = 3;

    // Seconds an encrypted connection has to complete its handshake (it is
    // reported to the sink only once it has).
    static constexpr int kHandshakeTimeoutS = 10;

    explicit NetServer(NetEvents& events, ConnectionLimits limits = {});
    ~NetServer();
    NetServer(const NetServer&) = delete;
    NetServer& operator=(const NetServer&) = delete;

    // 0 once the loop and its handles are ready; otherwise the libuv error,
    // and this server can neither listen nor run.
    int InitError() const { return init_error_; }

    // Listens on 0.0.0.0:port (0: a port chosen by the system). On failure the
    // reason is logged through the sink and the libuv error code returned;
    // 0 on success.
    int Listen(uint16_t port);
    // The port actually bound (useful after Listen(0)); 0 when not listening.
    uint16_t BoundPort() const;
    // A second listener whose connections speak TLS with `context`'s
    // certificate; the same frames flow inside. As Listen otherwise.
    int ListenTls(uint16_t port, std::unique_ptr<TlsContext> context);
    uint16_t BoundTlsPort() const;
    void SetHandshakeTimeout(int seconds) { handshake_timeout_s_ = seconds; }
    // Keepalive of the connections accepted from now on; 0 turns it off.
    void SetKeepAlive(int idle_seconds) { keepalive_s_ = idle_seconds; }

    uv_loop_t* Loop() { return &loop_; }

    // Closing, safe from inside loop callbacks: closes the listener, lets the
    // sink close its connections (OnShutdown), then closes every handle left.
    // A loop running in UV_RUN_DEFAULT returns once the closes complete.
    void BeginStop();
    // BeginStop() plus running the loop until every handle is closed. Must
    // not be called from inside a loop callback. With the program's sink this
    // is the whole closing procedure: the core's Shutdown runs from OnShutdown.
    void Stop();

    size_t ConnectionCount() const { return connections_.size(); }

  private:
    class Peer;

    struct PendingHandshake {
        uint64_t due_ms;  // loop time
        Peer* peer;
        uint64_t serial;  // the peer's, in case its memory was reused
    };

    int OpenListener(uv_tcp_t*& slot, uint16_t port);
    static void OnNewConnection(uv_stream_t* listener, int status);
    void Accept(uv_stream_t* listener);
    bool StartHandshake(Peer& peer);
    void OnTlsBytes(Peer& peer, std::string_view bytes);
    // Logs why the handshake of `peer` ends without a connection, and closes it.
    void EndHandshake(Peer& peer, std::string_view why);
    void ArmHandshakeTimer();
    static void OnHandshakeTimer(uv_timer_t* timer);
    void SetKeepAlive(Peer& peer);
    void MarkForFlush(Peer& peer);
    static void OnFlushTurn(uv_idle_t* idle);
    void ArmDeferredWork();
    // (Re)starts the sink's timer after an event.
    void ArmTimer();
    static void OnTimer(uv_timer_t* timer);
    // False, with the refusal logged when due, when `address` is at a limit.
    bool WithinLimits(uint32_t address);
    void Uncount(Peer& peer);
    void ReportIfDrained(Peer& peer);
    static void OnDeferredWork(uv_timer_t* timer);
    void FlushAll();
    void Flush(Peer& peer);
    void ReportPeerGone(Peer& peer);
    void CloseHandle(Peer& peer);
    static void OnPeerClosed(uv_handle_t* handle);
    static void OnWritten(uv_write_t* request, int status);
    static void OnAlloc(uv_handle_t* handle, size_t suggested, uv_buf_t* buf);
    static void OnRead(uv_stream_t* stream, ssize_t nread, const uv_buf_t* buf);

    static void CloseListener(uv_tcp_t*& listener);
    bool HandlesOpen() const;

    NetEvents& events_;
    uv_loop_t loop_{};
    int init_error_ = 0;
    bool loop_open_ = false;
    // Heap-held so that a listener still closing never blocks a new Listen.
    uv_tcp_t* listener_ = nullptr;
    uv_tcp_t* tls_listener_ = nullptr;
    std::unique_ptr<TlsContext> tls_;
    // Handshakes under way, oldest first (they all have the same time limit).
    std::deque<PendingHandshake> handshakes_;
    uv_timer_t handshake_timer_{};
    bool handshake_timer_open_ = false;
    int handshake_timeout_s_ = kHandshakeTimeoutS;
    uint64_t next_serial_ = 0;
    // Decrypted bytes of the read being handled.
    std::string tls_plain_;
    // Runs FlushAll once per loop turn while output is waiting.
    uv_idle_t flush_turn_{};
    bool flush_turn_open_ = false;
    // Runs the sink's deferred work.
    uv_timer_t deferred_work_{};
    bool deferred_work_open_ = false;
    bool deferred_work_armed_ = false;
    int keepalive_s_ = 0;
    // Runs the sink's timed work.
    uv_timer_t timer_{};
    bool timer_open_ = false;
    uint64_t timer_due_ = 0;         // loop time it is armed for; 0: not armed
    bool timer_after_turn_ = false;  // the timer is re-armed by the next flush turn
    ConnectionCounter counter_;
    bool served_ = false;  // Listen succeeded once
    bool stopping_ = false;
    bool stopped_ = false;
    // Every connection handle still open or closing, owned here until its
    // close callback has run.
    std::unordered_map<Peer*, std::unique_ptr<Peer>> connections_;
    // Connections with output to write or a disconnection to report.
    std::vector<Peer*> to_flush_;
    std::vector<Peer*> flushing_;
    // One read buffer for all connections: each read is handed to the sink
    // before the next one starts.
    std::unique_ptr<char[]> read_buffer_;
};

}  // namespace parlo::server
