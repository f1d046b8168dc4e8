// A short walk through the wire protocol: a few commands are formatted,
// framed, fed back through the frame reader in awkward pieces, and parsed.
#include <cstdio>
#include <string>
#include <vector>

#include "protocol/codec.h"
#include "protocol/commands.h"

namespace {

void Show(const char* label, std::string_view bytes) {
    std::printf("%-10s %3zu bytes: ", label, bytes.size());
    for (unsigned char c : bytes.substr(0, 48)) {
        std::putchar(c >= 0x20 && c < 0x7F ? c : '.');
    }
    std::puts(bytes.size() > 48 ? "..." : "");
}

}  // namespace

int main() {
    using namespace parlo;
    std::string login, password;
    Compress("alice", login);
    Compress("secret", password);
    const std::vector<std::string> participants = {"alice", "bob"};
    const std::vector<std::string> commands = {
        FormatConnect("PC-ALICE", login, password),
        FormatMessage("alice", participants, "Bonjour : ça va ? :-) !"),
        FormatWritingRequest("alice", 1, participants),
        FormatInvite("bob", "alice!"),
    };

    std::string stream;
    for (const std::string& command : commands) {
        Show("command", command);
        AppendCommandFrame(stream, command);
    }
    Show("stream", stream);

    // Deliver the stream in 7-byte pieces, as a slow network might.
    FrameReader reader;
    for (size_t at = 0; at < stream.size(); at += 7) {
        reader.Feed(std::string_view(stream).substr(at, 7));
        std::string_view payload;
        while (reader.Next(payload) == FrameReader::Status::kFrame) {
            std::string text;
            if (!Uncompress(payload, text)) {
                std::puts("damaged frame");
                return 1;
            }
            const auto keyword = RecognizeServerCommand(text);
            std::printf("received   keyword #%d, %zu-byte payload\n",
                        keyword ? static_cast<int>(*keyword) : -1, payload.size());
            if (const auto message = ParseMessage(text)) {
                std::printf("           message from %.*s to %zu participants: \"%.*s\"\n",
                            static_cast<int>(message->sender.size()), message->sender.data(),
                            message->participants.size(), static_cast<int>(message->text.size()),
                            message->text.data());
            }
        }
    }
    return 0;
}
