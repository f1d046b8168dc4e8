#include "server/net/net.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <utility>

#include "server/net/tls_context.h"
#include "server/net/tls_stream.h"

namespace parlo::server {
namespace {

constexpr size_t kReadBufferSize = 64 * 1024;
// Output buffers above this size are released once written, so that one
// burst does not keep memory tied to an idle connection.
constexpr size_t kKeepBufferCapacity = 16 * 1024;

void Release(std::string& buffer) {
    buffer.clear();
    if (buffer.capacity() > kKeepBufferCapacity) {
        std::string().swap(buffer);
    }
}

}  // namespace

void CloseAllHandles(uv_loop_t* loop) {
    uv_walk(
        loop,
        [](uv_handle_t* handle, void*) {
            if (!uv_is_closing(handle)) {
                uv_close(handle, nullptr);
            }
        },
        nullptr);
    uv_run(loop, UV_RUN_DEFAULT);
}

std::string ListenFailure(uint16_t port, int uv_error) {
    std::string reason;
    switch (uv_error) {
        case UV_EADDRINUSE:
            reason = "le port est déjà pris par un autre programme (un autre Server ?)";
            break;
        case UV_EACCES:
            reason = "accès refusé à ce port";
            break;
        case UV_EADDRNOTAVAIL:
            reason = "adresse indisponible sur cette machine";
            break;
        case UV_EMFILE:
        case UV_ENFILE:
            reason = "trop de fichiers ouverts";
            break;
        default:
            reason = std::string("erreur système ") + uv_err_name(uv_error);
    }
    return "Impossible d'écouter sur le port " + std::to_string(port) + " : " + reason;
}

std::string UvFailure(std::string_view what, int uv_error) {
    return std::string(what) + " : erreur système " + uv_err_name(uv_error);
}

uint64_t RaiseOpenFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return 0;
    }
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) {
            limit = raised;
        }
    }
    return limit.rlim_cur;
}

// ---------------------------------------------------------------------------
// One client connection

class NetServer::Peer final : public Connection {
  public:
    enum class State {
        kHandshaking,  // TLS handshake under way; the sink does not know it yet
        kLive,         // reading; the sink knows it
        kDraining,     // the sink closed it; queued output is still written
        kClosing,      // uv_close called
        kClosed,       // close callback ran; memory waits to be released
    };

    explicit Peer(NetServer& server) : server_(server) {
        handle_.data = this;
        write_request_.data = this;
    }

    void Send(std::string_view bytes) override {
        if (state_ != State::kLive || overflowed_) {
            return;
        }
        if (queued_.size() + writing_.size() + bytes.size() > kMaxQueuedBytes) {
            // Reported on the next loop turn, outside the sink's own call.
            overflowed_ = true;
            dropped_bytes_ = queued_.size() + writing_.size() + bytes.size();
            std::string().swap(queued_);
        } else {
            queued_.append(bytes);
        }
        server_.MarkForFlush(*this);
    }

    size_t QueuedBytes() const override { return queued_.size() + writing_.size(); }
    void NotifyWhenDrained() override {
        notify_drained_ = true;
        server_.MarkForFlush(*this);  // reported at the next turn when already empty
    }
    void HoldReading(bool hold) override {
        if (state_ != State::kLive || hold == reading_held_) {
            return;
        }
        reading_held_ = hold;
        if (hold) {
            uv_read_stop(Stream());
        } else {
            // Fails only for a closing handle, whose closing is under way.
            uv_read_start(Stream(), OnAlloc, OnRead);
        }
    }

    void Close() override {
        if (state_ != State::kLive) {
            return;
        }
        state_ = State::kDraining;
        uv_read_stop(Stream());
        if (overflowed_) {
            server_.CloseHandle(*this);
            return;
        }
        // Frames sent just before the close (an eviction notice) still go out.
        server_.Flush(*this);
    }

    bool Encrypted() const override { return tls_ != nullptr; }

    uv_stream_t* Stream() { return reinterpret_cast<uv_stream_t*>(&handle_); }
    uv_handle_t* Handle() { return reinterpret_cast<uv_handle_t*>(&handle_); }

