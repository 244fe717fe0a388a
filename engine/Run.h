// The disassembly run: a checking pass, then a building pass that writes the listing.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "chipdb/ChipData.h"
#include "decode/Decoder.h"
#include "engine/FrontEnd.h"
#include "engine/TargetTable.h"
#include "engine/WordMemo.h"

namespace tolvek {

// What a run ended with: a result code, or an input/output failure.
struct RunResult {
    int code = kResultOk;
    bool ioFailed = false;
    std::string ioMessage;  // names the file and the system's reason
};

// One disassembly run and what it works on: the input file and where its
// listing goes, the run flags (FileReady, Busy), the jump-target table, the
// word count, the header lines and the line the run stopped at. A front end
// owns one, fills in the input and calls StartButClick.
class Disassembler {
  public:
    explicit Disassembler(ChipState& chip) : chip_(chip) {}

    // The run state.
    bool FileReady = false;
    bool Busy = false;
    TargetTable Targets;
    int InstructionCount = 0;
    std::string MergedFileName;
    // The file the passes read: the chosen INHX8M file, or MergedFileName.
    std::string InputFileName;
    // The files the input was made from (an INHX8S pair); the listing may not
    // replace them either.
    std::vector<std::string> SourceFileNames;
    // Where the listing goes: empty for beside the input (base name + ".dis").
    std::string ListingPath;
    // When set, the listing is written to this stream instead of a file.
    std::FILE* ListingStream = nullptr;
    // Accept INHX32 extended linear address records (type 04).
    bool AcceptExtendedAddress = false;
    // Line number text and line text after the run, as the error panel shows them.
    std::string LineLab;
    std::string LineData;
    // The header lines of the last building pass.
    std::vector<std::string> HeadMemo;

    // The whole run; does nothing unless a file is ready and no run is going on.
    RunResult StartButClick(FrontEnd& frontEnd);

    // One pass over the input: 0 checks, 1 builds the listing.
    RunResult DissassembleData(int pass, FrontEnd& frontEnd);

    // The listing file that a run writes for the current input.
    std::string ListingFileName() const;

  private:
    ChipState& chip_;
    // Decoded words of the current pass.
    WordMemo memo_;
};

}  // namespace tolvek
