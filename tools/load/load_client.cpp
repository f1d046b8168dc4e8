#include "tools/load/load_client.h"

#include <algorithm>
#include <charconv>

#include "protocol/ascii.h"
#include "protocol/codec.h"
#include "protocol/commands.h"

namespace parlo::load {

namespace {

constexpr std::string_view kComputer = "PARLO-LOAD";
constexpr std::string_view kRelayMark = "plm ";
constexpr std::string_view kAlreadyKnown = "Utilisateur déjà référencé";

std::string_view AfterKeyword(std::string_view command, std::string_view keyword) {
    // "Keyword:" then the text; a bare keyword has an empty text.
    return command.size() > keyword.size() ? command.substr(keyword.size() + 1)
                                           : std::string_view();
}

bool ReadNumber(std::string_view& text, int64_t& out) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
    if (error != std::errc() || end == text.data() || end == text.data() + text.size() ||
        *end != ' ') {
        return false;
    }
    text.remove_prefix(static_cast<size_t>(end - text.data()) + 1);
    return true;
}

}  // namespace

void RelayTracker::OnDelivered(int sender, int64_t sent_ns, int64_t now_ns) {
    if (sender < 0 || static_cast<size_t>(sender) >= delivered_from_.size()) {
        ++unreadable_;
        return;
    }
    ++delivered_from_[static_cast<size_t>(sender)];
    ++delivered_;
    latencies_ns_.push_back(now_ns - sent_ns);
    ready_.push_back(sender);
}

int RelayTracker::DeliveredFrom(int sender) const {
    return sender >= 0 && static_cast<size_t>(sender) < delivered_from_.size()
               ? delivered_from_[static_cast<size_t>(sender)]
               : 0;
}

std::vector<int> RelayTracker::TakeReadySenders() {
    std::vector<int> ready;
    ready.swap(ready_);
    return ready;
}

std::string RelayText(int64_t sent_ns, int sender, int sequence, int bytes) {
    const std::string header = std::string(kRelayMark) + std::to_string(sent_ns) + " " +
                               std::to_string(sender) + " " + std::to_string(sequence) + " ";
    // Separators inside the text travel as they are: it is cut by length.
    static constexpr std::string_view kFill = "Bonjour : ça va ! :-) ";
    std::string text = header;
    while (static_cast<int>(text.size()) < bytes) {
        text += kFill;
    }
    return std::string(CutUtf8(text, std::max(static_cast<size_t>(bytes), header.size())));
}

bool ReadRelayText(std::string_view text, int64_t& sent_ns, int& sender) {
    if (!text.starts_with(kRelayMark)) {
        return false;
    }
    text.remove_prefix(kRelayMark.size());
    int64_t stamp = 0;
    int64_t from = 0;
    if (!ReadNumber(text, stamp) || !ReadNumber(text, from) || from < 0 || from > 1 << 30) {
        return false;
    }
    sent_ns = stamp;
    sender = static_cast<int>(from);
    return true;
}

LoadClient::LoadClient(int index, std::string login, std::string_view password)
    : index_(index), login_(std::move(login)) {
    Compress(login_, login_blob_);
    Compress(password, password_blob_);
}

void LoadClient::SetRelay(RelayTracker* tracker, std::string partner, int messages, int window,
                          int bytes, int64_t interval_ns) {
    relay_ = tracker;
    relay_interval_ns_ = interval_ns;
    relay_start_ns_ = 0;
    partner_ = std::move(partner);
    relay_messages_ = messages;
    relay_window_ = std::max(window, 1);
    relay_bytes_ = bytes;
    relay_sent_ = 0;
}

void LoadClient::Begin(Task task, int64_t now_ns) {
    task_ = task;
    stage_ = Stage::kIdle;
    done_ = false;
    failed_ = false;
    failure_.clear();
    started_ns_ = now_ns;
    connected_ns_ = login_ns_ = book_ns_ = states_ns_ = finished_ns_ = 0;
    if (task == Task::kRegister) {
        registration_ = RegisterOutcome::kNone;
    }
    if (task == Task::kAskContacts || task == Task::kRelay) {
        if (!online_) {
            Fail("not logged in", now_ns);
            return;
        }
        StartWork(now_ns);
        return;
    }
    if (task == Task::kGoOnline && online_) {
        Finish(now_ns);
        return;
    }
    if (connected_) {
        SendCredentials();
    }
}

void LoadClient::OnConnected(int64_t now_ns) {
    connected_ = true;
    connected_ns_ = now_ns;
    if (!Finished() && stage_ == Stage::kIdle) {
        SendCredentials();
    }
}

void LoadClient::SendCredentials() {
    if (task_ == Task::kRegister) {
        const std::string record =
            FormatRecordText(login_blob_, password_blob_, "Charge", std::to_string(index_),
                             login_ + "@load.invalid");
        outbox_.push_back(FormatAddNewUser(record));
        stage_ = Stage::kAwaitRegister;
    } else if (task_ == Task::kGoOnline || task_ == Task::kStorm) {
        if (online_ && task_ == Task::kStorm) {
            outbox_.emplace_back(keyword::kAddressBook);
            stage_ = Stage::kAwaitBook;
            return;
        }
        outbox_.push_back(FormatConnect(kComputer, login_blob_, password_blob_));
        stage_ = Stage::kAwaitLogin;
    }
}

