// The symbol file beside a program image (BASE.sym): the names the user gave
// code labels and data memory locations, one a line:
//     label 0x0040 init          # code label at word address 0x0040
//     ram 0x020 counter          # data memory location at absolute address 0x020
// '#' starts a comment; blank lines are ignored.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tolvek::browse {

struct SymbolEntry {
    enum class Kind : unsigned char { Label, Ram };
    Kind kind = Kind::Label;
    unsigned address = 0;
    std::string name;
    std::size_t line = 0;  // from 1
};

struct SymbolFile {
    std::vector<SymbolEntry> entries;
    // "LINE: fault" for each line that is not an entry
    std::vector<std::string> faults;
};

SymbolFile ParseSymbols(std::string_view text);

// The symbol file's text with the entry of (kind, address) naming it `name`,
// or without that entry when name is empty. Other lines stay as they are; a new
// entry goes at the end.
std::string UpdateSymbols(std::string_view text, SymbolEntry::Kind kind, unsigned address,
                          std::string_view name);

// "BASE.sym" beside a listing or program image "DIR/BASE.EXT".
std::string SymbolFilePath(std::string_view path);

}  // namespace tolvek::browse
