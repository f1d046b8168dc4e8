// The conversation registry and the commands sent for conversations and the
// address book.
#include <algorithm>

#include "client/session/session.h"
#include "protocol/field_string.h"

namespace parlo::client {

Conversation* Session::FindConversation(std::span<const std::string> names) {
    std::vector<ConversationId> matches;
    for (const auto& conversation : conversations_) {
        if (conversation->Matches(names)) {
            matches.push_back(conversation->Id());
        }
    }
    // Every match but the newest is a duplicate. A box lets the user act in
    // between, so each conversation is looked up again by its id.
    for (size_t i = 0; i + 1 < matches.size(); ++i) {
        const Conversation* duplicate = ConversationById(matches[i]);
        if (duplicate == nullptr) {
            continue;
        }
        if (duplicate->View().IsVisible()) {
            ShowBox("Une autre conversation entre :\n" + JoinNamesForBox(names) +
                        "\nexiste déjà, cette fenêtre va être fermée",
                    texts::kConversations, BoxIcon::kInformation);
        }
        RemoveConversation(matches[i]);
    }
    return matches.empty() ? nullptr : ConversationById(matches.back());
}

Conversation& Session::CreateConversation(std::span<const std::string> names) {
    const ConversationId id = next_conversation_id_++;
    auto conversation =
        std::make_unique<Conversation>(id, PlainLogin(), ui_.CreateConversationView(id));
    for (const std::string& name : names) {
        conversation->AddParticipant(name);
        RefreshTitle(*conversation);
    }
    conversations_.push_back(std::move(conversation));
    return *conversations_.back();
}

Conversation* Session::ConversationById(ConversationId id) {
    for (const auto& conversation : conversations_) {
        if (conversation->Id() == id) {
            return conversation.get();
        }
    }
    return nullptr;
}

void Session::RemoveConversation(ConversationId id) {
    const auto it =
        std::find_if(conversations_.begin(), conversations_.end(),
                     [id](const std::unique_ptr<Conversation>& c) { return c->Id() == id; });
    if (it == conversations_.end()) {
        return;
    }
    // Out of the registry first: the window's destruction must find it gone.
    std::unique_ptr<Conversation> doomed = std::move(*it);
    conversations_.erase(it);
}

void Session::RefreshTitle(Conversation& conversation) {
    const ConversationTitle title = ComputeTitle(conversation, contacts_);
    conversation.View().SetTitle(title.title, title.typing_line);
}

void Session::OpenConversationWith(std::string_view contact_login) {
    const Contact* contact = contacts_.Find(contact_login);
    if (contact == nullptr) {
        return;
    }
    if (!CanMessage(*contact)) {
        ui_.SendMail(contact->email);
        return;
    }
    const std::string login = contact->login;
    const std::string own = PlainLogin();
    const std::vector<std::string> pair = {own, login};
    if (Conversation* conversation = FindConversation(pair)) {
        RefreshTitle(*conversation);
        conversation->View().Show();
        conversation->View().Raise();
    } else {
        const std::vector<std::string> alone = {own};
        CreateConversation(alone).View().Show();
    }
    SendFrame(FormatInvite(login, own + "!"));
}

void Session::MailContact(std::string_view contact_login) {
    if (const Contact* contact = contacts_.Find(contact_login)) {
        ui_.SendMail(contact->email);
    }
}

void Session::SendChatMessage(ConversationId id, std::string_view text) {
    if (const Conversation* conversation = ConversationById(id)) {
        SendFrame(
            FormatMessage(conversation->OwnerLogin(), conversation->ParticipantLogins(), text));
    }
}

void Session::SubmitMessage(ConversationId id, std::string_view text) {
    if (text.empty()) {
        return;
    }
    const std::string copy(text);
    SendChatMessage(id, copy);
    // The refusal box may have let the user close the window meanwhile.
    if (Conversation* conversation = ConversationById(id)) {
        conversation->View().AppendMessage(conversation->OwnerLogin(), copy);
    }
}

void Session::SendWriting(ConversationId id, int flag) {
    if (const Conversation* conversation = ConversationById(id)) {
        SendFrame(FormatWritingRequest(conversation->OwnerLogin(), flag,
                                       conversation->ParticipantLogins()));
    }
}

void Session::SendInvite(std::string_view invitee, std::string_view list) {
    SendFrame(FormatInvite(invitee, list));
}

void Session::InviteToConversation(ConversationId id, std::string_view invitee) {
    if (const Conversation* conversation = ConversationById(id)) {
        SendInvite(invitee, JoinList(conversation->ParticipantLogins()));
    }
}

void Session::LeaveConversation(ConversationId id) {
    const Conversation* conversation = ConversationById(id);
    if (conversation == nullptr) {
        return;
    }
    SendFrame(FormatLeave(conversation->OwnerLogin(), JoinList(conversation->ParticipantLogins())));
    RemoveConversation(id);
}

void Session::ConversationInputChanged(ConversationId id, size_t length) {
    Conversation* conversation = ConversationById(id);
    if (conversation == nullptr) {
        return;
    }
    if (const auto flag = conversation->InputChanged(length)) {
        SendWriting(id, *flag);
    }
}

std::vector<std::string> Session::InviteCandidates(ConversationId id) {
    std::vector<std::string> offered;
    // A copy: the lookups below may show boxes.
    const std::vector<Contact> contacts = contacts_.Entries();
    for (const Contact& contact : contacts) {
        const Conversation* conversation = ConversationById(id);
        if (conversation == nullptr) {
            break;
        }
        if ((contact.state != kStateOnline && contact.state != kStateInactive) ||
            conversation->IsParticipant(contact.login)) {
            continue;
        }
        std::vector<std::string> grown = conversation->ParticipantLogins();
        grown.push_back(contact.login);
        if (FindConversation(grown) == nullptr) {
            offered.push_back(contact.login);
        }
    }
    return offered;
}

void Session::RequestAddressBook() {
    SendFrame(keyword::kAddressBook);
}

void Session::RequestAllStates() {
    SendFrame(keyword::kGetAllState);
}

void Session::AddContact(std::string_view login) {
    if (login.empty() || EqualsNoCase(login, PlainLogin())) {
        return;
    }
    const std::string copy(login);
    SendFrame(FormatWithText(keyword::kDoAddAddressBook, copy));
    ShowBox(copy + " apparaîtra automatiquement dès qu'il vous aura accepté", texts::kAddressBook);
}

void Session::RemoveContact(std::string_view login) {
    SendFrame(FormatWithText(keyword::kRemoveAddressBook, login));
}

}  // namespace parlo::client
