// 12-bit core: the word's value picks the row of the baseline table; only a
// word whose top digit is "0" is one of the core.
#include <array>

#include "base/Conversions.h"
#include "chipdb/RegisterNamer.h"
#include "decode/Decoder.h"

namespace tolvek {

DecodedWord ListingDecoder::Decode5xInstruction(std::string_view word) {
    if (word.size() != 4 || word[0] != '0') {
        return {};
    }
    // only the upper-case text is the erased word; "0fff" is XORLW 0xff
    if (word.substr(1) == "FFF") {
        return Blank();
    }
    const unsigned value = static_cast<unsigned>(ASCIIToDec(word[1]) << 8 |
                                                 ASCIIToDec(word[2]) << 4 | ASCIIToDec(word[3]));
    const isa::Instruction* row = ListingRow(isa::Core::Baseline, value);
    return row == nullptr ? DecodedWord{} : FromRow(*row, value, word);
}

// The ports by name: PORTA to PORTC on 5 to 7; on a 12-series chip port 6 is
// the chip's own register 6 (GPIO). Any other port as "0nh".
void ListingDecoder::AppendTris5x(unsigned port, DecodedWord& out) {
    if (setup_.series12) {
        if (port == 6) {
            AppendRegister(6, RegisterNamer::kNoBit, out);
            return;
        }
    } else if (port >= 5) {
        static constexpr std::array<std::string_view, 3> kPorts = {"PORTA", "PORTB", "PORTC"};
        text_ += kPorts[port - 5];
        return;
    }
    text_ += '0';
    text_ += static_cast<char>('0' + port);
    text_ += 'h';
}

}  // namespace tolvek
