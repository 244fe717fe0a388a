#include "source/Symbols.h"

#include <cctype>
#include <cstdio>
#include <set>

#include "base/Conversions.h"
#include "base/SymbolFile.h"
#include "isa/Isa.h"

namespace tolvek::source {

namespace {

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// True when the part gives the name a meaning: a register, a bit or a config
// setting. Looked up name by name: most files name a few places, and a table
// of the part's names would cost more to build than these comparisons.
bool PartNames(const devices::Device& device, std::string_view name) {
    if (EqualNoCase(name, "FSR0") || EqualNoCase(name, "FSR1")) {
        return true;
    }
    for (const devices::Register& r : device.registers) {
        if (EqualNoCase(r.name, name)) {
            return true;
        }
        for (const std::string& bit : r.bits) {
            if (EqualNoCase(bit, name)) {
                return true;
            }
        }
    }
    for (const devices::ConfigWord& c : device.config) {
        for (const devices::ConfigSetting& s : c.settings) {
            if (EqualNoCase(s.name, name)) {
                return true;
            }
        }
    }
    return false;
}

// The names the writer makes itself: label_XXXX and function_XXXX.
bool IsGeneratedLabel(std::string_view name) {
    for (const std::string_view prefix : {"label_", "function_"}) {
        if (name.size() == prefix.size() + 4 && name.starts_with(prefix)) {
            return true;
        }
    }
    return name.size() == 7 && name.starts_with("ram_");  // a data memory location's
}

}  // namespace

bool IsReservedWord(std::string_view name) {
    static const std::set<std::string> kWords = [] {
        std::set<std::string> words = {
            "W",          "F",        "A",        "B",        "END",      "ORG",       "EQU",
            "SET",        "DW",       "DE",       "DT",       "DA",       "DB",        "DATA",
            "RES",        "FILL",     "HIGH",     "LOW",      "UPPER",    "LIST",      "NOLIST",
            "CBLOCK",     "ENDC",     "BANKSEL",  "PAGESEL",  "BANKISEL", "PROCESSOR", "RADIX",
            "ERRORLEVEL", "MACRO",    "ENDM",     "LOCAL",    "IF",       "ELSE",      "ENDIF",
            "IFDEF",      "IFNDEF",   "WHILE",    "ENDW",     "INCLUDE",  "CONSTANT",  "VARIABLE",
            "__CONFIG",   "__IDLOCS", "__BADRAM", "__MAXRAM", "TITLE",    "SUBTITLE",  "SPACE",
            "PAGE",       "EXPAND",   "NOEXPAND", "MESSG",    "ERROR",    "CODE",      "UDATA",
            "IDATA",      "GLOBAL",   "EXTERN",   "LCALL",    "LGOTO",    "TRUE",      "FALSE",
            "ADDCF",      "ADDDCF",   "B",        "BC",       "BDC",      "BNC",       "BNDC",
            "BNZ",        "BZ",       "CLRC",     "CLRDC",    "CLRZ",     "MOVFW",     "NEGF",
            "SETC",       "SETDC",    "SETZ",     "SKPC",     "SKPDC",    "SKPNC",     "SKPNDC",
            "SKPNZ",      "SKPZ",     "SUBCF",    "SUBDCF",   "TSTF",     "MODE"};
        for (const isa::Core core :
             {isa::Core::Baseline, isa::Core::Midrange, isa::Core::Enhanced}) {
            for (const isa::Instruction& row : isa::Table(core)) {
                words.emplace(row.mnemonic);
            }
        }
        return words;
    }();
    return kWords.count(Upper(name)) != 0;
}

std::string NameFault(std::string_view name, const devices::Device* device) {
    std::string quoted;  // built by appending: GCC 12 warns falsely on a concatenation
    quoted += '"';
    quoted.append(name);
    quoted += '"';
    if (!IsSymbolName(name)) {
        return quoted + " is not a name (a letter or _, then letters, digits or _, at most 32)";
    }
    if (IsReservedWord(name) || (device != nullptr && PartNames(*device, name))) {
        return quoted + " is already an instruction, register, bit or setting name";
    }
    if (IsGeneratedLabel(name)) {
        return quoted + " has the form of the names given to unnamed labels and locations";
    }
    return {};
}

bool ParseSymbols(std::string_view text, const std::string& fileName, const devices::Device& device,
                  Symbols& symbols, std::string& error) {
    // the first faulty line ends the checks: nothing after it is read
    const SymbolFile file = ReadSymbolFile(text, true);
    const auto fail = [&](std::size_t line, const std::string& why) {
        error = fileName + ":" + std::to_string(line) + ": " + why;
        return false;
    };
    const SymbolFault* fault = file.faults.empty() ? nullptr : &file.faults.front();
    std::map<std::string, std::size_t> used;  // upper-case name -> line
    Symbols out;
    for (const SymbolEntry& entry : file.entries) {
        if (fault != nullptr && fault->line < entry.line) {
            break;
        }
        if (entry.kind == SymbolKind::Entry) {
            if (entry.address >= device.programWords) {
                char address[16];
                std::snprintf(address, sizeof address, "0x%04X", entry.address);
                return fail(entry.line, "entry " + std::string(address) +
                                            " is outside the program memory of the " + device.name);
            }
            out.entries.push_back(entry.address);
            continue;
        }
        if (entry.kind == SymbolKind::Comment) {
            out.comments[entry.address] = entry.text;
            continue;
        }
        // bookmarks are the listing window's
        if (entry.kind != SymbolKind::Label && entry.kind != SymbolKind::Ram) {
            continue;
        }
        const bool label = entry.kind == SymbolKind::Label;
        const std::string& name = entry.text;
        const std::string upper = Upper(name);
        char address[16];
        std::snprintf(address, sizeof address, label ? "0x%04X" : "0x%03X", entry.address);
        if (const std::string why = NameFault(name, &device); !why.empty()) {
            return fail(entry.line, why);
        }
        if (const auto it = used.find(upper); it != used.end()) {
            return fail(entry.line,
                        "\"" + name + "\" is already used on line " + std::to_string(it->second));
        }
        auto& table = label ? out.labels : out.ram;
        const unsigned limit = label ? device.programWords : device.bankCount * device.bankSize;
        if (entry.address >= limit) {
            return fail(entry.line, "address " + std::string(address) + " is outside the " +
                                        (label ? "program" : "data") + " memory of the " +
                                        device.name);
        }
        if (table.count(entry.address) != 0) {
            return fail(entry.line, "address " + std::string(address) + " is named twice");
        }
        table[entry.address] = name;
        used[upper] = entry.line;
    }
    if (fault != nullptr) {
        return fail(fault->line, fault->text);
    }
    symbols = std::move(out);
    return true;
}

bool LoadSymbols(const std::string& path, const devices::Device& device, Symbols& symbols,
                 std::string& error) {
    std::string text;
    return LoadSymbolFileText(path, text, error) &&
           ParseSymbols(text, path, device, symbols, error);
}

}  // namespace tolvek::source
