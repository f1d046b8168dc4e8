// The administration requests on the local control socket: one line per
// request, fields separated by tabs; the answer is zero or more row lines
// ("=" then tab-separated fields) and one last line, "ok" or "err", a tab
// and a French sentence. '%', tab, CR and LF inside a field travel as %25,
// %09, %0D and %0A.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace parlo::server {

// Where the packaged service listens (its runtime directory).
inline constexpr char kDefaultControlSocket[] = "/run/parlomatic/control";
// Longest request or answer line accepted.
inline constexpr size_t kMaxControlLineBytes = 64 * 1024;
// The group whose members may administer the server (root always may).
inline constexpr char kAdminGroup[] = "parlomatic-admin";

// The fields as one line, with its final line feed.
std::string JoinControlFields(std::span<const std::string> fields);
// The fields of one line (without its line feed); nothing when an escape is
// malformed.
std::optional<std::vector<std::string>> SplitControlLine(std::string_view line);

struct ControlAnswer {
    std::vector<std::vector<std::string>> rows;
    bool ok = false;
    std::string message;
};

std::string FormatControlAnswer(const ControlAnswer& answer);

}  // namespace parlo::server
