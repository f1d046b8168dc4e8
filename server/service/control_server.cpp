#include "server/service/control_server.h"

#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "server/core/server_core.h"
#include "server/service/admin_requests.h"
#include "server/service/control_protocol.h"

namespace parlo::server {
namespace {

std::optional<gid_t> AdminGroupId() {
    std::vector<char> buffer(16 * 1024);
    group entry{};
    group* found = nullptr;
    if (getgrnam_r(kAdminGroup, &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr) {
        return std::nullopt;
    }
    return found->gr_gid;
}

// The peer's supplementary groups (empty when the kernel cannot tell).
std::vector<gid_t> PeerGroups(int fd) {
    std::vector<gid_t> groups(64);
    socklen_t size = static_cast<socklen_t>(groups.size() * sizeof(gid_t));
    if (getsockopt(fd, SOL_SOCKET, SO_PEERGROUPS, groups.data(), &size) != 0) {
        if (errno != ERANGE) {
            return {};
        }
        groups.resize(size / sizeof(gid_t) + 1);
        if (getsockopt(fd, SOL_SOCKET, SO_PEERGROUPS, groups.data(), &size) != 0) {
            return {};
        }
    }
    groups.resize(size / sizeof(gid_t));
    return groups;
}

// True when something answers on the socket at `path`.
bool SocketAnswers(const std::filesystem::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const bool answered =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return answered;
}

}  // namespace

bool MayAdminister(uid_t uid, gid_t gid, const gid_t* groups, size_t group_count) {
    if (uid == 0 || uid == ::geteuid()) {
        return true;
    }
    const std::optional<gid_t> admins = AdminGroupId();
    return admins && (gid == *admins ||
                      std::find(groups, groups + group_count, *admins) != groups + group_count);
}

// One administration connection: reads one request line, answers, closes.
class ControlServer::Peer {
  public:
    explicit Peer(ControlServer& server) : server_(server) {
        uv_pipe_init(server.loop_, &pipe_, 0);
        uv_timer_init(server.loop_, &timer_);
        pipe_.data = this;
        timer_.data = this;
        write_.data = this;
        uv_unref(reinterpret_cast<uv_handle_t*>(&pipe_));
        uv_unref(reinterpret_cast<uv_handle_t*>(&timer_));
    }

    uv_stream_t* Stream() { return reinterpret_cast<uv_stream_t*>(&pipe_); }

    void Begin() {
        uv_os_fd_t fd = -1;
        ucred credentials{};
        socklen_t size = sizeof credentials;
        if (uv_fileno(reinterpret_cast<uv_handle_t*>(&pipe_), &fd) != 0 ||
            getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) {
            Close();
            return;
        }
        const std::vector<gid_t> groups = PeerGroups(fd);
        if (!MayAdminister(credentials.uid, credentials.gid, groups.data(), groups.size())) {
            server_.core_.Log("Administration refusée à l'uid " + std::to_string(credentials.uid));
            Answer({.rows = {},
                    .ok = false,
                    .message =
                        std::string("Accès refusé : réservé à root et au groupe ") + kAdminGroup});
            return;
        }
        uv_timer_start(&timer_, OnIdle, kIdleTimeoutMs, 0);
        uv_read_start(Stream(), OnAlloc, OnRead);
    }

    void Close() {
        if (closing_) {
            return;
        }
        closing_ = true;
        uv_close(reinterpret_cast<uv_handle_t*>(&timer_), OnHandleClosed);
        uv_close(reinterpret_cast<uv_handle_t*>(&pipe_), OnHandleClosed);
    }

  private:
    static void OnAlloc(uv_handle_t* handle, size_t, uv_buf_t* buf) {
        auto* self = static_cast<Peer*>(handle->data);
        *buf = uv_buf_init(self->chunk_, sizeof self->chunk_);
    }

    static void OnRead(uv_stream_t* stream, ssize_t nread, const uv_buf_t* buf) {
        auto* self = static_cast<Peer*>(stream->data);
        if (nread < 0) {
            self->Close();
            return;
        }
        self->input_.append(buf->base, static_cast<size_t>(nread));
        const size_t end = self->input_.find('\n');
        if (end == std::string::npos) {
            if (self->input_.size() > kMaxControlLineBytes) {
                self->server_.core_.Log("Administration : requête trop longue, refusée");
                self->Answer({.rows = {}, .ok = false, .message = "Requête trop longue"});
            }
            return;
        }
        self->input_.resize(end);
        const std::optional<std::vector<std::string>> fields = SplitControlLine(self->input_);
        self->Answer(fields
                         ? RunAdminRequest(self->server_.core_, *fields)
                         : ControlAnswer{.rows = {}, .ok = false, .message = "Requête illisible"});
    }

