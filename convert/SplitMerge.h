// Merges an INHX8S pair (".hxl" low bytes, ".hxh" high bytes, word addresses)
// into one INHX8M file beside it, the ".dsm" file, which the run then reads.
#pragma once

#include <string>
#include <string_view>

#include "base/IoError.h"

namespace tolvek {

inline constexpr std::string_view kMergeFailedMessage = "[ERROR 10]: INHX8S File Data Error.";

struct MergeState {
    // The merged file; set early, so it holds the new name also after a failure.
    std::string MergedFileName;
    // The one or two INHX8M records made from the current pair of lines, without ":".
    std::string FirstMergedRecord;
    std::string SecondMergedRecord;
    // Set when a file could not be opened, read or written; the merge then also
    // returns false.
    IoError io;
    // Why the partner could not be opened. Such a pair is incomplete: the merge
    // returns false as for any fault of the pair.
    IoError partner;
};

// The partner (high-byte) file of a chosen file: directory + base + ".hxh".
std::string PartnerFileName(std::string_view chosen);
// The merged file: directory + base + ".dsm".
std::string MergedName(std::string_view chosen);

// Merges the pair named by the chosen file; false when the pair cannot be merged.
bool ConvertSplitHexToHex(const std::string& chosen, MergeState& state);

// Turns one pair of lines into FirstMergedRecord and SecondMergedRecord.
bool ConvertSplitToSingle(std::string_view high, std::string_view low, MergeState& state);

}  // namespace tolvek
