// The listing's decoders of the 12-bit and 14-bit cores, driven by the
// instruction tables of isa/.
//
// A word reaches a decoder as its four digit characters, high byte first, in the
// letter case of the record. The decision uses the digits' values, whatever
// their case; literals are copied as characters, so they keep the record's case,
// and only the upper-case text of the erased word ("3FFF", "0FFF") is blank.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "base/Conversions.h"
#include "base/SlackCopy.h"
#include "chipdb/RegisterNamer.h"
#include "decode/ListingTable.h"
#include "decode/Operands.h"
#include "isa/Isa.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tolvek {

inline constexpr std::string_view kBlank = "Blank";

// What one program word gives the listing.
struct DecodedWord {
    // The instruction text, kBlank for the erased word, or empty: the word is no
    // instruction.
    std::string_view text;
    // The register's names on the other RAM pages ("; ??? RAM Page ..."), or empty.
    std::string_view ramPageNote;
    bool skipLine = false;    // the erased word: it gets no line
    bool pageNote = false;    // a GOTO or CALL: jumpTarget holds its target
    bool blankAfter = false;  // RETURN: a separator line follows
    int jumpTarget = 0;

    bool IsInstruction() const { return !text.empty(); }
};

class ListingDecoder {
  public:
    struct Setup {
        bool core12Bit = false;  // the 12-bit core; else the 14-bit one
        bool series12 = false;   // a 12-series chip: TRIS 6 names the chip's register 6
    };

    // Room a text needs when it is built at a place of the caller's choice: a
    // mnemonic, an operand of up to kMaxText characters, its suffix, and slack.
    static constexpr std::size_t kTextRoom = 2 * kMaxText;

    // namer: the chip's register and bit names.
    ListingDecoder(RegisterNamer& namer, const Setup& setup);
    ListingDecoder(const ListingDecoder&) = delete;
    ListingDecoder& operator=(const ListingDecoder&) = delete;

    // Decodes a word text with the selected core into out, which is overwritten
    // whole. Its texts stay valid until the next word is decoded.
    void Decode(std::string_view word, DecodedWord& out);
    // The same for a word of four hexadecimal digit characters whose value the
    // caller has read (the digits of either case, high byte first). With `at`
    // the text is built there (room for kTextRoom characters), so that a
    // listing line need not copy it.
    [[gnu::always_inline]] void Decode(std::string_view word, unsigned value, DecodedWord& out,
                                       char* at = nullptr);
    // The same, the text built at `at` (room for kTextRoom characters) and the
    // result handed to take(const DecodedWord&) where it is made, so that a
    // caller's loop keeps it in registers; false when the word is no
    // instruction (take is not called).
    template <typename Take>
    [[gnu::always_inline]] bool Place(std::string_view word, unsigned value, char* at, Take&& take);

    // What a checking pass asks of a word by its value, as Decode would answer: is it
    // an instruction of the core, and the target of a GOTO or CALL (-1 for any
    // other word).
    struct Check {
        bool instruction = false;
        int jumpTarget = -1;
    };
    Check CheckWord(unsigned value) const {
        if (setup_.core12Bit) {
            if (value > 0x0FFF) {  // the top digit is not "0"
                return {};
            }
        } else if (value > 0x3FFF) {
            value = 0x3000 | (value & 0x0FFF);  // as Decode reads the top digits
        }
        // the erased word reads as its row does: an instruction that jumps nowhere
        const ListingRow* row = table_.Find(value);
        if (row == nullptr) {
            return {};
        }
        return {true, row->kBits != 0 ? static_cast<int>(value & row->kBits) : -1};
    }

    // For the eight words of a full record: a bit for each word CheckWord must
    // be asked of (bit 0 for the first word), the GOTO and CALL words and any
    // that may not be an instruction of the core. Most words of a record are
    // instructions that jump nowhere, so a checking pass asks the table only of
    // the others.
    unsigned WordsToCheck(const std::uint16_t (&words)[8]) const {
#if defined(__SSE2__)
        const isa::ListingRanges& r = table_.ranges;
        const __m128i zero = _mm_setzero_si128();
        const auto from = [zero](__m128i v, unsigned first) {  // v >= first, unsigned
            return _mm_cmpeq_epi16(_mm_subs_epu16(_mm_set1_epi16(static_cast<short>(first)), v),
                                   zero);
        };
        const auto upTo = [zero](__m128i v, unsigned last) {  // v <= last, unsigned
            return _mm_cmpeq_epi16(_mm_subs_epu16(v, _mm_set1_epi16(static_cast<short>(last))),
                                   zero);
        };
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(words));
        const __m128i inGap = _mm_and_si128(from(v, r.gapFirst), upTo(v, r.gapLast));
        const __m128i instructions = _mm_andnot_si128(
            inGap, _mm_and_si128(from(v, r.instructionsFirst), upTo(v, r.instructionsLast)));
        const __m128i jumps = _mm_and_si128(from(v, r.jumpFirst), upTo(v, r.jumpLast));
        // every lane that jumps or is not surely an instruction
        const __m128i ask =
            _mm_or_si128(jumps, _mm_andnot_si128(instructions, _mm_cmpeq_epi16(v, v)));
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(ask, zero)));
#else
        (void)words;
        return 0xFFu;
