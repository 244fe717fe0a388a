// Loading the device data: the whole file, and one part alone as a run that
// knows its part reads it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "devices/Device.h"

namespace tolvek::bench {
namespace {

const std::string kDevices = std::string(TOLVEK_SOURCE_DIR) + "/data/devices.txt";

void BM_DevicesLoadAll(benchmark::State& state) {
    std::string error;
    for (auto _ : state) {
        std::optional<devices::DeviceDb> db = devices::DeviceDb::Load(kDevices, error);
        if (!db) {
            state.SkipWithError(error.c_str());
            return;
        }
        benchmark::DoNotOptimize(db->All().data());
    }
}
BENCHMARK(BM_DevicesLoadAll)->Unit(benchmark::kMillisecond);

// The parts: one near the start, an enhanced part that names another part's
// settings, and the last part of the file.
void BM_DevicesLoadPart(benchmark::State& state, const char* name) {
    std::string error;
    for (auto _ : state) {
        std::optional<devices::Device> part = devices::DeviceDb::LoadPart(kDevices, name, error);
        if (!part) {
            state.SkipWithError(error.c_str());
            return;
        }
        benchmark::DoNotOptimize(part->registers.data());
    }
}
BENCHMARK_CAPTURE(BM_DevicesLoadPart, 10F200, "10F200")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_DevicesLoadPart, 16LF1939, "16LF1939")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_DevicesLoadPart, 16LF727, "16LF727")->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tolvek::bench
