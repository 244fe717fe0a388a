// 14-bit core decoder: the decision list on the word's digits, first match wins.
#include <array>

#include "base/Conversions.h"
#include "chipdb/ChipData.h"
#include "decode/Decoder.h"
#include "decode/Fields.h"
#include "decode/Label.h"

namespace tolvek {

using namespace std::string_view_literals;
using detail::SetText;

namespace detail {

void AppendRetlw(std::string& out, char digit3, char digit4) {
    out += "RETLW 0x"sv;
    out += digit3;
    out += digit4;
    out += "               ; b'"sv;
    AppendBinary(out, digit3);
    AppendBinary(out, digit4);
    out += '\'';
    const int value = ASCIIToDec(digit3) * 16 + ASCIIToDec(digit4);
    if (value >= 32 && value <= 127) {
        out += "  '"sv;
        out += static_cast<char>(value);
        out += '\'';
    }
}

void AppendRegister(unsigned address, int bit, DecodeContext& context, Decoded& out) {
    if (!context.namesOperands) {
        return;
    }
    if (context.namer != nullptr && out.RamPageNote.empty()) {
        const RegisterNamer::Operand& operand = context.namer->Lookup(address, bit);
        out.text += operand.text;
        if (!operand.note.empty()) {
            out.RamPageNote = operand.note;
        }
        return;
    }
    char addressText[2];
    addressText[0] = HexToAscii(static_cast<int>(address >> 4));
    addressText[1] = HexToAscii(static_cast<int>(address & 15));
    const char bitText = static_cast<char>('0' + bit);
    std::string operand;
    context.chip.ConvertToRAMMnemonic(std::string_view(addressText, 2),
                                      bit < 0 ? std::string_view() : std::string_view(&bitText, 1),
                                      operand, out.RamPageNote);
    out.text += operand;
}

void DecodeJump(std::string_view mnemonic, int target, DecodeContext& context, Decoded& out) {
    SetText(out, mnemonic);
    if (context.namesOperands) {
        AppendTargetLabel(out.text, static_cast<unsigned>(target));
    }
    out.PageNoteFlag = true;
    out.JumpTarget = target;
}

}  // namespace detail

namespace {

// Byte-oriented operations with a destination, by digit 2 (2 to 15).
constexpr std::array<std::string_view, 16> kByteOps = {
    "",      "",      "SUBWF ", "DECF ",   "IORWF ", "ANDWF ", "XORWF ", "ADDWF ",
    "MOVF ", "COMF ", "INCF ",  "DECFSZ ", "RRF ",   "RLF ",   "SWAPF ", "INCFSZ "};

// Literal group (digit 1 from 3 to F), by digit 2; empty is no instruction.
constexpr std::array<std::string_view, 16> kLiteralOps = {
    "MOVLW 0x", "MOVLW 0x", "MOVLW 0x", "MOVLW 0x", "",         "",         "",         "",
    "IORLW 0x", "ANDLW 0x", "XORLW 0x", "",         "SUBLW 0x", "SUBLW 0x", "ADDLW 0x", "ADDLW 0x"};

// The 7-bit file address of a 14-bit word.
unsigned FileAddress(std::string_view word) {
    return static_cast<unsigned>((ASCIIToDec(word[2]) & 7) * 16 + ASCIIToDec(word[3]));
}

void ByteOperation(std::string_view mnemonic, bool withDestination, std::string_view word,
                   DecodeContext& context, Decoded& out) {
    SetText(out, mnemonic);
    detail::AppendRegister(FileAddress(word), RegisterNamer::kNoBit, context, out);
    if (withDestination) {
        out.text += (ASCIIToDec(word[2]) & 8) != 0 ? ",f"sv : ",w"sv;
    }
}

void BitOperation(std::string_view mnemonic, std::string_view word, DecodeContext& context,
                  Decoded& out) {
    const int bit = (ASCIIToDec(word[1]) & 3) * 2 + ((ASCIIToDec(word[2]) & 8) != 0 ? 1 : 0);
    SetText(out, mnemonic);
    detail::AppendRegister(FileAddress(word), bit, context, out);
}

void ControlGroup(std::string_view word, DecodeContext& context, Decoded& out) {
    const int d3 = ASCIIToDec(word[2]);
    const int d4 = ASCIIToDec(word[3]);
    if ((d3 & 8) != 0) {
        ByteOperation("MOVWF ", false, word, context, out);
        return;
    }
    if (d3 == 0) {
        if (d4 == 0) {
            SetText(out, "NOP"sv);
        } else if (d4 == 8) {
            SetText(out, "RETURN"sv);
            out.BlankAfterFlag = true;
        } else if (d4 == 9) {
            SetText(out, "RETFIE"sv);
        }
        return;  // 0001 to 0007 and 000A to 000F are no instruction
    }
    if ((d3 == 2 || d3 == 4 || d3 == 6) && d4 == 0) {
        SetText(out, "NOP"sv);
    } else if (d3 == 6 && d4 == 2) {
        SetText(out, "OPTION"sv);
    } else if (d3 == 6 && d4 == 3) {
        SetText(out, "SLEEP"sv);
    } else if (d3 == 6 && d4 == 4) {
        SetText(out, "CLRWDT"sv);
    } else {
        SetText(out, "TRIS 0"sv);
        out.text += static_cast<char>('0' + (d4 & 7));
        out.text += 'h';
    }
}

}  // namespace

static void ExtractInstructionText(std::string_view word, DecodeContext& context, Decoded& out) {
    out.text.clear();
    if (word.size() != 4) {
        return;
    }
    // only the upper-case text is the unprogrammed word; "3fff" is ADDLW 0xff
    if (word == "3FFF") {
        SetText(out, kBlank);
        out.SkipLineFlag = true;
        return;
    }
    const int d1 = ASCIIToDec(word[0]);
    const int d2 = ASCIIToDec(word[1]);
    switch (d1) {
        case 0:
            if (d2 == 0) {
                ControlGroup(word, context, out);
            } else if (d2 == 1) {
                if ((ASCIIToDec(word[2]) & 8) != 0) {
                    ByteOperation("CLRF ", false, word, context, out);
                } else {
                    SetText(out, "CLRW"sv);
                }
            } else {
                ByteOperation(kByteOps[static_cast<std::size_t>(d2)], true, word, context, out);
            }
            break;
        case 1: {
            static constexpr std::array<std::string_view, 4> kBitOps = {"BCF ", "BSF ", "BTFSC ",
                                                                        "BTFSS "};
            BitOperation(kBitOps[static_cast<std::size_t>((d2 & 12) >> 2)], word, context, out);
            break;
        }
        case 2: {
            const int target = (d2 & 7) * 256 + ASCIIToDec(word[2]) * 16 + ASCIIToDec(word[3]);
            detail::DecodeJump((d2 & 8) != 0 ? "GOTO "sv : "CALL "sv, target, context, out);
            break;
        }
        default:
            // bits 15 and 14, which the core lacks, send digits 4 to F here too
            if (d2 >= 4 && d2 <= 7) {
                detail::AppendRetlw(out.text, word[2], word[3]);
            } else if (const std::string_view mnemonic = kLiteralOps[static_cast<std::size_t>(d2)];
                       !mnemonic.empty()) {
                SetText(out, mnemonic);
                out.text += word[2];
                out.text += word[3];
            }
            break;
    }
}

void ExtractInstructionData(std::string_view word, DecodeContext& context, Decoded& out) {
    ExtractInstructionText(word, context, out);
    CutText(out.text);  // a long bit name cannot stretch a line past the text limit
}

}  // namespace tolvek
