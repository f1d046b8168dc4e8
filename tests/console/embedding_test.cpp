#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLocalServer>
#include <QTcpSocket>
#include <QTimer>

#include <gtest/gtest.h>

#include <uv.h>

#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "protocol/codec.h"
#include "protocol/commands.h"
#include "server/console/uv_embedding.h"
#include "server/core/administration.h"
#include "server/core_net_events.h"
#include "server/net/net.h"
#include "tests/server_core/core_fixture.h"

namespace parlo::server {
namespace {

// Runs Qt's event loop, which waits for events as the program's does, until
// `done` or two seconds have passed.
template <typename Predicate>
bool SpinUntil(Predicate done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 2000) {
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

class UvLoopDriverTest : public ::testing::Test {
  protected:
    UvLoopDriverTest() { uv_loop_init(&loop_); }
    ~UvLoopDriverTest() override { EXPECT_EQ(uv_loop_close(&loop_), 0); }

    // Closes every handle while the test's handles still exist.
    void CloseAll() { CloseAllHandles(&loop_); }

    uv_loop_t loop_{};
};

TEST_F(UvLoopDriverTest, WorkQueuedFromQtsSideRunsWithoutSocketActivity) {
    UvLoopDriver driver(&loop_);
    uv_idle_t idle;
    int ran = 0;
    uv_idle_init(&loop_, &idle);
    idle.data = &ran;
    // Started from a Qt callback, as the console's dialogs queue output.
    QTimer::singleShot(10, [&] {
        uv_idle_start(&idle, [](uv_idle_t* handle) {
            ++*static_cast<int*>(handle->data);
            uv_idle_stop(handle);
        });
    });
    EXPECT_TRUE(SpinUntil([&] { return ran == 1; }));
    CloseAll();
}

// Log lines written from Qt's side (the console's dialogs) reach Log.txt
// before Qt waits, as those of the loop's own turns do.
TEST_F(UvLoopDriverTest, HeldLogLinesReachTheFileBeforeQtWaits) {
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("parlo-driver-" + std::to_string(getpid()));
    ServerLog log(file, [] { return std::time_t{0}; }, {});
    log.HoldUntilFlush();
    UvLoopDriver driver(&loop_, [&log] { log.Flush(); });
    QTimer::singleShot(10, [&log] { log.Write("depuis Qt"); });
    const auto content = [&file] {
        std::ostringstream text;
        text << std::ifstream(file).rdbuf();
        return text.str();
    };
    EXPECT_TRUE(SpinUntil([&] { return content() == "(00:00:00) depuis Qt\n"; }));
    std::filesystem::remove(file);
    CloseAll();
}

TEST_F(UvLoopDriverTest, ConnectionsAreAcceptedWhileQtWaits) {
    UvLoopDriver driver(&loop_);
    uv_tcp_t listener;
    uv_tcp_init(&loop_, &listener);
    sockaddr_in address{};
    uv_ip4_addr("127.0.0.1", 0, &address);
    ASSERT_EQ(uv_tcp_bind(&listener, reinterpret_cast<const sockaddr*>(&address), 0), 0);
    int accepted = 0;
    listener.data = &accepted;
    ASSERT_EQ(uv_listen(reinterpret_cast<uv_stream_t*>(&listener), 5,
                        [](uv_stream_t* server, int status) {
                            if (status == 0) {
                                ++*static_cast<int*>(server->data);
                            }
                        }),
              0);
    sockaddr_storage bound{};
    int length = sizeof(bound);
    uv_tcp_getsockname(&listener, reinterpret_cast<sockaddr*>(&bound), &length);
    const auto port = ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);

    QTcpSocket client;
    client.connectToHost(QStringLiteral("127.0.0.1"), port);
    EXPECT_TRUE(SpinUntil([&] { return accepted == 1; }));
    client.abort();
    CloseAll();
}

}  // namespace
}  // namespace parlo::server

namespace parlo::server {
namespace {

// The whole chain: a client over TCP, the network adapter on the embedded
// loop, and a broadcast started from the console's side.
class ConsoleOverNetworkTest : public testing::CoreFixture {};

TEST_F(ConsoleOverNetworkTest, BroadcastFromTheConsoleReachesARealClient) {
    ASSERT_EQ(AddAccount(core_, {"ann", "pw", "Ann", "A", "a@lan"}), AdminResult::kDone);
    CoreNetEvents sink(core_);
    NetServer net(sink);
    ASSERT_EQ(net.Listen(0), 0);
    UvLoopDriver driver(net.Loop());

    QTcpSocket client;
    client.connectToHost(QStringLiteral("127.0.0.1"), net.BoundPort());
    ASSERT_TRUE(SpinUntil([&] { return client.state() == QAbstractSocket::ConnectedState; }));
    std::string login_blob;
    std::string password_blob;
    ASSERT_TRUE(Compress("ann", login_blob));
    ASSERT_TRUE(Compress("pw", password_blob));
    std::string frame;
    ASSERT_TRUE(AppendCommandFrame(frame, FormatConnect("PC", login_blob, password_blob)));
    client.write(frame.data(), static_cast<qint64>(frame.size()));
    ASSERT_TRUE(SpinUntil([&] { return core_.Rows().Size() == 1; }));

    FrameReader reader;
    std::vector<std::string> received;
    auto broadcast_arrived = [&] {
        const QByteArray bytes = client.readAll();
        reader.Feed(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
        std::string_view payload;
        while (reader.Next(payload) == FrameReader::Status::kFrame) {
            std::string text;
            Uncompress(payload, text);
            received.push_back(text);
        }
        return std::find(received.begin(), received.end(), "Broadcast:Bonjour") != received.end();
    };
    ASSERT_EQ(SendBroadcast(core_, BroadcastEntries(core_), "Bonjour"), 1);
    EXPECT_TRUE(SpinUntil(broadcast_arrived));
    net.Stop();
}

}  // namespace
}  // namespace parlo::server
