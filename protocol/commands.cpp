#include "protocol/commands.h"

#include <array>
#include <charconv>
#include <cstdlib>

#include "protocol/field_string.h"

namespace parlo {

namespace {

constexpr std::array<KeywordTest<ServerKeyword>, 15> kServerOrder{{
    {keyword::kConnect, ServerKeyword::kConnect},
    {keyword::kAddNewUser, ServerKeyword::kAddNewUser},
    {keyword::kAddressBook, ServerKeyword::kAddressBook},
    {keyword::kGetAllState, ServerKeyword::kGetAllState},
    {keyword::kDoAddAddressBook, ServerKeyword::kDoAddAddressBook},
    {keyword::kMessage, ServerKeyword::kMessage},
    {keyword::kFindUser, ServerKeyword::kFindUser},
    {keyword::kGetState, ServerKeyword::kGetState},
    {keyword::kSetState, ServerKeyword::kSetState},
    {keyword::kNoAddAddressBook, ServerKeyword::kNoAddAddressBook},
    {keyword::kYesAddAddressBook, ServerKeyword::kYesAddAddressBook},
    {keyword::kRemoveAddressBook, ServerKeyword::kRemoveAddressBook},
    {keyword::kInvite, ServerKeyword::kInvite},
    {keyword::kLeave, ServerKeyword::kLeave},
    {keyword::kWriting, ServerKeyword::kWriting},
}};

constexpr std::array<KeywordTest<ClientKeyword>, 14> kClientOrder{{
    {keyword::kLogin, ClientKeyword::kLogin},
    {keyword::kAddNewUser, ClientKeyword::kAddNewUser},
    {keyword::kAddressBook, ClientKeyword::kAddressBook},
    {keyword::kSetState, ClientKeyword::kSetState},
    {keyword::kMessage, ClientKeyword::kMessage},
    {keyword::kDoAddAddressBook, ClientKeyword::kDoAddAddressBook},
    {keyword::kNoAddAddressBook, ClientKeyword::kNoAddAddressBook},
    {keyword::kYesAddAddressBook, ClientKeyword::kYesAddAddressBook},
    {keyword::kDelAddressBook, ClientKeyword::kDelAddressBook},
    {keyword::kAskAddressBook, ClientKeyword::kAskAddressBook},
    {keyword::kInvite, ClientKeyword::kInvite},
    {keyword::kLeave, ClientKeyword::kLeave},
    {keyword::kWriting, ClientKeyword::kWriting},
    {keyword::kBroadcast, ClientKeyword::kBroadcast},
}};

template <typename Keyword, size_t N>
std::optional<Keyword> Recognize(const std::array<KeywordTest<Keyword>, N>& order,
                                 std::string_view command) {
    // A later test overrides an earlier one: the last that matches wins, so
    // the search starts from the end and stops at the first match.
    for (auto test = order.rbegin(); test != order.rend(); ++test) {
        if (command.starts_with(test->text)) {
            return test->keyword;
        }
    }
    return std::nullopt;
}

void AppendNumber(std::string& out, long long value) {
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, end);
}

// Reads the text up to the next ':' starting at `pos`; advances past it.
// Returns nothing when no ':' follows.
std::optional<std::string_view> TakeField(std::string_view text, size_t& pos) {
    const size_t colon = text.find(':', pos);
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view field = text.substr(pos, colon - pos);
    pos = colon + 1;
    return field;
}

std::optional<size_t> TakeLength(std::string_view text, size_t& pos) {
    const auto field = TakeField(text, pos);
    if (!field) {
        return std::nullopt;
    }
    const auto value = ParseDecimal(*field);
    if (!value || *value < 0) {
        return std::nullopt;
    }
    return static_cast<size_t>(*value);
}

}  // namespace

std::string_view StateLogName(int code) {
    switch (code) {
        case kStateOnline:
            return "en ligne";
        case kStateOffline:
            return "deconnecté";
        case kStateInactive:
            return "inactif";
        case kStateAway:
            return "absent";
        case kStateConnecting:
            return "connection";
        case kStateStartup:
        case kStateExit:
            return "";
        default:
            return "inconnu";
    }
}

std::span<const KeywordTest<ServerKeyword>> ServerKeywordOrder() {
    return kServerOrder;
}
std::span<const KeywordTest<ClientKeyword>> ClientKeywordOrder() {
    return kClientOrder;
}

std::optional<ServerKeyword> RecognizeServerCommand(std::string_view command) {
    return Recognize(kServerOrder, command);
}

