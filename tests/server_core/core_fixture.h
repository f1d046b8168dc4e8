// A real server core in a temporary directory, driven through fake
// connections that decode the frames they are sent.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "protocol/codec.h"
#include "protocol/commands.h"
#include "server/core/server_core.h"
#include "tests/server_core/fake_connection.h"

namespace parlo::server::testing {

class CoreFixture : public ::testing::Test, public ServerEvents {
  protected:
    CoreFixture() : directory_(MakeDirectory()), core_(ServerOptions{directory_}, *this) {
        core_.Start();
    }
    ~CoreFixture() override {
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }

    void OnLogLine(std::string_view line) override { log_.emplace_back(line); }

    // A connection that has sent nothing yet.
    FakeConnection& Accept(std::string_view ip, uint16_t port = 4000) {
        connections_.push_back(std::make_unique<FakeConnection>());
        core_.OnAccepted(*connections_.back(), ip, port);
        return *connections_.back();
    }

    void SendCommand(FakeConnection& connection, std::string_view command) {
        std::string frame;
        ASSERT_TRUE(AppendCommandFrame(frame, command));
        core_.OnBytes(connection, frame);
    }

    // Logs in and returns the "Login:" answer.
    std::string Login(FakeConnection& connection, std::string_view login, std::string_view password,
                      std::string_view computer = "PC") {
        std::string login_blob;
        std::string password_blob;
        EXPECT_TRUE(Compress(login, login_blob));
        EXPECT_TRUE(Compress(password, password_blob));
        connection.Take();
        SendCommand(connection, FormatConnect(computer, login_blob, password_blob));
        for (const std::string& answer : connection.Take()) {
            if (answer.starts_with("Login:")) {
                return answer;
            }
        }
        return {};
    }

    // Log entries ending with `message` (the time stamp aside).
    int Logged(std::string_view message) const {
        return static_cast<int>(std::count_if(log_.begin(), log_.end(), [&](const std::string& l) {
            return l.size() >= message.size() && l.ends_with(message);
        }));
    }
    int Saves() const { return Logged("UserDB.dat sauvé"); }

    static std::filesystem::path MakeDirectory() {
        static std::atomic<int> counter{0};
        auto path = std::filesystem::temp_directory_path() /
                    ("parlo-core-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(path);
        return path;
    }

    std::filesystem::path directory_;
    std::deque<std::unique_ptr<FakeConnection>> connections_;
    std::vector<std::string> log_;
    ServerCore core_;
};

}  // namespace parlo::server::testing
