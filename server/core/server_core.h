// The server core: accounts, online registry, command handlers and log,
// driven by three connection events. Plain C++: no Qt, no libuv, no sockets.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "protocol/commands.h"
#include "server/core/connection.h"
#include "server/core/guess_guard.h"
#include "server/core/log.h"
#include "server/core/online.h"
#include "server/core/presence.h"
#include "server/core/record_list.h"
#include "server/core/userdb.h"
#include "server/core/userdb_file.h"

namespace parlo::server {

// What the core reports to the program around it (console window, or the
// headless program's standard output).
class ServerEvents {
  public:
    virtual ~ServerEvents() = default;
    // One log entry, time-stamped exactly as written to Log.txt (without the
    // final line feed; a message holding '\n' arrives as one entry).
    virtual void OnLogLine(std::string_view line) = 0;
    // The console's online-clients rows changed.
    virtual void OnRowsChanged() {}
    // A save was abandoned (a record without record text); the operator must
    // be told after the current callback has returned.
    virtual void OnSaveAbandoned() {}
};

struct ServerOptions {
    // Where UserDB.dat, UserDB.bak and Log.txt live.
    std::filesystem::path directory = ".";
    // UTC clock for log time stamps; tests inject their own.
    std::function<std::time_t()> clock = [] { return std::time(nullptr); };
    BroadcastMode broadcast = BroadcastMode::kChanges;
    // Monotonic milliseconds for the waits after failed logins and the
    // login time-out; tests inject their own.
    std::function<int64_t()> steady_ms = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    // A connection not logged in this long after its accept is closed
    // (0: never).
    int64_t login_timeout_ms = kDefaultLoginTimeoutMs;
    static constexpr int64_t kDefaultLoginTimeoutMs = 30'000;
    // Above 0: the state lists a broadcast owes to other connections than
    // its cause wait this long, gathered (see Presence).
    int64_t state_list_delay_ms = 0;
    static constexpr int64_t kProgramStateListDelayMs = 250;
    // False: a conversation line is logged with its sender and participants
    // and the size of its text, never the text itself.
    bool log_message_texts = true;
    // True for a program that calls FlushLog before its loop waits for
    // events: the lines of one loop turn then reach Log.txt in one write.
    // False: each line is written at once.
    bool log_flushed_per_turn = false;
};

// Longest piece of client text or of an answer quoted in one log line.
inline constexpr size_t kMaxQuotedBytes = 256;
// `text` as quoted in a log line: whole when it fits kMaxQuotedBytes, else
// cut there (never inside a UTF-8 sequence) with "… (N octets)".
std::string Quoted(std::string_view text);

class ServerCore : private StateListSink {
  public:
    ServerCore(ServerOptions options, ServerEvents& events);
    ~ServerCore();
    ServerCore(const ServerCore&) = delete;
    ServerCore& operator=(const ServerCore&) = delete;

    // Loads UserDB.dat; called once, before listening starts. False when
    // UserDB.dat exists but cannot be read or has an unknown version: the
    // server must not run (it would take the accounts for absent and write
    // over them); the reason is logged and kept in StartRefusal.
    bool Start();
    const std::string& StartRefusal() const { return start_refusal_; }
    // Writes one log line (time stamp + message) to Log.txt and the events;
    // control characters in the message are shown as escapes, so text from a
    // client can never forge a line.
    void Log(std::string_view message);
    // Writes the log lines held for this turn (log_flushed_per_turn).
    void FlushLog() { log_.Flush(); }

    // Connection events from the network adapter. The core never calls back
    // into the adapter except through Connection::Send and Connection::Close;
    // Send must not report a close synchronously (the adapter defers it).
    void OnAccepted(Connection& connection, std::string_view ip, uint16_t port);
    void OnBytes(Connection& connection, std::string_view bytes);
    void OnClosed(Connection& connection);
    // Everything queued for `connection` was written (NotifyWhenDrained).
    void OnDrained(Connection& connection);

    // Timed work (connections waiting after a failed login, the login
    // time-out): RunTimers is due in TimerDelayMs milliseconds (-1: nothing
    // to do). The program asks again after every event.
    int64_t TimerDelayMs() const;
    void RunTimers();

    // Console closing: saves the database, then clears the online list
    // (closing every connection, without log lines or state broadcast) and
    // the user list. ClosingSaveFailed tells the program to exit non-zero.
    void Shutdown();
    bool ClosingSaveFailed() const { return closing_save_failed_; }

    // ---- What the console and the administration dialog work with ----

