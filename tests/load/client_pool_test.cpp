// The pool over real loopback sockets, against a small scripted server
// running on its own thread.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "protocol/codec.h"
#include "protocol/commands.h"
#include "tools/load/client_pool.h"

namespace parlo::load {
namespace {

constexpr int64_t kSecond = 1'000'000'000;

// The scripted server runs on its own thread, so it keeps away from the
// program's shared codec and uses zlib's one-shot calls.
void AppendFrameOf(std::string& out, std::string_view command) {
    std::string payload(compressBound(command.size()), '\0');
    uLongf length = payload.size();
    compress(reinterpret_cast<Bytef*>(payload.data()), &length,
             reinterpret_cast<const Bytef*>(command.data()), command.size());
    payload.resize(length);
    AppendFrame(out, payload);
}

std::string TextOf(std::string_view payload) {
    std::string text(kMaxFrameBytes, '\0');
    uLongf length = text.size();
    if (uncompress(reinterpret_cast<Bytef*>(text.data()), &length,
                   reinterpret_cast<const Bytef*>(payload.data()), payload.size()) != Z_OK) {
        return {};
    }
    text.resize(length);
    return text;
}

// Answers registration and login as a server would, or misbehaves on purpose.
class ScriptedServer {
  public:
    enum class Mode { kAnswer, kHangUpOnLogin, kGarbage };

    explicit ScriptedServer(Mode mode) : mode_(mode) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(listener_, reinterpret_cast<sockaddr*>(&address), length);
        listen(listener_, 128);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~ScriptedServer() {
        stop_ = true;
        thread_.join();
        for (const auto& [fd, peer] : peers_) {
            close(fd);
        }
        close(listener_);
    }

    int Port() const { return port_; }
    int Accepted() const { return accepted_; }

  private:
    struct Peer {
        FrameReader reader;
    };

    void Serve() {
        while (!stop_) {
            std::vector<pollfd> fds = {{listener_, POLLIN, 0}};
            for (const auto& [fd, peer] : peers_) {
                fds.push_back({fd, POLLIN, 0});
            }
            if (poll(fds.data(), fds.size(), 20) <= 0) {
                continue;
            }
            if (fds[0].revents & POLLIN) {
                peers_[accept(listener_, nullptr, nullptr)];
                ++accepted_;
            }
            for (size_t i = 1; i < fds.size(); ++i) {
                if (fds[i].revents != 0) {
                    Read(fds[i].fd);
                }
            }
        }
    }

    void Read(int fd) {
        char bytes[4096];
        const ssize_t n = read(fd, bytes, sizeof bytes);
        if (n <= 0) {
            Drop(fd);
            return;
        }
        Peer& peer = peers_[fd];
        peer.reader.Feed(std::string_view(bytes, static_cast<size_t>(n)));
        std::string_view payload;
        std::string reply;
        bool hang_up = false;
        while (peer.reader.Next(payload) == FrameReader::Status::kFrame) {
            const std::string command = TextOf(payload);
            if (mode_ == Mode::kGarbage) {
                reply += "this is not a frame";
            } else if (command.starts_with("AddNewUser")) {
                AppendFrameOf(reply, "AddNewUser:OK");
            } else if (command.starts_with("Connect")) {
                hang_up = mode_ == Mode::kHangUpOnLogin;
                // Several frames in one write: the reader must cut them.
                AppendFrameOf(reply, "Login:OK");
                AppendFrameOf(reply, "DoAddAddressBook:someone");
            } else if (command == "AddressBook") {
                AppendFrameOf(reply, "AddressBook:load2");
            } else if (command == "GetAllState") {
                AppendFrameOf(reply, "SetState!load2:1");
            }
        }
        if (hang_up) {
            Drop(fd);
            return;
        }
        if (!reply.empty()) {
            (void)!write(fd, reply.data(), reply.size());
        }
    }

    void Drop(int fd) {
        close(fd);
        peers_.erase(fd);
    }

