// ASCII-only letter case, as logins, computer names and commands are compared
// by both programs: bytes outside 'a'..'z' are left as they are.
#pragma once

#include <string_view>

namespace parlo {

// ASCII-only case folding, as logins are compared. Inline: every hash and
// comparison of a login runs it once per byte.
constexpr char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
bool EqualsNoCase(std::string_view a, std::string_view b);
// Byte order of the upper-cased texts: the one order of logins, computer
// names and every list sorted "letter case aside".
bool LessNoCase(std::string_view a, std::string_view b);
bool ContainsNoCase(std::string_view haystack, std::string_view needle);

}  // namespace parlo
