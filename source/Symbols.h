// The names a symbol file gives code labels and data memory, checked against
// the part (see base/SymbolFile.h for the file itself):
//     label 0x0040 init     # code label at word address 0x0040
//     ram   0x020 counter   # data memory at absolute address 0x020
//     entry 0x0200          # the flow also starts here
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "devices/Device.h"

namespace tolvek::source {

struct Symbols {
    std::map<unsigned, std::string> labels;    // by word address
    std::map<unsigned, std::string> ram;       // by absolute data address
    std::vector<unsigned> entries;             // extra entry points of the flow
    std::map<unsigned, std::string> comments;  // the user's, by word address
};

// True for a name gpasm takes as an identifier and that is free for the user:
// not a mnemonic or a word the assembler keeps for itself.
bool IsReservedWord(std::string_view name);

// Why a name may not be given to a label or a data memory location, or empty
// when it may: not an identifier, a word the assembler keeps, a name the part
// gives a register, bit or setting (with a device), or the form of the names
// the writer makes itself.
std::string NameFault(std::string_view name, const devices::Device* device);

// Parses a symbol file's text for a part. On a bad line returns false with
// "FILE:LINE: fault" in error.
bool ParseSymbols(std::string_view text, const std::string& fileName, const devices::Device& device,
                  Symbols& symbols, std::string& error);
bool LoadSymbols(const std::string& path, const devices::Device& device, Symbols& symbols,
                 std::string& error);

}  // namespace tolvek::source
