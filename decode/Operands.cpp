#include "decode/Operands.h"

#include <string_view>

#include "base/Conversions.h"

namespace tolvek {

namespace {

// Four binary digits of a hexadecimal digit, most significant first.
void AppendBinary(std::string& out, char digit) {
    const int value = ASCIIToDec(digit);
    const char binary[4] = {
        static_cast<char>('0' + ((value >> 3) & 1)), static_cast<char>('0' + ((value >> 2) & 1)),
        static_cast<char>('0' + ((value >> 1) & 1)), static_cast<char>('0' + (value & 1))};
    out.append(binary, 4);
}

}  // namespace

void AppendRetlw(std::string& out, char high, char low) {
    using namespace std::string_view_literals;
    out += "RETLW "sv;
    AppendLiteral(out, high, low);
    // the comment starts in column 26 of the text
    out += "               ; b'"sv;
    AppendBinary(out, high);
    AppendBinary(out, low);
    out += '\'';
    const int value = ASCIIToDec(high) * 16 + ASCIIToDec(low);
    if (value >= 32 && value <= 127) {
        out += "  '"sv;
        out += static_cast<char>(value);
        out += '\'';
    }
}

}  // namespace tolvek
