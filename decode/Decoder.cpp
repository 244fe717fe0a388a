// The listing's decoders of both cores: a word's value picks the row of its
// core's table, and the row's form gives the text.
#include "decode/Decoder.h"

#include <algorithm>
#include <array>
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
    for (const isa::Instruction& instruction : table) {
        const isa::Pattern& p = instruction.pattern;
        const auto place = [&p](char letter) {
            FieldPlace field;
            field.mask = static_cast<std::uint16_t>(p.Field(0xFFFF, letter));
            while (field.mask != 0 && p.Field(1u << field.shift, letter) == 0) {
                ++field.shift;
            }
            return field;
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
        ListingRow row{instruction.form, instruction.flow, {},         0,
                       place('f'),       place('d'),       place('b'), place('k')};
        row.headSize = static_cast<std::uint8_t>(std::min(head.size(), row.head.size() - 1));
        std::copy_n(head.begin(), row.headSize, row.head.begin());
        const isa::Form form = instruction.form;
        const bool named =
            form == isa::Form::File || form == isa::Form::FileDest || form == isa::Form::FileBit;
        row.special = !named && form != isa::Form::None && form != isa::Form::Address &&
                      (form != isa::Form::Literal || instruction.flow == isa::Flow::ReturnLiteral);
        row.registerMask = named ? ~std::size_t{0} : 0;
        row.bitOperand = form == isa::Form::FileBit;
        row.destinationSize = form == isa::Form::FileDest ? 2 : 0;
        row.literalSize = form == isa::Form::Literal ? 2 : 0;
        row.labelSize = form == isa::Form::Address ? 6 : 0;
        row.blankAfter = form == isa::Form::None && instruction.flow == isa::Flow::Return;
        rows.push_back(row);
    }
    first = isa::FirstRows(core, true);
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

char* ListingDecoder::AppendRegister(char* at, unsigned address, int bit, DecodedWord& out) {
    if (!setup_.namesOperands) {
        return at;
    }
    const RegisterNamer::Operand& operand = namer_.Lookup(address, bit);
    out.ramPageNote = operand.note;
    return CopyWithSlack(at, operand.text.data(), operand.text.size());
}

// The text is built through a local pointer, which stays in a register: the
// stores of characters could change any member the code read through.
//
// The instruction mix of a program is as good as random to the branch
// predictor, so the common forms are put together without a branch on the
// form: each piece (register operand, destination, literal digits, jump label)
// is written where the text has got to, and the end moves past it only when it
// belongs to the row. A piece that does not belong is overwritten by the next
// or lies past the end. The rows marked special go through FromSpecialRow.
void ListingDecoder::FromTable(unsigned value, std::string_view word, DecodedWord& out,
                               char* const text) {
    const ListingRow* found = table_.Find(value);
    if (found == nullptr) {
        return;
    }
    const ListingRow& row = *found;
    if (row.special) {
        FromSpecialRow(row, value, word, out, text);
        return;
    }
    char* at = CopyWithSlack(text, row.head.data(), row.headSize);
    const unsigned target = row.k.Of(value);
    out.blankAfter = row.blankAfter;
    out.pageNote = row.labelSize != 0;
    out.jumpTarget = row.labelSize != 0 ? static_cast<int>(target) : 0;
    if (setup_.namesOperands) {
        const int bit = row.bitOperand ? static_cast<int>(row.b.Of(value)) : RegisterNamer::kNoBit;
        const RegisterNamer::Operand& operand = namer_.Lookup(row.f.Of(value), bit);
        const std::size_t size = operand.text.size() & row.registerMask;
        std::memcpy(at, operand.text.data(), kSlack);
        if (size > kSlack) {
            CopyWithSlack(at + kSlack, operand.text.data() + kSlack, size - kSlack);
        }
        at += size;
        out.ramPageNote =
            std::string_view(operand.note.data(), operand.note.size() & row.registerMask);
    }
    // the 12-bit listing names only the W destination
    const bool toFile = row.d.Of(value) != 0;
    at[0] = ',';
    at[1] = toFile ? 'f' : 'w';
    at += setup_.core12Bit && toFile ? 0 : row.destinationSize;
    // the literal's digits as the record writes them
    at[0] = word[2];
    at[1] = word[3];
    at += row.literalSize;
    if (setup_.namesOperands) {
        WriteTargetLabel(at, target);
        at += row.labelSize;
    }
    // a long bit name cannot stretch a line past the text limit
    out.text = std::string_view(text, std::min(static_cast<std::size_t>(at - text), kMaxText));
}

void ListingDecoder::FromSpecialRow(const ListingRow& row, unsigned value, std::string_view word,
                                    DecodedWord& out, char* const text) {
    char* at = CopyWithSlack(text, row.head.data(), row.headSize);
    switch (row.form) {
        case isa::Form::Literal:
            at = WriteRetlw(text, word[2], word[3]);
            break;
        case isa::Form::Tris:
            if (setup_.core12Bit) {
                at = AppendTris5x(at, row.f.Of(value) & 7, out);
            } else {
                at[0] = static_cast<char>('0' + (row.f.Of(value) & 7));
                at[1] = 'h';
                at += 2;
            }
            break;
        default:
            // the enhanced core's forms: no .dis listing reads that core
            return;
    }
    out.text = std::string_view(text, std::min(static_cast<std::size_t>(at - text), kMaxText));
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

void ListingDecoder::Decode(std::string_view word, unsigned value, DecodedWord& out, char* at) {
    out = DecodedWord{};
    if (setup_.core12Bit) {
        // 12-bit core: only words whose top digit is "0"; only the upper-case
        // text is the erased word, "0fff" is XORLW 0xff
        if (word[0] != '0') {
            return;
        }
        if (value == 0x0FFF && word == "0FFF") {
            out.text = kBlank;
            out.skipLine = true;
            return;
        }
    } else {
        // 14-bit core: only the upper-case text is the unprogrammed word, "3fff"
        // is ADDLW 0xff. Bits 15 and 14, which the core lacks, send a top digit
        // of 4 to F to the literal group as 3 does; the group looks at the
        // second digit only.
        if (value == 0x3FFF && word == "3FFF") {
            out.text = kBlank;
            out.skipLine = true;
            return;
        }
        if (value > 0x3FFF) {
            value = 0x3000 | (value & 0x0FFF);
        }
    }
    FromTable(value, word, out, at != nullptr ? at : text_.data());
}

// The ports by name: PORTA to PORTC on 5 to 7; on a 12-series chip port 6 is
// the chip's own register 6 (GPIO). Any other port as "0nh".
char* ListingDecoder::AppendTris5x(char* at, unsigned port, DecodedWord& out) {
    if (setup_.series12) {
        if (port == 6) {
            return AppendRegister(at, 6, RegisterNamer::kNoBit, out);
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
