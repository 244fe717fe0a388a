// Operand texts that both cores write the same way: jump-target labels and the
// RETLW literal with its binary and character comment.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tolvek {

// The label of a word address, "ad" and four upper-case hexadecimal digits,
// as the eight bytes of one store (the last two are zero): the digits are
// worked out side by side in one number rather than looked up one by one.
inline std::uint64_t TargetLabelBytes(unsigned wordAddress) {
    const unsigned a = wordAddress & 0xFFFF;
    std::uint64_t digits = (a >> 12) | ((a >> 8) & 15) << 8 | ((a >> 4) & 15) << 16 |
                           static_cast<std::uint64_t>(a & 15) << 24;
    // "0" to "9", and 7 more from "A" on: a digit above 9 carries into bit 4 with 6 added
    digits += 0x30303030 + (((digits + 0x06060606) >> 4) & 0x01010101) * 7;
    return ('a' | 'd' << 8) | digits << 16;
}

// The label written at out, with room for eight bytes; returns out + 6.
inline char* WriteTargetLabel(char* out, unsigned wordAddress) {
    if constexpr (std::endian::native == std::endian::little) {
        const std::uint64_t bytes = TargetLabelBytes(wordAddress);
        std::memcpy(out, &bytes, 8);
    } else {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        out[0] = 'a';
        out[1] = 'd';
        for (int i = 0; i < 4; ++i) {
            out[2 + i] = kDigits[(wordAddress >> (12 - 4 * i)) & 15];
        }
    }
    return out + 6;
}

// The longest text WriteRetlw writes.
inline constexpr std::size_t kMaxRetlw = 48;

// "RETLW 0x" and the literal's digits as the record writes them, then the
// comment: its eight binary digits and, for the printable codes 32 to 127, the
// character itself; written at out, returns the end.
char* WriteRetlw(char* out, char high, char low);

}  // namespace tolvek
