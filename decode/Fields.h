// Operand fields of a program word, taken from its four digit characters.
//
// A word text is four hexadecimal digit characters, high byte first, in the
// letter case of the record. Fields are computed from single digit values and
// leave as text; literals are copied as characters.
#pragma once

#include <string>
#include <string_view>

namespace tolvek {

// 14-bit core: file register (bits 6-0) as decimal text "0" to "127".
std::string SetRAMAddress(char digit3, char digit4);
// 14-bit core: ",f" when bit 7 is set, ",w" when it is clear.
std::string SetDestination(char digit3);
// 14-bit core: bit number (bits 9-7) as one decimal digit.
std::string SetBitData(char digit2, char digit3);

// 12-bit core: file register (bits 4-0) as decimal text "0" to "31".
std::string SetRAMAddress5x(char digit3, char digit4);
// 12-bit core: ",w" when bit 5 is clear, the empty text when it is set.
std::string SetDestination5x(char digit3);
// 12-bit core: bit number (bits 7-5) as decimal text.
std::string SetBitData5x(char digit3);

// Four binary digits of one hexadecimal digit, most significant first.
std::string HexToBinary(char digit);
void AppendBinary(std::string& out, char digit);

}  // namespace tolvek
