// What a listing run has to say beyond its status line: records with a wrong
// checksum, the hints after a run that stopped, and why an INHX8S pair did not
// merge. The command line prints these lines and the window shows them.
#pragma once

#include <string>
#include <vector>

#include "chipdb/ChipData.h"
#include "job/ChipHint.h"
#include "job/Job.h"
#include "run/Checksum.h"
#include "run/Run.h"

namespace tolvek {

// One line for each fault the report kept and, where it found more, a count; as
// warnings, or with strict as errors followed by the verdict that the input is
// not disassembled. None for a report without faults. The lines carry no
// program name.
std::vector<std::string> ChecksumNotes(const std::string& input, const ChecksumReport& report,
                                       bool strict);

// What the hints after a listing run need to know beyond the run itself.
struct HintContext {
    InputFormat format = InputFormat::kInhx8m;
    ChipSource chipSource = ChipSource::kNamed;
    std::string chipName;    // as the user gave it; empty when none was given
    std::string deviceFile;  // the device data, for the enhanced parts' names
};

// The hint lines after a listing run of input (the file the run read), in the
// order the command line prints them: the enhanced-core hint (after an INHX32
// run or a word that is no instruction), the INHX32 hint after a type fault of
// an INHX8M run, and the chip hint after a word that is no instruction.
std::vector<std::string> ListingHints(const std::string& input, const RunResult& result,
                                      const ChipState& chip, const HintContext& context);

// The hint after an INHX8S pair that did not merge because chosen is the
// high-byte file itself; empty otherwise (the partner's own fault, when it could
// not be opened, says the rest).
std::string MergeFailedHint(const std::string& chosen);

}  // namespace tolvek
