// Text that came from a client cannot forge a log line: its control
// characters are shown as escapes in Log.txt and on the console, while the
// catalogue's own texts stay as they are.
#include <string>

#include "tests/server_core/harness.h"

namespace parlo::server::testing {
namespace {

std::string Escaped(std::string_view text) {
    std::string out;
    AppendEscaped(out, text);
    return out;
}

TEST(LogEscapes, ControlCharactersBecomeVisibleAndNothingElseChanges) {
    EXPECT_EQ(Escaped("a\nb\rc\td"), "a\\nb\\rc\\td");
    EXPECT_EQ(Escaped(std::string("\x01\x1f\x7f\0z", 5)), "\\x01\\x1F\\x7F\\x00z");
    EXPECT_EQ(Escaped("été \\n 100% ~"), "été \\n 100% ~");
    EXPECT_EQ(Escaped(""), "");
}

// Plain bytes are skipped a word at a time: every byte value, at every place
// of a text longer than two words, is escaped exactly when it should be.
TEST(LogEscapes, EveryByteIsSeenWhereverItFallsInTheText) {
    for (int value = 0; value < 256; ++value) {
        const char c = static_cast<char>(value);
        const bool shown = value < 0x20 || value == 0x7F;
        for (size_t at = 0; at < 20; ++at) {
            std::string text(20, 'x');
            text[at] = c;
            const std::string out = Escaped(text);
            ASSERT_EQ(out.size(), shown ? (c == '\n' || c == '\r' || c == '\t' ? 21u : 23u) : 20u)
                << "byte " << value << " at " << at;
            ASSERT_EQ(out.substr(0, at), std::string(at, 'x'));
        }
    }
}

using LogForgery = CoreTest;

// Lines of Log.txt: every line must start with a time stamp.
std::vector<std::string> FileLines(const std::filesystem::path& file) {
    std::vector<std::string> lines;
    const std::string text = ReadFile(file);
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

TEST_F(LogForgery, AMessageTextCannotWriteALineOfItsOwn) {
    FakeConnection& mallory = Online("mallory");
    Online("bob", "10.0.0.2");
    const std::string forged =
        "salut\n(09:00:00) User mallory authorisé et execute ses anciens messages";
    Send(mallory, FormatMessage("mallory", std::vector<std::string>{"bob"}, forged));
    const std::string expected =
        "mallory dit à bob salut\\n(09:00:00) User mallory authorisé et execute ses anciens "
        "messages";
    EXPECT_EQ(events_.Messages().back(), expected);  // the console shows the same
    const auto lines = FileLines(dir_ / "Log.txt");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "(09:05:07) " + expected);
    for (const std::string& line : lines) {
        EXPECT_TRUE(line.starts_with("(09:05:07) ")) << line;
    }
}

TEST_F(LogForgery, ComputerNamesLoginsAndCriteriaAreEscaped) {
    FakeConnection& c = Accept();
    Send(c, FormatConnect("PC\r\n\x01", Blob("who\x7f"), Blob("pw")));
    EXPECT_TRUE(events_.Logged("Log de who\\x7F"));
    EXPECT_TRUE(events_.Logged("User who\\x7F est inconnu (10.0.0.1)"));
    FakeConnection& ann = Online("ann");
    Send(ann, FormatFindUser("a\tb", "", "", ""));
    EXPECT_TRUE(events_.Logged("User ann Recherche a\\tb::: et trouve FindUser:"));
    Close(c);
    EXPECT_TRUE(events_.Logged("PC\\r\\n\\x01 (10.0.0.1) a quitté le chat"));
    for (const std::string& line : FileLines(dir_ / "Log.txt")) {
        EXPECT_TRUE(line.starts_with("(09:05:07) ")) << line;
    }
}

TEST_F(LogForgery, TheCatalogueTwoLineMessageKeepsItsLineFeed) {
    FakeConnection& anonymous = Accept();
    Send(anonymous, "AddressBook");
    EXPECT_TRUE(ReadFile(dir_ / "Log.txt")
                    .ends_with("(09:05:07) --> FindClientByConnection a trouvé une erreur\n"
                               " connecté (10.0.0.1) mais pas dans la base !!!\n"));
    EXPECT_EQ(events_.lines.back(),
              "(09:05:07) --> FindClientByConnection a trouvé une erreur\n"
              " connecté (10.0.0.1) mais pas dans la base !!!");
}

}  // namespace
}  // namespace parlo::server::testing
