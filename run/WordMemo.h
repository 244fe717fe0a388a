// What the decoder gave each distinct program word during the building pass.
//
// A decoder's result depends only on the word's four characters and the
// selected chip. Program memory has at most 16K distinct words, so in a large
// image the same words come back again and again; past its first kWordsFirst
// words the building pass decodes each distinct word once and reuses the
// result. (The checking pass asks the decoder only whether a word is an
// instruction and where it jumps, which costs less than a memo would.)
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "decode/Decoder.h"

#include "base/Conversions.h"
#include "base/SlackCopy.h"

namespace tolvek {

namespace detail {
// Digit values of 0-9 and A-F; -1 for every other character, so that a word
// text in lower case is a key of its own.
inline constexpr std::array<signed char, 256> kKeyDigits = [] {
    std::array<signed char, 256> digits{};
    for (std::size_t c = 0; c < 256; ++c) {
        const bool upper = kHexTables.isHex[c] && !(c >= 'a' && c <= 'f');
        digits[c] = upper ? static_cast<signed char>(kHexTables.value[c]) : -1;
    }
    return digits;
}();
}  // namespace detail

class WordMemo {
  public:
    // Words the building pass decodes before it uses the memo: two images of the
    // largest program memory. Below that the misses (a cache miss on the table
    // and a copy into it) cost more than the hits save.
    static constexpr int kWordsFirst = 16384;

    // Forgets everything remembered: called when a pass starts.
    void NewPass();

    // Key of a word text: its value below 0x4000 when all four characters are
    // digits or upper-case letters (the value then names the text exactly);
    // -1 for any other word, which is not remembered.
    static int Key(const char (&word)[4]) {
        const auto& table = detail::kKeyDigits;
        const int d0 = table[static_cast<unsigned char>(word[0])];
        const int d1 = table[static_cast<unsigned char>(word[1])];
        const int d2 = table[static_cast<unsigned char>(word[2])];
        const int d3 = table[static_cast<unsigned char>(word[3])];
        if ((d0 | d1 | d2 | d3) < 0) {
            return -1;
        }
        const int value = ((d0 * 16 + d1) * 16 + d2) * 16 + d3;
        return value < static_cast<int>(kKeys) ? value : -1;
    }

    // The remembered result of a key, or false.
    bool Find(int key, DecodedWord& result) const {
        if (entries_.empty()) {
            return false;
        }
        const Entry& entry = entries_[static_cast<std::size_t>(key)];
        if (entry.pass != pass_) {
            return false;
        }
        const char* text = texts_.data() + entry.textOffset;
        result.text = std::string_view(text, entry.textSize);
        result.ramPageNote = std::string_view(text + entry.textSize + kSlack, entry.noteSize);
        result.skipLine = (entry.flags & kSkipLine) != 0;
        result.pageNote = (entry.flags & kPageNote) != 0;
        result.blankAfter = (entry.flags & kBlankAfter) != 0;
        result.jumpTarget = entry.jumpTarget;
        return true;
    }
    // Remembers what an accepted word gave.
    void Store(int key, const DecodedWord& decoded);

    // Keys run from 0 to kKeys - 1.
    static constexpr unsigned kKeys = 0x4000;

  private:
    static constexpr std::uint8_t kSkipLine = 1;
    static constexpr std::uint8_t kPageNote = 2;
    static constexpr std::uint8_t kBlankAfter = 4;
    struct Entry {
        std::uint32_t pass = 0;  // the pass it belongs to; 0: never stored
        std::uint32_t textOffset = 0;
        std::uint16_t textSize = 0;
        std::uint16_t noteSize = 0;
        std::int16_t jumpTarget = 0;
        std::uint8_t flags = 0;
    };

    std::vector<Entry> entries_;
    // text and note of each stored word, one after the other, each followed by
    // kSlack bytes (base/SlackCopy.h)
    std::string texts_;
    std::uint32_t pass_ = 0;
};

}  // namespace tolvek
