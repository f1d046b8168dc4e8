#include "tools/load/client_pool.h"

#include <algorithm>
#include <ctime>

namespace parlo::load {

namespace {

constexpr uint64_t kTickMs = 10;
constexpr size_t kReadBufferBytes = 64 * 1024;

}  // namespace

int64_t NowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

struct ClientPool::Link {
    ClientPool* pool = nullptr;
    int index = 0;
    uv_tcp_t tcp{};
    uv_connect_t connect{};
    FrameReader reader;
    std::unique_ptr<ClientTls> tls;
};

struct ClientPool::WriteRequest {
    uv_write_t request{};
    std::string bytes;
};

ClientPool::ClientPool(int port, std::vector<LoadClient>& clients, bool tls)
    : port_(port),
      clients_(clients),
      links_(clients.size()),
      in_step_(clients.size(), 0),
      read_buffer_(kReadBufferBytes) {
    if (tls) {
        tls_context_ = ClientTls::NewContext();
    }
    if (uv_loop_init(&loop_) != 0 || (tls && tls_context_ == nullptr)) {
        return;
    }
    uv_timer_init(&loop_, &tick_);
    ready_ = true;
}

ClientPool::~ClientPool() {
    if (!ready_) {
        return;
    }
    for (size_t i = 0; i < links_.size(); ++i) {
        CloseLink(static_cast<int>(i));
    }
    uv_close(reinterpret_cast<uv_handle_t*>(&tick_), nullptr);
    // Only close callbacks and cancelled writes are left: this ends.
    uv_run(&loop_, UV_RUN_DEFAULT);
    uv_loop_close(&loop_);
    SSL_CTX_free(tls_context_);
}

StepResult ClientPool::RunStep(std::span<const int> indices, Task task, int window,
                               bool close_when_done, int64_t deadline_ns,
                               std::span<const int64_t> start_after_ns) {
    StepResult result;
    const int64_t started = NowNs();
    const size_t limit = window <= 0 ? indices.size() : static_cast<size_t>(window);
    size_t next = 0;
    size_t running = 0;
    size_t finished = 0;
    finished_.clear();
    for (const int index : indices) {
        in_step_[static_cast<size_t>(index)] = 1;
    }
    while (true) {
        for (const int index : finished_) {
            if (!in_step_[static_cast<size_t>(index)]) {
                continue;  // a straggler of an earlier step
            }
            in_step_[static_cast<size_t>(index)] = 0;
            LoadClient& client = clients_[static_cast<size_t>(index)];
            if (client.Done()) {
                ++result.done;
            } else {
                ++result.failed;
                if (result.first_failure.empty()) {
                    result.first_failure = client.Login() + ": " + client.Failure();
                }
            }
            if (close_when_done) {
                CloseLink(index);
                client.OnClosed(NowNs());
            }
            ++finished;
            --running;
        }
        finished_.clear();
        while (next < indices.size() && running < limit &&
               (start_after_ns.empty() || NowNs() - started >= start_after_ns[next])) {
            ++running;
            Start(indices[next++], task);
        }
        if (!finished_.empty()) {
            continue;
        }
        if (finished == indices.size() || NowNs() >= deadline_ns) {
            break;
        }
        RunOnce();
    }
    for (const int index : indices) {
        in_step_[static_cast<size_t>(index)] = 0;
    }
    result.unfinished = static_cast<int>(indices.size() - finished);
    result.seconds = static_cast<double>(NowNs() - started) / 1e9;
    return result;
}

void ClientPool::Hold(int64_t until_ns) {
    while (NowNs() < until_ns) {
        RunOnce();
    }
}

void ClientPool::CloseAll(int64_t deadline_ns) {
    for (size_t i = 0; i < links_.size(); ++i) {
        if (links_[i]) {
            CloseLink(static_cast<int>(i));
            clients_[i].OnClosed(NowNs());
        }
    }
    while (closing_ > 0 && NowNs() < deadline_ns) {
        RunOnce();
    }
}

void ClientPool::RunOnce() {
    // Repeating: a tick that fires while the loop's clock catches up must
    // not leave the poll below without a timeout.
    const uint64_t tick = pump_every_turn_ ? 1 : kTickMs;
    uv_timer_start(
        &tick_, [](uv_timer_t*) {}, tick, tick);
    uv_run(&loop_, UV_RUN_ONCE);
    if (pump_every_turn_ && relay_ != nullptr) {
        const int64_t now = NowNs();
        for (size_t i = 0; i < clients_.size(); ++i) {
            LoadClient& client = clients_[i];
            if (client.CurrentTask() == Task::kRelay && !client.Finished()) {
                client.PumpRelay(now);
                Flush(static_cast<int>(i));
                NoteIfFinished(static_cast<int>(i), false);
            }
        }
    }
}

void ClientPool::Start(int index, Task task) {
    LoadClient& client = clients_[static_cast<size_t>(index)];
    client.Begin(task, NowNs());
    if (!client.Finished() && !client.Connected() && !links_[static_cast<size_t>(index)]) {
        Connect(index);
    }
    Flush(index);
    if (client.Finished()) {
        finished_.push_back(index);
    }
}

void ClientPool::Connect(int index) {
    auto link = std::make_unique<Link>();
    link->pool = this;
    link->index = index;
    link->tcp.data = link.get();
    link->connect.data = link.get();
    LoadClient& client = clients_[static_cast<size_t>(index)];
    if (uv_tcp_init(&loop_, &link->tcp) != 0) {
        ++connect_errors_;
        const bool was = client.Finished();
        client.OnClosed(NowNs());
        NoteIfFinished(index, was);
        return;
    }
    ++open_;
    uv_tcp_nodelay(&link->tcp, 1);
    sockaddr_in address{};
    uv_ip4_addr("127.0.0.1", port_, &address);
    const int status = uv_tcp_connect(&link->connect, &link->tcp,
                                      reinterpret_cast<const sockaddr*>(&address), ConnectCb);
    links_[static_cast<size_t>(index)] = std::move(link);
    if (status != 0) {
        ++connect_errors_;
        const bool was = client.Finished();
        CloseLink(index);
        client.OnClosed(NowNs(), std::string("cannot connect: ") + uv_strerror(status));
        NoteIfFinished(index, was);
    }
}

void ClientPool::CloseLink(int index) {
    std::unique_ptr<Link>& slot = links_[static_cast<size_t>(index)];
    if (!slot) {
        return;
    }
    // The handle's memory lives until its close callback.
    Link* link = slot.release();
    ++closing_;
    uv_close(reinterpret_cast<uv_handle_t*>(&link->tcp), CloseCb);
}

void ClientPool::CloseCb(uv_handle_t* handle) {
    std::unique_ptr<Link> link(static_cast<Link*>(handle->data));
    --link->pool->closing_;
    --link->pool->open_;
}

void ClientPool::Flush(int index) {
    std::vector<std::string>& outbox = clients_[static_cast<size_t>(index)].Outbox();
    if (outbox.empty()) {
        return;
    }
    Link* link = links_[static_cast<size_t>(index)].get();
    if (link != nullptr) {
        std::string bytes;
        for (const std::string& command : outbox) {
            AppendCommandFrame(bytes, command);
        }
        Write(*link, std::move(bytes));
    }
    outbox.clear();
}

void ClientPool::Write(Link& link, std::string bytes) {
    if (link.tls != nullptr) {
        link.tls->Seal(bytes);
        bytes = link.tls->TakeOutput();
    }
    WriteRaw(link, std::move(bytes));
}

void ClientPool::WriteRaw(Link& link, std::string bytes) {
    if (bytes.empty()) {
        return;
    }
    auto* stream = reinterpret_cast<uv_stream_t*>(&link.tcp);
    size_t written = 0;
    if (uv_stream_get_write_queue_size(stream) == 0) {
        uv_buf_t buffer = uv_buf_init(bytes.data(), static_cast<unsigned>(bytes.size()));
        const int sent = uv_try_write(stream, &buffer, 1);
        if (sent > 0) {
            written = static_cast<size_t>(sent);
        }
    }
    if (written == bytes.size()) {
        return;
    }
    auto request = std::make_unique<WriteRequest>();
    request->bytes = bytes.substr(written);
    request->request.data = request.get();
    uv_buf_t buffer =
        uv_buf_init(request->bytes.data(), static_cast<unsigned>(request->bytes.size()));
    if (uv_write(&request->request, stream, &buffer, 1, WriteCb) == 0) {
        request.release();  // owned by the request until WriteCb
    }
}

void ClientPool::WriteCb(uv_write_t* request, int) {
    // A failed write shows up as a read error or close on the same link.
    std::unique_ptr<WriteRequest> owned(static_cast<WriteRequest*>(request->data));
}

void ClientPool::NoteIfFinished(int index, bool was_finished) {
    if (!was_finished && clients_[static_cast<size_t>(index)].Finished()) {
        finished_.push_back(index);
    }
}

void ClientPool::ConnectCb(uv_connect_t* request, int status) {
    Link* link = static_cast<Link*>(request->data);
    if (status == UV_ECANCELED) {
        return;  // closed while connecting; the close callback frees it
    }
    link->pool->OnConnected(*link, status);
}

void ClientPool::OnConnected(Link& link, int status) {
    const int index = link.index;
    LoadClient& client = clients_[static_cast<size_t>(index)];
    const bool was = client.Finished();
    if (status != 0) {
        ++connect_errors_;
        CloseLink(index);
        client.OnClosed(NowNs(), std::string("cannot connect: ") + uv_strerror(status));
    } else {
        uv_read_start(reinterpret_cast<uv_stream_t*>(&link.tcp), AllocCb, ReadCb);
        if (tls_context_ != nullptr) {
            link.tls = std::make_unique<ClientTls>(tls_context_);
            WriteRaw(link, link.tls->TakeOutput());  // connected once established
        } else {
            client.OnConnected(NowNs());
            Flush(index);
        }
    }
    NoteIfFinished(index, was);
}

void ClientPool::AllocCb(uv_handle_t* handle, size_t, uv_buf_t* buf) {
    ClientPool* pool = static_cast<Link*>(handle->data)->pool;
    *buf = uv_buf_init(pool->read_buffer_.data(), static_cast<unsigned>(pool->read_buffer_.size()));
}

void ClientPool::ReadCb(uv_stream_t* stream, ssize_t nread, const uv_buf_t*) {
    Link* link = static_cast<Link*>(stream->data);
    link->pool->OnRead(*link, nread);
}

void ClientPool::OnRead(Link& link, ssize_t nread) {
    if (nread == 0) {
        return;
    }
    const int index = link.index;
    LoadClient& client = clients_[static_cast<size_t>(index)];
    const bool was = client.Finished();
    if (nread < 0) {
        CloseLink(index);  // end of stream or error: the server dropped us
        client.OnClosed(NowNs());
        NoteIfFinished(index, was);
        return;
    }
    std::string_view bytes(read_buffer_.data(), static_cast<size_t>(nread));
    if (link.tls != nullptr) {
        if (!Decrypt(link, bytes)) {
            ++protocol_errors_;
            CloseLink(index);
            client.OnClosed(NowNs(), "TLS failed");
            NoteIfFinished(index, was);
            return;
        }
        bytes = plain_;
    }
    link.reader.Feed(bytes);
    std::string_view payload;
    FrameReader::Status status;
    while ((status = link.reader.Next(payload)) == FrameReader::Status::kFrame) {
        ++frames_received_;
        if (!Uncompress(payload, scratch_)) {
            status = FrameReader::Status::kError;
            break;
        }
        state_lists_received_ += scratch_.starts_with("SetState!") ? 1 : 0;
        client.OnCommand(scratch_, NowNs());
    }
    Flush(index);
    if (status == FrameReader::Status::kError) {
        ++protocol_errors_;
        CloseLink(index);
        client.OnClosed(NowNs());
    }
    NoteIfFinished(index, was);
    DrainRelay();
}

bool ClientPool::Decrypt(Link& link, std::string_view bytes) {
    const bool established = link.tls->Established();
    plain_.clear();
    const bool ok = link.tls->Receive(bytes, plain_);
    WriteRaw(link, link.tls->TakeOutput());
    if (ok && !established && link.tls->Established()) {
        clients_[static_cast<size_t>(link.index)].OnConnected(NowNs());
        Flush(link.index);
    }
    return ok;
}

void ClientPool::DrainRelay() {
    if (relay_ == nullptr) {
        return;
    }
    const int64_t now = NowNs();
    for (const int sender : relay_->TakeReadySenders()) {
        LoadClient& client = clients_[static_cast<size_t>(sender)];
        const bool was = client.Finished();
        client.PumpRelay(now);
        Flush(sender);
        NoteIfFinished(sender, was);
    }
}

}  // namespace parlo::load
