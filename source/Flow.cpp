#include "source/Flow.h"

#include <algorithm>

namespace tolvek::source {

namespace {

using isa::Core;

// Core registers: the same in every bank of every part of a core.
constexpr unsigned kPcl = 0x02;
constexpr unsigned kStatus = 0x03;
constexpr unsigned kFsr = 0x04;
constexpr unsigned kBsr = 0x08;
constexpr unsigned kWreg = 0x09;
constexpr unsigned kPclath = 0x0A;
// The STATUS bits the analysis follows: RP1:RP0 and IRP, or PA2:PA0.
constexpr std::uint8_t kStatusBits = 0xE0;

constexpr Bits kUnknown{};

}  // namespace

// The instructions whose effect on the followed registers differs; the rest
// change none of them, or leave W unknown.
enum class Flow::Op : std::uint8_t {
    Other,
    Movwf,
    Clrf,
    Movf,
    Comf,
    Swapf,
    Iorwf,
    Andwf,
    Xorwf,
    Incf,
    Decf,
    Addwf,
    Subwf,
    Bsf,
    Bcf,
    Movlw,
    Retlw,
    Iorlw,
    Andlw,
    Xorlw,
    Addlw,
    Sublw,
    Moviw,
    Clrw,
};

namespace {

using Op = Flow::Op;

Op OpOf(std::string_view m) {
    static constexpr std::pair<std::string_view, Op> kOps[] = {
        {"MOVWF", Op::Movwf}, {"CLRF", Op::Clrf},   {"MOVF", Op::Movf},   {"COMF", Op::Comf},
        {"SWAPF", Op::Swapf}, {"IORWF", Op::Iorwf}, {"ANDWF", Op::Andwf}, {"XORWF", Op::Xorwf},
        {"INCF", Op::Incf},   {"DECF", Op::Decf},   {"ADDWF", Op::Addwf}, {"SUBWF", Op::Subwf},
        {"BSF", Op::Bsf},     {"BCF", Op::Bcf},     {"MOVLW", Op::Movlw}, {"RETLW", Op::Retlw},
        {"IORLW", Op::Iorlw}, {"ANDLW", Op::Andlw}, {"XORLW", Op::Xorlw}, {"ADDLW", Op::Addlw},
        {"SUBLW", Op::Sublw}, {"MOVIW", Op::Moviw}, {"CLRW", Op::Clrw},
    };
    for (const auto& [name, op] : kOps) {
        if (name == m) {
            return op;
        }
    }
    return Op::Other;
}

std::optional<Reg> Tracked(Core core, unsigned f) {
    switch (core) {
        case Core::Baseline:
            if (f == kStatus)
                return Reg::Status;
            if (f == kFsr)
                return Reg::Fsr;
            break;
        case Core::Midrange:
            if (f == kStatus)
                return Reg::Status;
            if (f == kPclath)
                return Reg::Pclath;
            break;
        case Core::Enhanced:
            if (f == kBsr)
                return Reg::Bsr;
            if (f == kPclath)
                return Reg::Pclath;
            if (f == kWreg)
                return Reg::W;
            break;
    }
    return std::nullopt;
}

Bits Or(Bits a, Bits b) {
    const auto ones = static_cast<std::uint8_t>((a.known & a.value) | (b.known & b.value));
    const auto known = static_cast<std::uint8_t>((a.known & b.known) | ones);
    return {known, static_cast<std::uint8_t>((a.value | b.value) & known)};
}
Bits And(Bits a, Bits b) {
    const auto zeros = static_cast<std::uint8_t>((a.known & ~a.value) | (b.known & ~b.value));
    const auto known = static_cast<std::uint8_t>((a.known & b.known) | zeros);
    return {known, static_cast<std::uint8_t>(a.value & b.value & known)};
}
Bits Xor(Bits a, Bits b) {
    const auto known = static_cast<std::uint8_t>(a.known & b.known);
    return {known, static_cast<std::uint8_t>((a.value ^ b.value) & known)};
}
// A result that only a fully known operand pair gives.
template <typename F>
Bits Whole(Bits a, Bits b, F f) {
    return a.Full() && b.Full() ? Bits::Known(f(a.value, b.value) & 0xFF) : kUnknown;
}

// The value an instruction computes from register value f and W, or unknown.
Bits Compute(Op op, Bits f, Bits w) {
    switch (op) {
        case Op::Movf:
            return f;
        case Op::Comf:
            return {f.known, static_cast<std::uint8_t>(~f.value & f.known)};
        case Op::Swapf: {
            const auto swap = [](std::uint8_t v) {
                return static_cast<std::uint8_t>(v << 4 | v >> 4);
            };
            return {swap(f.known), swap(f.value)};
        }
        case Op::Iorwf:
            return Or(f, w);
        case Op::Andwf:
            return And(f, w);
        case Op::Xorwf:
            return Xor(f, w);
        case Op::Incf:
            return Whole(f, f, [](unsigned a, unsigned) { return a + 1; });
        case Op::Decf:
            return Whole(f, f, [](unsigned a, unsigned) { return a - 1; });
        case Op::Addwf:
            return Whole(f, w, [](unsigned a, unsigned b) { return a + b; });
        case Op::Subwf:
            return Whole(f, w, [](unsigned a, unsigned b) { return a - b; });
        default:
            return kUnknown;  // rotates and shifts take the carry; skips leave their count unknown
    }
}

}  // namespace

State Flow::ResetState(Core core) {
    State s;
    switch (core) {
        case Core::Baseline:
            s[Reg::Status] = {0x60, 0};  // PA1:PA0 clear; bit 7 is a wake-up flag on some parts
            break;
        case Core::Midrange:
            s[Reg::Status] = {kStatusBits, 0};
            s[Reg::Pclath] = Bits::Known(0);
            break;
        case Core::Enhanced:
            s[Reg::Bsr] = Bits::Known(0);
            s[Reg::Pclath] = Bits::Known(0);
            break;
    }
    return s;
}

std::uint64_t Flow::BankMask(const devices::Device& device, const State& state) {
    Bits select;
    switch (device.core) {
        case Core::Baseline: {
            const Bits fsr = state[Reg::Fsr];
            select = {static_cast<std::uint8_t>(fsr.known >> 5),
                      static_cast<std::uint8_t>(fsr.value >> 5)};
            break;
        }
        case Core::Midrange: {
            const Bits status = state[Reg::Status];
            select = {static_cast<std::uint8_t>((status.known >> 5) & 3),
                      static_cast<std::uint8_t>((status.value >> 5) & 3)};
            break;
        }
        case Core::Enhanced:
            select = state[Reg::Bsr];
            break;
    }
    const unsigned count = std::clamp(device.bankCount, 1u, 64u);
    const std::uint64_t all = count == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << count) - 1;
    if (((count - 1) & ~select.known) == 0) {
        return (std::uint64_t{1} << (select.value & (count - 1))) & all;  // bank known
    }
    if ((select.known & (count - 1)) == 0) {
        return all;
    }
    std::uint64_t mask = 0;
    for (unsigned bank = 0; bank < count; ++bank) {
        if (((bank ^ select.value) & select.known) == 0) {
            mask |= std::uint64_t{1} << bank;
        }
    }
    return mask;
}

