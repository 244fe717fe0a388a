// The flow graphs read from a source or listing: blocks, edges, loops, functions, calls.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "browse/Document.h"
#include "browse/Graph.h"

namespace tolvek::browse {
namespace {

// A source in the reconstructed source's layout: lines starting with a blank
// are instructions at the next address, "name:" is a label, ";" a comment line.
std::string Source(const std::vector<std::string>& lines) {
    std::string text = "        processor 16F1827\n        org     0x0000\n";
    unsigned address = 0;
    for (const std::string& line : lines) {
        if (line.empty() || line[0] != ' ') {
            text += line + "\n";
            continue;
        }
        char row[96];
        std::snprintf(row, sizeof row, "        %-24s; %04X\n", line.c_str() + 1, address++);
        text += row;
    }
    return text + "        end\n";
}

struct EdgeCase {
    unsigned from;  // first words of the blocks
    unsigned to;
    EdgeKind kind;
    bool back = false;
};

struct GraphCase {
    const char* what;
    std::vector<std::string> lines;
    unsigned entry;
    std::vector<std::pair<unsigned, unsigned>> blocks;  // first, last; the entry's first
    std::vector<EdgeCase> edges;
    std::vector<unsigned> outside = {};  // other functions left to
};

TEST(BrowseGraph, BlocksAndEdgesFollowEachInstructionsFlow) {
    const std::vector<GraphCase> cases = {
        {"a skip gives two edges, taken and not",
         {"; reset vector", " btfss 0x03, 2", " goto done", " nop", "done:", " return"},
         0,
         {{0, 0}, {1, 1}, {2, 2}, {3, 3}},
         {{0, 1, EdgeKind::SkipNotTaken},
          {0, 2, EdgeKind::SkipTaken},
          {1, 3, EdgeKind::Jump},
          {2, 3, EdgeKind::Next}}},
        {"a goto gives one edge, and what follows it is not reached",
         {" movlw 1", " goto there", " nop", "there:", " return"},
         0,
         {{0, 1}, {3, 3}},
         {{0, 3, EdgeKind::Jump}}},
        {"a return ends the function",
         {" movlw 1", " movwf 0x20", " return", " nop"},
         0,
         {{0, 2}},
         {}},
        {"a loop's jump back is a back edge",
         {" movlw 5", "again:", " decfsz 0x20, f", " goto again", " retlw 0"},
         0,
         {{0, 0}, {1, 1}, {2, 2}, {3, 3}},
         {{0, 1, EdgeKind::Next},
          {1, 2, EdgeKind::SkipNotTaken},
          {1, 3, EdgeKind::SkipTaken},
          {2, 1, EdgeKind::Jump, true}}},
        {"a write to PCL jumps to each entry of the table after it",
         {" addwf PCL, f", " retlw 1", " goto far", " retlw 3", " nop", "far:", " return"},
         0,
         {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {5, 5}},
         {{0, 1, EdgeKind::Computed},
          {0, 2, EdgeKind::Computed},
          {0, 3, EdgeKind::Computed},
          {2, 5, EdgeKind::Jump}}},
        {"BRW computes its jump too; MOVWF PCL without a table goes nowhere known",
         {" brw", " bra one", " bra two", "one:", " movwf 0x02", " nop", "two:", " return"},
         0,
         {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {5, 5}},
         {{0, 1, EdgeKind::Computed},
          {0, 2, EdgeKind::Computed},
          {1, 3, EdgeKind::Jump},
          {2, 5, EdgeKind::Jump}}},
        {"a call runs on in its block; the callee is not part of it",
         {" call callee", " movlw 1", " return", "callee:", " return"},
         0,
         {{0, 2}},
         {}},
        {"a jump into another function leaves to it",
         {" call callee", " goto callee", "callee:", " return"},
         0,
         {{0, 1}},
         {{0, 2, EdgeKind::Jump}},
         {2}},
        {"a function's entry block comes first, whatever its address",
         {" goto start", "back:", " return", "start:", " goto back"},
         2,
         {{2, 2}, {1, 1}},
         {{2, 1, EdgeKind::Jump}}},
    };
    for (const GraphCase& c : cases) {
        SCOPED_TRACE(c.what);
        const Document document = Document::Parse(Source(c.lines), Format::Source);
        const ProgramFlow flow(document);
        const FunctionGraph graph = flow.Function(c.entry);
        EXPECT_EQ(graph.entry, c.entry);
        ASSERT_EQ(graph.blocks.size(), c.blocks.size() + c.outside.size());
        for (std::size_t b = 0; b < c.blocks.size(); ++b) {
            EXPECT_FALSE(graph.blocks[b].outside);
            EXPECT_EQ(graph.blocks[b].first, c.blocks[b].first) << "block " << b;
            EXPECT_EQ(graph.blocks[b].last, c.blocks[b].second) << "block " << b;
            EXPECT_EQ(graph.blocks[b].lines.size(), c.blocks[b].second - c.blocks[b].first + 1);
        }
        for (std::size_t o = 0; o < c.outside.size(); ++o) {
            EXPECT_TRUE(graph.blocks[c.blocks.size() + o].outside);
            EXPECT_EQ(graph.blocks[c.blocks.size() + o].first, c.outside[o]);
        }
        ASSERT_EQ(graph.edges.size(), c.edges.size());
        for (const EdgeCase& expected : c.edges) {
            const bool found =
                std::any_of(graph.edges.begin(), graph.edges.end(), [&](const BlockEdge& edge) {
                    return graph.blocks[edge.from].first == expected.from &&
                           graph.blocks[edge.to].first == expected.to &&
                           edge.kind == expected.kind && edge.back == expected.back;
                });
            EXPECT_TRUE(found) << "edge " << expected.from << " -> " << expected.to;
        }
    }
}

TEST(BrowseGraph, ClassicListingsAreReadByTheirLabels) {
    const Document document = Document::Parse(
        "            ORG 0000h\n"
        "            MOVLW 0x02\n"
        "ad0001      DECFSZ 0x0C,f\n"
        "            GOTO ad0001\n"
        "            CALL ad0005\n"
        "ad0004      GOTO ad0004\n"
        "ad0005      RETURN\n"
        "            END\n",
        Format::Classic);
    const ProgramFlow flow(document);
    EXPECT_EQ(flow.Roots(), std::vector<unsigned>({0}));
    EXPECT_EQ(flow.Entries(), std::vector<unsigned>({0, 5}));
    const FunctionGraph graph = flow.Function(0);
    ASSERT_EQ(graph.blocks.size(), 5U);
    EXPECT_EQ(graph.blocks[graph.BlockOf(3)].first, 3U);
    const auto loop = std::count_if(graph.edges.begin(), graph.edges.end(),
                                    [](const BlockEdge& edge) { return edge.back; });
    EXPECT_EQ(loop, 2);  // the DECFSZ loop, and the GOTO to itself
}

std::string ReadData(const std::string& name) {
    std::ifstream in(std::string(TOLVEK_TEST_DATA) + "/browse/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(BrowseGraph, CallGraphHasTheVectorsAsRootsAndCountsCalls) {
    const Document document = Document::Parse(ReadData("graphs.asm"), Format::Source);
    const ProgramFlow flow(document);
    const CallGraph calls = flow.Calls();
    ASSERT_EQ(calls.nodes.size(), 4U);
    const unsigned entries[] = {0x0000, 0x0004, 0x0022, 0x002E};
    const char* vectors[] = {"reset vector", "interrupt vector", "", ""};
    for (std::size_t n = 0; n < 4; ++n) {
        EXPECT_EQ(calls.nodes[n].entry, entries[n]);
        EXPECT_EQ(calls.nodes[n].root, n < 2);
        EXPECT_EQ(calls.nodes[n].vector, vectors[n]);
        EXPECT_TRUE(calls.nodes[n].reached);
    }
    struct Call {
        unsigned from, to;
    };
    const std::vector<Call> expected = {{0x00, 0x22}, {0x00, 0x2E}, {0x04, 0x2E}};
    ASSERT_EQ(calls.edges.size(), expected.size());
    for (std::size_t e = 0; e < expected.size(); ++e) {
        EXPECT_EQ(calls.nodes[calls.edges[e].from].entry, expected[e].from);
        EXPECT_EQ(calls.nodes[calls.edges[e].to].entry, expected[e].to);
        EXPECT_EQ(calls.edges[e].count, 1U);
        EXPECT_FALSE(calls.edges[e].jump);
    }

    // a function only unreached code calls is not reached; a tail jump is an edge of its own
    const Document more = Document::Parse(
        Source({"; reset vector", " call one", " goto one", "; not reached", "lost:", " call two",
                " return", "one:", " return", "two:", " return"}),
        Format::Source);
    const CallGraph two = ProgramFlow(more).Calls();
    ASSERT_EQ(two.nodes.size(), 3U);  // 0, one, two: "lost" is called by nobody
    EXPECT_TRUE(two.nodes[1].reached);
    EXPECT_FALSE(two.nodes[2].reached);
    ASSERT_EQ(two.edges.size(), 2U);
    EXPECT_FALSE(two.edges[0].jump);
    EXPECT_TRUE(two.edges[1].jump);
}

TEST(BrowseGraph, FunctionOfAWordIsTheFunctionWhoseFlowReachesIt) {
    const Document document = Document::Parse(ReadData("graphs.asm"), Format::Source);
    const ProgramFlow flow(document);
    struct Case {
        unsigned word;
        long function;
    };
    for (const Case& c : std::vector<Case>{{0x0000, 0x0000},
                                           {0x0005, 0x0000},  // jumped to from the reset vector
                                           {0x0021, 0x0000},
                                           {0x0029, 0x0022},  // an entry of the table
                                           {0x0031, 0x002E},  // the delay's inner loop
                                           {0x003A, 0x0004},
                                           {0x0003, -1}}) {  // no word there
        EXPECT_EQ(flow.FunctionOf(c.word), c.function) << std::hex << c.word;
    }
    // code no entry reaches belongs to the label above it
    const Document lost =
        Document::Parse(Source({"; reset vector", " return", "orphan:", " nop", " nop", " return"}),
                        Format::Source);
    EXPECT_EQ(ProgramFlow(lost).FunctionOf(2), 1);
}

TEST(BrowseGraph, BlockLinesKeepTheInstructionAndTheUsersComment) {
    const Document document = Document::Parse(
        "        movlw   .10             ; 000E  ten digits\n"
        "        goto    label_0005      ; 000F\n"
        "label_0005:  ; jumped to from 000F\n"
        "        nop                     ; 0010  " +
            std::string(60, 'x') + "\n",
        Format::Source);
    EXPECT_EQ(BlockLineText(document, 0), "movlw   .10  ; ten digits");
    EXPECT_EQ(BlockLineText(document, 1), "goto    label_0005");
    EXPECT_EQ(BlockLineText(document, 3), "nop  ; " + std::string(37, 'x') + "...");
}

}  // namespace
}  // namespace tolvek::browse
