// 12-bit core decoder: every word whose first digit is "0" yields an instruction.
#include <array>

#include "base/Conversions.h"
#include "chipdb/ChipData.h"
#include "decode/Decoder.h"
#include "decode/Fields.h"

namespace tolvek {

using namespace std::string_view_literals;
using detail::SetText;

namespace {

// Byte operations with a destination by digit 2 (1 to 3) and D3 AND 12; row 0
// holds those of digit 2 = 0 after the control words, MOVWF and CLRF.
constexpr std::array<std::array<std::string_view, 4>, 4> kByteOps5x = {{
    {"", "", "SUBWF ", "DECF "},
    {"IORWF ", "ANDWF ", "XORWF ", "ADDWF "},
    {"MOVF ", "COMF ", "INCF ", "DECFSZ "},
    {"RRF ", "RLF ", "SWAPF ", "INCFSZ "},
}};
constexpr std::array<std::string_view, 4> kBitOps5x = {"BCF ", "BSF ", "BTFSC ", "BTFSS "};
constexpr std::array<std::string_view, 4> kLiteralOps5x = {"MOVLW 0x", "IORLW 0x", "ANDLW 0x",
                                                           "XORLW 0x"};

// The 5-bit file address of a 12-bit word, named by the chip data.
void AppendRegister5x(std::string_view word, int bit, DecodeContext& context, Decoded& out) {
    const auto address =
        static_cast<unsigned>((ASCIIToDec(word[2]) & 1) * 16 + ASCIIToDec(word[3]));
    detail::AppendRegister(address, bit, context, out);
}

void ByteOperation5x(std::string_view mnemonic, std::string_view word, DecodeContext& context,
                     Decoded& out) {
    SetText(out, mnemonic);
    AppendRegister5x(word, RegisterNamer::kNoBit, context, out);
    if ((ASCIIToDec(word[2]) & 2) == 0) {
        out.text += ",w"sv;
    }
}

void Tris5x(std::string_view word, DecodeContext& context, Decoded& out) {
    const int port = ASCIIToDec(word[3]) & 7;
    SetText(out, "TRIS "sv);
    if (context.chip.Series12) {
        if (port == 6) {
            detail::AppendRegister(6, RegisterNamer::kNoBit, context, out);
            return;
        }
    } else if (port >= 5) {
        static constexpr std::array<std::string_view, 3> kPorts = {"PORTA", "PORTB", "PORTC"};
        out.text += kPorts[static_cast<std::size_t>(port - 5)];
        return;
    }
    out.text += '0';
    out.text += static_cast<char>('0' + port);
    out.text += 'h';
}

void Digit2Zero(std::string_view word, DecodeContext& context, Decoded& out) {
    const char c3 = word[2];
    const char c4 = word[3];
    if (c3 == '0') {
        if (c4 == '0') {
            SetText(out, "NOP"sv);
        } else if (c4 == '2') {
            SetText(out, "OPTION"sv);
        } else if (c4 == '3') {
            SetText(out, "SLEEP"sv);
        } else if (c4 == '4') {
            SetText(out, "CLRWDT"sv);
        } else {
            Tris5x(word, context, out);
        }
        return;
    }
    if (c3 == '4' && c4 == '0') {
        SetText(out, "CLRW"sv);
        return;
    }
    const int group = ASCIIToDec(c3) & 12;
    if (group == 0) {
        SetText(out, "MOVWF "sv);
        AppendRegister5x(word, RegisterNamer::kNoBit, context, out);
    } else if (group == 4) {
        SetText(out, "CLRF "sv);
        AppendRegister5x(word, RegisterNamer::kNoBit, context, out);
    } else {
        ByteOperation5x(kByteOps5x[0][static_cast<std::size_t>(group >> 2)], word, context, out);
    }
}

}  // namespace

static void Decode5xText(std::string_view word, DecodeContext& context, Decoded& out) {
    out.text.clear();
    if (word.size() != 4 || word[0] != '0') {
        return;
    }
    // only the upper-case text is the erased word; "0fff" is XORLW 0xff
    if (word[1] == 'F' && word[2] == 'F' && word[3] == 'F') {
        SetText(out, kBlank);
        out.SkipLineFlag = true;
        return;
    }
    const int d2 = ASCIIToDec(word[1]);
    const int d3 = ASCIIToDec(word[2]);
    const int d4 = ASCIIToDec(word[3]);
    if (d2 == 0) {
        Digit2Zero(word, context, out);
    } else if (d2 <= 3) {
        ByteOperation5x(
            kByteOps5x[static_cast<std::size_t>(d2)][static_cast<std::size_t>((d3 & 12) >> 2)],
            word, context, out);
    } else if (d2 <= 7) {
        SetText(out, kBitOps5x[static_cast<std::size_t>(d2 - 4)]);
        AppendRegister5x(word, (d3 >> 1) & 7, context, out);
    } else if (d2 == 8) {
        detail::AppendRetlw(out.text, word[2], word[3]);
    } else if (d2 == 9) {
        detail::DecodeJump("CALL ", d3 * 16 + d4, context, out);
    } else if (d2 <= 11) {
        detail::DecodeJump("GOTO ", (d2 & 1) * 256 + d3 * 16 + d4, context, out);
    } else {
        SetText(out, kLiteralOps5x[static_cast<std::size_t>(d2 - 12)]);
        out.text += word[2];
        out.text += word[3];
    }
}

void Decode5xInstruction(std::string_view word, DecodeContext& context, Decoded& out) {
    Decode5xText(word, context, out);
    CutText(out.text);  // a long bit name cannot stretch a line past the text limit
}

}  // namespace tolvek
