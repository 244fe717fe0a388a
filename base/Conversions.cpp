#include "base/Conversions.h"

#include <charconv>

namespace tolvek {

namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";
}

std::string HexToDec(std::string_view text) {
    long value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value = value * 16 + (i < text.size() ? ASCIIToDec(text[i]) : 0);
    }
    return std::to_string(value);
}

char HexToAscii(int value) {
    return (value >= 0 && value <= 15) ? kHexDigits[value] : '0';
}

std::string DecToHex(long value) {
    if (value < 0) {
        value = 0;
    }
    const long d1 = value / 4096;
    long r = value % 4096;
    const long d2 = r / 256;
    r %= 256;
    const long d3 = r / 16;
    const long d4 = r % 16;
    // Leading zeros are dropped from the two upper digits only; a d1 above 15
    // has the character 0 and is dropped with them.
    std::string result(1, HexToAscii(static_cast<int>(d1)));
    if (result == "0") {
        result.clear();
    }
    result += HexToAscii(static_cast<int>(d2));
    if (result == "0") {
        result.clear();
    }
    result += HexToAscii(static_cast<int>(d3));
    result += HexToAscii(static_cast<int>(d4));
    return result;
}

std::string FormatFour(std::string_view hex) {
    std::string result(hex);
    if (result.size() < 4) {
        result.insert(0, 4 - result.size(), '0');
    }
    return result;
}

bool ParseNumber(std::string_view text, std::size_t maxDigits, unsigned& value) {
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > maxDigits) {
        return false;
    }
    unsigned number = 0;
    for (const char c : text) {
        const bool decimal = c >= '0' && c <= '9';
        if (!decimal && (base == 10 || !TestHex(c))) {
            return false;
        }
        number = number * base + static_cast<unsigned>(ASCIIToDec(c));
    }
    value = number;
    return true;
}

void AppendTwoHex(std::string& out, unsigned value) {
    const char digits[2] = {kHexDigits[(value >> 4) & 15], kHexDigits[value & 15]};
    out.append(digits, 2);
}

void AppendDecimal(std::string& out, long value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

}  // namespace tolvek