#endif
    }

  private:
    // The text of the row of the core's table that decides the word's value,
    // built at text, handed to take.
    // (Core: the selected core, so that its table's sizes are constants.)
    template <isa::Core Core, typename Take>
    bool FromTable(unsigned value, std::string_view word, char* text, Take&& take);
    // The same for the rows whose text takes more than pieces: RETLW and TRIS.
    // Returns the end of the text, nullptr for no instruction; note: the RAM
    // page note, set only where there is one.
    char* FromSpecialRow(const ListingRow& row, unsigned value, std::string_view word, char* text,
                         std::string_view& note);
    static DecodedWord Erased() {
        DecodedWord out;
        out.text = kBlank;
        out.skipLine = true;
        return out;
    }
    // Each writes its operand at `at` and returns the end of what it wrote.
    char* AppendRegister(char* at, unsigned address, int bit, std::string_view& note);
    char* AppendTris5x(char* at, unsigned port, std::string_view& note);

    RegisterNamer& namer_;
    Setup setup_;
    const ListingTable& table_;         // of the selected core
    std::array<char, kTextRoom> text_;  // where a text is built when the caller names no place
};

// Decoding a word is the inner step of a listing, so it is compiled where it
// is used.

// The text is built through a local pointer, which stays in a register: the
// stores of characters could change any member the code read through.
//
// The instruction mix of a program is as good as random to the branch
// predictor, so the common forms are put together without a branch on the
// form: each piece (register operand, destination, literal digits, jump label)
// is written where the text has got to, and the end moves past it only when it
// belongs to the row. A piece that does not belong is overwritten by the next
// or lies past the end. The rows marked special go through FromSpecialRow.
template <isa::Core Core, typename Take>
inline bool ListingDecoder::FromTable(unsigned value, std::string_view word, char* const text,
                                      Take&& take) {
    // Decode has brought the value within the table, whose size is a power of
    // two: the mask only keeps a wrong value from reading past it
    constexpr unsigned kWords = Core == isa::Core::Baseline ? 1u << 12 : 1u << 14;
    const unsigned number = table_.levels.RowOf(value & (kWords - 1), isa::ListingLevelShift(Core));
    if (number == 0) {
        return false;
    }
    const ListingRow& row = table_.rows[number - 1];
    DecodedWord out;
    if (row.special) {
        std::string_view note;
        char* const end = FromSpecialRow(row, value, word, text, note);
        if (end == nullptr) {
            return false;
        }
        out.text = std::string_view(text, std::min(static_cast<std::size_t>(end - text), kMaxText));
        out.ramPageNote = note;
        take(out);
        return true;
    }
    // the head is shorter than its array: one block holds it
    static_assert(sizeof(row.head) == kSlack);
    std::memcpy(text, row.head.data(), kSlack);
    char* at = text + row.headSize;
    const unsigned target = value & row.kBits;
    out.blankAfter = row.blankAfter;
    out.pageNote = row.labelSize != 0;
    out.jumpTarget = static_cast<int>(target);
    // only an operand longer than a block can make the text longer than the
    // limit: the head, destination, literal and label take a few characters
    static_assert(sizeof(row.head) + 2 + 2 + 6 <= kMaxText - kSlack);
    bool longOperand = false;
    {
        // a row without a register operand reads the pair of address 0 and
        // no bit, and keeps nothing of it
        const RegisterNamer::Operand operand = namer_.LookupPair(
            (value & row.fBits) + ((value & row.bBits) << row.bLift) + row.pairBase);
        const std::size_t size = operand.text.size() & row.registerMask;
        std::memcpy(at, operand.text.data(), kSlack);
        if (size > kSlack) {
            CopyWithSlack(at + kSlack, operand.text.data() + kSlack, size - kSlack);
            longOperand = true;
        }
        at += size;
        out.ramPageNote =
            std::string_view(operand.note.data(), operand.note.size() & row.registerMask);
    }
    // the destination of f,d (from tables: which it is follows no pattern a
    // branch could predict)
    const unsigned toFile = (value & row.dBits) != 0 ? 1u : 0u;
    static constexpr char kDestinations[2][2] = {{',', 'w'}, {',', 'f'}};
    std::memcpy(at, kDestinations[toFile], 2);
    at += row.destinationSizes[toFile];
    // the literal's digits as the record writes them
    std::memcpy(at, word.data() + 2, 2);
    at += row.literalSize;
    WriteTargetLabel(at, target);
    at += row.labelSize;
    // a long bit name cannot stretch a line past the text limit
    std::size_t length = static_cast<std::size_t>(at - text);
    if (longOperand) {
        length = std::min(length, kMaxText);
    }
    out.text = std::string_view(text, length);
    take(out);
    return true;
}

template <typename Take>
inline bool ListingDecoder::Place(std::string_view word, unsigned value, char* at, Take&& take) {
    if (setup_.core12Bit) {
        // 12-bit core: only words whose top digit is "0"; only the upper-case
        // text is the erased word, "0fff" is XORLW 0xff
        if (word[0] != '0') {
            return false;
        }
        if (value == 0x0FFF && word == "0FFF") {
            take(Erased());
            return true;
        }
        return FromTable<isa::Core::Baseline>(value, word, at, take);
    }
    // 14-bit core: only the upper-case text is the unprogrammed word, "3fff"
    // is ADDLW 0xff. Bits 15 and 14, which the core lacks, send a top digit
    // of 4 to F to the literal group as 3 does; the group looks at the
    // second digit only.
    if (value == 0x3FFF && word == "3FFF") {
        take(Erased());
        return true;
    }
    if (value > 0x3FFF) {
        value = 0x3000 | (value & 0x0FFF);
    }
    return FromTable<isa::Core::Midrange>(value, word, at, take);
}

inline void ListingDecoder::Decode(std::string_view word, unsigned value, DecodedWord& out,
                                   char* at) {
    out = DecodedWord{};
    Place(word, value, at != nullptr ? at : text_.data(),
          [&out](const DecodedWord& decoded) { out = decoded; });
}

}  // namespace tolvek
