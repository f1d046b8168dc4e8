// One open conversation: its participants with their typing flags, the
// typing state of the local input, and the window that shows it.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "client/core/contact_list.h"
#include "client/core/ui_port.h"

namespace parlo::client {

struct Participant {
    std::string login;  // as it was first added
    bool typing = false;
};

// The caption and typing line of a conversation window.
struct ConversationTitle {
    std::string title;
    std::string typing_line;
};

class Conversation {
  public:
    Conversation(ConversationId id, std::string owner_login,
                 std::unique_ptr<ConversationView> view);

    ConversationId Id() const { return id_; }
    const std::string& OwnerLogin() const { return owner_login_; }
    const std::vector<Participant>& Participants() const { return participants_; }
    size_t Count() const { return participants_.size(); }
    std::vector<std::string> ParticipantLogins() const;

    // Logins compare equal when they have the same length and match with
    // ASCII letters folded.
    bool AddParticipant(std::string_view login);  // false when already present
    bool IsParticipant(std::string_view login) const;
    bool RemoveParticipant(std::string_view login);
    // Sets the flag of the first participant with that login.
    bool SetTyping(std::string_view login, bool typing);
    // True when every name is a participant and the counts are equal.
    bool Matches(std::span<const std::string> names) const;

    // True the first time `login` is said to be offline, until
    // SeenConnected(login).
    bool TellAbsentOnce(std::string_view login);
    void SeenConnected(std::string_view login);
    // True once per connection: typing while offline says so in one box.
    bool TakeOfflineBox() { return !std::exchange(offline_box_shown_, true); }
    void AllowOfflineBox() { offline_box_shown_ = false; }

    // The local input's length changed; returns the "Writing" flag to send
    // when the input went from empty to non-empty (1) or back (0).
    std::optional<int> InputChanged(size_t length);

    ConversationView& View() { return *view_; }
    const ConversationView& View() const { return *view_; }

  private:
    ConversationId id_;
    std::string owner_login_;
    std::vector<Participant> participants_;
    size_t typing_state_ = 0;
    std::vector<std::string> told_absent_;  // said to be offline
    bool offline_box_shown_ = false;
    std::unique_ptr<ConversationView> view_;
};

// "bob est connecté(e), carl est absent(e)" and "bob écrit": participants are
// named only when they are in the contact list.
ConversationTitle ComputeTitle(const Conversation& conversation, const ContactList& contacts);

// "a, b et c": how the duplicate-window box names a participant set.
std::string JoinNamesForBox(std::span<const std::string> names);

}  // namespace parlo::client
