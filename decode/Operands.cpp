#include "decode/Operands.h"

#include <algorithm>
#include <string_view>

#include "base/Conversions.h"

namespace tolvek {

char* WriteRetlw(char* out, char high, char low) {
    using namespace std::string_view_literals;
    // the comment starts in column 26 of the text
    static constexpr std::string_view kLead = "RETLW 0x"sv;
    static constexpr std::string_view kComment = "               ; b'"sv;
    out = std::copy(kLead.begin(), kLead.end(), out);
    *out++ = high;
    *out++ = low;
    out = std::copy(kComment.begin(), kComment.end(), out);
    const int value = ASCIIToDec(high) * 16 + ASCIIToDec(low);
    for (int bit = 7; bit >= 0; --bit) {
        *out++ = static_cast<char>('0' + ((value >> bit) & 1));
    }
    *out++ = '\'';
    if (value >= 32 && value <= 127) {
        *out++ = ' ';
        *out++ = ' ';
        *out++ = '\'';
        *out++ = static_cast<char>(value);
        *out++ = '\'';
    }
    return out;
}

}  // namespace tolvek
