// The open conversations, in the order they were opened, found by their id
// or by their participants through indexes rather than by a search.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "client/core/conversation.h"

namespace parlo::client {

class ConversationRegistry {
  public:
    // Conversations that the server's traffic may open; beyond, what would
    // open another is ignored.
    static constexpr size_t kMaxOpenedByServer = 50;

    // Owns `conversation`; `by_server` counts it against the limit.
    Conversation& Add(std::unique_ptr<Conversation> conversation, bool by_server);
    // Takes the conversation out, so that destroying it finds it gone.
    std::unique_ptr<Conversation> Remove(ConversationId id);
    void Clear();
    // The participants changed: the participant index follows.
    void Rekey(const Conversation& conversation);

    Conversation* ById(ConversationId id) const;
    // The ids of the conversations of exactly these participants (letter
    // case aside), oldest first.
    std::vector<ConversationId> Matching(std::span<const std::string> names) const;
    bool ServerMayOpenMore() const { return opened_by_server_ < kMaxOpenedByServer; }

    const std::vector<std::unique_ptr<Conversation>>& All() const { return all_; }

  private:
    struct Entry {
        Conversation* conversation = nullptr;
        std::string key;
        bool by_server = false;
    };
    static std::string KeyOf(std::span<const std::string> names);
    void Unindex(ConversationId id, const std::string& key);

    std::vector<std::unique_ptr<Conversation>> all_;
    std::unordered_map<ConversationId, Entry> by_id_;
    std::unordered_map<std::string, std::vector<ConversationId>> by_key_;
    size_t opened_by_server_ = 0;
};

}  // namespace parlo::client