    // All accounts in order. Change logins and record texts only through
    // Users().SetRecordText, add through AddAccount.
    RecordList& Users() { return users_; }
    const RecordList& Users() const { return users_; }
    // Connection entries in order of acceptance.
    const OnlineList& Online() const { return online_; }
    OnlineList& Online() { return online_; }
    // The online-clients rows.
    const ConsoleRows& Rows() const { return rows_; }

    // The first account whose login equals the entry's login (case aside);
    // null when the entry is not identified or has no account.
    Account* FindAccountOfConnection(const OnlineEntry& entry) const {
        return AccountOf(users_, entry);
    }
    // Appends an account at the end of the user list (not saved).
    Account& AddAccount(std::unique_ptr<Account> account) {
        return users_.Append(std::move(account));
    }
    // Writes the user list to UserDB.dat (backup first, atomic replace).
    // Returns false when the save failed or was abandoned, or outside
    // Start..Shutdown (when the list does not hold the accounts). A failed
    // save is logged with its reason, at most once per
    // kSaveFailureLogIntervalS (the others are counted in the next line).
    // Whoever changed the list undoes the change when this returns false.
    bool SaveDatabase();
    static constexpr std::time_t kSaveFailureLogIntervalS = 10;

    // Sends one command as a frame to an online entry; false when it cannot
    // be framed (empty, or too large once compressed).
    bool SendTo(const OnlineEntry& entry, std::string_view command);
    // Closes an online entry's connection through the normal close
    // procedure (log line, console row, removal, state broadcast).
    void CloseEntry(const OnlineEntry& entry);

    // Delivers to the first online connection of `login`, or stores the
    // command with every account of that login (see StorePending).
    void SendOrStore(std::string_view login, std::string_view command);
    // Stores a command for an offline account (or one still receiving its
    // stored commands), unless an identical one is pending; refused with a
    // log line when the account has Account::kMaxPending commands or
    // kMaxPendingBytes waiting. A stored command asks for a save
    // (SaveWanted) so that it survives a crash. False when refused.
    bool StorePending(Account& account, std::string_view command);

    // True while a command stored for an offline user has not been saved.
    // The program then calls SavePending within kPendingSaveDelay, once for
    // everything stored meanwhile.
    static constexpr int kPendingSaveDelayMs = 500;
    bool SaveWanted() const { return pending_unsaved_; }
    // Saves the database if SaveWanted (the usual "UserDB.dat sauvé" line).
    void SavePending();

    // The state lists and their broadcast (see Presence).
    void BroadcastStates(const OnlineEntry* cause = nullptr) {
        presence_.Broadcast(cause, options_.steady_ms());
    }
    std::string StateListOf(const OnlineEntry& entry, size_t* left_out = nullptr) const {
        return presence_.StateListOf(entry, left_out);
    }
    int StateOf(std::string_view login) const { return presence_.StateOf(login); }
    // Accounts or online entries were changed outside the handlers (the
    // administration, tests): every connection's list is looked at again
    // at the next broadcast.
    void AccountsChanged() { presence_.RewatchAll(); }

  private:
    // Outcome of one command for the rest of its read: go on, drop the
    // rest, or keep the rest until the connection's wait ends.
    enum class Flow { kContinue, kStopRead, kHold };

    // Handles the frames the connection's reader holds, until one makes it
    // wait or none is left.
    void HandleFrames(Connection& connection);
    // Makes `entry` wait until `until_ms` before its next frame.
    void Hold(OnlineEntry& entry, int64_t until_ms);
    void Release(OnlineEntry& entry);
    // Queues stored commands to `entry` while its output stays within
    // kReplayWindowBytes; asks to be told when the rest may follow.
    void ContinueReplay(OnlineEntry& entry);
    // Stored commands queued at once at most, in bytes of frames.
    static constexpr size_t kReplayWindowBytes = 64 * 1024;
    // The password check of a Connect whose turn has come.
    Flow CheckCredentials(OnlineEntry& sender, std::string_view command);

