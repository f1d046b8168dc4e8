#include "server/options.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace parlo::server {
namespace {

std::optional<ServerCommandLine> Parse(std::initializer_list<std::string_view> args,
                                       std::string* error = nullptr) {
    std::string ignored;
    const std::vector<std::string_view> list(args);
    return ParseServerCommandLine(list, error != nullptr ? *error : ignored);
}

TEST(ServerCommandLine, MinimizeInAnyLetterCaseStartsHidden) {
    for (std::string_view arg : {"/minimize", "/MINIMIZE", "/Minimize"}) {
        const std::optional<ServerCommandLine> options = Parse({arg});
        ASSERT_TRUE(options.has_value()) << arg;
        EXPECT_TRUE(options->minimize) << arg;
        EXPECT_FALSE(options->headless) << arg;
    }
    const std::optional<ServerCommandLine> with_port = Parse({"--port", "8000", "/MiniMize"});
    ASSERT_TRUE(with_port.has_value());
    EXPECT_TRUE(with_port->minimize);
    EXPECT_EQ(with_port->port, 8000);
    EXPECT_FALSE(Parse({})->minimize);

    // Only the whole word: near misses are refused and named.
    std::string error;
    EXPECT_FALSE(Parse({"/minimized"}, &error).has_value());
    EXPECT_EQ(error, "unknown option: /minimized");
    EXPECT_FALSE(Parse({"--HEADLESS"}, &error).has_value());
}

TEST(ServerCommandLine, BroadcastIsChangesUnlessFullIsAsked) {
    EXPECT_EQ(Parse({})->broadcast, BroadcastMode::kChanges);
    EXPECT_EQ(Parse({"--broadcast", "full"})->broadcast, BroadcastMode::kFull);
    EXPECT_EQ(Parse({"--broadcast=full", "--headless"})->broadcast, BroadcastMode::kFull);
    EXPECT_EQ(Parse({"--broadcast", "changes"})->broadcast, BroadcastMode::kChanges);
    std::string error;
    EXPECT_FALSE(Parse({"--broadcast", "FULL"}, &error).has_value());
    EXPECT_EQ(error, "invalid broadcast: FULL (full or changes)");
    EXPECT_FALSE(Parse({"--broadcast"}, &error).has_value());
    EXPECT_EQ(error, "--broadcast needs full or changes");
}

TEST(ServerCommandLine, KeepaliveIsTwentySecondsUnlessSaidOtherwise) {
    EXPECT_EQ(Parse({})->keepalive_s, 20);
    EXPECT_EQ(Parse({"--keepalive", "0"})->keepalive_s, 0);
    EXPECT_EQ(Parse({"--keepalive=5", "--port=9000"})->keepalive_s, 5);
    std::string error;
    EXPECT_FALSE(Parse({"--keepalive", "-1"}, &error).has_value());
    EXPECT_EQ(error, "invalid keepalive: -1 (0 to 32767 seconds)");
    EXPECT_FALSE(Parse({"--keepalives=3"}, &error).has_value());
    EXPECT_EQ(error, "unknown option: --keepalives=3");
}

TEST(ServerCommandLine, LimitsHaveOfficeDefaultsAndZeroLiftsThem) {
    const ServerCommandLine defaults = *Parse({});
    EXPECT_EQ(defaults.limits.total, 10000u);
    EXPECT_EQ(defaults.limits.per_address, 64u);
    EXPECT_EQ(defaults.Core().login_timeout_ms, 30000);
    const auto lifted =
        Parse({"--max-connections", "0", "--max-per-address=0", "--login-timeout", "5"});
    ASSERT_TRUE(lifted.has_value());
    EXPECT_EQ(lifted->limits.total, 0u);
    EXPECT_EQ(lifted->limits.per_address, 0u);
    EXPECT_EQ(lifted->Core().login_timeout_ms, 5000);
    std::string error;
    EXPECT_FALSE(Parse({"--max-per-address", "-1"}, &error).has_value());
    EXPECT_EQ(error, "--max-per-address needs a number from 0 (no limit) to 1000000");
    EXPECT_FALSE(Parse({"--login-timeout"}, &error).has_value());
}

TEST(ServerCommandLine, AdminTakesEveryLaterWordAndLogOptionsTakeTheirValues) {
    const std::optional<ServerCommandLine> admin =
        Parse({"--control=/tmp/c", "--admin", "add", "bob", "--port", "x"});
    ASSERT_TRUE(admin.has_value());
    EXPECT_EQ(admin->control_socket, "/tmp/c");
    EXPECT_EQ(*admin->admin, (std::vector<std::string>{"add", "bob", "--port", "x"}));
    EXPECT_FALSE(Parse({})->admin.has_value());

    EXPECT_FALSE(Parse({"--log-messages", "no"})->log_message_texts);
    EXPECT_TRUE(Parse({})->log_message_texts);
    EXPECT_FALSE(Parse({})->log_stdout_all.has_value());
    EXPECT_EQ(Parse({"--log-stdout=all"})->log_stdout_all, true);
    std::string error;
    EXPECT_FALSE(Parse({"--log-messages", "non"}, &error).has_value());
    EXPECT_EQ(error, "invalid log-messages: non (yes or no)");
    EXPECT_FALSE(Parse({"--control"}, &error).has_value());
    EXPECT_EQ(error, "--control needs a socket path");
}

}  // namespace
}  // namespace parlo::server
