// The chip data file "chipdat.txt", the chip list and the selected chip.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/IoError.h"
#include "chipdb/RegisterNamer.h"

namespace tolvek {

inline constexpr std::string_view kChipDataFileName = "chipdat.txt";

inline constexpr std::string_view kMsgUnclosedSection =
    "There was a problem with the [chipdat.txt] data file.";
inline constexpr std::string_view kMsgInsufficient =
    "Insufficient information in [chipdat.txt] data file for this device.";
inline constexpr std::string_view kMsgBadParameters =
    "Missing or incorrect <ROM - 5X> information in [chipdat.txt] data file.\r"
    "Using default - <False,1>";

// Receives the messages about faulty chip data; the window shows them in modal
// "Error" boxes, the command line prints them on standard error.
using ChipMessageSink = std::function<void(const std::string&)>;

// One line of the chip data file. Only the first 255 characters are kept; the
// whole-line tests ("[" anywhere, the section line compared whole) use the flags.
// The text points into the chip data the ChipState loaded (shared by its copies).
struct ChipLine {
    std::string_view text;    // first 255 characters
    bool longer = false;      // the line has more than 255 characters
    bool hasBracket = false;  // a "[" stands anywhere in the whole line
};

// Chip data is held in memory whole, with one entry for each line. A file
// larger than kMaxChipDataBytes or with more lines than kMaxChipLines is
// refused, which bounds the memory it can take to about 120 MB.
inline constexpr std::size_t kMaxChipDataBytes = 64u << 20;
inline constexpr std::size_t kMaxChipLines = 1000000;

class HeaderLines;
class ListingFile;

class ChipState {
  public:
    // Lines of "chipdat.txt" in file order, loaded once.
    std::vector<ChipLine> ChipLines;
    // Non-empty lines of the selected chip's section; line 0 is the parameter line.
    std::vector<std::string> ChipInfo;
    bool Core12Bit = false;
    int RomPages = 1;
    bool Series12 = false;
    // The selected chip name (the chip list's text).
    std::string ChipName;

    // Takes the bytes of a chip data file and splits them into ChipLines: line
    // ends CR, LF or CR LF; a NUL ends the text.
    void LoadChipLines(std::string bytes);
    // Reads a chip data file; false (and nothing changed) when it cannot be read,
    // is not a regular file, or is larger than the bounds above.
    bool LoadChipFile(const std::string& path, IoError* error = nullptr);

    // Chip names of the section lines, sorted as the chip list shows them.
    std::vector<std::string> ChipList() const;

    // Selects a chip: reads its section and parameters, then Series12.
    void SelectChip(std::string_view name, const ChipMessageSink& messages);

    // Finds the selected chip's section and reads its parameter line.
    void ExtractPICInfo(const ChipMessageSink& messages);

    // The listing header: processor line and the register and bit EQU blocks.
    std::vector<std::string> ProduceHeader() const;
    // The same lines appended to text, each followed by lineEnd.
    void AppendHeader(std::string& text, std::string_view lineEnd) const;
    // The same lines written to a listing.
    void WriteHeaderTo(ListingFile& listing) const;

    // The register and bit names of ChipInfo, indexed; rebuilt when ChipInfo has
    // changed since the last call.
    RegisterNamer& Naming() const;

  private:
    void WriteHeader(HeaderLines& head) const;
    // The loaded chip data that ChipLines point into.
    std::shared_ptr<const std::string> chipText_;
    mutable RegisterNamer naming_;
};

// The chip list's order: by the names in lower case (a name before a longer one
// it begins), then by the names themselves.
bool ChipNameBefore(std::string_view a, std::string_view b);

// Appends the EQU lines of one RAM line of a page to the header.
void ExtractRamData(std::string_view line, int page, std::vector<std::string>& head);
// Appends the title and EQU lines of one bit line to the header.
void ExtractBitData(std::string_view line, std::vector<std::string>& head);

}  // namespace tolvek
