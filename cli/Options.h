// Command-line options of tolvek-cli.
#pragma once

#include <string>
#include <vector>

#include "job/Job.h"

namespace tolvek::cli {

using Format = InputFormat;

struct Options {
    bool noChipData = false;
    std::string chipDataFile;  // empty: "chipdat.txt" beside the program
    std::string chip;          // empty: the first chip in sorted order
    bool chipGiven = false;
    bool listChips = false;
    Format format = Format::kInhx8m;
    std::string output;   // empty: beside the input; "-": standard output
    bool strict = false;  // a wrong record checksum fails the input
    // --source: the reconstructed source (BASE.asm) instead of the listing
    bool source = false;
    std::string symbolsFile;        // empty: Tolvek's BASE.tolvek.sym beside the input, if any
    std::vector<unsigned> entries;  // --entry: extra flow entry points, word addresses
    bool help = false;
    bool version = false;
    std::vector<std::string> inputs;
};

// Parses the arguments; false with a message in error on a usage error.
bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error);

extern const char* const kUsage;

}  // namespace tolvek::cli
