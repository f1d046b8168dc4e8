// The conversation history with 100,000 messages in 2,000 conversations:
// appending in batches of 100 lines (one transaction each, as the recorder
// writes them), the last 50 lines of a conversation, a word search, the list
// of conversations, the "Historique" window opened over it, and the file's
// size per message.
//
// Targets: append <= 50 us per message amortised; last 50 lines <= 20 ms;
// a word search <= 50 ms; opening the window <= 100 ms.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "client/history/history_recorder.h"
#include "client/history/history_store.h"
#include "client/ui/history/history_window.h"

namespace {

using namespace parlo::client;

constexpr int kMessages = 100'000;
constexpr int kConversations = 2'000;
constexpr int kBatch = 100;
constexpr const char* kWords[] = {
    "bonjour", "réunion",  "été",      "projet",   "demain", "café",       "rapport", "client",
    "serveur", "vacances", "déjeuner", "budget",   "réseau", "imprimante", "bureau",  "équipe",
    "lundi",   "vendredi", "merci",    "d'accord", ":)",     "(L)",        "voilà",   "dossier"};

// Message `i`: eight words of the list, with a number of its own.
std::string MessageText(std::mt19937& random, int i) {
    std::uniform_int_distribution<size_t> pick(0, std::size(kWords) - 1);
    std::string text("n");
    text.append(std::to_string(i));
    for (int word = 0; word < 8; ++word) {
        text.append(" ").append(kWords[pick(random)]);
    }
    return text;
}

class Filled {
  public:
    Filled() : recorder_(dir_.path(), [] { return true; }) {
        store_ = recorder_.StoreFor("bench");
        std::mt19937 random(7);
        std::vector<StoredConversationId> ids;
        for (int c = 0; c < kConversations; ++c) {
            ids.push_back(store_->NewConversationId());
        }
        std::vector<NewLine> batch;
        for (int i = 0; i < kMessages; ++i) {
            batch.push_back(
                {.conversation = ids[i % kConversations],
                 .participants = std::to_string(i % kConversations).insert(0, "contact"),
                 .time_ms = 1'700'000'000'000 + i * 1000LL,
                 .kind = LineKind::kMessage,
                 .sender = i % 2 ? "bench" : "contact",
                 .text = MessageText(random, i)});
            if (batch.size() == kBatch) {
                store_->Append(batch);
                batch.clear();
            }
        }
    }
    HistoryStore& Store() { return *store_; }
    // Lines in the file, those the benchmarks appended included.
    qint64 lines = kMessages;
    HistoryRecorder& Recorder() { return recorder_; }
    qint64 FileBytes() const {
        const QString path = store_->Path();
        return QFileInfo(path).size() + QFileInfo(path + "-wal").size();
    }

  private:
    QTemporaryDir dir_;
    HistoryRecorder recorder_;
    HistoryStore* store_ = nullptr;
};

Filled& History() {
    static Filled filled;
    return filled;
}

// Batches of 100 lines spread over `state.range(0)` conversations: 100 is
// the worst case (every line touches other pages), 1 a burst in one window.
void AppendBatch(benchmark::State& state) {
    const int spread = static_cast<int>(state.range(0));
    HistoryStore& store = History().Store();
    std::mt19937 random(11);
    int next = kMessages;
    double longest_ms = 0;
    for (auto _ : state) {
        std::vector<NewLine> batch;
        for (int i = 0; i < kBatch; ++i, ++next) {
            batch.push_back({.conversation = 1 + (next / (kBatch / spread)) % kConversations,
                             .participants = "contact",
                             .time_ms = 1'800'000'000'000 + next,
                             .kind = LineKind::kMessage,
                             .sender = "bench",
                             .text = MessageText(random, next)});
        }
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(store.Append(batch));
        History().lines += kBatch;
        longest_ms = std::max(longest_ms, std::chrono::duration<double, std::milli>(
                                              std::chrono::steady_clock::now() - start)
                                              .count());
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
    state.counters["longest_batch_ms"] = longest_ms;
}
BENCHMARK(AppendBatch)->Arg(100)->Arg(5)->Arg(1)->Iterations(200)->Unit(benchmark::kMicrosecond);

void LastFiftyLines(benchmark::State& state) {
    HistoryStore& store = History().Store();
    StoredConversationId conversation = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(store.Lines(conversation, 50));
        conversation = 1 + conversation * 7 % kConversations;
    }
}
BENCHMARK(LastFiftyLines)->Unit(benchmark::kMillisecond);

// A rare word (one message), a word of one message in three hundred, and
// one in most messages (the hits stop at the list's limit).
void WordSearch(benchmark::State& state) {
    const std::string words[] = {"n54321", "réunion vendredi", "bonjour"};
    HistoryStore& store = History().Store();
    size_t hits = 0;
    for (auto _ : state) {
        hits = store.Search(words[state.range(0)]).size();
        benchmark::DoNotOptimize(hits);
    }
    state.counters["hits"] = static_cast<double>(hits);
}
BENCHMARK(WordSearch)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void ConversationList(benchmark::State& state) {
    HistoryStore& store = History().Store();
    for (auto _ : state) {
        benchmark::DoNotOptimize(store.Conversations());
    }
}
BENCHMARK(ConversationList)->Unit(benchmark::kMillisecond);

// The window built, filled with every conversation and laid out.
void OpenWindow(benchmark::State& state) {
    for (auto _ : state) {
        HistoryWindow window(History().Recorder(), "bench");
        window.show();
        benchmark::DoNotOptimize(window.List().topLevelItemCount());
    }
    state.counters["bytes_per_message"] =
        static_cast<double>(History().FileBytes()) / static_cast<double>(History().lines);
}
BENCHMARK(OpenWindow)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
