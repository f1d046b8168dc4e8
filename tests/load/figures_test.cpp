// Latency statistics, /proc readings and the report formats.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tools/load/latency_stats.h"
#include "tools/load/process_probe.h"
#include "tools/load/report.h"

namespace parlo::load {
namespace {

TEST(LatencySamplesTest, NearestRankPercentilesOfUnsortedSamples) {
    LatencySamples samples;
    for (int i = 100; i >= 1; --i) {
        samples.Add(i * 1000);  // 1..100 µs, in reverse order
    }
    const LatencySummary summary = samples.Summarize();
    EXPECT_EQ(summary.count, 100u);
    EXPECT_DOUBLE_EQ(summary.p50_us, 50);
    EXPECT_DOUBLE_EQ(summary.p99_us, 99);
    EXPECT_DOUBLE_EQ(summary.max_us, 100);
    EXPECT_DOUBLE_EQ(summary.mean_us, 50.5);
}

TEST(LatencySamplesTest, SmallAndEmptySets) {
    LatencySamples samples;
    EXPECT_EQ(samples.Summarize().count, 0u);
    EXPECT_EQ(samples.Summarize().p99_us, 0);

    samples.Add(7000);
    EXPECT_DOUBLE_EQ(samples.Summarize().p50_us, 7);
    EXPECT_DOUBLE_EQ(samples.Summarize().p99_us, 7);

    // One slow sample out of three is the p99 but not the median.
    samples.Add(1000);
    samples.Add(900000);
    EXPECT_DOUBLE_EQ(samples.Summarize().p50_us, 7);
    EXPECT_DOUBLE_EQ(samples.Summarize().p99_us, 900);
}

TEST(LatencySamplesTest, NegativeIntervalCountsAsZero) {
    LatencySamples samples;
    samples.Add(-5);
    EXPECT_EQ(samples.Summarize().max_us, 0);
}

TEST(ProcReadingTest, CpuTicksCountFieldsAfterTheLastParenthesis) {
    // The command name holds blanks and a ')' of its own.
    const char* stat =
        "4242 (my prog) x) S 1 4242 4242 0 -1 4194560 500 0 0 0 123 45 0 0 20 0 1 0 "
        "100 2000000 300 18446744073709551615\n";
    EXPECT_EQ(ParseCpuTicks(stat), 168u);
    EXPECT_EQ(ParseProcessState(stat), 'S');
}

TEST(ProcReadingTest, TruncatedOrGarbledStatIsRefused) {
    EXPECT_FALSE(ParseCpuTicks("").has_value());
    EXPECT_FALSE(ParseCpuTicks("12 (x) S 1 2 3").has_value());
    EXPECT_FALSE(ParseCpuTicks("12 (x) S 1 2 3 4 5 6 7 8 9 10 abc 5 0").has_value());
    EXPECT_EQ(ParseProcessState("12 (x)"), 0);
}

TEST(ProcReadingTest, VmRssLine) {
    EXPECT_EQ(ParseVmRssKiB("Name:\tServer\nVmPeak:\t  9000 kB\nVmRSS:\t   23364 kB\nX: 1\n"),
              23364u);
    EXPECT_FALSE(ParseVmRssKiB("Name:\tServer\nVmSize:\t 1 kB\n").has_value());
    EXPECT_FALSE(ParseVmRssKiB("VmRSS:\t   lots kB\n").has_value());
    EXPECT_FALSE(ParseVmRssKiB("VmRSS:\t   12 MB\n").has_value());
}

TEST(ProcReadingTest, OwnProcessAndAnEndedChild) {
    EXPECT_TRUE(ProcessRunning(getpid()));
    EXPECT_TRUE(ReadCpuSeconds(getpid()).has_value());
    EXPECT_GT(ReadRssKiB(getpid()).value_or(0), 0u);

    const pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_FALSE(ProcessRunning(child));
    EXPECT_FALSE(ReadCpuSeconds(child).has_value());
}

TEST(ProcReadingTest, OpenFileLimitRaisedToHard) {
    const uint64_t soft = RaiseOpenFileLimit();
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    EXPECT_EQ(soft, limit.rlim_cur);
    EXPECT_EQ(limit.rlim_cur, limit.rlim_max);
}

TEST(ReportTest, JsonStringsAreEscapedAndUtf8PassesThrough) {
    EXPECT_EQ(JsonString("a\"b\\c\nd\te\x01"), "\"a\\\"b\\\\c\\nd\\te\\u0001\"");
    EXPECT_EQ(JsonString("déjà"), "\"déjà\"");
}

TEST(ReportTest, NumbersAreValidJson) {
    EXPECT_EQ(FormatNumber(1000), "1000");
    EXPECT_EQ(FormatNumber(0.25), "0.25");
    EXPECT_EQ(FormatNumber(-3), "-3");
    EXPECT_EQ(FormatNumber(std::nan("")), "null");
    EXPECT_EQ(FormatNumber(std::numeric_limits<double>::infinity()), "null");
}

TEST(ReportTest, JsonAndTableCarryTheSameFigures) {
    PhaseReport relay("relay");
    relay.Add("delivered", 200);
    relay.Add("latency_p50_us", 12.5);
    relay.notes.push_back("phase \"timeout\"");
    PhaseReport idle("idle");
    const std::vector<PhaseReport> reports = {relay, idle};

    EXPECT_EQ(FormatJson(reports),
              "{\"phases\":[\n"
              "{\"phase\":\"relay\",\"figures\":{\"delivered\":200,\"latency_p50_us\":12.5},"
              "\"notes\":[\"phase \\\"timeout\\\"\"]},\n"
              "{\"phase\":\"idle\",\"figures\":{},\"notes\":[]}\n"
              "]}\n");
    const std::string table = FormatTable(reports);
    EXPECT_NE(table.find("relay\n"), std::string::npos);
    EXPECT_NE(table.find("latency_p50_us"), std::string::npos);
    EXPECT_NE(table.find("12.5\n"), std::string::npos);
    EXPECT_NE(table.find("! phase \"timeout\""), std::string::npos);
    EXPECT_NE(table.find("idle\n"), std::string::npos);
}

}  // namespace
}  // namespace parlo::load
