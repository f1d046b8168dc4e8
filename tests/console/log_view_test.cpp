#include "server/console/log_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <gtest/gtest.h>

#include <string>

namespace parlo::server {
namespace {

QString FirstLine(const LogView& view) {
    return view.document()->firstBlock().text();
}

TEST(LogView, LinesAppearTogetherNewestFirst) {
    LogView view;
    view.AppendLine("(09:05:07) one");
    view.AppendLine("(09:05:08) two");
    EXPECT_EQ(view.CharacterCount(), 0);  // nothing is drawn line by line
    QElapsedTimer clock;
    clock.start();
    while (view.CharacterCount() == 0 && clock.elapsed() < 2000) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    EXPECT_EQ(view.toPlainText(), QStringLiteral("(09:05:08) two\n(09:05:07) one\n"));
    // A message holding a line feed makes two lines, in order.
    view.AppendLine("(09:05:09) erreur\nsuite");
    view.Flush();
    EXPECT_TRUE(
        view.toPlainText().startsWith(QStringLiteral("(09:05:09) erreur\nsuite\n(09:05:08)")));
}

TEST(LogView, LongLinesWrapInsteadOfScrollingSideways) {
    LogView view;
    view.resize(300, 200);
    view.show();
    const std::string words = "(10:00:00) User " + std::string(20, 'w') + " : " +
                              std::string(200, 'x') + " et encore des mots ";
    view.AppendLine(words + words);
    view.Flush();
    QApplication::processEvents();
    EXPECT_EQ(view.horizontalScrollBar()->maximum(), 0);
    EXPECT_GT(view.document()->firstBlock().layout()->lineCount(), 3);
}

TEST(LogView, TextIsBoundedAndKeepsTheNewestLines) {
    LogView view;
    const std::string filler(99, 'x');  // 100 characters per line with its line end
    // Several turns, the last ones far beyond the bound, each cut at once.
    for (int turn = 0; turn < 12; ++turn) {
        for (int i = 0; i < 1000; ++i) {
            view.AppendLine(filler);
        }
        view.Flush();
        EXPECT_LE(view.CharacterCount(), LogView::kMaxCharacters);
    }
    view.AppendLine("(12:00:00) dernière ligne");
    view.Flush();
    EXPECT_EQ(view.CharacterCount(), LogView::kMaxCharacters);
    EXPECT_EQ(view.toPlainText().size(), LogView::kMaxCharacters);
    EXPECT_EQ(FirstLine(view), QStringLiteral("(12:00:00) dernière ligne"));
}

TEST(LogView, OneTurnFarBeyondTheBoundShowsOnlyItsNewestText) {
    LogView view;
    for (int i = 0; i < 20000; ++i) {
        view.AppendLine("(01:02:03) ligne " + std::to_string(i) + std::string(40, '.'));
    }
    view.Flush();
    EXPECT_EQ(view.CharacterCount(), LogView::kMaxCharacters);
    EXPECT_TRUE(FirstLine(view).startsWith(QStringLiteral("(01:02:03) ligne 19999")));
}

}  // namespace
}  // namespace parlo::server
