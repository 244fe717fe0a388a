#include "engine/Checksum.h"

#include <memory>

#include "engine/Conversions.h"
#include "engine/InputFile.h"
#include "engine/LineReader.h"
#include "engine/Record.h"

namespace tolvek {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

int ByteAt(std::string_view line, std::size_t position) {
    return ExtractLineBytes(line[position], line[position + 1]);
}

}  // namespace

std::optional<unsigned> ExpectedChecksum(std::string_view line) {
    if (line.size() < 11 || line[0] != ':') {
        return std::nullopt;
    }
    const int byteCount = ByteAt(line, 1);
    if (byteCount < 0 || line.size() != 11 + 2 * static_cast<std::size_t>(byteCount)) {
        return std::nullopt;
    }
    unsigned sum = 0;
    for (std::size_t position = 1; position + 2 < line.size(); position += 2) {
        const int value = ByteAt(line, position);
        if (value < 0) {
            return std::nullopt;
        }
        sum += static_cast<unsigned>(value);
    }
    return (0x100u - (sum & 0xFFu)) & 0xFFu;
}

ChecksumReport ScanChecksums(const std::string& path, bool acceptExtendedAddress,
                             std::size_t keep) {
    ChecksumReport report;
    std::string reason;
    const std::unique_ptr<std::FILE, FileCloser> input(OpenInputFile(path, reason));
    if (!input) {
        return report;
    }
    LineReader reader(input.get());
    std::string line;
    for (long lineIndex = 0; reader.ReadLine(line); ++lineIndex) {
        const RecordCheck check = CheckRecordLine(line, acceptExtendedAddress);
        if (check.kind == RecordCheck::kFault) {
            break;
        }
        const std::optional<unsigned> expected = ExpectedChecksum(line);
        if (expected) {
            const std::string_view found = std::string_view(line).substr(line.size() - 2);
            if (ExtractLineBytes(found[0], found[1]) != static_cast<int>(*expected)) {
                if (report.faults.size() < keep) {
                    report.faults.push_back({lineIndex, std::string(found), *expected});
                }
                ++report.count;
            }
        }
        if (check.kind == RecordCheck::kEndOfFile) {
            break;
        }
    }
    return report;
}

}  // namespace tolvek
