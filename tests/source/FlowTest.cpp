// The flow analysis on small hand-made programs: what it knows of the bank and
// page registers where paths join, over calls, at the interrupt vector, and
// where each CALL, GOTO and branch goes.
#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
#include <optional>

#include "source/Flow.h"

namespace tolvek::source {
namespace {

using isa::Core;

// The interrupt vector lies away from the small programs of the tests.
constexpr unsigned kIsr = 0xF00;
// A GOTO to itself stands here on the 14-bit cores.
constexpr unsigned kEnd = 0x7FF;

// words: program memory; by default four pages of a baseline part (a 16F57),
// two of a midrange part.
devices::Device MakeDevice(Core core, unsigned words = 0) {
    devices::Device d;
    d.core = core;
    d.name = "TEST";
    d.programWords = words != 0 ? words : core == Core::Baseline ? 0x800 : 0x1000;
    d.bankCount = core == Core::Enhanced ? 32 : 4;
    d.bankSize = core == Core::Baseline ? 0x20 : 0x80;
    d.gpr = {{0x20, 0x7F}};  // in bank 0
    if (core == Core::Baseline) {
        d.resetVector = 0x7FF;
    } else {
        d.interruptVector = kIsr;
    }
    return d;
}

// A program of words at addresses; the rest of memory is absent from the image.
struct Fixture {
    devices::Device device;
    Program program;
    Flow* flow = nullptr;
    std::unique_ptr<Flow> owned;

