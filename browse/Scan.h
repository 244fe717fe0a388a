// How the listing window reads one line of a listing or source: its label,
// mnemonic or directive, operands and comment, as pieces with their columns.
// Shared by Document and its tests of the reading rules; not for front ends.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "browse/Document.h"
#include "isa/Isa.h"

namespace tolvek::browse {

struct OpInfo {
    isa::Form form = isa::Form::None;
    isa::Flow flow = isa::Flow::Next;
};

enum class PieceType : std::uint8_t {
    LabelDef,
    EquName,
    Word,  // mnemonic or directive
    Ident,
    Number,
    Punct,
    Comment,
    OwnAddress,   // the line's own word address in its comment
    XrefAddress,  // an address in a cross-reference comment
    NoteText,
    NoteIdent,  // a name inside a note
};

struct LinePiece {
    std::uint32_t start = 0;
    std::uint32_t length = 0;
    PieceType type = PieceType::Punct;
    std::int8_t operand = -1;
};

struct LineScan {
    std::string_view text;
    std::vector<LinePiece> pieces;
    int labelDef = -1;  // piece indexes, -1 for none
    int equName = -1;
    int word = -1;
    const OpInfo* op = nullptr;
    bool directive = false;
    int ownAddress = -1;
    bool xref = false;
    bool commentOnly = false;
    std::uint32_t commentStart = 0;

    std::string_view TextOf(const LinePiece& piece) const {
        return text.substr(piece.start, piece.length);
    }
    std::string_view WordText() const {
        return word < 0 ? std::string_view() : TextOf(pieces[word]);
    }
    void Add(std::size_t start, std::size_t length, PieceType type, int operand = -1) {
        pieces.push_back({static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(length),
                          type, static_cast<std::int8_t>(std::min(operand, 127))});
    }
};

// Reads one line (without its line end).
void ScanLine(std::string_view line, Format format, LineScan& scan);

// Character classes, looked up rather than compared: every line is read a
// character at a time, by the listing window for each line it shows.
struct CharClasses {
    std::array<bool, 256> identStart{};  // a letter or '_'
    std::array<bool, 256> identChar{};   // a letter, a digit or '_'
    std::array<char, 256> lower{};
};
inline constexpr CharClasses kChars = [] {
    CharClasses chars;
    for (int c = 0; c < 256; ++c) {
        const bool upper = c >= 'A' && c <= 'Z';
        const bool letter = upper || (c >= 'a' && c <= 'z');
        chars.identStart[c] = letter || c == '_';
        chars.identChar[c] = chars.identStart[c] || (c >= '0' && c <= '9');
        chars.lower[c] = static_cast<char>(upper ? c + ('a' - 'A') : c);
    }
    return chars;
}();

inline char Lower(char c) {
    return kChars.lower[static_cast<unsigned char>(c)];
}
std::string Lowered(std::string_view text);
bool EqualNoCase(std::string_view a, std::string_view b);
bool StartsNoCase(std::string_view text, std::string_view prefix);
inline bool IsIdentStart(char c) {
    return kChars.identStart[static_cast<unsigned char>(c)];
}
inline bool IsIdentChar(char c) {
    return kChars.identChar[static_cast<unsigned char>(c)];
}
// The instruction of any core with this mnemonic, in any letter case, or null.
const OpInfo* FindOp(std::string_view word);
bool IsDirective(std::string_view word);
// Forms whose first operand is a data memory location.
bool FileForm(isa::Form form);
// Flows whose operand is a place in the program.
bool TargetFlow(isa::Flow flow);
RefKind KindOf(isa::Flow flow);
// The value of a number as gpasm reads it with its default radix (hexadecimal),
// or -1.
long NumberValue(std::string_view text);
// Four hexadecimal digits standing alone at `at`: a word address in a comment.
bool IsFourHex(std::string_view text, std::size_t at);
unsigned FourHex(std::string_view text);
// "ad0123": the classic listing's label of a word address.
bool IsClassicLabel(std::string_view name);
// "label_0123", "function_0123": the reconstructed source's generated labels.
bool IsSourceLabel(std::string_view name);
long SourceRamAddress(std::string_view name);
std::string HexText(const char* format, unsigned value);

}  // namespace tolvek::browse
