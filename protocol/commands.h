// The command catalogue: formatting, parsing and recognition of every command
// exchanged between Parlomatic and Server. Fields are separated by ':', list
// items by '!'; four commands end with length-counted tails (Connect,
// AddNewUser, FindUser, Message) which are cut by length, never by separator.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/codec.h"

namespace parlo {

// Presence codes carried on the wire; 4 to 6 are the client's own states.
enum StateCode : int {
    kStateOnline = 0,
    kStateOffline = 1,
    kStateInactive = 2,
    kStateAway = 3,
    kStateStartup = 4,
    kStateExit = 5,
    kStateConnecting = 6,
};

// The server's log name of a state code ("en ligne", "deconnecté", ...).
std::string_view StateLogName(int code);

// Longest field of a record text.
inline constexpr size_t kMaxRecordField = 8183;
// Longest formatted "Broadcast:%s" command.
inline constexpr size_t kMaxBroadcastBytes = 1023;

// The protocol's keywords, as they begin commands.
namespace keyword {
inline constexpr std::string_view kConnect = "Connect";
inline constexpr std::string_view kAddNewUser = "AddNewUser";
inline constexpr std::string_view kAddressBook = "AddressBook";
inline constexpr std::string_view kGetAllState = "GetAllState";
inline constexpr std::string_view kDoAddAddressBook = "DoAddAddressBook";
inline constexpr std::string_view kMessage = "Message";
inline constexpr std::string_view kFindUser = "FindUser";
inline constexpr std::string_view kGetState = "GetState";
inline constexpr std::string_view kSetState = "SetState";
inline constexpr std::string_view kNoAddAddressBook = "NoAddAddressBook";
inline constexpr std::string_view kYesAddAddressBook = "YesAddAddressBook";
inline constexpr std::string_view kRemoveAddressBook = "RemoveAddressBook";
inline constexpr std::string_view kInvite = "Invite";
inline constexpr std::string_view kLeave = "Leave";
inline constexpr std::string_view kWriting = "Writing";
inline constexpr std::string_view kLogin = "Login";
inline constexpr std::string_view kDelAddressBook = "DelAddressBook";
inline constexpr std::string_view kAskAddressBook = "AskAddressBook";
inline constexpr std::string_view kBroadcast = "Broadcast";
}  // namespace keyword

// ---------------------------------------------------------------------------
// Recognition: prefix tests in each side's fixed order. No keyword of a list
// is a prefix of another, so at most one test matches.

enum class ServerKeyword {
    kConnect,
    kAddNewUser,
    kAddressBook,
    kGetAllState,
    kDoAddAddressBook,
    kMessage,
    kFindUser,
    kGetState,
    kSetState,
    kNoAddAddressBook,
    kYesAddAddressBook,
    kRemoveAddressBook,
    kInvite,
    kLeave,
    kWriting,
};

enum class ClientKeyword {
    kLogin,
    kAddNewUser,
    kAddressBook,
    kSetState,
    kMessage,
    kDoAddAddressBook,
    kNoAddAddressBook,
    kYesAddAddressBook,
    kDelAddressBook,
    kAskAddressBook,
    kInvite,
    kLeave,
    kWriting,
    kBroadcast,
};

template <typename Keyword>
struct KeywordTest {
    std::string_view text;
    Keyword keyword;
};

// The keyword tests in the order each side runs them.
std::span<const KeywordTest<ServerKeyword>> ServerKeywordOrder();
std::span<const KeywordTest<ClientKeyword>> ClientKeywordOrder();

// Runs every test of the side's order on `command`; returns the match, if any.
std::optional<ServerKeyword> RecognizeServerCommand(std::string_view command);
std::optional<ClientKeyword> RecognizeClientCommand(std::string_view command);

// ---------------------------------------------------------------------------
// Small helpers shared by parsers.

// Items of a separated list, stopping at the first empty item ("a!b!" -> a, b).
std::vector<std::string_view> SplitList(std::string_view list, char separator = '!');
// Joins items with `separator` between them (no trailing separator).
std::string JoinList(std::span<const std::string> items, char separator = '!');
// Strict decimal (optional '-', at least one digit, nothing else).
std::optional<int> ParseDecimal(std::string_view digits);
// Longest prefix of `text` of at most `max_bytes` that does not split a UTF-8
// sequence.
std::string_view CutUtf8(std::string_view text, size_t max_bytes);

// ---------------------------------------------------------------------------
// Record text: "%d:%d:%d:%d:%d:" then compressed login, compressed password,
// first name, last name, e-mail, back to back.

struct RecordView {
    std::string_view login_blob;
    std::string_view password_blob;
    std::string_view first_name;
    std::string_view last_name;
    std::string_view email;
    // login_blob followed by password_blob, contiguous in the record text.
    std::string_view credentials;
};

std::string FormatRecordText(std::string_view login_blob, std::string_view password_blob,
                             std::string_view first_name, std::string_view last_name,
                             std::string_view email);
// Refuses a record whose header is not five decimal lengths, whose lengths do
// not add up to the bytes present, or whose field exceeds 8183 bytes.
std::optional<RecordView> ParseRecordText(std::string_view record);

// ---------------------------------------------------------------------------
// Client -> server.

struct ConnectView {
    std::string_view computer;
    std::string_view login_blob;
    std::string_view password_blob;
    std::string_view credentials;  // login_blob + password_blob, contiguous
};
std::string FormatConnect(std::string_view computer, std::string_view login_blob,
                          std::string_view password_blob);
std::optional<ConnectView> ParseConnect(std::string_view command);

std::string FormatAddNewUser(std::string_view record_text);
// The record text of an AddNewUser command (everything after "AddNewUser:").
std::optional<std::string_view> AddNewUserRecord(std::string_view command);

struct MessageView {
    std::string_view sender;
    std::vector<std::string_view> participants;
    std::string_view text;  // exactly the announced byte count
};
std::string FormatMessage(std::string_view sender, std::span<const std::string> participants,
                          std::string_view text);
// Refuses a negative or oversized count, participants that run past the
// command, and a text length beyond the bytes present.
std::optional<MessageView> ParseMessage(std::string_view command);
// The same into `view`, whose participant list keeps its capacity from one
// message to the next (the relay parses every message); false as above.
bool ParseMessage(std::string_view command, MessageView& view);

struct FindUserCriteria {
    std::string_view login;
    std::string_view first_name;
    std::string_view last_name;
    std::string_view email;
};
std::string FormatFindUser(std::string_view login, std::string_view first_name,
                           std::string_view last_name, std::string_view email);
std::optional<FindUserCriteria> ParseFindUser(std::string_view command);

// "Writing:%s:%d:" followed by each participant and "!".
std::string FormatWritingRequest(std::string_view login, int flag,
                                 std::span<const std::string> participants);
// "Writing:%s:%d:%s", the server's relay.
std::string FormatWritingRelay(std::string_view login, int flag, std::string_view list);
struct WritingView {
    std::string_view login;
    int flag = 0;
    std::string_view list;
};
WritingView ParseWriting(std::string_view command);

std::string FormatSetStateRequest(std::string_view login, int code);
// The code of a SetState request (atoi of field 3, as the server reads it).
int SetStateRequestCode(std::string_view command);

// "GetState:" + login; the server reads the login after the first nine bytes.
std::string FormatGetState(std::string_view login);
std::string_view GetStateLogin(std::string_view command);
std::string FormatStateOfLogin(std::string_view login, int code);  // "%s:%d"

// "Keyword:%s:%s", used by Invite and Leave in both directions.
std::string FormatInvite(std::string_view login, std::string_view list);
std::string FormatLeave(std::string_view login, std::string_view list);
struct LoginAndList {
    std::string_view login;
    std::string_view list;
};
LoginAndList ParseLoginAndList(std::string_view command);

// "Keyword:%s" with one login or text.
std::string FormatWithText(std::string_view keyword, std::string_view text);
// Field 2 of a command (separator ':').
std::string_view SecondField(std::string_view command);

// ---------------------------------------------------------------------------
// Server -> client.

// An answer made of a fixed start and separated entries that must stay a
// text every receiver accepts: entries are kept while they fit whole within
// `limit` bytes; from the first one that does not, every later entry is
// counted as left out (the answer is cut, never thinned).
class BoundedList {
  public:
    explicit BoundedList(std::string_view start, char separator,
                         size_t limit = static_cast<size_t>(kMaxFrameBytes));

