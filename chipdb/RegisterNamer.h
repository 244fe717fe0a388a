// Register and bit names of one chip section, indexed once per section.
//
// A register is named by the first RAM line of its page ("#0," to "#3,") that
// holds its address as a whole entry (";" and upper-case hexadecimal without
// leading zeros, 80 higher on pages 1 and 3), a bit by the register's first bit
// line ("%") from the page's start line on. Page 0 gives the operand, pages 1
// to 3 the RAM-page note. A disassembly names the same few hundred (register,
// bit) pairs thousands of times, so the index reads the lines once and builds
// the text of a pair the first time it is asked for.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tolvek {

class TextBuffer;

class RegisterNamer {
  public:
    // Register addresses an instruction can hold (7 bits on the 14-bit core).
    static constexpr unsigned kAddresses = 128;
    // Bit numbers 0 to 7, and "no bit" for the byte operations.
    static constexpr int kNoBit = -1;

    // Its texts stay valid while the index is not built again; each is
    // followed by kSlack readable bytes (base/SlackCopy.h), so that a listing
    // line can take it in whole blocks (they may belong to the next text).
    struct Operand {
        std::string_view text;  // register name and bit part, or the "0x" form
        std::string_view note;  // "; ??? RAM Page " and the other pages' names, or empty
    };

    RegisterNamer() = default;
    // The index points into its own copy of the lines: a copy indexes again
    // when it is built, and names nothing until then.
    RegisterNamer(const RegisterNamer&) {}
    RegisterNamer& operator=(const RegisterNamer& other) {
        if (this != &other) {
            *this = RegisterNamer();
        }
        return *this;
    }
    RegisterNamer(RegisterNamer&&) noexcept = default;
    RegisterNamer& operator=(RegisterNamer&&) noexcept = default;

    // Indexes a section's lines (line 0 being the parameter line).
    void Build(const std::vector<std::string>& chipInfo);
    // True when the index was built from lines equal to these.
    bool BuiltFrom(const std::vector<std::string>& chipInfo) const {
        return built_ && lines_ == chipInfo;
    }

    // Operand text and note of a register address below kAddresses with bit
    // kNoBit or 0 to 7.
    Operand Lookup(unsigned address, int bit) {
        return LookupPair(static_cast<unsigned>(bit + 1) * kAddresses + address);
    }
    // The same by the pair's number, (bit + 1) * kAddresses + address: the
    // decoders work it out from a word's bits.
    Operand LookupPair(unsigned pair) {
        const std::uint16_t slot = slots_[pair];
        const Kept& kept =
            slot != 0 ? operands_[slot - 1u]
                      : MakeOperand(pair % kAddresses, static_cast<int>(pair / kAddresses) - 1);
        return {std::string_view(kept.text, kept.textSize),
                std::string_view(kept.text + kept.textSize, kept.noteSize)};
    }

  private:
    // What the first RAM line of a page that holds an address's key gives.
    struct PageName {
        std::string_view name;  // in lines_, cut to 20 characters; may be empty
        int bitLine = -1;       // the register's bit line from the page's start line, or -1
        bool found = false;
        bool noLines = true;  // the section has no line at the page's start line
        std::uint8_t page = 0;
    };

    const PageName& Page(std::size_t page, unsigned address) const;
    void IndexRamLine(int page, std::string_view line);
    void FindBitLine(PageName& hit, std::size_t startLine) const;
    void PutBitPart(TextBuffer& out, const PageName& hit, int bit) const;
    // An operand as the index keeps it: its text, and its note right after it.
    struct Kept {
        const char* text = nullptr;
        std::uint16_t textSize = 0;
        std::uint16_t noteSize = 0;
    };
    // Builds the operand of a pair not asked for before.
    const Kept& MakeOperand(unsigned address, int bit);
    void OperandTexts(unsigned address, int bit, TextBuffer& text, TextBuffer& note) const;
    // A copy of text and note, one after the other, in the operands' store,
    // followed by kSlack bytes.
    Kept Keep(std::string_view text, std::string_view note);

    bool built_ = false;
    std::vector<std::string> lines_;
    // Register name between "%" and the first "," of each bit line, by line index.
    std::vector<std::pair<std::size_t, std::string_view>> bitLines_;
    // For 4 pages of kAddresses each, the number (from 1) of its entry in
    // names_, or 0 where no RAM line names the address; the state stays small
    // until a section is indexed.
    std::vector<std::uint16_t> pageSlots_;
    std::vector<PageName> names_;
    // Built on first use: by (bit + 1) * kAddresses + address, the index in
    // operands_ plus one, or 0. operands_ has room for every slot once the
    // first operand is made, so the references MakeOperand hands out stay valid.
    std::array<std::uint16_t, kAddresses * 9> slots_{};
    std::vector<Kept> operands_;
    // The operands' texts, in blocks that never move.
    std::vector<std::unique_ptr<char[]>> store_;
    std::size_t storeUsed_ = 0;
};

}  // namespace tolvek
