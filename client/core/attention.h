// What draws the user to messages that arrive while they look elsewhere: the
// desktop notice of each conversation (replaced as messages come, withdrawn
// when its window is activated), the window's urgency and the unread mark
// of the tray picture.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "client/core/ui_port.h"

namespace parlo::client {

// A notice's body: the text cut to kNoticeBodyCharacters characters (never
// inside a UTF-8 sequence), with "…" when it was longer.
inline constexpr size_t kNoticeBodyCharacters = 200;
std::string NoticeBody(std::string_view text);

class Attention {
  public:
    explicit Attention(UiPort& ui) : ui_(ui) {}

    // A message from `sender` reached the conversation `id`, whose window is
    // `view`. Unless the window is the active one, it becomes unread and asks
    // for attention, and, with `notify`, its notice shows the message.
    void MessageArrived(ConversationId id, ConversationView& view, std::string_view sender,
                        std::string_view text, bool notify);
    // The administrator's message, as a notice with `notify`.
    void BroadcastArrived(std::string_view text, bool notify);
    // The user activated the conversation's window, or it is gone: it is
    // read and its notice is withdrawn.
    void Dismiss(ConversationId id);
    // Every notice withdrawn, nothing unread (the program ends).
    void ForgetAll();

    bool HasUnread() const { return !unread_.empty(); }
    // The unread conversations, the oldest first.
    const std::vector<ConversationId>& Unread() const { return unread_; }

  private:
    UiPort& ui_;
    std::vector<ConversationId> unread_;
    std::unordered_set<ConversationId> noticed_;  // notices shown and not withdrawn
};

}  // namespace parlo::client
