#include "client/history/history_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QUrl>
#include <QVariant>
#include <QtGlobal>

#include <algorithm>

#include "client/core/qt_text.h"

namespace parlo::client {
namespace {

// Each store has a connection of its own, even on the same file.
int opened_stores = 0;

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions kOwnerFolder = kOwnerOnly | QFileDevice::ExeOwner;
// The beginning of a conversation the list shows.
constexpr size_t kFirstWordsBytes = 120;
// A writer that finds the file locked (another process reading it) waits
// this long before giving up.
constexpr int kBusyTimeoutMs = 2000;
// The conversations (aliased c) of one participant, letter case aside, or all
// of them when it is empty: the one filter of the list and of the search.
// Binds that login twice.
constexpr char kWithParticipant[] =
    "(? = '' OR instr(', ' || lower(c.participants) || ', ', ', ' || lower(?) || ', ') > 0)";

// Around a match in the search's text.
constexpr char kMarkBegin = '\x01';
constexpr char kMarkEnd = '\x02';

constexpr const char* kSchema[] = {
    "CREATE TABLE IF NOT EXISTS conversations(id INTEGER PRIMARY KEY, participants TEXT NOT "
    "NULL, started INTEGER NOT NULL, last INTEGER NOT NULL, first_words TEXT NOT NULL)",
    "CREATE INDEX IF NOT EXISTS conversations_by_last ON conversations(last)",
    "CREATE TABLE IF NOT EXISTS lines(id INTEGER PRIMARY KEY, conversation INTEGER NOT NULL, "
    "time INTEGER NOT NULL, kind INTEGER NOT NULL, sender TEXT NOT NULL, text TEXT NOT NULL)",
    "CREATE INDEX IF NOT EXISTS lines_by_conversation ON lines(conversation, id)",
    "CREATE VIRTUAL TABLE IF NOT EXISTS lines_text USING fts5(text, content='lines', "
    "content_rowid='id', tokenize='unicode61 remove_diacritics 2')",
    "CREATE TRIGGER IF NOT EXISTS lines_indexed AFTER INSERT ON lines BEGIN INSERT INTO "
    "lines_text(rowid, text) VALUES (new.id, new.text); END",
};

// At most `bytes` bytes of `text`, never cutting a UTF-8 sequence.
std::string_view CutUtf8(std::string_view text, size_t bytes) {
    if (text.size() <= bytes) {
        return text;
    }
    while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80) {
        --bytes;
    }
    return text.substr(0, bytes);
}

// A text to bind: never null, which SQL would take for NULL.
QString Bound(std::string_view text) {
    return text.empty() ? QStringLiteral("") : Q(text);
}

// Runs a prepared statement; its error is kept for the caller's log line.
bool Execute(QSqlQuery& query, QString& error) {
    if (query.exec()) {
        return true;
    }
    error = query.lastError().text();
    return false;
}

std::string Text(const QSqlQuery& query, int column) {
    return Utf8(query.value(column).toString());
}

// The row of a query that selects id, started, last, participants and
// first_words.
ConversationSummary SummaryAt(const QSqlQuery& query) {
    return {.id = query.value(0).toLongLong(),
            .started_ms = query.value(1).toLongLong(),
            .last_ms = query.value(2).toLongLong(),
            .participants = Text(query, 3),
            .first_words = Text(query, 4)};
}

// Creates the file private to its user before SQLite writes into it; SQLite
// gives its journal files the same mode.
bool PrepareFile(const QString& path, QString& why) {
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        why = QStringLiteral("le dossier ne peut être créé");
        return false;
    }
    QFile::setPermissions(info.absolutePath(), kOwnerFolder);
    QFile file(path);
    if (!file.exists()) {
        if (!file.open(QIODevice::WriteOnly)) {
            why = file.errorString();
            return false;
        }
        file.close();
    }
    file.setPermissions(kOwnerOnly);
    return true;
}

}  // namespace

HistoryStore::HistoryStore(const QString& path)
    : path_(path), connection_(QStringLiteral("history %1").arg(++opened_stores)) {
    QString why;
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
        Fail(QStringLiteral("pilote SQLite absent"), {});
        return;
    }
    if (!PrepareFile(path, why)) {
        Fail(QStringLiteral("fichier inaccessible"), why);
        return;
    }
    db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    db_.setDatabaseName(path);
    db_.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    if (!db_.open()) {
        Fail(QStringLiteral("ouverture"), db_.lastError().text());
        return;
    }
    open_ = true;
    // A damaged file fails here, and is left as it is.
    if (!Run("PRAGMA journal_mode=WAL") || !Run("PRAGMA synchronous=NORMAL") || !CreateSchema()) {
        return;
    }
    QSqlQuery query(db_);
    if (query.exec(QStringLiteral("SELECT COALESCE(MAX(id), 0) + 1 FROM conversations")) &&
        query.next()) {
        next_conversation_ = query.value(0).toLongLong();
    } else {
        Fail(QStringLiteral("lecture"), query.lastError().text());
    }
}

