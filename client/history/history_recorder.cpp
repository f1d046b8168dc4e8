#include "client/history/history_recorder.h"

#include <QDateTime>
#include <QtGlobal>

#include "client/core/conversation.h"
#include "protocol/ascii.h"

namespace parlo::client {
namespace {

// "bob, carl": the participants but the local user.
std::string OthersOf(const Conversation& conversation) {
    std::string others;
    for (const Participant& participant : conversation.Participants()) {
        if (EqualsNoCase(participant.login, conversation.OwnerLogin())) {
            continue;
        }
        others.append(others.empty() ? "" : ", ").append(participant.login);
    }
    return others;
}

}  // namespace

HistoryRecorder::HistoryRecorder(QString root, std::function<bool()> enabled, ProblemShown problem)
    : root_(std::move(root)), enabled_(std::move(enabled)), problem_(std::move(problem)) {
    timer_.setSingleShot(true);
    timer_.setInterval(kBatchMs);
    connect(&timer_, &QTimer::timeout, this, &HistoryRecorder::Flush);
}

HistoryRecorder::~HistoryRecorder() {
    Flush();
}

HistoryStore* HistoryRecorder::StoreFor(std::string_view login) {
    if (login.empty()) {
        return nullptr;
    }
    if (!store_ || !EqualsNoCase(login, login_)) {
        Flush();
        stored_ids_.clear();
        waiting_.clear();
        write_failed_ = false;
        login_ = login;
        store_ = std::make_unique<HistoryStore>(HistoryPath(root_, login));
        ShowProblem(!store_->IsOpen());
    }
    return store_->IsOpen() ? store_.get() : nullptr;
}

void HistoryRecorder::ShowProblem(bool failing) {
    if (failing != problem_shown_) {
        problem_shown_ = failing;
        if (problem_) {
            problem_(failing ? kProblemText : std::string_view());
        }
    }
}

void HistoryRecorder::Record(const Conversation& conversation, LineKind kind,
                             std::string_view sender, std::string_view text) {
    if (!enabled_()) {
        return;
    }
    HistoryStore* store = StoreFor(conversation.OwnerLogin());
    if (store == nullptr) {
        return;
    }
    auto [stored, added] = stored_ids_.try_emplace(conversation.Id(), 0);
    if (added) {
        stored->second = store->NewConversationId();
    }
    if (waiting_.size() == kMaxWaiting) {
        qWarning("history: %zu lines wait for the disk; the oldest is dropped", kMaxWaiting);
        waiting_.erase(waiting_.begin());
    }
    waiting_.push_back({.conversation = stored->second,
                        .participants = OthersOf(conversation),
                        .time_ms = QDateTime::currentMSecsSinceEpoch(),
                        .kind = kind,
                        .sender = std::string(sender),
                        .text = std::string(text)});
    if (!timer_.isActive()) {
        timer_.start();
    }
}

void HistoryRecorder::Flush() {
    timer_.stop();
    if (waiting_.empty() || !store_ || !store_->IsOpen()) {
        return;
    }
    if (store_->Append(waiting_)) {
        waiting_.clear();
        if (std::exchange(write_failed_, false)) {
            qWarning("history: lines are written again");
        }
        ShowProblem(false);
        return;
    }
    // Kept for the next try: a full disk may get room again.
    if (!std::exchange(write_failed_, true)) {
        qWarning("history: lines cannot be written: %s", qPrintable(store_->Error()));
    }
    ShowProblem(true);
    timer_.start();
}

}  // namespace parlo::client
