// Operand texts that both cores write the same way: jump-target labels and the
// RETLW literal with its binary and character comment.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tolvek {

namespace detail {
// The two upper-case digits of each byte value, the first in the low byte.
inline constexpr auto kHexPairs = [] {
    constexpr char kDigits[] = "0123456789ABCDEF";
    std::array<std::uint16_t, 256> pairs{};
    for (unsigned value = 0; value < 256; ++value) {
        const auto first = static_cast<unsigned char>(kDigits[value >> 4]);
        const auto second = static_cast<unsigned char>(kDigits[value & 15]);
        pairs[value] = static_cast<std::uint16_t>(first | second << 8);
    }
    return pairs;
}();
}  // namespace detail

// The label of a word address, "ad" and four upper-case hexadecimal digits,
// as the eight bytes of one store on a little-endian machine (the last two are
// zero).
inline std::uint64_t TargetLabelBytes(unsigned wordAddress) {
    return ('a' | 'd' << 8) |
           static_cast<std::uint64_t>(detail::kHexPairs[(wordAddress >> 8) & 0xFF]) << 16 |
           static_cast<std::uint64_t>(detail::kHexPairs[wordAddress & 0xFF]) << 32;
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
