// Benchmarks of the conversions, the decoders, register naming, chip data and
// whole runs. Run: build/bench/tolvek_bench (see docs/performance.md).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/Conversions.h"
#include "bench/Images.h"
#include "chipdb/ChipData.h"
#include "chipdb/ChipScan.h"
#include "decode/Decoder.h"
#include "run/Run.h"

namespace tolvek::bench {
namespace {

std::string FourHex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}

ChipState SelectedChip(const std::string& name) {
    ChipState chip;
    IoError error;
    if (!chip.LoadChipFile(ChipDataPath(), &error)) {
        std::fprintf(stderr, "%s\n", error.Message().c_str());
        std::abort();
    }
    chip.SelectChip(name, nullptr);
    return chip;
}

// ---- conversions, over every input they meet in a run

void BM_TestHexAndASCIIToDec(benchmark::State& state) {
    for (auto _ : state) {
        int sum = 0;
        for (int c = 0; c < 256; ++c) {
            const char ch = static_cast<char>(c);
            sum += TestHex(ch) ? ASCIIToDec(ch) : 0;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * 256);
}
BENCHMARK(BM_TestHexAndASCIIToDec);

void BM_HexToDecAllFourDigits(benchmark::State& state) {
    std::vector<std::string> words;
    for (unsigned v = 0; v < 0x10000; v += 7) {
        words.push_back(FourHex(v));
    }
    for (auto _ : state) {
        for (const std::string& word : words) {
            benchmark::DoNotOptimize(HexToDec(word));
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long>(words.size()));
}
BENCHMARK(BM_HexToDecAllFourDigits);

void BM_DecToHexFormatFour(benchmark::State& state) {
    for (auto _ : state) {
        for (long v = 0; v < 0x10000; v += 7) {
            benchmark::DoNotOptimize(FormatFour(DecToHex(v)));
        }
    }
    state.SetItemsProcessed(state.iterations() * (0x10000 / 7 + 1));
}
BENCHMARK(BM_DecToHexFormatFour);

void BM_ExtractAddressBytes(benchmark::State& state) {
    const std::string text = "0123456789ABCDEFabcdefG:";
    for (auto _ : state) {
        int sum = 0;
        for (std::size_t i = 0; i + 4 <= text.size(); ++i) {
            sum += ExtractAddressBytes(text[i], text[i + 1], text[i + 2], text[i + 3]);
            sum += ExtractLineBytes(text[i], text[i + 1]);
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_ExtractAddressBytes);

// ---- decoders over all their words

void DecodeAll(benchmark::State& state, bool core12, const char* chipName) {
    ChipState chip = chipName != nullptr ? SelectedChip(chipName) : ChipState{};
    ListingDecoder decoder(chip.Naming(), {core12, core12});
    const unsigned count = core12 ? 0x1000 : 0x4000;
    std::vector<std::string> words;
    for (unsigned v = 0; v < count; ++v) {
        words.push_back(FourHex(v));
    }
    DecodedWord decoded;
    for (auto _ : state) {
        for (const std::string& word : words) {
            decoder.Decode(word, decoded);
            benchmark::DoNotOptimize(decoded.text.data());
        }
    }
    state.SetItemsProcessed(state.iterations() * count);
}
void BM_Decoder14AllWords(benchmark::State& state) {
    DecodeAll(state, false, "16F877A");
}
BENCHMARK(BM_Decoder14AllWords);
void BM_Decoder14AllWordsNoChipData(benchmark::State& state) {
    DecodeAll(state, false, nullptr);
}
BENCHMARK(BM_Decoder14AllWordsNoChipData);
void BM_Decoder12AllWords(benchmark::State& state) {
    DecodeAll(state, true, "16C57");
}
BENCHMARK(BM_Decoder12AllWords);

// ---- register naming of the 16F877A section: every address and bit

// Building the index and every operand once: what a selection costs a run.
void BM_NamingIndexBuildAndFill(benchmark::State& state) {
    const ChipState chip = SelectedChip("16F877A");
    for (auto _ : state) {
        RegisterNamer namer;
        namer.Build(chip.ChipInfo);
        for (unsigned address = 0; address < 128; ++address) {
            for (int bit = -1; bit <= 7; ++bit) {
                benchmark::DoNotOptimize(namer.Lookup(address, bit).text.data());
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * 128 * 9);
}
BENCHMARK(BM_NamingIndexBuildAndFill);

void BM_NamingIndexLookups(benchmark::State& state) {
    ChipState chip = SelectedChip("16F877A");
    RegisterNamer& namer = chip.Naming();
    for (auto _ : state) {
        for (unsigned address = 0; address < 128; ++address) {
            for (int bit = -1; bit <= 7; ++bit) {
                benchmark::DoNotOptimize(namer.Lookup(address, bit).text.data());
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * 128 * 9);
}
BENCHMARK(BM_NamingIndexLookups);

// ---- chip data: load the file, list the chips, select one

void LoadAndSelect(benchmark::State& state, const std::string& path, const std::string& name) {
    long bytes = 0;
    for (auto _ : state) {
        ChipState chip;
        chip.LoadChipFile(path);
        const std::vector<std::string> chips = chip.ChipList();
        chip.SelectChip(name, nullptr);
        benchmark::DoNotOptimize(chip.ChipInfo.data());
        bytes = 0;
        for (const ChipLine& line : chip.ChipLines) {
            bytes += static_cast<long>(line.text.size()) + 1;
        }
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}
void BM_ChipDataLoadShipped(benchmark::State& state) {
    LoadAndSelect(state, ChipDataPath(), "16F877A");
}
BENCHMARK(BM_ChipDataLoadShipped);
// 600 sections of the 16F877A's size, the selected one last.
void BM_ChipDataLoadLarge(benchmark::State& state) {
    static const std::string path =
        WriteTempFile("tolvek-bench-chipdat.txt", MakeLargeChipData(600));
    LoadAndSelect(state, path, "16F877A");
}
BENCHMARK(BM_ChipDataLoadLarge);

// What the command line does instead: scan the file for one chip's section and
// select it, or for the chip list only.
void ScanAndSelect(benchmark::State& state, const std::string& path, ChipScan::Want want,
                   const std::string& name) {
    for (auto _ : state) {
        const ChipScan scan = ScanChipFile(path, want, name);
        ChipState chip;
        chip.LoadChipLines(scan.section);
        chip.SelectChip(scan.name, nullptr);
        benchmark::DoNotOptimize(chip.ChipInfo.data());
        benchmark::DoNotOptimize(scan.names.data());
    }
}
void BM_ChipDataScanNamed(benchmark::State& state) {
    ScanAndSelect(state, ChipDataPath(), ChipScan::Want::kNamed, "16F877A");
}
BENCHMARK(BM_ChipDataScanNamed);
void BM_ChipDataScanFirst(benchmark::State& state) {
    ScanAndSelect(state, ChipDataPath(), ChipScan::Want::kFirst, {});
}
BENCHMARK(BM_ChipDataScanFirst);
void BM_ChipDataScanList(benchmark::State& state) {
    ScanAndSelect(state, ChipDataPath(), ChipScan::Want::kList, {});
}
BENCHMARK(BM_ChipDataScanList);

// ---- whole runs: both passes, the listing written to /dev/null

RunResult RunOnce(ChipState& chip, const std::string& input, std::FILE* sink) {
    Disassembler engine(chip);
    engine.InputFileName = input;
    engine.ListingStream = sink;
    FrontEnd frontEnd;
    return engine.Run(frontEnd);
}

void WholeRun(benchmark::State& state, const std::string& input, const char* chipName,
              long inputBytes) {
    ChipState chip = chipName != nullptr ? SelectedChip(chipName) : ChipState{};
    std::FILE* sink = std::fopen("/dev/null", "wb");
    for (auto _ : state) {
        const RunResult result = RunOnce(chip, input, sink);
        if (result.io || result.code != kResultOk) {
            state.SkipWithError("the run did not end with [OK]");
            break;
        }
    }
    std::fclose(sink);
    state.SetBytesProcessed(state.iterations() * inputBytes);
}

const std::string& Image8K() {
    static const std::string hex = MakeHex(MakeProgram14());
    return hex;
}

void BM_Run8KFourPagesFullTable(benchmark::State& state) {
    static const std::string path = WriteTempFile("tolvek-bench-8k.hex", Image8K());
    WholeRun(state, path, "16F877A", static_cast<long>(Image8K().size()));
}
BENCHMARK(BM_Run8KFourPagesFullTable)->Unit(benchmark::kMicrosecond);

void BM_Run8KNoChipData(benchmark::State& state) {
    static const std::string path = WriteTempFile("tolvek-bench-8k.hex", Image8K());
    WholeRun(state, path, nullptr, static_cast<long>(Image8K().size()));
}
BENCHMARK(BM_Run8KNoChipData)->Unit(benchmark::kMicrosecond);

// The two passes of the 8K run on their own: the checking pass, and the
// building pass after it (the listing going to /dev/null).
void BM_Run8KCheckingPass(benchmark::State& state) {
    static const std::string path = WriteTempFile("tolvek-bench-8k.hex", Image8K());
    ChipState chip = SelectedChip("16F877A");
    Disassembler engine(chip);
    engine.InputFileName = path;
    FrontEnd frontEnd;
    for (auto _ : state) {
        benchmark::DoNotOptimize(engine.DissassembleData(0, frontEnd).code);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<long>(Image8K().size()));
}
BENCHMARK(BM_Run8KCheckingPass)->Unit(benchmark::kMicrosecond);

void BM_Run8KBuildingPass(benchmark::State& state) {
    static const std::string path = WriteTempFile("tolvek-bench-8k.hex", Image8K());
    ChipState chip = SelectedChip("16F877A");
    Disassembler engine(chip);
    engine.InputFileName = path;
    std::FILE* sink = std::fopen("/dev/null", "wb");
    engine.ListingStream = sink;
    FrontEnd frontEnd;
    engine.DissassembleData(0, frontEnd);
    for (auto _ : state) {
        benchmark::DoNotOptimize(engine.DissassembleData(1, frontEnd).code);
    }
    std::fclose(sink);
    state.SetBytesProcessed(state.iterations() * static_cast<long>(Image8K().size()));
}
BENCHMARK(BM_Run8KBuildingPass)->Unit(benchmark::kMicrosecond);

// Throughput and growth: the 8K image's records repeated (748 targets, so the
// table never fills) up to state.range(0) records.
void BM_RunRecords(benchmark::State& state) {
    const long records = state.range(0);
    const std::string hex = MakeHex(MakeProgram14(8192 - 8, kFullTableTargets - 1), records);
    const std::string path = WriteTempFile("tolvek-bench-" + std::to_string(records) + ".hex", hex);
    WholeRun(state, path, "16F877A", static_cast<long>(hex.size()));
    state.SetComplexityN(records);
    std::remove(path.c_str());
}
BENCHMARK(BM_RunRecords)
    ->RangeMultiplier(10)
    ->Range(1000, 1000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace
}  // namespace tolvek::bench

BENCHMARK_MAIN();
