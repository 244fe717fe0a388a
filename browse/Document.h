// A listing (".dis") or reconstructed source (".asm") as the listing window reads
// it: its lines, the word address of each line, the labels with the places that
// call or jump to them, and the words of a line sorted into mnemonics,
// registers, bits, labels, numbers, comments and notes. Knows nothing of Qt.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tolvek::browse {

enum class Format : std::uint8_t {
    Classic,  // the ".dis" listing: labels adXXXX in column 1, no addresses
    Source,   // the ".asm" source: every word's line ends in "; XXXX"
};

// ".asm" is the reconstructed source; anything else is read as a classic listing.
Format FormatOfPath(std::string_view path);

// What a piece of a line is, for its colour and for what a click on it does.
enum class Role : std::uint8_t {
    Plain,
    Mnemonic,
    Directive,
    Register,
    Bit,
    Label,
    Number,
    Comment,
    Note,     // what the disassembler says: RAM-page and ROM-page notes, cross-references
    Address,  // a word address inside a comment
};

struct Token {
    std::uint32_t start = 0;  // byte column in the line
    std::uint32_t length = 0;
    Role role = Role::Plain;
    bool link = false;  // a click on it goes somewhere
};

enum class RefKind : std::uint8_t { Call, Jump, Other };

// One place that uses a label.
struct Reference {
    unsigned from = 0;  // word address of the instruction
    RefKind kind = RefKind::Jump;
};

struct Label {
    std::string name;
    int address = -1;      // the word it stands on; -1 when no word follows it
    std::size_t line = 0;  // where it is defined
    bool function = false;
    std::vector<Reference> refs;  // by address
};

// Something the user may rename: a code label or a data memory location.
struct RenameTarget {
    enum class Kind : std::uint8_t { Label, Ram };
    Kind kind = Kind::Label;
    unsigned address = 0;
    std::string name;  // the name it has now; empty for a location written as a number
};

// Renames to make in one pass: names by their old name, and data memory
// locations written as numbers by their address.
struct Renames {
    std::unordered_map<std::string, std::string> names;
    std::map<unsigned, std::string> locations;
};

struct LineScan;
struct LinePiece;

class Document {
  public:
    // Line ends may be LF or CR LF; the text is kept with LF only.
    static Document Parse(std::string text, Format format);

    Format GetFormat() const { return format_; }
    const std::string& Text() const { return text_; }
    std::size_t LineCount() const { return lines_.size(); }
    std::string_view Line(std::size_t index) const;

    // Word address of the instruction on the line, or -1.
    int AddressOf(std::size_t line) const;
    // The line to show for a word address: its label's line when it has one,
    // otherwise the word's line. With nearest, the first address above it when
    // the address holds no word. -1 when there is none.
    int LineOfAddress(unsigned address, bool nearest = false) const;
    // The line of the word itself, or -1.
    int LineOfWord(unsigned address) const;

    const std::vector<Label>& Labels() const { return labels_; }
    // Index into Labels(), or -1.
    int FindLabel(std::string_view name) const;
    int LabelAtAddress(unsigned address) const;
    // The last label defined on or before the line, or -1.
    int LabelBefore(std::size_t line) const;

    std::vector<Token> Tokens(std::size_t line) const;
    // The line that a click on the column leads to (a label, a jump target or
    // a cross-referenced address), or -1.
    int TargetAt(std::size_t line, std::size_t column) const;

    // The text with the user's comments at the end of their words' lines
    // ("  ; text"), the comments shown before taken away first.
    std::string Commented(const std::map<unsigned, std::string>& comments,
                          const std::map<unsigned, std::string>& shown) const;
    // The word address a line stands for: its word's, or the word its label
    // stands on; -1 for none.
    int WordAddressOf(std::size_t line) const;

