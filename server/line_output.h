// Log lines for the headless server's standard output, written without ever
// blocking the server: they wait in a bounded backlog and leave as fast as
// the reader takes them. When nobody reads and the backlog is full, further
// lines are dropped and counted, and the count is written once the reader
// is back (Log.txt keeps every line). Lines for the null device are not
// kept at all: nobody would ever read them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace parlo::server {

class LineOutput {
  public:
    static constexpr size_t kMaxBacklogBytes = 1u << 20;

    explicit LineOutput(int fd);
    LineOutput(const LineOutput&) = delete;
    LineOutput& operator=(const LineOutput&) = delete;

    // Queues one line (a line feed is added).
    void Add(std::string_view line);
    // Writes what the descriptor takes now; true when nothing is left.
    bool Flush();
    // Keeps writing for up to `ms` milliseconds (at exit).
    void Drain(int ms);
    bool Pending() const { return start_ < backlog_.size() || dropped_ > 0; }
    int Fd() const { return fd_; }
    // A pipe or a socket, whose writability can be waited for. (Waiting
    // through libuv makes the descriptor non-blocking, which a terminal
    // shared with a shell must not become.)
    bool Pollable() const { return socket_ || pipe_; }

  private:
    // Bytes one write may carry without blocking once poll said writable.
    size_t SafeChunk() const;

    int fd_;
    bool socket_ = false;
    bool regular_file_ = false;
    bool pipe_ = false;
    bool terminal_ = false;
    bool null_device_ = false;
    std::string backlog_;
    size_t start_ = 0;  // written part of backlog_
    size_t dropped_ = 0;
};

}  // namespace parlo::server
