// Operand texts that both cores write the same way: jump-target labels and the
// RETLW literal with its binary and character comment.
#pragma once

#include <cstddef>

namespace tolvek {

// The label of a word address, "ad" and four upper-case hexadecimal digits,
// written at out; returns out + 6.
inline char* WriteTargetLabel(char* out, unsigned wordAddress) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out[0] = 'a';
    out[1] = 'd';
    out[2] = kDigits[(wordAddress >> 12) & 15];
    out[3] = kDigits[(wordAddress >> 8) & 15];
    out[4] = kDigits[(wordAddress >> 4) & 15];
    out[5] = kDigits[wordAddress & 15];
    return out + 6;
}

// The longest text WriteRetlw writes.
inline constexpr std::size_t kMaxRetlw = 48;

// "RETLW 0x" and the literal's digits as the record writes them, then the
// comment: its eight binary digits and, for the printable codes 32 to 127, the
// character itself; written at out, returns the end.
char* WriteRetlw(char* out, char high, char low);

}  // namespace tolvek