    // The name or number that the byte column of the line stands in, or an
    // empty text.
    std::string_view WordAt(std::size_t line, std::size_t column) const;
    // Where the word stands whole (not inside a longer name), as line and
    // byte column, in order; at most `limit` places.
    std::vector<std::pair<std::size_t, std::size_t>> Occurrences(std::string_view word,
                                                                 std::size_t limit) const;

    // The data memory address a register's or location's name stands for in
    // the text's EQU lines, or -1.
    long LocationOf(std::string_view name) const;
    // The name the text's EQU lines give a data memory address, or empty.
    std::string NameOfLocation(unsigned address) const;

    // What a rename at the column would rename; when nothing, why in *why.
    std::optional<RenameTarget> RenameTargetAt(std::size_t line, std::size_t column,
                                               std::string* why) const;
    // Empty when name may replace the target's name, else the reason it may not.
    std::string CheckName(const RenameTarget& target, std::string_view name) const;
    // The name the disassembler gives the target when the user gives none.
    std::string GeneratedName(const RenameTarget& target) const;
    // Lines that Renamed adds: `count` lines before the line `at`.
    struct Insertions {
        std::map<std::size_t, std::size_t> before;  // at, count
        // Where a line of the old text stands in the new one.
        std::size_t Moved(std::size_t line) const;
    };
    // The text with the renames made; a location that gets a name gets its EQU
    // line too, so the text still assembles.
    std::string Renamed(const Renames& renames, Insertions* insertions = nullptr) const;

    // Whether the text is a listing or source as Tolvek writes them; when not,
    // why in *why. A source names its part on a "processor" line and says in
    // its first line what it was made from; a listing starts with its banner
    // and names its chip on a LIST line.
    bool Recognised(std::string* why) const;
    // What the first lines of a source say it was made from: the image's file
    // name and the part; empty where they do not say. A listing gives its chip.
    struct Origin {
        std::string input;
        std::string part;
    };
    Origin SourceOrigin() const;

    // Names the user gave data memory locations (from the symbol file), which
    // may be renamed again; the chip's own register names may not.
    const std::unordered_map<std::string, unsigned>& UserLocations() const {
        return userLocations_;
    }
    bool IsUserLocation(std::string_view name) const {
        return userLocations_.count(std::string(name)) != 0;
    }
    void SetUserLocations(std::unordered_map<std::string, unsigned> locations) {
        userLocations_ = std::move(locations);
    }

  private:
    struct LineInfo {
        std::uint32_t begin = 0;
        std::uint32_t end = 0;
        std::int32_t address = -1;
    };
    struct NameInfo {
        Role role = Role::Register;
        long value = -1;
        std::uint32_t line = 0;  // of its EQU
    };
    struct OperandUse;
    void ScanLine(std::size_t line, LineScan& scan) const;
    Role RoleOf(const LineScan& scan, const LinePiece& piece) const;
    // Reads every line once; the operands that may name a label or an EQU name
    // go to uses for FindReferences, which needs every label first.
    void FindAddressesAndLabels(std::vector<OperandUse>& uses);
    void FindReferences(const std::vector<OperandUse>& uses);
    // The EQU lines for newly named locations, by the line they go before.
    std::map<std::size_t, std::vector<std::string>> EquLines(
        const std::vector<std::pair<unsigned, std::string>>& equs) const;
    bool IsKnownName(std::string_view name, std::string_view except) const;

    Format format_ = Format::Classic;
    std::string text_;
    std::vector<LineInfo> lines_;
    std::vector<Label> labels_;
    std::unordered_map<std::string, int> labelIndex_;
    std::unordered_map<std::string, NameInfo> names_;  // EQU definitions
    std::unordered_map<unsigned, int> labelByAddress_;
    // (address, line) of every word and label, by address, label lines first
    std::vector<std::pair<unsigned, std::uint32_t>> byAddress_;
    // data memory locations the user named: renaming them again is allowed
    std::unordered_map<std::string, unsigned> userLocations_;
};

// A gpasm identifier of at most 32 characters.
bool IsIdentifier(std::string_view name);

}  // namespace tolvek::browse
