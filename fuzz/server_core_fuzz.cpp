// Feeds sequences of frames from several fake connections into the server
// core (no sockets) and checks its invariants after each step:
// - the online list, its login index and the user list agree;
// - every address-book entry and pending command is well formed, and no
//   account holds more stored commands than its bounds;
// - no account, and no identified connection, has a login holding a
//   separator, a control character or invalid UTF-8;
// - every frame the core sent decodes to a text of at most 8192 bytes;
// - at the end, a save followed by a load gives the same accounts.
//
// Input: a sequence of steps, each a step byte (connection in the low two
// bits, action above) followed by the action's bytes.
#include <stdlib.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/ascii.h"
#include "protocol/codec.h"
#include "protocol/commands.h"
#include "server/core/server_core.h"
#include "server/core/userdb_file.h"

namespace {

using namespace parlo;
using namespace parlo::server;

#define CHECK(condition)      \
    do {                      \
        if (!(condition)) {   \
            __builtin_trap(); \
        }                     \
    } while (false)

class QuietEvents : public ServerEvents {
  public:
    void OnLogLine(std::string_view) override {}
};

// Decodes what the core sends; any frame a receiver would refuse traps.
class FuzzConnection : public Connection {
  public:
    void Send(std::string_view bytes) override {
        CHECK(!closed);
        queued += bytes.size();
        reader_.Feed(bytes);
        std::string_view payload;
        FrameReader::Status status;
        while ((status = reader_.Next(payload)) == FrameReader::Status::kFrame) {
            std::string text;
            CHECK(Uncompress(payload, text));
            CHECK(!text.empty() && text.size() <= static_cast<size_t>(kMaxFrameBytes));
        }
        CHECK(status == FrameReader::Status::kNeedMore);
    }
    void Close() override { closed = true; }
    size_t QueuedBytes() const override { return queued; }
    void NotifyWhenDrained() override { drain_asked = true; }
    bool closed = false;
    size_t queued = 0;  // "written" by the time step
    bool drain_asked = false;

