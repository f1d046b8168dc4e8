#include "client/core/conversation.h"

#include <algorithm>

#include "protocol/ascii.h"

namespace parlo::client {

Conversation::Conversation(ConversationId id, std::string owner_login,
                           std::unique_ptr<ConversationView> view)
    : id_(id), owner_login_(std::move(owner_login)), view_(std::move(view)) {}

std::vector<std::string> Conversation::ParticipantLogins() const {
    std::vector<std::string> logins;
    logins.reserve(participants_.size());
    for (const Participant& participant : participants_) {
        logins.push_back(participant.login);
    }
    return logins;
}

bool Conversation::AddParticipant(std::string_view login) {
    if (IsParticipant(login)) {
        return false;
    }
    participants_.push_back({std::string(login), false});
    return true;
}

bool Conversation::IsParticipant(std::string_view login) const {
    return std::any_of(participants_.begin(), participants_.end(),
                       [&](const Participant& p) { return EqualsNoCase(p.login, login); });
}

bool Conversation::RemoveParticipant(std::string_view login) {
    const auto it =
        std::find_if(participants_.begin(), participants_.end(),
                     [&](const Participant& p) { return EqualsNoCase(p.login, login); });
    if (it == participants_.end()) {
        return false;
    }
    participants_.erase(it);
    return true;
}

bool Conversation::SetTyping(std::string_view login, bool typing) {
    for (Participant& participant : participants_) {
        if (EqualsNoCase(participant.login, login)) {
            participant.typing = typing;
            return true;
        }
    }
    return false;
}

bool Conversation::Matches(std::span<const std::string> names) const {
    return names.size() == participants_.size() &&
           std::all_of(names.begin(), names.end(),
                       [&](const std::string& name) { return IsParticipant(name); });
}

bool Conversation::TellAbsentOnce(std::string_view login) {
    if (std::any_of(told_absent_.begin(), told_absent_.end(),
                    [&](const std::string& told) { return EqualsNoCase(told, login); })) {
        return false;
    }
    told_absent_.emplace_back(login);
    return true;
}

void Conversation::SeenConnected(std::string_view login) {
    std::erase_if(told_absent_, [&](const std::string& told) { return EqualsNoCase(told, login); });
}

std::optional<int> Conversation::InputChanged(size_t length) {
    const size_t before = typing_state_;
    if (before == 0 || length == 0) {
        typing_state_ = length;
    }
    if ((before == 0) == (typing_state_ == 0)) {
        return std::nullopt;
    }
    return typing_state_ != 0 ? 1 : 0;
}

ConversationTitle ComputeTitle(const Conversation& conversation, const ContactList& contacts) {
    ConversationTitle out;
    for (const Participant& participant : conversation.Participants()) {
        for (const Contact& contact : contacts.Entries()) {
            if (!EqualsNoCase(contact.login, participant.login)) {
                continue;
            }
            if (!out.title.empty()) {
                out.title += ", ";
            }
            out.title += contact.login + " est ";
            out.title += ConversationStateText(contact.state);
            if (participant.typing) {
                if (!out.typing_line.empty()) {
                    out.typing_line += ", ";
                }
                out.typing_line += contact.login + " écrit";
            }
        }
    }
    return out;
}

std::string JoinNamesForBox(std::span<const std::string> names) {
    std::string out;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i != 0) {
            out += (i + 1 == names.size()) ? " et " : ", ";
        }
        out += names[i];
    }
    return out;
}

}  // namespace parlo::client
