// The limit of the conversation window's input box, without Qt.
#pragma once

#include <cstddef>
#include <string_view>

namespace parlo::client {

// The most bytes (UTF-8) a message typed into a conversation window may hold.
inline constexpr size_t kInputLimit = 8172;

// The length of the longest prefix of `text` that holds at most `limit`
// bytes and ends on a character boundary: a UTF-8 sequence is never split.
size_t CutOnCharacterBoundary(std::string_view text, size_t limit);

}  // namespace parlo::client
