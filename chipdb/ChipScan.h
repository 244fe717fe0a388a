// Reading a chip data file for one run: only as far as the run needs it, a
// piece at a time.
//
// A run needs one chip's section, or only the chip list. Loading the whole file
// into ChipLines, listing and sorting every chip to find one costs more than
// the rest of a small run together. The scan instead looks only at lines that
// begin with "[" and copies out the one section the run selects; it stops at
// the line that closes that section when the chip is named. Whatever it cannot
// settle the way ChipState::LoadChipFile and ChipList would (a name that is not
// listed, a file without chips, a file near the size limits, a long line that
// lists a name) it hands back as kWholeFile, and the caller loads the whole
// file as before.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/IoError.h"

namespace tolvek {

inline constexpr std::size_t kChipScanPiece = 16u << 10;

struct ChipScan {
    enum class Want {
        kNamed,  // the section of the chip `name`, or else of the first chip in
                 // list order that `alike` accepts
        kFirst,  // the section of the first chip of the sorted list
        kList,   // the sorted chip list only
    };
    enum class Result {
        kDone,        // what was wanted is below
        kUnreadable,  // the file cannot be read: error holds the reason
        kWholeFile,   // load the whole file to settle it
    };
    Result result = Result::kWholeFile;
    IoError error;
    // kNamed and kFirst: the selected chip, and its text from its section line
    // up to and including the "[" that closes the section (or to the end of the
    // text when nothing closes it). ChipState::LoadChipLines of this text,
    // then SelectChip(name), gives what loading the whole file and selecting
    // the chip gives.
    std::string name;
    std::string section;
    // kList: the chip list, sorted as ChipState::ChipList sorts it.
    std::vector<std::string> names;
};

// Scans the chip data file at path. `piece` is how much is read at a time. A
// name listed exactly ends the scan where its section closes; one that is only
// alike to the name asked for needs the whole list, since an exact one may follow.
ChipScan ScanChipFile(const std::string& path, ChipScan::Want want, std::string_view name = {},
                      const std::function<bool(std::string_view)>& alike = {},
                      std::size_t piece = kChipScanPiece);

}  // namespace tolvek
