// One disassembly as a front end asks for it: the input format, the chosen
// file, the INHX8S merge and where the output goes. The command line and the
// window each hold one and differ only in how they show it.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "base/IoError.h"
#include "chipdb/ChipData.h"
#include "run/FrontEnd.h"
#include "run/Run.h"

namespace tolvek {

enum class InputFormat {
    kInhx8m,  // one file, every word low byte first
    kInhx8s,  // a .hxl/.hxh pair, merged into the .dsm file the run reads
    kInhx32,  // INHX8M with extended linear address records
};

// What a job writes.
enum class OutputKind {
    kListing,  // the .dis listing
};

class Job {
  public:
    explicit Job(ChipState& chip) : run_(chip) {}

    InputFormat Format = InputFormat::kInhx8m;
    OutputKind Output = OutputKind::kListing;
    // Where the output goes: empty for beside the input; OutputStream, when
    // set, instead of any file.
    std::string OutputPath;
    std::FILE* OutputStream = nullptr;
    // Record checksums: tallied by the checking pass when set; a wrong one
    // refuses the input with RefuseBadChecksums (see Disassembler).
    bool CheckChecksums = false;
    bool RefuseBadChecksums = false;

    // A file is open and no run has used it yet.
    bool FileReady = false;
    // A run is going on.
    bool Busy = false;
    // The file the user chose, and for INHX8S the merged file made from it. The
    // merged name is set by the merge even when it fails.
    std::string ChosenFileName;
    std::string MergedFileName;

    enum class OpenResult {
        kReady,        // FileReady is set
        kMergeFailed,  // the INHX8S pair does not merge (kMergeFailedMessage)
        kIoFailed,     // the chosen file could not be read or the merged file written
    };
    // Takes the chosen file; an INHX8S pair is merged at once. Fills error on
    // kIoFailed, and on kMergeFailed when the partner could not be opened.
    OpenResult Open(const std::string& chosen, IoError& error);

    // Runs on the open file in the current format; does nothing (and returns an
    // empty result) unless a file is ready and no run is going on.
    RunResult Start(FrontEnd& frontEnd);

    // The file the run reads: the merged file for INHX8S, else the chosen one.
    const std::string& InputFileName() const;
    // The checksum tally of the last run, and whether it covers the whole file.
    const ChecksumReport& Checksums() const { return run_.Checksums; }
    bool ChecksumsComplete() const { return run_.ChecksumsComplete; }
    // The header lines of the last listing written.
    const std::vector<std::string>& Header() const { return run_.Header(); }

  private:
    Disassembler run_;
};

}  // namespace tolvek