    Fixture(Core core, std::map<unsigned, unsigned> words, unsigned memory = 0,
            std::vector<unsigned> entries = {}, std::optional<unsigned> calibration = std::nullopt)
        : device(MakeDevice(core, memory)) {
        device.calibration = calibration;
        if (core != Core::Baseline && kEnd < device.programWords) {
            words.try_emplace(kEnd, 0x2800 | kEnd);  // where paths end: GOTO to itself
        }
        program.device = &device;
        program.core = core;
        program.words.assign(device.programWords,
                             static_cast<std::uint16_t>(isa::ErasedWord(core)));
        program.present.assign(device.programWords, false);
        for (const auto& [address, word] : words) {
            program.words[address] = static_cast<std::uint16_t>(word);
            program.present[address] = true;
        }
        owned = std::make_unique<Flow>(program);
        flow = owned.get();
        for (const unsigned e : entries) {
            flow->AddEntry(e);
        }
        flow->Run();
    }
    // The banks a register operand at address may be in.
    std::vector<unsigned> Banks(unsigned address) const {
        return Flow::Banks(device, flow->Before(address));
    }
};

// 14-bit encodings
constexpr auto Movlw = [](unsigned k) { return 0x3000 | k; };
constexpr auto Movwf = [](unsigned f) { return 0x0080 | f; };
constexpr auto Bsf = [](unsigned f, unsigned b) { return 0x1400 | b << 7 | f; };
constexpr auto Bcf = [](unsigned f, unsigned b) { return 0x1000 | b << 7 | f; };
constexpr auto Btfsc = [](unsigned f, unsigned b) { return 0x1800 | b << 7 | f; };
constexpr auto Call = [](unsigned k) { return 0x2000 | k; };
constexpr auto Goto = [](unsigned k) { return 0x2800 | k; };
constexpr auto Clrf = [](unsigned f) { return 0x0180 | f; };
constexpr unsigned kAddwfPcl = 0x0782;
constexpr auto Retlw = [](unsigned k) { return 0x3400 | k; };
constexpr unsigned kReturn = 0x0008;
constexpr unsigned kNop = 0x0000;
constexpr unsigned kStatus = 3;
constexpr unsigned kPclath = 0x0A;
constexpr unsigned kLoop = Goto(kEnd);  // the path ends

using Banks = std::vector<unsigned>;

// The words at addresses 0, 1, 2 and on.
std::map<unsigned, unsigned> FromZero(const std::vector<unsigned>& words) {
    std::map<unsigned, unsigned> at;
    for (const unsigned word : words) {
        at.emplace(static_cast<unsigned>(at.size()), word);
    }
    return at;
}

// Each bit of a joined register, for every pair of what two paths know of it
// (nothing, 0 or 1) and whether each keeps it from a routine's entry; the
// other bits, known alike on both paths, stay known.
TEST(FlowState, JoinBitByBit) {
    constexpr std::uint8_t kOthers = 0x5A;
    for (unsigned bit = 0; bit < 8; ++bit) {
        const auto mask = static_cast<std::uint8_t>(1u << bit);
        // knowledge: 0 nothing, 1 known 0, 2 known 1
        const auto make = [&](int knowledge, bool same) {
            Bits b{static_cast<std::uint8_t>(~mask), static_cast<std::uint8_t>(kOthers & ~mask),
                   static_cast<std::uint8_t>(~mask)};
            if (knowledge != 0) {
                b.known |= mask;
            }
            if (knowledge == 2) {
                b.value |= mask;
            }
            if (same) {
                b.same |= mask;
            }
            return b;
        };
        for (int a = 0; a < 3; ++a) {
            for (int b = 0; b < 3; ++b) {
                for (int sames = 0; sames < 4; ++sames) {
                    const Bits left = make(a, (sames & 1) != 0);
                    const Bits right = make(b, (sames & 2) != 0);
                    const Bits joined = Join(left, right);
                    const bool known = a != 0 && a == b;
                    const std::string what = "bit " + std::to_string(bit) + ", knowledge " +
                                             std::to_string(a) + " and " + std::to_string(b) +
                                             ", kept " + std::to_string(sames);
                    EXPECT_EQ((joined.known & mask) != 0, known) << what;
                    EXPECT_EQ((joined.value & mask) != 0, known && a == 2)
                        << what << ": an unknown bit's value is 0";
                    EXPECT_EQ((joined.same & mask) != 0, sames == 3) << what;
                    EXPECT_EQ(joined.known & ~mask, ~mask & 0xFF) << what << ": other bits";
                    EXPECT_EQ(joined.value & ~mask, kOthers & ~mask) << what << ": other bits";
                    EXPECT_EQ(joined, Join(right, left)) << what << ": the order of the paths";
                }
            }
        }
    }
    // a state joins every register it tracks
    for (std::size_t r = 0; r < static_cast<std::size_t>(Reg::Count); ++r) {
        State a;
        State b;
        for (std::size_t i = 0; i < a.regs.size(); ++i) {
            a.regs[i] = b.regs[i] = Bits::Known(0x21);
        }
        b.regs[r] = Bits::Known(0x20);
        const State joined = Join(a, b);
        for (std::size_t i = 0; i < a.regs.size(); ++i) {
            EXPECT_EQ(joined.regs[i].known, i == r ? 0xFE : 0xFF) << "register " << i;
        }
    }
}

TEST(Flow, BankLoadedThroughWAndCleared) {
    Fixture f(Core::Midrange, {{0, Movlw(0x60)},
                               {1, Movwf(kStatus)},
                               {2, Movwf(0x06)},
                               {3, Clrf(kStatus)},
                               {4, Movwf(0x06)}});
    EXPECT_EQ(f.Banks(2), (Banks{3}));
    EXPECT_EQ(f.Banks(4), (Banks{0}));
}

// What a CALL leaves: the caller's bank where the routine keeps it, the
// routine's where it sets one on every return, nothing where it may not.
TEST(Flow, CallSummaries) {
    struct Case {
        const char* name;
        std::map<unsigned, unsigned> routine;  // at 0x100
        Banks after;
    };
    const Case cases[] = {
        {"keeps", {{0x100, Movwf(0x21)}, {0x101, kReturn}}, {1}},
        {"sets RP1 on one path only",
         {{0x100, Btfsc(0x20, 0)}, {0x101, Retlw(1)}, {0x102, Bsf(kStatus, 6)}, {0x103, kReturn}},
         {1, 3}},
        {"sets the same on both returns",
         {{0x100, Bcf(kStatus, 5)}, {0x101, Btfsc(0x20, 0)}, {0x102, kReturn}, {0x103, kReturn}},
         {0}},
        {"differs between returns",
         {{0x100, Btfsc(0x20, 0)}, {0x101, kReturn}, {0x102, Bcf(kStatus, 5)}, {0x103, kReturn}},
         {0, 1}},
    };
    for (const Case& c : cases) {
        std::map<unsigned, unsigned> words = {{0, Bsf(kStatus, 5)},
                                              {1, Bcf(kStatus, 6)},
                                              {2, Call(0x100)},
                                              {3, Movwf(0x06)},
                                              {4, kLoop}};
        words.insert(c.routine.begin(), c.routine.end());
        Fixture f(Core::Midrange, words);
        EXPECT_EQ(f.Banks(3), c.after) << c.name;
        EXPECT_EQ(f.flow->TargetOf(2), 0x100u) << c.name;
        EXPECT_TRUE(f.flow->Reached(0x100)) << c.name;
    }
}

// Call summaries where paths join (before the call, inside the routine, and
// between two callers of one routine, each of which gets its own bank back) and
// over a call inside the routine.
TEST(Flow, CallSummariesAcrossJoinsAndCalls) {
    struct Case {
        const char* name;
        std::map<unsigned, unsigned> words;  // the routine at 0x100
        std::map<unsigned, Banks> banks;     // at these words
    };
    // RP1 clear; RP0 set on one path only
    const std::map<unsigned, unsigned> joined = {
        {0, Bcf(kStatus, 6)}, {1, Btfsc(0x20, 0)}, {2, Bsf(kStatus, 5)}, {3, Call(0x100)}};
    const auto with = [](std::map<unsigned, unsigned> words,
                         std::initializer_list<std::pair<const unsigned, unsigned>> more) {
        words.insert(more);
        return words;
    };
    const Case cases[] = {
        {"joined before a routine that keeps the bank",
         with(joined, {{4, Movwf(0x06)}, {5, kLoop}, {0x100, kNop}, {0x101, kReturn}}),
         {{4, {0, 1}}}},
        {"joined before a routine that sets RP0",
         with(joined, {{4, Movwf(0x06)}, {5, kLoop}, {0x100, Bsf(kStatus, 5)}, {0x101, kReturn}}),
         {{4, {1}}}},
        {"joined inside the routine before its one return",
         {{0, Bsf(kStatus, 5)},
          {1, Bcf(kStatus, 6)},
          {2, Call(0x100)},
          {3, Movwf(0x06)},
          {4, kLoop},
          {0x100, Btfsc(0x20, 0)},
          {0x101, Bsf(kStatus, 6)},
          {0x102, kReturn}},
         {{3, {1, 3}}}},
        {"two callers in two banks",
         {{0, Bsf(kStatus, 5)},
          {1, Call(0x100)},
          {2, Movwf(0x06)},
          {3, Bcf(kStatus, 5)},
          {4, Bsf(kStatus, 6)},
          {5, Call(0x100)},
          {6, Movwf(0x06)},
          {7, kLoop},
          {0x100, Movwf(0x21)},
          {0x101, kReturn}},
         {{2, {1}}, {6, {2}}, {0x100, {0, 1, 2, 3}}}},
        {"a routine that sets RP0, then calls one that keeps it",
         {{0, Call(0x100)},
          {1, Movwf(0x06)},
          {2, kLoop},
          {0x100, Bsf(kStatus, 5)},
          {0x101, Call(0x110)},
          {0x102, kReturn},
          {0x110, Movwf(0x21)},
          {0x111, kReturn}},
         {{1, {1}}, {0x110, {1}}}},
    };
    for (const Case& c : cases) {
        Fixture f(Core::Midrange, c.words);
        for (const auto& [address, banks] : c.banks) {
            EXPECT_EQ(f.Banks(address), banks) << c.name << ", at " << address;
        }
    }
}

// Past a few calling states a routine is summarised once for all of them: what
// it keeps must still come through.
TEST(Flow, CallSummaryFromManyCallingStates) {
    std::map<unsigned, unsigned> words = {{0, Bsf(kStatus, 5)}, {1, Bcf(kStatus, 6)}};
    unsigned a = 2;
    for (unsigned i = 0; i < 40; ++i) {
        words[a++] = Movlw(i);
        words[a++] = Call(0x100);
    }
    words[a] = Movwf(0x06);
    words[a + 1] = kLoop;
    words[0x100] = Movwf(0x21);
    words[0x101] = kReturn;
    Fixture f(Core::Midrange, words);
    EXPECT_EQ(f.Banks(a), (Banks{1}));
}

// The interrupt vector is an entry only where the program can enable
// interrupts; it then starts with the join of what the main program holds.
TEST(Flow, InterruptVectorWhereInterruptsCanBeEnabled) {
    constexpr unsigned kIntcon = 0x0B;
    struct Case {
        const char* name;
        unsigned enable;  // the word at 2
        unsigned isrEnd;  // the ISR's last word
        bool entry;
    };
    const Case cases[] = {
        {"BSF GIE", Bsf(kIntcon, 7), kReturn, true},
        {"MOVWF INTCON", Movwf(kIntcon), kReturn, true},
        {"RETFIE", Bcf(kIntcon, 7), 0x0009, true},
        {"BCF GIE only", Bcf(kIntcon, 7), kReturn, false},
        {"another bit", Bsf(kIntcon, 4), kReturn, false},
        {"CLRF INTCON", Clrf(kIntcon), kReturn, false},
    };
    for (const Case& c : cases) {
        Fixture f(Core::Midrange, {{0, Bcf(kStatus, 6)},
                                   {1, Bsf(kStatus, 5)},
                                   {2, c.enable},
                                   {3, Goto(3)},
                                   {kIsr, Movwf(0x06)},
                                   {kIsr + 1, Bcf(kStatus, 5)},
                                   {kIsr + 2, Movwf(0x06)},
                                   {kIsr + 3, c.isrEnd}});
        EXPECT_EQ(f.flow->InterruptEntry(), c.entry) << c.name;
        EXPECT_EQ(f.flow->Reached(kIsr), c.entry) << c.name;
        EXPECT_TRUE(f.flow->Analysed(kIsr)) << c.name;
        // RP1 is clear wherever the main program runs; RP0 is not known
        EXPECT_EQ(f.Banks(kIsr), c.entry ? (Banks{0, 1}) : (Banks{0, 1, 2, 3})) << c.name;
        EXPECT_EQ(f.Banks(kIsr + 2), c.entry ? (Banks{0}) : (Banks{0, 2})) << c.name;
    }
}

// CALL and GOTO take their page from PCLATH, however it was loaded.
TEST(Flow, PclathDecidesTargets) {
    struct Case {
        const char* name;
        std::vector<unsigned> setup;
        std::optional<unsigned> target;
    };
    const Case cases[] = {
        {"reset value", {}, 0x123},
        {"MOVLW/MOVWF", {Movlw(0x08), Movwf(kPclath)}, 0x923},
        {"BSF", {Bsf(kPclath, 3)}, 0x923},
        {"CLRF after BSF", {Bsf(kPclath, 3), Clrf(kPclath)}, 0x123},
        {"unknown", {Movwf(kPclath)}, std::nullopt},
    };
    for (const Case& c : cases) {
        std::map<unsigned, unsigned> words = FromZero(c.setup);
        auto a = static_cast<unsigned>(c.setup.size());
        const unsigned call = a;
        words[a++] = Goto(0x123);
        words[0x123] = kLoop;
        words[0x923] = kLoop;
        Fixture f(Core::Midrange, words);
        EXPECT_EQ(f.flow->TargetOf(call), c.target) << c.name;
        if (!c.target) {
            EXPECT_EQ(f.flow->PageCandidates(call), (std::vector<unsigned>{0x123, 0x923}))
                << c.name;
        }
    }
}

// A 16K-word part's pages take PCLATH bits 3 to 5.
TEST(Flow, PclathBitsUpToTheLastPage) {
    Fixture f(Core::Midrange,
              {{0, Movlw(0x38)}, {1, Movwf(kPclath)}, {2, Goto(0x123)}, {0x3923, kLoop}}, 0x4000);
    EXPECT_EQ(f.flow->TargetOf(2), 0x3923u);
    EXPECT_TRUE(f.flow->Reached(0x3923));
}

// A CALL that may go to any page returns with nothing known: the routine may
// have changed the bank.
TEST(Flow, CallToAnUnknownPageReturnsWithNothingKnown) {
    Fixture f(Core::Midrange, {{0, Movwf(kPclath)},  // W unknown at reset
                               {1, Call(0x123)},
                               {2, Movwf(0x06)},
                               {3, kLoop},
                               {0x123, kReturn},
                               {0x923, kReturn}});
    EXPECT_EQ(f.Banks(1), (Banks{0}));
    EXPECT_EQ(f.Banks(2), (Banks{0, 1, 2, 3}));
}

// A GOTO whose page is unknown may land on its offset in any page: a candidate
// that runs anyway may also be entered from there, in the GOTO's bank.
TEST(Flow, UnknownPageJoinsTheCandidatesThatRun) {
    Fixture f(Core::Midrange, {{0, Clrf(kStatus)},
                               {1, Goto(0x123)},  // page 0: 0x123 runs in bank 0
                               {0x123, Movwf(0x06)},
                               {0x124, Movwf(kPclath)},  // PCLATH unknown
                               {0x125, Bsf(kStatus, 5)},
                               {0x126, Goto(0x123)},  // 0x123 or 0x923
                               {0x923, kLoop}});
    EXPECT_FALSE(f.flow->TargetOf(0x126).has_value());
    EXPECT_EQ(f.Banks(0x123), (Banks{0, 1}));
    EXPECT_FALSE(f.flow->Reached(0x923));  // not entered on a guess
}

// W computed from literals, written to PCLATH: the page of the GOTO 0 after it
// (an 8K-word part, whose pages take PCLATH bits 3 and 4).
TEST(Flow, WArithmeticDecidesThePage) {
    constexpr unsigned kMovfW20 = 0x0820;  // W unknown
    const struct {
        const char* name;
        std::vector<unsigned> setup;
        std::optional<unsigned> target;
    } cases[] = {
        {"SUBLW: k - W", {Movlw(1), 0x3C00 | 9}, 0x0800},
        {"ADDLW", {Movlw(6), 0x3E00 | 0x0A}, 0x1000},
        {"IORLW", {Movlw(0x08), 0x3800 | 0x10}, 0x1800},
        {"IORLW sets bits of an unknown W", {kMovfW20, 0x3800 | 0x18}, 0x1800},
        {"ANDLW", {Movlw(0x1F), 0x3900 | 0x08}, 0x0800},
        {"ANDLW clears bits of an unknown W", {kMovfW20, 0x3900 | 0x07}, 0x0000},
        {"XORLW", {Movlw(0x18), 0x3A00 | 0x08}, 0x1000},
        {"XORLW keeps an unknown W unknown", {kMovfW20, 0x3A00 | 0x08}, std::nullopt},
        {"DECF PCLATH,w: f - 1", {Movlw(0x10), Movwf(kPclath), 0x0300 | kPclath}, 0x0800},
        {"INCF PCLATH,w: f + 1", {Movlw(0x07), Movwf(kPclath), 0x0A00 | kPclath}, 0x0800},
    };
    for (const auto& c : cases) {
        std::map<unsigned, unsigned> words = FromZero(c.setup);
        auto a = static_cast<unsigned>(c.setup.size());
        words[a++] = Movwf(kPclath);
        const unsigned jump = a;
        words[a] = Goto(0);
        for (unsigned page = 0; page < 0x2000; page += 0x800) {
            words.insert({page, kLoop});
        }
        Fixture f(Core::Midrange, words, 0x2000);
        EXPECT_EQ(f.flow->TargetOf(jump), c.target) << c.name;
    }
}

TEST(Flow, ComputedJumpTablesAreFollowed) {
    Fixture f(Core::Midrange, {{0, Movlw(0x01)},
                               {1, Movwf(kPclath)},
                               {2, Goto(0x100)},
                               {0x100, Movwf(0x21)},
                               {0x101, 0x0820},  // MOVF 0x20,w: W unknown
                               {0x102, kAddwfPcl},
                               {0x103, Retlw(1)},
                               {0x104, Goto(0x110)},
                               {0x105, Retlw(2)},
                               {0x106, Movwf(0x06)},
                               {0x110, kLoop}});
    EXPECT_TRUE(f.flow->Reached(0x103));
    EXPECT_TRUE(f.flow->Reached(0x105));
    EXPECT_FALSE(f.flow->Reached(0x106));
    EXPECT_EQ(f.flow->TargetOf(0x104), 0x110u);
}

// With W known, ADDWF PCL goes to the word after it plus W, and only there.
TEST(Flow, ComputedJumpWithAKnownOffset) {
    Fixture f(Core::Midrange,
              {{0, Movlw(2)}, {1, kAddwfPcl}, {2, Movwf(0x30)}, {3, Movwf(0x31)}, {4, kLoop}});
    EXPECT_TRUE(f.flow->Reached(4));
    EXPECT_FALSE(f.flow->Reached(2));
    EXPECT_FALSE(f.flow->Reached(3));
}

TEST(Flow, EnhancedBsrPclathAndBranches) {
    Fixture f(Core::Enhanced, {{0, 0x0023},       // MOVLB 3
                               {1, Movwf(0x20)},  // bank 3
                               {2, Movlw(5)},
                               {3, Movwf(0x08)},  // BSR = 5
                               {4, Movwf(0x20)},
                               {5, 0x3180 | 0x09},  // MOVLP 9
                               {6, Movlw(0x40)},
                               {7, 0x000A},            // CALLW -> 0x940
                               {8, 0x3200 | 0x1FE},    // BRA -2 -> 7
                               {0x940, Bsf(0x08, 4)},  // BSR = 21
                               {0x941, kReturn}});
    EXPECT_EQ(f.Banks(1), (Banks{3}));
    EXPECT_EQ(f.Banks(4), (Banks{5}));
    EXPECT_EQ(f.flow->TargetOf(7), 0x940u);
    EXPECT_EQ(f.Banks(8), (Banks{21}));
    EXPECT_EQ(f.flow->TargetOf(8), 7u);
}

TEST(Flow, EnhancedBrwTableAndInterrupt) {
    Fixture f(Core::Enhanced, {{0, Movwf(0x20)},
                               {1, 0x000B},
                               {2, Retlw(1)},
                               {3, 0x3200 | 0x010},
                               {4, Movwf(0x20)},
                               {0x14, kLoop},
                               {kIsr, Movwf(0x20)},
                               {kIsr + 1, 0x0021},
                               {kIsr + 2, Movwf(0x20)},
                               {kIsr + 3, 0x0009}});
    EXPECT_TRUE(f.flow->Reached(2));
    EXPECT_FALSE(f.flow->Reached(4));  // the table ends where the RETLW and branches end
    EXPECT_EQ(f.flow->TargetOf(3), 0x14u);
    EXPECT_EQ(f.Banks(kIsr), (Banks{0}));  // the main program never leaves bank 0
    EXPECT_EQ(f.Banks(kIsr + 2), (Banks{1}));
}

// A BRA's offset counts from the next word, -256 to +255.
TEST(Flow, BranchOffsetsAtBothEndsOfTheirRange) {
    const struct {
        int offset;
        unsigned target;
    } cases[] = {{-256, 0x201}, {-255, 0x202}, {-1, 0x300}, {0, 0x301}, {254, 0x3FF}, {255, 0x400}};
    for (const auto& c : cases) {
        const unsigned bra = 0x3200 | (static_cast<unsigned>(c.offset) & 0x1FF);
        std::map<unsigned, unsigned> words = {{0, Goto(0x300)}, {0x300, bra}};
        words.insert({c.target, kLoop});
        Fixture f(Core::Enhanced, words);
        EXPECT_EQ(f.flow->TargetOf(0x300), c.target) << "BRA " << c.offset;
        EXPECT_TRUE(f.flow->Reached(c.target)) << "BRA " << c.offset;
    }
}

// 12-bit encodings
constexpr auto BaselineBsf = [](unsigned f, unsigned b) { return 0x500 | b << 5 | f; };
constexpr auto BaselineMovlw = [](unsigned k) { return 0xC00 | k; };
constexpr auto BaselineMovwf = [](unsigned f) { return 0x020 | f; };
constexpr auto BaselineGoto = [](unsigned k) { return 0xA00 | k; };
constexpr unsigned kBaselineCalibration = 0xC40;  // MOVLW at the reset word
constexpr unsigned kBaselineFsr = 4;

// A baseline part starts at its last word, the calibration MOVLW, and runs on
// into word 0; an image without that word, as gpasm writes an ordinary
// program, starts at 0. FSR's bits 6:5 choose the bank.
TEST(Flow, BaselineStartsAtTheResetWordOrAtZero) {
    for (const bool calibration : {true, false}) {
        std::map<unsigned, unsigned> words = {{0, BaselineBsf(kBaselineFsr, 5)},
                                              {1, BaselineMovwf(0x10)},
                                              {2, BaselineGoto(0x010)},
                                              {0x10, kNop}};
        if (calibration) {
            words[0x7FF] = kBaselineCalibration;
        }
        Fixture f(Core::Baseline, words);
        const char* what = calibration ? "with the calibration word" : "without it";
        EXPECT_EQ(f.flow->Reached(0x7FF), calibration) << what;
        EXPECT_TRUE(f.flow->Reached(0)) << what;
        EXPECT_EQ(f.flow->TargetOf(2), 0x010u) << what;
        EXPECT_EQ(f.Banks(1), (Banks{1, 3})) << what << ": FSR bit 5 set, bit 6 unknown";
    }
}

// STATUS bits PA1:PA0 give a baseline GOTO or CALL its page, both of them (a
// 16F57 has four pages of 512 words).
TEST(Flow, BaselinePageBitsChooseThePage) {
    const struct {
        const char* name;
        std::vector<unsigned> setup;
        unsigned page;
    } cases[] = {
        {"reset", {}, 0x000},
        {"PA0", {BaselineBsf(kStatus, 5)}, 0x200},
        {"PA1", {BaselineBsf(kStatus, 6)}, 0x400},
        {"PA1 and PA0", {BaselineBsf(kStatus, 6), BaselineBsf(kStatus, 5)}, 0x600},
        {"PA1 through W", {BaselineMovlw(0x40), BaselineMovwf(kStatus)}, 0x400},
    };
    for (const auto& c : cases) {
        for (const unsigned jump : {BaselineGoto(0x010), 0x900u | 0x10u /* CALL */}) {
            std::map<unsigned, unsigned> words = FromZero(c.setup);
            const auto a = static_cast<unsigned>(c.setup.size());
            words[a] = jump;
            for (unsigned page = 0; page < 0x800; page += 0x200) {
                words[page + 0x10] = 0x800;  // RETLW 0
            }
            Fixture f(Core::Baseline, words);
            EXPECT_EQ(f.flow->TargetOf(a), c.page + 0x10) << c.name << ", word " << jump;
        }
    }
}

// A baseline computed jump clears bit 8 of the program counter: an ADDWF PCL in
// the upper half of a page cannot reach the words after it, so they are no
// table; in the lower half they are. So whether the page bits are known or not.
TEST(Flow, BaselineTablesOnlyInTheLowerHalfOfAPage) {
    const struct {
        const char* name;
        unsigned at;  // the ADDWF PCL,F
        bool table;
    } cases[] = {
        {"lower half", 0x042, true},
        {"upper half", 0x142, false},
        {"last word of the lower half", 0x0FF, false},
        {"lower half of page 1", 0x242, true},
        {"upper half of page 1", 0x342, false},
    };
    for (const auto& c : cases) {
        for (const bool pageKnown : {true, false}) {
            std::map<unsigned, unsigned> words = {
                {0, c.at < 0x200 ? kNop : BaselineBsf(kStatus, 5)},
                {1, BaselineGoto((c.at - 2) & 0x1FF)},
                {c.at - 2, 0x210},                                      // MOVF 0x10,W
                {c.at - 1, pageKnown ? kNop : BaselineMovwf(kStatus)},  // page bits unknown
                {c.at, 0x1E2},                                          // ADDWF PCL,F
                {c.at + 1, 0x801},                                      // RETLW 1
                {c.at + 2, 0x802}};
            Fixture f(Core::Baseline, words);
            const std::string what =
                std::string(c.name) + (pageKnown ? ", page known" : ", page unknown");
            ASSERT_TRUE(f.flow->Reached(c.at)) << what;
            EXPECT_EQ(f.flow->Reached(c.at + 1), c.table) << what;
            EXPECT_EQ(f.flow->Reached(c.at + 2), c.table) << what;
        }
    }
}

// A CALL whose page is unknown enters the routine that other callers reach
// with their page only with the page bits that select it: the trampoline at 6
// keeps its page, and the routine it jumps to is followed.
TEST(Flow, UnknownPageEntersACandidateWithItsOwnPage) {
    Fixture f(Core::Baseline, {{0, 0x400 | 5 << 5 | 3},  // BCF STATUS,PA0
                               {1, 0x400 | 6 << 5 | 3},  // BCF STATUS,PA1
                               {2, 0x900 | 7},           // CALL 7
                               {3, 0x200 | 0x10},        // MOVF 0x10,W
                               {4, 0x020 | 3},           // MOVWF STATUS: page unknown
                               {5, 0x900 | 7},           // CALL 7 on some page
                               {6, 0xA00 | 6},
                               {7, 0xA00 | 0x091},  // GOTO 0x091
                               {0x091, 0x800}});    // RETLW 0
    EXPECT_FALSE(f.flow->TargetOf(5).has_value());
    EXPECT_EQ(f.flow->TargetOf(7), 0x091u);
    EXPECT_TRUE(f.flow->Reached(0x091));
    EXPECT_FALSE(f.flow->Reached(0x207));
}

// Words no path reaches are read too, each run entered with nothing known:
// what the code itself makes certain is known there, and the reached code
// keeps what the vectors make known.
TEST(Flow, UnreachedRunsAreReadWithoutChangingReachedCode) {
    Fixture f(Core::Midrange, {{0, Goto(0x10)},
                               {1, Bsf(kStatus, 5)},  // no path comes here
                               {2, Bsf(kStatus, 6)},
                               {3, Movwf(0x06)},
                               {4, Bcf(kPclath, 3)},
                               {5, Goto(0x11)},   // into reached code, in bank 3
                               {6, Goto(0x123)},  // page unknown on entry
                               {0x10, Clrf(kStatus)},
                               {0x11, Movwf(0x06)},
                               {0x12, kLoop}});
    EXPECT_FALSE(f.flow->Reached(1));
    EXPECT_TRUE(f.flow->Analysed(1));
    EXPECT_EQ(f.Banks(3), (Banks{3}));
    EXPECT_EQ(f.flow->TargetOf(5), 0x11u);
    EXPECT_FALSE(f.flow->TargetOf(6).has_value());
    EXPECT_EQ(f.Banks(0x11), (Banks{0}));
    const std::vector<Reference>* refs = f.flow->ReferencesTo(0x11);
    ASSERT_NE(refs, nullptr);
    EXPECT_EQ(refs->size(), 1u);
    EXPECT_EQ(refs->front().from, 5u);
}

// Words the image leaves out run as erased words (ADDLW 0xFF): the flow goes on
// through them.
TEST(Flow, AbsentWordsRunAsErased) {
    Fixture f(Core::Midrange,
              {{0, Clrf(kStatus)}, {1, Bsf(kStatus, 5)}, {0x10, Movwf(0x06)}, {0x11, kLoop}});
    EXPECT_TRUE(f.flow->Reached(0x10));
    EXPECT_EQ(f.Banks(0x10), (Banks{1}));
}

// A call to the calibration word returns with W unknown and the rest kept,
// whether the image holds the word or not.
TEST(Flow, CalibrationCallReturns) {
    for (const bool present : {false, true}) {
        std::map<unsigned, unsigned> words = {
            {0, Movlw(0x40)}, {1, Bsf(kStatus, 5)}, {2, Call(0x3FF)}, {3, Movwf(0x10)}, {4, kLoop}};
        if (present) {
            words[0x3FF] = Retlw(0x34);
        }
        Fixture f(Core::Midrange, words, 0, {}, 0x3FF);
        EXPECT_TRUE(f.flow->Reached(3)) << present;
        EXPECT_EQ(f.Banks(3), (Banks{1})) << present;
        EXPECT_EQ(f.flow->Before(3)[Reg::W].known, 0) << present;
    }
}

// Nothing at the reset vector: the program starts at its lowest word, with
// nothing known (a loader may enter it); added entries are reached as well.
TEST(Flow, EntriesWhereTheResetVectorIsEmpty) {
    Fixture f(Core::Midrange,
              {{0x200, Bsf(kStatus, 5)},
               {0x201, Movwf(0x06)},
               {0x202, Goto(0x202)},
               {0x300, Movwf(0x20)},
               {0x301, Goto(0x301)},
               {0x400, Goto(0x400)}},
              0, {0x300});
    EXPECT_TRUE(f.flow->Reached(0x200));
    EXPECT_EQ(f.Banks(0x201), (Banks{1, 3}));
    EXPECT_TRUE(f.flow->Reached(0x300));
    EXPECT_EQ(f.Banks(0x300).size(), 4u);
    EXPECT_FALSE(f.flow->Reached(0x400));
}

// A MOVWF PCL whose W comes from a variable goes where the constants stored
// into that variable lead, and nowhere where anything else may change it.
TEST(Flow, JumpThroughAVariableOfConstants) {
    constexpr unsigned kRam = 0x20;
    constexpr unsigned kTmr0 = 0x01;  // changed by the timer as well
    struct Case {
        const char* name;
        unsigned variable;
        std::map<unsigned, unsigned> elsewhere;  // words no path reaches
        bool followed;
    };
    const Case cases[] = {
        {"constants", kRam, {{0x40, Movlw(0x11)}, {0x41, Movwf(kRam)}, {0x42, kLoop}}, true},
        {"cleared", kRam, {{0x40, Clrf(kRam)}, {0x41, kLoop}}, true},
        {"counted", kRam, {{0x40, 0x0A80 | kRam}, {0x41, kLoop}}, false},  // INCF kRam,f
        {"unknown value", kRam, {{0x40, Movwf(kRam)}, {0x41, kLoop}}, false},
        {"written through FSR", kRam, {{0x40, Movwf(0x00)}, {0x41, kLoop}}, false},
        {"a timer", kTmr0, {}, false},
    };
    for (const Case& c : cases) {
        std::map<unsigned, unsigned> words = {
            {0, Movlw(0x10)}, {1, Movwf(c.variable)}, {2, 0x0800 | c.variable},  // MOVF variable,W
            {3, Movwf(0x02)},                                                    // MOVWF PCL
            {0x10, kLoop},    {0x11, kLoop}};
        words.insert(c.elsewhere.begin(), c.elsewhere.end());
        Fixture f(Core::Midrange, words);
        EXPECT_EQ(f.flow->Reached(0x10), c.followed) << c.name;
        EXPECT_EQ(f.flow->ReferencesTo(0x10) != nullptr, c.followed) << c.name;
        const bool eleven = c.followed && std::string_view(c.name) == "constants";
        EXPECT_EQ(f.flow->Reached(0x11), eleven) << c.name;
    }
}

}  // namespace
}  // namespace tolvek::source
