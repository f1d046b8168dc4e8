// relay-floor: the least a relay on this design can cost. The server's own
// event loop and connection code (NetServer) with a sink that cuts the
// incoming bytes into frames by their length and hands each frame whole to
// one other connection: no command is read, nothing is uncompressed, logged
// or saved. Driven by parlo-load like the real server (bench/relay_floor.sh),
// its CPU time per message is the floor the real relay is measured against.
//
//   relay-floor --port N --pairs P
//
// The first frame of every connection (its login) is answered "Login:OK".
// Connections are paired by the order of their logins, the k-th with the
// (P+k)-th, as parlo-load's relay senders 1..P and their partners P+1..2P
// log in; every later frame goes to the partner. Whatever the order, each
// sender then has one receiver, as in the real relay.
#include <uv.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "protocol/codec.h"
#include "server/net/net.h"

namespace {

using parlo::FrameReader;
using parlo::server::Connection;
using parlo::server::NetServer;

class FloorRelay final : public parlo::server::NetEvents {
  public:
    explicit FloorRelay(size_t pairs) : pairs_(pairs) {
        // Made once here: the relay itself never compresses.
        parlo::AppendCommandFrame(login_answer_, "Login:OK");
    }

    void OnAccepted(Connection& connection, std::string_view, uint16_t) override {
        peers_.emplace(&connection, Peer{});
    }

    void OnBytes(Connection& connection, std::string_view bytes) override {
        Peer& peer = peers_.at(&connection);
        peer.reader.Feed(bytes);
        std::string_view payload;
        FrameReader::Status status;
        while ((status = peer.reader.Next(payload)) == FrameReader::Status::kFrame) {
            if (peer.slot < 0) {
                peer.slot = TakeSlot(connection);
                connection.Send(login_answer_);
                continue;
            }
            if (Connection* partner = PartnerOf(static_cast<size_t>(peer.slot))) {
                frame_.clear();
                parlo::AppendFrame(frame_, payload);
                partner->Send(frame_);
            }
        }
        if (status == FrameReader::Status::kError) {
            Forget(connection);
            connection.Close();
        }
    }

    void OnClosed(Connection& connection) override { Forget(connection); }
    void Log(std::string_view message) override {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
    }
    void OnShutdown() override {
        for (auto& [connection, peer] : peers_) {
            connection->Close();
        }
        peers_.clear();
    }

  private:
    struct Peer {
        FrameReader reader;
        long slot = -1;  // its place among the logins; -1 before its login
    };

    // The first slot free (a run of parlo-load after another one logs its
    // users in again in the same order).
    long TakeSlot(Connection& connection) {
        const auto free = std::find(by_login_.begin(), by_login_.end(), nullptr);
        const long slot = free - by_login_.begin();
        if (free == by_login_.end()) {
            by_login_.push_back(&connection);
        } else {
            *free = &connection;
        }
        return slot;
    }

    Connection* PartnerOf(size_t slot) const {
        const size_t partner = slot < pairs_ ? slot + pairs_ : slot - pairs_;
        return slot < 2 * pairs_ && partner < by_login_.size() ? by_login_[partner] : nullptr;
    }

    void Forget(Connection& connection) {
        const auto found = peers_.find(&connection);
        if (found == peers_.end()) {
            return;
        }
        if (found->second.slot >= 0) {
            by_login_[static_cast<size_t>(found->second.slot)] = nullptr;
        }
        peers_.erase(found);
    }

    size_t pairs_;
    std::string login_answer_;
    std::string frame_;  // reused for each relayed frame
    std::unordered_map<Connection*, Peer> peers_;
    std::vector<Connection*> by_login_;  // null once closed
};

int Usage() {
    std::fputs("usage: relay-floor --port N --pairs P\n", stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    long port = -1;
    long pairs = -1;
    for (int k = 1; k + 1 < argc; k += 2) {
        const long value = std::strtol(argv[k + 1], nullptr, 10);
        if (std::strcmp(argv[k], "--port") == 0) {
            port = value;
        } else if (std::strcmp(argv[k], "--pairs") == 0) {
            pairs = value;
        }
    }
    if (argc != 5 || port < 0 || port > 65535 || pairs < 1) {
        return Usage();
    }
    std::signal(SIGPIPE, SIG_IGN);
    parlo::server::RaiseOpenFileLimit();
    FloorRelay relay(static_cast<size_t>(pairs));
    NetServer net(relay, parlo::server::ConnectionLimits{0, 0});
    if (net.Listen(static_cast<uint16_t>(port)) != 0) {
        return 1;
    }
    // SIGTERM (parlo-load's --stop-server) closes in order.
    uv_signal_t stop{};
    uv_signal_init(net.Loop(), &stop);
    stop.data = &net;
    uv_signal_start(
        &stop,
        [](uv_signal_t* handle, int) {
            uv_close(reinterpret_cast<uv_handle_t*>(handle), nullptr);
            static_cast<NetServer*>(handle->data)->BeginStop();
        },
        SIGTERM);
    uv_run(net.Loop(), UV_RUN_DEFAULT);
    return 0;
}
