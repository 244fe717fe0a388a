#include "source/Symbols.h"

#include <cctype>
#include <cstdio>
#include <memory>
#include <set>
#include <vector>

#include "base/Conversions.h"
#include "base/InputFile.h"
#include "base/LineReader.h"
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

bool IsIdentifier(std::string_view name) {
    if (name.empty() || name.size() > 32) {
        return false;
    }
    const auto letter = [](char c) {
        return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
    };
    if (!letter(name[0])) {
        return false;
    }
    for (const char c : name) {
        if (!letter(c) && !std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

// The names the writer makes itself: label_XXXX and function_XXXX.
bool IsGeneratedLabel(std::string_view name) {
    for (const std::string_view prefix : {"label_", "function_"}) {
        if (name.size() == prefix.size() + 4 && name.starts_with(prefix)) {
            return true;
        }
    }
    return false;
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

bool ParseSymbols(std::string_view text, const std::string& fileName, const devices::Device& device,
                  Symbols& symbols, std::string& error) {
    // every name the device gives a meaning to, upper case
    std::set<std::string> taken = {"FSR0", "FSR1"};
    for (const devices::Register& r : device.registers) {
        taken.insert(Upper(r.name));
        for (const std::string& bit : r.bits) {
            if (!bit.empty()) {
                taken.insert(Upper(bit));
            }
        }
    }
    for (const devices::ConfigWord& c : device.config) {
        for (const devices::ConfigSetting& s : c.settings) {
            taken.insert(Upper(s.name));
        }
    }
    std::map<std::string, std::size_t> used;  // upper-case name -> line
    Symbols out;
    std::size_t lineNumber = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::string_view line = NextLine(text, pos);
        ++lineNumber;
        if (const std::size_t hash = line.find('#'); hash != std::string_view::npos) {
            line = line.substr(0, hash);
        }
        std::vector<std::string_view> words;
        std::size_t i = 0;
        while (i < line.size()) {
            while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) {
                ++i;
            }
            const std::size_t start = i;
            while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) {
                ++i;
            }
            if (i > start) {
                words.push_back(line.substr(start, i - start));
            }
        }
        if (words.empty()) {
            continue;
        }
        const auto fail = [&](const std::string& why) {
            error = fileName + ":" + std::to_string(lineNumber) + ": " + why;
            return false;
        };
        if (words.size() != 3) {
            return fail("expected \"label ADDRESS NAME\" or \"ram ADDRESS NAME\"");
        }
        const bool label = words[0] == "label";
        if (!label && words[0] != "ram") {
            return fail("unknown kind \"" + std::string(words[0]) + "\" (use label or ram)");
        }
        unsigned address = 0;
        if (!ParseNumber(words[1], 8, address)) {
            return fail("\"" + std::string(words[1]) + "\" is not an address (write 0x0040 or 64)");
        }
        const std::string name(words[2]);
        if (!IsIdentifier(name)) {
            return fail("\"" + name +
                        "\" is not a name (a letter or _, then letters, digits or _, at most 32)");
        }
        const std::string upper = Upper(name);
        if (IsReservedWord(name) || taken.count(upper) != 0) {
            return fail("\"" + name +
                        "\" is already an instruction, register, bit or setting name");
        }
        if (IsGeneratedLabel(name)) {
            return fail("\"" + name + "\" has the form of the names given to unnamed labels");
        }
        if (const auto it = used.find(upper); it != used.end()) {
            return fail("\"" + name + "\" is already used on line " + std::to_string(it->second));
        }
        auto& table = label ? out.labels : out.ram;
        const unsigned limit = label ? device.programWords : device.bankCount * device.bankSize;
        if (address >= limit) {
            return fail("address " + std::string(words[1]) + " is outside the " +
                        (label ? "program" : "data") + " memory of the " + device.name);
        }
        if (table.count(address) != 0) {
            return fail("address " + std::string(words[1]) + " is named twice");
        }
        table[address] = name;
        used[upper] = lineNumber;
    }
    symbols = std::move(out);
    return true;
}

bool LoadSymbols(const std::string& path, const devices::Device& device, Symbols& symbols,
                 std::string& error) {
    IoError failure;
    std::FILE* raw = OpenInputFile(path, "Cannot open the symbol file", failure);
    if (raw == nullptr) {
        error = failure.Message();
        return false;
    }
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(raw, std::fclose);
    std::string text;
    char buffer[16384];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, raw)) > 0) {
        text.append(buffer, got);
        if (text.size() > (16u << 20)) {
            error = "the symbol file \"" + path + "\" is larger than 16 MB";
            return false;
        }
    }
    return ParseSymbols(text, path, device, symbols, error);
}

}  // namespace tolvek::source
