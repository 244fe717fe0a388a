// Jump-target labels and the duplicate-ROM notes of GOTO and CALL.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "decode/Operands.h"

namespace tolvek {

inline constexpr int kTargetTableSize = 3001;
// TestForDup succeeds only while the table holds at most this many labels when
// it is called.
inline constexpr int kTargetCapacity = 2995;

// The same place in every other 2048-word ROM page, in ascending order: fills
// alternatives and returns their number.
inline std::size_t PageAlternatives(int t, int romPages, std::array<int, 3>& alternatives) {
    if (romPages == 2) {
        alternatives[0] = t < 2048 ? t + 2048 : t - 2048;
        return 1;
    }
    if (romPages == 4) {
        if (t < 2048) {
            alternatives = {t + 2048, t + 4096, t + 6144};
        } else if (t < 4096) {
            alternatives = {t - 2048, t + 2048, t + 4096};
        } else if (t < 6144) {
            alternatives = {t - 4096, t - 2048, t + 2048};
        } else {
            alternatives = {t - 6144, t - 4096, t - 2048};
        }
        return 3;
    }
    return 0;
}

// The longest page note.
inline constexpr std::size_t kMaxPageNote = 48;
// The page note written after a GOTO or CALL ("; ??? Duplicate ROM - " and the
// labels of the other pages) at out; returns the end of what was written (out
// when the chip has no other pages).
inline char* WritePageNote(char* out, int target, int romPages) {
    static constexpr std::string_view kLead = "; ??? Duplicate ROM - ";
    std::array<int, 3> alternatives{};
    const std::size_t count = PageAlternatives(target, romPages, alternatives);
    if (count == 0) {
        return out;
    }
    std::memcpy(out, kLead.data(), kLead.size());
    out += kLead.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) {
            *out++ = ',';
            *out++ = ' ';
        }
        out = WriteTargetLabel(out, static_cast<unsigned>(alternatives[i]) & 0xFFFF);
    }
    return out;
}

// The labels of the current run: every GOTO and CALL target and its page
// alternatives, each counted as it is added (a repeated alternative counts again).
class TargetTable {
  public:
    // Empties every entry; done when a run starts.
    void Clear();

    // Records the label of a target and its page alternatives; false when the
    // table is full.
    bool TestForDup(unsigned wordAddress, int target, int romPages);

    // The 12-character label column of a word, written at out: its label and six
    // blanks when the label is in the table, twelve blanks otherwise; returns out + 12.
    char* WriteLabelColumn(char* out, unsigned wordAddress) const {
        const bool present = wordAddress < 65536 && Test(wordAddress) != 0;
        if constexpr (std::endian::native == std::endian::little) {
            // Which words have labels follows no pattern a branch could
            // predict: both first eight bytes are made and one is chosen by a
            // mask.
            constexpr std::uint64_t kBlanks = 0x2020202020202020u;
            const std::uint64_t label = TargetLabelBytes(wordAddress) | (kBlanks << 48);
            const std::uint64_t mask = std::uint64_t{0} - std::uint64_t{present};
            const std::uint64_t first = (label & mask) | (kBlanks & ~mask);
            std::memcpy(out, &first, 8);
            std::memset(out + 8, ' ', 4);
        } else {
            std::memset(out, ' ', 12);
            if (present) {
                WriteTargetLabel(out, wordAddress);
                out[6] = ' ';
                out[7] = ' ';
            }
        }
        return out + 12;
    }

  private:
    std::uint64_t Test(unsigned wordAddress) const {
        return present_[wordAddress >> 6] >> (wordAddress & 63) & 1u;
    }
    void Add(unsigned wordAddress);

    int count_ = 0;
    // Labels are "ad" plus four digits, so each label stands for one 16-bit
    // address: a bit for each.
    std::array<std::uint64_t, 65536 / 64> present_{};
};

}  // namespace tolvek
