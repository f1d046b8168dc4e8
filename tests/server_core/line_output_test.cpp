#include "server/line_output.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

// Lines for the null device are dropped at once: nobody would read them.
TEST(LineOutput, KeepsNothingForTheNullDevice) {
    const int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    parlo::server::LineOutput discarded(null_fd);
    discarded.Add("personne ne lit");
    EXPECT_FALSE(discarded.Pending());
    close(null_fd);
}
