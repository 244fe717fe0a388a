// The hint after a word that is no instruction for the core the run used.
#pragma once

#include <string>
#include <string_view>

#include "chipdb/ChipData.h"

namespace tolvek {

// How the run came by its chip.
enum class ChipSource {
    kNamed,             // --chip
    kChosen,            // picked from the window's chip list
    kFirstInList,       // no --chip: the first chip of the chip data
    kNoChipData,        // no chip data was found
    kNoChipDataOption,  // --no-chipdat
};

// The hint line for a run that stopped at record line `line` with a word that
// is no instruction: it names the chip and core the run used and --chip. Empty
// when the chip was named and the word is no instruction on the other core
// either, where the fault lies in the file rather than in the choice.
std::string NoInstructionHint(std::string_view line, const ChipState& chip, ChipSource source);

}  // namespace tolvek
