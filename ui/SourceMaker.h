// What the window needs of the reconstructed-source run: the parts of the
// device data, and a run that writes BASE.asm for one input.
#pragma once

#include <string>
#include <vector>

#include "job/SourceStudy.h"

struct TSourceRequest {
    std::string input;      // the chosen file (the .hxl of an INHX8S pair)
    bool split = false;     // an INHX8S pair: the partner is BASE.hxh
    bool extended = false;  // INHX32: extended-address records accepted
    std::string part;       // a name from Parts()
    std::string output;     // a file the user named; empty: BASE.asm beside the input
    std::string symbols;    // the symbol file to read; empty: the one beside the input
};

// The source made again in memory, with the data memory its words use.
struct TSourceStudy {
    bool made = false;
    std::string status;  // the fault when not made
    std::string text;
    std::vector<tolvek::DataAccess> accesses;  // by word address
    unsigned bankSize = 0;                     // of the part's data memory
};

struct TSourceResult {
    bool written = false;
    bool notOurs = false;            // BASE.asm is a file Tolvek did not write: nothing written
    std::string status;              // for the status line: what was written, or the fault
    std::string outputFile;          // what was written
    std::vector<std::string> notes;  // files beside the input left alone, one line each
};

class TSourceMaker {
  public:
    virtual ~TSourceMaker() = default;
    // The part names the device data offers, sorted; empty with the reason in
    // error when the device data cannot be read.
    virtual std::vector<std::string> Parts(std::string& error) = 0;
    virtual TSourceResult Make(const TSourceRequest& request) = 0;
    // Why the next run would refuse `name` for a label or location of the
    // part, or empty; without device data only the assembler's words count.
    virtual std::string NameFault(const std::string& /*part*/, const std::string& name) {
        return tolvek::UserNameFault(name, nullptr);
    }
    virtual TSourceStudy Study(const TSourceRequest& /*request*/) { return {}; }
};
