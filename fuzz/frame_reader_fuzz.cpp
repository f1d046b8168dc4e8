// Feeds arbitrary bytes to the frame reader in pieces chosen by the input, and
// uncompresses and parses every frame it yields.
#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/codec.h"
#include "protocol/commands.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const size_t piece = 1 + data[0] % 64;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    parlo::FrameReader reader;
    for (size_t at = 0; at < bytes.size(); at += piece) {
        reader.Feed(bytes.substr(at, piece));
        std::string_view payload;
        parlo::FrameReader::Status status;
        while ((status = reader.Next(payload)) == parlo::FrameReader::Status::kFrame) {
            if (payload.size() > parlo::kMaxFrameBytes) {
                __builtin_trap();
            }
            std::string text;
            if (parlo::Uncompress(payload, text)) {
                parlo::RecognizeServerCommand(text);
                parlo::ParseMessage(text);
            }
        }
        if (status == parlo::FrameReader::Status::kError) {
            break;
        }
    }
    return 0;
}
