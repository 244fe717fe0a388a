// Register naming by scanning the section's lines for every operand: the plain
// reading of the naming rules that RegisterNamer's index is checked against.
#pragma once

#include <string>
#include <vector>

#include "chipdb/RegisterNamer.h"

namespace tolvek::testing {

struct ReferenceText {
    std::string text;  // register name and bit part, or the "0x" form
    std::string note;  // "; ??? RAM Page " and the other pages' names, or empty
};

// The operand text and RAM-page note of a register address below 128 with bit
// RegisterNamer::kNoBit or 0 to 7, for a section's lines (line 0 the parameter line).
ReferenceText ReferenceOperand(const std::vector<std::string>& chipInfo, unsigned address, int bit);

}  // namespace tolvek::testing
