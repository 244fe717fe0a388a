// Register naming by scanning the section's lines for every operand: the plain
// reading of the naming rules that RegisterNamer's index is checked against.
#pragma once

#include <string>
#include <vector>

#include "chipdb/RegisterNamer.h"

namespace tolvek::testing {

// The operand text and RAM-page note of a register address below 128 with bit
// RegisterNamer::kNoBit or 0 to 7, for a section's lines (line 0 the parameter line).
RegisterNamer::Operand ReferenceOperand(const std::vector<std::string>& chipInfo, unsigned address,
                                        int bit);

}  // namespace tolvek::testing
