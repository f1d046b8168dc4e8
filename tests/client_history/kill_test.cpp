// A writer killed at random moments leaves a sound file holding every batch
// it had reported committed.
#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include <unistd.h>

#include "tests/support/process.h"

namespace {

TEST(HistoryKill, EveryCommittedBatchSurvivesSigkill) {
    const int rounds = std::getenv("CI") != nullptr ? 20 : 100;
    int argc = 1;
    char name[] = "kill_test";
    char* argv[] = {name, nullptr};
    const QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath("history.sqlite");
    std::mt19937 random(std::random_device{}());
    for (int round = 1; round <= rounds; ++round) {
        parlo::testing::ChildProcess writer;
        ASSERT_TRUE(writer.StartWithChannel(
            HISTORY_WRITER, {path.toStdString(), std::to_string(round)}, dir.path().toStdString()));
        const int wanted = std::uniform_int_distribution(1, 8)(random);
        int reported = 0;
        while (reported < wanted) {
            const auto line = writer.ReadLine();
            ASSERT_TRUE(line) << writer.Stderr();
            reported = std::stoi(*line);
        }
        // Killed at some point of a later batch.
        usleep(std::uniform_int_distribution(0, 3000)(random));
        writer.Kill();
        writer.WaitForExit();

        const QString name = QStringLiteral("check%1").arg(round);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(path);
            ASSERT_TRUE(db.open());
            QSqlQuery check(db);
            ASSERT_TRUE(check.exec(QStringLiteral("PRAGMA integrity_check")) && check.next());
            EXPECT_EQ(check.value(0).toString(), QStringLiteral("ok")) << "round " << round;
            QSqlQuery count(db);
            ASSERT_TRUE(count.exec(QStringLiteral("SELECT COUNT(*) FROM lines WHERE "
                                                  "conversation = %1")
                                       .arg(round)) &&
                        count.next());
            EXPECT_GE(count.value(0).toInt(), 20 * reported) << "round " << round;
            EXPECT_EQ(count.value(0).toInt() % 20, 0) << "a batch was half written";
        }
        QSqlDatabase::removeDatabase(name);
    }
}

}  // namespace
