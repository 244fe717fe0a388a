// Fuzz target: the INHX8S merge over arbitrary pairs of files.
//
// The input is the low-byte file, a separator line "~~~~", then the high-byte
// file; without the separator the partner is missing.
#include <string>
#include <string_view>

#include "convert/SplitMerge.h"
#include "fuzz/FuzzSupport.h"
#include "run/Record.h"

namespace {

using tolvek::fuzz::ScratchDir;

constexpr std::string_view kSeparator = "\n~~~~\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static ScratchDir scratch;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t split = bytes.find(kSeparator);
    scratch.Empty();
    scratch.Write("p.hxl", bytes.substr(0, split));
    if (split != std::string_view::npos) {
        scratch.Write("p.hxh", bytes.substr(split + kSeparator.size()));
    }

    tolvek::MergeState state;
    const bool merged = tolvek::ConvertSplitHexToHex(scratch.Path() + "p.hxl", state);
    TOLVEK_FUZZ_CHECK(!state.io);
    TOLVEK_FUZZ_CHECK(state.MergedFileName == scratch.Path() + "p.dsm");
    const std::size_t expectedFiles = split == std::string_view::npos ? 1 : 3;
    TOLVEK_FUZZ_CHECK(scratch.Names().size() == expectedFiles);
    if (split == std::string_view::npos) {
        TOLVEK_FUZZ_CHECK(!merged);
        return 0;
    }

    // every record the merge writes passes the record checks' length and field tests
    const std::string out = scratch.Read("p.dsm");
    const auto lines = tolvek::fuzz::SplitLines(out);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        TOLVEK_FUZZ_CHECK(line.size() <= tolvek::kMaxRecordLine);
        const tolvek::RecordCheck check = tolvek::CheckRecordLine(line);
        if (line == ":00000001FF") {
            TOLVEK_FUZZ_CHECK(merged && i + 1 == lines.size());
            continue;
        }
        TOLVEK_FUZZ_CHECK(check.kind == tolvek::RecordCheck::kData ||
                          check.kind == tolvek::RecordCheck::kSkip);
        TOLVEK_FUZZ_CHECK(line.substr(line.size() - 2) == "XX");
    }
    TOLVEK_FUZZ_CHECK(!merged || (!lines.empty() && lines.back() == ":00000001FF"));
    return 0;
}
