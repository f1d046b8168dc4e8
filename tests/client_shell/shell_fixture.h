// The client shell over scripted server links: the real main window, tray
// icon and boxes, with the server's part played by the test.
#pragma once

#include <QApplication>
#include <QImage>
#include <QTemporaryDir>

#include <memory>

#include "client/ui/shell/client_shell.h"
#include "tests/support/client_fakes.h"
#include "tests/support/qt_wait.h"

namespace parlo::client::testing {

// Five contacts: three connected (one away), two not.
inline constexpr std::string_view kAddressBook =
    "AddressBook:bruno!Bruno!Lefèvre!bruno@bureau.lan:chloe!Chloé!Garnier!"
    "chloe.garnier.de.la.direction.commerciale@bureau.lan:david:emile!Émile!Fontaine!"
    "emile@bureau.lan:farida!!!farida@bureau.lan";
inline constexpr std::string_view kStates = "SetState!bruno:0!chloe:3!david:0!emile:1!farida:1";

class ShellTest : public ::testing::Test {
  protected:
    ShellTest() : shell_(links_, dir_.filePath("Parlomatic.ini"), dir_.filePath("history")) {
        shell_.Initialize();
        Session().SetServer("127.0.0.1", 7777);
    }

    parlo::client::Session& Session() { return shell_.GetSession(); }

    // Logged in as amelie with the five contacts and their states.
    void LogIn() {
        ASSERT_TRUE(Session().SetCredentials(Compressed("amelie"), Compressed("pw")));
        Session().LogInStored();
        links_.Deliver({"Login:OK", kAddressBook, kStates});
        links_.sent.clear();
    }

    static QImage Render(QWidget& widget) {
        return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    QTemporaryDir dir_;
    FakeLinks links_;
    ClientShell shell_;
};

}  // namespace parlo::client::testing
