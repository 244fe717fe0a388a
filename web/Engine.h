// What the browser page asks of the engine, in plain C++: the chip data and the
// device data, a listing run and a source run on files of the page's file
// system, and the listing or source on view with the listing window's ways
// through it. The binding hands this to JavaScript, which only draws.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browse/Document.h"
#include "chipdb/ChipData.h"
#include "devices/Device.h"
#include "job/Job.h"
#include "run/Record.h"

namespace tolvek::web {

struct ListingResult {
    Outcome outcome;           // status, error panel and record line as the window shows them
    bool inhx32Hint = false;   // an INHX8M run stopped at an extended-address record
    std::string outputFile;    // the listing written; empty when none was
    std::string chipMessages;  // what selecting the chip said, one message a line
};

struct SourceResult {
    bool written = false;
    std::string status;
    std::string outputFile;
};

// Where a place the user typed leads (an address or a label name).
struct Place {
    int line = -1;       // -1: nowhere
    std::string status;  // what to tell the user, when anything
};

struct Reference {
    unsigned from = 0;
    browse::RefKind kind = browse::RefKind::Jump;
    int line = -1;            // the using word's line, -1 when not in the text
    std::string instruction;  // that line up to its comment, spaces squeezed
};

class Engine {
  public:
    // dataDirectory holds chipdat.txt and devices.txt.
    explicit Engine(std::string dataDirectory);

    // The chip data of the listing: the data directory's, a file the user
    // gave, or none (14-bit core, one ROM page, no names). False with the
    // reason in error when the file cannot be read; the choice is then kept.
    bool UseChipData(const std::string& path, std::string& error);
    bool UseBuiltInChipData(std::string& error);
    void UseNoChipData();
    const std::vector<std::string>& Chips() const { return chips_; }
    // The parts of the device data, sorted; empty with the reason in error
    // when it cannot be read.
    std::vector<std::string> Parts(std::string& error);

    // Of a set of opened files, the one a run reads: for an INHX8S pair the
    // file whose partner is among them, else the first.
    static std::string RunInput(const std::vector<std::string>& files, InputFormat format);
    // The symbol file that belongs beside an input.
    static std::string SymbolFileFor(const std::string& input);

    // One listing run, writing BASE.dis beside the input (and BASE.dsm for a pair).
    ListingResult RunListing(const std::string& input, InputFormat format, const std::string& chip);
    // One source run, writing BASE.asm beside the input; symbolsFile, when it
    // names a file, gives the user's names.
    SourceResult RunSource(const std::string& input, bool split, const std::string& part,
                           const std::string& symbolsFile);

    // The listing or source at path, with the names of the symbol file put
    // in (when it exists); returns the line for the status bar.
    std::string Open(const std::string& path, const std::string& symbolsFile);
    const browse::Document& View() const { return document_; }
    std::vector<Reference> References(int label) const;
    Place GoTo(std::string_view text) const;
    // "Address 0012   in label_0010" for the status bar.
    std::string CursorText(std::size_t line) const;
    struct RenameReport {
        std::string error;   // why nothing was renamed; empty when it was
        std::string status;  // for the status bar after a rename
        bool changed = false;
        browse::Document::Insertions moved;  // where the old lines went
    };
    // Renames what is at the column of the line and saves the symbol file
    // first: a rename the next run would not see is not made at all.
    RenameReport Rename(std::size_t line, std::size_t column, std::string_view name,
                        const std::string& symbolsFile);

  private:
    std::string dataDirectory_;
    enum class ChipSource { kBuiltIn, kFile, kNone };
    ChipSource chipSource_ = ChipSource::kBuiltIn;
    std::string chipFile_;
    std::vector<std::string> chips_;
    std::optional<devices::DeviceDb> devices_;
    browse::Document document_;
};

// The whole of a file, or nothing when it cannot be read.
std::optional<std::string> ReadWhole(const std::string& path);

}  // namespace tolvek::web
