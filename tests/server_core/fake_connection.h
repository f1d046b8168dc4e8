// A connection that records what the server core sent it and decodes the
// frames back into command texts.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "protocol/codec.h"
#include "server/core/connection.h"

namespace parlo::server::testing {

class FakeConnection : public Connection {
  public:
    void Send(std::string_view bytes) override { reader_.Feed(bytes); }
    void Close() override { closed = true; }

    // Every command received since the last call.
    std::vector<std::string> Take() {
        std::vector<std::string> out;
        std::string_view payload;
        while (reader_.Next(payload) == FrameReader::Status::kFrame) {
            std::string text;
            EXPECT_TRUE(Uncompress(payload, text));
            out.push_back(text);
        }
        return out;
    }

    bool closed = false;

  private:
    FrameReader reader_;
};

}  // namespace parlo::server::testing
