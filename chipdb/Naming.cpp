// Register and bit names of the selected chip, with the other RAM pages' names as a note.
#include <array>
#include <charconv>

#include "base/Conversions.h"
#include "chipdb/ChipData.h"

namespace tolvek {

namespace {

constexpr std::size_t kMaxOperandName = 20;
constexpr std::string_view kRamPageLead = "; ??? RAM Page ";

// Finds the key as a whole entry in the first RAM line of a page that holds it.
// An entry ends at "," or the end of the line, so the key of address 1 never
// matches the entry of address 10 or 1F. Returns false when no line holds it;
// otherwise name is the text between the nearest "," before the key and its ";".
bool FindRegisterName(const std::vector<std::string>& chipInfo, std::string_view prefix,
                      std::string_view key, std::string& name) {
    for (const std::string& line : chipInfo) {
        if (!line.starts_with(prefix)) {
            continue;
        }
        for (std::size_t at = line.find(key); at != std::string::npos;
             at = line.find(key, at + 1)) {
            const std::size_t after = at + key.size();
            if (after != line.size() && line[after] != ',') {
                continue;
            }
            const std::size_t comma = line.rfind(',', at);
            const std::size_t start = comma == std::string::npos ? 0 : comma + 1;
            name = line.substr(start, at - start).substr(0, kMaxOperandName);
            return true;
        }
    }
    return false;
}

// The register name of a bit line: the text between its "%" and its first ",".
std::string_view BitLineRegister(std::string_view line) {
    const std::size_t percent = line.find('%');
    if (percent == std::string_view::npos) {
        return {};
    }
    const std::string_view rest = line.substr(percent + 1);
    return rest.substr(0, rest.find(',')).substr(0, kMaxOperandName);
}

// "," followed by a bit's name or number.
std::string BitPart(std::string_view name) {
    std::string part(1, ',');
    part += name;
    return part;
}

}  // namespace

std::string StripHexValue(std::string_view text) {
    std::size_t first = 0;
    while (first + 1 < text.size() && text[first] == '0') {
        ++first;
    }
    return std::string(text.substr(first));
}

std::string ChipState::GetBitMnemonic(std::string_view key, std::string_view bit,
                                      std::size_t startLine) const {
    if (bit.empty() || startLine >= ChipInfo.size()) {
        return {};
    }
    // a bit line belongs to the register it names whole, so TMR never takes TMR0's bits
    const std::string_view registerName = key.substr(1);
    for (std::size_t i = startLine; i < ChipInfo.size(); ++i) {
        const std::string& line = ChipInfo[i];
        if (line.find('%') == std::string::npos || BitLineRegister(line) != registerName) {
            continue;
        }
        int bitNumber = 0;
        std::from_chars(bit.data(), bit.data() + bit.size(), bitNumber);
        std::size_t comma = std::string::npos;
        std::size_t from = 0;
        for (int n = 0; n <= bitNumber; ++n) {
            comma = line.find(',', from);
            if (comma == std::string::npos) {
                return ",";  // fewer names than the bit needs
            }
            from = comma + 1;
        }
        const std::size_t next = line.find(',', from);
        const std::string name = line.substr(from, next == std::string::npos ? next : next - from);
        return BitPart(name == "?" ? bit : std::string_view(name));
    }
    return BitPart(bit);
}

RegisterNamer& ChipState::Naming() const {
    if (!naming_.BuiltFrom(ChipInfo)) {
        naming_.Build(ChipInfo);
    }
    return naming_;
}

void ChipState::ConvertToRAMMnemonic(std::string_view address, std::string_view bit,
                                     std::string& operand, std::string& ramPageNote) const {
    const std::string stripped = StripHexValue(address);
    std::string key0(1, ';');
    key0 += stripped;
    // pages 1 and 3 hold the same register 80 hexadecimal higher
    const long value = std::stol(HexToDec(FormatFour(stripped)));
    std::string key1(1, ';');
    key1 += DecToHex(value + 0x80);

    std::string name;
    if (FindRegisterName(ChipInfo, "#0,", key0, name) && !name.empty()) {
        operand = name + GetBitMnemonic("%" + name, bit, 1);
    } else {
        operand = "0x" + std::string(address);
        if (!bit.empty()) {
            operand += ",";
            operand += bit;
        }
    }
    CutText(operand);

    struct OtherPage {
        const char* prefix;
        const std::string& key;
        std::size_t startLine;
    };
    const std::array<OtherPage, 3> pages = {{{"#1,", key1, 2}, {"#2,", key0, 3}, {"#3,", key1, 4}}};
    for (const OtherPage& page : pages) {
        if (!FindRegisterName(ChipInfo, page.prefix, page.key, name) || name.empty()) {
            continue;
        }
        ramPageNote += ramPageNote.empty() ? kRamPageLead : std::string_view(" / ");
        ramPageNote += name;
        ramPageNote += GetBitMnemonic("%" + name, bit, page.startLine);
        CutText(ramPageNote);
    }
}

}  // namespace tolvek
