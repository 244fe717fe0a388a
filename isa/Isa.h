// The instruction sets of the three cores as ordered tables, and a decoder over them.
//
// Each table lists a core's instructions the way its datasheet's instruction
// summary does: the bit pattern, the mnemonic, the operand form and what the
// instruction does to the program's flow. Decoding tries the rows in order and
// the first whose fixed bits match wins.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "isa/Core.h"
#include "isa/Pattern.h"

namespace tolvek::isa {

// How an instruction's operands are written.
enum class Form : std::uint8_t {
    None,        // NOP, RETURN, ...
    File,        // f          MOVWF, CLRF
    FileDest,    // f,d        ADDWF, MOVF, ...
    FileBit,     // f,b        BCF, BTFSS, ...
    Literal,     // k          MOVLW, RETLW, ... (8 bits)
    Address,     // k          CALL, GOTO: the target's low bits within its page
    Tris,        // f          TRIS: the port register's low three bits
    Bank,        // k          MOVLB
    Page,        // k          MOVLP
    Relative,    // k          BRA: signed offset from the next word
    FsrOffset,   // n,k        ADDFSR: FSRn plus a signed 6-bit value
    FsrModify,   // m n        MOVIW/MOVWI ++FSRn, --FSRn, FSRn++, FSRn--
    FsrIndexed,  // k[n]       MOVIW/MOVWI with a signed 6-bit offset
};

// What an instruction does to the flow of control.
enum class Flow : std::uint8_t {
    Next,             // goes on with the next word
    Skip,             // goes on with the next word or the one after it
    Goto,             // jumps to its address
    Call,             // calls its address, then goes on with the next word
    Return,           // RETURN
    ReturnLiteral,    // RETLW
    ReturnInterrupt,  // RETFIE
    Branch,           // BRA: jumps relative to the next word
    BranchW,          // BRW: jumps W words past the next word
    CallW,            // CALLW: calls PCLATH:W
    Reset,            // RESET
};

// Which decoders read a row. The classic listing keeps a few decisions of its
// own for words the datasheets leave undefined; those rows are marked Listing
// and the source path never sees them.
enum class Scope : std::uint8_t { All, Listing };

struct Instruction {
    std::string_view mnemonic;  // upper case, as the datasheet writes it
    Pattern pattern;
    Form form;
    Flow flow = Flow::Next;
    Scope scope = Scope::All;
    // The ignored bits as assemblers write them (gpasm and MPASM set CLRW's low two bits).
    std::uint16_t filler = 0;
};

// The table of a core, in decision order.
std::span<const Instruction> Table(Core core);

// The row that decides each word of a core, as the number (from 1) of the first
// row whose fixed bits match it, 0 for a word that is no instruction; listing:
// the Listing rows take part too (empty for the enhanced core, which has none).
std::span<const std::uint8_t> FirstRows(Core core, bool listing = false);

// FirstRows with the Listing rows in two levels: for a word w, top[w >> shift]
// is its row number when below 0x80; else the low seven bits number a block of
// 2^shift entries in blocks, where w's low bits find it. Empty for the enhanced
// core.
struct ListingRowLevels {
    std::span<const std::uint8_t> top;
    std::span<const std::uint8_t> blocks;
    unsigned shift = 0;

    unsigned Row(unsigned word) const { return RowOf(word, shift); }
    // The same where the caller knows the core's shift (ListingLevelShift):
    // the listing's inner loop.
    unsigned RowOf(unsigned word, unsigned levelShift) const {
        const unsigned first = top[word >> levelShift];
        return first < 0x80
                   ? first
                   : blocks[((first & 0x7Fu) << levelShift) | (word & ((1u << levelShift) - 1))];
    }
};
ListingRowLevels ListingRowLevelsOf(Core core);
// The shift of a core's ListingRowLevels: blocks of 32 words on the 12-bit
// core, of 128 on the 14-bit one.
constexpr unsigned ListingLevelShift(Core core) {
    return core == Core::Baseline ? 5 : 7;
}

// Where the listing (FirstRows with its Listing rows) finds only instructions:
// every word from instructionsFirst to instructionsLast but those from
// gapFirst to gapLast is one, and of those the GOTO and CALL words are exactly
// jumpFirst to jumpLast. Each range is empty when its first lies above its
// last; all are for the enhanced core, which has no listing.
struct ListingRanges {
    unsigned instructionsFirst = 1;
    unsigned instructionsLast = 0;
    unsigned gapFirst = 1;
    unsigned gapLast = 0;
    unsigned jumpFirst = 1;
    unsigned jumpLast = 0;
};
ListingRanges ListingRangesOf(Core core);

// One decoded word.
struct Decoded {
    const Instruction* instruction = nullptr;  // null: the word is no instruction
    unsigned word = 0;
    unsigned file = 0;     // f: register address within the bank
    unsigned bit = 0;      // b
    bool toFile = false;   // d: the result goes to the register (",f")
    unsigned literal = 0;  // k, unsigned: literal, address, bank, page, TRIS port
    int offset = 0;        // k, signed: BRA, ADDFSR, indexed MOVIW/MOVWI
    unsigned fsr = 0;      // n
    unsigned mode = 0;     // m: 0 ++FSRn, 1 --FSRn, 2 FSRn++, 3 FSRn--
    // False when the bits the instruction ignores differ from what an assembler
    // writes there: such a word does not come back from its text and must be
    // kept as data.
    bool canonical = true;

    explicit operator bool() const { return instruction != nullptr; }
};

// Decodes a word with the rows of every scope but Listing.
Decoded Decode(Core core, unsigned word);

// The instruction as gpasm reads it, with numbers only: "addwf 0x25, f",
// "bsf 0x03, 5", "goto 0x123", "moviw 5[FSR1]". The empty text for no instruction.
std::string FormatPlain(const Decoded& decoded);

}  // namespace tolvek::isa