    Flow Dispatch(OnlineEntry& sender, std::string_view command, std::string_view payload);
    Flow MissingAccount(const OnlineEntry& sender);
    void RunCloseProcedure(const Connection& connection);
    // Identifies an entry with a record text, keeping the broadcast's
    // bookkeeping right (false: refused, nothing changed).
    bool Identify(OnlineEntry& entry, std::string_view record_text);
    // An entry leaves the online list.
    void Forget(OnlineEntry& entry);
    void SendStateList(const OnlineEntry& to, std::string_view list, size_t left_out) override;
    void Evict(OnlineEntry& entry);
    void SendFrameBytes(const OnlineEntry& entry, std::string_view frame);
    // Appends `command` as one frame; false, with one log line, when no
    // receiver could read it.
    bool FrameCommand(std::string& out, std::string_view command);
    // Logs how many entries an answer to `to` left out (nothing when none).
    void LogCut(size_t left_out, std::string_view what, const OnlineEntry& to);
    void RowsChanged() { events_.OnRowsChanged(); }
    // Saves once for every registration held since the last call, then
    // answers each (OK, or the refusal with its account taken out again).
    void CommitRegistrations();
    // Runs CommitRegistrations when a read has been handled.
    class CommitAtEnd {
      public:
        explicit CommitAtEnd(ServerCore& core) : core_(core) {}
        ~CommitAtEnd() { core_.CommitRegistrations(); }
        CommitAtEnd(const CommitAtEnd&) = delete;
        CommitAtEnd& operator=(const CommitAtEnd&) = delete;

      private:
        ServerCore& core_;
    };
    // False when the save of the addition failed (the addition is undone).
    bool AddContact(std::string_view owner, std::string_view contact);
    void RemoveContact(std::string_view owner, std::string_view contact);

    // Handlers, one per command.
    Flow HandleConnect(OnlineEntry& sender, std::string_view command);
    void HandleAddNewUser(OnlineEntry& sender, std::string_view command);
    void HandleFindUser(OnlineEntry& sender, std::string_view command);
    Flow HandleAddressBook(OnlineEntry& sender);
    Flow HandleGetAllState(OnlineEntry& sender);
    void HandleSetState(OnlineEntry& sender, std::string_view command);
    void HandleGetState(OnlineEntry& sender, std::string_view command);
    void HandleDoAddAddressBook(OnlineEntry& sender, std::string_view command);
    void HandleNoAddAddressBook(OnlineEntry& sender, std::string_view command);
    void HandleYesAddAddressBook(OnlineEntry& sender, std::string_view command);
    Flow HandleRemoveAddressBook(OnlineEntry& sender, std::string_view command);
    void HandleMessage(OnlineEntry& sender, std::string_view command, std::string_view payload);
    // A message for a participant with no connection: kept with the
    // participant's pending commands, with the time it came; the sender is
    // told whether it was kept. Nothing when no account has that login.
    void KeepForAbsent(const OnlineEntry& sender, std::string_view participant,
                       std::string_view command, std::string_view list);
    void HandleInvite(OnlineEntry& sender, std::string_view command);
    void HandleLeave(OnlineEntry& sender, std::string_view command);
    // "Invite:login:list", cut after the last participant that fits.
    std::string BoundedInvite(std::string_view login, std::string_view list,
                              const OnlineEntry& sender);
    void HandleWriting(OnlineEntry& sender, std::string_view command);

    ServerOptions options_;
    ServerEvents& events_;
    ServerLog log_;
    UserDatabaseFile database_;
    RecordList users_;     // every account, in order of creation
    OnlineList online_;    // every accepted connection, in order of acceptance
    ConsoleRows rows_;     // online-clients rows of logged-in connections
    Presence presence_;    // states, state lists and their broadcast
    std::string scratch_;  // reused frame buffer for outgoing commands
    // Reused by every relayed message: its fields, its frame and its log line.
    MessageView relay_message_;
    std::string relay_frame_;
    std::string relay_line_;
    // A registration appended to the user list, answered once saved.
    struct HeldRegistration {
        Connection* connection;
        Account* account;
    };
    std::vector<HeldRegistration> held_;
    std::string start_refusal_;
    std::optional<std::time_t> last_failure_logged_;
    size_t failures_unlogged_ = 0;
    bool closing_save_failed_ = false;
    bool running_ = false;           // between Start and Shutdown: the user list may be saved
    bool pending_unsaved_ = false;   // a stored pending command awaits a save
    std::int64_t last_kept_ms_ = 0;  // every kept message gets a later time than the last
    GuessGuard guesses_;
    uint64_t next_serial_ = 0;
    // Connections waiting, by the end of their wait.
    std::set<std::pair<int64_t, const Connection*>> holds_;
    // Accepted connections by the end of their time to log in (in order).
    struct LoginDeadline {
        int64_t at_ms;
        const Connection* connection;
        uint64_t serial;
    };
    std::deque<LoginDeadline> login_deadlines_;
};

}  // namespace parlo::server
