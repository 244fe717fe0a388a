// The reconstructed source's names checked against execution: the program is
// run from its vectors on the machine model, and every register name, label
// and cross-reference the source gives a word that ran must agree with what the
// word really did.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "devices/Device.h"

namespace tolvek::sim {

// What the runs saw, by word address.
struct Trace {
    std::set<unsigned> ran;
    std::set<unsigned> ranFromVectors;
    std::map<unsigned, std::set<unsigned>> data;     // absolute data addresses used
    std::map<unsigned, std::set<unsigned>> targets;  // where control went
    // bank and page bits before the word, at the words a label stands on
    std::map<unsigned, std::set<std::pair<unsigned, unsigned>>> entries;
    std::size_t steps = 0;
};

struct RunOptions {
    std::uint64_t seed = 1;
    unsigned runs = 32;       // runs from reset, each with its own seed
    unsigned steps = 10000;   // words per run
    unsigned interrupts = 8;  // interrupt entries per run, at random words
    unsigned interruptSteps = 400;
    // Where code that no vector reaches begins: each is run from anything
    // (runsAnyhow runs of up to stepsAnyhow words), until it comes to a word of
    // `reached`.
    std::vector<unsigned> unreachedStarts;
    std::set<unsigned> reached;
    unsigned runsAnyhow = 4;
    unsigned stepsAnyhow = 2000;
};

// What a source says no path from the vectors reaches: the words, the first
// word of each such run, and the words it says are reached.
struct Reach {
    std::set<unsigned> unreached;
    std::vector<unsigned> starts;
    std::set<unsigned> reached;
};
Reach ReachOf(std::string_view source);

// Runs the program from reset, and from the interrupt vector at random words
// of those runs where the program returns from interrupts. The bank and page
// are kept at the words of entries (any word a CALL, jump or vector reaches).
Trace Explore(const devices::Device& device, const std::vector<std::uint16_t>& words,
              const RunOptions& options);

struct CheckCounts {
    std::size_t operands = 0;  // named register operands of words that ran
    std::size_t labels = 0;    // label operands of jumps and calls that ran
    std::size_t references = 0;
    std::size_t entries = 0;  // functions whose bank and page on entry were checked
};

// Each fault as "ADDR: what the source says, what the word did".
std::vector<std::string> CheckSource(const devices::Device& device, const Trace& trace,
                                     std::string_view source, CheckCounts* counts = nullptr);

}  // namespace tolvek::sim
