// "parlomatic-server --admin COMMAND ...": sends one administration request
// to a running server's control socket and prints its answer (rows on
// standard output, then one French line; a refusal on standard error).
#pragma once

#include <filesystem>
#include <span>
#include <string>

namespace parlo::server {

// `words` are the arguments after --admin. Passwords, and for "add" the
// names and e-mail not given as options, are read from the terminal (the
// password without echo) or, for scripts, as lines of standard input.
// Returns the exit status: 0 done, 1 refused or unreachable, 2 bad usage.
int RunAdminCommand(const std::filesystem::path& socket, std::span<const std::string> words);

// The usage lines of the administration commands.
std::string AdminUsage(std::string_view program);

}  // namespace parlo::server