HistoryStore::~HistoryStore() {
    if (db_.isValid()) {
        db_.close();
        db_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(connection_);
    }
}

void HistoryStore::Fail(const QString& what, const QString& why) {
    error_ = QStringLiteral("%1 : %2 (%3)").arg(path_, what, why);
    qWarning("history unavailable: %s", qPrintable(error_));
    open_ = false;
}

bool HistoryStore::Run(const char* statement) {
    QSqlQuery query(db_);
    if (query.exec(QString::fromUtf8(statement))) {
        return true;
    }
    Fail(QString::fromUtf8(statement).section(' ', 0, 1), query.lastError().text());
    return false;
}

bool HistoryStore::CreateSchema() {
    for (const char* statement : kSchema) {
        if (!Run(statement)) {
            return false;
        }
    }
    return true;
}

bool HistoryStore::Append(std::span<const NewLine> lines) {
    if (!open_ || lines.empty()) {
        return open_;
    }
    if (!db_.transaction()) {
        error_ = db_.lastError().text();
        return false;
    }
    QSqlQuery conversation(db_);
    conversation.prepare(QStringLiteral(
        "INSERT INTO conversations(id, participants, started, last, first_words) "
        "VALUES(?, ?, ?, ?, ?) ON CONFLICT(id) DO UPDATE SET "
        "participants = excluded.participants, last = excluded.last, first_words = "
        "CASE WHEN first_words = '' THEN excluded.first_words ELSE first_words END"));
    QSqlQuery line(db_);
    line.prepare(
        QStringLiteral("INSERT INTO lines(conversation, time, kind, sender, text) "
                       "VALUES(?, ?, ?, ?, ?)"));
    bool ok = true;
    // One row of `conversations` per run of lines of the same conversation.
    size_t run = 0;
    std::string_view first_words;
    for (size_t i = 0; ok && i < lines.size(); ++i) {
        const NewLine& added = lines[i];
        if (first_words.empty() && added.kind == LineKind::kMessage) {
            first_words = CutUtf8(added.text, kFirstWordsBytes);
        }
        line.bindValue(0, added.conversation);
        line.bindValue(1, added.time_ms);
        line.bindValue(2, static_cast<int>(added.kind));
        line.bindValue(3, Bound(added.sender));
        line.bindValue(4, Bound(added.text));
        ok = Execute(line, error_);
        if (!ok || (i + 1 < lines.size() && lines[i + 1].conversation == added.conversation)) {
            continue;
        }
        conversation.bindValue(0, added.conversation);
        conversation.bindValue(1, Bound(added.participants));
        conversation.bindValue(2, lines[run].time_ms);
        conversation.bindValue(3, added.time_ms);
        conversation.bindValue(4, Bound(first_words));
        ok = Execute(conversation, error_);
        run = i + 1;
        first_words = {};
    }
    if (ok && db_.commit()) {
        return true;
    }
    if (ok) {
        error_ = db_.lastError().text();
    }
    db_.rollback();
    return false;
}

std::vector<ConversationSummary> HistoryStore::Conversations(std::string_view with) {
    std::vector<ConversationSummary> list;
    if (!open_) {
        return list;
    }
    QSqlQuery query(db_);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT id, started, last, participants, first_words "
                                 "FROM conversations c WHERE ") +
                  QLatin1String(kWithParticipant) + QStringLiteral(" ORDER BY last DESC LIMIT ?"));
    query.bindValue(0, Bound(with));
    query.bindValue(1, Bound(with));
    query.bindValue(2, kMaxListed + 1);
    if (!Execute(query, error_)) {
        qWarning("history: the conversations cannot be read: %s", qPrintable(error_));
        return list;
    }
    while (query.next()) {
        if (list.size() == static_cast<size_t>(kMaxListed)) {
            qWarning("history: only the %d newest conversations are listed", kMaxListed);
            break;
        }
        list.push_back(SummaryAt(query));
    }
    return list;
}

std::optional<ConversationSummary> HistoryStore::Summary(StoredConversationId conversation) {
    if (!open_) {
        return std::nullopt;
    }
    QSqlQuery query(db_);
    query.prepare(
        QStringLiteral("SELECT id, started, last, participants, first_words FROM conversations "
                       "WHERE id = ?"));
    query.bindValue(0, conversation);
    if (!Execute(query, error_) || !query.next()) {
        return std::nullopt;
    }
    return SummaryAt(query);
}