    NetServer& server_;
    uv_tcp_t handle_{};
    uv_write_t write_request_{};
    State state_ = State::kLive;
    std::string queued_;   // waiting for the next write
    std::string writing_;  // owned by the write in flight
    bool write_in_flight_ = false;
    bool overflowed_ = false;
    size_t dropped_bytes_ = 0;
    bool marked_ = false;  // listed in to_flush_
    bool notify_drained_ = false;
    bool reading_held_ = false;
    bool counted_ = false;  // counted in the connection limits
    uint32_t address_ = 0;  // IPv4, network order
    char ip_[INET_ADDRSTRLEN] = {};
    uint16_t port_ = 0;
    std::unique_ptr<TlsStream> tls_;  // on the TLS port
    uint64_t serial_ = 0;
};

// ---------------------------------------------------------------------------
// Loop, listener and accept

NetServer::NetServer(NetEvents& events, ConnectionLimits limits)
    : events_(events), counter_(limits), read_buffer_(std::make_unique<char[]>(kReadBufferSize)) {
    init_error_ = uv_loop_init(&loop_);
    if (init_error_ != 0) {
        stopped_ = true;  // nothing to stop, no loop to close
        return;
    }
    loop_open_ = true;
    // Each handle is marked open only once its init succeeded.
    const auto open = [this](int rc, bool& opened) {
        opened = rc == 0;
        if (init_error_ == 0) {
            init_error_ = rc;
        }
    };
    open(uv_idle_init(&loop_, &flush_turn_), flush_turn_open_);
    flush_turn_.data = this;
    open(uv_timer_init(&loop_, &deferred_work_), deferred_work_open_);
    deferred_work_.data = this;
    open(uv_timer_init(&loop_, &timer_), timer_open_);
    timer_.data = this;
    open(uv_timer_init(&loop_, &handshake_timer_), handshake_timer_open_);
    handshake_timer_.data = this;
}

NetServer::~NetServer() {
    if (!loop_open_) {
        return;
    }
    Stop();
    if (uv_loop_close(&loop_) == UV_EBUSY) {
        // Handles someone else left open: close them so the loop can go.
        CloseAllHandles(&loop_);
        uv_loop_close(&loop_);
    }
}

int NetServer::Listen(uint16_t port) {
    return OpenListener(listener_, port);
}

int NetServer::ListenTls(uint16_t port, std::unique_ptr<TlsContext> context) {
    tls_ = std::move(context);
    return OpenListener(tls_listener_, port);
}

int NetServer::OpenListener(uv_tcp_t*& slot, uint16_t port) {
    if (init_error_ != 0) {
        events_.Log(UvFailure("Impossible d'ouvrir le port d'écoute", init_error_));
        return init_error_;
    }
    CloseListener(slot);
    auto listener = std::make_unique<uv_tcp_t>();
    sockaddr_in address{};
    int rc = uv_tcp_init(&loop_, listener.get());
    if (rc != 0) {
        events_.Log("Impossible d'ouvrir le port d'écoute : " + std::string(uv_strerror(rc)));
        return rc;
    }
    slot = listener.release();
    slot->data = this;
    uv_ip4_addr("0.0.0.0", port, &address);
    rc = uv_tcp_bind(slot, reinterpret_cast<const sockaddr*>(&address), 0);
    if (rc == 0) {
        rc = uv_listen(reinterpret_cast<uv_stream_t*>(slot), kBacklog, OnNewConnection);
    }
    if (rc != 0) {
        CloseListener(slot);
        events_.Log(ListenFailure(port, rc));
    } else {
        served_ = true;
    }
    return rc;
}

namespace {

uint16_t PortOf(const uv_tcp_t* listener) {
    if (listener == nullptr) {
        return 0;
    }
    sockaddr_storage address{};
    int length = sizeof(address);
    if (uv_tcp_getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        address.ss_family != AF_INET) {
        return 0;
    }
    return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
}

}  // namespace

uint16_t NetServer::BoundPort() const {
    return PortOf(listener_);
}

uint16_t NetServer::BoundTlsPort() const {
    return PortOf(tls_listener_);
}

void NetServer::CloseListener(uv_tcp_t*& listener) {
    if (listener == nullptr) {
        return;
    }
    uv_close(reinterpret_cast<uv_handle_t*>(listener),
             [](uv_handle_t* handle) { delete reinterpret_cast<uv_tcp_t*>(handle); });
    listener = nullptr;
}

