#include "source/Writer.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <unordered_map>

#include "base/LineReader.h"
#include "source/Operands.h"

namespace tolvek::source {

namespace {

// A file name as it may stand in a comment line: a control character (a
// name may hold a line break) would end the comment and break the source.
std::string OneLineName(std::string_view name) {
    std::string out(name);
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return out;
}

using devices::Device;
using devices::Register;

// Upper-case hex digits of value, at least digits of them (at most eight), into
// buffer from the lowest digit up; returns how many.
int ReversedDigits(char (&buffer)[8], unsigned value, int digits) {
    int n = 0;
    do {
        buffer[n++] = "0123456789ABCDEF"[value & 0xF];
        value >>= 4;
    } while ((value != 0 || n < digits) && n < 8);
    return n;
}

// Exactly `digits` (one to four) upper-case hex digits of value into out, where
// value fits in them: addresses, registers and literals, in nearly every line.
// False, with nothing written, where it does not.
bool FixedDigits(char* out, unsigned value, int digits) {
    if (digits < 1 || digits > 4 || value >> (4 * digits) != 0) {
        return false;
    }
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = "0123456789ABCDEF"[value & 0xF];
        value >>= 4;
    }
    return true;
}

// Upper-case hex digits of value, at least digits of them.
void AppendDigits(std::string& out, unsigned value, int digits) {
    if (char fixed[4]; FixedDigits(fixed, value, digits)) {
        out.append(fixed, static_cast<std::size_t>(digits));
        return;
    }
    char buffer[8];
    for (int n = ReversedDigits(buffer, value, digits); n > 0;) {
        out += buffer[--n];
    }
}
std::string Hex(unsigned value, int digits) {
    std::string out = "0x";
    AppendDigits(out, value, digits);
    return out;
}
std::string Four(unsigned value) {
    std::string out;
    AppendDigits(out, value, 4);
    return out;
}
std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c + ('a' - 'A'));
        }
    }
    return out;
}