std::vector<unsigned> Flow::Banks(const devices::Device& device, const State& state) {
    std::vector<unsigned> banks;
    const std::uint64_t mask = BankMask(device, state);
    for (unsigned bank = 0; bank < 64; ++bank) {
        if ((mask >> bank & 1) != 0) {
            banks.push_back(bank);
        }
    }
    return banks;
}

Flow::Flow(const Program& program, std::size_t budget)
    : program_(program),
      device_(*program.device),
      core_(program.core),
      table_(isa::Table(program.core)),
      size_(std::max(program.Size(), 1u)),
      budget_(budget) {
    addressMask_ = 1;
    while (addressMask_ < size_ - 1) {
        addressMask_ = addressMask_ << 1 | 1;
    }
    // what the analysis keeps per word ends at the image's last program word: a
    // small image for a large part stays small
    unsigned n = program.Size();
    while (n > 0 && !program.present[n - 1]) {
        --n;
    }
    decoded_.reserve(n);
    // programs repeat their words: each value is decoded once
    std::vector<std::int32_t> first(std::size_t{1} << isa::WordBits(core_), -1);
    // a word the image leaves out is erased, and runs as such
    for (unsigned a = 0; a < n; ++a) {
        if (program.present[a] && program.Half(a)) {
            decoded_.emplace_back();  // half a word is data
            continue;
        }
        const unsigned word =
            program.present[a] ? program.words[a] & isa::ErasedWord(core_) : isa::ErasedWord(core_);
        std::int32_t& seen = first[word];
        if (seen < 0) {
            decoded_.push_back(isa::Decode(core_, word));
            seen = static_cast<std::int32_t>(a);
        } else {
            decoded_.push_back(decoded_[static_cast<unsigned>(seen)]);
        }
    }
    ops_.reserve(table_.size());
    for (const isa::Instruction& row : table_) {
        ops_.push_back(OpOf(row.mnemonic));
    }
    before_.resize(n);
    reached_.assign(n, false);
    known_.assign(n, false);
    queued_.assign(n, false);
    target_.assign(n, -1);
    unresolvedIndex_.assign(n, -1);
    summaryTop_.assign(n, -1);
}

std::optional<unsigned> Flow::Target(unsigned k, const State& state) const {
    unsigned target = 0;
    if (core_ == Core::Baseline) {
        const Bits status = state[Reg::Status];
        const unsigned needed = (addressMask_ >> 4) & 0x60;
        if ((needed & ~status.known) != 0) {
            return std::nullopt;
        }
        target = ((status.value & 0x60u) << 4 | k) & addressMask_;
    } else {
        const Bits pclath = state[Reg::Pclath];
        const unsigned needed = (addressMask_ >> 8) & 0x78;
        if ((needed & ~pclath.known) != 0) {
            return std::nullopt;
        }
        target = ((pclath.value & 0x78u) << 8 | k) & addressMask_;
    }
    if (target >= program_.Size()) {
        return std::nullopt;
    }
    return target;
}

bool Flow::IsTableEntry(unsigned address, bool branches) const {
    if (!program_.Present(address) || !decoded_[address]) {
        return false;
    }
    const isa::Decoded& d = decoded_[address];
    const isa::Flow flow = d.instruction->flow;
    return flow == isa::Flow::ReturnLiteral || flow == isa::Flow::Goto ||
           (branches && flow == isa::Flow::Branch);
}