    // Appends `entry` (after a separator unless it is the first); false once
    // the list is cut.
    bool Add(std::string_view entry);
    const std::string& Text() const { return text_; }
    size_t Kept() const { return kept_; }
    size_t LeftOut() const { return left_out_; }

  private:
    std::string text_;
    char separator_;
    size_t limit_;
    size_t kept_ = 0;
    size_t left_out_ = 0;
};

std::string FormatBroadcast(std::string_view message);  // cut at 1023 bytes, UTF-8 safe

// An account's fields, as the dialogs fill them and the lists show them. The
// password is plain, and set only where an account is being created or
// changed; rows of account lists and search criteria leave it empty.
struct AccountFields {
    std::string login;
    std::string password;
    std::string first_name;
    std::string last_name;
    std::string email;
    bool operator==(const AccountFields&) const = default;
};

// "login!first!last!email", an account entry of AddressBook and FindUser answers.
std::string FormatAccountEntry(std::string_view login, std::string_view first_name,
                               std::string_view last_name, std::string_view email);
struct AccountEntryView {
    std::string_view login;
    std::string_view first_name;
    std::string_view last_name;
    std::string_view email;
};
// Entries of "AddressBook:" or "FindUser:" answers, in order, stopping at the
// first empty entry; an entry without '!' has only a login.
std::vector<AccountEntryView> ParseAccountEntries(std::string_view answer);
// The entry's four fields as owned values (no password).
AccountFields ToAccountFields(const AccountEntryView& entry);

struct StateEntryView {
    std::string_view login;
    int code = 0;
};
// Entries of a "SetState!" answer.
std::vector<StateEntryView> ParseStateEntries(std::string_view answer);

// ---------------------------------------------------------------------------
// Server -> client, beyond the commands every client knows. No known keyword
// is a prefix of these nor has one as its prefix, so a client that knows
// only the others ignores them.
namespace keyword {
// "KeptMessage:<ms since 1970>:" then a whole "Message" command: a message
// kept while its receiver was offline, with the time the server got it.
inline constexpr std::string_view kKeptMessage = "KeptMessage";
// "Absent:<login>:<1 kept, 0 not kept>:<participants joined by '!'>": tells
// the sender of a message that one participant is offline.
inline constexpr std::string_view kAbsent = "Absent";
}  // namespace keyword

std::string FormatKeptMessage(std::int64_t sent_ms, std::string_view message_command);
struct KeptMessageView {
    std::int64_t sent_ms = 0;
    std::string_view message_command;
};
std::optional<KeptMessageView> ParseKeptMessage(std::string_view command);

std::string FormatAbsent(std::string_view login, bool kept, std::string_view list);
struct AbsentView {
    std::string_view login;
    bool kept = false;
    std::string_view list;
};
std::optional<AbsentView> ParseAbsent(std::string_view command);

}  // namespace parlo
