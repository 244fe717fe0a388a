#include "image/HexImage.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <tuple>

#include "base/Conversions.h"
#include "base/InputFile.h"
#include "base/LineReader.h"

namespace tolvek::image {

void Image::Set(std::uint64_t address, std::uint8_t value) {
    if (address >= kLimit) {
        if (beyondCount_ == 0 || address < firstBeyond_) {
            firstBeyond_ = address;
        }
        ++beyondCount_;
        return;
    }
    std::unique_ptr<std::uint16_t[]>& chunk = chunks_[address / kChunk];
    if (chunk == nullptr) {
        chunk = std::make_unique<std::uint16_t[]>(kChunk);
        std::fill_n(chunk.get(), kChunk, kAbsent);
    }
    // a later record for the same address wins, as programmers load them
    std::uint16_t& slot = chunk[address % kChunk];
    if (slot == kAbsent) {
        ++count_;
    }
    slot = value;
}

bool Image::Word(std::uint32_t wordAddress, unsigned& word) const {
    const std::uint32_t low = wordAddress * 2;
    if (!Has(low) && !Has(low + 1)) {
        return false;
    }
    word = Byte(low, 0xFF) | Byte(low + 1, 0xFF) << 8;
    return true;
}

namespace {

std::string Hex(unsigned value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*X", digits, value);
    return buffer;
}

// One record; the line is without its end-of-line characters.
bool ParseRecord(std::string_view line, Image& image, std::uint64_t& base, bool& ended,
                 unsigned divisor, std::string& reason) {
    if (line.empty() || line[0] != ':') {
        reason = "a record must start with ':'";
        return false;
    }
    const std::string_view digits = line.substr(1);
    if (digits.size() % 2 != 0 || digits.size() < 10) {
        reason = digits.size() < 10 ? "the record is too short"
                                    : "the record has an odd number of hex digits";
        return false;
    }
    std::uint8_t bytes[260] = {};
    const std::size_t count = digits.size() / 2;
    if (count > sizeof bytes) {
        reason = "the record is longer than 255 data bytes allow";
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const int value = ExtractLineBytes(digits[2 * i], digits[2 * i + 1]);
        if (value < 0) {
            reason.assign(1, '\'').append(digits.substr(2 * i, 2)).append("' is not a hex byte");
            return false;
        }
        bytes[i] = static_cast<std::uint8_t>(value);
    }
    const unsigned length = bytes[0];
    if (count != length + 5u) {
        reason = "the byte count says " + std::to_string(length) + " data bytes, the record has " +
                 std::to_string(count >= 5 ? count - 5 : 0);
        return false;
    }
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        sum += bytes[i];
    }
    if ((sum & 0xFF) != 0) {
        const unsigned expected = (0x100 - ((sum - bytes[count - 1]) & 0xFF)) & 0xFF;
        reason = "checksum " + Hex(bytes[count - 1], 2) +
                 " is wrong (the record's bytes call for " + Hex(expected, 2) + ")";
        return false;
    }
    const unsigned offset = bytes[1] << 8 | bytes[2];
    const std::uint8_t* data = bytes + 4;
    switch (bytes[3]) {
        case 0x00:
            for (unsigned i = 0; i < length; ++i) {
                image.Set((base + offset) / divisor + i, data[i]);
            }
            return true;
        case 0x01:
            ended = true;
            return true;
        case 0x02:
        case 0x04:
            if (length != 2) {
                reason = "an extended address record holds 2 data bytes, this one " +
                         std::to_string(length);
                return false;
            }
            base = static_cast<std::uint64_t>(data[0] << 8 | data[1]) << (bytes[3] == 4 ? 16 : 4);
            return true;
        case 0x03:
        case 0x05:
            return true;  // start addresses mean nothing to a PIC image
        default:
            reason = "unknown record type " + Hex(bytes[3], 2);
            return false;
    }
}

}  // namespace