void NetServer::OnNewConnection(uv_stream_t* listener, int status) {
    // A failed accept is dropped without a word, as before.
    if (status == 0) {
        static_cast<NetServer*>(listener->data)->Accept(listener);
    }
}

void NetServer::Accept(uv_stream_t* listener) {
    auto owned = std::make_unique<Peer>(*this);
    Peer& peer = *owned;
    if (uv_tcp_init(&loop_, &peer.handle_) != 0) {
        return;
    }
    connections_.emplace(&peer, std::move(owned));
    if (uv_accept(listener, peer.Stream()) != 0) {
        CloseHandle(peer);
        return;
    }
    sockaddr_storage address{};
    int length = sizeof(address);
    if (uv_tcp_getpeername(&peer.handle_, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
        address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        const auto* bytes = reinterpret_cast<const unsigned char*>(&v4.sin_addr.s_addr);
        std::snprintf(peer.ip_, sizeof(peer.ip_), "%d.%d.%d.%d", bytes[0], bytes[1], bytes[2],
                      bytes[3]);
        peer.port_ = ntohs(v4.sin_port);
        peer.address_ = v4.sin_addr.s_addr;
    }
    if (!WithinLimits(peer.address_)) {
        CloseHandle(peer);
        return;
    }
    peer.counted_ = true;
    // Small frames: send each turn's output at once rather than waiting.
    uv_tcp_nodelay(&peer.handle_, 1);
    SetKeepAlive(peer);
    if (uv_read_start(peer.Stream(), OnAlloc, OnRead) != 0) {
        CloseHandle(peer);
        return;
    }
    if (listener == reinterpret_cast<uv_stream_t*>(tls_listener_)) {
        if (!StartHandshake(peer)) {
            CloseHandle(peer);
        }
        return;  // reported to the sink once the handshake completes
    }
    events_.OnAccepted(peer, peer.ip_, peer.port_);
    ArmTimer();
}

bool NetServer::WithinLimits(uint32_t address) {
    std::optional<std::string> refusal;
    if (counter_.Admit(address, uv_now(&loop_), refusal)) {
        return true;
    }
    if (refusal) {
        events_.Log(*refusal);
    }
    return false;
}

void NetServer::Uncount(Peer& peer) {
    if (!peer.counted_) {
        return;
    }
    peer.counted_ = false;
    counter_.Release(peer.address_);
}

void NetServer::SetKeepAlive(Peer& peer) {
    if (keepalive_s_ <= 0 || uv_tcp_keepalive(&peer.handle_, 1, keepalive_s_) != 0) {
        return;
    }
    // libuv sets only the idle time: the interval and the count come here.
    uv_os_fd_t fd{};
    if (uv_fileno(reinterpret_cast<uv_handle_t*>(&peer.handle_), &fd) == 0) {
        const int interval = std::min(kKeepAliveIntervalS, keepalive_s_);
        const int probes = kKeepAliveProbes;
        setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
        setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    }
}

// ---------------------------------------------------------------------------
// Reading

void NetServer::OnAlloc(uv_handle_t* handle, size_t, uv_buf_t* buf) {
    NetServer& server = static_cast<Peer*>(handle->data)->server_;
    *buf = uv_buf_init(server.read_buffer_.get(), kReadBufferSize);
}

void NetServer::OnRead(uv_stream_t* stream, ssize_t nread, const uv_buf_t* buf) {
    Peer& peer = *static_cast<Peer*>(stream->data);
    if (nread > 0 && peer.tls_ != nullptr) {
        peer.server_.OnTlsBytes(peer, {buf->base, static_cast<size_t>(nread)});
    } else if (nread > 0) {
        if (peer.state_ == Peer::State::kLive) {
            peer.server_.events_.OnBytes(peer, {buf->base, static_cast<size_t>(nread)});
            peer.server_.ArmDeferredWork();
            peer.server_.ArmTimer();
        }
    } else if (nread < 0) {
        if (peer.state_ == Peer::State::kLive) {
            peer.server_.ReportPeerGone(peer);
        } else if (peer.state_ == Peer::State::kHandshaking) {
            peer.server_.EndHandshake(peer, "interrompue par le client");
        } else {
            peer.server_.CloseHandle(peer);
        }
    }
}

// ---------------------------------------------------------------------------
// Writing: queued per connection, flushed once per loop turn

void NetServer::MarkForFlush(Peer& peer) {
    if (peer.marked_ || stopping_) {
        return;
    }
    peer.marked_ = true;
    to_flush_.push_back(&peer);
    uv_idle_start(&flush_turn_, OnFlushTurn);
}

void NetServer::ArmDeferredWork() {
    if (deferred_work_armed_ || !deferred_work_open_) {
        return;
    }
    const int delay = events_.DeferredWorkDelayMs();
    if (delay >= 0) {
        deferred_work_armed_ = true;
        uv_timer_start(&deferred_work_, OnDeferredWork, static_cast<uint64_t>(delay), 0);
    }
}

void NetServer::ArmTimer() {
    if (!timer_open_) {
        return;
    }
    const int64_t delay = events_.TimerDelayMs();
    if (delay < 0) {
        if (timer_due_ != 0) {
            uv_timer_stop(&timer_);
            timer_due_ = 0;
        }
        return;
    }
    const uint64_t due = uv_now(&loop_) + static_cast<uint64_t>(delay);
    if (due != timer_due_) {
        timer_due_ = due;
        uv_timer_start(&timer_, OnTimer, static_cast<uint64_t>(delay), 0);
    }
}

void NetServer::OnTimer(uv_timer_t* timer) {
    auto* self = static_cast<NetServer*>(timer->data);
    self->timer_due_ = 0;
    // The answers to the last reads go out before the timed work.
    self->FlushAll();
    self->events_.OnTimer();
    // Re-armed here, work due at once would run again in this same pass of
    // the loop's timers, before any read: it is re-armed after the turn.
    if (self->flush_turn_open_ && !self->stopping_) {
        self->timer_after_turn_ = true;
        uv_idle_start(&self->flush_turn_, OnFlushTurn);
    } else {
        self->ArmTimer();
    }
}

void NetServer::OnDeferredWork(uv_timer_t* timer) {
    auto* self = static_cast<NetServer*>(timer->data);
    self->deferred_work_armed_ = false;
    self->FlushAll();  // as before the timed work
    self->events_.RunDeferredWork();
}

void NetServer::OnFlushTurn(uv_idle_t* idle) {
    auto* self = static_cast<NetServer*>(idle->data);
    const bool rearm = std::exchange(self->timer_after_turn_, false);
    self->FlushAll();
    if (rearm) {
        self->ArmTimer();
    }
}

void NetServer::FlushAll() {
    // Flushing may report a peer gone, and the sink may then send to others:
    // those are listed afresh for the next turn.
    flushing_.swap(to_flush_);
    for (Peer* peer : flushing_) {
        peer->marked_ = false;
        if (peer->state_ == Peer::State::kClosed) {
            connections_.erase(peer);
        } else {
            Flush(*peer);
            ReportIfDrained(*peer);
        }
    }
    flushing_.clear();
    if (to_flush_.empty() && !stopping_ && !timer_after_turn_) {
        uv_idle_stop(&flush_turn_);
    }
}

void NetServer::Flush(Peer& peer) {
    using State = Peer::State;
    if (peer.state_ == State::kClosing || peer.state_ == State::kClosed) {
        return;
    }
    if (peer.overflowed_) {
        if (peer.state_ == State::kLive) {
            events_.Log("Client " + std::string(peer.ip_) + ":" + std::to_string(peer.port_) +
                        " ne lit plus ses messages (" + std::to_string(peer.dropped_bytes_) +
                        " octets en attente) : connexion fermée");
            ReportPeerGone(peer);
        } else {
            CloseHandle(peer);
        }
        return;
    }
    if (peer.write_in_flight_) {
        return;  // OnWritten continues
    }
    if (peer.tls_ != nullptr && !peer.tls_->Seal(peer.queued_, peer.state_ == State::kDraining)) {
        if (peer.state_ == State::kLive) {
            ReportPeerGone(peer);
        } else {
            CloseHandle(peer);
        }
        return;
    }
    if (peer.queued_.empty()) {
        if (peer.state_ == State::kDraining) {
            CloseHandle(peer);
        }
        return;
    }
    uv_buf_t buf = uv_buf_init(peer.queued_.data(), static_cast<unsigned>(peer.queued_.size()));
    int written = uv_try_write(peer.Stream(), &buf, 1);
    if (written == UV_EAGAIN) {
        written = 0;
    }
    if (written < 0) {
        if (peer.state_ == State::kLive) {
            ReportPeerGone(peer);
        } else {
            CloseHandle(peer);
        }
        return;
    }
    if (static_cast<size_t>(written) == peer.queued_.size()) {
        Release(peer.queued_);
        if (peer.state_ == State::kDraining) {
            CloseHandle(peer);
        }
        return;
    }
    // The rest waits for the socket: hand it to one asynchronous write.
    peer.queued_.erase(0, static_cast<size_t>(written));
    peer.writing_.swap(peer.queued_);
    buf = uv_buf_init(peer.writing_.data(), static_cast<unsigned>(peer.writing_.size()));
    if (uv_write(&peer.write_request_, peer.Stream(), &buf, 1, OnWritten) != 0) {
        if (peer.state_ == State::kLive) {
            ReportPeerGone(peer);
        } else {
            CloseHandle(peer);
        }
        return;
    }
    peer.write_in_flight_ = true;
}

void NetServer::OnWritten(uv_write_t* request, int status) {
    Peer& peer = *static_cast<Peer*>(request->data);
    NetServer& server = peer.server_;
    peer.write_in_flight_ = false;
    Release(peer.writing_);
    if (status == UV_ECANCELED) {
        return;  // the handle is closing
    }
    if (status < 0) {
        if (peer.state_ == Peer::State::kLive) {
            server.ReportPeerGone(peer);
        } else {
            server.CloseHandle(peer);
        }
        return;
    }
    server.Flush(peer);
    server.ReportIfDrained(peer);
}

void NetServer::ReportIfDrained(Peer& peer) {
    if (peer.notify_drained_ && peer.state_ == Peer::State::kLive && !peer.overflowed_ &&
        !peer.write_in_flight_ && peer.queued_.empty()) {
        peer.notify_drained_ = false;
        events_.OnDrained(peer);
        ArmTimer();
    }
}

// ---------------------------------------------------------------------------
// Closing

void NetServer::ReportPeerGone(Peer& peer) {
    // Leave kLive first: whatever the sink sends or closes while handling the
    // departure must not reach this connection again.
    peer.state_ = Peer::State::kDraining;
    CloseHandle(peer);
    events_.OnClosed(peer);
    ArmTimer();
}

void NetServer::CloseHandle(Peer& peer) {
    if (peer.state_ == Peer::State::kClosing || peer.state_ == Peer::State::kClosed) {
        return;
    }
    peer.state_ = Peer::State::kClosing;
    Uncount(peer);
    uv_close(peer.Handle(), OnPeerClosed);
}

void NetServer::OnPeerClosed(uv_handle_t* handle) {
    Peer& peer = *static_cast<Peer*>(handle->data);
    peer.state_ = Peer::State::kClosed;
    if (!peer.marked_) {
        peer.server_.connections_.erase(&peer);
    }
    // A peer still listed for flushing is released by FlushAll or Stop.
}

void NetServer::BeginStop() {
    if (stopping_) {
        return;
    }
    CloseListener(listener_);
    CloseListener(tls_listener_);
    handshakes_.clear();
    if (handshake_timer_open_) {
        uv_close(reinterpret_cast<uv_handle_t*>(&handshake_timer_), nullptr);
        handshake_timer_open_ = false;
    }
    if (served_) {
        events_.OnShutdown();
    }
    stopping_ = true;
    for (Peer* peer : to_flush_) {
        peer->marked_ = false;
    }
    to_flush_.clear();
    for (auto& [peer, owned] : connections_) {
        CloseHandle(*peer);
    }
    if (flush_turn_open_) {
        uv_close(reinterpret_cast<uv_handle_t*>(&flush_turn_), nullptr);
        flush_turn_open_ = false;
    }
    if (deferred_work_open_) {
        uv_close(reinterpret_cast<uv_handle_t*>(&deferred_work_), nullptr);
        deferred_work_open_ = false;
        deferred_work_armed_ = false;
    }
    if (timer_open_) {
        uv_close(reinterpret_cast<uv_handle_t*>(&timer_), nullptr);
        timer_open_ = false;
        timer_due_ = 0;
    }
}

bool NetServer::HandlesOpen() const {
    for (const auto& [peer, owned] : connections_) {
        if (peer->state_ != Peer::State::kClosed) {
            return true;
        }
    }
    return false;
}

void NetServer::Stop() {
    if (stopped_) {
        return;
    }
    BeginStop();
    // Each close completes within one turn; NOWAIT leaves others' handles be.
    do {
        uv_run(&loop_, UV_RUN_NOWAIT);
    } while (HandlesOpen());
    connections_.clear();
    stopped_ = true;
}

}  // namespace parlo::server

