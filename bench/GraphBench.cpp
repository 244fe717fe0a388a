// The graph views: a function of 300 basic blocks and the call graph of the
// 8K-word image, each from the open listing to a drawn window (the flow read,
// the graph laid out by Graphviz, the picture built and painted). Runs on the
// offscreen platform unless QT_QPA_PLATFORM says otherwise.
// Run: build/bench/tolvek_ui_bench --benchmark_filter=Graph (see docs/performance.md).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdio>
#include <string>

#include "bench/Images.h"
#include "browse/Document.h"
#include "browse/Graph.h"
#include "ui/GraphView.h"

namespace tolvek::bench {
namespace {

using browse::Document;
using browse::Format;
using browse::ProgramFlow;

// A function of `units` times four basic blocks: a skip, a jump forward past
// the next unit, an update ended by a DECFSZ, and the jump back to the unit's
// start; then a return.
std::string FunctionSource(int units) {
    std::string text = "        processor 16F877A\n        org     0x0000\n; reset vector\n";
    char line[128];
    unsigned address = 0;
    auto word = [&](const char* format, int value) {
        char instruction[64];
        std::snprintf(instruction, sizeof instruction, format, value);
        std::snprintf(line, sizeof line, "        %-24s; %04X\n", instruction, address++);
        text += line;
    };
    for (int u = 0; u < units; ++u) {
        std::snprintf(line, sizeof line, "unit_%d:\n", u);
        text += line;
        word("btfss   0x20, %d", u % 8);
        word("goto    unit_%d", std::min(u + 2, units));
        word("incf    0x%02X, f", 0x21 + u % 16);
        word("decfsz  0x%02X, f", 0x31 + u % 16);
        word("goto    unit_%d", u);
    }
    std::snprintf(line, sizeof line, "unit_%d:\n", units);
    text += line;
    word("return%.0d", 0);
    return text + "        end\n";
}

void Draw(TGraphView& view) {
    view.viewport()->repaint();
    QApplication::processEvents();
}

void BM_FunctionGraph300Blocks(benchmark::State& state) {
    const Document document = Document::Parse(FunctionSource(75), Format::Source);
    TGraphView view;
    view.resize(900, 700);
    view.show();
    std::size_t blocks = 0;
    for (auto _ : state) {
        const ProgramFlow flow(document);
        const browse::FunctionGraph graph = flow.Function(0);
        if (!view.ShowFunction(document, graph)) {
            state.SkipWithError("no layout");
            break;
        }
        view.Mark(0);
        Draw(view);
        blocks = graph.blocks.size();
    }
    state.counters["blocks"] = static_cast<double>(blocks);
}
BENCHMARK(BM_FunctionGraph300Blocks)->Unit(benchmark::kMillisecond);

// The share of the flow model alone: reading the flow and making the graphs.
void BM_GraphModels(benchmark::State& state) {
    const Document function = Document::Parse(FunctionSource(75), Format::Source);
    const Document image = Document::Parse(MakeSource14(MakeProgram14()), Format::Source);
    const bool calls = state.range(0) != 0;
    for (auto _ : state) {
        if (calls) {
            const ProgramFlow flow(image);
            benchmark::DoNotOptimize(flow.Calls());
        } else {
            const ProgramFlow flow(function);
            benchmark::DoNotOptimize(flow.Function(0));
        }
    }
    state.SetLabel(calls ? "call graph, 8K words" : "function of 300 blocks");
}
BENCHMARK(BM_GraphModels)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_CallGraph8K(benchmark::State& state) {
    const Document document = Document::Parse(MakeSource14(MakeProgram14()), Format::Source);
    TGraphView view;
    view.resize(900, 700);
    view.show();
    std::size_t nodes = 0;
    std::size_t edges = 0;
    for (auto _ : state) {
        const ProgramFlow flow(document);
        const browse::CallGraph graph = flow.Calls();
        if (!view.ShowCalls(document, graph)) {
            state.SkipWithError("no layout");
            break;
        }
        view.Mark(0);
        Draw(view);
        nodes = graph.nodes.size();
        edges = graph.edges.size();
    }
    state.counters["functions"] = static_cast<double>(nodes);
    state.counters["calls"] = static_cast<double>(edges);
}
BENCHMARK(BM_CallGraph8K)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tolvek::bench