std::vector<StoredLine> HistoryStore::Lines(StoredConversationId conversation, int count) {
    std::vector<StoredLine> lines;
    if (!open_) {
        return lines;
    }
    QSqlQuery query(db_);
    query.setForwardOnly(true);
    query.prepare(
        QStringLiteral("SELECT time, kind, sender, text FROM lines WHERE conversation = ? "
                       "ORDER BY id DESC LIMIT ?"));
    query.bindValue(0, conversation);
    query.bindValue(1, count);
    if (!Execute(query, error_)) {
        qWarning("history: the lines cannot be read: %s", qPrintable(error_));
        return lines;
    }
    while (query.next()) {
        lines.push_back({.time_ms = query.value(0).toLongLong(),
                         .kind = query.value(1).toInt() == 1 ? LineKind::kInfo : LineKind::kMessage,
                         .sender = Text(query, 2),
                         .text = Text(query, 3)});
    }
    if (lines.size() == static_cast<size_t>(count) && count == kMaxLinesShown) {
        qWarning("history: only the last %d lines of the conversation are shown", count);
    }
    std::reverse(lines.begin(), lines.end());
    return lines;
}

std::vector<SearchHit> HistoryStore::Search(std::string_view words, std::string_view with) {
    std::vector<SearchHit> hits;
    const std::string match = MatchQuery(words);
    if (!open_ || match.empty()) {
        return hits;
    }
    QSqlQuery query(db_);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT l.conversation, l.time, c.participants, l.sender, "
                                 "highlight(lines_text, 0, char(1), char(2)) FROM lines_text "
                                 "JOIN lines l ON l.id = lines_text.rowid "
                                 "JOIN conversations c ON c.id = l.conversation "
                                 "WHERE lines_text MATCH ? AND ") +
                  QLatin1String(kWithParticipant) +
                  QStringLiteral(" ORDER BY lines_text.rowid DESC LIMIT ?"));
    query.bindValue(0, Q(match));
    query.bindValue(1, Bound(with));
    query.bindValue(2, Bound(with));
    query.bindValue(3, kMaxSearchHits + 1);
    if (!Execute(query, error_)) {
        qWarning("history: search failed: %s", qPrintable(error_));
        return hits;
    }
    while (query.next()) {
        if (hits.size() == static_cast<size_t>(kMaxSearchHits)) {
            qWarning("history: a search shows its %d newest lines only", kMaxSearchHits);
            break;
        }
        SearchHit hit{.conversation = query.value(0).toLongLong(),
                      .time_ms = query.value(1).toLongLong(),
                      .participants = Text(query, 2),
                      .sender = Text(query, 3),
                      .text = {},
                      .marks = {}};
        size_t begin = 0;
        for (const char c : Text(query, 4)) {
            if (c == kMarkBegin) {
                begin = hit.text.size();
            } else if (c == kMarkEnd) {
                hit.marks.emplace_back(begin, hit.text.size());
            } else {
                hit.text.push_back(c);
            }
        }
        hits.push_back(std::move(hit));
    }
    return hits;
}

bool HistoryStore::EraseAll() {
    if (!open_) {
        return false;
    }
    if (!db_.transaction()) {
        return false;
    }
    QSqlQuery lines(db_);
    lines.prepare(QStringLiteral("DELETE FROM lines"));
    QSqlQuery index(db_);
    index.prepare(QStringLiteral("INSERT INTO lines_text(lines_text) VALUES('delete-all')"));
    QSqlQuery conversations(db_);
    conversations.prepare(QStringLiteral("DELETE FROM conversations"));
    if (!Execute(lines, error_) || !Execute(index, error_) || !Execute(conversations, error_) ||
        !db_.commit()) {
        db_.rollback();
        qWarning("history: cannot be erased: %s", qPrintable(error_));
        return false;
    }
    // What was said leaves the file too, not only the tables.
    QSqlQuery vacuum(db_);
    vacuum.prepare(QStringLiteral("VACUUM"));
    QSqlQuery checkpoint(db_);
    checkpoint.prepare(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    if (!Execute(vacuum, error_) || !Execute(checkpoint, error_)) {
        qWarning("history: erased, but the file keeps its size: %s", qPrintable(error_));
    }
    return true;
}

std::string MatchQuery(std::string_view words) {
    std::string match;
    static const QRegularExpression kBetweenWords(QStringLiteral("[^\\p{L}\\p{N}]+"));
    for (const QString& word : Q(words).split(kBetweenWords, Qt::SkipEmptyParts)) {
        match.append(match.empty() ? "\"" : " \"").append(Utf8(word)).append("\"*");
    }
    return match;
}

QString DefaultHistoryRoot() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Parlomatic");
}

QString HistoryPath(const QString& root, std::string_view login) {
    // Logins match without regard to ASCII letter case; the folder name is
    // never a path of its own ("..", "/").
    std::string folded(login);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    const QByteArray folder = QUrl::toPercentEncoding(Q(folded), {}, ".~");
    return root + '/' + QString::fromLatin1(folder) + QStringLiteral("/history.sqlite");
}

}  // namespace parlo::client
