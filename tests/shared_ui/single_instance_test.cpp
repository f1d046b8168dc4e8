// One copy per user: the second copy's request reaches the first, and a
// socket left behind by a copy that died is taken over.
#include <QCoreApplication>
#include <QDir>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "shared_ui/single_instance.h"
#include "tests/support/qt_wait.h"

namespace parlo::ui {
namespace {

using parlo::testing::WaitUntil;

TEST(SingleInstance, SecondCopyAsksTheFirstToShowItself) {
    const QString name =
        QStringLiteral("parlo-test-instance-%1").arg(QCoreApplication::applicationPid());
    SingleInstance first(name);
    SingleInstance second(name);
    EXPECT_FALSE(second.AskRunningCopyToShow(200));  // nobody answers yet
    ASSERT_TRUE(first.Listen());
    int shown = 0;
    QObject::connect(&first, &SingleInstance::ShowRequested, [&] { ++shown; });
    EXPECT_TRUE(second.AskRunningCopyToShow());
    EXPECT_TRUE(WaitUntil([&] { return shown == 1; }));
}

TEST(SingleInstance, SocketLeftBehindByADeadCopyIsTakenOver) {
    const QString name =
        QStringLiteral("parlo-test-stale-%1").arg(QCoreApplication::applicationPid());
    // What a crashed copy leaves: a bound socket file nobody listens on.
    const QByteArray path = (QDir::tempPath() + QLatin1Char('/') + name).toLocal8Bit();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(static_cast<size_t>(path.size()), sizeof(address.sun_path));
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);

    SingleInstance copy(name);
    EXPECT_FALSE(copy.AskRunningCopyToShow(200));
    EXPECT_TRUE(copy.Listen());
    SingleInstance later(name);
    EXPECT_TRUE(later.AskRunningCopyToShow());
}

}  // namespace
}  // namespace parlo::ui
