// One account's conversation history in an SQLite file: the conversations
// with their participants, their lines with times, and a full-text index over
// the texts that ignores letter case and accents.
#pragma once

#include <QSqlDatabase>
#include <QString>

#include <QtGlobal>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "client/core/transcript_recorder.h"

namespace parlo::client {

using StoredConversationId = qint64;

// One line to add: the conversation it belongs to (with its participants at
// that time, the local user left out, joined by ", ").
struct NewLine {
    StoredConversationId conversation = 0;
    std::string participants;
    qint64 time_ms = 0;  // since 1970, UTC
    LineKind kind = LineKind::kMessage;
    std::string sender;
    std::string text;
};

struct StoredLine {
    qint64 time_ms = 0;
    LineKind kind = LineKind::kMessage;
    std::string sender;
    std::string text;
};

struct ConversationSummary {
    StoredConversationId id = 0;
    qint64 started_ms = 0;
    qint64 last_ms = 0;
    std::string participants;
    std::string first_words;  // the first message's text
};

// A line the search found; `marks` are the byte ranges [begin, end) of the
// text that match the words searched.
struct SearchHit {
    StoredConversationId conversation = 0;
    qint64 time_ms = 0;
    std::string participants;
    std::string sender;
    std::string text;
    std::vector<std::pair<size_t, size_t>> marks;
};

class HistoryStore {
  public:
    // Most conversations the list shows, and most lines one conversation
    // shows (its last ones), and most lines a search returns.
    static constexpr int kMaxListed = 5000;
    static constexpr int kMaxLinesShown = 5000;
    static constexpr int kMaxSearchHits = 500;

    // Opens or creates the file (private to its user, its folder too). On
    // failure the store is closed and `Error()` says why; an existing file is
    // never replaced.
    explicit HistoryStore(const QString& path);
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    bool IsOpen() const { return open_; }
    const QString& Error() const { return error_; }
    const QString& Path() const { return path_; }

    // A conversation number never used in this file yet.
    StoredConversationId NewConversationId() { return next_conversation_++; }

    // All lines in one transaction; false (nothing added) on failure.
    bool Append(std::span<const NewLine> lines);
    // Newest first; only those with the participant `with` when it is not
    // empty (letter case aside).
    std::vector<ConversationSummary> Conversations(std::string_view with = {});
    std::optional<ConversationSummary> Summary(StoredConversationId conversation);
    // The last `count` lines of a conversation, oldest first.
    std::vector<StoredLine> Lines(StoredConversationId conversation, int count = kMaxLinesShown);
    // Lines holding every word of `words` (a word also matches the start of a
    // longer one), newest first; only in conversations with `with` as above.
    std::vector<SearchHit> Search(std::string_view words, std::string_view with = {});
    // Every conversation and line removed, the file shrunk.
    bool EraseAll();

  private:
    bool Run(const char* statement);
    bool CreateSchema();
    void Fail(const QString& what, const QString& why);

    QString path_;
    QString connection_;
    QSqlDatabase db_;
    bool open_ = false;
    QString error_;
    StoredConversationId next_conversation_ = 1;
};

// "été au lac" as the full-text query "été"* "au"* "lac"*: only letters and
// digits are kept, so no input can be taken for query syntax. Empty when no
// word is left.
std::string MatchQuery(std::string_view words);

// The default place of a login's history:
// $XDG_DATA_HOME/Parlomatic/<login>/history.sqlite.
QString DefaultHistoryRoot();
QString HistoryPath(const QString& root, std::string_view login);

}  // namespace parlo::client
