// Drives a ServerCore through fake connections in a temporary directory,
// with a fixed clock (09:05:07 UTC), and decodes what each client received.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "protocol/codec.h"
#include "protocol/commands.h"
#include "server/core/server_core.h"
#include "tests/server_core/fake_connection.h"
#include "tests/support/process.h"

namespace parlo::server::testing {

inline constexpr std::time_t kNineFiveSeven = 9 * 3600 + 5 * 60 + 7;

class RecordingEvents : public ServerEvents {
  public:
    void OnLogLine(std::string_view line) override { lines.emplace_back(line); }
    void OnRowsChanged() override { ++rows_changed; }
    void OnSaveAbandoned() override { ++saves_abandoned; }

    // Log messages without their time stamps.
    std::vector<std::string> Messages() const {
        std::vector<std::string> out;
        for (const std::string& line : lines) {
            out.push_back(line.substr(LogTimeStamp(0).size()));
        }
        return out;
    }
    bool Logged(std::string_view message) const {
        const auto messages = Messages();
        return std::find(messages.begin(), messages.end(), message) != messages.end();
    }

    std::vector<std::string> lines;
    int rows_changed = 0;
    int saves_abandoned = 0;
};

inline std::string Blob(std::string_view text) {
    std::string out;
    EXPECT_TRUE(Compress(text, out));
    return out;
}

inline std::string Record(std::string_view login, std::string_view password = "pw",
                          std::string_view first = "Prénom", std::string_view last = "Nom",
                          std::string_view email = "x@y.fr") {
    return FormatRecordText(Blob(login), Blob(password), first, last, email);
}

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class CoreTest : public ::testing::Test {
  protected:
    ~CoreTest() override { core_.reset(); }  // before its directory goes

    ServerCore& Core() {
        if (!core_) {
            ServerOptions options;
            options.directory = dir_;
            options.clock = [] { return kNineFiveSeven; };
            options.broadcast = broadcast_;
            options.state_list_delay_ms = state_list_delay_ms_;
            options.steady_ms = [this] { return now_ms_; };
            core_ = std::make_unique<ServerCore>(std::move(options), events_);
            core_->Start();
        }
        return *core_;
    }
    // Closes the server as the console would (saving the database).
    void Stop() {
        core_->Shutdown();
        core_.reset();
    }
    void Restart() {
        Stop();
        Core();
    }

    // A new accepted connection.
    FakeConnection& Accept(std::string ip = "10.0.0.1", uint16_t port = 4000) {
        connections_.push_back(std::make_unique<FakeConnection>());
        Core().OnAccepted(*connections_.back(), ip, port);
        return *connections_.back();
    }
    void Send(FakeConnection& c, std::string_view command) {
        std::string frame;
        ASSERT_TRUE(AppendCommandFrame(frame, command));
        Core().OnBytes(c, frame);
    }
    void Close(FakeConnection& c) { Core().OnClosed(c); }
    // Lets `ms` pass on the steady clock and runs what became due.
    void Advance(int64_t ms) {
        now_ms_ += ms;
        Core().RunTimers();
    }

    // The first command received that starts with `prefix` (empty if none).
    static std::string First(FakeConnection& c, std::string_view prefix) {
        for (const std::string& command : c.Take()) {
            if (command.starts_with(prefix)) {
                return command;
            }
        }
        return {};
    }

    void Register(FakeConnection& c, std::string_view login, std::string_view password = "pw") {
        Send(c, FormatAddNewUser(Record(login, password)));
    }
    void Login(FakeConnection& c, std::string_view login, std::string_view password = "pw") {
        Send(c, FormatConnect("PC-" + std::string(login), Blob(login), Blob(password)));
    }
    // A registered, logged-in connection with nothing left to read.
    FakeConnection& Online(std::string_view login, std::string ip = "10.0.0.1") {
        FakeConnection& c = Accept(ip);
        if (Core().Users().FindFirstByLogin(login) == nullptr) {
            Register(c, login);
        }
        Login(c, login);
        c.Take();
        return c;
    }
    // Makes two accounts contacts of each other (both must exist).
    void MakeContacts(std::string_view a, std::string_view b) {
        Core().Users().FindFirstByLogin(a)->AppendContact(b);
        Core().Users().FindFirstByLogin(b)->AppendContact(a);
        Core().AccountsChanged();
    }

    // Set before the first Core() call.
    BroadcastMode broadcast_ = BroadcastMode::kChanges;
    int64_t state_list_delay_ms_ = 0;
    parlo::testing::ScratchDirectory scratch_;
    const std::filesystem::path& dir_ = scratch_.Path();
    RecordingEvents events_;
    int64_t now_ms_ = 1'000'000;
    std::unique_ptr<ServerCore> core_;
    std::vector<std::unique_ptr<FakeConnection>> connections_;
};

}  // namespace parlo::server::testing
