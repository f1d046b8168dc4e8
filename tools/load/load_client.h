// One simulated user: a state machine fed with the server's commands (already
// decompressed) that queues the commands it answers with. It knows nothing of
// sockets: the pool connects it, feeds it and sends its outbox.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace parlo::load {

// Relay accounting shared by every client of a relay phase: deliveries seen
// by receivers, per sender, and the senders that may send again.
class RelayTracker {
  public:
    explicit RelayTracker(size_t clients) : delivered_from_(clients, 0) {}

    // The receiver saw a message of `sender` stamped `sent_ns`.
    void OnDelivered(int sender, int64_t sent_ns, int64_t now_ns);
    void OnUnreadable() { ++unreadable_; }
    int DeliveredFrom(int sender) const;
    std::vector<int> TakeReadySenders();

    int64_t Delivered() const { return delivered_; }
    int64_t Unreadable() const { return unreadable_; }
    const std::vector<int64_t>& LatenciesNs() const { return latencies_ns_; }

  private:
    std::vector<int> delivered_from_;
    std::vector<int> ready_;
    std::vector<int64_t> latencies_ns_;
    int64_t delivered_ = 0;
    int64_t unreadable_ = 0;
};

// What a client is asked to do in the current step.
enum class Task {
    kNone,
    kRegister,     // AddNewUser; done at the answer, new or already known
    kGoOnline,     // Connect; done at "Login:OK"
    kStorm,        // Connect, then AddressBook, then GetAllState; done at the first state list
    kAskContacts,  // DoAddAddressBook to each chosen user; done when all accepted
    kRelay,        // send messages to the partner, a few in flight; done when all delivered
};

enum class RegisterOutcome { kNone, kCreated, kAlreadyKnown, kRefused };

// The text of a relay message: its stamp and origin, padded to `bytes`.
std::string RelayText(int64_t sent_ns, int sender, int sequence, int bytes);
// Reads back the stamp and the sender; false for a text we did not write.
bool ReadRelayText(std::string_view text, int64_t& sent_ns, int& sender);

class LoadClient {
  public:
    LoadClient(int index, std::string login, std::string_view password);

    int Index() const { return index_; }
    const std::string& Login() const { return login_; }

    // Contacts to ask in a kAskContacts step.
    void SetContactsToAsk(std::vector<std::string> logins) { asks_ = std::move(logins); }
    // Partner, message count, window and text size of a kRelay step; with
    // `interval_ns` > 0, message n leaves no earlier than n intervals after
    // the first (an open loop at a fixed rate, the window still applying).
    void SetRelay(RelayTracker* tracker, std::string partner, int messages, int window, int bytes,
                  int64_t interval_ns = 0);

    // Starts a step. A client that needs a connection and has none waits for
    // OnConnected; otherwise it acts at once (see the outbox).
    void Begin(Task task, int64_t now_ns);
    void OnConnected(int64_t now_ns);
    void OnCommand(std::string_view command, int64_t now_ns);
    // The connection ended (or never came up); `reason` names the failure
    // of a step that was still running.
    void OnClosed(int64_t now_ns, std::string_view reason = "connection closed");
    // Sends relay messages while the window allows (after deliveries).
    void PumpRelay(int64_t now_ns);

    std::vector<std::string>& Outbox() { return outbox_; }

    bool Connected() const { return connected_; }
    bool Online() const { return online_; }
    bool Finished() const { return done_ || failed_; }
    bool Done() const { return done_; }
    bool Failed() const { return failed_; }
    const std::string& Failure() const { return failure_; }
    Task CurrentTask() const { return task_; }
    RegisterOutcome Registration() const { return registration_; }
    int BookEntries() const { return book_entries_; }

    // Step time stamps (0 until reached).
    int64_t StartedNs() const { return started_ns_; }
    int64_t ConnectedNs() const { return connected_ns_; }
    int64_t LoginNs() const { return login_ns_; }
    int64_t BookNs() const { return book_ns_; }
    int64_t StatesNs() const { return states_ns_; }
    int64_t FinishedNs() const { return finished_ns_; }

  private:
    enum class Stage { kIdle, kAwaitRegister, kAwaitLogin, kAwaitBook, kAwaitStates, kWorking };

    void SendCredentials();
    void OnLogin(std::string_view text, int64_t now_ns);
    void OnAccepted(std::string_view asker, int64_t now_ns);
    void OnMessage(std::string_view command, int64_t now_ns);
    void StartWork(int64_t now_ns);
    void Finish(int64_t now_ns);
    void Fail(std::string reason, int64_t now_ns);

    int index_;
    std::string login_;
    std::string login_blob_;
    std::string password_blob_;

    Task task_ = Task::kNone;
    Stage stage_ = Stage::kIdle;
    bool connected_ = false;
    bool online_ = false;
    bool done_ = false;
    bool failed_ = false;
    std::string failure_;
    RegisterOutcome registration_ = RegisterOutcome::kNone;
    int book_entries_ = -1;

    std::vector<std::string> asks_;
    std::vector<std::string> unanswered_;

    RelayTracker* relay_ = nullptr;
    std::string partner_;
    int relay_messages_ = 0;
    int relay_window_ = 1;
    int relay_bytes_ = 0;
    int relay_sent_ = 0;
    int64_t relay_interval_ns_ = 0;
    int64_t relay_start_ns_ = 0;

    int64_t started_ns_ = 0;
    int64_t connected_ns_ = 0;
    int64_t login_ns_ = 0;
    int64_t book_ns_ = 0;
    int64_t states_ns_ = 0;
    int64_t finished_ns_ = 0;

    std::vector<std::string> outbox_;
};

}  // namespace parlo::load