// A computed jump that lands on entry took the program counter's high bits
// from PCLATH (12-bit: from the page bits), so those are known there.
State Flow::AtEntry(State state, unsigned entry) const {
    if (core_ == Core::Baseline) {
        Bits& status = state[Reg::Status];
        const auto bits = static_cast<std::uint8_t>((addressMask_ >> 4) & 0x60);
        status.known |= bits;
        status.value = static_cast<std::uint8_t>((status.value & ~bits) | ((entry >> 4) & bits));
    } else {
        Bits& pclath = state[Reg::Pclath];
        const auto bits = static_cast<std::uint8_t>((addressMask_ >> 8) & 0x7F);
        pclath.known |= bits;
        pclath.value = static_cast<std::uint8_t>((pclath.value & ~bits) | ((entry >> 8) & bits));
    }
    return state;
}

State Flow::AtPage(State state, unsigned target) const {
    Bits& b = core_ == Core::Baseline ? state[Reg::Status] : state[Reg::Pclath];
    const auto bits = static_cast<std::uint8_t>(
        core_ == Core::Baseline ? (addressMask_ >> 4) & 0x60 : (addressMask_ >> 8) & 0x78);
    const auto page =
        static_cast<std::uint8_t>(core_ == Core::Baseline ? target >> 4 : target >> 8);
    b.known |= bits;
    b.value = static_cast<std::uint8_t>((b.value & ~bits) | (page & bits));
    return state;
}

std::vector<unsigned> Flow::PageCandidates(unsigned address) const {
    std::vector<unsigned> out;
    PageCandidates(address, out);
    return out;
}

void Flow::PageCandidates(unsigned address, std::vector<unsigned>& out) const {
    out.clear();
    const isa::Decoded& d = decoded_[address];
    const unsigned page = core_ == Core::Baseline ? 0x200 : 0x800;
    out.reserve((program_.Size() + page - 1) / page);
    for (unsigned base = 0; base < program_.Size(); base += page) {
        const unsigned candidate = base | d.literal;
        if (candidate < program_.Size()) {
            out.push_back(candidate);
        }
    }
}

