// The flow analysis on small hand-made programs: what it knows of the bank and
// page registers where paths join, over calls, at the interrupt vector, and
// where each CALL, GOTO and branch goes.
#include <gtest/gtest.h>

#include <initializer_list>
#include <map>

#include "source/Flow.h"

namespace tolvek::source {
namespace {

using isa::Core;

// The interrupt vector lies away from the small programs of the tests.
constexpr unsigned kIsr = 0xF00;

devices::Device MakeDevice(Core core) {
    devices::Device d;
    d.core = core;
    d.name = "TEST";
    d.programWords = core == Core::Baseline ? 0x800 : 0x1000;
    d.bankCount = core == Core::Enhanced ? 32 : 4;
    d.bankSize = core == Core::Baseline ? 0x20 : 0x80;
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

    Fixture(Core core, std::map<unsigned, unsigned> words) : device(MakeDevice(core)) {
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
        flow->Run();
    }
    // The banks a register operand at address may be in.
    std::vector<unsigned> Banks(unsigned address) const {
        return Flow::Banks(device, flow->Before(address));
    }
};

// 14-bit encodings
constexpr unsigned Movlw(unsigned k) {
    return 0x3000 | k;
}
constexpr unsigned Movwf(unsigned f) {
    return 0x0080 | f;
}
constexpr unsigned Bsf(unsigned f, unsigned b) {
    return 0x1400 | b << 7 | f;
}
constexpr unsigned Bcf(unsigned f, unsigned b) {
    return 0x1000 | b << 7 | f;
}
constexpr unsigned Btfsc(unsigned f, unsigned b) {
    return 0x1800 | b << 7 | f;
}
constexpr unsigned Call(unsigned k) {
    return 0x2000 | k;
}
constexpr unsigned Goto(unsigned k) {
    return 0x2800 | k;
}
constexpr unsigned Clrf(unsigned f) {
    return 0x0180 | f;
}
constexpr unsigned AddwfPcl() {
    return 0x0782;
}
constexpr unsigned Retlw(unsigned k) {
    return 0x3400 | k;
}
constexpr unsigned kReturn = 0x0008;
constexpr unsigned kNop = 0x0000;
constexpr unsigned kStatus = 3;
constexpr unsigned kPclath = 0x0A;
constexpr unsigned kLoop = Goto(0x7FF);  // somewhere absent: the path ends

using Banks = std::vector<unsigned>;

TEST(Flow, PathsThatMeetKeepOnlyWhatBothKnow) {
    Fixture f(Core::Midrange, {{0, Bcf(kStatus, 6)},
                               {1, Bcf(kStatus, 5)},
                               {2, Btfsc(0x20, 0)},
                               {3, Bsf(kStatus, 5)},
                               {4, Movwf(0x06)}});
    EXPECT_EQ(f.Banks(2), (Banks{0}));
    EXPECT_EQ(f.Banks(4), (Banks{0, 1}));  // RP0 either way, RP1 clear on both
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

TEST(Flow, InterruptVectorStartsWithNothingKnown) {
    Fixture f(Core::Midrange, {{0, Clrf(kStatus)},
                               {1, Goto(kIsr)},
                               {kIsr, Movwf(0x06)},
                               {kIsr + 1, Clrf(kStatus)},
                               {kIsr + 2, Movwf(0x06)},
                               {kIsr + 3, 0x0009}});
    EXPECT_EQ(f.Banks(kIsr), (Banks{0, 1, 2, 3}));  // also reached from 0001 in bank 0
    EXPECT_EQ(f.Banks(kIsr + 2), (Banks{0}));
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
        std::map<unsigned, unsigned> words;
        unsigned a = 0;
        for (const unsigned w : c.setup) {
            words[a++] = w;
        }
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

TEST(Flow, ComputedJumpTablesAreFollowed) {
    Fixture f(Core::Midrange, {{0, Movlw(0x01)},
                               {1, Movwf(kPclath)},
                               {2, Goto(0x100)},
                               {0x100, Movwf(0x20)},
                               {0x101, 0x0820},  // MOVF 0x20,w: W unknown
                               {0x102, AddwfPcl()},
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
    EXPECT_EQ(f.Banks(kIsr).size(), 32u);  // BSR unknown at the interrupt vector
    EXPECT_EQ(f.Banks(kIsr + 2), (Banks{1}));
}

TEST(Flow, BaselineFsrBanksAndPageBits) {
    Fixture f(Core::Baseline, {{0x7FF, 0xC00 | 0x40},    // the calibration word, then 0
                               {0, 0x504 | 5 << 5},      // BSF FSR,5
                               {1, 0x400 | 6 << 5 | 4},  // BCF FSR,6
                               {2, 0x020 | 0x10},        // MOVWF 0x10: bank 1
                               {3, 0x500 | 5 << 5 | 3},  // BSF STATUS,PA0
                               {4, 0xA00 | 0x023},       // GOTO -> 0x223
                               {0x223, kNop}});
    EXPECT_TRUE(f.flow->Reached(0));
    EXPECT_EQ(f.Banks(2), (Banks{1}));
    EXPECT_EQ(f.flow->TargetOf(4), 0x223u);
}

}  // namespace
}  // namespace tolvek::source
