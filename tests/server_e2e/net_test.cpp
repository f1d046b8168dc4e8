// The libuv adapter against real loopback sockets, with a recording sink in
// place of the server core. The test thread pumps the loop itself.
#include "server/net/net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <string>
#include <vector>

namespace parlo::server {
namespace {

using Clock = std::chrono::steady_clock;

class RecordingSink : public NetEvents {
  public:
    struct Peer {
        Connection* connection;  // null once the sink closed it
        std::string ip;
        uint16_t port;
        std::string received;
        bool closed = false;
    };

    void OnAccepted(Connection& connection, std::string_view ip, uint16_t port) override {
        peers.push_back({&connection, std::string(ip), port, {}});
    }
    void OnBytes(Connection& connection, std::string_view bytes) override {
        Peer& peer = Find(connection);
        peer.received.append(bytes);
        if (on_bytes) {
            on_bytes(peer, bytes);
        }
    }
    void OnClosed(Connection& connection) override {
        Peer& peer = Find(connection);
        EXPECT_FALSE(peer.closed) << "closed twice";
        peer.closed = true;
        ++closed_count;
    }
    void Log(std::string_view message) override { log.emplace_back(message); }
    int64_t TimerDelayMs() override { return timed_left > 0 ? 0 : -1; }
    void OnTimer() override { --timed_left; }
    void OnShutdown() override {
        ++shutdowns;
        for (Peer& peer : peers) {
            if (!peer.closed && peer.connection != nullptr) {
                peer.connection->Close();
            }
        }
    }

    Peer& Find(Connection& connection) {
        for (Peer& peer : peers) {
            if (peer.connection == &connection) {
                return peer;
            }
        }
        ADD_FAILURE() << "event for an unknown connection";
        return peers.front();
    }

    std::vector<Peer> peers;
    std::vector<std::string> log;
    int closed_count = 0;
    int shutdowns = 0;
    int timed_left = 0;
    std::function<void(Peer&, std::string_view)> on_bytes;
};

class Client {
  public:
    explicit Client(uint16_t port) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    }
    ~Client() { close(fd_); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool Connected() const { return connected_; }
    void Write(std::string_view bytes) {
        ASSERT_EQ(send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }
    // Reads what is available without waiting; false once the peer closed.
    bool ReadAvailable() {
        char chunk[65536];
        for (;;) {
            ssize_t n = recv(fd_, chunk, sizeof(chunk), MSG_DONTWAIT);
            if (n > 0) {
                received.append(chunk, static_cast<size_t>(n));
            } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                eof = true;
                return false;
            } else {
                return true;
            }
        }
    }
    uint16_t LocalPort() const {
        sockaddr_in address{};
        socklen_t length = sizeof(address);
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        return ntohs(address.sin_port);
    }

    std::string received;
    bool eof = false;

  private:
    int fd_ = -1;
    bool connected_ = false;
};

class NetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // As in the program: a peer gone mid-write is an error code, not a signal.
        std::signal(SIGPIPE, SIG_IGN);
        ASSERT_EQ(net.Listen(0), 0);
        port = net.BoundPort();
        ASSERT_NE(port, 0);
    }

    // Runs the loop until `done` holds or two seconds pass.
    bool PumpUntil(const std::function<bool()>& done) {
        auto deadline = Clock::now() + std::chrono::seconds(2);
        while (Clock::now() < deadline) {
            uv_run(net.Loop(), UV_RUN_NOWAIT);
            if (done()) {
                return true;
            }
            pollfd fd{uv_backend_fd(net.Loop()), POLLIN, 0};
            int timeout = uv_backend_timeout(net.Loop());
            poll(&fd, 1, timeout < 0 || timeout > 5 ? 5 : timeout);
        }
        return done();
    }

    RecordingSink sink;
    NetServer net{sink};
    uint16_t port = 0;
};

