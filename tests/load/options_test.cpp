// Command line of the load tool, and how users, contacts and partners are chosen.
#include <gtest/gtest.h>

#include <vector>

#include "tools/load/load_run.h"
#include "tools/load/options.h"

namespace parlo::load {
namespace {

ParsedOptions Parse(std::vector<const char*> args) {
    return ParseOptions(args);
}

TEST(OptionsTest, DefaultsRunNoPhase) {
    const ParsedOptions parsed = Parse({});
    ASSERT_TRUE(parsed.options);
    EXPECT_EQ(parsed.options->port, 7777);
    EXPECT_FALSE(parsed.options->register_users);
    EXPECT_EQ(parsed.options->contacts, 0);
    EXPECT_FALSE(parsed.options->login_storm);
    EXPECT_EQ(parsed.options->relay_senders, 0);
    EXPECT_LT(parsed.options->idle_seconds, 0);
}

TEST(OptionsTest, FlagsAndValuedOptionsMix) {
    const ParsedOptions parsed = Parse({"--register", "--users", "1000", "--login", "--idle", "2.5",
                                        "--server-pid", "99", "--stop-server"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    const LoadOptions& o = *parsed.options;
    EXPECT_TRUE(o.register_users && o.login_storm && o.stop_server);
    EXPECT_EQ(o.users, 1000);
    EXPECT_DOUBLE_EQ(o.idle_seconds, 2.5);
    EXPECT_EQ(o.server_pid, 99);
    EXPECT_FALSE(o.logout_storm);
    EXPECT_FALSE(o.reconnect_wave);
    EXPECT_TRUE(Parse({"--reconnect"}).options->reconnect_wave);
    EXPECT_DOUBLE_EQ(o.relay_rate, 0);

    const ParsedOptions more = Parse({"--logout", "--relay", "2", "--relay-rate", "2000"});
    ASSERT_TRUE(more.options) << more.error;
    EXPECT_TRUE(more.options->logout_storm);
    EXPECT_DOUBLE_EQ(more.options->relay_rate, 2000);
    EXPECT_FALSE(Parse({"--relay-rate", "-5"}).options);
}

TEST(OptionsTest, MistakesAreReportedNotGuessed) {
    EXPECT_NE(Parse({"--bogus"}).error.find("unknown option --bogus"), std::string::npos);
    EXPECT_NE(Parse({"--users"}).error.find("missing value"), std::string::npos);
    EXPECT_FALSE(Parse({"--port", "0"}).options);
    EXPECT_FALSE(Parse({"--port", "70000"}).options);
    EXPECT_FALSE(Parse({"--users", "12x"}).options);
    EXPECT_FALSE(Parse({"--idle", "-1"}).options);
    EXPECT_FALSE(Parse({"--timeout", "0"}).options);
    // A login may hold neither separator.
    EXPECT_FALSE(Parse({"--prefix", "a:b"}).options);
    EXPECT_FALSE(Parse({"--prefix", "a!b"}).options);
    // The text must hold the time stamp.
    EXPECT_FALSE(Parse({"--message-bytes", "10"}).options);
    EXPECT_FALSE(Parse({"--stop-server"}).options);
    EXPECT_FALSE(Parse({"--relay", "1", "--users", "1"}).options);
}

TEST(UserChoiceTest, ContactsWrapAroundWithoutSelfOrRepeats) {
    EXPECT_EQ(UserLogin("load", 0), "load1");
    EXPECT_EQ(ContactsAskedBy(0, 3, 10), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(ContactsAskedBy(8, 3, 10), (std::vector<int>{9, 0, 1}));
    EXPECT_EQ(ContactsAskedBy(1, 5, 3), (std::vector<int>{2, 0}));
    EXPECT_TRUE(ContactsAskedBy(0, 4, 1).empty());
}

TEST(UserChoiceTest, RelayPartnersAreOthers) {
    // Enough users: sender i talks to the i-th user of the second half.
    EXPECT_EQ(RelayPartner(0, 5, 10), 5);
    EXPECT_EQ(RelayPartner(4, 5, 10), 9);
    // Too few: the next user, wrapping.
    EXPECT_EQ(RelayPartner(2, 3, 4), 3);
    EXPECT_EQ(RelayPartner(3, 4, 4), 0);
}

}  // namespace
}  // namespace parlo::load
