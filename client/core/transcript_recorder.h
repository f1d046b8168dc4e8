// Where the lines a conversation window shows are kept once shown: the
// history. The conversations call it after each line they add.
#pragma once

#include <string_view>

namespace parlo::client {

class Conversation;

enum class LineKind { kMessage = 0, kInfo = 1 };

class TranscriptRecorder {
  public:
    virtual ~TranscriptRecorder() = default;
    // `sender` is empty for an information line.
    virtual void Record(const Conversation& conversation, LineKind kind, std::string_view sender,
                        std::string_view text) = 0;
};

}  // namespace parlo::client
