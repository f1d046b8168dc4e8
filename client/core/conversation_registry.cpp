#include "client/core/conversation_registry.h"

#include <algorithm>

namespace parlo::client {

std::string ConversationRegistry::KeyOf(std::span<const std::string> names) {
    std::vector<std::string> folded(names.begin(), names.end());
    for (std::string& name : folded) {
        std::transform(name.begin(), name.end(), name.begin(), [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        });
    }
    std::sort(folded.begin(), folded.end());
    std::string key;
    for (const std::string& name : folded) {
        key += name;
        key += '\0';  // no login holds one
    }
    return key;
}

Conversation& ConversationRegistry::Add(std::unique_ptr<Conversation> conversation,
                                        bool by_server) {
    Conversation& added = *conversation;
    Entry& entry = by_id_[added.Id()];
    entry.conversation = &added;
    entry.key = KeyOf(added.ParticipantLogins());
    entry.by_server = by_server;
    by_key_[entry.key].push_back(added.Id());
    opened_by_server_ += by_server ? 1 : 0;
    all_.push_back(std::move(conversation));
    return added;
}

std::unique_ptr<Conversation> ConversationRegistry::Remove(ConversationId id) {
    const auto entry = by_id_.find(id);
    if (entry == by_id_.end()) {
        return nullptr;
    }
    Unindex(id, entry->second.key);
    opened_by_server_ -= entry->second.by_server ? 1 : 0;
    by_id_.erase(entry);
    const auto it =
        std::find_if(all_.begin(), all_.end(), [id](const auto& c) { return c->Id() == id; });
    std::unique_ptr<Conversation> taken = std::move(*it);
    all_.erase(it);
    return taken;
}

void ConversationRegistry::Clear() {
    // Emptied before the conversations go, as Remove does.
    std::vector<std::unique_ptr<Conversation>> doomed = std::move(all_);
    all_.clear();
    by_id_.clear();
    by_key_.clear();
    opened_by_server_ = 0;
}

void ConversationRegistry::Rekey(const Conversation& conversation) {
    const auto entry = by_id_.find(conversation.Id());
    if (entry == by_id_.end()) {
        return;
    }
    std::string key = KeyOf(conversation.ParticipantLogins());
    if (key == entry->second.key) {
        return;
    }
    Unindex(conversation.Id(), entry->second.key);
    std::vector<ConversationId>& ids = by_key_[key];
    ids.insert(std::upper_bound(ids.begin(), ids.end(), conversation.Id()), conversation.Id());
    entry->second.key = std::move(key);
}

void ConversationRegistry::Unindex(ConversationId id, const std::string& key) {
    const auto it = by_key_.find(key);
    if (it == by_key_.end()) {
        return;
    }
    std::erase(it->second, id);
    if (it->second.empty()) {
        by_key_.erase(it);
    }
}

Conversation* ConversationRegistry::ById(ConversationId id) const {
    const auto it = by_id_.find(id);
    return it == by_id_.end() ? nullptr : it->second.conversation;
}

std::vector<ConversationId> ConversationRegistry::Matching(
    std::span<const std::string> names) const {
    const auto it = by_key_.find(KeyOf(names));
    return it == by_key_.end() ? std::vector<ConversationId>{} : it->second;
}

}  // namespace parlo::client