void Flow::Step(unsigned a, const State& in, Sink& sink) const {
    if (a >= decoded_.size()) {
        return;  // past the image's last word
    }
    const isa::Decoded& d = decoded_[a];
    if (!d) {
        sink.Unresolved(in);
        return;
    }
    const isa::Instruction& row = *d.instruction;
    const Op op = ops_[static_cast<std::size_t>(d.instruction - table_.data())];
    State s = in;
    const unsigned next = Wrap(a + 1);

    const auto read = [&](unsigned f) -> Bits {
        const std::optional<Reg> reg = Tracked(core_, f);
        return reg ? s[*reg] : kUnknown;
    };
    bool writesPcl = false;
    // a write leaves no bit as it was at a routine's entry, but BSF and BCF
    // leave the other seven
    const auto write = [&](unsigned f, Bits v, std::uint8_t kept = 0) {
        v.same &= kept;
        if (f == kPcl) {
            writesPcl = true;
            return;
        }
        const std::optional<Reg> reg = Tracked(core_, f);
        if (!reg) {
            return;
        }
        if (*reg == Reg::Status) {
            v = {static_cast<std::uint8_t>(v.known & kStatusBits),
                 static_cast<std::uint8_t>(v.value & kStatusBits), v.same};
        }
        s[*reg] = v;
    };

    switch (row.form) {
        case isa::Form::File:
            if (op == Op::Movwf) {
                write(d.file, s[Reg::W]);
            } else {
                write(d.file, Bits::Known(0));  // CLRF
            }
            break;
        case isa::Form::FileDest: {
            Bits result = Compute(op, read(d.file), s[Reg::W]);
            result.same = 0;
            if (op == Op::Movf && d.toFile) {
                writesPcl = d.file == kPcl;  // the register keeps its value
            } else if (d.toFile) {
                write(d.file, result);
            } else {
                s[Reg::W] = result;
            }
            break;
        }
        case isa::Form::FileBit:
            if (op == Op::Bsf || op == Op::Bcf) {
                Bits v = read(d.file);
                const auto bit = static_cast<std::uint8_t>(1u << d.bit);
                v.known |= bit;
                v.value = static_cast<std::uint8_t>(op == Op::Bsf ? v.value | bit : v.value & ~bit);
                write(d.file, v, static_cast<std::uint8_t>(~bit));
            }
            break;
        case isa::Form::Literal: {
            const Bits k = Bits::Known(d.literal);
            const Bits w = s[Reg::W];
            if (op == Op::Movlw || op == Op::Retlw) {
                s[Reg::W] = k;
            } else if (op == Op::Iorlw) {
                s[Reg::W] = Or(w, k);
            } else if (op == Op::Andlw) {
                s[Reg::W] = And(w, k);
            } else if (op == Op::Xorlw) {
                s[Reg::W] = Xor(w, k);
            } else if (op == Op::Addlw) {
                s[Reg::W] = Whole(w, k, [](unsigned x, unsigned y) { return x + y; });
            } else if (op == Op::Sublw) {
                s[Reg::W] = Whole(w, k, [](unsigned x, unsigned y) { return y - x; });
            }
            break;
        }
        case isa::Form::Bank:
            s[Reg::Bsr] = Bits::Known(d.literal);
            break;
        case isa::Form::Page:
            s[Reg::Pclath] = Bits::Known(d.literal);
            break;
        case isa::Form::FsrModify:
        case isa::Form::FsrIndexed:
            if (op == Op::Moviw) {
                s[Reg::W] = kUnknown;
            }
            break;
        case isa::Form::None:
            if (op == Op::Clrw) {
                s[Reg::W] = Bits::Known(0);
            }
            break;
        default:
            break;
    }

    if (writesPcl) {
        // A computed jump: the written value gives the low eight bits of the
        // program counter, PCLATH (12-bit: the page bits, bit 8 clear) the rest.
        const Bits w = s[Reg::W];
        unsigned highUnknown = 0;
        unsigned highBase = 0;
        if (core_ == Core::Baseline) {
            const Bits status = s[Reg::Status];
            highUnknown = ((addressMask_ >> 4) & 0x60) & ~status.known;
            highBase = ((status.value & 0x60u) << 4) & addressMask_;
        } else {
            const Bits pclath = s[Reg::Pclath];
            highUnknown = ((addressMask_ >> 8) & 0x7F) & ~pclath.known;
            highBase = ((pclath.value & 0x7Fu) << 8) & addressMask_;
        }
        const bool add = op == Op::Addwf && d.toFile;
        if (const auto via = viaVariable_.find(a); via != viaVariable_.end() && highUnknown == 0) {
            for (const std::uint8_t value : via->second) {
                const unsigned to = highBase | (add ? (next + value) & 0xFF : value);
                State entry = s;
                entry[Reg::W] = Bits::Known(value);
                if (to < program_.Size()) {
                    sink.Next(to, entry, true);
                }
            }
            return;
        }
        if (!add && op != Op::Movwf && op != Op::Clrf) {
            sink.Unresolved(s);
            return;
        }
        const unsigned low = op == Op::Clrf ? 0 : (add ? (next + w.value) & 0xFF : w.value);
        const bool lowKnown = op == Op::Clrf || w.Full();
        if (lowKnown && highUnknown == 0) {
            const unsigned to = highBase | low;
            if (to < program_.Size()) {
                sink.Next(to, s, false);
            } else {
                sink.Unresolved(s);
            }
            return;
        }
        // A table: the RETLW and GOTO entries that follow. ADDWF PCL reaches
        // only the 256 words its PCL wraps in; MOVWF PCL tables come with
        // their own PCLATH sums.
        if ((!add && op != Op::Movwf) ||
            (add && highUnknown == 0 && highBase != (next & ~0xFFu & addressMask_)) ||
            (add && core_ == Core::Baseline && (next & 0x100) != 0)) {
            sink.Unresolved(s);
            return;
        }
        unsigned entries = 0;
        for (unsigned e = next;
             e < program_.Size() && e < next + 256 && (!add || (e & ~0xFFu) == (next & ~0xFFu));
             ++e) {
            if (!IsTableEntry(e, false)) {
                break;
            }
            sink.Next(e, AtEntry(s, e), false);
            ++entries;
        }
        if (entries == 0) {
            sink.Unresolved(s);
        }
        return;
    }

    switch (row.flow) {
        case isa::Flow::Next:
            sink.Next(next, s, false);
            break;
        case isa::Flow::Skip:
            sink.Next(next, s, false);
            sink.Next(Wrap(a + 2), s, false);
            break;
        case isa::Flow::Goto:
            if (const auto to = Target(d.literal, s)) {
                sink.Next(*to, s, true);
            } else {
                sink.Unresolved(s);
            }
            break;
        case isa::Flow::Call:
            sink.Call(Target(d.literal, s), s, next);
            break;
        case isa::Flow::Return:
        case isa::Flow::ReturnLiteral:
        case isa::Flow::ReturnInterrupt:
            sink.Return(s);
            break;
        case isa::Flow::Branch:
            sink.Next(Wrap(static_cast<unsigned>(static_cast<int>(a + 1 + size_) + d.offset)), s,
                      true);
            break;
        case isa::Flow::BranchW: {
            const Bits w = s[Reg::W];
            if (w.Full()) {
                sink.Next(Wrap(next + w.value), s, false);
                break;
            }
            unsigned entries = 0;
            for (unsigned e = next; e < program_.Size() && e < next + 256 && IsTableEntry(e, true);
                 ++e) {
                sink.Next(e, s, false);
                ++entries;
            }
            if (entries == 0) {
                sink.Unresolved(s);
            }
            break;
        }
        case isa::Flow::CallW: {
            const Bits w = s[Reg::W];
            const Bits pclath = s[Reg::Pclath];
            const unsigned needed = (addressMask_ >> 8) & 0x7F;
            std::optional<unsigned> to;
            if (w.Full() && (needed & ~pclath.known) == 0) {
                const unsigned t = ((pclath.value & 0x7Fu) << 8 | w.value) & addressMask_;
                if (t < program_.Size()) {
                    to = t;
                }
            }
            sink.Call(to, s, next);
            break;
        }
        case isa::Flow::Reset:
            break;  // starts again at the reset vector, which is followed anyway
    }
}

// ---------------------------------------------------------------------------
// Call summaries

std::size_t Flow::KeyHash::operator()(const SummaryKey& key) const {
    std::size_t h = key.entry * 0x9E3779B97F4A7C15ull;
    for (const Bits& b : key.state.regs) {
        h = (h ^ (static_cast<std::size_t>(b.same) << 16 | static_cast<std::size_t>(b.known) << 8 |
                  b.value)) *
            0x100000001B3ull;
    }
    return h;
}

