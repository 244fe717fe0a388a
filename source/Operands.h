// What each register operand of the program touches in data memory: the
// locations it may name, told by the banks the flow knows before the word, and
// whether the word reads the location, writes it, or tests or sets one bit.
#pragma once

#include <cstdint>
#include <vector>

#include "devices/Device.h"
#include "source/Flow.h"
#include "source/Program.h"

namespace tolvek::source {

// The banks a register operand at the word may be in, as a bit mask (bit n:
// bank n): bank 0 alone for an offset every bank shares.
std::uint64_t OperandBanks(const devices::Device& device, const Flow& flow, unsigned word,
                           unsigned file);
// One address for a location every bank shares (its bank-0 offset); the
// address itself otherwise.
unsigned CanonicalAddress(const devices::Device& device, unsigned address);

struct DataAccess {
    enum class Kind : std::uint8_t { Read, Write, Bit };
    unsigned word = 0;     // program word address
    unsigned address = 0;  // data memory address, canonical
    Kind kind = Kind::Read;
    bool certain = false;  // the only location the operand can name
};

// Every register operand of every word the image holds, by word address; a
// word whose bank the flow cannot tell gives one access for each location it
// may name, none of them certain.
std::vector<DataAccess> DataAccesses(const Program& program, const Flow& flow);

}  // namespace tolvek::source
