// The headless Server of the client end-to-end tests, in a scratch directory
// on a free loopback port. The test program defines SERVER_PATH.
#pragma once

#include <string>

#include "tests/support/process.h"

namespace parlo::client::testing {

struct TestServer {
    bool Start() { return process.StartOnFreePort(); }
    int Port() const { return process.Port(); }
    // What the server logged so far.
    std::string Log() const { return parlo::testing::ReadFile(dir.Path() / "Log.txt"); }

    parlo::testing::ScratchDirectory dir;
    parlo::testing::ServerProcess process{SERVER_PATH, dir.Path()};
};

}  // namespace parlo::client::testing