// One line built in place: cheaper than growing strings, and every line of
// code is far shorter than the buffer (the tail of a longer one is cut).
class LineBuffer {
  public:
    // A literal: its length is known here, so the copy is a few moves.
    template <std::size_t N>
    void Put(const char (&text)[N]) {
        constexpr std::size_t n = N - 1;
        if (static_cast<std::size_t>(end_ - p_) >= n) {
            std::memcpy(p_, text, n);
            p_ += n;
        } else {
            Put(std::string_view(text, n));
        }
    }
    void Put(std::string_view text) {
        const std::size_t n = std::min(text.size(), static_cast<std::size_t>(end_ - p_));
        std::memcpy(p_, text.data(), n);
        p_ += n;
    }
    void Put(char c) {
        if (p_ < end_) {
            *p_++ = c;
        }
    }
    void Digits(unsigned value, int digits) {
        if (end_ - p_ >= digits && FixedDigits(p_, value, digits)) {
            p_ += digits;
            return;
        }
        char buffer[8];
        for (int n = ReversedDigits(buffer, value, digits); n > 0;) {
            Put(buffer[--n]);
        }
    }
    void Decimal(unsigned value) {
        char buffer[12];
        int n = 0;
        do {
            buffer[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (n > 0) {
            Put(buffer[--n]);
        }
    }
    void Hex(unsigned value, int digits) {
        Put("0x");
        Digits(value, digits);
    }
    // At least one space, then spaces up to column.
    void PadTo(std::size_t column) {
        Put(' ');
        const std::size_t used = static_cast<std::size_t>(p_ - buffer_);
        if (used < column) {
            const std::size_t n = std::min(column - used, static_cast<std::size_t>(end_ - p_));
            std::memset(p_, ' ', n);
            p_ += n;
        }
    }
    void TrimSpaces() {
        while (p_ > buffer_ && p_[-1] == ' ') {
            --p_;
        }
    }
    std::string_view View() const { return {buffer_, static_cast<std::size_t>(p_ - buffer_)}; }

  private:
    char buffer_[512];
    char* p_ = buffer_;
    char* const end_ = buffer_ + sizeof buffer_;
};

enum Section { kRegisters, kBits, kSettings, kRam };

// The names the header defines: one value each.
class NameTable {
  public:
    // Defines name as value in a section; false where the name is taken with
    // another value or is a word the assembler keeps, and must not be used.
    // A comment for a name's EQU line.
    void Comment(const std::string& name, std::string text) { comments_[name] = std::move(text); }
    bool Use(const std::string& name, unsigned value, int section, int digits) {
        if (name.empty()) {
            return false;
        }
        const auto it = values_.find(name);
        if (it != values_.end()) {
            return it->second == value;
        }
        if (IsReservedWord(name)) {
            return false;
        }
        values_.emplace(name, value);
        lines_.push_back(
            {section, name, digits < 0 ? "." + std::to_string(value) : Hex(value, digits)});
        return true;
    }
    // Registers and RAM by address, bits by name, settings as used.
    void Write(std::string& out, int section, const char* title) const {
        std::vector<const Line*> lines;
        for (const Line& line : lines_) {
            if (line.section == section) {
                lines.push_back(&line);
            }
        }
        if (section != kSettings) {
            std::stable_sort(lines.begin(), lines.end(), [&](const Line* a, const Line* b) {
                return section == kBits ? a->name < b->name
                                        : values_.at(a->name) < values_.at(b->name);
            });
        }
        bool first = true;
        for (const Line* linePointer : lines) {
            const Line& line = *linePointer;
            if (line.section != section) {
                continue;
            }
            if (first) {
                out += "\n; ";
                out += title;
                out += '\n';
                first = false;
            }
            out += line.name;
            out.append(line.name.size() < 16 ? 16 - line.name.size() : 1, ' ');
            out += "EQU     ";
            out += line.value;
            if (const auto comment = comments_.find(line.name); comment != comments_.end()) {
                out.append(line.value.size() < 8 ? 8 - line.value.size() : 1, ' ');
                out += "; " + comment->second;
            }
            out += '\n';
        }
    }

  private:
    struct Line {
        int section;
        std::string name;
        std::string value;
    };
    std::unordered_map<std::string, unsigned> values_;
    std::unordered_map<std::string, std::string> comments_;
    std::vector<Line> lines_;
};

class Writer {
  public:
    Writer(const Program& program, const Flow& flow, const Symbols& symbols)
        : program_(program),
          device_(*program.device),
          flow_(flow),
          symbols_(symbols),
          operandAt_(program.Size(), -1),
          mnemonics_(isa::Table(program.core).size()) {
        for (const Register& r : device_.registers) {
            const auto [it, fresh] = nameAddress_.emplace(r.name, r.address);
            if (!fresh) {
                it->second = std::min(it->second, r.address);
            }
        }
        for (const devices::Range& range : device_.gpr) {
            if (range.last >= gpr_.size() && range.last < (1u << 16)) {
                gpr_.resize(range.last + 1, false);
            }
            for (unsigned a = range.first; a <= range.last && a < gpr_.size(); ++a) {
                gpr_[a] = true;
            }
        }
        for (const auto& [address, name] : symbols.ram) {
            ram_[Canonical(address)] = name;
        }
        MakeLabels();
    }

    void Run(const std::string& inputName, SourceSink& sink);

  private:
    bool Gpr(unsigned address) const {
        if (address < gpr_.size()) {
            return gpr_[address];
        }
        return std::any_of(device_.gpr.begin(), device_.gpr.end(), [&](const devices::Range& r) {
            return address >= r.first && address <= r.last;
        });
    }
    // A general-purpose location's own name, made once for each.
    const std::string& RamName(unsigned address) {
        std::string& name = ramNames_[address];
        if (name.empty()) {
            name = "ram_" + Hex(address, 3).substr(2);
        }
        return name;
    }
    std::unordered_map<unsigned, std::string> ramNames_;
    unsigned Canonical(unsigned address) const { return CanonicalAddress(device_, address); }
    void MakeLabels();
    struct Operand;
    Operand& RegisterOperand(unsigned a, unsigned file);
    std::string NameOperand(unsigned file, std::uint64_t mask, const Register** named, int* section,
                            std::string& note);
    void Instruction(LineBuffer& text, unsigned a, std::string& note);
    void Line(unsigned address);
    void Config(std::string& out);
    void Words(const std::vector<Cell>& cells, const char* what, unsigned first);
    void Eeprom();

    const Program& program_;
    const Device& device_;
    const Flow& flow_;
    const Symbols& symbols_;
    std::unordered_map<std::string, unsigned> nameAddress_;
    std::vector<std::uint8_t> gpr_;  // general-purpose data memory, by address
    std::map<unsigned, std::string> ram_;
    std::map<unsigned, std::string> labels_;
    NameTable names_;
    // The body goes out in pieces of about kFlush bytes.
    static constexpr std::size_t kFlush = 1 << 16;
    void Flush() {
        sink_->Write(body_);
        body_.clear();
    }
    SourceSink* sink_ = nullptr;
    std::string body_;
    struct Uses;
    // Register operands as named before, by register offset.
    struct Operand {
        unsigned file = 0;
        std::uint64_t banks = 0;
        std::string text;
        std::string note;
        const Register* reg = nullptr;
        int section = -1;
        Uses* uses = nullptr;  // of a data memory location, once counted
    };
    std::array<std::vector<Operand>, 128> operands_;
    // By word address: the operand's place in its row of operands_, once named.
    std::vector<std::int32_t> operandAt_;
    // Each row's mnemonic in lower case, padded: by its index in the core's table.
    std::vector<std::string> mnemonics_;
    std::vector<unsigned> pageCandidates_;  // room kept from line to line
    std::vector<Reference> sortedRefs_;     // the same
    int lastSection_ = -1;                  // of the operand RegisterOperand gave last
    std::string note_;                      // the comment of the line being written
    // The places that read and write each named data memory location.
    struct Uses {
        unsigned reads = 0;
        unsigned writes = 0;
    };
    std::map<std::string, Uses> uses_;
    static void CountUse(const isa::Decoded& d, Uses& uses);
    // Where a run of RETLW words that reads as text starts: its end.
    std::map<unsigned, unsigned> strings_;
    void FindStrings(unsigned reset);
    void String(unsigned first, unsigned end);
    std::string EntryComment(unsigned a) const;
};

// A data memory location's reads and writes, by the instruction at one place.
void Writer::CountUse(const isa::Decoded& d, Uses& uses) {
    const std::string_view m = d.instruction->mnemonic;
    switch (d.instruction->form) {
        case isa::Form::File:
            ++uses.writes;  // MOVWF, CLRF
            break;
        case isa::Form::FileDest:
            ++uses.reads;
            uses.writes += d.toFile && m != "MOVF" ? 1 : 0;
            break;
        case isa::Form::FileBit:
            ++(m == "BSF" || m == "BCF" ? uses.writes : uses.reads);
            break;
        default:
            break;
    }
}

// A character a string may hold: printable (a quote and a backslash go in
// with a backslash before them).
bool TextChar(unsigned c) {
    return c >= 0x20 && c < 0x7F;
}
bool Readable(unsigned c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == ' ';
}

// Runs of RETLW words whose literals read as text: at least three of them,
// mostly letters, digits and spaces. A run ends at a label, a gap, a vector,
// and where the words no path reaches begin or end.
void Writer::FindStrings(unsigned reset) {
    constexpr unsigned kShortest = 3;
    const unsigned n = program_.Size();
    const auto letter = [&](unsigned a) -> int {
        if (!program_.Present(a)) {
            return -1;
        }
        const isa::Decoded& d = flow_.Decoded(a);
        if (!d || !d.canonical || d.instruction->flow != isa::Flow::ReturnLiteral ||
            d.instruction->form != isa::Form::Literal || !TextChar(d.literal)) {
            return -1;
        }
        return static_cast<int>(d.literal);
    };
    const auto boundary = [&](unsigned a) {
        return labels_.count(a) != 0 || a == reset || (a == 0 && reset != 0) ||
               (device_.interruptVector && a == *device_.interruptVector) ||
               flow_.Reached(a) != flow_.Reached(a - 1);
    };
    for (unsigned a = 0; a < n;) {
        if (letter(a) < 0) {
            ++a;
            continue;
        }
        unsigned end = a + 1;
        unsigned readable = Readable(static_cast<unsigned>(letter(a))) ? 1 : 0;
        while (end < n && letter(end) >= 0 && !boundary(end)) {
            readable += Readable(static_cast<unsigned>(letter(end))) ? 1 : 0;
            ++end;
        }
        if (end - a >= kShortest && readable * 4 >= (end - a) * 3) {
            strings_[a] = end;
        }
        a = end;
    }
}

// A run of text as dt lines of up to sixteen characters.
void Writer::String(unsigned first, unsigned end) {
    constexpr unsigned kPerLine = 16;
    for (unsigned a = first; a < end; a += kPerLine) {
        LineBuffer text;
        text.Put("        dt      \"");
        for (unsigned k = a; k < end && k < a + kPerLine; ++k) {
            const char c = static_cast<char>(flow_.Decoded(k).literal);
            if (c == '"' || c == '\\') {
                text.Put('\\');  // gpasm's escape
            }
            text.Put(c);
        }
        text.Put('"');
        text.PadTo(40);
        text.Put("; ");
        text.Digits(a, 4);
        body_.append(text.View());
        body_ += '\n';
    }
}

// What is known where a function starts: the bank, and the page where the
// part has more than one.
std::string Writer::EntryComment(unsigned a) const {
    const State state = flow_.Before(a);
    std::string out;
    const std::vector<unsigned> banks = Flow::Banks(device_, state);
    if (device_.bankCount > 1) {
        out = banks.size() == 1 ? "bank " + std::to_string(banks[0]) : "bank unknown";
    }
    const unsigned pages =
        device_.pageWords == 0 ? 1 : (program_.Size() + device_.pageWords - 1) / device_.pageWords;
    if (pages > 1) {
        const bool baseline = device_.core == isa::Core::Baseline;
        const Bits bits = baseline ? state[Reg::Status] : state[Reg::Pclath];
        const unsigned shift = baseline ? 5 : 3;
        unsigned needed = 0;
        for (unsigned p = 1; p < pages; p <<= 1) {
            needed = needed << 1 | 1;
        }
        needed <<= shift;
        out += out.empty() ? "" : ", ";
        out += (bits.known & needed) == needed
                   ? "page " + std::to_string((bits.value & needed) >> shift)
                   : std::string("page unknown");
    }
    return out;
}

void Writer::MakeLabels() {
    for (const auto& [a, list] : flow_.References()) {
        const std::vector<Reference>* refs = &list;
        if (!program_.Present(a)) {
            continue;
        }
        const bool called =
            std::any_of(refs->begin(), refs->end(), [](const Reference& r) { return r.call; });
        labels_[a] = (called ? "function_" : "label_") + Four(a);
    }
    for (const auto& [address, name] : symbols_.labels) {
        if (program_.Present(address)) {
            labels_[address] = name;
        }
    }
}

// A register operand: its name where every bank the flow allows gives the same
// one, else its address with the candidates in note.
Writer::Operand& Writer::RegisterOperand(unsigned a, unsigned file) {
    std::vector<Operand>& slots = operands_[file & 0x7F];
    // the header's pass has named every operand: the body's finds it again here
    std::int32_t& at = operandAt_[a];
    if (at >= 0) {
        lastSection_ = slots[static_cast<std::size_t>(at)].section;
        return slots[static_cast<std::size_t>(at)];
    }
    // the same register in the same banks comes out the same: most operands repeat
    const std::uint64_t mask = OperandBanks(device_, flow_, a, file);
    auto it = std::find_if(slots.begin(), slots.end(),
                           [&](const Operand& o) { return o.file == file && o.banks == mask; });
    const bool fresh = it == slots.end();
    if (fresh) {
        slots.push_back({});
        it = slots.end() - 1;
        it->file = file;
        it->banks = mask;
    }
    Operand& cached = *it;
    at = static_cast<std::int32_t>(it - slots.begin());
    if (fresh) {
        // defines the name in the header where one is used
        cached.text = NameOperand(file, mask, &cached.reg, &cached.section, cached.note);
    }
    lastSection_ = cached.section;
    return cached;
}

std::string Writer::NameOperand(unsigned file, std::uint64_t mask, const Register** named,
                                int* section, std::string& note) {
    *named = nullptr;
    *section = -1;
    const unsigned bankSize = std::max(device_.bankSize, 1u);
    // a location in each bank the flow allows: the user's name, the name of a
    // general-purpose location (generated), a register's, or none
    struct Candidate {
        unsigned address;
        std::string_view name;
        const Register* reg;
        bool generated = false;
    };
    std::array<Candidate, 64> candidates;
    std::size_t count = 0;
    for (unsigned bank = 0; bank < 64; ++bank) {
        if ((mask >> bank & 1) == 0) {
            continue;
        }
        const unsigned address = bank * bankSize + file;
        const unsigned canonical = Canonical(address);
        const auto user = ram_.find(canonical);
        const Register* reg = device_.RegisterAt(address);
        if (user != ram_.end()) {
            candidates[count++] = {canonical, user->second, nullptr};
        } else if (reg == nullptr && Gpr(canonical)) {
            candidates[count++] = {canonical, RamName(canonical), nullptr, true};
        } else {
            candidates[count++] = {address, reg != nullptr ? std::string_view(reg->name) : "", reg};
        }
    }
    const Candidate* const first = candidates.data();
    const Candidate* const end = first + count;
    const bool same = count != 0 && std::all_of(first, end, [&](const Candidate& c) {
                          return c.name == first->name;
                      });
    if (same && !first->name.empty()) {
        const bool user = first->reg == nullptr;
        const std::string name(first->name);
        const unsigned value = user ? first->address : nameAddress_[name];
        if (names_.Use(name, value, user ? kRam : kRegisters, 2)) {
            *named = first->reg;
            *section = user ? kRam : kRegisters;
            return name;
        }
    }
    if (count == 1 || (same && first->generated) ||
        (same && first->address == Canonical(first->address) && first->address < bankSize)) {
        return Hex(count == 0 ? file : first->address, 2);
    }
    // the candidates by name where they have one of their own, else by address
    if (std::any_of(first, end,
                    [](const Candidate& c) { return !c.name.empty() && !c.generated; })) {
        const auto byAddress = [](const Candidate& c) { return c.name.empty() || c.generated; };
        std::vector<const Candidate*> shown;
        for (const Candidate* c = first; c != end; ++c) {
            const bool seen = std::any_of(shown.begin(), shown.end(), [&](const Candidate* s) {
                return byAddress(*s) == byAddress(*c) &&
                       (byAddress(*c) ? s->address == c->address : s->name == c->name);
            });
            if (!seen) {
                shown.push_back(c);
            }
        }
        note = "bank unknown: ";
        for (std::size_t i = 0; i < shown.size() && i < 8; ++i) {
            note += i == 0 ? "" : ", ";
            if (byAddress(*shown[i])) {
                note += Hex(shown[i]->address, 3);
            } else {
                note += shown[i]->name;
            }
        }
        if (shown.size() > 8) {
            note += ", ... (" + std::to_string(shown.size()) + ")";
        }
    }
    return Hex(file, 2);
}

// Writes the word's text: an instruction where it is one that comes back from
// its text, else dw.
void Writer::Instruction(LineBuffer& text, unsigned a, std::string& note) {
    const unsigned word = program_.words[a];
    const isa::Decoded& d = flow_.Decoded(a);
    if (!d || !d.canonical) {
        text.Put("dw      ");
        text.Hex(word, 4);
        if (program_.Half(a)) {
            note = "one byte of this word is in the image; the other reads as FF";
        }
        return;
    }
    const std::size_t row =
        static_cast<std::size_t>(d.instruction - isa::Table(device_.core).data());
    std::string& mnemonic = mnemonics_[row];
    if (mnemonic.empty()) {
        mnemonic = Lower(d.instruction->mnemonic);
        mnemonic.append(mnemonic.size() < 8 ? 8 - mnemonic.size() : 1, ' ');
    }
    text.Put(mnemonic);
    const Register* reg = nullptr;
    const auto operand = [&] {
        const Operand& o = RegisterOperand(a, d.file);
        reg = o.reg;
        note = o.note;
        text.Put(o.text);
    };
    switch (d.instruction->form) {
        case isa::Form::File:
            operand();
            break;
        case isa::Form::FileDest:
            operand();
            text.Put(d.toFile ? ", f" : ", w");
            break;
        case isa::Form::FileBit: {
            operand();
            text.Put(", ");
            const std::string* bit = reg != nullptr ? &reg->bits[d.bit & 7] : nullptr;
            if (bit != nullptr && !bit->empty() && names_.Use(*bit, d.bit, kBits, -1)) {
                text.Put(*bit);
            } else {
                text.Put(static_cast<char>('0' + (d.bit & 7)));
            }
            break;
        }
        case isa::Form::Address:
        case isa::Form::Relative: {
            const std::optional<unsigned> target = flow_.TargetOf(a);
            const auto label = target ? labels_.find(*target) : labels_.end();
            const bool relative = d.instruction->form == isa::Form::Relative;
            const long direct = static_cast<long>(a) + 1 + d.offset;
            if (label != labels_.end() && (!relative || direct == static_cast<long>(*target))) {
                text.Put(label->second);
                break;
            }
            if (relative) {
                const int step = d.offset + 1;  // from the BRA itself
                text.Put(step < 0 ? "$-." : "$+.");
                text.Decimal(static_cast<unsigned>(step < 0 ? -step : step));
            } else {
                text.Hex(d.literal, 3);
            }
            if (!relative && flow_.Analysed(a) && !target) {
                note = "page unknown:";
                flow_.PageCandidates(a, pageCandidates_);
                for (const unsigned c : pageCandidates_) {
                    note += ' ';
                    AppendDigits(note, c, 4);
                }
            }
            break;
        }
        case isa::Form::Literal:
            text.Hex(d.literal, 2);
            if (d.instruction->flow == isa::Flow::ReturnLiteral && d.literal >= 0x20 &&
                d.literal < 0x7F) {
                note = std::string("'") + static_cast<char>(d.literal) + "'";
            }
            break;
        case isa::Form::Bank:
        case isa::Form::Page:
            text.Hex(d.literal, 2);
            break;
        case isa::Form::Tris:
            text.Hex(d.file, 2);
            break;
        case isa::Form::FsrOffset:
            text.Put(d.fsr != 0 ? "FSR1, " : "FSR0, ");
            text.Put(d.offset < 0 ? "-." : ".");
            text.Decimal(static_cast<unsigned>(d.offset < 0 ? -d.offset : d.offset));
            break;
        case isa::Form::FsrModify: {
            const std::string_view fsr = d.fsr != 0 ? "FSR1" : "FSR0";
            const std::string_view step = (d.mode & 1) != 0 ? "--" : "++";
            text.Put((d.mode & 2) != 0 ? fsr : step);
            text.Put((d.mode & 2) != 0 ? step : fsr);
            break;
        }
        case isa::Form::FsrIndexed:
            text.Put(d.offset < 0 ? "-." : ".");
            text.Decimal(static_cast<unsigned>(d.offset < 0 ? -d.offset : d.offset));
            text.Put(d.fsr != 0 ? "[FSR1]" : "[FSR0]");
            break;
        default: {
            const std::string plain = isa::FormatPlain(d);
            const std::size_t space = plain.find(' ');
            if (space == std::string::npos) {
                text.TrimSpaces();
            } else {
                text.Put(std::string_view(plain).substr(space + 1));
            }
            if ((d.instruction->flow == isa::Flow::CallW) && flow_.TargetOf(a)) {
                const auto label = labels_.find(*flow_.TargetOf(a));
                note =
                    "calls " + (label != labels_.end() ? label->second : Four(*flow_.TargetOf(a)));
            }
            break;
        }
    }
}

void Writer::Line(unsigned address) {
    LineBuffer text;
    text.Put("        ");
    std::string& note = note_;  // kept from line to line: its room is reused
    note.clear();
    Instruction(text, address, note);
    text.PadTo(40);
    text.Put("; ");
    text.Digits(address, 4);
    body_.append(text.View());
    if (!note.empty()) {
        body_ += "  ";
        body_ += note;
    }
    if (const auto comment = symbols_.comments.find(address); comment != symbols_.comments.end()) {
        body_ += note.empty() ? "  " : "; ";
        for (const char c : comment->second) {
            body_ += static_cast<unsigned char>(c) < ' ' ? ' ' : c;  // one line, as gpasm reads it
        }
    }
    body_ += '\n';
}

void Writer::Config(std::string& out) {
    // the settings' values carry every bit the header sets; the image's word may
    // leave the bits above the core's width clear
    const unsigned width = isa::ErasedWord(device_.core);
    for (const Cell& cell : program_.config) {
        const devices::ConfigWord* word = nullptr;
        for (const devices::ConfigWord& c : device_.config) {
            if (c.address == cell.address) {
                word = &c;
            }
        }
        // one setting per field: the first whose bits match the word
        std::vector<const devices::ConfigSetting*> chosen;
        std::vector<unsigned> masks;
        for (const devices::ConfigSetting& s : word->settings) {
            if (std::find(masks.begin(), masks.end(), s.mask) != masks.end() || s.mask == 0) {
                continue;
            }
            if ((cell.value & s.mask) == s.value) {
                masks.push_back(s.mask);
                chosen.push_back(&s);
            }
        }
        // each name's value has the word's own bits above the core's width, so that
        // the names alone give the word exactly
        const unsigned high = cell.value & ~width & 0xFFFF;
        unsigned combined = 0xFFFF;
        std::string settings;
        for (const devices::ConfigSetting* s : chosen) {
            combined &= (s->equ & width) | high;
            settings += (settings.empty() ? "" : " & ") + s->name;
        }
        std::string expression;
        std::string note;
        if (combined == cell.value && !chosen.empty()) {
            for (const devices::ConfigSetting* s : chosen) {
                if (!names_.Use(s->name, (s->equ & width) | high, kSettings, 4)) {
                    expression.clear();
                    break;
                }
                expression += (expression.empty() ? "" : " & ") + s->name;
            }
        }
        if (expression.empty()) {
            expression = Hex(cell.value, 4);
            const unsigned unexplained = (combined ^ cell.value) & width;
            if (unexplained != 0) {
                note = "  ; " + (settings.empty() ? std::string() : settings + "; ") + "bits " +
                       Hex(unexplained, 4) + " match no setting";
            }
        }
        out += "        __config " + Hex(cell.address, 4) + ", " + expression + note + '\n';
    }
}

// ID locations or flash data: org where a run starts, one dw a word.
void Writer::Words(const std::vector<Cell>& cells, const char* what, unsigned first) {
    unsigned expected = ~0u;
    for (const Cell& cell : cells) {
        if (cell.address != expected) {
            body_ += "\n        org     " + Hex(cell.address, 4) + "\n";
        }
        body_ += "        dw      " + Hex(cell.value, 4) + "                      ; " + what + " " +
                 std::to_string(cell.address - first) + '\n';
        expected = cell.address + 1;
    }
}

void Writer::Eeprom() {
    std::size_t i = 0;
    const auto& cells = program_.eeprom;
    while (i < cells.size()) {
        body_ += "\n        org     " + Hex(cells[i].address, 4) + "\n";
        std::size_t run = i;
        while (run < cells.size() && cells[run].address == cells[i].address + (run - i)) {
            ++run;
        }
        for (std::size_t line = i; line < run; line += 8) {
            std::string text = "de      ";
            std::string chars;
            for (std::size_t k = line; k < run && k < line + 8; ++k) {
                text += (k == line ? "" : ", ") + Hex(cells[k].value, 2);
                const unsigned c = cells[k].value;
                chars += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '.';
            }
            const std::size_t column = text.size() + 8;
            body_ += "        " + text;
            body_.append(column < 56 ? 56 - column : 1, ' ');
            body_ += "; EEPROM " + Four(cells[line].address - device_.eepromFirst) + "  \"" +
                     chars + "\"\n";
        }
        i = run;
    }
}

void Writer::Run(const std::string& inputName, SourceSink& sink) {
    sink_ = &sink;
    // the header defines every name the body uses: find them first
    for (unsigned a = 0; a < program_.Size(); ++a) {
        if (!program_.present[a]) {
            continue;
        }
        const isa::Decoded& d = flow_.Decoded(a);
        if (!d || !d.canonical) {
            continue;
        }
        const isa::Form form = d.instruction->form;
        if (form == isa::Form::File || form == isa::Form::FileDest || form == isa::Form::FileBit) {
            Operand& operand = RegisterOperand(a, d.file);
            const Register* reg = operand.reg;
            if (lastSection_ == kRam) {
                if (operand.uses == nullptr) {
                    operand.uses = &uses_[operand.text];
                }
                CountUse(d, *operand.uses);
            }
            if (form == isa::Form::FileBit && reg != nullptr && !reg->bits[d.bit & 7].empty()) {
                names_.Use(reg->bits[d.bit & 7], d.bit, kBits, -1);
            }
        }
    }
    std::string out;
    out += std::string(kSourceFirstLine) + " from " + OneLineName(inputName) + " for the PIC" +
           device_.name + "\n";
    out += "; gpasm -p p" + Lower(device_.name) + " assembles it to the same image.\n";
    if (!flow_.Complete()) {
        out +=
            "; The flow analysis stopped at its limit: registers outside the\n"
            "; common ones are given as addresses.\n";
    }
    if (program_.outsideBytes != 0) {
        out += "; " + std::to_string(program_.outsideBytes) +
               " bytes of the image lie outside the part's memory (the first at byte address " +
               Hex(static_cast<unsigned>(program_.firstOutside), 4) +
               ") and are not in this source.\n";
    }
    out += "\n        processor " + Lower(device_.name) + "\n";
    out += "        errorlevel -302, -306\n";
    if (device_.core == isa::Core::Enhanced) {
        names_.Use("FSR0", 4, kRegisters, 2);
        names_.Use("FSR1", 6, kRegisters, 2);
    }
    for (const auto& [address, name] : ram_) {
        names_.Use(name, address, kRam, 2);
    }
    for (const auto& [name, uses] : uses_) {
        names_.Comment(name, "reads: " + std::to_string(uses.reads) +
                                 ", writes: " + std::to_string(uses.writes));
    }
    std::string config;
    Config(config);
    names_.Write(out, kRegisters, "registers");
    names_.Write(out, kBits, "bits");
    names_.Write(out, kSettings, "configuration settings");
    names_.Write(out, kRam, "data memory");
    if (!config.empty()) {
        out += "\n" + config;
    }
    sink.Write(out);

    body_.reserve(kFlush + 4096);
    const unsigned n = program_.Size();
    const unsigned reset =
        device_.resetVector != 0 && program_.Present(device_.resetVector) ? device_.resetVector : 0;
    FindStrings(reset);
    bool inGap = true;
    bool lastReached = true;
    auto nextLabel = labels_.begin();
    for (unsigned a = 0; a < n; ++a) {
        if (!program_.present[a]) {
            inGap = true;
            continue;
        }
        if (inGap) {
            body_ += "\n        org     " + Hex(a, 4) + "\n";
            inGap = false;
            lastReached = true;
        }
        const bool reached = flow_.Reached(a);
        if (!reached && lastReached) {
            body_ += "; not reached by any path from the vectors\n";
        } else if (reached && !lastReached) {
            body_ += "; reached from the vectors\n";
        }
        lastReached = reached;
        if (a == reset) {
            body_ += "; reset vector\n";
        } else if (a == 0 && reset != 0) {
            body_ += "; program start: the reset word at " + Four(reset) + " runs on here\n";
        }
        if (device_.interruptVector && a == *device_.interruptVector) {
            body_ += "; interrupt vector\n";
        }
        while (nextLabel != labels_.end() && nextLabel->first < a) {
            ++nextLabel;
        }
        if (const auto label = nextLabel; label != labels_.end() && label->first == a) {
            const std::vector<Reference>* callers = flow_.ReferencesTo(a);
            if (callers != nullptr && std::any_of(callers->begin(), callers->end(),
                                                  [](const Reference& r) { return r.call; })) {
                std::vector<unsigned> from;
                for (const Reference& r : *callers) {
                    if (r.call) {
                        from.push_back(r.from);
                    }
                }
                std::sort(from.begin(), from.end());
                // the label's name is left out: a rename in the listing window
                // changes names in code, not in comments
                const std::string known = EntryComment(a);
                body_ += "\n; ----------------------------------------------------------------\n";
                body_ += "; function called from ";
                for (std::size_t i = 0; i < from.size(); ++i) {
                    if (i != 0) {
                        body_ += ", ";
                    }
                    AppendDigits(body_, from[i], 4);
                }
                if (!known.empty()) {
                    body_ += "; on entry: ";
                    body_ += known;
                }
                body_ += '\n';
            }
            body_ += label->second;
            body_ += ':';
            if (const std::vector<Reference>* refs = flow_.ReferencesTo(a)) {
                sortedRefs_.assign(refs->begin(), refs->end());
                std::sort(sortedRefs_.begin(), sortedRefs_.end(),
                          [](const Reference& x, const Reference& y) { return x.from < y.from; });
                // "called from A, B; jumped to from C": calls first, then jumps
                body_ += "  ; ";
                bool listed = false;
                for (const bool calls : {true, false}) {
                    const char* title = calls ? "called from " : "jumped to from ";
                    bool first = true;
                    for (const Reference& r : sortedRefs_) {
                        if (r.call == calls) {
                            body_ += first ? (listed ? "; " : "") + std::string(title) : ", ";
                            AppendDigits(body_, r.from, 4);
                            first = false;
                            listed = true;
                        }
                    }
                }
            }
            body_ += '\n';
        }
        if (const auto text = strings_.find(a); text != strings_.end()) {
            String(a, text->second);
            a = text->second - 1;
            lastReached = flow_.Reached(a);
        } else {
            Line(a);
        }
        if (body_.size() >= kFlush) {
            Flush();
        }
    }
    Words(program_.flashData, "flash data word", device_.flashDataFirst);
    Words(program_.ids, "ID location", device_.idFirst);
    Eeprom();
    body_ += "\n        end\n";
    Flush();
}

}  // namespace

void WriteSource(const Program& program, const Flow& flow, const Symbols& symbols,
                 const std::string& inputName, SourceSink& sink) {
    Writer writer(program, flow, symbols);
    writer.Run(inputName, sink);
}

std::string WriteSource(const Program& program, const Flow& flow, const Symbols& symbols,
                        const std::string& inputName) {
    struct Collect : SourceSink {
        std::string text;
        void Write(std::string_view piece) override { text += piece; }
    } sink;
    WriteSource(program, flow, symbols, inputName, sink);
    return std::move(sink.text);
}

bool IsWrittenByTolvek(std::string_view head) {
    std::size_t pos = 0;
    const std::string_view first = NextLine(head, pos);
    if (first.starts_with(kSourceFirstLine)) {
        return true;
    }
    // the first two lines of earlier versions:
    //   ; NAME: the reconstructed source for the PICxxx
    //   ; gpasm -p pxxx assembles it to the same image.
    const std::string_view second = pos < head.size() ? NextLine(head, pos) : std::string_view();
    const auto trimmed = [](std::string_view line) {
        return line.ends_with('\r') ? line.substr(0, line.size() - 1) : line;
    };
    return first.starts_with("; ") &&
           first.find(": the reconstructed source for the PIC") != std::string_view::npos &&
           second.starts_with("; gpasm -p p") &&
           trimmed(second).ends_with(" assembles it to the same image.");
}

}  // namespace tolvek::source
