#include "decode/Fields.h"

#include "base/Conversions.h"

namespace tolvek {

std::string SetRAMAddress(char digit3, char digit4) {
    return std::to_string((ASCIIToDec(digit3) & 7) * 16 + ASCIIToDec(digit4));
}

std::string SetDestination(char digit3) {
    return (ASCIIToDec(digit3) & 8) != 0 ? ",f" : ",w";
}

std::string SetBitData(char digit2, char digit3) {
    const int bit = (ASCIIToDec(digit2) & 3) * 2 + ((ASCIIToDec(digit3) & 8) != 0 ? 1 : 0);
    return std::to_string(bit);
}

std::string SetRAMAddress5x(char digit3, char digit4) {
    return std::to_string((ASCIIToDec(digit3) & 1) * 16 + ASCIIToDec(digit4));
}

std::string SetDestination5x(char digit3) {
    return (ASCIIToDec(digit3) & 2) != 0 ? "" : ",w";
}

std::string SetBitData5x(char digit3) {
    return std::to_string((ASCIIToDec(digit3) >> 1) & 7);
}

void AppendBinary(std::string& out, char digit) {
    const int value = ASCIIToDec(digit);
    char binary[4];
    for (int bit = 3; bit >= 0; --bit) {
        binary[3 - bit] = ((value >> bit) & 1) != 0 ? '1' : '0';
    }
    out.append(binary, 4);
}

std::string HexToBinary(char digit) {
    std::string binary;
    AppendBinary(binary, digit);
    return binary;
}

}  // namespace tolvek
