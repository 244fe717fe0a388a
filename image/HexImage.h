// The program image of the reconstructed-source path, read from Intel-hex text
// the way the Intel-hex standard describes it: any byte count per record,
// extended linear (04) and segment (02) addresses, checksums verified.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tolvek::image {

// The bytes of an image by byte address. Every PIC12/PIC16 region (program,
// IDs, config, EEPROM at F000h words) lies below kLimit; bytes above it are only
// counted, which also bounds the memory a hostile file can claim.
class Image {
  public:
    static constexpr std::uint32_t kLimit = 0x20000;

    Image() : chunks_(kLimit / kChunk) {}

    void Set(std::uint64_t address, std::uint8_t value);
    bool Has(std::uint32_t address) const {
        return address < kLimit && chunks_[address / kChunk] != nullptr &&
               chunks_[address / kChunk][address % kChunk] != kAbsent;
    }
    // The byte at address, or fallback when the image has none there.
    unsigned Byte(std::uint32_t address, unsigned fallback) const {
        return Has(address) ? chunks_[address / kChunk][address % kChunk] : fallback;
    }
    // The little-endian word at word address, absent bytes read as 0xFF; false
    // when neither byte is in the image.
    bool Word(std::uint32_t wordAddress, unsigned& word) const;

    std::size_t Count() const { return count_; }
    // Bytes at or above kLimit: how many, and the lowest such address.
    std::size_t BeyondCount() const { return beyondCount_; }
    std::uint64_t FirstBeyond() const { return firstBeyond_; }

    // Calls f(address) for each byte address the image holds, in order.
    template <typename F>
    void ForEach(F f) const {
        for (std::uint32_t c = 0; c < chunks_.size(); ++c) {
            if (chunks_[c] == nullptr) {
                continue;
            }
            for (std::uint32_t i = 0; i < kChunk; ++i) {
                if (chunks_[c][i] != kAbsent) {
                    f(c * kChunk + i);
                }
            }
        }
    }

  private:
    static constexpr std::uint16_t kAbsent = 0x100;
    // Memory in chunks made as records reach them: an image uses a few.
    static constexpr std::uint32_t kChunk = 4096;
    std::vector<std::unique_ptr<std::uint16_t[]>> chunks_;
    std::size_t count_ = 0;
    std::size_t beyondCount_ = 0;
    std::uint64_t firstBeyond_ = 0;
};

struct ReadError {
    std::size_t line = 0;  // 1-based; 0 for a fault of the file as a whole
    std::string reason;
};

// Reads Intel-hex text into image. On the first bad record returns false with
// its line and the reason; image then holds a part of the data and must not be used.
// divisor 2 halves every record's address (the data bytes of a record then
// still follow one another): the split files gpasm writes.
bool ParseIntelHex(std::string_view text, Image& image, ReadError& error, unsigned divisor = 1);

// The same for a file; an unreadable file is reported with line 0.
bool ReadIntelHexFile(const std::string& path, Image& image, ReadError& error);

// An INHX8S pair: the low-byte file and the high-byte file, each holding one
// byte per word, at word addresses or (as gpasm writes them) at twice those.
// Faults name the file in error.reason.
bool ReadSplitPair(const std::string& lowPath, const std::string& highPath, Image& image,
                   ReadError& error);

}  // namespace tolvek::image
