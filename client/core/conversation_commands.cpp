#include "client/core/conversation_commands.h"

#include <QDateTime>
#include <QtGlobal>

#include <algorithm>

#include "client/core/session.h"
#include "protocol/ascii.h"

namespace parlo::client {

namespace {

std::vector<std::string> Logins(std::string_view list) {
    std::vector<std::string> logins;
    for (std::string_view item : SplitList(list, '!')) {
        logins.emplace_back(item);
    }
    return logins;
}

// "message envoyé le 09/12/2026 à 10:58", in the user's time zone.
std::string SentTimeText(std::int64_t sent_ms) {
    const QDateTime sent = QDateTime::fromMSecsSinceEpoch(sent_ms).toLocalTime();
    return "message envoyé le " + sent.toString(QStringLiteral("dd/MM/yyyy")).toStdString() +
           " à " + sent.toString(QStringLiteral("HH:mm")).toStdString();
}

}  // namespace

Conversation* ConversationCommands::Find(std::span<const std::string> names) {
    const std::vector<ConversationId> matches = registry_.Matching(names);
    // Every match but the newest is a duplicate.
    for (size_t i = 0; i + 1 < matches.size(); ++i) {
        if (registry_.ById(matches[i])->View().IsVisible()) {
            session_.ShowBox("Une autre conversation entre :\n" + JoinNamesForBox(names) +
                                 "\nexiste déjà, cette fenêtre va être fermée",
                             texts::kConversations, BoxIcon::kInformation);
        }
        Remove(matches[i]);
    }
    return matches.empty() ? nullptr : registry_.ById(matches.back());
}

Conversation& ConversationCommands::Create(std::span<const std::string> names, bool by_server) {
    const ConversationId id = next_id_++;
    auto conversation = std::make_unique<Conversation>(id, session_.PlainLogin(),
                                                       session_.Ui().CreateConversationView(id));
    for (const std::string& name : names) {
        conversation->AddParticipant(name);
    }
    RefreshTitle(*conversation);
    return registry_.Add(std::move(conversation), by_server);
}

Conversation* ConversationCommands::FindOrOpen(std::span<const std::string> names) {
    if (Conversation* conversation = Find(names)) {
        return conversation;
    }
    if (!registry_.ServerMayOpenMore()) {
        if (!std::exchange(limit_logged_, true)) {
            qWarning("%zu conversations opened by the server: further ones are ignored",
                     ConversationRegistry::kMaxOpenedByServer);
        }
        return nullptr;
    }
    limit_logged_ = false;
    return &Create(names, true);
}

void ConversationCommands::OnMessage(std::string_view text, std::optional<std::int64_t> sent_ms) {
    const auto message = ParseMessage(text);
    if (!message) {
        return;
    }
    const std::vector<std::string> names(message->participants.begin(),
                                         message->participants.end());
    Conversation* conversation = FindOrOpen(names);
    if (conversation == nullptr) {
        return;
    }
    if (sent_ms) {
        AppendInfo(*conversation, SentTimeText(*sent_ms));
    }
    // The text ends early at a NUL, as every text does.
    const std::string_view message_text = message->text.substr(0, message->text.find('\0'));
    AppendMessage(*conversation, message->sender, message_text);
    conversation->View().Show();
    session_.Alerts().MessageArrived(conversation->Id(), conversation->View(), message->sender,
                                     message_text, session_.Settings().attention.notify);
    if (session_.Settings().sound) {
        session_.Ui().PlayReceiveSound();
    }
}

void ConversationCommands::Remove(ConversationId id) {
    registry_.Remove(id);
    session_.Alerts().Dismiss(id);
}

void ConversationCommands::OnAbsent(const AbsentView& absent) {
    Conversation* conversation = Find(Logins(absent.list));
    if (conversation == nullptr || !conversation->TellAbsentOnce(absent.login)) {
        return;
    }
    const std::string login(absent.login);
    AppendInfo(
        *conversation,
        login + (absent.kept ? " n'est pas connecté(e) : il le recevra à sa prochaine connexion"
                             : " n'est pas connecté(e) : le message n'a pas pu lui être gardé"));
}

void ConversationCommands::ConnectionBack() {
    for (const auto& conversation : registry_.All()) {
        conversation->AllowOfflineBox();
    }
}

void ConversationCommands::OnInvite(std::string_view text) {
    const LoginAndList fields = ParseLoginAndList(text);
    const std::string joiner(fields.login);
    const std::vector<std::string> before = Logins(fields.list);
    std::vector<std::string> after = before;
    after.push_back(joiner);

    Conversation* conversation = Find(after);
    if (conversation == nullptr) {
        conversation = FindOrOpen(before);
        if (conversation == nullptr) {
            return;
        }
        AppendInfo(*conversation, joiner + " s'est joint à la conversation");
    }
    conversation->AddParticipant(joiner);
    registry_.Rekey(*conversation);
    RefreshTitle(*conversation);
    Find(after);  // closes any duplicate of the grown set
}

void ConversationCommands::OnLeave(std::string_view text) {
    const LoginAndList fields = ParseLoginAndList(text);
    const std::string leaver(fields.login);
    std::vector<std::string> names = Logins(fields.list);
    const size_t count = names.size();

    Conversation* conversation = Find(names);
    if (conversation != nullptr && conversation->RemoveParticipant(leaver)) {
        registry_.Rekey(*conversation);
        AppendInfo(*conversation, leaver + " a quitté la conversation");
        RefreshTitle(*conversation);
    }
    std::erase_if(names, [&, erased = false](const std::string& name) mutable {
        return !erased && (erased = EqualsNoCase(name, leaver));
    });
    if (count == 2 && conversation != nullptr && conversation->View().IsVisible()) {
        session_.ShowBox(leaver + " a quitté la conversation, la fenêtre va être fermée",
                         texts::kConversations, BoxIcon::kInformation);
        Remove(conversation->Id());
    } else {
        Find(names);  // closes duplicates of the remaining set
    }
}

void ConversationCommands::OnWriting(std::string_view text) {
    const WritingView writing = ParseWriting(text);
    if (Conversation* conversation = Find(Logins(writing.list))) {
        conversation->SetTyping(writing.login, writing.flag != 0);
        RefreshTitle(*conversation);
    }
}

void ConversationCommands::AppendMessage(Conversation& conversation, std::string_view sender,
                                         std::string_view text) {
    conversation.View().AppendMessage(sender, text);
    if (recorder_ != nullptr) {
        recorder_->Record(conversation, LineKind::kMessage, sender, text);
    }
}

void ConversationCommands::AppendInfo(Conversation& conversation, std::string_view text) {
    conversation.View().AppendInfo(text);
    if (recorder_ != nullptr) {
        recorder_->Record(conversation, LineKind::kInfo, {}, text);
    }
}

void ConversationCommands::RefreshTitles() {
    for (const auto& conversation : registry_.All()) {
        RefreshTitle(*conversation);
    }
}

void ConversationCommands::RefreshTitle(Conversation& conversation) {
    for (const Participant& participant : conversation.Participants()) {
        const Contact* contact = session_.Contacts().Find(participant.login);
        if (contact != nullptr && contact->state != kStateOffline) {
            conversation.SeenConnected(participant.login);
        }
    }
    const ConversationTitle title = ComputeTitle(conversation, session_.Contacts());
    conversation.View().SetTitle(title.title, title.typing_line);
}

void ConversationCommands::OpenWith(std::string_view contact_login) {
    const Contact* contact = session_.Contacts().Find(contact_login);
    if (contact == nullptr) {
        return;
    }
    if (!CanMessage(*contact)) {
        session_.Ui().SendMail(contact->email);
        return;
    }
    const std::string login = contact->login;
    const std::string own = session_.PlainLogin();
    const std::vector<std::string> pair = {own, login};
    if (Conversation* conversation = Find(pair)) {
        RefreshTitle(*conversation);
        conversation->View().Show();
        conversation->View().Raise();
    } else {
        const std::vector<std::string> alone = {own};
        ConversationView& view = Create(alone, false).View();
        view.Show();
        view.Raise();  // the user asked for it: it takes the keyboard
    }
    session_.SendFrame(FormatInvite(login, own + "!"));
}

void ConversationCommands::Submit(ConversationId id, std::string_view text) {
    Conversation* conversation = ById(id);
    if (text.empty() || conversation == nullptr) {
        return;
    }
    session_.SendFrame(
        FormatMessage(conversation->OwnerLogin(), conversation->ParticipantLogins(), text));
    AppendMessage(*conversation, conversation->OwnerLogin(), text);
}

void ConversationCommands::Invite(ConversationId id, std::string_view invitee) {
    if (const Conversation* conversation = ById(id)) {
        session_.SendInvite(invitee, JoinList(conversation->ParticipantLogins()));
    }
}

void ConversationCommands::Leave(ConversationId id) {
    const Conversation* conversation = ById(id);
    if (conversation == nullptr) {
        return;
    }
    session_.SendFrame(
        FormatLeave(conversation->OwnerLogin(), JoinList(conversation->ParticipantLogins())));
    Remove(id);
}

void ConversationCommands::InputChanged(ConversationId id, size_t length) {
    Conversation* conversation = ById(id);
    if (conversation == nullptr) {
        return;
    }
    const auto flag = conversation->InputChanged(length);
    if (flag && !session_.IsConnected()) {
        if (!session_.ReconnectionPending() && conversation->TakeOfflineBox()) {
            session_.ConfirmConnected();
        }
    } else if (flag) {
        session_.SendFrame(FormatWritingRequest(conversation->OwnerLogin(), *flag,
                                                conversation->ParticipantLogins()));
    }
}

std::vector<std::string> ConversationCommands::InviteCandidates(ConversationId id) {
    std::vector<std::string> offered;
    for (const Contact& contact : session_.Contacts().Entries()) {
        const Conversation* conversation = ById(id);
        if (conversation == nullptr) {
            break;  // a duplicate closed by the lookups below
        }
        if ((contact.state != kStateOnline && contact.state != kStateInactive) ||
            conversation->IsParticipant(contact.login)) {
            continue;
        }
        std::vector<std::string> grown = conversation->ParticipantLogins();
        grown.push_back(contact.login);
        if (Find(grown) == nullptr) {
            offered.push_back(contact.login);
        }
    }
    return offered;
}

}  // namespace parlo::client
