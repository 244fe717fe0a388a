// The program's flow as graphs, read from a listing or source: the basic
// blocks of a function with the edges between them, and the functions with
// the calls between them. What each instruction does to the flow comes from
// the instruction tables. Knows nothing of Qt or of how a graph is laid out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "browse/Document.h"
#include "isa/Isa.h"

namespace tolvek::browse {

enum class EdgeKind : std::uint8_t {
    Next,          // runs on into the next block (also after a CALL)
    Jump,          // GOTO, BRA
    SkipTaken,     // the skip happens: on with the word after next
    SkipNotTaken,  // no skip: on with the next word
    Computed,      // a write to PCL or BRW: to one of the table's entries
};

struct Block {
    unsigned first = 0;  // word addresses of its first and last instruction
    unsigned last = 0;
    std::vector<std::size_t> lines;  // the instruction lines, in address order
    // A stand-in for another function that a jump leaves to; it has no lines.
    bool outside = false;
};

struct BlockEdge {
    std::size_t from = 0;  // indexes into FunctionGraph::blocks
    std::size_t to = 0;
    EdgeKind kind = EdgeKind::Next;
    // To a block on the path from the entry to this edge: the edge closes a loop.
    bool back = false;
};

struct FunctionGraph {
    unsigned entry = 0;
    std::vector<Block> blocks;  // the entry's block first, the others by address
    std::vector<BlockEdge> edges;

    // The block holding the word, or -1.
    int BlockOf(unsigned address) const;
};

struct CallNode {
    unsigned entry = 0;
    bool root = false;     // a vector: the program starts or is interrupted here
    std::string vector;    // of a root: "reset vector", "interrupt vector", "program start"
    bool reached = false;  // called, directly or not, from a root
};

struct CallEdge {
    std::size_t from = 0;  // indexes into CallGraph::nodes
    std::size_t to = 0;
    unsigned count = 0;  // how many instructions make it
    bool jump = false;   // a jump into the other function's entry, not a call
};

struct CallGraph {
    std::vector<CallNode> nodes;  // by entry address
    std::vector<CallEdge> edges;

    int NodeOf(unsigned entry) const;
};

class ProgramFlow {
  public:
    explicit ProgramFlow(const Document& document);

    // Where functions start: the vectors and every call target, by address.
    const std::vector<unsigned>& Entries() const { return entries_; }
    const std::vector<unsigned>& Roots() const { return roots_; }

    // The entry of the function that the word belongs to: the nearest entry at
    // or below it whose flow reaches it; failing that, the nearest label at or
    // below it that reaches it; failing that, the word itself. -1 when the
    // address holds no word.
    long FunctionOf(unsigned address) const;
    // The function that starts at entry, as far as its flow reaches without
    // following calls or jumping into another function's entry.
    FunctionGraph Function(unsigned entry) const;
    CallGraph Calls() const;

  private:
    struct Word {
        unsigned address = 0;
        std::uint32_t line = 0;
        isa::Flow flow = isa::Flow::Next;
        std::int32_t target = -1;  // of GOTO, CALL, BRA; -1 when unknown
        bool code = true;          // an instruction, not data
        bool computed = false;     // writes PCL
    };
    struct Step {
        unsigned address = 0;
        EdgeKind kind = EdgeKind::Next;
    };
    // Index of the word at address, or -1.
    long IndexOf(unsigned address) const;
    // Where the flow goes on from the word.
    void Successors(std::size_t index, std::vector<Step>& out) const;
    bool IsEntry(unsigned address) const;
    // The words the function reaches, by index, in address order.
    std::vector<std::size_t> Body(unsigned entry) const;

    std::vector<Word> words_;  // by address
    std::vector<unsigned> entries_;
    std::vector<unsigned> roots_;
    std::map<unsigned, std::string> vectors_;  // what the listing calls each root
    std::vector<unsigned> labels_;             // addresses of labels, sorted
};

// A line of a block as a graph shows it: the instruction without its
// indentation, and a comment of its own when it has one.
std::string BlockLineText(const Document& document, std::size_t line);

}  // namespace tolvek::browse