// A summary's states live on a stack shared by the summaries under way, which
// nest: the innermost one's entry for a word is the word's newest, and going
// it hands the words back to the summary that called it.
class Flow::SummarySink : public Sink {
  public:
    SummarySink(Flow& flow, int depth)
        : flow_(flow),
          depth_(depth),
          mark_(++flow.marks_),
          entryBase_(flow.summaryEntries_.size()),
          workBase_(flow.summaryWork_.size()) {}
    ~SummarySink() override {
        auto& entries = flow_.summaryEntries_;
        while (entries.size() > entryBase_) {
            flow_.summaryTop_[entries.back().address] = entries.back().previous;
            entries.pop_back();
        }
        flow_.summaryWork_.resize(workBase_);
    }
    SummarySink(const SummarySink&) = delete;
    SummarySink& operator=(const SummarySink&) = delete;

    void Next(unsigned to, const State& state, bool) override {
        if (State* known = Find(to)) {
            const State joined = source::Join(*known, state);
            if (joined == *known) {
                return;
            }
            *known = joined;
        } else {
            Add(to, state);
        }
        flow_.summaryWork_.push_back(to);
    }
    void Call(std::optional<unsigned> target, const State& state, unsigned ret) override {
        if (!target) {
            Next(ret, State{}, false);
            return;
        }
        const Summary sub = flow_.Summarize(*target, state, depth_ + 1);
        if (sub.returns) {
            Next(ret, Apply(sub.state, state), false);
        }
    }
    void Return(const State& state) override {
        result_.state = result_.returns ? source::Join(result_.state, state) : state;
        result_.returns = true;
    }
    void Unresolved(const State&) override { top_ = true; }

    Summary Run(unsigned entry, const State& state) {
        auto& work = flow_.summaryWork_;
        Next(entry, state, false);
        while (work.size() > workBase_ && !top_) {
            const unsigned a = work.back();
            work.pop_back();
            if (++flow_.steps_ > flow_.budget_) {
                flow_.complete_ = false;
                top_ = true;
                break;
            }
            const State state = *Find(a);  // Next may move it
            flow_.Step(a, state, *this);
        }
        // a jump that cannot be followed may return from anywhere, with anything
        return top_ ? Summary{true, State{}} : result_;
    }

  private:
    // The state this summary has reached a word in; null where none yet.
    State* Find(unsigned a) {
        if (a < flow_.summaryTop_.size()) {
            const std::int32_t e = flow_.summaryTop_[a];
            SummaryEntry* entry =
                e < 0 ? nullptr : &flow_.summaryEntries_[static_cast<std::size_t>(e)];
            return entry != nullptr && entry->summary == mark_ ? &entry->state : nullptr;
        }
        const auto it = beyond_.find(a);
        return it == beyond_.end() ? nullptr : &it->second;
    }
    void Add(unsigned a, const State& state) {
        if (a < flow_.summaryTop_.size()) {
            auto& entries = flow_.summaryEntries_;
            entries.push_back({a, flow_.summaryTop_[a], mark_, state});
            flow_.summaryTop_[a] = static_cast<std::int32_t>(entries.size() - 1);
        } else {
            beyond_.emplace(a, state);
        }
    }

    Flow& flow_;
    int depth_;
    std::uint32_t mark_;
    std::size_t entryBase_;
    std::size_t workBase_;
    // words past the image's last one, which end the path there
    std::unordered_map<unsigned, State> beyond_;
    Summary result_;
    bool top_ = false;
};

Flow::Summary Flow::Summarize(unsigned entry, State state, int depth) {
    constexpr int kMaxDepth = 32;
    constexpr unsigned kMaxContexts = 16;
    if (depth > kMaxDepth || steps_ > budget_) {
        return {true, State{}};
    }
    // the routine starts with every bit as the caller left it
    for (Bits& b : state.regs) {
        b.same = 0xFF;
    }
    if (device_.calibration && entry == *device_.calibration) {
        // the factory's RETLW: W holds the calibration value, the rest is kept
        Summary calibration{true, {}};
        for (Bits& b : calibration.state.regs) {
            b = {0, 0, 0xFF};
        }
        calibration.state[Reg::W] = kUnknown;
        return calibration;
    }
    if (summaries_.find({entry, state}) == summaries_.end() && ++contexts_[entry] > kMaxContexts) {
        for (Bits& b : state.regs) {
            b = {0, 0, 0xFF};  // past a few calling states, one for all of them
        }
    }
    state = AtPage(state, entry);  // the CALL that got here took its page from these bits
    const SummaryKey key{entry, state};
    if (const auto it = summaries_.find(key); it != summaries_.end()) {
        return it->second;
    }
    if (std::find(inProgress_.begin(), inProgress_.end(), key) != inProgress_.end()) {
        return {true, State{}};  // recursion: what it returns is not known yet
    }
    inProgress_.push_back(key);
    SummarySink sink(*this, depth);
    const Summary summary = sink.Run(entry, state);
    inProgress_.pop_back();
    summaries_.emplace(key, summary);
    return summary;
}

// ---------------------------------------------------------------------------
// The whole program

class Flow::GlobalSink : public Sink {
  public:
    explicit GlobalSink(Flow& flow) : flow_(flow) {}
    unsigned from = 0;

