// The two instruction decoders and what they hand back to the run.
#pragma once

#include <string>
#include <string_view>

namespace tolvek {

class ChipState;
class RegisterNamer;

// Result of decoding one word: the instruction text and the word flags.
struct Decoded {
    // An instruction text, "Blank" for the unprogrammed word, or the empty text
    // for a word that is no instruction.
    std::string text;
    bool SkipLineFlag = false;
    bool PageNoteFlag = false;
    bool BlankAfterFlag = false;
    int JumpTarget = 0;
    // Names of the register on the other RAM pages, filled by register naming.
    std::string RamPageNote;

    // Empties the text and the note and clears the flags, keeping capacity.
    void Reset() {
        text.clear();
        RamPageNote.clear();
        SkipLineFlag = PageNoteFlag = BlankAfterFlag = false;
        JumpTarget = 0;
    }
};

inline constexpr std::string_view kBlank = "Blank";

// What the decoders read besides the word.
struct DecodeContext {
    const ChipState& chip;
    // The chip's indexed register names (ChipState::Naming()); without it the
    // decoders ask ConvertToRAMMnemonic for every operand.
    RegisterNamer* namer = nullptr;
    // Clear: operands (registers and jump labels) are left out of the text and
    // the note. For a pass whose texts are only tested for "".
    bool namesOperands = true;
};

namespace detail {
// Replaces the text: cheaper than assignment, which must allow for overlap.
inline void SetText(Decoded& out, std::string_view text) {
    out.text.clear();
    out.text.append(text);
}
}  // namespace detail

// 14-bit core (35 instructions plus OPTION and TRIS).
void ExtractInstructionData(std::string_view word, DecodeContext& context, Decoded& out);
// 12-bit core ("5x" family).
void Decode5xInstruction(std::string_view word, DecodeContext& context, Decoded& out);

namespace detail {
// Shared by both cores: "RETLW 0x" + literal, the binary comment and, for the
// printable codes 32 to 127, the character itself.
void AppendRetlw(std::string& out, char digit3, char digit4);
// Shared by both cores: appends the register operand for a file address below
// 128 with bit -1 (none) or 0 to 7 (named by the chip data, with the other
// pages' names in the note).
void AppendRegister(unsigned address, int bit, DecodeContext& context, Decoded& out);
// Shared by both cores: the jump text, and its target for the run to record.
void DecodeJump(std::string_view mnemonic, int target, DecodeContext& context, Decoded& out);
}  // namespace detail

}  // namespace tolvek
