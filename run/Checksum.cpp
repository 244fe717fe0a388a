#include "run/Checksum.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>

#include "base/Conversions.h"
#include "base/InputFile.h"
#include "base/LineReader.h"
#include "run/Record.h"

namespace tolvek {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The value of each hexadecimal digit character; 16 for every other character.
constexpr std::array<std::uint8_t, 256> kDigitValue = [] {
    std::array<std::uint8_t, 256> values{};
    values.fill(16);
    for (int c = 0; c < 10; ++c) {
        values['0' + c] = static_cast<std::uint8_t>(c);
    }
    for (int c = 0; c < 6; ++c) {
        values['A' + c] = values['a' + c] = static_cast<std::uint8_t>(10 + c);
    }
    return values;
}();

// The sum, modulo 256, of the bytes that the hexadecimal digit pairs of a text
// of at most 40 characters stand for, read eight characters at a time. Only
// right where every character is a digit: a quick test of a record that the
// exact ExpectedChecksum then need not repeat.
unsigned QuickByteSum(std::string_view digits) {
    char buffer[48] = {};  // the padding's NUL characters add nothing
    std::memcpy(buffer, digits.data(), std::min(digits.size(), sizeof buffer));
    std::uint64_t high = 0;  // 16-bit lanes: the first digit of each pair
    std::uint64_t low = 0;   // and the second
    for (std::size_t i = 0; i < digits.size(); i += 8) {
        std::uint64_t chars = 0;
        std::memcpy(&chars, buffer + i, 8);
        // "0"-"9" keep their low four bits; "A"-"F" and "a"-"f" have bit 6 set and
        // low bits 1 to 6, which the 9 lifts to 10 to 15
        const std::uint64_t values =
            (chars & 0x0F0F0F0F0F0F0F0Full) + 9 * ((chars >> 6) & 0x0101010101010101ull);
        high += values & 0x00FF00FF00FF00FFull;
        low += (values >> 8) & 0x00FF00FF00FF00FFull;
    }
    // each lane holds at most 5 * (15 * 16 + 15), so the four add up without a carry
    const std::uint64_t lanes = high * 16 + low;
    return static_cast<unsigned>((lanes * 0x0001000100010001ull) >> 48) & 0xFFu;
}

// True when a line's checksum is certainly right, or the line no whole record.
bool QuickChecksumTest(std::string_view line) {
    if constexpr (std::endian::native != std::endian::little) {
        return false;
    }
    const std::size_t size = line.size();
    if (size < 11) {
        return true;
    }
    if (size > kMaxRecordLine) {
        return false;  // longer than the listing takes: left to the exact sum
    }
    const int found = ExtractLineBytes(line[size - 2], line[size - 1]);
    return found >= 0 &&
           ((QuickByteSum(line.substr(1, size - 3)) + static_cast<unsigned>(found)) & 0xFFu) == 0;
}

}  // namespace

std::optional<unsigned> ExpectedChecksum(std::string_view line) {
    if (line.size() < 11 || line[0] != ':') {
        return std::nullopt;
    }
    const int byteCount = ExtractLineBytes(line[1], line[2]);
    if (byteCount < 0 || line.size() != 11 + 2 * static_cast<std::size_t>(byteCount)) {
        return std::nullopt;
    }
    unsigned sum = 0;
    for (std::size_t position = 1; position + 2 < line.size(); position += 2) {
        const unsigned high = kDigitValue[static_cast<unsigned char>(line[position])];
        const unsigned low = kDigitValue[static_cast<unsigned char>(line[position + 1])];
        if ((high | low) > 15) {
            return std::nullopt;
        }
        sum += high * 16 + low;
    }
    return (0x100u - (sum & 0xFFu)) & 0xFFu;
}

void TallyChecksum(std::string_view line, long lineIndex, ChecksumReport& report,
                   std::size_t keep) {
    // most records are right, and the quick test tells so at a fraction of the cost
    const std::optional<unsigned> expected =
        QuickChecksumTest(line) ? std::nullopt : ExpectedChecksum(line);
    if (expected) {
        const std::string_view found = line.substr(line.size() - 2);
        if (ExtractLineBytes(found[0], found[1]) != static_cast<int>(*expected)) {
            if (report.faults.size() < keep) {
                report.faults.push_back({lineIndex, std::string(found), *expected});
            }
            ++report.count;
        }
    }
}

ChecksumReport ScanChecksums(const std::string& path, std::size_t keep) {
    ChecksumReport report;
    IoError error;  // the run itself reports a file it cannot read
    const std::unique_ptr<std::FILE, FileCloser> input(
        OpenInputFile(path, "Cannot open the input file", error));
    if (!input) {
        return report;
    }
    LineReader reader(input.get());
    std::string_view line;
    for (long lineIndex = 0; reader.ReadLine(line); ++lineIndex) {
        TallyChecksum(line, lineIndex, report, keep);
        // the run reads nothing after its end-of-file record
        if (line.size() >= 9 && line[7] == '0' && line[8] == '1' &&
            CheckRecordLine(line).kind == RecordCheck::kEndOfFile) {
            break;
        }
    }
    return report;
}

}  // namespace tolvek