    void Next(unsigned to, const State& state, bool) override { flow_.Propagate(to, state); }
    void Call(std::optional<unsigned> target, const State& state, unsigned ret) override {
        if (!target) {
            flow_.NoteUnresolved(from, state);
            flow_.Propagate(ret, State{});
            return;
        }
        flow_.Propagate(*target, state);
        const Summary sub = flow_.Summarize(*target, state, 0);
        if (sub.returns) {
            flow_.Propagate(ret, Concrete(Apply(sub.state, state)));
        }
    }
    void Return(const State&) override {}
    void Unresolved(const State& state) override { flow_.NoteUnresolved(from, state); }

  private:
    Flow& flow_;
};

void Flow::NoteUnresolved(unsigned from, const State& state) {
    std::int32_t& index = unresolvedIndex_[from];
    if (index < 0) {
        index = static_cast<std::int32_t>(unresolved_.size());
        unresolved_.emplace_back(from, state);
        settled_.push_back(0);
        isPending_.push_back(false);
    } else {
        State& known = unresolved_[static_cast<std::size_t>(index)].second;
        const State joined = source::Join(known, state);
        if (joined == known) {
            return;
        }
        known = joined;
        settled_[static_cast<std::size_t>(index)] = 0;  // enters its candidates again
    }
    const auto i = static_cast<std::size_t>(index);
    if (!isPending_[i]) {
        isPending_[i] = true;
        pending_.push_back(i);
    }
}

void Flow::Propagate(unsigned to, const State& state) {
    if (to >= reached_.size()) {
        return;
    }
    if (unreachedPhase_ && reached_[to]) {
        return;  // what the vectors reach keeps what they make known
    }
    if (!known_[to]) {
        known_[to] = true;
        reached_[to] = !unreachedPhase_;
        before_[to] = state;
    } else {
        if (before_[to] == State{}) {
            return;  // nothing known already: joining keeps it so
        }
        const State joined = source::Join(before_[to], state);
        if (joined == before_[to]) {
            return;
        }
        before_[to] = joined;
    }
    if (!queued_[to]) {
        queued_[to] = true;
        work_.push_back(to);
    }
}

// Runs the queued words; false where the budget ran out.
bool Flow::Drain() {
    GlobalSink sink(*this);
    while (!work_.empty()) {
        const unsigned a = work_.back();
        work_.pop_back();
        queued_[a] = false;
        if (++steps_ > budget_) {
            for (const unsigned w : work_) {
                queued_[w] = false;
            }
            work_.clear();
            return false;
        }
        sink.from = a;
        Step(a, before_[a], sink);
    }
    return true;
}

// Drains, then lets each GOTO or CALL whose page bits are unknown enter the
// candidates that run anyway. On that path the page bits are the ones that
// select the candidate, so it enters with them: an unknown page never takes a
// known one away from the other paths there.
bool Flow::Settle() {
    if (!Drain()) {
        return false;
    }
    for (int round = 0; round < 16; ++round) {
        const std::size_t before = steps_;
        const unsigned page = core_ == Core::Baseline ? 0x200 : 0x800;
        // a jump stays on the list while a candidate may still come to run;
        // they enter their candidates in the order they were first met (the
        // list is in that order up to the jumps noted since the last round)
        const auto noted = pending_.begin() + static_cast<std::ptrdiff_t>(pendingSorted_);
        std::sort(noted, pending_.end());
        std::inplace_merge(pending_.begin(), noted, pending_.end());
        std::size_t kept = 0;
        for (std::size_t k = 0; k < pending_.size(); ++k) {
            const std::size_t i = pending_[k];
            const unsigned from = unresolved_[i].first;
            const isa::Decoded& d = decoded_[from];
            if (!d || d.instruction->form != isa::Form::Address) {
                isPending_[i] = false;
                continue;
            }
            // each candidate once for each state: entering it again changes nothing
            std::uint32_t bit = 1;
            bool open = false;
            for (unsigned c = d.literal; c < known_.size() && bit != 0; c += page, bit <<= 1) {
                if ((settled_[i] & bit) != 0 || (unreachedPhase_ && reached_[c])) {
                    continue;
                }
                if (known_[c]) {
                    settled_[i] |= bit;
                    Propagate(c, AtPage(unresolved_[i].second, c));
                } else {
                    open = true;
                }
            }
            if (open) {
                pending_[kept++] = i;
            } else {
                isPending_[i] = false;
            }
        }
        pending_.resize(kept);
        pendingSorted_ = kept;
        if (!Drain()) {
            return false;
        }
        if (steps_ == before) {
            break;
        }
    }
    return true;
}

bool Flow::CanEnableInterrupts() const {
    constexpr unsigned kIntcon = 0x0B;
    constexpr unsigned kGie = 7;
    for (unsigned a = 0; a < decoded_.size(); ++a) {
        const isa::Decoded& d = decoded_[a];
        if (!program_.Present(a) || !d) {
            continue;
        }
        if (d.instruction->flow == isa::Flow::ReturnInterrupt) {
            return true;
        }
        const std::string_view m = d.instruction->mnemonic;
        switch (d.instruction->form) {
            case isa::Form::File:
                if (d.file == kIntcon && m != "CLRF") {
                    return true;
                }
                break;
            case isa::Form::FileDest:
                if (d.file == kIntcon && d.toFile) {
                    return true;
                }
                break;
            case isa::Form::FileBit:
                if (d.file == kIntcon && m == "BSF" && d.bit == kGie) {
                    return true;
                }
                break;
            default:
                break;
        }
    }
    return false;
}

