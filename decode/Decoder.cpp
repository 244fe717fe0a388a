// The listing's decoders of both cores: a word's value picks the row of its
// core's table, and the row's form gives the text.
#include "decode/Decoder.h"

#include <algorithm>
#include <array>
#include <cstdint>
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

void ListingDecoder::AppendRegister(unsigned address, int bit, DecodedWord& out) {
    if (!setup_.namesOperands) {
        return;
    }
    const RegisterNamer::Operand& operand = namer_.Lookup(address, bit);
    text_.Append(operand.text);
    out.ramPageNote = operand.note;
}

void ListingDecoder::FromTable(unsigned value, std::string_view word, DecodedWord& out) {
    const ListingRow* found = table_.Find(value);
    if (found == nullptr) {
        return;
    }
    const ListingRow& row = *found;
    text_.Clear();
    text_.Append(std::string_view(row.head.data(), row.headSize));
    switch (row.form) {
        case isa::Form::None:
            out.blankAfter = row.flow == isa::Flow::Return;
            break;
        case isa::Form::File:
            AppendRegister(row.f.Of(value), RegisterNamer::kNoBit, out);
            break;
        case isa::Form::FileDest: {
            AppendRegister(row.f.Of(value), RegisterNamer::kNoBit, out);
            static constexpr char kToFile[kSlack] = ",f";
            static constexpr char kToW[kSlack] = ",w";
            const bool toFile = row.d.Of(value) != 0;
            // the 12-bit listing names only the W destination
            if (!setup_.core12Bit) {
                text_.Append(std::string_view(toFile ? kToFile : kToW, 2));
            } else if (!toFile) {
                text_.Append(std::string_view(kToW, 2));
            }
            break;
        }
        case isa::Form::FileBit:
            AppendRegister(row.f.Of(value), static_cast<int>(row.b.Of(value)), out);
            break;
        case isa::Form::Literal:
            // The literal's digits as the record writes them. Characters are
            // written in place: copied through a buffer of their own they would
            // be read back before their stores had landed.
            if (row.flow == isa::Flow::ReturnLiteral) {
                text_.Clear();
                text_.Grow(static_cast<std::size_t>(WriteRetlw(text_.End(), word[2], word[3]) -
                                                    text_.End()));
            } else {
                char* at = text_.End();
                at[0] = word[2];
                at[1] = word[3];
                text_.Grow(2);
            }
            break;
        case isa::Form::Address:
            out.pageNote = true;
            out.jumpTarget = static_cast<int>(row.k.Of(value));
            if (setup_.namesOperands) {
                WriteTargetLabel(text_.End(), row.k.Of(value));
                text_.Grow(6);
            }
            break;
        case isa::Form::Tris:
            if (setup_.core12Bit) {
                AppendTris5x(row.f.Of(value) & 7, out);
            } else {
                char* at = text_.End();
                at[0] = static_cast<char>('0' + (row.f.Of(value) & 7));
                at[1] = 'h';
                text_.Grow(2);
            }
            break;
        default:
            // the enhanced core's forms: no .dis listing reads that core
            return;
    }
    out.text = text_.View();  // a long bit name cannot stretch a line past the text limit
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
    text_.Use(at);
    if (setup_.core12Bit) {
        Decode5xInstruction(word, value, out);
    } else {
        ExtractInstructionData(word, value, out);
    }
    text_.Use(nullptr);
}

void ListingDecoder::ExtractInstructionData(std::string_view word, unsigned value,
                                            DecodedWord& out) {
    // only the upper-case text is the unprogrammed word; "3fff" is ADDLW 0xff
    if (value == 0x3FFF && word == "3FFF") {
        out.text = kBlank;
        out.skipLine = true;
        return;
    }
    // Bits 15 and 14, which the core lacks, send a top digit of 4 to F to the
    // literal group as 3 does; the group looks at the second digit only.
    if (value > 0x3FFF) {
        value = 0x3000 | (value & 0x0FFF);
    }
    FromTable(value, word, out);
}

void ListingDecoder::Decode5xInstruction(std::string_view word, unsigned value, DecodedWord& out) {
    if (word[0] != '0') {
        return;  // no word of the 12-bit core
    }
    // only the upper-case text is the erased word; "0fff" is XORLW 0xff
    if (value == 0x0FFF && word == "0FFF") {
        out.text = kBlank;
        out.skipLine = true;
        return;
    }
    FromTable(value, word, out);
}

// The ports by name: PORTA to PORTC on 5 to 7; on a 12-series chip port 6 is
// the chip's own register 6 (GPIO). Any other port as "0nh".
void ListingDecoder::AppendTris5x(unsigned port, DecodedWord& out) {
    if (setup_.series12) {
        if (port == 6) {
            AppendRegister(6, RegisterNamer::kNoBit, out);
            return;
        }
    } else if (port >= 5) {
        static constexpr char kPorts[3][kSlack] = {"PORTA", "PORTB", "PORTC"};
        text_.Append(std::string_view(kPorts[port - 5], 5));
        return;
    }
    char* at = text_.End();
    at[0] = '0';
    at[1] = static_cast<char>('0' + port);
    at[2] = 'h';
    text_.Grow(3);
}

}  // namespace tolvek
