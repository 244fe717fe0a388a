// The disassembly run: a checking pass, then a building pass that writes the listing.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "base/IoError.h"
#include "chipdb/ChipData.h"
#include "run/Checksum.h"
#include "run/FrontEnd.h"
#include "run/Record.h"
#include "run/TargetTable.h"
#include "run/WordMemo.h"

namespace tolvek {

// What a run ended with: its result code and the outcome the front end was
// shown, or an input/output failure.
struct RunResult {
    int code = kResultOk;
    IoError io;  // set when a file could not be opened, read or written
    // The checking pass found records with a wrong checksum, and the run was
    // told to refuse them: no listing was written.
    bool checksumRefused = false;
    Outcome outcome;
};

// Disassembles one INHX8M file into its listing for the selected chip.
class Disassembler {
  public:
    explicit Disassembler(ChipState& chip) : chip_(chip) {}

    // The file the passes read: an INHX8M file (the chosen one, or a merged pair).
    std::string InputFileName;
    // The files the input was made from (an INHX8S pair); the listing may not
    // replace them either.
    std::vector<std::string> SourceFileNames;
    // Accept INHX32 extended linear address records (type 04).
    bool AcceptExtendedAddress = false;
    // Where the listing goes: empty for beside the input (base name + ".dis").
    std::string ListingPath;
    // When set, the listing is written to this stream instead of a file.
    std::FILE* ListingStream = nullptr;
    // The listing's record checks never look at checksums. When CheckChecksums
    // is set, the checking pass tallies them into Checksums as it reads each
    // line; with RefuseBadChecksums a wrong one ends the run before the listing
    // is written.
    bool CheckChecksums = false;
    bool RefuseBadChecksums = false;
    ChecksumReport Checksums;
    // The tally holds every line a whole reading of the file would check (up
    // to the end-of-file record): false when the checking pass stopped early.
    bool ChecksumsComplete = false;

    // Both passes over the input. The front end is shown the status, the
    // progress and, at the end, the outcome or the input/output failure.
    RunResult Run(FrontEnd& frontEnd);
    // One pass: 0 checks every record and records the jump targets, 1 writes
    // the listing (after a checking pass). The result's outcome holds only the
    // line number and line texts.
    RunResult DissassembleData(int pass, FrontEnd& frontEnd);

    // The listing file that a run writes for the current input.
    std::string ListingFileName() const;
    // The header lines of the last building pass (none when its front end
    // kept no header: FrontEnd::keepsHeader).
    const std::vector<std::string>& Header() const;

  private:
    class Pass;

    ChipState& chip_;
    TargetTable targets_;
    WordMemo memo_;
    // The header of the last building pass as the listing holds it, and its
    // lines once Header() has been asked for them.
    std::string header_;
    mutable std::vector<std::string> headerLines_;
    mutable bool headerSplit_ = false;
    int instructionCount_ = 0;  // words decoded by the current pass
};

}  // namespace tolvek