    Mode mode_;
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::map<int, Peer> peers_;
};

std::vector<LoadClient> Users(int count) {
    std::vector<LoadClient> clients;
    for (int i = 0; i < count; ++i) {
        clients.emplace_back(i, "load" + std::to_string(i + 1), "pw");
    }
    return clients;
}

std::vector<int> AllOf(const std::vector<LoadClient>& clients) {
    std::vector<int> indices;
    for (const LoadClient& client : clients) {
        indices.push_back(client.Index());
    }
    return indices;
}

TEST(ClientPoolTest, WindowedRegistrationClosesEachUserWhenDone) {
    ScriptedServer server(ScriptedServer::Mode::kAnswer);
    std::vector<LoadClient> clients = Users(12);
    ClientPool pool(server.Port(), clients);
    ASSERT_TRUE(pool.Ready());
    const StepResult step =
        pool.RunStep(AllOf(clients), Task::kRegister, 3, true, NowNs() + 10 * kSecond);
    EXPECT_EQ(step.done, 12);
    EXPECT_EQ(step.failed, 0);
    EXPECT_EQ(step.unfinished, 0);
    EXPECT_EQ(server.Accepted(), 12);
    pool.CloseAll(NowNs() + kSecond);
    EXPECT_EQ(pool.OpenConnections(), 0);
    for (const LoadClient& client : clients) {
        EXPECT_EQ(client.Registration(), RegisterOutcome::kCreated);
        EXPECT_FALSE(client.Connected());
    }
}

TEST(ClientPoolTest, StormAllAtOnceThenStepsReuseTheLogins) {
    ScriptedServer server(ScriptedServer::Mode::kAnswer);
    std::vector<LoadClient> clients = Users(20);
    ClientPool pool(server.Port(), clients);
    const StepResult storm =
        pool.RunStep(AllOf(clients), Task::kStorm, 0, false, NowNs() + 10 * kSecond);
    EXPECT_EQ(storm.done, 20);
    for (const LoadClient& client : clients) {
        EXPECT_EQ(client.BookEntries(), 1);
        EXPECT_GE(client.StatesNs(), client.LoginNs());
    }
    // Users already online are not connected again.
    const StepResult online =
        pool.RunStep(AllOf(clients), Task::kGoOnline, 5, false, NowNs() + 10 * kSecond);
    EXPECT_EQ(online.done, 20);
    EXPECT_EQ(server.Accepted(), 20);
    EXPECT_EQ(pool.ProtocolErrors(), 0);
}

TEST(ClientPoolTest, NobodyListeningFailsFastInsteadOfHanging) {
    int port = 0;
    {
        ScriptedServer gone(ScriptedServer::Mode::kAnswer);
        port = gone.Port();
    }
    std::vector<LoadClient> clients = Users(5);
    ClientPool pool(port, clients);
    const StepResult step =
        pool.RunStep(AllOf(clients), Task::kGoOnline, 2, false, NowNs() + 10 * kSecond);
    EXPECT_EQ(step.failed, 5);
    EXPECT_EQ(step.unfinished, 0);
    EXPECT_LT(step.seconds, 5);
    EXPECT_EQ(pool.ConnectErrors(), 5);
    EXPECT_NE(step.first_failure.find("cannot connect"), std::string::npos);
}

TEST(ClientPoolTest, ServerHangingUpFailsTheStep) {
    ScriptedServer server(ScriptedServer::Mode::kHangUpOnLogin);
    std::vector<LoadClient> clients = Users(4);
    ClientPool pool(server.Port(), clients);
    const StepResult step =
        pool.RunStep(AllOf(clients), Task::kGoOnline, 0, false, NowNs() + 10 * kSecond);
    EXPECT_EQ(step.failed, 4);
    EXPECT_NE(step.first_failure.find("connection closed"), std::string::npos);
}

TEST(ClientPoolTest, BytesThatAreNotFramesDropTheConnection) {
    ScriptedServer server(ScriptedServer::Mode::kGarbage);
    std::vector<LoadClient> clients = Users(3);
    ClientPool pool(server.Port(), clients);
    const StepResult step =
        pool.RunStep(AllOf(clients), Task::kGoOnline, 0, false, NowNs() + 10 * kSecond);
    EXPECT_EQ(step.failed, 3);
    EXPECT_EQ(pool.ProtocolErrors(), 3);
}

TEST(ClientPoolTest, DeadlineEndsAStepThatNeverAnswers) {
    // Accepting but never answering: registration waits for nothing.
    ScriptedServer server(ScriptedServer::Mode::kAnswer);
    std::vector<LoadClient> clients = Users(2);
    ClientPool pool(server.Port(), clients);
    const StepResult step =
        pool.RunStep(AllOf(clients), Task::kAskContacts, 0, false, NowNs() + kSecond / 5);
    // Not logged in: asking contacts fails at once, no waiting at all.
    EXPECT_EQ(step.failed, 2);
    const StepResult storm =
        pool.RunStep(AllOf(clients), Task::kGoOnline, 0, false, NowNs() + 10 * kSecond);
    ASSERT_EQ(storm.done, 2);
    clients[0].SetContactsToAsk({"nobody"});
    clients[1].SetContactsToAsk({"nobody"});
    const StepResult waiting =
        pool.RunStep(AllOf(clients), Task::kAskContacts, 0, false, NowNs() + kSecond / 5);
    EXPECT_EQ(waiting.unfinished, 2);
    EXPECT_LT(waiting.seconds, 2);
}

}  // namespace
}  // namespace parlo::load