void LoadClient::OnCommand(std::string_view command, int64_t now_ns) {
    const std::optional<ClientKeyword> keyword = RecognizeClientCommand(command);
    if (!keyword) {
        return;  // e.g. a GetState answer; nothing of ours
    }
    switch (*keyword) {
        case ClientKeyword::kLogin:
            OnLogin(AfterKeyword(command, keyword::kLogin), now_ns);
            break;
        case ClientKeyword::kAddNewUser: {
            if (stage_ != Stage::kAwaitRegister) {
                break;
            }
            const std::string_view answer = AfterKeyword(command, keyword::kAddNewUser);
            if (answer == "OK") {
                registration_ = RegisterOutcome::kCreated;
                Finish(now_ns);
            } else if (answer == kAlreadyKnown) {
                registration_ = RegisterOutcome::kAlreadyKnown;
                Finish(now_ns);
            } else {
                registration_ = RegisterOutcome::kRefused;
                Fail("registration refused: " + std::string(answer), now_ns);
            }
            break;
        }
        case ClientKeyword::kAddressBook:
            if (stage_ == Stage::kAwaitBook) {
                book_entries_ = static_cast<int>(ParseAccountEntries(command).size());
                book_ns_ = now_ns;
                outbox_.emplace_back(keyword::kGetAllState);
                stage_ = Stage::kAwaitStates;
            }
            break;
        case ClientKeyword::kSetState:
            // Any state list after our GetAllState reflects the states at
            // that moment, whoever caused the broadcast.
            if (stage_ == Stage::kAwaitStates) {
                states_ns_ = now_ns;
                Finish(now_ns);
            }
            break;
        case ClientKeyword::kDoAddAddressBook:
            // Every simulated user accepts every request, whatever its step.
            outbox_.push_back(FormatWithText(keyword::kYesAddAddressBook, SecondField(command)));
            break;
        case ClientKeyword::kYesAddAddressBook:
            OnAccepted(SecondField(command), now_ns);
            break;
        case ClientKeyword::kMessage:
            OnMessage(command, now_ns);
            break;
        default:
            break;  // address-book refreshes, invitations: not simulated
    }
}

void LoadClient::OnLogin(std::string_view text, int64_t now_ns) {
    if (text.size() == 2 && EqualsNoCase(text, "OK")) {
        online_ = true;
        login_ns_ = now_ns;
        if (stage_ != Stage::kAwaitLogin) {
            return;
        }
        if (task_ == Task::kStorm) {
            outbox_.emplace_back(keyword::kAddressBook);
            stage_ = Stage::kAwaitBook;
        } else {
            Finish(now_ns);
        }
        return;
    }
    // A refusal, or an eviction by another login of the same user.
    online_ = false;
    if (!Finished()) {
        Fail("login refused: " + std::string(text), now_ns);
    }
}

void LoadClient::StartWork(int64_t now_ns) {
    stage_ = Stage::kWorking;
    if (task_ == Task::kAskContacts) {
        unanswered_ = asks_;
        for (const std::string& contact : asks_) {
            outbox_.push_back(FormatWithText(keyword::kDoAddAddressBook, contact));
        }
        if (unanswered_.empty()) {
            Finish(now_ns);
        }
    } else if (task_ == Task::kRelay) {
        PumpRelay(now_ns);
    }
}

void LoadClient::OnAccepted(std::string_view accepter, int64_t now_ns) {
    if (task_ != Task::kAskContacts || stage_ != Stage::kWorking) {
        return;
    }
    const auto it = std::find_if(unanswered_.begin(), unanswered_.end(),
                                 [&](const std::string& c) { return EqualsNoCase(c, accepter); });
    if (it == unanswered_.end()) {
        return;
    }
    unanswered_.erase(it);
    if (unanswered_.empty()) {
        Finish(now_ns);
    }
}

void LoadClient::OnMessage(std::string_view command, int64_t now_ns) {
    if (relay_ == nullptr) {
        return;
    }
    const std::optional<MessageView> message = ParseMessage(command);
    int64_t sent_ns = 0;
    int sender = 0;
    if (!message || !ReadRelayText(message->text, sent_ns, sender)) {
        relay_->OnUnreadable();
        return;
    }
    relay_->OnDelivered(sender, sent_ns, now_ns);
}

void LoadClient::PumpRelay(int64_t now_ns) {
    if (task_ != Task::kRelay || stage_ != Stage::kWorking || Finished() || relay_ == nullptr) {
        return;
    }
    const int delivered = relay_->DeliveredFrom(index_);
    if (delivered >= relay_messages_) {
        Finish(now_ns);
        return;
    }
    const std::vector<std::string> participants = {login_, partner_};
    int allowed = relay_messages_;
    if (relay_interval_ns_ > 0) {
        if (relay_start_ns_ == 0) {
            relay_start_ns_ = now_ns;
        }
        const int64_t due = (now_ns - relay_start_ns_) / relay_interval_ns_ + 1;
        allowed = static_cast<int>(std::min<int64_t>(relay_messages_, due));
    }
    while (relay_sent_ < allowed && relay_sent_ - delivered < relay_window_) {
        const std::string text = RelayText(now_ns, index_, relay_sent_, relay_bytes_);
        outbox_.push_back(FormatMessage(login_, participants, text));
        ++relay_sent_;
    }
}

void LoadClient::OnClosed(int64_t now_ns, std::string_view reason) {
    connected_ = false;
    online_ = false;
    if (!Finished() && task_ != Task::kNone) {
        Fail(std::string(reason), now_ns);
    }
}

void LoadClient::Finish(int64_t now_ns) {
    done_ = true;
    finished_ns_ = now_ns;
    stage_ = Stage::kIdle;
}

void LoadClient::Fail(std::string reason, int64_t now_ns) {
    failed_ = true;
    failure_ = std::move(reason);
    finished_ns_ = now_ns;
    stage_ = Stage::kIdle;
}

}  // namespace parlo::load
