#include "tests/support/process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace parlo::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

}  // namespace

std::string ProgramPath(const char* variable, std::string fallback) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0' ? std::string(value) : std::move(fallback);
}

uint16_t FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(0);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    socklen_t length = sizeof(address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

int ConnectTo(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(port);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// ---- ChildProcess ------------------------------------------------------------

ChildProcess::~ChildProcess() {
    Kill();
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args,
                         const fs::path& directory, const std::map<std::string, std::string>& env) {
    return Launch(program, args, directory, env, -1);
}

bool ChildProcess::StartWithChannel(const std::string& program,
                                    const std::vector<std::string>& args, const fs::path& directory,
                                    const std::map<std::string, std::string>& env) {
    int ends[2];
    // A socket rather than two pipes: writing to a child that ended fails
    // with an error (MSG_NOSIGNAL) instead of killing the test with SIGPIPE.
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        return false;
    }
    const bool started = Launch(program, args, directory, env, ends[1]);
    close(ends[1]);
    if (!started) {
        close(ends[0]);
        return false;
    }
    channel_ = ends[0];
    return true;
}

bool ChildProcess::WriteLine(std::string_view line) {
    std::string bytes(line);
    bytes += '\n';
    size_t sent = 0;
    while (channel_ >= 0 && sent < bytes.size()) {
        const ssize_t n = send(channel_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return channel_ >= 0;
}

std::optional<std::string> ChildProcess::ReadLine(int ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (channel_ >= 0) {
        if (const size_t end = unread_.find('\n'); end != std::string::npos) {
            std::string line = unread_.substr(0, end);
            unread_.erase(0, end + 1);
            return line;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return std::nullopt;
        }
        pollfd ready{channel_, POLLIN, 0};
        const int polled = poll(&ready, 1, static_cast<int>(left.count()));
        if (polled < 0 && errno == EINTR) {
            continue;
        }
        if (polled <= 0) {
            return std::nullopt;
        }
        char buffer[4096];
        const ssize_t n = recv(channel_, buffer, sizeof(buffer), 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return std::nullopt;  // the child closed its output or ended
        }
        unread_.append(buffer, static_cast<size_t>(n));
    }
    return std::nullopt;
}

void ChildProcess::CloseChannel() {
    if (channel_ >= 0) {
        close(channel_);
        channel_ = -1;
    }
    unread_.clear();
}

bool ChildProcess::Launch(const std::string& program, const std::vector<std::string>& args,
                          const fs::path& directory, const std::map<std::string, std::string>& env,
                          int channel) {
    Kill();
    directory_ = directory;
    // Everything the child needs is prepared before fork: only
    // async-signal-safe calls run between fork and exec.
    std::vector<std::string> storage{program};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : storage) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    std::map<std::string, std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string line = *entry;
        const size_t equals = line.find('=');
        if (equals != std::string::npos) {
            environment[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    for (const auto& [name, value] : env) {
        environment[name] = value;
    }
    std::vector<std::string> env_storage;
    for (const auto& [name, value] : environment) {
        env_storage.push_back(name + "=" + value);
    }
    std::vector<char*> envp;
    for (std::string& entry : env_storage) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    const std::string out_path = (directory / "stdout.txt").string();
    const std::string err_path = (directory / "stderr.txt").string();

    pid_ = fork();
    if (pid_ == 0) {
        if (chdir(directory.c_str()) != 0) {
            _exit(126);
        }
        const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (channel >= 0) {
            dup2(channel, STDIN_FILENO);
            dup2(channel, STDOUT_FILENO);
        } else {
            dup2(open(out_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644), STDOUT_FILENO);
        }
        dup2(err, STDERR_FILENO);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    return pid_ > 0;
}

bool ChildProcess::Running() {
    if (pid_ <= 0) {
        return false;
    }
    if (waitpid(pid_, &status_, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
    }
    return true;
}

int ChildProcess::WaitForExit(int ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < deadline) {
        if (!Running()) {
            return status_;
        }
        std::this_thread::sleep_for(5ms);
    }
    return -1;
}

int ChildProcess::StopWith(int signal, int ms) {
    if (pid_ <= 0) {
        return status_;
    }
    kill(pid_, signal);
    return WaitForExit(ms);
}

void ChildProcess::Kill() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
        pid_ = -1;
    }
    CloseChannel();
}

// ---- ScratchDirectory --------------------------------------------------------

ScratchDirectory::ScratchDirectory() {
    std::string pattern = (fs::temp_directory_path() / "parlo-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) {
        path_ = pattern;
    }
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

// ---- ServerProcess -----------------------------------------------------------

ServerProcess::ServerProcess(std::string program, fs::path directory)
    : program_(std::move(program)), directory_(std::move(directory)) {}

bool ServerProcess::Start(uint16_t port, const std::vector<std::string>& extra) {
    return Launch(port, port, extra);
}

bool ServerProcess::StartWithTls(const std::vector<std::string>& extra) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        tls_port_ = FreePort();
        std::vector<std::string> args{"--tls-port", std::to_string(tls_port_)};
        args.insert(args.end(), extra.begin(), extra.end());
        if (Launch(FreePort(), tls_port_, args)) {
            return true;
        }
        process_.Kill();
    }
    return false;
}

bool ServerProcess::Launch(uint16_t port, uint16_t ready_port,
                           const std::vector<std::string>& extra) {
    port_ = port;
    std::vector<std::string> args{"--headless", "--port", std::to_string(port)};
    args.insert(args.end(), extra.begin(), extra.end());
    if (!process_.Start(program_, args, directory_)) {
        return false;
    }
    const auto deadline = Clock::now() + 5s;
    while (Clock::now() < deadline) {
        if (const int fd = ConnectTo(ready_port); fd >= 0) {
            close(fd);
            return true;
        }
        if (!process_.Running()) {
            return false;
        }
        std::this_thread::sleep_for(5ms);
    }
    return false;
}

bool ServerProcess::StartOnFreePort(const std::vector<std::string>& extra) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (Start(FreePort(), extra)) {
            return true;
        }
        process_.Kill();
    }
    return false;
}

int ServerProcess::RunToExit(const std::vector<std::string>& args) {
    ChildProcess run;
    if (!run.Start(program_, args, directory_)) {
        return -1;
    }
    return run.WaitForExit(30000);
}

}  // namespace parlo::testing
