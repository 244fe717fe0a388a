#include "sim/NameCheck.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <unordered_map>

#include "browse/Document.h"
#include "browse/Scan.h"
#include "sim/Machine.h"

namespace tolvek::sim {

namespace {

std::string Hex(const char* format, unsigned value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

bool SelfLoop(const Step& step) {
    return step.target && *step.target == step.address && step.decoded != nullptr &&
           (step.decoded->instruction->flow == isa::Flow::Goto ||
            step.decoded->instruction->flow == isa::Flow::Branch);
}

}  // namespace

Trace Explore(const devices::Device& device, const std::vector<std::uint16_t>& words,
              const RunOptions& options) {
    Trace trace;
    Machine first(device, words, options.seed);
    bool returnsFromInterrupt = false;
    for (unsigned a = 0; a < words.size(); ++a) {
        const isa::Decoded d = isa::Decode(device.core, words[a] & isa::ErasedWord(device.core));
        returnsFromInterrupt =
            returnsFromInterrupt || (d && d.instruction->flow == isa::Flow::ReturnInterrupt);
    }
    const bool interrupts = device.interruptVector.has_value() && returnsFromInterrupt;
    bool fromVectors = true;
    const auto record = [&](const Step& step) {
        trace.ran.insert(step.address);
        if (fromVectors) {
            trace.ranFromVectors.insert(step.address);
        }
        if (step.data) {
            trace.data[step.address].insert(*step.data);
        }
        if (step.target) {
            trace.targets[step.address].insert(*step.target);
        }
        trace.entries[step.address].emplace(step.bank, step.page);
        ++trace.steps;
    };
    const auto interrupt = [&](const Machine& at) {
        Machine isr = at;
        isr.Interrupt();
        Step step;
        for (unsigned n = 0; n < options.interruptSteps && isr.Run(step); ++n) {
            record(step);
            if (step.decoded != nullptr &&
                step.decoded->instruction->flow == isa::Flow::ReturnInterrupt) {
                break;
            }
        }
    };
    std::mt19937_64 pick(options.seed * 7919 + 17);
    for (unsigned run = 0; run < options.runs; ++run) {
        Machine m = first;
        m.Reseed(options.seed * 1000003 + run);
        m.PowerOn();
        std::set<unsigned> when;
        for (unsigned i = 0; interrupts && i < options.interrupts; ++i) {
            when.insert(static_cast<unsigned>(pick() % std::max(options.steps, 1u)));
        }
        Step step;
        for (unsigned n = 0; n < options.steps; ++n) {
            if (when.count(n) != 0) {
                interrupt(m);
            }
            if (!m.Run(step)) {
                break;
            }
            record(step);
            if (SelfLoop(step)) {
                // the program waits here: for an interrupt, if it takes them
                for (auto it = when.upper_bound(n); it != when.end(); ++it) {
                    interrupt(m);
                }
                break;
            }
        }
    }
    fromVectors = false;
    for (const unsigned start : options.unreachedStarts) {
        for (unsigned run = 0; run < options.runsAnyhow; ++run) {
            Machine m = first;
            m.Reseed(options.seed * 1000033 + start * 31 + run);
            m.EnterAnyhow(start);
            Step step;
            for (unsigned n = 0;
                 n < options.stepsAnyhow && options.reached.count(m.Pc()) == 0 && m.Run(step);
                 ++n) {
                record(step);
                if (SelfLoop(step)) {
                    break;
                }
            }
        }
    }
    return trace;
}

Reach ReachOf(std::string_view source) {
    const browse::Document doc =
        browse::Document::Parse(std::string(source), browse::Format::Source);
    Reach reach;
    bool notReached = false;
    bool startPending = false;
    for (std::size_t i = 0; i < doc.LineCount(); ++i) {
        browse::LineScan scan;
        browse::ScanLine(doc.Line(i), browse::Format::Source, scan);
        if (scan.commentOnly && scan.commentStart < scan.text.size()) {
            const std::string comment = browse::Lowered(scan.text.substr(scan.commentStart));
            if (comment.find("not reached by any path") != std::string::npos) {
                notReached = true;
                startPending = true;
            } else if (comment.find("reached from the vectors") != std::string::npos) {
                notReached = false;
            }
        }
        if (scan.directive && browse::EqualNoCase(scan.WordText(), "org")) {
            notReached = false;
        }
        if (const int address = doc.AddressOf(i); address >= 0) {
            const auto a = static_cast<unsigned>(address);
            if (!notReached) {
                reach.reached.insert(a);
            } else {
                reach.unreached.insert(a);
                if (startPending) {
                    reach.starts.push_back(a);
                    startPending = false;
                }
            }
        }
    }
    return reach;
}

std::vector<std::string> CheckSource(const devices::Device& device, const Trace& trace,
                                     std::string_view source, CheckCounts* counts) {
    CheckCounts local;
    CheckCounts& count = counts != nullptr ? *counts : local;
    const browse::Document doc =
        browse::Document::Parse(std::string(source), browse::Format::Source);
    const unsigned bankSize = std::max(device.bankSize, 1u);

    std::unordered_map<std::string, long> equ;
    std::map<unsigned, std::string> placeNames;  // canonical data address -> EQU name
    std::map<unsigned, std::size_t> lineOf;
    const std::set<unsigned> unreached = ReachOf(source).unreached;
    // "on entry: bank B, page P" above a function: claims on its first word
    struct Entry {
        std::optional<unsigned> bank;
        std::optional<unsigned> page;
    };
    std::map<unsigned, Entry> entries;
    std::optional<Entry> pendingEntry;
    bool dataSection = false;
    for (std::size_t i = 0; i < doc.LineCount(); ++i) {
        browse::LineScan scan;
        browse::ScanLine(doc.Line(i), browse::Format::Source, scan);
        if (scan.commentOnly && scan.commentStart < scan.text.size()) {
            const std::string comment = browse::Lowered(scan.text.substr(scan.commentStart));
            if (const std::size_t at = comment.find("on entry:"); at != std::string::npos) {
                Entry entry;
                const auto number = [&](const char* what) -> std::optional<unsigned> {
                    const std::size_t word = comment.find(what, at);
                    if (word == std::string::npos) {
                        return std::nullopt;
                    }
                    const char* digits = comment.c_str() + word + std::strlen(what);
                    if (*digits < '0' || *digits > '9') {
                        return std::nullopt;  // "bank unknown"
                    }
                    return static_cast<unsigned>(std::strtoul(digits, nullptr, 10));
                };
                entry.bank = number("bank ");
                entry.page = number("page ");
                pendingEntry = entry;
            }
            if (comment.find("register") != std::string::npos ||
                comment.find("memory") != std::string::npos) {
                dataSection = true;  // the header's sections of data memory names
            } else if (comment.find("bit") != std::string::npos ||
                       comment.find("config") != std::string::npos) {
                dataSection = false;
            }
        }
        if (scan.equName >= 0) {
            const std::string name(scan.TextOf(scan.pieces[scan.equName]));
            for (const browse::LinePiece& piece : scan.pieces) {
                if (piece.type == browse::PieceType::Number) {
                    const long value = browse::NumberValue(scan.TextOf(piece));
                    equ.emplace(name, value);
                    if (dataSection && value >= 0) {
                        placeNames.emplace(CanonicalAddress(device, static_cast<unsigned>(value)),
                                           name);
                    }
                    break;
                }
            }
        }
        if (const int address = doc.AddressOf(i); address >= 0) {
            lineOf.emplace(static_cast<unsigned>(address), i);
            if (pendingEntry) {
                entries[static_cast<unsigned>(address)] = *pendingEntry;
                pendingEntry.reset();
            }
        }
    }

    // the name a data address has: the device's, else one the source gives it
    const auto nameOf = [&](unsigned address) {
        std::string text = Hex("0x%03X", address);
        if (const devices::Register* reg = device.RegisterAt(address)) {
            return text + " " + reg->name;
        }
        if (const auto it = placeNames.find(CanonicalAddress(device, address));
            it != placeNames.end()) {
            return text + " " + it->second;
        }
        return text + " (no name)";
    };
    const auto labelOf = [&](unsigned address) {
        const int label = doc.LabelAtAddress(address);
        return Hex("%04X", address) +
               (label >= 0 ? " " + doc.Labels()[static_cast<std::size_t>(label)].name
                           : std::string(" (no label)"));
    };

    std::vector<std::string> faults;
    const auto fault = [&](unsigned address, const std::string& text) {
        faults.push_back(Hex("%04X: ", address) + text);
    };
    for (const unsigned a : trace.ran) {
        if (unreached.count(a) != 0 && trace.ranFromVectors.count(a) != 0) {
            fault(a, "ran, but the source says no path from the vectors reaches it");
        }
        const auto line = lineOf.find(a);
        if (line == lineOf.end()) {
            continue;
        }
        browse::LineScan scan;
        browse::ScanLine(doc.Line(line->second), browse::Format::Source, scan);
        if (scan.op == nullptr) {
            continue;
        }
        std::string_view said = scan.text.substr(0, scan.commentStart);
        while (!said.empty() && (said.front() == ' ' || said.front() == '\t')) {
            said.remove_prefix(1);
        }
        while (!said.empty() && (said.back() == ' ' || said.back() == '\t')) {
            said.remove_suffix(1);
        }
        std::string quoted(1, '`');
        quoted.append(said).push_back('`');
        const browse::LinePiece* operand = nullptr;
        for (const browse::LinePiece& piece : scan.pieces) {
            if (piece.operand == 0 && (piece.type == browse::PieceType::Ident ||
                                       piece.type == browse::PieceType::Number)) {
                operand = &piece;
                break;
            }
        }
        const std::string name = operand != nullptr ? std::string(scan.TextOf(*operand)) : "";

        // a register operand: the name's address is the one the word used
        if (browse::FileForm(scan.op->form) && operand != nullptr && trace.data.count(a) != 0) {
            std::optional<unsigned> claim;
            if (operand->type == browse::PieceType::Ident) {
                if (const auto it = equ.find(name); it != equ.end() && it->second >= 0) {
                    claim = static_cast<unsigned>(it->second);
                }
            } else if (const long value = browse::NumberValue(name);
                       value >= static_cast<long>(bankSize)) {
                claim = static_cast<unsigned>(value);  // an address with its bank
            }
            if (claim) {
                ++count.operands;
                for (const unsigned used : trace.data.at(a)) {
                    const devices::Register* reg = device.RegisterAt(used);
                    const bool same =
                        CanonicalAddress(device, used) == CanonicalAddress(device, *claim) ||
                        (operand->type == browse::PieceType::Ident && reg != nullptr &&
                         reg->name == name);
                    if (!same) {
                        fault(a, quoted + " names " + Hex("0x%03X", *claim) + " " + name +
                                     ", but the word ran in bank " +
                                     std::to_string(used / bankSize) + " on " + nameOf(used));
                    }
                }
            }
        }

        // a label operand: the word went there and nowhere else
        std::optional<unsigned> to;
        if (browse::TargetFlow(scan.op->flow) && operand != nullptr &&
            operand->type == browse::PieceType::Ident) {
            if (const int label = doc.FindLabel(name); label >= 0) {
                to = static_cast<unsigned>(doc.Labels()[static_cast<std::size_t>(label)].address);
            }
        } else if (scan.op->flow == isa::Flow::CallW) {
            const std::string_view text = scan.text;
            if (const std::size_t at = text.find("calls ", scan.commentStart);
                at != std::string_view::npos) {
                std::string_view what = text.substr(at + 6);
                what = what.substr(0, what.find_first_of(" ;,"));
                const int label = doc.FindLabel(what);
                if (label >= 0) {
                    to = static_cast<unsigned>(
                        doc.Labels()[static_cast<std::size_t>(label)].address);
                } else if (what.size() == 4 && browse::IsFourHex(what, 0)) {
                    to = browse::FourHex(what);
                }
            }
        }
        if (to && trace.targets.count(a) != 0) {
            ++count.labels;
            for (const unsigned went : trace.targets.at(a)) {
                if (went != *to) {
                    fault(a, quoted + " names " + labelOf(*to) + ", but the word went to " +
                                 labelOf(went));
                }
            }
        }
    }

    // the bank and page a function is entered with: every time it ran
    unsigned pageMask = 0;
    for (unsigned words = device.pageWords; words != 0 && words < device.programWords;
         words <<= 1) {
        pageMask = pageMask << 1 | 1;
    }
    for (const auto& [a, entry] : entries) {
        const auto ran = trace.entries.find(a);
        if (ran == trace.entries.end()) {
            continue;
        }
        ++count.entries;
        for (const auto& [bank, page] : ran->second) {
            if ((entry.bank && *entry.bank != bank) ||
                (entry.page && *entry.page != (page & pageMask))) {
                fault(a, "the source says on entry " +
                             (entry.bank ? "bank " + std::to_string(*entry.bank) : "") +
                             (entry.bank && entry.page ? ", " : "") +
                             (entry.page ? "page " + std::to_string(*entry.page) : "") +
                             ", but the word ran with bank " + std::to_string(bank) + ", page " +
                             std::to_string(page & pageMask));
                break;
            }
        }
    }

    // "called from" and "jumped to from": each such word that ran went there
    for (const browse::Label& label : doc.Labels()) {
        if (label.address < 0) {
            continue;
        }
        browse::LineScan scan;
        browse::ScanLine(doc.Line(label.line), browse::Format::Source, scan);
        for (const browse::LinePiece& piece : scan.pieces) {
            if (piece.type != browse::PieceType::XrefAddress) {
                continue;
            }
            const unsigned from = browse::FourHex(scan.TextOf(piece));
            const auto went = trace.targets.find(from);
            const auto line = lineOf.find(from);
            if (went == trace.targets.end() || line == lineOf.end()) {
                continue;
            }
            // only the words that go to one place whatever W holds
            browse::LineScan jump;
            browse::ScanLine(doc.Line(line->second), browse::Format::Source, jump);
            if (jump.op == nullptr || !browse::TargetFlow(jump.op->flow)) {
                continue;
            }
            ++count.references;
            const auto at = static_cast<unsigned>(label.address);
            if (went->second.count(at) == 0) {
                fault(from, label.name + " (" + Hex("%04X", at) + ") says it is reached from " +
                                Hex("%04X", from) + ", but the word went to " +
                                labelOf(*went->second.begin()));
            }
        }
    }
    return faults;
}

}  // namespace tolvek::sim
