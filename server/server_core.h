// The server core: accounts, online registry, command handlers and log,
// driven by three connection events. Plain C++: no Qt, no libuv, no sockets.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string_view>

#include "server/connection.h"

namespace parlo::server {

// What the core reports to the program around it (console window, or the
// headless program's standard output).
class ServerEvents {
public:
    virtual ~ServerEvents() = default;
    // One log entry, time-stamped exactly as written to Log.txt (without the
    // final line feed; a message holding '\n' arrives as one entry).
    virtual void OnLogLine(std::string_view line) = 0;
    // The console's online-clients rows changed.
    virtual void OnRowsChanged() {}
    // A save was abandoned (a record without record text); the operator must
    // be told after the current callback has returned.
    virtual void OnSaveAbandoned() {}
};

struct ServerOptions {
    // Where UserDB.dat, UserDB.bak and Log.txt live.
    std::filesystem::path directory = ".";
    // UTC clock for log time stamps; tests inject their own.
    std::function<std::time_t()> clock = [] { return std::time(nullptr); };
};

class ServerCore {
public:
    ServerCore(ServerOptions options, ServerEvents& events);
    ~ServerCore();
    ServerCore(const ServerCore&) = delete;
    ServerCore& operator=(const ServerCore&) = delete;

    // Loads UserDB.dat; called once, before listening starts.
    void Start();
    // Writes one log line (time stamp + message) to Log.txt and the events.
    void Log(std::string_view message);

    // Connection events from the network adapter.
    void OnAccepted(Connection& connection, std::string_view ip, uint16_t port);
    void OnBytes(Connection& connection, std::string_view bytes);
    void OnClosed(Connection& connection);

    // Console closing: saves the database, then clears the online list
    // (closing every connection, without log lines or state broadcast) and
    // the user list.
    void Shutdown();
};

}  // namespace parlo::server
