// The symbol file: the names and notes a user gives a program image, one
// entry a line, read and written by every layer through this one reader.
//
//     # tolvek symbol file            first line: marks the file as Tolvek's
//     label 0x0040 init               code label at word address 0x0040
//     ram 0x020 counter               data memory location at absolute address 0x020
//     entry 0x0100                    an extra entry point for the flow
//     comment 0x0040 text ...         a comment on a word (one per address)
//     bookmark 0x0040 [text ...]      a bookmark on a word
//
// '#' starts a comment on label, ram and entry lines; the text of a comment or
// bookmark runs to the end of its line, '#' included. Blank lines are ignored.
// Addresses are decimal, or hexadecimal after 0x.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tolvek {

// The start of the first line of every symbol file Tolvek writes.
inline constexpr std::string_view kSymbolFileHeader = "# tolvek symbol file";

enum class SymbolKind : unsigned char { Label, Ram, Entry, Comment, Bookmark };

struct SymbolEntry {
    SymbolKind kind = SymbolKind::Label;
    unsigned address = 0;
    std::string text;      // the name, or the comment or bookmark text; empty for entry
    std::size_t line = 0;  // from 1
};

struct SymbolFault {
    std::size_t line = 0;  // from 1
    std::string text;
};

struct SymbolFile {
    bool header = false;  // the first line starts with kSymbolFileHeader
    std::vector<SymbolEntry> entries;
    std::vector<SymbolFault> faults;  // one for each line that is not an entry
};

// True when the text's first line starts with kSymbolFileHeader.
bool HasSymbolFileHeader(std::string_view text);

// Every entry and every faulty line of a symbol file's text; with
// untilFault, only those up to the first faulty line, where reading stops.
SymbolFile ReadSymbolFile(std::string_view text, bool untilFault = false);

// A gpasm identifier of at most 32 characters: a letter or '_', then letters,
// digits and '_'.
bool IsSymbolName(std::string_view name);

// One entry's line, without its line end ("label 0x0040 init").
std::string SymbolLine(SymbolKind kind, unsigned address, std::string_view text);

// The symbol file's text with the entry of (kind, address) set to `text`, or
// without that entry when text is nullopt. Lines it does not change stay as
// they are; a new entry goes at the end, and an empty file starts with the
// header line. Line breaks in the text become blanks; a label, ram or
// comment entry with an empty text is taken out. The caller checks names.
std::string UpdateSymbolFile(std::string_view fileText, SymbolKind kind, unsigned address,
                             std::optional<std::string_view> text);

// The whole text of a symbol file (at most 16 MB); false with error naming the
// file and the reason.
bool LoadSymbolFileText(const std::string& path, std::string& text, std::string& error);

// "DIR/BASE.tolvek.sym" beside an image, listing or source "DIR/BASE.EXT".
std::string SymbolFilePath(std::string_view path);

}  // namespace tolvek
