// Who sees whom: the state of each login, the state list of each connection
// and their broadcast, with the bookkeeping that keeps the changes-only
// broadcast to the connections a change concerns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/core/online.h"
#include "server/core/record_list.h"
#include "server/core/watch_index.h"

namespace parlo::server {

// Which connections a state broadcast reaches.
enum class BroadcastMode {
    // Every connection receives its state list after every GetAllState,
    // SetState and disconnection, changed or not.
    kFull,
    // A connection receives its list only when it differs from the last one
    // sent to it; the sender of GetAllState or SetState always receives its
    // own. A client that follows the protocol sees the same states.
    kChanges,
};

// Where the state lists go: the core frames and sends them, and logs a list
// that had to be cut (`left_out` entries).
class StateListSink {
  public:
    virtual void SendStateList(const OnlineEntry& to, std::string_view list, size_t left_out) = 0;

  protected:
    ~StateListSink() = default;
};

class Presence {
  public:
    // With a `delay_ms` above 0, the lists a changes-only broadcast owes to
    // others than its cause wait that long (on the steady clock, in ms) and
    // serve every broadcast of the while at once: when many contacts come
    // back together, each connection gets one list for several of them.
    Presence(BroadcastMode mode, int64_t delay_ms, const RecordList& users,
             const OnlineList& online, StateListSink& sink)
        : mode_(mode), delay_ms_(delay_ms), users_(users), online_(online), sink_(sink) {}
    Presence(const Presence&) = delete;
    Presence& operator=(const Presence&) = delete;

    // The state code of a login: 1 offline, else 2 inactive, 3 away, 0.
    int StateOf(std::string_view login) const;
    // The state list of a connection entry: "SetState!" then "login:code"
    // for each contact of its account, '!' between them, cut after the last
    // entry that fits in 8192 bytes (the count of the others in `left_out`).
    std::string StateListOf(const OnlineEntry& entry, size_t* left_out = nullptr) const;

    // The state broadcast after a GetAllState or SetState of `cause`, or a
    // disconnection (no cause): sends each connection its state list, every
    // one in BroadcastMode::kFull, else those whose list may have changed
    // and differs from the last sent, and the cause's own.
    void Broadcast(const OnlineEntry* cause, int64_t now_ms);
    // When the lists that wait are due (none: nothing waits), and their
    // sending, at most kListsPerSlice lists built per call (the rest are due
    // at once again).
    std::optional<int64_t> DueAtMs() const { return due_at_ms_; }
    void SendDue(int64_t now_ms);
    static constexpr size_t kListsPerSlice = 200;

    // A new connection: it has never received a list.
    void Accepted(OnlineEntry& entry) { MarkStale(entry); }
    // The state of `login` may have changed: so may the lists showing it.
    // Every change of what StateOf answers must be told here before the next
    // broadcast.
    void StateChanged(std::string_view login);
    // The account or address book behind `entry` may have changed.
    void Rewatch(OnlineEntry& entry);
    void RewatchLogin(std::string_view login);
    // Accounts or entries changed in ways not told one by one: every
    // connection's list is looked at again at the next broadcast.
    void RewatchAll();
    // An entry leaves the online list.
    void Forget(OnlineEntry& entry);
    void Clear();

  private:
    void MarkStale(OnlineEntry& entry);
    // Sends the stale entries the lists that differ from their last.
    void SendChangedLists();
    void SendIfChanged(OnlineEntry& entry);
    // The state of `contact` as `watched` keeps it (looked up when unknown).
    int KeptStateOf(WatchedLogin& watched, std::string_view contact) const;
    void Send(OnlineEntry& entry, std::string list, size_t left_out);

    BroadcastMode mode_;
    int64_t delay_ms_;
    std::optional<int64_t> due_at_ms_;  // lists wait until then
    const RecordList& users_;
    const OnlineList& online_;
    StateListSink& sink_;
    WatchIndex watch_;                    // login -> online entries whose list shows it
    std::vector<OnlineEntry*> stale_;     // entries whose list may have changed
    std::vector<OnlineEntry*> gathered_;  // stale ones being sent in slices
};

}  // namespace parlo::server
