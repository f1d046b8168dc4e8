// The history through the real program: what a conversation window shows is
// found again in "Historique", searched with the match marked, read again
// with its emoticons, exported and erased; with the option off nothing is
// kept.
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTreeWidget>

#include "client/ui/conversation/transcript_view.h"
#include "client/ui/history/history_window.h"
#include "tests/client_shell/shell_fixture.h"

namespace parlo::client::testing {
namespace {

using parlo::testing::WaitUntil;

std::string MessageFrom(const std::string& sender, const std::string& text) {
    return "Message:" + std::to_string(text.size()) + ":" + sender + ":2:" + sender +
           ":amelie:" + text;
}

class HistoryTest : public ShellTest {
  protected:
    HistoryWindow* OpenFromMenuBar() {
        shell_.Window().Actions().history->trigger();
        return shell_.Window().findChild<HistoryWindow*>("history");
    }
    size_t Stored() {
        HistoryStore* store = shell_.History().StoreFor("amelie");
        return store == nullptr ? 0 : store->Search("lac").size();
    }
};

TEST_F(HistoryTest, WhatTheWindowShowedIsListedSearchedAndReadAgain) {
    LogIn();
    links_.Deliver({MessageFrom("bruno", "Cet été au lac :)")});
    ASSERT_EQ(Session().Conversations().size(), 1u);
    Session().Chats().Submit(Session().Conversations()[0]->Id(), "Oui, le lac (L)");
    // Written by the batch within its delay, without anyone asking.
    ASSERT_TRUE(WaitUntil([&] { return shell_.History().Waiting() == 0; }));
    ASSERT_EQ(Stored(), 2u);

    HistoryWindow* window = OpenFromMenuBar();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->isVisible());
    QTreeWidget& list = window->List();
    ASSERT_EQ(list.topLevelItemCount(), 1);
    EXPECT_EQ(list.topLevelItem(0)->text(1), "bruno");
    EXPECT_EQ(list.topLevelItem(0)->text(2), "Cet été au lac :)");

    window->Search("ETE");
    ASSERT_EQ(list.topLevelItemCount(), 1);
    EXPECT_EQ(list.topLevelItem(0)->data(2, HistoryWindow::kMarkedTextRole).toString(),
              "Cet <b style=\"background-color:#ffe680;color:#000\">été</b> au lac :)");

    list.setCurrentItem(list.topLevelItem(0));
    const TranscriptView* transcript = window->Transcript();
    ASSERT_NE(transcript, nullptr);
    EXPECT_NE(transcript->Text().find("] bruno dit :\nCet été au lac :)\n"), std::string::npos);
    EXPECT_NE(transcript->Text().find("] amelie dit :\nOui, le lac (L)\n"), std::string::npos);
    int pictures = 0;
    for (const TranscriptSegment& segment : transcript->Layout().Segments()) {
        for (const TranscriptRun& run : segment.runs) {
            pictures += run.bitmap != 0 ? 1 : 0;
        }
    }
    EXPECT_EQ(pictures, 2);  // ":)" and "(L)" drawn

    const QString exported = dir_.filePath("export.txt");
    ASSERT_TRUE(window->ExportTo(exported));
    QFile file(exported);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().startsWith("Conversation avec bruno, "));

    // The contact menu's entry lists that contact's conversations only.
    emit shell_.Window().View().HistoryRequested("chloe");
    EXPECT_EQ(list.topLevelItemCount(), 0);
    EXPECT_EQ(window->findChild<QLabel*>("status")->text(), "Conversations avec chloe");

    // "Effacer l'historique" asks first; "Non" keeps everything.
    window->findChild<QPushButton*>("erase")->click();
    auto* box = window->findChild<QMessageBox*>("eraseBox");
    ASSERT_NE(box, nullptr);
    box->button(QMessageBox::No)->click();
    EXPECT_EQ(Stored(), 2u);
    window->findChild<QPushButton*>("erase")->click();
    ASSERT_TRUE(WaitUntil([&] { return window->findChild<QMessageBox*>("eraseBox") != nullptr; }));
    window->findChildren<QMessageBox*>("eraseBox").back()->button(QMessageBox::Yes)->click();
    EXPECT_EQ(Stored(), 0u);
}

TEST_F(HistoryTest, WithTheOptionOffNothingMoreIsKept) {
    LogIn();
    links_.Deliver({MessageFrom("bruno", "au lac")});
    Session().SetKeepHistory(false);
    links_.Deliver({MessageFrom("bruno", "encore le lac")});
    shell_.History().Flush();
    EXPECT_EQ(Stored(), 1u);
    ASSERT_TRUE(Session().SaveSettings());
    EXPECT_EQ(QSettings(dir_.filePath("Parlomatic.ini"), QSettings::IniFormat)
                  .value("Options/KeepHistory"),
              0);
}

}  // namespace
}  // namespace parlo::client::testing