// The interrupt may come before any word the main program runs, and entering
// it changes none of the registers followed here: it starts with the join of
// the states there.
void Flow::EnterInterrupt() {
    const unsigned vector = *device_.interruptVector;
    const std::vector<std::uint8_t> main = reached_;
    for (int round = 0; round < 8; ++round) {
        State entry;
        bool any = false;
        for (unsigned a = 0; a < main.size(); ++a) {
            if (main[a]) {
                entry = any ? source::Join(entry, before_[a]) : before_[a];
                any = true;
            }
        }
        const State was = before_[vector];
        const bool fresh = !known_[vector];
        Propagate(vector, Concrete(entry));
        if (!Settle()) {
            complete_ = false;
            return;
        }
        if (!fresh && before_[vector] == was) {
            return;
        }
    }
}

// A word that no path reaches starts a run where nothing falls or skips into it.
bool Flow::RunStart(unsigned a) const {
    const auto flowsOn = [&](unsigned p, bool skipOnly) {
        if (!program_.Present(p) || !decoded_[p] || reached_[p]) {
            return false;
        }
        const isa::Flow f = decoded_[p].instruction->flow;
        return skipOnly ? f == isa::Flow::Skip
                        : f == isa::Flow::Next || f == isa::Flow::Skip || f == isa::Flow::Call;
    };
    return !(a >= 1 && flowsOn(a - 1, false)) && !(a >= 2 && flowsOn(a - 2, true));
}

void Flow::ReadUnreached() {
    unreachedPhase_ = true;
    const std::size_t n = known_.size();
    const auto runs = [&](unsigned a) {
        return !known_[a] && program_.Present(a) && static_cast<bool>(decoded_[a]);
    };
    // each run is entered with nothing known; then whatever the runs left
    bool ok = true;
    for (int pass = 0; pass < 2 && ok; ++pass) {
        for (unsigned a = 0; a < n && ok; ++a) {
            if (runs(a) && (pass == 1 || RunStart(a))) {
                Propagate(a, State{});
                if (pass == 1) {
                    ok = Drain();
                }
            }
        }
        ok = ok && Settle();
    }
    if (!ok) {
        // past the budget: the runs no path reaches stay unread
        for (unsigned a = 0; a < n; ++a) {
            if (!reached_[a]) {
                known_[a] = false;
            }
        }
    }
    unreachedPhase_ = false;
}

// Everything one run of the analysis finds, forgotten for the next.
void Flow::Reset() {
    std::fill(before_.begin(), before_.end(), State{});
    std::fill(reached_.begin(), reached_.end(), false);
    std::fill(known_.begin(), known_.end(), false);
    std::fill(queued_.begin(), queued_.end(), false);
    std::fill(target_.begin(), target_.end(), -1);
    work_.clear();
    references_.clear();
    for (const auto& [from, state] : unresolved_) {
        unresolvedIndex_[from] = -1;
    }
    unresolved_.clear();
    settled_.clear();
    pending_.clear();
    pendingSorted_ = 0;
    isPending_.clear();
    summaries_.clear();
    contexts_.clear();
    inProgress_.clear();
    steps_ = 0;
    complete_ = true;
    interruptEntry_ = false;
}

// A write through FSR may reach any location: where the program has one, no
// variable is known to hold only what is stored into it by name.
bool Flow::WritesIndirectly() const {
    for (unsigned a = 0; a < decoded_.size(); ++a) {
        const isa::Decoded& d = decoded_[a];
        if (!program_.Present(a) || !d) {
            continue;
        }
        const std::string_view m = d.instruction->mnemonic;
        const bool indf = d.file == 0 || (core_ == Core::Enhanced && d.file == 1);
        switch (d.instruction->form) {
            case isa::Form::File:
                if (indf) {
                    return true;
                }
                break;
            case isa::Form::FileDest:
                if (indf && d.toFile) {
                    return true;
                }
                break;
            case isa::Form::FileBit:
                if (indf && (m == "BSF" || m == "BCF")) {
                    return true;
                }
                break;
            case isa::Form::FsrModify:
            case isa::Form::FsrIndexed:
                if (m == "MOVWI") {
                    return true;
                }
                break;
            default:
                break;
        }
    }
    return false;
}

