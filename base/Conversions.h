// Hex and decimal text conversions used throughout the engine.
//
// Numbers travel between these operations as decimal text, exactly as the
// listing's digit rules require; the fast helpers at the end give provably
// the same characters with integer arithmetic.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tolvek {

// Texts are cut at this many characters wherever a result could grow longer.
inline constexpr std::size_t kMaxText = 255;

// Cuts a text to kMaxText characters.
inline void CutText(std::string& text) {
    if (text.size() > kMaxText) {
        text.resize(kMaxText);
    }
}

namespace detail {
// Digit values and digit flags by character code. Table look-ups instead of
// comparisons: the digits of program words are as good as random, and branches
// on them are mispredicted half the time.
struct HexTables {
    std::array<unsigned char, 256> value{};
    std::array<bool, 256> isHex{};
};
inline constexpr HexTables kHexTables = [] {
    HexTables tables;
    for (int c = 0; c < 256; ++c) {
        int value = -1;
        if (c >= '0' && c <= '9') {
            value = c - '0';
        } else if (c >= 'A' && c <= 'F') {
            value = c - 'A' + 10;
        } else if (c >= 'a' && c <= 'f') {
            value = c - 'a' + 10;
        }
        tables.isHex[static_cast<std::size_t>(c)] = value >= 0;
        tables.value[static_cast<std::size_t>(c)] =
            static_cast<unsigned char>(value < 0 ? 0 : value);
    }
    return tables;
}();
}  // namespace detail

// True for 0-9, A-F and a-f.
inline bool TestHex(char c) {
    return detail::kHexTables.isHex[static_cast<unsigned char>(c)];
}
// Value 0 to 15 of a hexadecimal digit of either case; 0 for any other character.
inline int ASCIIToDec(char c) {
    return detail::kHexTables.value[static_cast<unsigned char>(c)];
}
// A number of the symbol files: decimal digits, or hexadecimal ones after "0x"
// or "0X", at most maxDigits of them; false (value untouched) for any other text.
bool ParseNumber(std::string_view text, std::size_t maxDigits, unsigned& value);

// Decimal text of the four-digit hexadecimal number in the first four characters
// (missing characters and non-digits count as 0).
std::string HexToDec(std::string_view text);
// Upper-case hexadecimal character for 0 to 15; the character 0 for any other value.
char HexToAscii(int value);
// Upper-case hexadecimal text of at least two digits for 0 to 1048575.
std::string DecToHex(long value);
// Pads a hexadecimal text with leading zeros to four characters.
std::string FormatFour(std::string_view hex);
// Value of two hexadecimal digits, or -1.
inline int ExtractLineBytes(char c1, char c2) {
    // both tests at once: record fields are nearly always digits
    const bool hex = static_cast<int>(TestHex(c1)) & static_cast<int>(TestHex(c2));
    const int value = ASCIIToDec(c1) * 16 + ASCIIToDec(c2);
    return hex ? value : -1;
}
// Value of four hexadecimal digits, most significant first, or -1.
inline int ExtractAddressBytes(char c1, char c2, char c3, char c4) {
    const bool hex = static_cast<int>(TestHex(c1)) & static_cast<int>(TestHex(c2)) &
                     static_cast<int>(TestHex(c3)) & static_cast<int>(TestHex(c4));
    const int value = ExtractLineBytes(c1, c2) * 256 + ExtractLineBytes(c3, c4);
    return hex ? value : -1;
}

// The same as DecToHex(value) for 0 to 255: exactly two upper-case digits.
void AppendTwoHex(std::string& out, unsigned value);
// Decimal text of a non-negative integer, appended to out.
void AppendDecimal(std::string& out, long value);

}  // namespace tolvek
