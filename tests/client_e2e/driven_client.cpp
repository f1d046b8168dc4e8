#include "tests/client_e2e/driven_client.h"

#include <sys/wait.h>

#include <QString>

#include <optional>

#include "protocol/codec.h"
#include "tests/support/qt_wait.h"

namespace parlo::client::testing {
namespace {

std::string Unescaped(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            out += text[++i] == 'n' ? '\n' : text[i];
        } else {
            out += text[i];
        }
    }
    return out;
}

// The last lines of a child's error output, for failure messages.
std::string Tail(const std::string& text, size_t bytes = 1500) {
    return text.size() <= bytes ? text : "..." + text.substr(text.size() - bytes);
}

}  // namespace

DrivenClient::DrivenClient(const std::filesystem::path& root, const std::string& name, int port,
                           const std::function<void(ClientSettings&)>& prepare)
    : name_(name) {
    const std::filesystem::path directory = root / name;
    const std::filesystem::path config = directory / "config";
    std::filesystem::create_directories(directory);
    // As ./run.sh writes them: the login stored is the empty one, compressed,
    // so that the server's address and port are read.
    ClientSettings settings;
    std::string empty_login;
    Compress("", empty_login);
    settings.credentials.login_blob = empty_login;
    settings.server_address = "127.0.0.1";
    settings.port = port;
    if (prepare) {
        prepare(settings);
    }
    SettingsStore(QString::fromStdString((config / "Parlomatic/Parlomatic.ini").string()))
        .Save(settings);
    process_.StartWithChannel(DRIVER_PATH, {}, directory,
                              {{"XDG_CONFIG_HOME", config.string()},
                               {"XDG_DATA_HOME", config.string()},
                               {"PARLOMATIC_TRACE", "1"}});
}

std::string DrivenClient::Ask(std::string_view command) {
    if (!process_.WriteLine(command)) {
        return "error not running";
    }
    const std::optional<std::string> answer = process_.ReadLine(kDrivenWaitMs);
    if (!answer) {
        return "error no answer";
    }
    if (*answer == "ok") {
        return {};
    }
    if (answer->rfind("ok ", 0) == 0) {
        return Unescaped(std::string_view(*answer).substr(3));
    }
    return *answer;
}

::testing::AssertionResult DrivenClient::Do(std::string_view command) {
    const std::string answer = Ask(command);
    if (answer.empty()) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << name_ << ": " << command << ": " << answer << "\n"
                                         << Tail(Stderr());
}

::testing::AssertionResult DrivenClient::WaitFor(std::string_view query, std::string_view expected,
                                                 int ms) {
    return WaitUntil(
               query, [&](const std::string& answer) { return answer == expected; }, ms)
           << "\n  expected: " << expected;
}

::testing::AssertionResult DrivenClient::WaitUntil(
    std::string_view query, const std::function<bool(const std::string&)>& accept, int ms) {
    std::string answer;
    if (parlo::testing::WaitUntil(
            [&] {
                answer = Ask(query);
                return accept(answer);
            },
            ms)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << name_ << ": " << query << " answers: " << answer
                                         << "\n  windows: " << Ask("windows") << "\n"
                                         << Tail(Stderr());
}

int DrivenClient::WaitForExit(int ms) {
    const int status = process_.WaitForExit(ms);
    return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace parlo::client::testing
