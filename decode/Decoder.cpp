#include "decode/Decoder.h"

#include <array>
#include <cstdint>
#include <span>

#include "base/Conversions.h"
#include "chipdb/RegisterNamer.h"
#include "decode/Operands.h"

namespace tolvek {

using namespace std::string_view_literals;

namespace {

constexpr unsigned kWords = 1u << 14;

// The row number (from 1) of the first row that matches each word; 0 for none.
// Built once from the table, so the order of the rows decides as it would in a
// scan, at the cost of one look-up.
struct RowIndex {
    std::array<std::uint8_t, kWords> first{};
    std::span<const isa::Instruction> rows;

    explicit RowIndex(isa::Core core) : rows(isa::Table(core)) {
        const unsigned words = 1u << isa::WordBits(core);
        for (unsigned value = 0; value < words; ++value) {
            for (std::size_t i = 0; i < rows.size(); ++i) {
                if (rows[i].pattern.Matches(value)) {
                    first[value] = static_cast<std::uint8_t>(i + 1);
                    break;
                }
            }
        }
    }
};

}  // namespace

const isa::Instruction* ListingRow(isa::Core core, unsigned value) {
    static const RowIndex baseline(isa::Core::Baseline);
    static const RowIndex midrange(isa::Core::Midrange);
    const RowIndex& index = core == isa::Core::Baseline ? baseline : midrange;
    if (core == isa::Core::Enhanced || value >= (1u << isa::WordBits(core))) {
        return nullptr;
    }
    const unsigned row = index.first[value];
    return row == 0 ? nullptr : &index.rows[row - 1];
}

DecodedWord ListingDecoder::Blank() const {
    DecodedWord out;
    out.text = kBlank;
    out.skipLine = true;
    return out;
}

void ListingDecoder::AppendRegister(unsigned address, int bit, DecodedWord& out) {
    if (!setup_.namesOperands) {
        return;
    }
    const RegisterNamer::Operand& operand = namer_.Lookup(address, bit);
    text_ += operand.text;
    out.ramPageNote = operand.note;
}

DecodedWord ListingDecoder::FromRow(const isa::Instruction& row, unsigned value,
                                    std::string_view word) {
    DecodedWord out;
    const isa::Pattern& p = row.pattern;
    text_.assign(row.mnemonic);
    switch (row.form) {
        case isa::Form::None:
            out.blankAfter = row.flow == isa::Flow::Return;
            break;
        case isa::Form::File:
            text_ += ' ';
            AppendRegister(p.Field(value, 'f'), RegisterNamer::kNoBit, out);
            break;
        case isa::Form::FileDest: {
            text_ += ' ';
            AppendRegister(p.Field(value, 'f'), RegisterNamer::kNoBit, out);
            const bool toFile = p.Field(value, 'd') != 0;
            // the 12-bit listing names only the W destination
            if (!setup_.core12Bit) {
                text_ += toFile ? ",f"sv : ",w"sv;
            } else if (!toFile) {
                text_ += ",w"sv;
            }
            break;
        }
        case isa::Form::FileBit:
            text_ += ' ';
            AppendRegister(p.Field(value, 'f'), static_cast<int>(p.Field(value, 'b')), out);
            break;
        case isa::Form::Literal:
            if (row.flow == isa::Flow::ReturnLiteral) {
                text_.clear();
                AppendRetlw(text_, word[2], word[3]);
            } else {
                text_ += ' ';
                AppendLiteral(text_, word[2], word[3]);
            }
            break;
        case isa::Form::Address:
            out.pageNote = true;
            out.jumpTarget = static_cast<int>(p.Field(value, 'k'));
            text_ += ' ';
            if (setup_.namesOperands) {
                AppendTargetLabel(text_, p.Field(value, 'k'));
            }
            break;
        case isa::Form::Tris:
            text_ += ' ';
            if (setup_.core12Bit) {
                AppendTris5x(p.Field(value, 'f') & 7, out);
            } else {
                text_ += '0';
                text_ += static_cast<char>('0' + (p.Field(value, 'f') & 7));
                text_ += 'h';
            }
            break;
        default:
            // the enhanced core's forms: no .dis listing reads that core
            return {};
    }
    CutText(text_);  // a long bit name cannot stretch a line past the text limit
    out.text = text_;
    return out;
}

}  // namespace tolvek