std::optional<ClientKeyword> RecognizeClientCommand(std::string_view command) {
    return Recognize(kClientOrder, command);
}

std::vector<std::string_view> SplitList(std::string_view list, char separator) {
    std::vector<std::string_view> items;
    for (int k = 1;; ++k) {
        const std::string_view item = FieldView(list, k, separator);
        if (item.empty()) {
            break;
        }
        items.push_back(item);
    }
    return items;
}

std::string JoinList(std::span<const std::string> items, char separator) {
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) {
            out.push_back(separator);
        }
        out += items[i];
    }
    return out;
}

std::optional<int> ParseDecimal(std::string_view digits) {
    int value = 0;
    if (digits.empty() || digits.front() == '+') {
        return std::nullopt;
    }
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return value;
}

std::string_view CutUtf8(std::string_view text, size_t max_bytes) {
    if (text.size() <= max_bytes) {
        return text;
    }
    size_t cut = max_bytes;
    // Step back over continuation bytes so the cut lands on a sequence start.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return text.substr(0, cut);
}

std::string FormatRecordText(std::string_view login_blob, std::string_view password_blob,
                             std::string_view first_name, std::string_view last_name,
                             std::string_view email) {
    std::string out;
    for (std::string_view field : {login_blob, password_blob, first_name, last_name, email}) {
        AppendNumber(out, static_cast<long long>(field.size()));
        out.push_back(':');
    }
    out.append(login_blob).append(password_blob).append(first_name).append(last_name).append(email);
    return out;
}

std::optional<RecordView> ParseRecordText(std::string_view record) {
    size_t pos = 0;
    std::array<size_t, 5> lengths{};
    size_t total = 0;
    for (size_t& length : lengths) {
        const auto value = TakeLength(record, pos);
        if (!value || *value > kMaxRecordField) {
            return std::nullopt;
        }
        length = *value;
        total += length;
    }
    if (record.size() - pos != total) {
        return std::nullopt;
    }
    std::array<std::string_view, 5> fields;
    for (size_t i = 0; i < fields.size(); ++i) {
        fields[i] = record.substr(pos, lengths[i]);
        pos += lengths[i];
    }
    const size_t credentials_start = record.size() - total;
    return RecordView{fields[0], fields[1],
                      fields[2], fields[3],
                      fields[4], record.substr(credentials_start, lengths[0] + lengths[1])};
}

std::string FormatConnect(std::string_view computer, std::string_view login_blob,
                          std::string_view password_blob) {
    std::string out = "Connect:";
    out.append(computer).push_back(':');
    AppendNumber(out, static_cast<long long>(login_blob.size()));
    out.push_back(':');
    AppendNumber(out, static_cast<long long>(password_blob.size()));
    out.push_back(':');
    out.append(login_blob).append(password_blob);
    return out;
}

std::optional<ConnectView> ParseConnect(std::string_view command) {
    constexpr std::string_view kPrefix = "Connect:";
    if (!command.starts_with(kPrefix)) {
        return std::nullopt;
    }
    size_t pos = kPrefix.size();
    const auto computer = TakeField(command, pos);
    if (!computer) {
        return std::nullopt;
    }
    const auto login_length = TakeLength(command, pos);
    const auto password_length = login_length ? TakeLength(command, pos) : std::nullopt;
    if (!password_length) {
        return std::nullopt;
    }
    const size_t available = command.size() - pos;
    if (*login_length > available || *password_length > available - *login_length) {
        return std::nullopt;
    }
    const std::string_view credentials = command.substr(pos, *login_length + *password_length);
    return ConnectView{*computer, credentials.substr(0, *login_length),
                       credentials.substr(*login_length), credentials};
}

std::string FormatAddNewUser(std::string_view record_text) {
    std::string out = "AddNewUser:";
    out.append(record_text);
    return out;
}

std::optional<std::string_view> AddNewUserRecord(std::string_view command) {
    constexpr std::string_view kPrefix = "AddNewUser:";
    if (!command.starts_with(kPrefix)) {
        return std::nullopt;
    }
    return command.substr(kPrefix.size());
}

std::string FormatMessage(std::string_view sender, std::span<const std::string> participants,
                          std::string_view text) {
    std::string out = "Message:";
    AppendNumber(out, static_cast<long long>(text.size()));
    out.push_back(':');
    out.append(sender).push_back(':');
    AppendNumber(out, static_cast<long long>(participants.size()));
    out.push_back(':');
    for (const std::string& participant : participants) {
        out.append(participant).push_back(':');
    }
    out.append(text);
    return out;
}

