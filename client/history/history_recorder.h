// Keeps what the conversation windows show: each line goes into the history
// of the account it was said under, written in batches (one transaction per
// 100 ms at most) so that a window never waits for the disk.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "client/core/transcript_recorder.h"
#include "client/core/ui_port.h"
#include "client/history/history_store.h"

namespace parlo::client {

class HistoryRecorder final : public QObject, public TranscriptRecorder {
  public:
    // How long a line waits for the lines said with it.
    static constexpr int kBatchMs = 100;
    // Lines kept while the file cannot be written (a full disk); older ones
    // are dropped beyond it.
    static constexpr size_t kMaxWaiting = 10000;

    // Told to the user while lines cannot be kept (one line, not a box per
    // message); the empty text once they can again.
    static constexpr std::string_view kProblemText =
        "Historique non enregistré : disque plein ou dossier inaccessible";
    using ProblemShown = std::function<void(std::string_view)>;

    // `root` holds one folder per login; `enabled` tells whether lines are
    // to be kept at all; `problem` shows kProblemText (or clears it).
    HistoryRecorder(QString root, std::function<bool()> enabled, ProblemShown problem = {});
    ~HistoryRecorder() override;

    void Record(const Conversation& conversation, LineKind kind, std::string_view sender,
                std::string_view text) override;
    // Writes the waiting lines now.
    void Flush();
    // The history of `login`, opened when first asked for; null when it
    // cannot be used (the reason is logged once).
    HistoryStore* StoreFor(std::string_view login);

    size_t Waiting() const { return waiting_.size(); }

  private:
    void ShowProblem(bool failing);

    QString root_;
    std::function<bool()> enabled_;
    ProblemShown problem_;
    bool problem_shown_ = false;
    std::string login_;  // whose store is open
    std::unique_ptr<HistoryStore> store_;
    std::unordered_map<ConversationId, StoredConversationId> stored_ids_;
    std::vector<NewLine> waiting_;
    bool write_failed_ = false;
    QTimer timer_;
};

}  // namespace parlo::client
