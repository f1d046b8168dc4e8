// One Parlomatic under the offscreen platform, worked through its widgets:
// parlo-client-driver (the real client start-up with a command channel, see
// widget_commands.h) in its own working directory with its own settings
// (XDG_CONFIG_HOME), so that several run side by side as separate users.
// The test program defines DRIVER_PATH.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "client/core/client_settings.h"
#include "tests/support/process.h"

namespace parlo::client::testing {

// Long enough for a loaded machine running every test under the sanitizers.
inline constexpr int kDrivenWaitMs = 20000;

class DrivenClient {
  public:
    // A first run: settings that name the server at 127.0.0.1:`port` with no
    // account yet, so the client starts with "Paramètres" open.
    // `prepare` may change those settings first (stored credentials log in
    // at the start).
    DrivenClient(const std::filesystem::path& root, const std::string& name, int port,
                 const std::function<void(ClientSettings&)>& prepare = nullptr);

    const std::string& Name() const { return name_; }
    // The answer to `command`: what follows "ok " (line feeds restored), or
    // the whole "error ..." line; "error no answer" when none came.
    std::string Ask(std::string_view command);
    // Runs an action; fails with the client's answer when it was refused.
    ::testing::AssertionResult Do(std::string_view command);
    // Asks `query` until its answer is `expected`, or satisfies `accept`.
    ::testing::AssertionResult WaitFor(std::string_view query, std::string_view expected,
                                       int ms = kDrivenWaitMs);
    ::testing::AssertionResult WaitUntil(std::string_view query,
                                         const std::function<bool(const std::string&)>& accept,
                                         int ms = kDrivenWaitMs);
    // Waits for the program's end; its exit code, or -1.
    int WaitForExit(int ms = kDrivenWaitMs);
    std::string Stderr() const { return process_.Stderr(); }

  private:
    std::string name_;
    parlo::testing::ChildProcess process_;
};

}  // namespace parlo::client::testing