  private:
    FrameReader reader_;
};

constexpr std::array<std::string_view, 8> kLogins = {"ann", "bob", "ANN",    "c:d",
                                                     "e!f", "zoé", "g\x01h", "i\xFFj"};

std::string Blob(std::string_view text) {
    std::string out;
    Compress(text, out);
    return out;
}

// Reads the input byte by byte; zeros once it is used up.
class Input {
  public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool More() const { return pos_ < size_; }
    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::string_view Bytes(size_t count) {
        count = std::min(count, size_ - pos_);
        const std::string_view out(reinterpret_cast<const char*>(data_ + pos_), count);
        pos_ += count;
        return out;
    }
    std::string_view Login() { return kLogins[Byte() % kLogins.size()]; }
    // A list of one to three logins, '!'-separated.
    std::string List() {
        std::string list(Login());
        for (int k = Byte() % 3; k > 0; --k) {
            list.append("!").append(Login());
        }
        return list;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// A command built from the input: well-formed ones reach deep into the
// handlers, keyword + raw bytes cover the parsers' edges.
std::string MakeCommand(Input& in) {
    switch (in.Byte() % 12) {
        case 0:
            return FormatAddNewUser(
                FormatRecordText(Blob(in.Login()), Blob("pw"), "Prénom", "Nom", "x@y.fr"));
        case 1:
            return FormatConnect("PC", Blob(in.Login()), Blob(in.Byte() % 4 == 0 ? "no" : "pw"));
        case 2: {
            const std::string from(in.Login());
            std::vector<std::string> to;
            const std::string list = in.List();
            for (const std::string_view login : SplitList(list)) {
                to.emplace_back(login);
            }
            return FormatMessage(from, to, in.Bytes(in.Byte()));
        }
        case 3:
            return FormatWithText(keyword::kYesAddAddressBook, in.Login());
        case 4:
            return FormatWithText(keyword::kRemoveAddressBook, in.Login());
        case 5:
            return FormatWithText(keyword::kDoAddAddressBook, in.Login());
        case 6:
            return FormatInvite(in.Login(), in.List());
        case 7:
            return FormatLeave(in.Login(), in.List());
        case 8:
            return FormatSetStateRequest(in.Login(), in.Byte() % 8);
        case 9:
            return std::string(in.Byte() % 2 ? keyword::kAddressBook : keyword::kGetAllState);
        default: {
            const auto order = ServerKeywordOrder();
            std::string command(order[in.Byte() % order.size()].text);
            command.append(in.Bytes(in.Byte()));
            return command;
        }
    }
}

// Each lookup by login gives the records of that login in list order.
template <typename List, typename Storage>
void CheckIndexes(const List& list, const Storage& records) {
    for (const auto& record : records) {
        if (!record->HasLogin()) {
            continue;
        }
        std::vector<const typename Storage::value_type::element_type*> all;
        for (const auto& other : records) {
            if (other->HasLogin() && EqualsNoCase(other->login, record->login)) {
                all.push_back(other.get());
            }
        }
        CHECK(list.FindFirstByLogin(record->login) == all.front());
        const auto indexed = list.FindAllByLogin(record->login);
        CHECK(indexed.size() == all.size());
        for (size_t k = 0; k < all.size(); ++k) {
            CHECK(indexed[k] == all[k]);
        }
    }
}

void CheckInvariants(ServerCore& core, const std::vector<std::unique_ptr<FuzzConnection>>& open) {
    CheckIndexes(core.Users(), core.Users().Records());
    CheckIndexes(core.Online(), core.Online().Entries());
    // The online list holds exactly the connections the core did not close.
    size_t live = 0;
    for (const auto& connection : open) {
        if (connection && !connection->closed) {
            CHECK(core.Online().Find(*connection) != nullptr);
            ++live;
        }
    }
    CHECK(core.Online().Size() == live);
    for (const auto& entry : core.Online().Entries()) {
        CHECK(entry->connection != nullptr);
        CHECK(!entry->HasLogin() || NewLoginAllowed(entry->login));
    }
    CHECK(core.Rows().Size() <= core.Online().Size());
    for (const auto& account : core.Users().Records()) {
        CHECK(account->HasLogin() && account->HasRecordText());
        CHECK(NewLoginAllowed(account->login));
        for (const std::string& contact : account->address_book) {
            CHECK(!contact.empty() && contact.find('\0') == std::string::npos);
            CHECK(contact.size() <= static_cast<size_t>(kMaxFrameBytes));
        }
        CHECK(account->pending.size() <= Account::kMaxPending);
        CHECK(account->PendingBytes() <= Account::kMaxPendingBytes);
        for (size_t k = 0; k < account->pending.size(); ++k) {
            const std::string& command = account->pending[k];
            CHECK(!command.empty() && command.size() <= static_cast<size_t>(kMaxFrameBytes));
            // A command for the client, or a message kept with the time it was sent.
            CHECK(RecognizeClientCommand(command).has_value() ||
                  ParseKeptMessage(command).has_value());
            for (size_t j = 0; j < k; ++j) {
                CHECK(account->pending[j] != command);  // stored once
            }
        }
    }
}

void CheckSaveAndLoad(ServerCore& core, const std::filesystem::path& directory) {
    CHECK(core.SaveDatabase());
    RecordList loaded;
    UserDatabaseFile file(directory);
    const auto result = file.Load(loaded, 0);
    CHECK(result.found && result.report.complete && result.report.refused.empty());
    CHECK(loaded.Size() == core.Users().Size());
    auto it = loaded.Records().begin();
    for (const auto& account : core.Users().Records()) {
        const Account& copy = **it++;
        CHECK(copy.record_text == account->record_text && copy.login == account->login);
        CHECK(copy.address_book == account->address_book && copy.pending == account->pending);
    }
}

const std::filesystem::path& Directory() {
    static const std::filesystem::path directory = [] {
        std::string pattern = "/dev/shm/parlo-core-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            pattern = (std::filesystem::temp_directory_path() / "parlo-core-fuzz-XXXXXX");
            CHECK(mkdtemp(pattern.data()) != nullptr);
        }
        std::atexit([] { std::filesystem::remove_all(Directory()); });
        return std::filesystem::path(pattern);
    }();
    return directory;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::filesystem::path& directory = Directory();
    std::error_code ignored;
    for (const char* name : {"UserDB.dat", "UserDB.bak", "Log.txt"}) {
        std::filesystem::remove(directory / name, ignored);
    }
    QuietEvents events;
    int64_t now_ms = 0;
    ServerOptions options{directory, [] { return std::time_t{0}; }};
    options.steady_ms = [&now_ms] { return now_ms; };
    ServerCore core(std::move(options), events);
    core.Start();
    std::vector<std::unique_ptr<FuzzConnection>> connections(4);
    Input in(data, size);
    for (int step = 0; in.More() && step < 64; ++step) {
        const uint8_t op = in.Byte();
        std::unique_ptr<FuzzConnection>& slot = connections[op & 3];
        const bool open = slot && !slot->closed;
        switch ((op >> 2) % 5) {
            case 0:  // accept (the previous connection of the slot goes first)
                if (open) {
                    core.OnClosed(*slot);
                }
                slot = std::make_unique<FuzzConnection>();
                core.OnAccepted(*slot, "10.0.0." + std::to_string(op & 3), 4000);
                break;
            case 1:  // the peer goes away, or the program's delayed save runs
                if (open) {
                    core.OnClosed(*slot);
                    slot->closed = true;
                } else {
                    core.SavePending();
                    CHECK(!core.SaveWanted());
                }
                break;
            case 2: {  // one command as one frame
                const std::string command = MakeCommand(in);
                std::string frame;
                if (open && AppendCommandFrame(frame, command)) {
                    core.OnBytes(*slot, frame);
                }
                break;
            }
            case 3:  // raw bytes, frames or not
                if (open) {
                    core.OnBytes(*slot, in.Bytes(in.Byte()));
                }
                break;
            default:  // time passes: output is written, waits and time-outs end
                now_ms += in.Byte() * 250;
                for (const auto& connection : connections) {
                    if (connection && !connection->closed && connection->drain_asked) {
                        connection->queued = 0;
                        connection->drain_asked = false;
                        core.OnDrained(*connection);
                    }
                }
                core.RunTimers();
                CHECK(core.TimerDelayMs() != 0);
                break;
        }
        CheckInvariants(core, connections);
    }
    CheckSaveAndLoad(core, directory);
    core.Shutdown();
    return 0;
}
