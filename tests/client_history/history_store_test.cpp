// The history file: lines kept across a reopening, the search that ignores
// accents and letter case, erasing, a damaged file left as it is, and one
// folder per account.
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>

#include "client/history/history_recorder.h"
#include "client/history/history_store.h"
#include "client/history/history_text.h"

namespace parlo::client {
namespace {

NewLine Said(StoredConversationId conversation, qint64 time, std::string sender, std::string text,
             LineKind kind = LineKind::kMessage) {
    return {.conversation = conversation,
            .participants = "bruno, chloe",
            .time_ms = time,
            .kind = kind,
            .sender = std::move(sender),
            .text = std::move(text)};
}

class HistoryStoreTest : public ::testing::Test {
  protected:
    QString Path() const { return dir_.filePath("amelie/history.sqlite"); }
    QTemporaryDir dir_;
};

TEST_F(HistoryStoreTest, KeepsLinesAcrossReopeningAndFindsWordsWithoutAccentsOrCase) {
    {
        HistoryStore store(Path());
        ASSERT_TRUE(store.IsOpen()) << store.Error().toStdString();
        const StoredConversationId first = store.NewConversationId();
        const StoredConversationId second = store.NewConversationId();
        const std::vector<NewLine> lines = {
            Said(first, 1000, "", "bruno s'est joint à la conversation", LineKind::kInfo),
            Said(first, 2000, "bruno", "Cet Été au lac :)"),
            Said(second, 3000, "amelie", "Rien à voir"),
            Said(first, 4000, "amelie", "ete 2025, étendue"),
        };
        ASSERT_TRUE(store.Append(lines));
    }
    namespace fs = std::filesystem;
    EXPECT_EQ(fs::status(Path().toStdString()).permissions(),
              fs::perms::owner_read | fs::perms::owner_write);

    HistoryStore store(Path());
    ASSERT_TRUE(store.IsOpen());
    EXPECT_EQ(store.NewConversationId(), 3);  // never one already used
    const std::vector<ConversationSummary> list = store.Conversations();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].last_ms, 4000);  // newest first
    EXPECT_EQ(list[0].started_ms, 1000);
    EXPECT_EQ(list[0].first_words, "Cet Été au lac :)");
    EXPECT_EQ(list[0].participants, "bruno, chloe");
    EXPECT_EQ(store.Conversations("CHLOE").size(), 2u);
    EXPECT_TRUE(store.Conversations("brun").empty());

    const std::vector<StoredLine> lines = store.Lines(list[0].id);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].kind, LineKind::kInfo);
    EXPECT_EQ(lines[2].text, "ete 2025, étendue");
    EXPECT_EQ(store.Lines(list[0].id, 1).at(0).time_ms, 4000);  // the last ones

    // "ete" finds "Été" and the start of "étendue", marked in the text.
    const std::vector<SearchHit> hits = store.Search("ete");
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[0].text, "ete 2025, étendue");
    EXPECT_EQ(hits[0].marks, (std::vector<std::pair<size_t, size_t>>{{0, 3}, {10, 18}}));
    EXPECT_EQ(hits[1].text.substr(hits[1].marks.at(0).first, 5), "Été");
    EXPECT_EQ(hits[1].sender, "bruno");
    EXPECT_EQ(store.Search("ete", "BRUNO").size(), 2u);  // in the conversations with bruno
    EXPECT_TRUE(store.Search("ete", "brun").empty());
    EXPECT_EQ(store.Search("ÉTÉ LAC").size(), 1u);     // every word
    EXPECT_TRUE(store.Search("\"* NEAR( -").empty());  // no query syntax, no error
    EXPECT_TRUE(store.Search("").empty());

    EXPECT_EQ(ExportText(list[0], lines),
              "Conversation avec bruno, chloe, " + DateAndTime(1000) + "\n\ninfo :[" +
                  TimeOfDay(1000) + "] bruno s'est joint à la conversation\n[" + TimeOfDay(2000) +
                  "] bruno dit :\nCet Été au lac :)\n[" + TimeOfDay(4000) +
                  "] amelie dit :\nete 2025, étendue\n");

    ASSERT_TRUE(store.EraseAll());
    EXPECT_TRUE(store.Conversations().empty());
    EXPECT_TRUE(store.Search("ete").empty());
}

TEST_F(HistoryStoreTest, ADamagedFileIsLeftAloneAndTheRecorderGoesOnWithout) {
    const QByteArray garbage(8192, 'x');
    ASSERT_TRUE(QDir().mkpath(dir_.filePath("amelie")));
    QFile file(Path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(garbage);
    file.close();

    HistoryStore store(Path());
    EXPECT_FALSE(store.IsOpen());
    EXPECT_FALSE(store.Error().isEmpty());
    EXPECT_FALSE(store.Append(std::vector{Said(1, 1, "a", "b")}));
    EXPECT_TRUE(store.Conversations().empty());

    std::vector<std::string> shown;
    HistoryRecorder recorder(
        dir_.path(), [] { return true; },
        [&](std::string_view problem) { shown.emplace_back(problem); });
    EXPECT_EQ(recorder.StoreFor("Amelie"), nullptr);  // same folder, letter case aside
    EXPECT_EQ(recorder.StoreFor("amelie"), nullptr);
    EXPECT_EQ(shown, std::vector<std::string>{std::string(HistoryRecorder::kProblemText)});
    recorder.Flush();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), garbage);
}

TEST_F(HistoryStoreTest, EachAccountHasItsOwnFileInsideTheRoot) {
    HistoryRecorder recorder(dir_.path(), [] { return true; });
    HistoryStore* amelie = recorder.StoreFor("amelie");
    ASSERT_NE(amelie, nullptr);
    ASSERT_TRUE(amelie->Append(std::vector{Said(amelie->NewConversationId(), 1, "a", "secret")}));
    HistoryStore* other = recorder.StoreFor("../bruno");
    ASSERT_NE(other, nullptr);
    EXPECT_TRUE(other->Path().startsWith(dir_.path() + "/%2E%2E%2Fbruno/"));
    EXPECT_TRUE(other->Search("secret").empty());
    EXPECT_EQ(recorder.StoreFor("AMELIE")->Search("secret").size(), 1u);
}

}  // namespace
}  // namespace parlo::client
