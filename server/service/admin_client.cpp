#include "server/service/admin_client.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <vector>

#include "server/service/control_protocol.h"

namespace parlo::server {
namespace {

// The terminal's settings while echo is off, for the interrupt handler.
termios g_saved_terminal{};

// Ctrl+C at the hidden prompt: the terminal gets its echo back, then the
// interrupt ends the program as usual.
void RestoreTerminalAndStop(int signal) {
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_saved_terminal);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Terminal echo off for as long as this lives.
class EchoOff {
  public:
    EchoOff() {
        if (tcgetattr(STDIN_FILENO, &g_saved_terminal) == 0) {
            termios quiet = g_saved_terminal;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            previous_interrupt_ = std::signal(SIGINT, RestoreTerminalAndStop);
            previous_termination_ = std::signal(SIGTERM, RestoreTerminalAndStop);
            active_ = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
        }
    }
    ~EchoOff() {
        if (active_) {
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_saved_terminal);
            std::signal(SIGINT, previous_interrupt_);
            std::signal(SIGTERM, previous_termination_);
            std::fputc('\n', stderr);  // the Enter that was not echoed
        }
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

  private:
    void (*previous_interrupt_)(int) = SIG_DFL;
    void (*previous_termination_)(int) = SIG_DFL;
    bool active_ = false;
};

// One line: asked on the terminal (hidden when `secret`), or read from
// standard input; nothing at the end of the input.
std::optional<std::string> ReadField(const char* prompt, bool secret) {
    const bool terminal = isatty(STDIN_FILENO) != 0;
    if (terminal) {
        std::fputs(prompt, stderr);
        std::fflush(stderr);
    }
    std::optional<EchoOff> echo_off;
    if (terminal && secret) {
        echo_off.emplace();
    }
    std::string line;
    if (!std::getline(std::cin, line)) {
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

// A new password, typed twice on a terminal.
std::optional<std::string> ReadNewPassword(std::string& error) {
    std::optional<std::string> password = ReadField("Mot de passe : ", true);
    if (!password) {
        error = "Mot de passe manquant";
        return std::nullopt;
    }
    if (isatty(STDIN_FILENO) != 0) {
        const std::optional<std::string> again = ReadField("Confirmez le mot de passe : ", true);
        if (!again || *again != *password) {
            error = "Les deux mots de passe diffèrent : rien n'est changé";
            return std::nullopt;
        }
    }
    return password;
}

// The request fields of the command line; nothing, with `error` set, when
// it is not a valid command.
std::optional<std::vector<std::string>> BuildRequest(std::span<const std::string> words,
                                                     std::string& error, bool& usage) {
    usage = true;
    if (words.empty()) {
        error = "commande manquante";
        return std::nullopt;
    }
    const std::string& command = words[0];
    std::vector<std::string> positional;
    std::string names[3];  // first name, last name, e-mail given as options
    static constexpr const char* kNameOptions[] = {"--first-name", "--last-name", "--email"};
    for (size_t i = 1; i < words.size(); ++i) {
        bool option = false;
        for (size_t n = 0; n < 3; ++n) {
            if (words[i] == kNameOptions[n] && command == "add" && i + 1 < words.size()) {
                names[n] = words[++i];
                option = true;
            }
        }
        if (!option) {
            positional.push_back(words[i]);
        }
    }
    const auto expect = [&](size_t count) {
        if (positional.size() != count) {
            error = "nombre d'arguments incorrect pour " + command;
            return false;
        }
        return true;
    };
    std::vector<std::string> request{command};
    if (command == "list" || command == "who") {
        if (!expect(0)) {
            return std::nullopt;
        }
    } else if (command == "delete") {
        if (!expect(1)) {
            return std::nullopt;
        }
        request.push_back(positional[0]);
    } else if (command == "broadcast") {
        // The words of an unquoted message make one text.
        std::string text;
        for (const std::string& word : positional) {
            text.append(text.empty() ? "" : " ").append(word);
        }
        request.push_back(text);
    } else if (command == "passwd" || command == "add") {
        if (!expect(1)) {
            return std::nullopt;
        }
        usage = false;
        request.push_back(positional[0]);
        std::optional<std::string> password = ReadNewPassword(error);
        if (!password) {
            return std::nullopt;
        }
        request.push_back(*password);
        if (command == "add") {
            static constexpr const char* kPrompts[] = {"Prénom : ", "Nom : ", "Email : "};
            for (size_t n = 0; n < 3; ++n) {
                if (names[n].empty()) {
                    names[n] = ReadField(kPrompts[n], false).value_or(std::string());
                }
                request.push_back(names[n]);
            }
        }
    } else {
        error = "commande inconnue : " + command;
        return std::nullopt;
    }
    return request;
}

// Sends `request` and reads the whole answer; nothing, with `error` set,
// when the server cannot be reached.
std::optional<std::string> Exchange(const std::filesystem::path& socket_path,
                                    const std::string& request, std::string& error) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socket_path.native().size() >= sizeof address.sun_path) {
        error = "chemin trop long : " + socket_path.string();
        return std::nullopt;
    }
    std::strncpy(address.sun_path, socket_path.c_str(), sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = "Server injoignable sur " + socket_path.string() + " : " + std::strerror(errno);
        if (fd >= 0) {
            ::close(fd);
        }
        return std::nullopt;
    }
    size_t sent = 0;
    while (sent < request.size()) {
        const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;  // the server may have answered already (a refusal)
        }
        sent += static_cast<size_t>(n);
    }
    std::string answer;
    char chunk[4096];
    while (answer.size() <= kMaxControlLineBytes * 64) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        answer.append(chunk, static_cast<size_t>(n));
    }
    ::close(fd);
    return answer;
}

}  // namespace

int RunAdminCommand(const std::filesystem::path& socket, std::span<const std::string> words) {
    std::string error;
    bool usage = false;
    const std::optional<std::vector<std::string>> request = BuildRequest(words, error, usage);
    if (!request) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return usage ? 2 : 1;
    }
    const std::optional<std::string> answer = Exchange(socket, JoinControlFields(*request), error);
    if (!answer) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    size_t start = 0;
    while (start < answer->size()) {
        size_t end = answer->find('\n', start);
        if (end == std::string::npos) {
            break;
        }
        const std::optional<std::vector<std::string>> fields =
            SplitControlLine(std::string_view(*answer).substr(start, end - start));
        start = end + 1;
        if (!fields || fields->empty()) {
            break;
        }
        const std::string& head = (*fields)[0];
        if (head == "=") {
            std::string row;
            for (size_t k = 1; k < fields->size(); ++k) {
                row.append(k > 1 ? "\t" : "").append((*fields)[k]);
            }
            std::printf("%s\n", row.c_str());
        } else if ((head == "ok" || head == "err") && fields->size() == 2) {
            std::fprintf(head == "ok" ? stdout : stderr, "%s\n", (*fields)[1].c_str());
            return head == "ok" ? 0 : 1;
        }
    }
    std::fprintf(stderr, "Réponse du Server incomplète\n");
    return 1;
}

std::string AdminUsage(std::string_view program) {
    const std::string name(program);
    return "       " + name + " [--control PATH] --admin list|who\n" +  //
           "       " + name + " [--control PATH] --admin add LOGIN" +
           " [--first-name P] [--last-name N] [--email E]\n" +  //
           "       " + name + " [--control PATH] --admin passwd|delete LOGIN\n" + "       " + name +
           " [--control PATH] --admin broadcast TEXT\n";
}

}  // namespace parlo::server
