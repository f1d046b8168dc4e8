// A session wired to fakes, with helpers to log in and read what was sent.
#pragma once

#include <gtest/gtest.h>
#include <QTemporaryDir>

#include "client/session/session.h"
#include "protocol/codec.h"
#include "tests/client_core/fakes.h"

namespace parlo::client::testing {

inline std::string Compressed(std::string_view text) {
    std::string blob;
    Compress(text, blob);
    return blob;
}

class SessionTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { EnsureApp(); }

    SessionTest() : store_(dir_.filePath("Parlomatic.ini")), session_(ui_, links_, store_) {}

    // Logs in as `login` and takes the server's "OK"; the address book and
    // state traffic is cleared from the record.
    void LogInAs(std::string_view login, std::string_view address_book = "AddressBook:") {
        session_.SetServer("127.0.0.1", 7777);
        ASSERT_TRUE(session_.SetCredentials(Compressed(login), Compressed("pw")));
        session_.LogInStored();
        links_.Deliver({"Login:OK", address_book});
        links_.sent.clear();
        ui_.boxes.clear();
    }

    ViewRecord& ViewOf(const Conversation& conversation) {
        return *ui_.views.at(conversation.Id());
    }

    QTemporaryDir dir_;
    FakeUi ui_;
    FakeLinkFactory links_;
    SettingsStore store_;
    Session session_;
};

}  // namespace parlo::client::testing
