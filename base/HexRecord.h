// The 32 data digits of a full record (16 bytes, eight program words) read in
// one go. A hex file is nearly all such records; reading their digits a pair
// at a time costs a table look-up and a test per character.
#pragma once

#include <cstdint>

namespace tolvek {

// What the 32 digit characters of a full record give.
struct HexRecordData {
    // The eight words, each from two bytes written low byte first.
    std::uint16_t words[8];
    // Bit i is set when a digit of word i is a lower-case letter.
    unsigned lowerCase = 0;
    // The sum of the 16 bytes.
    unsigned byteSum = 0;
};

// Reads the 32 characters at digits; false when any is not a hexadecimal digit
// (or the machine has no SSE2), which leaves the record to the character-wise
// reading.
bool ReadHexRecordData(const char* digits, HexRecordData& data);

}  // namespace tolvek
