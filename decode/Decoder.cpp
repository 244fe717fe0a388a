// The listing's decoders of both cores: a word's value picks the row of its
// core's table, and the row's form gives the text.
#include "decode/Decoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "base/Conversions.h"
#include "chipdb/RegisterNamer.h"
#include "decode/ListingTable.h"
#include "decode/Operands.h"

namespace tolvek {

using namespace std::string_view_literals;

ListingTable::ListingTable(isa::Core core) {
    const std::span<const isa::Instruction> table = isa::Table(core);
    rows.reserve(table.size());
    for (const isa::Instruction& instruction : table) {
        const isa::Pattern& p = instruction.pattern;
        // the bits of the word that hold a field
        const auto bitsOf = [&p](char letter) {
            unsigned bits = 0;
            for (unsigned bit = 0; bit < 16; ++bit) {
                if (p.Field(1u << bit, letter) != 0) {
                    bits |= 1u << bit;
                }
            }
            return static_cast<std::uint16_t>(bits);
        };
        std::string head(instruction.mnemonic);
        if (instruction.form != isa::Form::None) {
            head += ' ';
        }
        if (instruction.form == isa::Form::Literal) {
            head += "0x";
        } else if (instruction.form == isa::Form::Tris && core != isa::Core::Baseline) {
            head += '0';
        }
        ListingRow row{instruction.form, instruction.flow};
        row.headSize = static_cast<std::uint8_t>(std::min(head.size(), row.head.size() - 1));
        std::copy_n(head.begin(), row.headSize, row.head.begin());
        const isa::Form form = instruction.form;
        const bool named =
            form == isa::Form::File || form == isa::Form::FileDest || form == isa::Form::FileBit;
        row.special = !named && form != isa::Form::None && form != isa::Form::Address &&
                      (form != isa::Form::Literal || instruction.flow == isa::Flow::ReturnLiteral);
        row.registerMask = named ? ~std::size_t{0} : 0;
        // both cores keep b right above f; a pair number counts kAddresses
        // to a bit
        static_assert(RegisterNamer::kAddresses == 1u << 7);
        row.fBits = bitsOf('f');
        if (form == isa::Form::FileBit) {
            row.bBits = bitsOf('b');
            row.bLift = static_cast<std::uint8_t>(7 - std::countr_zero(row.bBits));
            row.pairBase = RegisterNamer::kAddresses;
        }
        row.dBits = bitsOf('d');
        if (form == isa::Form::Address) {
            row.kBits = bitsOf('k');
        }
        if (form == isa::Form::FileDest) {
            row.destinationSizes = {
                2, core == isa::Core::Baseline ? std::uint8_t{0} : std::uint8_t{2}};
        }
        row.literalSize = form == isa::Form::Literal ? 2 : 0;
        row.labelSize = form == isa::Form::Address ? 6 : 0;
        row.blankAfter = form == isa::Form::None && instruction.flow == isa::Flow::Return;
        rows.push_back(row);
    }
    words = static_cast<unsigned>(isa::FirstRows(core, true).size());
    ranges = isa::ListingRangesOf(core);
    levels = isa::ListingRowLevelsOf(core);
}

// Each table is made when a decoder of its core is first made.
const ListingTable& ListingTable::Baseline() {
    static const ListingTable table(isa::Core::Baseline);
    return table;
}

const ListingTable& ListingTable::Midrange() {
    static const ListingTable table(isa::Core::Midrange);
    return table;
}

ListingDecoder::ListingDecoder(RegisterNamer& namer, const Setup& setup)
    : namer_(namer),
      setup_(setup),
      table_(setup.core12Bit ? ListingTable::Baseline() : ListingTable::Midrange()) {}

char* ListingDecoder::AppendRegister(char* at, unsigned address, int bit, std::string_view& note) {
    const RegisterNamer::Operand& operand = namer_.Lookup(address, bit);
    note = operand.note;
    return CopyWithSlack(at, operand.text.data(), operand.text.size());
}

char* ListingDecoder::FromSpecialRow(const ListingRow& row, unsigned value, std::string_view word,
                                     char* const text, std::string_view& note) {
    char* at = CopyWithSlack(text, row.head.data(), row.headSize);
    switch (row.form) {
        case isa::Form::Literal:
            return WriteRetlw(text, word[2], word[3]);
        case isa::Form::Tris:
            if (setup_.core12Bit) {
                return AppendTris5x(at, value & row.fBits & 7, note);
            }
            at[0] = static_cast<char>('0' + (value & row.fBits & 7));
            at[1] = 'h';
            return at + 2;
        default:
            // the enhanced core's forms: no .dis listing reads that core
            return nullptr;
    }
}

void ListingDecoder::Decode(std::string_view word, DecodedWord& out) {
    out = DecodedWord{};
    if (word.size() != 4) {
        return;
    }
    Decode(word,
           static_cast<unsigned>(ASCIIToDec(word[0]) << 12 | ASCIIToDec(word[1]) << 8 |
                                 ASCIIToDec(word[2]) << 4 | ASCIIToDec(word[3])),
           out);
}

// The ports by name: PORTA to PORTC on 5 to 7; on a 12-series chip port 6 is
// the chip's own register 6 (GPIO). Any other port as "0nh".
char* ListingDecoder::AppendTris5x(char* at, unsigned port, std::string_view& note) {
    if (setup_.series12) {
        if (port == 6) {
            return AppendRegister(at, 6, RegisterNamer::kNoBit, note);
        }
    } else if (port >= 5) {
        static constexpr char kPorts[3][kSlack] = {"PORTA", "PORTB", "PORTC"};
        return CopyWithSlack(at, kPorts[port - 5], 5);
    }
    at[0] = '0';
    at[1] = static_cast<char>('0' + port);
    at[2] = 'h';
    return at + 3;
}

}  // namespace tolvek
