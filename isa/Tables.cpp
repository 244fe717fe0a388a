// The instruction tables. Each row reads as a line of the datasheet's instruction
// summary; rows are tried in order and the first match wins, so an instruction
// with more fixed bits stands before a wider one that would also match.
//
// Rows marked Listing are the classic listing's readings of words the
// datasheets leave undefined; they stand where its decision list takes them.
#include <algorithm>
#include <array>
#include <cstdio>

#include "isa/Isa.h"

namespace tolvek::isa {

namespace {

using F = Form;
using L = Flow;
constexpr Scope kListing = Scope::Listing;

// 12-bit core: 33 instructions. The listing reads every word whose top digit is
// 0: the TRIS, MOVWF and CLRF rows of the undefined words take the port or
// register from the low bits as the defined ones do.
constexpr std::array kBaseline = {
    Instruction{"NOP", Pattern("0000 0000 0000"), F::None},
    Instruction{"OPTION", Pattern("0000 0000 0010"), F::None},
    Instruction{"SLEEP", Pattern("0000 0000 0011"), F::None},
    Instruction{"CLRWDT", Pattern("0000 0000 0100"), F::None},
    Instruction{"TRIS", Pattern("0000 0000 0fff"), F::Tris},
    Instruction{"TRIS", Pattern("0000 0000 1fff"), F::Tris, L::Next, kListing},
    Instruction{"MOVWF", Pattern("0000 001f ffff"), F::File},
    Instruction{"MOVWF", Pattern("0000 000f ffff"), F::File, L::Next, kListing},
    Instruction{"CLRW", Pattern("0000 0100 0000"), F::None},
    Instruction{"CLRF", Pattern("0000 011f ffff"), F::File},
    Instruction{"CLRF", Pattern("0000 010f ffff"), F::File, L::Next, kListing},
    Instruction{"SUBWF", Pattern("0000 10df ffff"), F::FileDest},
    Instruction{"DECF", Pattern("0000 11df ffff"), F::FileDest},
    Instruction{"IORWF", Pattern("0001 00df ffff"), F::FileDest},
    Instruction{"ANDWF", Pattern("0001 01df ffff"), F::FileDest},
    Instruction{"XORWF", Pattern("0001 10df ffff"), F::FileDest},
    Instruction{"ADDWF", Pattern("0001 11df ffff"), F::FileDest},
    Instruction{"MOVF", Pattern("0010 00df ffff"), F::FileDest},
    Instruction{"COMF", Pattern("0010 01df ffff"), F::FileDest},
    Instruction{"INCF", Pattern("0010 10df ffff"), F::FileDest},
    Instruction{"DECFSZ", Pattern("0010 11df ffff"), F::FileDest, L::Skip},
    Instruction{"RRF", Pattern("0011 00df ffff"), F::FileDest},
    Instruction{"RLF", Pattern("0011 01df ffff"), F::FileDest},
    Instruction{"SWAPF", Pattern("0011 10df ffff"), F::FileDest},
    Instruction{"INCFSZ", Pattern("0011 11df ffff"), F::FileDest, L::Skip},
    Instruction{"BCF", Pattern("0100 bbbf ffff"), F::FileBit},
    Instruction{"BSF", Pattern("0101 bbbf ffff"), F::FileBit},
    Instruction{"BTFSC", Pattern("0110 bbbf ffff"), F::FileBit, L::Skip},
    Instruction{"BTFSS", Pattern("0111 bbbf ffff"), F::FileBit, L::Skip},
    Instruction{"RETLW", Pattern("1000 kkkk kkkk"), F::Literal, L::ReturnLiteral},
    Instruction{"CALL", Pattern("1001 kkkk kkkk"), F::Address, L::Call},
    Instruction{"GOTO", Pattern("101k kkkk kkkk"), F::Address, L::Goto},
    Instruction{"MOVLW", Pattern("1100 kkkk kkkk"), F::Literal},
    Instruction{"IORLW", Pattern("1101 kkkk kkkk"), F::Literal},
    Instruction{"ANDLW", Pattern("1110 kkkk kkkk"), F::Literal},
    Instruction{"XORLW", Pattern("1111 kkkk kkkk"), F::Literal},
};

// 14-bit core: 35 instructions and the legacy OPTION and TRIS. The listing reads
// every other control word whose third digit is 1 to 7 as TRIS of the port in
// its low three bits; 0001-0007 and 000A-000F stay no instruction.
constexpr std::array kMidrange = {
    Instruction{"NOP", Pattern("00 0000 0--0 0000"), F::None},
    Instruction{"RETURN", Pattern("00 0000 0000 1000"), F::None, L::Return},
    Instruction{"RETFIE", Pattern("00 0000 0000 1001"), F::None, L::ReturnInterrupt},
    Instruction{"OPTION", Pattern("00 0000 0110 0010"), F::None},
    Instruction{"SLEEP", Pattern("00 0000 0110 0011"), F::None},
    Instruction{"CLRWDT", Pattern("00 0000 0110 0100"), F::None},
    Instruction{"TRIS", Pattern("00 0000 0110 0fff"), F::Tris},
    Instruction{"TRIS", Pattern("00 0000 0001 -fff"), F::Tris, L::Next, kListing},
    Instruction{"TRIS", Pattern("00 0000 001- -fff"), F::Tris, L::Next, kListing},
    Instruction{"TRIS", Pattern("00 0000 01-- -fff"), F::Tris, L::Next, kListing},
    Instruction{"MOVWF", Pattern("00 0000 1fff ffff"), F::File},
    Instruction{"CLRW", Pattern("00 0001 0--- ----"), F::None, L::Next, Scope::All, 0x03},
    Instruction{"CLRF", Pattern("00 0001 1fff ffff"), F::File},
    Instruction{"SUBWF", Pattern("00 0010 dfff ffff"), F::FileDest},
    Instruction{"DECF", Pattern("00 0011 dfff ffff"), F::FileDest},
    Instruction{"IORWF", Pattern("00 0100 dfff ffff"), F::FileDest},
    Instruction{"ANDWF", Pattern("00 0101 dfff ffff"), F::FileDest},
    Instruction{"XORWF", Pattern("00 0110 dfff ffff"), F::FileDest},
    Instruction{"ADDWF", Pattern("00 0111 dfff ffff"), F::FileDest},
    Instruction{"MOVF", Pattern("00 1000 dfff ffff"), F::FileDest},
    Instruction{"COMF", Pattern("00 1001 dfff ffff"), F::FileDest},
    Instruction{"INCF", Pattern("00 1010 dfff ffff"), F::FileDest},
    Instruction{"DECFSZ", Pattern("00 1011 dfff ffff"), F::FileDest, L::Skip},
    Instruction{"RRF", Pattern("00 1100 dfff ffff"), F::FileDest},
    Instruction{"RLF", Pattern("00 1101 dfff ffff"), F::FileDest},
    Instruction{"SWAPF", Pattern("00 1110 dfff ffff"), F::FileDest},
    Instruction{"INCFSZ", Pattern("00 1111 dfff ffff"), F::FileDest, L::Skip},
    Instruction{"BCF", Pattern("01 00bb bfff ffff"), F::FileBit},
    Instruction{"BSF", Pattern("01 01bb bfff ffff"), F::FileBit},
    Instruction{"BTFSC", Pattern("01 10bb bfff ffff"), F::FileBit, L::Skip},
    Instruction{"BTFSS", Pattern("01 11bb bfff ffff"), F::FileBit, L::Skip},
    Instruction{"CALL", Pattern("10 0kkk kkkk kkkk"), F::Address, L::Call},
    Instruction{"GOTO", Pattern("10 1kkk kkkk kkkk"), F::Address, L::Goto},
    Instruction{"MOVLW", Pattern("11 00-- kkkk kkkk"), F::Literal},
    Instruction{"RETLW", Pattern("11 01-- kkkk kkkk"), F::Literal, L::ReturnLiteral},
    Instruction{"IORLW", Pattern("11 1000 kkkk kkkk"), F::Literal},
    Instruction{"ANDLW", Pattern("11 1001 kkkk kkkk"), F::Literal},
    Instruction{"XORLW", Pattern("11 1010 kkkk kkkk"), F::Literal},
    Instruction{"SUBLW", Pattern("11 110- kkkk kkkk"), F::Literal},
    Instruction{"ADDLW", Pattern("11 111- kkkk kkkk"), F::Literal},
};

// Enhanced 14-bit core: 49 instructions and the legacy OPTION and TRIS.
constexpr std::array kEnhanced = {
    Instruction{"NOP", Pattern("00 0000 0000 0000"), F::None},
    Instruction{"RESET", Pattern("00 0000 0000 0001"), F::None, L::Reset},
    Instruction{"RETURN", Pattern("00 0000 0000 1000"), F::None, L::Return},
    Instruction{"RETFIE", Pattern("00 0000 0000 1001"), F::None, L::ReturnInterrupt},
    Instruction{"CALLW", Pattern("00 0000 0000 1010"), F::None, L::CallW},
    Instruction{"BRW", Pattern("00 0000 0000 1011"), F::None, L::BranchW},
    Instruction{"MOVIW", Pattern("00 0000 0001 0nmm"), F::FsrModify},
    Instruction{"MOVWI", Pattern("00 0000 0001 1nmm"), F::FsrModify},
    Instruction{"MOVLB", Pattern("00 0000 001k kkkk"), F::Bank},
    Instruction{"OPTION", Pattern("00 0000 0110 0010"), F::None},
    Instruction{"SLEEP", Pattern("00 0000 0110 0011"), F::None},
    Instruction{"CLRWDT", Pattern("00 0000 0110 0100"), F::None},
    Instruction{"TRIS", Pattern("00 0000 0110 0fff"), F::Tris},
    Instruction{"MOVWF", Pattern("00 0000 1fff ffff"), F::File},
    Instruction{"CLRW", Pattern("00 0001 0000 00--"), F::None, L::Next, Scope::All, 0x03},
    Instruction{"CLRF", Pattern("00 0001 1fff ffff"), F::File},
    Instruction{"SUBWF", Pattern("00 0010 dfff ffff"), F::FileDest},
    Instruction{"DECF", Pattern("00 0011 dfff ffff"), F::FileDest},
    Instruction{"IORWF", Pattern("00 0100 dfff ffff"), F::FileDest},
    Instruction{"ANDWF", Pattern("00 0101 dfff ffff"), F::FileDest},
    Instruction{"XORWF", Pattern("00 0110 dfff ffff"), F::FileDest},
    Instruction{"ADDWF", Pattern("00 0111 dfff ffff"), F::FileDest},
    Instruction{"MOVF", Pattern("00 1000 dfff ffff"), F::FileDest},
    Instruction{"COMF", Pattern("00 1001 dfff ffff"), F::FileDest},
    Instruction{"INCF", Pattern("00 1010 dfff ffff"), F::FileDest},
    Instruction{"DECFSZ", Pattern("00 1011 dfff ffff"), F::FileDest, L::Skip},
    Instruction{"RRF", Pattern("00 1100 dfff ffff"), F::FileDest},
    Instruction{"RLF", Pattern("00 1101 dfff ffff"), F::FileDest},
    Instruction{"SWAPF", Pattern("00 1110 dfff ffff"), F::FileDest},
    Instruction{"INCFSZ", Pattern("00 1111 dfff ffff"), F::FileDest, L::Skip},
    Instruction{"BCF", Pattern("01 00bb bfff ffff"), F::FileBit},
    Instruction{"BSF", Pattern("01 01bb bfff ffff"), F::FileBit},
    Instruction{"BTFSC", Pattern("01 10bb bfff ffff"), F::FileBit, L::Skip},
    Instruction{"BTFSS", Pattern("01 11bb bfff ffff"), F::FileBit, L::Skip},
    Instruction{"CALL", Pattern("10 0kkk kkkk kkkk"), F::Address, L::Call},
    Instruction{"GOTO", Pattern("10 1kkk kkkk kkkk"), F::Address, L::Goto},
    Instruction{"MOVLW", Pattern("11 0000 kkkk kkkk"), F::Literal},
    Instruction{"ADDFSR", Pattern("11 0001 0nkk kkkk"), F::FsrOffset},
    Instruction{"MOVLP", Pattern("11 0001 1kkk kkkk"), F::Page},
    Instruction{"BRA", Pattern("11 001k kkkk kkkk"), F::Relative, L::Branch},
    Instruction{"RETLW", Pattern("11 0100 kkkk kkkk"), F::Literal, L::ReturnLiteral},
    Instruction{"LSLF", Pattern("11 0101 dfff ffff"), F::FileDest},
    Instruction{"LSRF", Pattern("11 0110 dfff ffff"), F::FileDest},
    Instruction{"ASRF", Pattern("11 0111 dfff ffff"), F::FileDest},
    Instruction{"IORLW", Pattern("11 1000 kkkk kkkk"), F::Literal},
    Instruction{"ANDLW", Pattern("11 1001 kkkk kkkk"), F::Literal},
    Instruction{"XORLW", Pattern("11 1010 kkkk kkkk"), F::Literal},
    Instruction{"SUBWFB", Pattern("11 1011 dfff ffff"), F::FileDest},
    Instruction{"SUBLW", Pattern("11 1100 kkkk kkkk"), F::Literal},
    Instruction{"ADDWFC", Pattern("11 1101 dfff ffff"), F::FileDest},
    Instruction{"ADDLW", Pattern("11 1110 kkkk kkkk"), F::Literal},
    Instruction{"MOVIW", Pattern("11 1111 0nkk kkkk"), F::FsrIndexed},
    Instruction{"MOVWI", Pattern("11 1111 1nkk kkkk"), F::FsrIndexed},
};

// Sign-extends the low bits of value.
int Signed(unsigned value, int bits) {
    const unsigned sign = 1u << (bits - 1);
    return static_cast<int>(value ^ sign) - static_cast<int>(sign);
}

// The number (from 1) of the first row that matches each word of a core, 0 for
// none; with the Listing rows or without them. Worked out when the program is
// compiled, so a decode is one look-up and a run builds nothing first: each row
// marks the words its fixed bits allow that no earlier row has taken.
template <std::size_t Words, std::size_t Rows>
constexpr std::array<std::uint8_t, Words> FirstRowsOf(const std::array<Instruction, Rows>& rows,
                                                      bool listing) {
    static_assert(Rows < 255);
    std::array<std::uint8_t, Words> first{};
    for (std::size_t i = 0; i < Rows; ++i) {
        if (!listing && rows[i].scope == Scope::Listing) {
            continue;
        }
        const unsigned fixed = rows[i].pattern.Value();
        const unsigned free = (Words - 1) & ~static_cast<unsigned>(rows[i].pattern.Mask());
        for (unsigned bits = free;; bits = (bits - 1) & free) {
            std::uint8_t& slot = first[fixed | bits];
            if (slot == 0) {
                slot = static_cast<std::uint8_t>(i + 1);
            }
            if (bits == 0) {
                break;
            }
        }
    }
    return first;
}

constexpr auto kBaselineFirst = FirstRowsOf<1u << 12>(kBaseline, false);
constexpr auto kBaselineListingFirst = FirstRowsOf<1u << 12>(kBaseline, true);
constexpr auto kMidrangeFirst = FirstRowsOf<1u << 14>(kMidrange, false);
constexpr auto kMidrangeListingFirst = FirstRowsOf<1u << 14>(kMidrange, true);
constexpr auto kEnhancedFirst = FirstRowsOf<1u << 14>(kEnhanced, false);

// The listing's ranges of a core (see ListingRanges), from its first rows: the
// run of words without a gap around its GOTO and CALL words, which must be one
// run of words themselves.
template <std::size_t Words, std::size_t Rows>
constexpr ListingRanges ListingRangesOf(const std::array<std::uint8_t, Words>& first,
                                        const std::array<Instruction, Rows>& rows) {
    const auto jumps = [&](unsigned word) {
        return first[word] != 0 && rows[first[word] - 1u].form == Form::Address;
    };
    unsigned jumpFirst = 0;
    while (jumpFirst < Words && !jumps(jumpFirst)) {
        ++jumpFirst;
    }
    unsigned jumpLast = jumpFirst;
    while (jumpLast + 1 < Words && jumps(jumpLast + 1)) {
        ++jumpLast;
    }
    for (unsigned word = jumpLast + 1; word < Words; ++word) {
        if (jumps(word)) {
            return {};  // jumps in two places: the ranges would not say it whole
        }
    }
    if (jumpFirst == Words) {
        return {};
    }
    ListingRanges ranges{jumpFirst, jumpLast, 1, 0, jumpFirst, jumpLast};
    while (ranges.instructionsFirst > 0 && first[ranges.instructionsFirst - 1] != 0) {
        --ranges.instructionsFirst;
    }
    while (ranges.instructionsLast + 1 < Words && first[ranges.instructionsLast + 1] != 0) {
        ++ranges.instructionsLast;
    }
    // one gap above, when only instructions follow it
    unsigned after = ranges.instructionsLast + 1;
    while (after < Words && first[after] == 0) {
        ++after;
    }
    unsigned end = after;
    while (end < Words && first[end] != 0) {
        ++end;
    }
    if (after < Words && end == Words) {
        ranges.gapFirst = ranges.instructionsLast + 1;
        ranges.gapLast = after - 1;
        ranges.instructionsLast = Words - 1;
    } else {
        ranges.gapFirst = ranges.instructionsLast + 1;
        ranges.gapLast = ranges.instructionsLast;
    }
    return ranges;
}

// The first rows of a core in two levels, so that the listing's look-up of a
// word's row reads a few hundred bytes instead of a table of every word: a
// block of 2^Shift words that all have the same row is that row in `top`; the
// few blocks that mix rows have `top` 0x80 plus their number in `blocks`.
template <std::size_t Words, unsigned Shift>
constexpr std::size_t MixedBlocks(const std::array<std::uint8_t, Words>& first) {
    std::size_t mixed = 0;
    for (std::size_t block = 0; block < Words >> Shift; ++block) {
        for (std::size_t i = 1; i < (std::size_t{1} << Shift); ++i) {
            if (first[(block << Shift) + i] != first[block << Shift]) {
                ++mixed;
                break;
            }
        }
    }
    return mixed;
}

template <std::size_t Words, unsigned Shift, std::size_t Mixed>
struct TwoLevelRows {
    std::array<std::uint8_t, (Words >> Shift)> top{};
    std::array<std::uint8_t, (Mixed << Shift)> blocks{};
};

template <std::size_t Words, unsigned Shift, std::size_t Mixed>
constexpr TwoLevelRows<Words, Shift, Mixed> TwoLevelRowsOf(
    const std::array<std::uint8_t, Words>& first) {
    static_assert(Mixed < 0x80);
    TwoLevelRows<Words, Shift, Mixed> rows;
    std::size_t mixed = 0;
    for (std::size_t block = 0; block < Words >> Shift; ++block) {
        const std::size_t base = block << Shift;
        bool same = true;
        for (std::size_t i = 1; i < (std::size_t{1} << Shift); ++i) {
            same = same && first[base + i] == first[base];
        }
        if (same) {
            rows.top[block] = first[base];  // row numbers lie below 0x80
            continue;
        }
        rows.top[block] = static_cast<std::uint8_t>(0x80 | mixed);
        for (std::size_t i = 0; i < (std::size_t{1} << Shift); ++i) {
            rows.blocks[(mixed << Shift) + i] = first[base + i];
        }
        ++mixed;
    }
    return rows;
}

constexpr unsigned kBaselineShift = ListingLevelShift(Core::Baseline);
constexpr unsigned kMidrangeShift = ListingLevelShift(Core::Midrange);
constexpr auto kBaselineTwoLevel =
    TwoLevelRowsOf<1u << 12, kBaselineShift,
                   MixedBlocks<1u << 12, kBaselineShift>(kBaselineListingFirst)>(
        kBaselineListingFirst);
constexpr auto kMidrangeTwoLevel =
    TwoLevelRowsOf<1u << 14, kMidrangeShift,
                   MixedBlocks<1u << 14, kMidrangeShift>(kMidrangeListingFirst)>(
        kMidrangeListingFirst);
static_assert(kBaseline.size() < 0x80 && kMidrange.size() < 0x80);

constexpr ListingRanges kBaselineRanges = ListingRangesOf(kBaselineListingFirst, kBaseline);
constexpr ListingRanges kMidrangeRanges = ListingRangesOf(kMidrangeListingFirst, kMidrange);

}  // namespace

std::span<const Instruction> Table(Core core) {
    switch (core) {
        case Core::Baseline:
            return kBaseline;
        case Core::Midrange:
            return kMidrange;
        case Core::Enhanced:
            return kEnhanced;
    }
    return {};
}

std::span<const std::uint8_t> FirstRows(Core core, bool listing) {
    switch (core) {
        case Core::Baseline:
            return listing ? kBaselineListingFirst : kBaselineFirst;
        case Core::Midrange:
            return listing ? kMidrangeListingFirst : kMidrangeFirst;
        case Core::Enhanced:
            return listing ? std::span<const std::uint8_t>() : kEnhancedFirst;
    }
    return {};
}

ListingRowLevels ListingRowLevelsOf(Core core) {
    switch (core) {
        case Core::Baseline:
            return {kBaselineTwoLevel.top, kBaselineTwoLevel.blocks, kBaselineShift};
        case Core::Midrange:
            return {kMidrangeTwoLevel.top, kMidrangeTwoLevel.blocks, kMidrangeShift};
        case Core::Enhanced:
            break;
    }
    return {};
}

ListingRanges ListingRangesOf(Core core) {
    switch (core) {
        case Core::Baseline:
            return kBaselineRanges;
        case Core::Midrange:
            return kMidrangeRanges;
        case Core::Enhanced:
            break;
    }
    return {};
}

Decoded Decode(Core core, unsigned word) {
    Decoded out;
    out.word = word;
    const std::span<const std::uint8_t> first = FirstRows(core, false);
    const unsigned number = word < first.size() ? first[word] : 0;
    if (number != 0) {
        const Instruction& row = Table(core)[number - 1];
        const Pattern& p = row.pattern;
        out.instruction = &row;
        out.file = p.Field(word, 'f');
        out.bit = p.Field(word, 'b');
        out.toFile = p.Field(word, 'd') != 0;
        out.literal = p.Field(word, 'k');
        if (p.HasField('k')) {
            out.offset = Signed(out.literal, p.FieldWidth('k'));
        }
        out.fsr = p.Field(word, 'n');
        out.mode = p.Field(word, 'm');
        out.canonical = (word & p.Ignored()) == row.filler;
        return out;
    }
    return out;
}

std::string FormatPlain(const Decoded& decoded) {
    if (!decoded) {
        return {};
    }
    std::string text;
    for (const char c : decoded.instruction->mnemonic) {
        text += static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    }
    char buffer[48];
    const char* fsr = decoded.fsr != 0 ? "FSR1" : "FSR0";
    switch (decoded.instruction->form) {
        case Form::None:
            return text;
        case Form::File:
        case Form::Tris:
            std::snprintf(buffer, sizeof buffer, " 0x%02X", decoded.file);
            break;
        case Form::FileDest:
            std::snprintf(buffer, sizeof buffer, " 0x%02X, %c", decoded.file,
                          decoded.toFile ? 'f' : 'w');
            break;
        case Form::FileBit:
            std::snprintf(buffer, sizeof buffer, " 0x%02X, %u", decoded.file, decoded.bit);
            break;
        case Form::Literal:
        case Form::Bank:
        case Form::Page:
            std::snprintf(buffer, sizeof buffer, " 0x%02X", decoded.literal);
            break;
        case Form::Address:
            std::snprintf(buffer, sizeof buffer, " 0x%03X", decoded.literal);
            break;
        case Form::Relative:
            std::snprintf(buffer, sizeof buffer, " $%c.%d", decoded.offset + 1 < 0 ? '-' : '+',
                          decoded.offset + 1 < 0 ? -(decoded.offset + 1) : decoded.offset + 1);
            break;
        case Form::FsrOffset:
            std::snprintf(buffer, sizeof buffer, " %s, %s.%d", fsr, decoded.offset < 0 ? "-" : "",
                          decoded.offset < 0 ? -decoded.offset : decoded.offset);
            break;
        case Form::FsrModify: {
            static constexpr const char* kModes[] = {"++%s", "--%s", "%s++", "%s--"};
            char operand[16];
            std::snprintf(operand, sizeof operand, kModes[decoded.mode & 3], fsr);
            std::snprintf(buffer, sizeof buffer, " %s", operand);
            break;
        }
        case Form::FsrIndexed:
            std::snprintf(buffer, sizeof buffer, " %s.%d[%s]", decoded.offset < 0 ? "-" : "",
                          decoded.offset < 0 ? -decoded.offset : decoded.offset, fsr);
            break;
    }
    text += buffer;
    return text;
}

}  // namespace tolvek::isa