bool ParseMessage(std::string_view command, MessageView& view) {
    constexpr std::string_view kPrefix = "Message:";
    if (!command.starts_with(kPrefix)) {
        return false;
    }
    size_t pos = kPrefix.size();
    const auto text_length = TakeLength(command, pos);
    const auto sender = text_length ? TakeField(command, pos) : std::nullopt;
    const auto count = sender ? TakeLength(command, pos) : std::nullopt;
    if (!count) {
        return false;
    }
    view.sender = *sender;
    // Each participant needs at least its ':', which bounds the count by the
    // bytes present before anything is reserved.
    if (*count > command.size() - pos) {
        return false;
    }
    view.participants.clear();
    view.participants.reserve(*count);
    for (size_t i = 0; i < *count; ++i) {
        const auto participant = TakeField(command, pos);
        if (!participant) {
            return false;
        }
        view.participants.push_back(*participant);
    }
    if (*text_length > command.size() - pos) {
        return false;
    }
    view.text = command.substr(pos, *text_length);
    return true;
}

std::optional<MessageView> ParseMessage(std::string_view command) {
    MessageView view;
    if (!ParseMessage(command, view)) {
        return std::nullopt;
    }
    return view;
}

std::string FormatFindUser(std::string_view login, std::string_view first_name,
                           std::string_view last_name, std::string_view email) {
    std::string out = "FindUser:";
    for (std::string_view field : {login, first_name, last_name, email}) {
        AppendNumber(out, static_cast<long long>(field.size()));
        out.push_back(':');
    }
    out.append(login).append(first_name).append(last_name).append(email);
    return out;
}

std::optional<FindUserCriteria> ParseFindUser(std::string_view command) {
    constexpr std::string_view kPrefix = "FindUser:";
    if (!command.starts_with(kPrefix)) {
        return std::nullopt;
    }
    size_t pos = kPrefix.size();
    std::array<size_t, 4> lengths{};
    for (size_t& length : lengths) {
        const auto value = TakeLength(command, pos);
        if (!value) {
            return std::nullopt;
        }
        length = *value;
    }
    // The criteria are cut from the end; the login criterion is whatever lies
    // between the header and the first-name criterion (its length is unused).
    std::string_view rest = command.substr(pos);
    const size_t tail = lengths[1] + lengths[2] + lengths[3];
    if (lengths[1] > rest.size() || lengths[2] > rest.size() || lengths[3] > rest.size() ||
        tail > rest.size()) {
        return std::nullopt;
    }
    FindUserCriteria criteria;
    criteria.email = rest.substr(rest.size() - lengths[3]);
    rest.remove_suffix(lengths[3]);
    criteria.last_name = rest.substr(rest.size() - lengths[2]);
    rest.remove_suffix(lengths[2]);
    criteria.first_name = rest.substr(rest.size() - lengths[1]);
    rest.remove_suffix(lengths[1]);
    criteria.login = rest;
    return criteria;
}

std::string FormatWritingRequest(std::string_view login, int flag,
                                 std::span<const std::string> participants) {
    std::string out = "Writing:";
    out.append(login).push_back(':');
    AppendNumber(out, flag);
    out.push_back(':');
    for (const std::string& participant : participants) {
        out.append(participant).push_back('!');
    }
    return out;
}

std::string FormatWritingRelay(std::string_view login, int flag, std::string_view list) {
    std::string out = "Writing:";
    out.append(login).push_back(':');
    AppendNumber(out, flag);
    out.push_back(':');
    out.append(list);
    return out;
}

WritingView ParseWriting(std::string_view command) {
    WritingView view;
    view.login = FieldView(command, 2, ':');
    view.flag = std::atoi(std::string(FieldView(command, 3, ':')).c_str());
    view.list = FieldView(command, 4, ':');
    return view;
}

std::string FormatSetStateRequest(std::string_view login, int code) {
    std::string out = "SetState:";
    out.append(login).push_back(':');
    AppendNumber(out, code);
    return out;
}

int SetStateRequestCode(std::string_view command) {
    return std::atoi(std::string(FieldView(command, 3, ':')).c_str());
}

std::string FormatGetState(std::string_view login) {
    return FormatWithText(keyword::kGetState, login);
}

std::string_view GetStateLogin(std::string_view command) {
    constexpr size_t kSkip = 9;  // "GetState:"
    return command.size() > kSkip ? command.substr(kSkip) : std::string_view();
}

std::string FormatStateOfLogin(std::string_view login, int code) {
    std::string out(login);
    out.push_back(':');
    AppendNumber(out, code);
    return out;
}

