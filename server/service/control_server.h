// The local control socket of a running server: an AF_UNIX stream socket on
// the server's libuv loop. Only root, the server's own user and members of
// the group kAdminGroup may use it (the peer's credentials are checked at
// accept); each connection carries one request and its answer.
#pragma once

#include <uv.h>

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>

namespace parlo::server {

class ServerCore;

class ControlServer {
  public:
    // Connections served at the same time; more are closed at once.
    static constexpr size_t kMaxPeers = 8;
    // A connection that has not sent its whole request by then is closed.
    static constexpr uint64_t kIdleTimeoutMs = 10'000;

    ControlServer(uv_loop_t* loop, ServerCore& core);
    // Closes everything and removes the socket file; outside the loop's run.
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    // Listens on `path` (a socket left by a server that is gone is replaced).
    // False, with a log line, when that is not possible. The handles never
    // keep the loop running by themselves.
    bool Listen(const std::filesystem::path& path);

  private:
    class Peer;

    static void OnConnection(uv_stream_t* listener, int status);
    void Accept();
    void Forget(Peer& peer);

    uv_loop_t* loop_;
    ServerCore& core_;
    std::filesystem::path path_;
    uv_pipe_t listener_{};
    bool listening_ = false;
    std::unordered_map<Peer*, std::unique_ptr<Peer>> peers_;
};

// Whether a peer of these credentials may administer the server.
bool MayAdminister(uid_t uid, gid_t gid, const gid_t* groups, size_t group_count);

}  // namespace parlo::server