bool ParseIntelHex(std::string_view text, Image& image, ReadError& error, unsigned divisor) {
    std::uint64_t base = 0;
    bool ended = false;
    std::size_t lineNumber = 0;
    std::size_t pos = 0;
    while (pos < text.size() && !ended) {
        std::string_view line = NextLine(text, pos);
        ++lineNumber;
        while (!line.empty() &&
               (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
            line.remove_suffix(1);
        }
        if (line.empty()) {
            continue;
        }
        std::string reason;
        if (!ParseRecord(line, image, base, ended, divisor, reason)) {
            error.line = lineNumber;
            error.reason = reason;
            return false;
        }
    }
    if (!ended) {
        error.line = lineNumber;
        error.reason = "the file ends without an end-of-file record (:00000001FF)";
        return false;
    }
    return true;
}

namespace {

bool ReadText(const std::string& path, std::string& text, ReadError& error) {
    IoError failure;
    std::FILE* raw = OpenInputFile(path, "Cannot open the input file", failure);
    if (raw == nullptr) {
        error.line = 0;
        error.reason = failure.Message();
        return false;
    }
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(raw, std::fclose);
    char buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, raw)) > 0) {
        text.append(buffer, got);
    }
    if (std::ferror(raw)) {
        error.line = 0;
        error.reason = "cannot read \"" + path + "\"";
        return false;
    }
    return true;
}

// Split files come in two forms: each record's address counts words (the
// classic form), or it is twice the word address (gpasm -a inhx8s). The data
// records of both halves together tell which, and both are read alike:
// - twice a word address is even, so an odd address counts words;
// - a record whose successor starts one address further per data byte, or
//   would overlap it if its addresses were doubled, counts words; one whose
//   successor starts two addresses further per data byte counts bytes;
// - where nothing tells (a pair of one record each, records with gaps between
//   them) every address is even, as gpasm writes them, and is read so. A
//   classic pair shows an odd address as soon as it holds a configuration
//   word (0FFFh, 2007h, 8007h).
unsigned SplitDivisor(std::initializer_list<std::string_view> halves) {
    int byWords = 0;
    int byBytes = 0;
    for (const std::string_view text : halves) {
        long previousEnd = -1;
        long previousStart = -1;
        std::size_t pos = 0;
        while (pos < text.size()) {
            const std::string_view line = NextLine(text, pos);
            if (line.size() < 11 || line[0] != ':' || line.substr(7, 2) != "00") {
                continue;
            }
            const int count = ExtractLineBytes(line[1], line[2]);
            const int address = ExtractAddressBytes(line[3], line[4], line[5], line[6]);
            if (count <= 0 || address < 0) {
                continue;
            }
            if (address % 2 != 0) {
                return 1;
            }
            if (previousStart >= 0) {
                const long words = previousEnd - previousStart;
                byWords += address >= previousEnd && address < previousStart + 2 * words;
                byBytes += address == previousStart + 2 * words;
            }
            previousStart = address;
            previousEnd = address + count;
        }
    }
    return byWords > byBytes ? 1 : 2;
}
}  // namespace

bool ReadIntelHexFile(const std::string& path, Image& image, ReadError& error) {
    std::string text;
    return ReadText(path, text, error) && ParseIntelHex(text, image, error);
}

bool ReadSplitPair(const std::string& lowPath, const std::string& highPath, Image& image,
                   ReadError& error) {
    std::string lowText;
    std::string highText;
    if (!ReadText(lowPath, lowText, error) || !ReadText(highPath, highText, error)) {
        return false;
    }
    const unsigned divisor = SplitDivisor({lowText, highText});
    Image low;
    Image high;
    for (auto [path, text, half] :
         {std::tuple{&lowPath, &lowText, &low}, std::tuple{&highPath, &highText, &high}}) {
        if (!ParseIntelHex(*text, *half, error, divisor)) {
            error.reason = "\"" + *path + "\": " + error.reason;
            return false;
        }
    }
    // each half holds one byte per word address
    for (const Image* half : {&low, &high}) {
        const unsigned shift = half == &high ? 1 : 0;
        half->ForEach(
            [&](std::uint32_t a) { image.Set(std::uint64_t{a} * 2 + shift, half->Byte(a, 0)); });
        if (half->BeyondCount() != 0) {
            image.Set(half->FirstBeyond() * 2 + shift, 0);
        }
    }
    return true;
}

}  // namespace tolvek::image
