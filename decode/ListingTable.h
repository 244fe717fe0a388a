// A core's instruction table prepared for the listing's decoders: the row that
// decides each word, and each row's fields and leading text.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "base/SlackCopy.h"
#include "isa/Isa.h"

namespace tolvek {

// A row of a core's table as the listing writes it.
struct ListingRow {
    isa::Form form = isa::Form::None;
    isa::Flow flow = isa::Flow::Next;
    // The text before the operand: the mnemonic and, where an operand follows,
    // one blank and the operand's fixed start ("0x" of a literal, "0" of a
    // 14-bit TRIS port). Kept with the slack of a block copy (base/SlackCopy.h).
    std::array<char, kSlack> head{};
    std::uint8_t headSize = 0;
    // The word's fields where they lie. Both cores keep f (the register, or a
    // TRIS port) and k in the low bits.
    // The jump target's bits, on a row that jumps (GOTO and CALL); 0 on any
    // other, so that its target is 0.
    std::uint16_t kBits = 0;
    // What follows the head, worked out once for the row, so that a word's text
    // is put together without a branch on its form: every piece is written and
    // the end moves only past those of the row's form.
    bool special = false;          // RETLW, TRIS and forms the listing does not read
    std::size_t registerMask = 0;  // all ones for a register operand (f, f,d and f,b)
    // The register operand's pair number (RegisterNamer::LookupPair) from the
    // word w: (w & fBits) + ((w & bBits) << bLift) + pairBase. fBits holds the
    // f field, bBits the b field of a bit operand (0 on any other row), which
    // bLift moves to bit 7; pairBase counts the bit's place from "no bit"
    // (RegisterNamer::kNoBit).
    std::uint16_t fBits = 0;
    std::uint16_t bBits = 0;
    std::uint8_t bLift = 0;
    std::uint16_t pairBase = 0;
    std::uint16_t dBits = 0;  // the d field where it lies
    // The length of the destination (",w" or ",f") written for d = 0 and d = 1:
    // 2 on an f,d row, but the 12-bit listing names only the W destination.
    std::array<std::uint8_t, 2> destinationSizes{};
    std::uint8_t literalSize = 0;  // 2 for a literal's digits
    std::uint8_t labelSize = 0;    // 6 for a jump target's label
    bool blankAfter = false;       // RETURN: a separator line follows
};

// The first row that matches each word of a core (Listing rows included), as
// isa::FirstRows found it when the program was compiled: decoding a word is a
// look-up or two.
struct ListingTable {
    unsigned words = 0;  // the core's words, a power of two: 4096 or 16384
    std::vector<ListingRow> rows;
    isa::ListingRanges ranges;  // where every word is an instruction, and the jumps
    // The row number (from 1; 0 for none) of each word, in two levels of a few
    // hundred bytes: a table of every word is 16 KB, which a new process finds
    // outside the processor's nearest cache, word after word.
    isa::ListingRowLevels levels;

    explicit ListingTable(isa::Core core);

    static const ListingTable& Baseline();
    static const ListingTable& Midrange();

    const ListingRow* Find(unsigned value) const {
        const unsigned row = value < words ? levels.Row(value) : 0;
        return row == 0 ? nullptr : &rows[row - 1];
    }
};

}  // namespace tolvek
