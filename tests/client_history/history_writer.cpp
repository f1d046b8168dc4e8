// history_writer PATH ROUND: appends batches of 20 lines to the history file
// PATH under conversation ROUND, printing each batch's number once it is
// committed, until it is killed.
#include <QCoreApplication>

#include <cstdio>
#include <string>
#include <vector>

#include "client/history/history_store.h"

int main(int argc, char** argv) {
    using namespace parlo::client;
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        return 2;
    }
    HistoryStore store(QString::fromLocal8Bit(argv[1]));
    const StoredConversationId round = std::stoll(argv[2]);
    for (int batch = 1; store.IsOpen(); ++batch) {
        std::vector<NewLine> lines;
        for (int i = 0; i < 20; ++i) {
            lines.push_back(
                {.conversation = round,
                 .participants = "bruno",
                 .time_ms = batch,
                 .kind = LineKind::kMessage,
                 .sender = "amelie",
                 .text = "lot " + std::to_string(batch) + " ligne " + std::to_string(i)});
        }
        if (!store.Append(lines)) {
            return 1;
        }
        std::printf("%d\n", batch);
        std::fflush(stdout);
    }
    return 1;
}
