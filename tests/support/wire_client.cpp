#include "tests/support/wire_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "protocol/commands.h"
#include "tests/support/process.h"

namespace parlo::testing {

using Clock = std::chrono::steady_clock;

std::string Blob(std::string_view text) {
    std::string out;
    Compress(text, out);
    return out;
}

std::string RegisterCommand(std::string_view login, std::string_view password,
                            std::string_view first, std::string_view last, std::string_view email) {
    return FormatAddNewUser(FormatRecordText(Blob(login), Blob(password), first, last, email));
}

std::string ConnectCommand(std::string_view login, std::string_view password,
                           std::string_view computer) {
    return FormatConnect(computer, Blob(login), Blob(password));
}

WireClient::WireClient(uint16_t port) : fd_(ConnectTo(port)) {}

WireClient::~WireClient() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

bool WireClient::SendRaw(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool WireClient::Send(std::string_view command) {
    std::string frame;
    return AppendCommandFrame(frame, command) && SendRaw(frame);
}

std::optional<std::string> WireClient::Next(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        std::optional<std::string> command = NextAny(std::max(left, std::chrono::milliseconds(0)));
        if (!command || !command->starts_with("SetState!")) {
            return command;
        }
    }
}

std::optional<std::string> WireClient::NextAny(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (received_.empty() && !closed_) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd fd{fd_, POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(left.count())) > 0) {
            ReadSome(0);
        }
    }
    return Pop();
}

std::optional<std::string> WireClient::WaitFor(std::string_view prefix,
                                               std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        std::optional<std::string> command = NextAny(left);
        if (!command) {
            return std::nullopt;
        }
        if (command->starts_with(prefix)) {
            return command;
        }
    }
    return std::nullopt;
}

bool WireClient::WaitClosed(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!closed_ && Clock::now() < deadline) {
        pollfd fd{fd_, POLLIN, 0};
        if (poll(&fd, 1, 50) > 0) {
            ReadSome(0);
        }
    }
    return closed_;
}

bool WireClient::ReadAvailable() {
    while (!closed_) {
        pollfd fd{fd_, POLLIN, 0};
        if (poll(&fd, 1, 0) <= 0) {
            break;
        }
        ReadSome(MSG_DONTWAIT);
    }
    return !closed_;
}

std::optional<std::string> WireClient::Pop() {
    if (received_.empty()) {
        return std::nullopt;
    }
    std::string command = std::move(received_.front());
    received_.pop_front();
    return command;
}

void WireClient::ReadSome(int flags) {
    if (fd_ < 0) {
        closed_ = true;
        return;
    }
    char chunk[16384];
    const ssize_t n = recv(fd_, chunk, sizeof chunk, flags);
    if (n <= 0) {
        closed_ = true;
        return;
    }
    reader_.Feed({chunk, static_cast<size_t>(n)});
    std::string_view payload;
    FrameReader::Status status;
    while ((status = reader_.Next(payload)) == FrameReader::Status::kFrame) {
        std::string text;
        if (!Uncompress(payload, text)) {
            bad_frame_ = true;
            continue;
        }
        received_.push_back(std::move(text));
    }
    if (status == FrameReader::Status::kError) {
        bad_frame_ = true;
    }
}

}  // namespace parlo::testing
