#include "source/Writer.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <unordered_map>

namespace tolvek::source {

namespace {

using devices::Device;
using devices::Register;

std::string Hex(unsigned value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%0*X", digits, value);
    return buffer;
}
std::string Four(unsigned value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04X", value);
    return buffer;
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

// The names the header defines: one value each, in the order of first use.
class NameTable {
  public:
    // Defines name as value in a section; false where the name is taken with
    // another value or is a word the assembler keeps, and must not be used.
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
    void Write(std::string& out, int section, const char* title) const {
        bool first = true;
        for (const Line& line : lines_) {
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
    std::vector<Line> lines_;
};

enum Section { kRegisters, kBits, kSettings, kRam };

class Writer {
  public:
    Writer(const Program& program, const Flow& flow, const Symbols& symbols)
        : program_(program), device_(*program.device), flow_(flow), symbols_(symbols) {
        const unsigned dataSize = std::max(device_.bankCount, 1u) * std::max(device_.bankSize, 1u);
        registerAt_.assign(dataSize, nullptr);
        for (const Register& r : device_.registers) {
            if (r.address < dataSize && registerAt_[r.address] == nullptr) {
                registerAt_[r.address] = &r;
            }
            const auto [it, fresh] = nameAddress_.emplace(r.name, r.address);
            if (!fresh) {
                it->second = std::min(it->second, r.address);
            }
        }
        unbanked_.assign(std::max(device_.bankSize, 1u), false);
        for (const devices::Range& range : device_.unbanked) {
            for (unsigned o = range.first; o <= range.last && o < unbanked_.size(); ++o) {
                unbanked_[o] = true;
            }
        }
        for (const auto& [address, name] : symbols.ram) {
            ram_[Canonical(address)] = name;
        }
        MakeLabels();
    }

    std::string Run(const std::string& inputName);

  private:
    unsigned Canonical(unsigned address) const {
        const unsigned size = std::max(device_.bankSize, 1u);
        return address % size < unbanked_.size() && unbanked_[address % size] ? address % size
                                                                              : address;
    }
    void MakeLabels();
    std::string RegisterOperand(unsigned a, unsigned file, const Register** named,
                                std::string& note);
    std::string Instruction(unsigned a, std::string& note);
    void Line(const std::string& text, unsigned address, const std::string& note);
    void Config(std::string& out);
    void Ids();
    void Eeprom();

    const Program& program_;
    const Device& device_;
    const Flow& flow_;
    const Symbols& symbols_;
    std::vector<const Register*> registerAt_;
    std::unordered_map<std::string, unsigned> nameAddress_;
    std::vector<bool> unbanked_;
    std::map<unsigned, std::string> ram_;
    std::map<unsigned, std::string> labels_;
    NameTable names_;
    std::string body_;
};

void Writer::MakeLabels() {
    for (unsigned a = 0; a < program_.Size(); ++a) {
        const std::vector<Reference>* refs = flow_.ReferencesTo(a);
        if (refs == nullptr || !program_.present[a]) {
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
std::string Writer::RegisterOperand(unsigned a, unsigned file, const Register** named,
                                    std::string& note) {
    *named = nullptr;
    const unsigned bankSize = std::max(device_.bankSize, 1u);
    std::vector<unsigned> banks = Flow::Banks(device_, flow_.Before(a));
    if (file < unbanked_.size() && unbanked_[file]) {
        banks.assign(1, 0);
    }
    struct Candidate {
        unsigned address;
        std::string name;
        const Register* reg;
    };
    std::vector<Candidate> candidates;
    for (const unsigned bank : banks) {
        const unsigned address = bank * bankSize + file;
        const auto user = ram_.find(Canonical(address));
        const Register* reg = address < registerAt_.size() ? registerAt_[address] : nullptr;
        if (user != ram_.end()) {
            candidates.push_back({Canonical(address), user->second, nullptr});
        } else {
            candidates.push_back({address, reg != nullptr ? reg->name : std::string(), reg});
        }
    }
    const bool same = !candidates.empty() &&
                      std::all_of(candidates.begin(), candidates.end(),
                                  [&](const Candidate& c) { return c.name == candidates[0].name; });
    if (same && !candidates[0].name.empty()) {
        const Candidate& c = candidates[0];
        const bool user = c.reg == nullptr;
        const unsigned value = user ? c.address : nameAddress_[c.name];
        if (names_.Use(c.name, value, user ? kRam : kRegisters, 2)) {
            *named = c.reg;
            return c.name;
        }
    }
    if (candidates.size() == 1 ||
        (same && candidates[0].address == Canonical(candidates[0].address) &&
         candidates[0].address < bankSize)) {
        return Hex(candidates.empty() ? file : candidates[0].address, 2);
    }
    std::vector<std::string> shown;
    bool anyName = false;
    for (const Candidate& c : candidates) {
        anyName = anyName || !c.name.empty();
        std::string text = c.name.empty() ? Hex(c.address, 3) : c.name;
        if (std::find(shown.begin(), shown.end(), text) == shown.end()) {
            shown.push_back(text);
        }
    }
    if (anyName) {
        note = "bank unknown: ";
        for (std::size_t i = 0; i < shown.size() && i < 8; ++i) {
            note += (i == 0 ? "" : ", ") + shown[i];
        }
        if (shown.size() > 8) {
            note += ", ... (" + std::to_string(shown.size()) + ")";
        }
    }
    return Hex(file, 2);
}

std::string Writer::Instruction(unsigned a, std::string& note) {
    const unsigned word = program_.words[a];
    const isa::Decoded& d = flow_.Decoded(a);
    if (!d || !d.canonical) {
        return "dw      " + Hex(word, 4);
    }
    std::string text = Lower(d.instruction->mnemonic);
    text.append(text.size() < 8 ? 8 - text.size() : 1, ' ');
    const Register* reg = nullptr;
    switch (d.instruction->form) {
        case isa::Form::File:
            text += RegisterOperand(a, d.file, &reg, note);
            break;
        case isa::Form::FileDest:
            text += RegisterOperand(a, d.file, &reg, note);
            text += d.toFile ? ", f" : ", w";
            break;
        case isa::Form::FileBit: {
            text += RegisterOperand(a, d.file, &reg, note);
            text += ", ";
            const std::string& bit = reg != nullptr ? reg->bits[d.bit & 7] : std::string();
            text += !bit.empty() && names_.Use(bit, d.bit, kBits, -1) ? bit : std::to_string(d.bit);
            break;
        }
        case isa::Form::Address:
        case isa::Form::Relative: {
            const std::optional<unsigned> target = flow_.TargetOf(a);
            const auto label = target ? labels_.find(*target) : labels_.end();
            const bool relative = d.instruction->form == isa::Form::Relative;
            const long direct = static_cast<long>(a) + 1 + d.offset;
            if (label != labels_.end() && (!relative || direct == static_cast<long>(*target))) {
                text += label->second;
                break;
            }
            const std::string plain = isa::FormatPlain(d);
            text += plain.substr(plain.find(' ') + 1);
            if (!relative && flow_.Reached(a) && !target) {
                note = "page unknown:";
                for (const unsigned c : flow_.PageCandidates(a)) {
                    note += " " + Four(c);
                }
            }
            break;
        }
        default: {
            const std::string plain = isa::FormatPlain(d);
            const std::size_t space = plain.find(' ');
            if (space == std::string::npos) {
                text.erase(text.find_last_not_of(' ') + 1);
            } else {
                text += plain.substr(space + 1);
            }
            if ((d.instruction->flow == isa::Flow::CallW) && flow_.TargetOf(a)) {
                const auto label = labels_.find(*flow_.TargetOf(a));
                note =
                    "calls " + (label != labels_.end() ? label->second : Four(*flow_.TargetOf(a)));
            }
            break;
        }
    }
    return text;
}

void Writer::Line(const std::string& text, unsigned address, const std::string& note) {
    const std::size_t start = body_.size();
    body_ += "        ";
    body_ += text;
    const std::size_t column = body_.size() - start;
    body_.append(column < 40 ? 40 - column : 1, ' ');
    body_ += "; ";
    body_ += Four(address);
    if (!note.empty()) {
        body_ += "  ";
        body_ += note;
    }
    body_ += '\n';
}

void Writer::Config(std::string& out) {
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
        unsigned combined = width;
        for (const devices::ConfigSetting* s : chosen) {
            combined &= (s->value | ~s->mask) & width;
        }
        std::string expression;
        std::string note;
        if (combined == cell.value && !chosen.empty()) {
            for (const devices::ConfigSetting* s : chosen) {
                if (!names_.Use(s->name, (s->value | ~s->mask) & width, kSettings, 4)) {
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
                note = "  ; bits " + Hex(unexplained, 4) + " match no setting";
            }
        }
        out += "        __config " + Hex(cell.address, 4) + ", " + expression + note + '\n';
    }
}

void Writer::Ids() {
    unsigned expected = ~0u;
    for (const Cell& cell : program_.ids) {
        if (cell.address != expected) {
            body_ += "\n        org     " + Hex(cell.address, 4) + "\n";
        }
        body_ += "        dw      " + Hex(cell.value, 4) + "                      ; ID location " +
                 std::to_string(cell.address - device_.idFirst) + '\n';
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

std::string Writer::Run(const std::string& inputName) {
    const unsigned n = program_.Size();
    const unsigned reset =
        device_.resetVector != 0 && program_.Present(device_.resetVector) ? device_.resetVector : 0;
    bool inGap = true;
    bool lastReached = true;
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
        if (const auto label = labels_.find(a); label != labels_.end()) {
            body_ += label->second + ":";
            if (const std::vector<Reference>* refs = flow_.ReferencesTo(a)) {
                std::string calls;
                std::string jumps;
                std::vector<Reference> sorted = *refs;
                std::sort(sorted.begin(), sorted.end(),
                          [](const Reference& x, const Reference& y) { return x.from < y.from; });
                for (const Reference& r : sorted) {
                    std::string& list = r.call ? calls : jumps;
                    list += (list.empty() ? "" : ", ") + Four(r.from);
                }
                std::string comment;
                if (!calls.empty()) {
                    comment = "called from " + calls;
                }
                if (!jumps.empty()) {
                    comment += (comment.empty() ? "" : "; ") + ("jumped to from " + jumps);
                }
                body_ += "  ; " + comment;
            }
            body_ += '\n';
        }
        std::string note;
        const std::string text = Instruction(a, note);
        Line(text, a, note);
    }
    Ids();
    Eeprom();

    std::string out;
    out += "; " + inputName + ": the reconstructed source for the PIC" + device_.name + "\n";
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
    std::string config;
    Config(config);
    names_.Write(out, kRegisters, "registers");
    names_.Write(out, kBits, "bits");
    names_.Write(out, kSettings, "configuration settings");
    names_.Write(out, kRam, "data memory");
    if (!config.empty()) {
        out += "\n" + config;
    }
    out += body_;
    out += "\n        end\n";
    return out;
}

}  // namespace

std::string WriteSource(const Program& program, const Flow& flow, const Symbols& symbols,
                        const std::string& inputName) {
    Writer writer(program, flow, symbols);
    return writer.Run(inputName);
}

}  // namespace tolvek::source
