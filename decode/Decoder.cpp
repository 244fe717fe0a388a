// The listing's decoders of both cores: a word's value picks the row of its
// core's table, and the row's form gives the text.
#include "decode/Decoder.h"

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
        rows.push_back({instruction.form, instruction.flow, std::move(head), place('f'), place('d'),
                        place('b'), place('k')});
    }
    // Each row marks the words it matches, the last row first, so that an
    // earlier row overwrites a later one: the first match wins.
    const unsigned words = (1u << isa::WordBits(core)) - 1;
    for (std::size_t i = table.size(); i > 0; --i) {
        const isa::Pattern& p = table[i - 1].pattern;
        const unsigned free = words & ~static_cast<unsigned>(p.Mask());
        for (unsigned bits = free;; bits = (bits - 1) & free) {
            first[p.Value() | bits] = static_cast<std::uint8_t>(i);
            if (bits == 0) {
                break;
            }
        }
    }
}

// Each table is made when a word of its core is first decoded.
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
    text_ += operand.text;
    out.ramPageNote = operand.note;
}

void ListingDecoder::FromTable(unsigned value, std::string_view word, DecodedWord& out) {
    const ListingRow* found = table_.Find(value);
    if (found == nullptr) {
        return;
    }
    const ListingRow& row = *found;
    text_.clear();
    text_.append(row.head);
    switch (row.form) {
        case isa::Form::None:
            out.blankAfter = row.flow == isa::Flow::Return;
            break;
        case isa::Form::File:
            AppendRegister(row.f.Of(value), RegisterNamer::kNoBit, out);
            break;
        case isa::Form::FileDest: {
            AppendRegister(row.f.Of(value), RegisterNamer::kNoBit, out);
            const bool toFile = row.d.Of(value) != 0;
            // the 12-bit listing names only the W destination
            if (!setup_.core12Bit) {
                text_ += toFile ? ",f"sv : ",w"sv;
            } else if (!toFile) {
                text_ += ",w"sv;
            }
            break;
        }
        case isa::Form::FileBit:
            AppendRegister(row.f.Of(value), static_cast<int>(row.b.Of(value)), out);
            break;
        case isa::Form::Literal:
            // the literal's digits as the record writes them
            if (row.flow == isa::Flow::ReturnLiteral) {
                text_.clear();
                AppendRetlw(text_, word[2], word[3]);
            } else {
                text_ += word[2];
                text_ += word[3];
            }
            break;
        case isa::Form::Address:
            out.pageNote = true;
            out.jumpTarget = static_cast<int>(row.k.Of(value));
            if (setup_.namesOperands) {
                AppendTargetLabel(text_, row.k.Of(value));
            }
            break;
        case isa::Form::Tris:
            if (setup_.core12Bit) {
                AppendTris5x(row.f.Of(value) & 7, out);
            } else {
                text_ += static_cast<char>('0' + (row.f.Of(value) & 7));
                text_ += 'h';
            }
            break;
        default:
            // the enhanced core's forms: no .dis listing reads that core
            return;
    }
    CutText(text_);  // a long bit name cannot stretch a line past the text limit
    out.text = text_;
}

void ListingDecoder::Decode(std::string_view word, DecodedWord& out) {
    out = DecodedWord{};
    if (word.size() != 4) {
        return;
    }
    if (setup_.core12Bit) {
        Decode5xInstruction(word, out);
    } else {
        ExtractInstructionData(word, out);
    }
}

void ListingDecoder::ExtractInstructionData(std::string_view word, DecodedWord& out) {
    // only the upper-case text is the unprogrammed word; "3fff" is ADDLW 0xff
    if (word == "3FFF") {
        out.text = kBlank;
        out.skipLine = true;
        return;
    }
    // Bits 15 and 14, which the core lacks, send a top digit of 4 to F to the
    // literal group as 3 does; the group looks at the second digit only.
    const int top = ASCIIToDec(word[0]);
    const unsigned value =
        static_cast<unsigned>((top < 3 ? top : 3) << 12 | ASCIIToDec(word[1]) << 8 |
                              ASCIIToDec(word[2]) << 4 | ASCIIToDec(word[3]));
    FromTable(value, word, out);
}

void ListingDecoder::Decode5xInstruction(std::string_view word, DecodedWord& out) {
    if (word[0] != '0') {
        return;  // no word of the 12-bit core
    }
    // only the upper-case text is the erased word; "0fff" is XORLW 0xff
    if (word.substr(1) == "FFF") {
        out.text = kBlank;
        out.skipLine = true;
        return;
    }
    const unsigned value = static_cast<unsigned>(ASCIIToDec(word[1]) << 8 |
                                                 ASCIIToDec(word[2]) << 4 | ASCIIToDec(word[3]));
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
        static constexpr std::array<std::string_view, 3> kPorts = {"PORTA", "PORTB", "PORTC"};
        text_ += kPorts[port - 5];
        return;
    }
    text_ += '0';
    text_ += static_cast<char>('0' + port);
    text_ += 'h';
}

}  // namespace tolvek
