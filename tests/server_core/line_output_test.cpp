#include "server/line_output.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace parlo::server {
namespace {

TEST(LineOutput, KeepsNothingForTheNullDeviceAndEveryLineForAPipe) {
    const int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(null_fd, 0);
    LineOutput discarded(null_fd);
    discarded.Add("personne ne lit");
    EXPECT_FALSE(discarded.Pending());
    close(null_fd);

    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    LineOutput piped(ends[1]);
    piped.Add("ligne lue");
    EXPECT_TRUE(piped.Pending());
    EXPECT_TRUE(piped.Flush());
    char read_back[32] = {};
    EXPECT_EQ(read(ends[0], read_back, sizeof read_back), 10);
    EXPECT_STREQ(read_back, "ligne lue\n");
    close(ends[0]);
    close(ends[1]);
}

}  // namespace
}  // namespace parlo::server
