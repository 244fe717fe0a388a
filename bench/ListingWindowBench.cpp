// The listing window on an 8K-word image: opening a listing or source until
// its first screen is drawn, a jump, and a page of scrolling. Runs on the
// offscreen platform unless QT_QPA_PLATFORM says otherwise.
// Run: build/bench/tolvek_ui_bench (see docs/performance.md).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/Images.h"
#include "chipdb/ChipData.h"
#include "isa/Isa.h"
#include "run/Run.h"
#include "ui/ListingView.h"
#include "ui/ListingWindow.h"
#include "ui/SourceRun.h"

namespace tolvek::bench {
namespace {

// The classic listing of the 8K-word image, written by the engine.
const std::string& ClassicListing() {
    static const std::string path = [] {
        const std::string input =
            WriteTempFile("tolvek-bench-listing.hex", MakeHex(MakeProgram14()));
        ChipState chip;
        IoError error;
        if (!chip.LoadChipFile(ChipDataPath(), &error)) {
            std::fprintf(stderr, "%s\n", error.Message().c_str());
            std::abort();
        }
        chip.SelectChip("16F877A", nullptr);
        Disassembler engine(chip);
        engine.InputFileName = input;
        FrontEnd frontEnd;
        const RunResult result = engine.Run(frontEnd);
        if (result.io || result.code != kResultOk) {
            std::fprintf(stderr, "the 8K-word image did not disassemble\n");
            std::abort();
        }
        return input.substr(0, input.rfind('.')) + ".dis";
    }();
    return path;
}

// A source of the same image in the reconstructed source's layout: labels with
// their cross-references, every word's line ending in its address.
const std::string& SourceListing() {
    static const std::string path =
        WriteTempFile("tolvek-bench-listing.asm", MakeSource14(MakeProgram14()));
    return path;
}

void Draw(TListingWindow& window) {
    window.View->viewport()->repaint();
    QApplication::processEvents();
}

void Open(benchmark::State& state, const std::string& path) {
    std::size_t lines = 0;
    for (auto _ : state) {
        TListingWindow window;
        window.resize(1040, 720);
        if (!window.Open(QString::fromStdString(path))) {
            state.SkipWithError("cannot open the listing");
            break;
        }
        window.show();
        Draw(window);
        lines = window.Doc().LineCount();
    }
    state.counters["lines"] = static_cast<double>(lines);
}

// From nothing to a drawn window, ready to scroll and click.
void BM_ListingOpenClassic8K(benchmark::State& state) {
    Open(state, ClassicListing());
}
BENCHMARK(BM_ListingOpenClassic8K)->Unit(benchmark::kMillisecond);

void BM_ListingOpenSource8K(benchmark::State& state) {
    Open(state, SourceListing());
}
BENCHMARK(BM_ListingOpenSource8K)->Unit(benchmark::kMillisecond);

// A jump to a far word, drawn.
void BM_ListingJump(benchmark::State& state) {
    TListingWindow window;
    window.resize(1040, 720);
    window.Open(QString::fromStdString(SourceListing()));
    window.show();
    Draw(window);
    unsigned address = 0;
    for (auto _ : state) {
        address = (address + 2749) % 8192;
        window.GoTo(QString::number(address, 16));
        Draw(window);
    }
}
BENCHMARK(BM_ListingJump)->Unit(benchmark::kMicrosecond);

// One page down, drawn: lines come into view uncoloured and are coloured then.
void BM_ListingScrollPage(benchmark::State& state) {
    TListingWindow window;
    window.resize(1040, 720);
    window.Open(QString::fromStdString(SourceListing()));
    window.show();
    Draw(window);
    QScrollBar* bar = window.View->verticalScrollBar();
    for (auto _ : state) {
        const int next = bar->value() + bar->pageStep();
        bar->setValue(next > bar->maximum() ? 0 : next);
        Draw(window);
    }
}
BENCHMARK(BM_ListingScrollPage)->Unit(benchmark::kMicrosecond);

// The data references of one location of the 8K-word image's source, listed
// and drawn: every register offset of bank 0 in turn.
void BM_ListingDataReferences(benchmark::State& state) {
    const std::string input =
        WriteTempFile("tolvek-bench-references.hex", MakeHex(MakeProgram14()));
    TSourceRun run(std::string(TOLVEK_SOURCE_DIR) + "/data/");
    TSourceRequest request;
    request.input = input;
    request.part = "16F877A";
    const TSourceResult made = run.Make(request);
    TListingWindow window;
    window.SetSourceMaker(&run);
    window.resize(1040, 720);
    if (!made.written || !window.Open(QString::fromStdString(made.outputFile)) ||
        !window.Studied()) {
        state.SkipWithError("cannot make and open the source");
        return;
    }
    window.show();
    Draw(window);
    unsigned location = 0;
    for (auto _ : state) {
        location = (location + 1) % 0x80;
        window.ShowLocationReferences(location, QStringLiteral("x"));
        Draw(window);
    }
    state.counters["accesses"] = static_cast<double>(window.Accesses().size());
}
BENCHMARK(BM_ListingDataReferences)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tolvek::bench

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
