// Small text helpers the command handlers share.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace parlo::server {

inline std::string Joined(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (const std::string_view part : parts) {
        out.append(part);
    }
    return out;
}

// A text as far as its first NUL byte.
inline std::string_view UpToNul(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

}  // namespace parlo::server
