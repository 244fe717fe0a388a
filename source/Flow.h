// The program's flow, followed from the reset and interrupt vectors: which words
// run, what is known of the bank, page and W registers before each, and where
// each CALL, GOTO and branch really goes.
//
// Words the image leaves out run as erased words. The interrupt vector is an
// entry only where the program can enable interrupts, and it starts with what
// the interrupted code may hold. After the vectors, every word no path reaches
// is read as well, each run of it entered with nothing known, without changing
// what is known of the reached code.
//
// Paths that meet join their states: a bit stays known only where every path
// agrees. A CALL goes on with what the routine leaves on every return, worked
// out for the state the call is made in (a routine that keeps a bit hands the
// caller's bit back); a routine with a jump that cannot be followed leaves
// nothing known.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "isa/Isa.h"
#include "source/Program.h"
#include "source/State.h"

namespace tolvek::source {

// One place that calls or jumps to a word.
struct Reference {
    unsigned from = 0;
    bool call = false;
};

class Flow {
  public:
    // Instruction visits allowed over the whole analysis; a hostile image cannot
    // make it run on, and past the limit nothing is taken as known.
    static constexpr std::size_t kDefaultBudget = 4'000'000;

    explicit Flow(const Program& program, std::size_t budget = kDefaultBudget);

    // An extra entry point, entered with nothing known; before Run.
    void AddEntry(unsigned address) { entries_.push_back(address); }

    void Run();

    // Reached from the vectors or an added entry.
    bool Reached(unsigned address) const { return address < reached_.size() && reached_[address]; }
    // Reached, or read as a run that no path reaches.
    bool Analysed(unsigned address) const { return address < known_.size() && known_[address]; }
    // The state before the word; nothing known for a word not analysed.
    State Before(unsigned address) const { return Analysed(address) ? before_[address] : State{}; }
    // The interrupt vector is an entry: the program can enable interrupts.
    bool InterruptEntry() const { return interruptEntry_; }
    // Where the program may enable interrupts: a RETFIE, or a write to INTCON
    // other than BCF and CLRF.
    bool CanEnableInterrupts() const;
    // The decoded word; only for a word the image holds.
    const isa::Decoded& Decoded(unsigned address) const { return decoded_[address]; }
    // The word a CALL, GOTO, BRA or CALLW at address goes to, where the flow tells.
    std::optional<unsigned> TargetOf(unsigned address) const;
    // The calls and jumps to a word, by address of the caller.
    const std::vector<Reference>* ReferencesTo(unsigned address) const;
    // Every word that something calls or jumps to, with its references.
    const std::unordered_map<unsigned, std::vector<Reference>>& References() const {
        return references_;
    }
    // The analysis ran within its budget.
    bool Complete() const { return complete_; }

    // The state at reset.
    static State ResetState(isa::Core core);
    // The banks of data memory a register operand may be in, as a bit mask
    // (bit n: bank n) and as a list.
    static std::uint64_t BankMask(const devices::Device& device, const State& state);
    static std::vector<unsigned> Banks(const devices::Device& device, const State& state);
    // The program-memory words that a CALL or GOTO's k may name in any page.
    std::vector<unsigned> PageCandidates(unsigned address) const;
    void PageCandidates(unsigned address, std::vector<unsigned>& out) const;

    // What one word does; public so that a test can drive single steps.
    struct Sink {
        virtual ~Sink() = default;
        // The next word to run; jump: a GOTO or BRA, which gets a label.
        virtual void Next(unsigned to, const State& state, bool jump) = 0;
        // A CALL or CALLW; no target where it cannot be told.
        virtual void Call(std::optional<unsigned> target, const State& state, unsigned ret) = 0;
        virtual void Return(const State& state) = 0;
        // A jump whose target cannot be told.
        virtual void Unresolved(const State& state) = 0;
    };
    void Step(unsigned address, const State& state, Sink& sink) const;

    enum class Op : std::uint8_t;

  private:
    struct Summary {
        bool returns = false;
        State state;
    };
    struct SummaryKey {
        unsigned entry;
        State state;
        bool operator==(const SummaryKey&) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const SummaryKey& key) const;
    };
    class GlobalSink;
    class SummarySink;
    // The states of the summaries under way: for each word the newest entry,
    // each entry with the one it hides.
    struct SummaryEntry {
        unsigned address;
        std::int32_t previous;
        std::uint32_t summary;
        State state;
    };
    std::vector<std::int32_t> summaryTop_;  // by address; -1: none
    std::vector<SummaryEntry> summaryEntries_;
    std::vector<unsigned> summaryWork_;
    std::uint32_t marks_ = 0;

    Summary Summarize(unsigned entry, State state, int depth);
    void Propagate(unsigned to, const State& state);
    bool Drain();
    bool Settle();
    void Follow();
    void Reset();
    std::unordered_map<unsigned, std::vector<std::uint8_t>> VariableJumps() const;
    bool WritesIndirectly() const;
    void EnterInterrupt();
    void ReadUnreached();
    bool RunStart(unsigned address) const;
    void Collect();
    // Where a CALL or GOTO with address bits k goes, where the page bits are known.
    std::optional<unsigned> Target(unsigned k, const State& state) const;
    bool IsTableEntry(unsigned address, bool branches) const;
    State AtEntry(State state, unsigned entry) const;
    State AtPage(State state, unsigned target) const;
    unsigned Wrap(unsigned address) const { return address % size_; }

    const Program& program_;
    const devices::Device& device_;
    isa::Core core_;
    std::span<const isa::Instruction> table_;
    std::vector<Op> ops_;  // what each row of the core's table does, by row
    unsigned size_;
    unsigned addressMask_;  // the program counter's bits that address memory
    std::vector<isa::Decoded> decoded_;
    std::vector<State> before_;
    // flags by word, a byte each: read and set on every step
    std::vector<std::uint8_t> reached_;
    std::vector<std::uint8_t> known_;
    bool unreachedPhase_ = false;
    bool interruptEntry_ = false;
    std::vector<unsigned> entries_;
    // Computed jumps through a variable: at the PCL write, the values W may
    // hold, which are the constants the program stores into that variable.
    std::unordered_map<unsigned, std::vector<std::uint8_t>> viaVariable_;
    std::vector<std::uint8_t> queued_;
    std::vector<unsigned> work_;
    std::vector<std::int32_t> target_;
    std::unordered_map<unsigned, std::vector<Reference>> references_;
    // Jumps that cannot be followed, one entry for each word, with the join of
    // the states it runs in.
    std::vector<std::pair<unsigned, State>> unresolved_;
    std::vector<std::int32_t> unresolvedIndex_;  // by address; -1: none
    // For each: the candidates it has entered in its present state.
    std::vector<std::uint32_t> settled_;
    // Those that may still have a candidate to enter, by index, and whether each is listed.
    std::vector<std::size_t> pending_;
    std::size_t pendingSorted_ = 0;  // how many of them are in order
    std::vector<std::uint8_t> isPending_;
    void NoteUnresolved(unsigned from, const State& state);
    std::unordered_map<SummaryKey, Summary, KeyHash> summaries_;
    std::unordered_map<unsigned, unsigned> contexts_;
    std::vector<SummaryKey> inProgress_;
    std::size_t budget_;
    std::size_t steps_ = 0;
    bool complete_ = true;
};

}  // namespace tolvek::source
