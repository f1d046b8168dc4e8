// The conversations: the registry of open ones, the server's commands that
// fill, grow and shrink them ("Message", "Invite", "Leave", "Writing"), and
// what their windows send.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "client/core/conversation.h"
#include "client/core/conversation_registry.h"
#include "client/core/transcript_recorder.h"
#include "protocol/commands.h"

namespace parlo::client {

class Session;

class ConversationCommands {
  public:
    explicit ConversationCommands(Session& session) : session_(session) {}

    // The conversation of exactly these participants; older duplicates are
    // closed (with a box when visible).
    Conversation* Find(std::span<const std::string> names);
    // A new conversation; `by_server` when the server's traffic opens it.
    Conversation& Create(std::span<const std::string> names, bool by_server);
    Conversation* ById(ConversationId id) const { return registry_.ById(id); }
    const std::vector<std::unique_ptr<Conversation>>& All() const { return registry_.All(); }
    void CloseAll() { registry_.Clear(); }
    // Every line shown from now on is also recorded there (none: nowhere).
    void SetRecorder(TranscriptRecorder* recorder) { recorder_ = recorder; }

    // The server's commands. A message kept while the user was offline
    // comes with the time it was sent, written above it.
    void OnMessage(std::string_view text, std::optional<std::int64_t> sent_ms = std::nullopt);
    // A participant of the user's message is offline: said once in the
    // conversation, until that participant is seen connected again.
    void OnAbsent(const AbsentView& absent);
    // Logged in again: typing while offline may raise its box again.
    void ConnectionBack();
    void OnInvite(std::string_view text);
    void OnLeave(std::string_view text);
    void OnWriting(std::string_view text);
    // The participants' presence changed: every caption again.
    void RefreshTitles();

    // Double-click on a contact or the contact menu's first entry.
    void OpenWith(std::string_view contact_login);
    // The window's "Envoyer": sends a non-empty text and writes it into the
    // transcript under the owner login.
    void Submit(ConversationId id, std::string_view text);
    // The invite menu's choice: invites with the conversation's participants.
    void Invite(ConversationId id, std::string_view invitee);
    void Leave(ConversationId id);
    // The window's input changed length: sends "Writing" when typing starts
    // or stops. Offline, nothing is sent: while a reconnection is under way
    // nothing is said either, otherwise one box per conversation says so.
    void InputChanged(ConversationId id, size_t length);
    // Contacts the "Inviter" menu offers: online or inactive, not yet in the
    // conversation, and with no conversation of the resulting set.
    std::vector<std::string> InviteCandidates(ConversationId id);

  private:
    // The conversation the server's traffic goes to, opened when needed;
    // none beyond the limit of conversations the server may open.
    Conversation* FindOrOpen(std::span<const std::string> names);
    void RefreshTitle(Conversation& conversation);
    void Remove(ConversationId id);
    // A line into the window's transcript and into the history.
    void AppendMessage(Conversation& conversation, std::string_view sender, std::string_view text);
    void AppendInfo(Conversation& conversation, std::string_view text);

    Session& session_;
    ConversationRegistry registry_;
    ConversationId next_id_ = 1;
    bool limit_logged_ = false;
    TranscriptRecorder* recorder_ = nullptr;
};

}  // namespace parlo::client