    static void OnIdle(uv_timer_t* timer) {
        auto* self = static_cast<Peer*>(timer->data);
        self->server_.core_.Log("Administration : requête incomplète après " +
                                std::to_string(kIdleTimeoutMs / 1000) + " s, connexion fermée");
        self->Close();
    }

    // Sends the answer, then closes.
    void Answer(const ControlAnswer& answer) {
        uv_read_stop(Stream());
        uv_timer_stop(&timer_);
        output_ = FormatControlAnswer(answer);
        uv_buf_t buf = uv_buf_init(output_.data(), static_cast<unsigned>(output_.size()));
        if (uv_write(&write_, Stream(), &buf, 1, OnWritten) != 0) {
            Close();
        }
    }

    static void OnWritten(uv_write_t* request, int) { static_cast<Peer*>(request->data)->Close(); }

    static void OnHandleClosed(uv_handle_t* handle) {
        auto* self = static_cast<Peer*>(handle->data);
        if (++self->closed_ == 2) {
            self->server_.Forget(*self);
        }
    }

    ControlServer& server_;
    uv_pipe_t pipe_{};
    uv_timer_t timer_{};
    uv_write_t write_{};
    std::string input_;
    std::string output_;
    char chunk_[4096];
    bool closing_ = false;
    int closed_ = 0;
};

ControlServer::ControlServer(uv_loop_t* loop, ServerCore& core) : loop_(loop), core_(core) {}

ControlServer::~ControlServer() {
    if (listening_) {
        uv_close(reinterpret_cast<uv_handle_t*>(&listener_), nullptr);
    }
    for (auto& [peer, owned] : peers_) {
        peer->Close();
    }
    // Each close completes in the next turn; a peer goes once both its
    // handles have closed.
    do {
        uv_run(loop_, UV_RUN_NOWAIT);
    } while (!peers_.empty());
    if (listening_) {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
}

bool ControlServer::Listen(const std::filesystem::path& path) {
    if (path.native().size() >= sizeof(sockaddr_un{}.sun_path)) {
        core_.Log("Socket d'administration " + path.string() +
                  " : chemin trop long, administration indisponible");
        return false;
    }
    struct stat existing {};
    if (::lstat(path.c_str(), &existing) == 0) {
        if (!S_ISSOCK(existing.st_mode)) {
            core_.Log("Socket d'administration " + path.string() +
                      " : un autre fichier porte ce nom, administration indisponible");
            return false;
        }
        if (SocketAnswers(path)) {
            core_.Log("Socket d'administration " + path.string() +
                      " déjà servie par un autre Server, administration indisponible");
            return false;
        }
        ::unlink(path.c_str());  // left by a server that is gone
    }
    int rc = uv_pipe_init(loop_, &listener_, 0);
    if (rc != 0) {
        core_.Log("Socket d'administration " + path.string() + " impossible : " + uv_strerror(rc));
        return false;
    }
    listener_.data = this;
    rc = uv_pipe_bind(&listener_, path.c_str());
    if (rc == 0) {
        // Who may connect is decided by the credentials, not the file mode.
        rc = uv_pipe_chmod(&listener_, UV_READABLE | UV_WRITABLE);
    }
    if (rc == 0) {
        rc = uv_listen(reinterpret_cast<uv_stream_t*>(&listener_), 16, OnConnection);
    }
    if (rc != 0) {
        uv_close(reinterpret_cast<uv_handle_t*>(&listener_), nullptr);
        core_.Log("Socket d'administration " + path.string() + " impossible : " + uv_strerror(rc));
        return false;
    }
    uv_unref(reinterpret_cast<uv_handle_t*>(&listener_));
    path_ = path;
    listening_ = true;
    return true;
}

void ControlServer::OnConnection(uv_stream_t* listener, int status) {
    if (status == 0) {
        static_cast<ControlServer*>(listener->data)->Accept();
    }
}

void ControlServer::Accept() {
    auto owned = std::make_unique<Peer>(*this);
    Peer* peer = owned.get();
    peers_.emplace(peer, std::move(owned));
    if (uv_accept(reinterpret_cast<uv_stream_t*>(&listener_), peer->Stream()) != 0) {
        peer->Close();
        return;
    }
    if (peers_.size() > kMaxPeers) {
        core_.Log("Administration : plus de " + std::to_string(kMaxPeers) +
                  " connexions, la dernière est fermée");
        peer->Close();
        return;
    }
    peer->Begin();
}

void ControlServer::Forget(Peer& peer) {
    peers_.erase(&peer);
}

}  // namespace parlo::server
