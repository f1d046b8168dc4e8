// Programs started by the end-to-end tests: any child process in a scratch
// working directory, and the headless Server on a free loopback port.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace parlo::testing {

// A port nobody listens on right now (the system's choice for port 0).
uint16_t FreePort();
// A blocking TCP connection to 127.0.0.1:port, or -1.
int ConnectTo(uint16_t port);
// The program named by the environment variable `variable`, else `fallback`
// (full-size runs point tests at another build, e.g. PARLO_SERVER).
std::string ProgramPath(const char* variable, std::string fallback);
// The whole content of a file ("" when it cannot be read).
std::string ReadFile(const std::filesystem::path& path);

// One child process. Its standard output and error go to stdout.txt and
// stderr.txt in its working directory, or, for a child started with a
// channel, its standard input and output are a line channel to this process.
// Killed (SIGKILL) when destroyed.
class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `program` with `args` in `directory`, with `env` added to (or
    // replacing in) the test's own environment. False when fork failed.
    bool Start(const std::string& program, const std::vector<std::string>& args,
               const std::filesystem::path& directory,
               const std::map<std::string, std::string>& env = {});
    // Starts like Start, with the child's standard input and output both
    // connected to this process (its standard error still goes to
    // stderr.txt): WriteLine and ReadLine talk to it.
    bool StartWithChannel(const std::string& program, const std::vector<std::string>& args,
                          const std::filesystem::path& directory,
                          const std::map<std::string, std::string>& env = {});
    // Writes `line` and a line feed to the child; false when it cannot read
    // any more.
    bool WriteLine(std::string_view line);
    // The next line the child wrote, without its line feed; none when `ms`
    // passed first or the child closed its output.
    std::optional<std::string> ReadLine(int ms = 5000);
    bool Running();
    // Sends `signal` and waits up to `ms`; the wait status, or -1 on timeout.
    int StopWith(int signal, int ms = 5000);
    // Waits up to `ms` for the exit; the wait status, or -1 on timeout.
    int WaitForExit(int ms = 5000);
    void Kill();
    pid_t Pid() const { return pid_; }
    const std::filesystem::path& Directory() const { return directory_; }
    std::string Stdout() const { return ReadFile(directory_ / "stdout.txt"); }
    std::string Stderr() const { return ReadFile(directory_ / "stderr.txt"); }

  private:
    bool Launch(const std::string& program, const std::vector<std::string>& args,
                const std::filesystem::path& directory,
                const std::map<std::string, std::string>& env, int channel);
    void CloseChannel();

    std::filesystem::path directory_;
    pid_t pid_ = -1;
    int status_ = 0;
    int channel_ = -1;    // this end of the child's standard input and output
    std::string unread_;  // what the child wrote after the last line read
};

// A unique scratch directory, removed with everything in it when destroyed.
class ScratchDirectory {
  public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// "Server --headless --port N" (plus `extra` arguments) in `directory`.
class ServerProcess {
  public:
    // `program` is the path of the Server binary.
    ServerProcess(std::string program, std::filesystem::path directory);

    // Starts on `port`; true once it accepts connections, false when it
    // exited first or did not answer within five seconds.
    bool Start(uint16_t port, const std::vector<std::string>& extra = {});
    // Starts on a free port, trying again when another program took it.
    bool StartOnFreePort(const std::vector<std::string>& extra = {});
    // Starts on free ports with an encrypted one too ("--tls-port"); true
    // once that one accepts connections.
    bool StartWithTls(const std::vector<std::string>& extra = {});
    // Runs the program to completion with `args`; its wait status.
    int RunToExit(const std::vector<std::string>& args);
    int StopWith(int signal, int ms = 5000) { return process_.StopWith(signal, ms); }
    void Kill() { process_.Kill(); }
    bool Running() { return process_.Running(); }

    uint16_t Port() const { return port_; }
    uint16_t TlsPort() const { return tls_port_; }
    pid_t Pid() const { return process_.Pid(); }
    const std::filesystem::path& Directory() const { return directory_; }
    std::string Stdout() const { return ReadFile(directory_ / "stdout.txt"); }
    std::string Stderr() const { return ReadFile(directory_ / "stderr.txt"); }

  private:
    bool Launch(uint16_t port, uint16_t ready_port, const std::vector<std::string>& extra);

    std::string program_;
    std::filesystem::path directory_;
    ChildProcess process_;
    uint16_t port_ = 0;
    uint16_t tls_port_ = 0;
};

}  // namespace parlo::testing