// Many clients connecting while the server is busy are all accepted once it
// turns its loop, instead of overflowing a short accept queue.
TEST_F(NetTest, BurstOfConnectionsIsAcceptedWhole) {
    constexpr int kClients = 64;
    std::vector<int> fds;
    for (int i = 0; i < kClients; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ASSERT_GE(fd, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int rc = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        EXPECT_TRUE(rc == 0 || errno == EINPROGRESS);
        fds.push_back(fd);
    }
    EXPECT_TRUE(PumpUntil([&] { return sink.peers.size() == kClients; }))
        << sink.peers.size() << " accepted";
    for (const int fd : fds) {
        close(fd);
    }
}

TEST_F(NetTest, AcceptReportsDottedAddressAndPeerPortThenBytesInOrder) {
    Client client(port);
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(PumpUntil([&] { return sink.peers.size() == 1; }));
    EXPECT_EQ(sink.peers[0].ip, "127.0.0.1");
    EXPECT_EQ(sink.peers[0].port, client.LocalPort());

    client.Write("12:first");
    client.Write("part");
    ASSERT_TRUE(PumpUntil([&] { return sink.peers[0].received.size() == 12; }));
    EXPECT_EQ(sink.peers[0].received, "12:firstpart");
    EXPECT_EQ(sink.closed_count, 0);
}

// Timed work due again at once runs one slice per turn, reads in between.
TEST_F(NetTest, TimedWorkDueAgainAtOnceLetsReadsIn) {
    Client client(port);
    sink.timed_left = 1000;
    client.Write("a");
    ASSERT_TRUE(PumpUntil([&] { return !sink.peers.empty() && sink.peers[0].received == "a"; }));
    int left_when_read = 0;
    sink.on_bytes = [&](RecordingSink::Peer&, std::string_view) {
        left_when_read = sink.timed_left;
    };
    client.Write("b");
    ASSERT_TRUE(PumpUntil([&] { return sink.peers[0].received == "ab"; }));
    EXPECT_GT(left_when_read, 990);
}

TEST_F(NetTest, LargeOutputThatOutrunsTheSocketIsDeliveredIntact) {
    Client client(port);
    ASSERT_TRUE(PumpUntil([&] { return sink.peers.size() == 1; }));
    // Three MiB in uneven pieces, more than the socket buffers take at once,
    // so part of it waits behind a write in flight.
    std::string expected;
    for (int i = 0; expected.size() < (3u << 20); ++i) {
        std::string piece(1000 + i % 777, static_cast<char>('a' + i % 26));
        expected += piece;
        sink.peers[0].connection->Send(piece);
        if (i % 500 == 0) {
            uv_run(net.Loop(), UV_RUN_NOWAIT);
        }
    }
    ASSERT_TRUE(PumpUntil([&] {
        client.ReadAvailable();
        return client.received.size() >= expected.size();
    }));
    EXPECT_TRUE(client.received == expected);
    EXPECT_EQ(sink.closed_count, 0);
}

TEST_F(NetTest, CloseBySinkDeliversWhatWasSentFirstAndIsNotReportedBack) {
    sink.on_bytes = [](RecordingSink::Peer& peer, std::string_view) {
        // Eviction: a last frame, then the close, inside the read callback.
        peer.connection->Send("bye");
        peer.connection->Close();
        peer.connection->Send("never");
        peer.connection = nullptr;
    };
    Client client(port);
    client.Write("x");
    ASSERT_TRUE(PumpUntil([&] { return !client.ReadAvailable(); }));
    EXPECT_EQ(client.received, "bye");
    EXPECT_TRUE(PumpUntil([&] { return net.ConnectionCount() == 0; }));
    EXPECT_EQ(sink.closed_count, 0);
}

TEST_F(NetTest, PeerThatStopsReadingIsDroppedWithoutHarmingOthers) {
    Client stalled(port);
    ASSERT_TRUE(PumpUntil([&] { return sink.peers.size() == 1; }));
    Client reader(port);
    ASSERT_TRUE(PumpUntil([&] { return sink.peers.size() == 2; }));
    Connection* to_stalled = sink.peers[0].connection;

    const std::string block(256 * 1024, 'z');
    size_t sent = 0;
    // The kernel buffers take a few MiB; the queue cap the next four.
    while (!sink.peers[0].closed && sent < (64u << 20)) {
        to_stalled->Send(block);
        sent += block.size();
        uv_run(net.Loop(), UV_RUN_NOWAIT);
    }
    ASSERT_TRUE(sink.peers[0].closed) << "never dropped after " << sent << " bytes";
    EXPECT_GT(sent, NetServer::kMaxQueuedBytes);
    ASSERT_FALSE(sink.log.empty());
    EXPECT_NE(sink.log.back().find("127.0.0.1"), std::string::npos);

    sink.on_bytes = [](RecordingSink::Peer& peer, std::string_view bytes) {
        peer.connection->Send(bytes);
    };
    reader.Write("still here");
    ASSERT_TRUE(PumpUntil([&] { return reader.ReadAvailable() && reader.received.size() == 10; }));
    EXPECT_EQ(reader.received, "still here");
    EXPECT_EQ(sink.closed_count, 1);
}

TEST_F(NetTest, ListeningOnABusyPortFailsAndIsLogged) {
    RecordingSink other_sink;
    NetServer other(other_sink);
    EXPECT_NE(other.Listen(port), 0);
    EXPECT_EQ(other.BoundPort(), 0);
    ASSERT_EQ(other_sink.log.size(), 1u);
    EXPECT_NE(other_sink.log[0].find(std::to_string(port)), std::string::npos);
    other.Stop();
    EXPECT_EQ(other_sink.shutdowns, 0) << "nothing was served, nothing to shut down";
}

TEST_F(NetTest, StopClosesListenerAndEveryConnectionWithoutReportingThem) {
    Client first(port);
    Client second(port);
    ASSERT_TRUE(PumpUntil([&] { return sink.peers.size() == 2; }));
    net.Stop();
    EXPECT_EQ(sink.shutdowns, 1);
    EXPECT_EQ(sink.closed_count, 0);
    EXPECT_EQ(net.ConnectionCount(), 0u);
    EXPECT_EQ(uv_loop_alive(net.Loop()), 0) << "a handle was left open";
    EXPECT_TRUE(PumpUntil([&] { return !first.ReadAvailable() && !second.ReadAvailable(); }));
    Client late(port);
    EXPECT_FALSE(late.Connected());
    net.Stop();  // twice is harmless
    EXPECT_EQ(sink.shutdowns, 1);
}

}  // namespace
}  // namespace parlo::server