// Computed jumps whose W comes from a MOVF of one variable just before, where
// every value the program stores into that variable is a constant: the PCL
// write goes where those values lead.
std::unordered_map<unsigned, std::vector<std::uint8_t>> Flow::VariableJumps() const {
    std::unordered_map<unsigned, std::vector<std::uint8_t>> found;
    const unsigned bankSize = std::max(device_.bankSize, 1u);
    // where an operand at a may be, as absolute addresses (unbanked: the offset)
    const auto places = [&](unsigned a, unsigned file) {
        std::vector<unsigned> out;
        if (device_.Unbanked(file)) {
            out.push_back(file);
            return out;
        }
        const std::uint64_t mask = BankMask(device_, Before(a));
        for (unsigned bank = 0; bank < 64; ++bank) {
            if ((mask >> bank & 1) != 0) {
                out.push_back(bank * bankSize + file);
            }
        }
        return out;
    };
    std::vector<unsigned> sites;
    for (unsigned from = 1; from < decoded_.size(); ++from) {
        const isa::Decoded& d = decoded_[from];
        if (!d || !Reached(from) || ReferencesTo(from) != nullptr || Before(from)[Reg::W].Full()) {
            continue;
        }
        const std::string_view m = d.instruction->mnemonic;
        const bool pcl = d.file == kPcl && (m == "MOVWF" || (m == "ADDWF" && d.toFile));
        const isa::Decoded& load = decoded_[from - 1];
        const bool skipped = from >= 2 && decoded_[from - 2] &&
                             decoded_[from - 2].instruction->flow == isa::Flow::Skip;
        if (pcl && load && load.instruction->mnemonic == "MOVF" && !load.toFile && !skipped &&
            program_.Present(from - 1) && places(from - 1, load.file).size() == 1) {
            sites.push_back(from);
        }
    }
    if (sites.empty() || WritesIndirectly()) {
        return found;
    }
    for (const unsigned site : sites) {
        const isa::Decoded& load = decoded_[site - 1];
        const unsigned variable = places(site - 1, load.file).front();
        // general-purpose memory only: nothing but the program changes it
        if (std::none_of(device_.gpr.begin(), device_.gpr.end(), [&](const devices::Range& r) {
                return variable >= r.first && variable <= r.last;
            })) {
            continue;
        }
        std::vector<std::uint8_t> values;
        bool constant = true;
        for (unsigned a = 0; a < decoded_.size() && constant; ++a) {
            const isa::Decoded& d = decoded_[a];
            if (!program_.Present(a) || !d) {
                continue;
            }
            const isa::Form form = d.instruction->form;
            const std::string_view m = d.instruction->mnemonic;
            const bool writes = form == isa::Form::File ||
                                (form == isa::Form::FileDest && d.toFile && m != "MOVF") ||
                                (form == isa::Form::FileBit && (m == "BSF" || m == "BCF"));
            if (!writes || (d.file % bankSize) != (variable % bankSize)) {
                continue;
            }
            const std::vector<unsigned> may =
                Analysed(a) ? places(a, d.file) : std::vector<unsigned>{variable};
            if (std::find(may.begin(), may.end(), variable) == may.end()) {
                continue;
            }
            const Bits w = Before(a)[Reg::W];
            if (m == "CLRF") {
                values.push_back(0);
            } else if (m == "MOVWF" && Analysed(a) && w.Full()) {
                values.push_back(w.value);
            } else {
                constant = false;
            }
        }
        std::sort(values.begin(), values.end());
        values.erase(std::unique(values.begin(), values.end()), values.end());
        if (constant && !values.empty()) {
            found[site] = std::move(values);
        }
    }
    return found;
}

void Flow::Run() {
    Follow();
    // jumps through a variable: follow them with the values stored into it, as
    // long as the flow that results still gives those values
    for (int round = 0; round < 3 && complete_; ++round) {
        auto found = VariableJumps();
        if (found == viaVariable_) {
            return;
        }
        viaVariable_ = std::move(found);
        Reset();
        Follow();
    }
    if (!viaVariable_.empty()) {
        viaVariable_.clear();
        Reset();
        Follow();
    }
}

void Flow::Follow() {
    const unsigned n = static_cast<unsigned>(known_.size());
    if (n == 0) {
        return;
    }
    const State reset = ResetState(core_);
    const unsigned vector = device_.resetVector;
    if (program_.Present(vector)) {
        Propagate(vector, reset);  // on 12-bit parts runs on into word 0
    } else if (core_ == Core::Baseline && program_.Present(0)) {
        Propagate(0, reset);  // the erased reset word runs on into word 0
    } else {
        // nothing at the reset vector: the erased words run on to the program,
        // which may as well be an application that a loader enters
        Propagate(core_ == Core::Baseline ? 0 : vector, reset);
        unsigned lowest = 0;
        while (lowest < n && !program_.Present(lowest)) {
            ++lowest;
        }
        if (lowest < n) {
            Propagate(lowest, State{});
        }
    }
    for (const unsigned entry : entries_) {
        Propagate(entry, State{});
    }
    complete_ = Settle();
    if (complete_ && device_.interruptVector && *device_.interruptVector < n &&
        CanEnableInterrupts()) {
        interruptEntry_ = true;
        EnterInterrupt();
    }
    if (!complete_) {
        // past the budget the states are not final: take nothing as known
        std::fill(before_.begin(), before_.end(), State{});
    } else {
        ReadUnreached();
    }
    Collect();
}

// Targets and references from the final states.
void Flow::Collect() {
    struct CollectSink : Sink {
        Flow* flow = nullptr;
        unsigned from = 0;
        void Next(unsigned to, const State&, bool jump) override {
            if (jump) {
                flow->target_[from] = static_cast<std::int32_t>(to);
                flow->references_[to].push_back({from, false});
            }
        }
        void Call(std::optional<unsigned> target, const State&, unsigned) override {
            if (target) {
                flow->target_[from] = static_cast<std::int32_t>(*target);
                flow->references_[*target].push_back({from, true});
            }
        }
        void Return(const State&) override {}
        void Unresolved(const State&) override {}
    } sink;
    sink.flow = this;
    for (unsigned a = 0; a < known_.size(); ++a) {
        if (known_[a]) {
            sink.from = a;
            Step(a, before_[a], sink);
        }
    }
}

std::optional<unsigned> Flow::TargetOf(unsigned address) const {
    if (address >= target_.size() || target_[address] < 0) {
        return std::nullopt;
    }
    return static_cast<unsigned>(target_[address]);
}

const std::vector<Reference>* Flow::ReferencesTo(unsigned address) const {
    const auto it = references_.find(address);
    return it == references_.end() ? nullptr : &it->second;
}

}  // namespace tolvek::source
