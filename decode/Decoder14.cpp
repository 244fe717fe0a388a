// 14-bit core: the word's value picks the row of the midrange table.
#include "decode/Decoder.h"

#include "base/Conversions.h"

namespace tolvek {

DecodedWord ListingDecoder::ExtractInstructionData(std::string_view word) {
    if (word.size() != 4) {
        return {};
    }
    // only the upper-case text is the unprogrammed word; "3fff" is ADDLW 0xff
    if (word == "3FFF") {
        return Blank();
    }
    // Bits 15 and 14, which the core lacks, send a top digit of 4 to F to the
    // literal group as 3 does; the group looks at the second digit only.
    const int top = ASCIIToDec(word[0]);
    const unsigned value =
        static_cast<unsigned>((top < 3 ? top : 3) << 12 | ASCIIToDec(word[1]) << 8 |
                              ASCIIToDec(word[2]) << 4 | ASCIIToDec(word[3]));
    const isa::Instruction* row = ListingRow(isa::Core::Midrange, value);
    return row == nullptr ? DecodedWord{} : FromRow(*row, value, word);
}

}  // namespace tolvek
