#include "tests/chipdb/ReferenceNaming.h"

#include <array>
#include <string_view>

#include "base/Conversions.h"

namespace tolvek::testing {

namespace {

constexpr std::size_t kMaxName = 20;
constexpr std::string_view kRamPageLead = "; ??? RAM Page ";

// Finds the key (";" and the address's digits) as a whole entry in the first
// RAM line of a page that holds it: an entry ends at "," or the end of the
// line. The name is the text between the nearest "," before the key and it.
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
            name = line.substr(start, at - start).substr(0, kMaxName);
            return true;
        }
    }
    return false;
}

// The register a bit line names: the text between its "%" and its first ",".
std::string_view BitLineRegister(std::string_view line) {
    const std::size_t percent = line.find('%');
    if (percent == std::string_view::npos) {
        return {};
    }
    const std::string_view rest = line.substr(percent + 1);
    return rest.substr(0, rest.find(',')).substr(0, kMaxName);
}

// "," and the bit's name from the first bit line of the register at or after
// startLine; the bit's number where the line names it "?" or no line exists.
std::string BitPart(const std::vector<std::string>& chipInfo, std::string_view registerName,
                    int bit, std::size_t startLine) {
    if (bit < 0 || startLine >= chipInfo.size()) {
        return {};
    }
    const std::string number{',', static_cast<char>('0' + bit)};
    for (std::size_t i = startLine; i < chipInfo.size(); ++i) {
        const std::string& line = chipInfo[i];
        if (line.find('%') == std::string::npos || BitLineRegister(line) != registerName) {
            continue;
        }
        std::size_t from = 0;
        for (int n = 0; n <= bit; ++n) {
            const std::size_t comma = line.find(',', from);
            if (comma == std::string::npos) {
                return ",";  // fewer names than the bit needs
            }
            from = comma + 1;
        }
        const std::size_t next = line.find(',', from);
        const std::string name = line.substr(from, next == std::string::npos ? next : next - from);
        return name == "?" ? number : std::string(1, ',').append(name);
    }
    return number;
}

}  // namespace

ReferenceText ReferenceOperand(const std::vector<std::string>& chipInfo, unsigned address,
                               int bit) {
    // keys are upper-case hexadecimal without leading zeros; pages 1 and 3 hold
    // the same register 80 hexadecimal higher
    std::string key0(1, ';');
    key0 += DecToHex(static_cast<long>(address)).substr(address < 16 ? 1 : 0);
    std::string key1(1, ';');
    key1 += DecToHex(static_cast<long>(address + 0x80));
    ReferenceText operand;
    std::string name;
    if (FindRegisterName(chipInfo, "#0,", key0, name) && !name.empty()) {
        operand.text = name + BitPart(chipInfo, name, bit, 1);
    } else {
        operand.text = "0x";
        operand.text += DecToHex(static_cast<long>(address));
        if (bit >= 0) {
            operand.text += ',';
            operand.text += static_cast<char>('0' + bit);
        }
    }
    CutText(operand.text);
    const struct {
        const char* prefix;
        const std::string& key;
        std::size_t startLine;
    } pages[] = {{"#1,", key1, 2}, {"#2,", key0, 3}, {"#3,", key1, 4}};
    for (const auto& page : pages) {
        if (!FindRegisterName(chipInfo, page.prefix, page.key, name) || name.empty()) {
            continue;
        }
        operand.note += operand.note.empty() ? kRamPageLead : std::string_view(" / ");
        operand.note += name + BitPart(chipInfo, name, bit, page.startLine);
        CutText(operand.note);
    }
    return operand;
}

}  // namespace tolvek::testing
