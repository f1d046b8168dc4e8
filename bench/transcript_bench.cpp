// The transcript view as a conversation grows to 5,000 messages with
// emoticons: ten appends after the 90th and after the 4,990th, one full
// paint at 100 and at 5,000 messages, and, for comparison, one layout of the
// whole 5,000-message text from its first line (what every append and paint
// would cost if the view laid everything out again each time), alone and
// with a child window for each emoticon picture.
//
// Targets: appends 4,991-5,000 within 1.5 x appends 91-100, and a paint at
// 5,000 within 1.5 x a paint at 100.
#include <benchmark/benchmark.h>
#include <QApplication>
#include <QImage>
#include <QLabel>

#include <string>

#include "client/ui/conversation/emoticons.h"
#include "client/ui/conversation/transcript_view.h"

namespace {

using parlo::client::TranscriptView;

constexpr int kWidth = 513;  // the conversation window's transcript area
constexpr int kHeight = 318;

// Message `i`: short lines and long wrapping ones, with codes and aliases.
std::string MessageText(int i) {
    std::string text = "message " + std::to_string(i) + " :-) ça va ;) ";
    if (i % 3 == 0) {
        text +=
            "et voici une ligne plus longue qui devra passer sur plusieurs rangées :D (L) "
            "avant de finir par un dernier mot :P";
    }
    if (i % 7 == 0) {
        text += "\nune deuxième ligne (C) :-(";
    }
    return text;
}

void Fill(TranscriptView& view, int from, int to) {
    for (int i = from; i < to; ++i) {
        view.AppendMessage(i % 2 ? "alice" : "bob", MessageText(i));
    }
}

// Appends the messages after the first `state.range(0) - 10`.
void TenAppends(benchmark::State& state) {
    const int last = static_cast<int>(state.range(0));
    TranscriptView view;
    view.resize(kWidth, kHeight);
    Fill(view, 0, last - 10);
    for (auto _ : state) {
        Fill(view, last - 10, last);
        benchmark::DoNotOptimize(view.Layout().Height());
    }
}
BENCHMARK(TenAppends)
    ->Arg(100)
    ->Arg(5000)
    ->Iterations(1)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

// One paint of the whole view, scrolled to the bottom.
void FullPaint(benchmark::State& state) {
    TranscriptView view;
    view.resize(kWidth, kHeight);
    Fill(view, 0, static_cast<int>(state.range(0)));
    QImage image(view.size(), QImage::Format_RGB32);
    for (auto _ : state) {
        view.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(FullPaint)->Arg(100)->Arg(5000)->Unit(benchmark::kMicrosecond);

// The whole 5,000-message text laid out from its first line.
void LayoutFromScratch(benchmark::State& state) {
    TranscriptView view;
    view.resize(kWidth, kHeight);
    Fill(view, 0, static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const auto segments =
            parlo::client::LayOutTranscript(view.Text(), view.TextArea().width(), view.Measure());
        benchmark::DoNotOptimize(segments.data());
    }
}
BENCHMARK(LayoutFromScratch)->Arg(5000)->Unit(benchmark::kMillisecond);

// The same with one child window per emoticon picture, made and destroyed
// each time: the whole cost of laying everything out again with picture
// windows.
void LayoutFromScratchWithPictureWindows(benchmark::State& state) {
    TranscriptView view;
    view.resize(kWidth, kHeight);
    Fill(view, 0, static_cast<int>(state.range(0)));
    const QPixmap smile = parlo::client::EmoticonPicture(142);
    for (auto _ : state) {
        QWidget windows;
        const auto segments =
            parlo::client::LayOutTranscript(view.Text(), view.TextArea().width(), view.Measure());
        for (const auto& segment : segments) {
            for (const auto& run : segment.runs) {
                if (run.bitmap != 0) {
                    auto* picture = new QLabel(&windows);  // owned by `windows`
                    picture->setGeometry(run.x, segment.top - 1, 21, 21);
                    picture->setPixmap(smile);
                }
            }
        }
        benchmark::DoNotOptimize(segments.data());
    }
}
BENCHMARK(LayoutFromScratchWithPictureWindows)->Arg(5000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