std::string FormatInvite(std::string_view login, std::string_view list) {
    std::string out = FormatWithText(keyword::kInvite, login);
    out.append(":").append(list);
    return out;
}

std::string FormatLeave(std::string_view login, std::string_view list) {
    std::string out = FormatWithText(keyword::kLeave, login);
    out.append(":").append(list);
    return out;
}

LoginAndList ParseLoginAndList(std::string_view command) {
    return {FieldView(command, 2, ':'), FieldView(command, 3, ':')};
}

std::string FormatWithText(std::string_view keyword, std::string_view text) {
    std::string out(keyword);
    out.push_back(':');
    out.append(text);
    return out;
}

std::string_view SecondField(std::string_view command) {
    return FieldView(command, 2, ':');
}

std::string FormatBroadcast(std::string_view message) {
    return std::string(CutUtf8(FormatWithText(keyword::kBroadcast, message), kMaxBroadcastBytes));
}

BoundedList::BoundedList(std::string_view start, char separator, size_t limit)
    : text_(start), separator_(separator), limit_(limit) {}

bool BoundedList::Add(std::string_view entry) {
    const size_t needed = entry.size() + (kept_ > 0 ? 1 : 0);
    if (left_out_ > 0 || text_.size() + needed > limit_) {
        ++left_out_;
        return false;
    }
    if (kept_ > 0) {
        text_.push_back(separator_);
    }
    text_.append(entry);
    ++kept_;
    return true;
}

std::string FormatAccountEntry(std::string_view login, std::string_view first_name,
                               std::string_view last_name, std::string_view email) {
    std::string out(login);
    out.append("!").append(first_name).append("!").append(last_name).append("!").append(email);
    return out;
}

std::vector<AccountEntryView> ParseAccountEntries(std::string_view answer) {
    std::vector<AccountEntryView> entries;
    for (int k = 2;; ++k) {
        const std::string_view entry = FieldView(answer, k, ':');
        if (entry.empty()) {
            break;
        }
        entries.push_back({FieldView(entry, 1, '!'), FieldView(entry, 2, '!'),
                           FieldView(entry, 3, '!'), FieldView(entry, 4, '!')});
    }
    return entries;
}

std::vector<StateEntryView> ParseStateEntries(std::string_view answer) {
    std::vector<StateEntryView> entries;
    for (int k = 2;; ++k) {
        const std::string_view entry = FieldView(answer, k, '!');
        if (entry.empty()) {
            break;
        }
        entries.push_back(
            {FieldView(entry, 1, ':'), std::atoi(std::string(FieldView(entry, 2, ':')).c_str())});
    }
    return entries;
}

AccountFields ToAccountFields(const AccountEntryView& entry) {
    return {.login = std::string(entry.login),
            .password = {},
            .first_name = std::string(entry.first_name),
            .last_name = std::string(entry.last_name),
            .email = std::string(entry.email)};
}

std::string FormatKeptMessage(std::int64_t sent_ms, std::string_view message_command) {
    std::string out = FormatWithText(keyword::kKeptMessage, std::to_string(sent_ms));
    out.push_back(':');
    out.append(message_command);
    return out;
}

std::optional<KeptMessageView> ParseKeptMessage(std::string_view command) {
    const std::string_view start = keyword::kKeptMessage;
    if (!command.starts_with(start) || command.size() <= start.size() ||
        command[start.size()] != ':') {
        return std::nullopt;
    }
    const std::string_view stamp = FieldView(command, 2, ':');
    const size_t inner = start.size() + 1 + stamp.size() + 1;
    if (stamp.empty() || stamp.size() > 18 || inner > command.size() ||
        stamp.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    return KeptMessageView{std::stoll(std::string(stamp)), command.substr(inner)};
}

std::string FormatAbsent(std::string_view login, bool kept, std::string_view list) {
    std::string out = FormatWithText(keyword::kAbsent, login);
    out.append(kept ? ":1:" : ":0:").append(list);
    return out;
}

std::optional<AbsentView> ParseAbsent(std::string_view command) {
    if (!command.starts_with(FormatWithText(keyword::kAbsent, ""))) {
        return std::nullopt;
    }
    const std::string_view login = FieldView(command, 2, ':');
    const std::string_view kept = FieldView(command, 3, ':');
    if (login.empty() || (kept != "0" && kept != "1")) {
        return std::nullopt;
    }
    return AbsentView{login, kept == "1", FieldView(command, 4, ':')};
}

}  // namespace parlo
