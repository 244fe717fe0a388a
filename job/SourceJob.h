// One reconstructed-source run, for the command line and the window alike: the
// image read, the symbol file taken in, the flow followed and BASE.asm written.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "devices/Device.h"

namespace tolvek {

struct SourceJob {
    std::string input;   // the chosen file (the .hxl of an INHX8S pair)
    bool split = false;  // an INHX8S pair: the partner is BASE.hxh
    // The symbol file the user named (read whatever its first line); empty:
    // BASE.tolvek.sym beside the input, when there is one that Tolvek wrote.
    std::string symbolsFile;
    // The file the user named; empty: BASE.asm beside the input, which is
    // replaced only when Tolvek wrote it (kNotOurs otherwise).
    std::string output;
    std::FILE* stream = nullptr;    // when set, the source goes here instead of a file
    std::vector<unsigned> entries;  // extra flow entry points, word addresses
};

struct SourceOutcome {
    enum class Fault {
        kNone,
        kInput,    // the input could not be read at all
        kRecord,   // a bad record at `line`; nothing written
        kSymbols,  // the symbol file is bad; nothing written
        kOutput,   // the source could not be written
        kNotOurs,  // BASE.asm is there and Tolvek did not write it; nothing written
    };
    Fault fault = Fault::kNone;
    std::string message;     // the reason, naming the file where one is at fault
    std::size_t line = 0;    // kRecord: 1-based
    std::string outputFile;  // also kNotOurs: the file left alone
    // Files beside the input that were left alone, one line each.
    std::vector<std::string> notes;
    unsigned words = 0;    // program words in the image
    unsigned reached = 0;  // of those, reached from the vectors
    // Bytes beyond the part's memory, which the source leaves out.
    std::size_t outsideBytes = 0;
    std::uint64_t firstOutside = 0;
};

SourceOutcome MakeSource(const SourceJob& job, const devices::Device& device);

// The status line the window and the browser page show after a source run:
// "[OK]:  " and the counts (and the bytes left out), or the fault and that
// nothing was written.
std::string SourceStatusText(const SourceOutcome& outcome, std::string_view partName);

}  // namespace tolvek