namespace parlo::server {

// ---------------------------------------------------------------------------
// Encrypted connections: the handshake, then decrypted bytes to the sink

bool NetServer::StartHandshake(Peer& peer) {
    peer.tls_ = TlsStream::Accept(tls_->Get());
    if (peer.tls_ == nullptr) {
        events_.Log("Client " + std::string(peer.ip_) + ":" + std::to_string(peer.port_) +
                    " : TLS indisponible (mémoire), connexion fermée");
        return false;
    }
    peer.state_ = Peer::State::kHandshaking;
    peer.serial_ = ++next_serial_;
    const uint64_t due = uv_now(&loop_) + static_cast<uint64_t>(handshake_timeout_s_) * 1000;
    handshakes_.push_back({due, &peer, peer.serial_});
    if (handshakes_.size() == 1) {
        ArmHandshakeTimer();
    }
    return true;
}

void NetServer::OnTlsBytes(Peer& peer, std::string_view bytes) {
    const bool was_live = peer.state_ == Peer::State::kLive;
    if (!was_live && peer.state_ != Peer::State::kHandshaking) {
        return;  // closing: nothing more is read
    }
    tls_plain_.clear();
    const bool open = peer.tls_->Receive(bytes, tls_plain_);
    if (peer.tls_->HasOutput()) {
        MarkForFlush(peer);
    }
    // A handshake may complete, data arrive and the peer close, all in one read.
    if (!was_live && peer.tls_->Established()) {
        peer.state_ = Peer::State::kLive;
        events_.OnAccepted(peer, peer.ip_, peer.port_);
    }
    if (peer.state_ == Peer::State::kLive && !tls_plain_.empty()) {
        events_.OnBytes(peer, tls_plain_);
    }
    if (!open && peer.state_ == Peer::State::kLive) {
        ReportPeerGone(peer);
    } else if (!open && peer.state_ == Peer::State::kHandshaking) {
        EndHandshake(peer, "échouée (" + peer.tls_->Failure() + ")");
    }
    ArmDeferredWork();
    ArmTimer();
}

void NetServer::EndHandshake(Peer& peer, std::string_view why) {
    events_.Log("Client " + std::string(peer.ip_) + ":" + std::to_string(peer.port_) +
                " : négociation chiffrée " + std::string(why) + ", connexion fermée");
    // The alert OpenSSL wrote, if any, goes out before the close, unless the
    // peer is not even reading what it was sent.
    peer.state_ = Peer::State::kDraining;
    uv_read_stop(peer.Stream());
    if (peer.write_in_flight_) {
        CloseHandle(peer);
    } else {
        Flush(peer);
    }
}

void NetServer::ArmHandshakeTimer() {
    if (!handshake_timer_open_) {
        return;
    }
    if (handshakes_.empty()) {
        uv_timer_stop(&handshake_timer_);
        return;
    }
    const uint64_t now = uv_now(&loop_);
    const uint64_t due = handshakes_.front().due_ms;
    uv_timer_start(&handshake_timer_, OnHandshakeTimer, due > now ? due - now : 0, 0);
}

void NetServer::OnHandshakeTimer(uv_timer_t* timer) {
    auto* self = static_cast<NetServer*>(timer->data);
    const uint64_t now = uv_now(&self->loop_);
    auto& pending = self->handshakes_;
    while (!pending.empty() && pending.front().due_ms <= now) {
        const PendingHandshake oldest = pending.front();
        pending.pop_front();
        const auto found = self->connections_.find(oldest.peer);
        if (found != self->connections_.end() && oldest.peer->serial_ == oldest.serial &&
            oldest.peer->state_ == Peer::State::kHandshaking) {
            self->EndHandshake(*oldest.peer, "non terminée après " +
                                                 std::to_string(self->handshake_timeout_s_) + " s");
        }
    }
    self->ArmHandshakeTimer();
}

}  // namespace parlo::server
