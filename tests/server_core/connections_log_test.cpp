#include <cstdlib>
#include <ctime>

#include "tests/server_core/harness.h"

namespace parlo::server::testing {
namespace {

using Connections = CoreTest;
using ServerLogFile = CoreTest;

TEST_F(Connections, SilentVisitorLeavesTwoLinesNoRowAndABroadcast) {
    FakeConnection& ann = Online("ann");
    FakeConnection& visitor = Accept("192.168.1.20");
    Close(visitor);
    const auto messages = events_.Messages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[messages.size() - 2], " (192.168.1.20) est accepté");
    EXPECT_EQ(messages.back(), " (192.168.1.20) a quitté le chat");
    EXPECT_EQ(Core().Rows().Size(), 1u);
    EXPECT_EQ(ann.Take(), std::vector<std::string>{"SetState!"});
}

TEST_F(Connections, RowsAreSortedByComputerAndTheFirstOfAnAddressGoes) {
    Online("zed", "10.0.0.5");
    FakeConnection& amy = Online("amy", "10.0.0.5");
    Online("max", "10.0.0.6");
    ASSERT_EQ(Core().Rows().Size(), 3u);
    EXPECT_EQ(Core().Rows().At(0).computer, "PC-amy");
    EXPECT_EQ(Core().Rows().At(2).computer, "PC-zed");
    const int changes = events_.rows_changed;
    Close(amy);
    // Whichever connection it belonged to, the first row of the address goes.
    ASSERT_EQ(Core().Rows().Size(), 2u);
    EXPECT_EQ(Core().Rows().At(0).computer, "PC-max");
    EXPECT_EQ(Core().Rows().At(1).computer, "PC-zed");
    EXPECT_GT(events_.rows_changed, changes);
}

TEST_F(Connections, LoggingInAgainOnOneConnectionKeepsOneRow) {
    FakeConnection& amy = Online("amy", "10.0.0.5");
    for (int k = 0; k < 5; ++k) {
        Login(amy, "amy");
    }
    EXPECT_EQ(Core().Rows().Size(), 1u);
    Close(amy);
    EXPECT_EQ(Core().Rows().Size(), 0u);
}

TEST_F(Connections, FramesSplitAcrossReadsAreReassembled) {
    FakeConnection& c = Accept();
    std::string frames;
    ASSERT_TRUE(AppendCommandFrame(frames, "GetState:ann"));
    ASSERT_TRUE(AppendCommandFrame(frames, "GetState:bob"));
    for (char byte : frames) {
        Core().OnBytes(c, std::string_view(&byte, 1));
    }
    EXPECT_EQ(c.Take(), (std::vector<std::string>{"ann:1", "bob:1"}));
}

TEST_F(Connections, UnreadableStreamClosesOnlyThatConnection) {
    FakeConnection& ann = Online("ann");
    FakeConnection& bad = Accept("10.0.0.66");
    Core().OnBytes(bad, "9000:");
    EXPECT_TRUE(bad.closed);
    EXPECT_EQ(Core().Online().Find(bad), nullptr);
    EXPECT_TRUE(events_.Logged(" (10.0.0.66) envoie des trames illisibles : connexion fermée"));
    EXPECT_TRUE(events_.Logged(" (10.0.0.66) a quitté le chat"));
    FakeConnection& junk = Accept("10.0.0.67");
    Core().OnBytes(junk, "hello");
    EXPECT_TRUE(junk.closed);
    EXPECT_FALSE(ann.closed);
    ann.Take();
    Send(ann, "GetState:ann");
    EXPECT_EQ(ann.Take(), std::vector<std::string>{"ann:0"});
}

TEST_F(Connections, PayloadThatDoesNotUncompressIsSkipped) {
    FakeConnection& c = Accept();
    std::string frames = "5:abcde";
    ASSERT_TRUE(AppendCommandFrame(frames, "GetState:x"));
    Core().OnBytes(c, frames);
    EXPECT_EQ(c.Take(), std::vector<std::string>{"x:1"});
    EXPECT_FALSE(c.closed);
}

TEST_F(Connections, OperatorCloseRunsTheCloseProcedure) {
    FakeConnection& ann = Online("ann");
    FakeConnection& bob = Online("bob", "10.0.0.2");
    Core().CloseEntry(*Core().Online().Find(bob));
    EXPECT_TRUE(bob.closed);
    EXPECT_TRUE(events_.Logged("PC-bob (10.0.0.2) a quitté le chat"));
    EXPECT_EQ(Core().Rows().Size(), 1u);
    EXPECT_EQ(ann.Take(), std::vector<std::string>{"SetState!"});
}

TEST_F(Connections, ShutdownSavesAndClosesEveryoneQuietly) {
    FakeConnection& ann = Online("ann");
    FakeConnection& visitor = Accept();
    events_.lines.clear();
    Stop();
    EXPECT_TRUE(ann.closed);
    EXPECT_TRUE(visitor.closed);
    EXPECT_TRUE(ann.Take().empty());
    EXPECT_EQ(events_.Messages(), std::vector<std::string>{"UserDB.dat sauvé"});
}

TEST_F(ServerLogFile, LinesCarryTheUtcTimeInBothPlaces) {
    const char* old_tz = std::getenv("TZ");
    const std::string saved_tz = old_tz != nullptr ? old_tz : "";
    setenv("TZ", "Asia/Kolkata", 1);
    tzset();
    Core().Log("un");
    if (old_tz != nullptr) {
        setenv("TZ", saved_tz.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
    EXPECT_EQ(events_.lines.back(), "(09:05:07) un");
    EXPECT_EQ(ReadFile(dir_ / "Log.txt"), "(09:05:07) un\n");
    Core().Log("trois");
    EXPECT_EQ(ReadFile(dir_ / "Log.txt"), "(09:05:07) un\n(09:05:07) trois\n");
    EXPECT_EQ(LogTimeStamp(23 * 3600 + 59 * 60 + 59 + 86400 * 365), "(23:59:59) ");
}

TEST_F(ServerLogFile, HeldLinesLeaveTogetherAtFlushWhenManyWaitAndAtTheEnd) {
    const std::filesystem::path file = dir_ / "Log.txt";
    std::vector<std::string> shown;
    {
        ServerLog log(
            file, [] { return kNineFiveSeven; },
            [&](std::string_view line) { shown.emplace_back(line); });
        log.HoldUntilFlush();
        log.Write("un");
        log.Write("deux");
        EXPECT_EQ(shown.size(), 2u);  // the console sees each line at once
        EXPECT_EQ(ReadFile(file), "");
        log.Flush();
        EXPECT_EQ(ReadFile(file), "(09:05:07) un\n(09:05:07) deux\n");
        const std::string long_line(1000, 'x');
        for (size_t bytes = 0; bytes < ServerLog::kFlushAtBytes; bytes += long_line.size()) {
            log.Write(long_line);
        }
        EXPECT_GT(ReadFile(file).size(), ServerLog::kFlushAtBytes);
        log.Write("trois");
    }
    EXPECT_TRUE(ReadFile(file).ends_with("x\n(09:05:07) trois\n"));
}

TEST_F(ServerLogFile, UnwritableFileOnlyLosesTheFileLine) {
    std::filesystem::create_directory(dir_ / "Log.txt");  // cannot be opened as a file
    Core().Log("reste affiché");
    EXPECT_EQ(events_.lines.back(), "(09:05:07) reste affiché");
}

}  // namespace
}  // namespace parlo::server::testing

namespace parlo::server::testing {
namespace {

// Every keyword followed by random bytes rich in separators and digits, from
// a logged-in and an anonymous connection: nothing crashes or reads out of
// bounds (the sanitizer build checks), and both connections still answer.
TEST_F(Connections, MalformedCommandsOfEveryKeywordAreSurvived) {
    FakeConnection& ann = Online("ann");
    Online("bob");
    FakeConnection& anonymous = Accept();
    uint32_t seed = 12345;
    const auto random = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    const std::string alphabet(":!:!0123456789-ab\xc3\xa9\0", 20);
    for (int round = 0; round < 40; ++round) {
        for (const auto& test : ServerKeywordOrder()) {
            std::string command(test.text);
            const size_t length = random() % 40;
            for (size_t i = 0; i < length; ++i) {
                command.push_back(alphabet[random() % alphabet.size()]);
            }
            Send(round % 2 == 0 ? ann : anonymous, command);
        }
    }
    ann.Take();
    anonymous.Take();
    Send(ann, "GetState:ann");
    Send(anonymous, "GetState:ann");
    EXPECT_EQ(First(ann, "ann:"), "ann:0");
    EXPECT_EQ(First(anonymous, "ann:"), "ann:0");
}

}  // namespace
}  // namespace parlo::server::testing

namespace parlo::server::testing {
namespace {

// The file stays open between lines, yet a Log.txt moved or deleted by
// someone else is followed by a fresh one at the same path from the very next
// line (the clock does not move: nothing waits for a second to pass).
TEST_F(ServerLogFile, MovedOrDeletedFileIsStartedAgain) {
    const std::time_t now = kNineFiveSeven;
    std::vector<std::string> shown;
    ServerLog log(
        dir_ / "Log.txt", [&now] { return now; },
        [&shown](std::string_view line) { shown.emplace_back(line); });
    log.Write("un");
    std::filesystem::rename(dir_ / "Log.txt", dir_ / "Log.old");
    log.Write("deux");
    EXPECT_EQ(ReadFile(dir_ / "Log.old"), "(09:05:07) un\n");
    EXPECT_EQ(ReadFile(dir_ / "Log.txt"), "(09:05:07) deux\n");
    std::filesystem::remove(dir_ / "Log.txt");
    log.Write("trois");
    EXPECT_EQ(ReadFile(dir_ / "Log.txt"), "(09:05:07) trois\n");
    // A change of attributes alone keeps the same file.
    std::filesystem::permissions(dir_ / "Log.txt", std::filesystem::perms::owner_all);
    log.Write("quatre");
    EXPECT_EQ(ReadFile(dir_ / "Log.txt"), "(09:05:07) trois\n(09:05:07) quatre\n");
    // Moved away and replaced by someone else's file: lines go to the new one.
    std::filesystem::rename(dir_ / "Log.txt", dir_ / "Log.1");
    WriteFile(dir_ / "Log.txt", "");
    log.Write("cinq");
    EXPECT_EQ(ReadFile(dir_ / "Log.txt"), "(09:05:07) cinq\n");
    EXPECT_EQ(ReadFile(dir_ / "Log.1"), "(09:05:07) trois\n(09:05:07) quatre\n");
    EXPECT_EQ(shown.size(), 5u);
}

}  // namespace
}  // namespace parlo::server::testing
