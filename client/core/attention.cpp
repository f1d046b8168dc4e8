#include "client/core/attention.h"

#include <algorithm>

#include "client/core/session.h"

namespace parlo::client {

namespace {

bool StartsCharacter(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
}

}  // namespace

std::string NoticeBody(std::string_view text) {
    size_t characters = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (StartsCharacter(text[i]) && characters++ == kNoticeBodyCharacters) {
            return std::string(text.substr(0, i)) + "…";
        }
    }
    return std::string(text);
}

void Attention::MessageArrived(ConversationId id, ConversationView& view, std::string_view sender,
                               std::string_view text, bool notify) {
    if (view.IsActive()) {
        return;
    }
    view.RequestAttention();
    if (std::find(unread_.begin(), unread_.end(), id) == unread_.end()) {
        unread_.push_back(id);
        if (unread_.size() == 1) {
            ui_.ShowUnreadMark(true);
        }
    }
    if (notify) {
        const std::string body = NoticeBody(text);
        ui_.ShowNotice({.key = id, .summary = sender, .body = body});
        noticed_.insert(id);
    }
}

void Attention::BroadcastArrived(std::string_view text, bool notify) {
    if (notify) {
        const std::string body = NoticeBody(text);
        ui_.ShowNotice({.key = kBroadcastNotice, .summary = texts::kAdministrator, .body = body});
        noticed_.insert(kBroadcastNotice);
    }
}

void Attention::ForgetAll() {
    for (const ConversationId key : noticed_) {
        ui_.CloseNotice(key);
    }
    noticed_.clear();
    if (HasUnread()) {
        unread_.clear();
        ui_.ShowUnreadMark(false);
    }
}

void Attention::Dismiss(ConversationId id) {
    if (noticed_.erase(id) != 0) {
        ui_.CloseNotice(id);
    }
    const auto unread = std::find(unread_.begin(), unread_.end(), id);
    if (unread != unread_.end()) {
        unread_.erase(unread);
        if (unread_.empty()) {
            ui_.ShowUnreadMark(false);
        }
    }
}

}  // namespace parlo::client
