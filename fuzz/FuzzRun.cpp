// Fuzz target: the record checks, the checksum scan and the whole two-pass run
// over arbitrary bytes as a hex file, with or without chip data, for both cores
// and 1, 2 or 4 ROM pages.
//
// The first byte chooses the setting:
//   bits 0-1  chip data: 0 or 1 none, 2 from the input, 3 the sample file
//   bit 2     12-bit core          bits 3-4  ROM pages 1, 2, 4, 1
//   bit 5     INHX32 records       bit 6     listing into a file, not a stream
//   bit 7     force core and pages also when chip data sets them
// With chip data from the input, the next two bytes give its length (little
// endian) and the next byte which listed chip to select; the rest is the hex file.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "chipdb/ChipData.h"
#include "fuzz/FuzzSupport.h"
#include "run/Checksum.h"
#include "run/Record.h"
#include "run/Run.h"

namespace {

using tolvek::fuzz::MemoryFile;
using tolvek::fuzz::ScratchDir;

std::string g_sampleChipData;

constexpr std::string_view kEndLines = "            ;\r\n            end\r\n            ;\r\n";

void CheckRecordChecks(std::string_view bytes, bool extended) {
    for (std::string_view whole : tolvek::fuzz::SplitLines(bytes)) {
        // the run sees at most the first 255 characters of a line
        const std::string_view line = whole.substr(0, 255);
        const tolvek::RecordCheck check = tolvek::CheckRecordLine(line, extended);
        if (line.size() > tolvek::kMaxRecordLine) {
            TOLVEK_FUZZ_CHECK(check.kind == tolvek::RecordCheck::kFault &&
                              check.code == tolvek::kResultLineLength);
            continue;
        }
        switch (check.kind) {
            case tolvek::RecordCheck::kFault:
                TOLVEK_FUZZ_CHECK(check.code >= 1 && check.code <= 12 &&
                                  check.code != tolvek::kResultNoEof);
                break;
            case tolvek::RecordCheck::kData:
                TOLVEK_FUZZ_CHECK(line[0] == ':');
                TOLVEK_FUZZ_CHECK(check.byteCount >= 0 && check.byteCount <= 16);
                // a NUL ends the line for the checks, as in the NUL-padded work buffer
                TOLVEK_FUZZ_CHECK(tolvek::CharAt(line, 11 + 2 * static_cast<std::size_t>(
                                                                    check.byteCount)) == '\0');
                TOLVEK_FUZZ_CHECK(check.address >= 0 && check.address < 0x4000);
                TOLVEK_FUZZ_CHECK(check.type == 0 || (extended && check.type == 4));
                break;
            case tolvek::RecordCheck::kEndOfFile:
                TOLVEK_FUZZ_CHECK(line[0] == ':' && check.type == 1);
                break;
            case tolvek::RecordCheck::kSkip:
                TOLVEK_FUZZ_CHECK(check.address >= 0x4000);
                break;
        }
    }
}

void CheckListing(std::string_view listing, int code) {
    if (code != tolvek::kResultOk) {
        // the building pass runs only after a clean checking pass
        TOLVEK_FUZZ_CHECK(listing.empty());
        return;
    }
    TOLVEK_FUZZ_CHECK(listing.ends_with(kEndLines));
    std::size_t start = 0;
    while (start < listing.size()) {
        const std::size_t end = listing.find("\r\n", start);
        TOLVEK_FUZZ_CHECK(end != std::string_view::npos);
        const std::string_view line = listing.substr(start, end - start);
        TOLVEK_FUZZ_CHECK(line.find('\n') == std::string_view::npos);
        TOLVEK_FUZZ_CHECK(line.size() <= 12 + 40 + 255);
        start = end + 2;
    }
}

// The checksum scan over the same file: a few faults kept in line order, and
// all of them counted, as many as the exact checksum of each line up to the
// end-of-file record finds (the scan takes a quicker road to the same answer).
// The run's own tally, where it read the whole file, is the scan's.
void CheckChecksums(const std::string& path, std::string_view bytes,
                    const tolvek::Disassembler& run) {
    const tolvek::ChecksumReport report = tolvek::ScanChecksums(path);
    if (run.ChecksumsComplete) {
        TOLVEK_FUZZ_CHECK(run.Checksums.count == report.count);
        TOLVEK_FUZZ_CHECK(run.Checksums.faults.size() == report.faults.size());
        for (std::size_t i = 0; i < report.faults.size(); ++i) {
            const tolvek::ChecksumFault& a = run.Checksums.faults[i];
            const tolvek::ChecksumFault& b = report.faults[i];
            TOLVEK_FUZZ_CHECK(a.lineIndex == b.lineIndex && a.found == b.found &&
                              a.expected == b.expected);
        }
    }
    TOLVEK_FUZZ_CHECK(report.faults.size() <= 3);
    long previous = -1;
    for (const tolvek::ChecksumFault& fault : report.faults) {
        TOLVEK_FUZZ_CHECK(fault.lineIndex > previous);
        TOLVEK_FUZZ_CHECK(fault.found.size() == 2 && fault.expected <= 0xFF);
        previous = fault.lineIndex;
    }
    long count = 0;
    for (std::string_view whole : tolvek::fuzz::SplitLines(bytes)) {
        const std::string_view line = whole.substr(0, 255);
        const std::optional<unsigned> expected = tolvek::ExpectedChecksum(line);
        if (expected && tolvek::ExtractLineBytes(line[line.size() - 2], line[line.size() - 1]) !=
                            static_cast<int>(*expected)) {
            ++count;
        }
        if (tolvek::CheckRecordLine(line).kind == tolvek::RecordCheck::kEndOfFile) {
            break;
        }
    }
    TOLVEK_FUZZ_CHECK(report.count == count);
}

struct Setting {
    int chipMode = 0;
    bool core12 = false;
    int pages = 1;
    bool extended = false;
    bool toFile = false;
    bool force = false;
};

void Configure(tolvek::ChipState& chip, const Setting& setting, std::string_view chipData,
               unsigned selector) {
    if (setting.chipMode >= 2) {
        chip.LoadChipLines(std::string(chipData));
        const std::vector<std::string> names = chip.ChipList();
        const std::string name = names.empty() ? std::string() : names[selector % names.size()];
        chip.SelectChip(name, nullptr);
    }
    if (setting.chipMode < 2 || setting.force) {
        chip.Core12Bit = setting.core12;
        chip.RomPages = setting.pages;
    }
    TOLVEK_FUZZ_CHECK(chip.RomPages >= 1 && chip.RomPages <= 4);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::FILE* file = std::fopen(TOLVEK_FUZZ_SAMPLE_CHIPDAT, "rb");
    if (file != nullptr) {
        char buffer[4096];
        std::size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
            g_sampleChipData.append(buffer, got);
        }
        std::fclose(file);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static MemoryFile input;
    static ScratchDir scratch;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (bytes.empty()) {
        return 0;
    }
    const auto flags = static_cast<unsigned char>(bytes[0]);
    bytes.remove_prefix(1);
    Setting setting;
    setting.chipMode = flags & 3;
    setting.core12 = (flags & 4) != 0;
    static constexpr int kPages[] = {1, 2, 4, 1};
    setting.pages = kPages[(flags >> 3) & 3];
    setting.extended = (flags & 32) != 0;
    setting.toFile = (flags & 64) != 0;
    setting.force = (flags & 128) != 0;

    std::string_view chipData;
    unsigned selector = 0;
    if (setting.chipMode == 2) {
        if (bytes.size() < 3) {
            return 0;
        }
        const std::size_t length =
            static_cast<unsigned char>(bytes[0]) |
            (static_cast<std::size_t>(static_cast<unsigned char>(bytes[1])) << 8);
        selector = static_cast<unsigned char>(bytes[2]);
        bytes.remove_prefix(3);
        chipData = bytes.substr(0, length);
        bytes.remove_prefix(chipData.size());
    } else if (setting.chipMode == 3) {
        if (bytes.empty()) {
            return 0;
        }
        selector = static_cast<unsigned char>(bytes[0]);
        bytes.remove_prefix(1);
        chipData = g_sampleChipData;
    }

    CheckRecordChecks(bytes, setting.extended);

    tolvek::ChipState chip;
    Configure(chip, setting, chipData, selector);
    input.Set(bytes);

    char* streamData = nullptr;
    std::size_t streamSize = 0;
    std::FILE* stream = open_memstream(&streamData, &streamSize);
    TOLVEK_FUZZ_CHECK(stream != nullptr);
    tolvek::Disassembler engine(chip);
    engine.InputFileName = input.Path();
    engine.AcceptExtendedAddress = setting.extended;
    engine.ListingStream = stream;
    engine.CheckChecksums = true;  // the file run below does not: the same listing
    tolvek::FrontEnd frontEnd;
    const tolvek::RunResult result = engine.Run(frontEnd);
    std::fclose(stream);
    const std::string listing(streamData, streamSize);
    std::free(streamData);

    TOLVEK_FUZZ_CHECK(!result.io);
    TOLVEK_FUZZ_CHECK(result.code >= 0 && result.code <= 12);
    TOLVEK_FUZZ_CHECK(result.outcome.line.size() <= 255);
    CheckListing(listing, result.code);
    CheckChecksums(input.Path(), bytes, engine);

    if (setting.toFile) {
        // the same run into a listing file: the same bytes, and no temporary file left
        scratch.Empty();
        scratch.Write("in.hex", bytes);
        tolvek::Disassembler fileEngine(chip);
        fileEngine.InputFileName = scratch.Path() + "in.hex";
        fileEngine.AcceptExtendedAddress = setting.extended;
        const tolvek::RunResult fileResult = fileEngine.Run(frontEnd);
        TOLVEK_FUZZ_CHECK(!fileResult.io && fileResult.code == result.code);
        const std::vector<std::string> names = scratch.Names();
        if (result.code == tolvek::kResultOk) {
            TOLVEK_FUZZ_CHECK(names.size() == 2);
            TOLVEK_FUZZ_CHECK(scratch.Read("in.dis") == listing);
        } else {
            TOLVEK_FUZZ_CHECK(names.size() == 1 && names[0] == "in.hex");
        }
    }
    return 0;
}
