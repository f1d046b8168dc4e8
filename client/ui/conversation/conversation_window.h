// The window of one conversation, as the client core sees it.
#pragma once

#include <memory>

#include "client/core/ui_port.h"

namespace parlo::client {

class Session;

// A new, hidden top-level window for the conversation `id` of `session`. It
// sends, invites and leaves through the session.
std::unique_ptr<ConversationView> CreateConversationWindow(Session& session, ConversationId id);

}  // namespace parlo::client
