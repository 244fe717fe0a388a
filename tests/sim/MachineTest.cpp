// The machine model against the datasheets' instruction descriptions, and the
// checker against sources that say the wrong thing.
#include "sim/Machine.h"

#include <gtest/gtest.h>

#include <utility>

#include "sim/NameCheck.h"

namespace tolvek::sim {
namespace {

const devices::Device& Part(const std::string& name) {
    static std::map<std::string, devices::Device> parts;
    if (parts.count(name) == 0) {
        std::string error;
        auto device = devices::DeviceDb::LoadPart(TOLVEK_SHIPPED_DEVICES, name, error);
        EXPECT_TRUE(device) << error;
        parts[name] = device ? *device : devices::Device{};
    }
    return parts[name];
}

using Words = std::vector<std::pair<unsigned, unsigned>>;  // address, word

// Runs the words from reset until the program counter has been at `last`,
// and returns that word's step.
Step RunTo(const std::string& part, const Words& words, unsigned last) {
    const devices::Device& device = Part(part);
    std::vector<std::uint16_t> memory(device.programWords,
                                      static_cast<std::uint16_t>(isa::ErasedWord(device.core)));
    for (const auto& [address, word] : words) {
        memory[address] = static_cast<std::uint16_t>(word);
    }
    Machine m(device, memory, 7);
    m.PowerOn();
    Step step;
    for (int n = 0; n < 64 && m.Run(step); ++n) {
        if (step.address == last) {
            return step;
        }
    }
    ADD_FAILURE() << part << ": the word at " << last << " never ran";
    return step;
}

struct TransferCase {
    const char* what;
    const char* part;
    Words words;
    unsigned at;  // the transfer
    unsigned to;
};

TEST(Machine, GoesWhereTheCoreSends) {
    const TransferCase cases[] = {
        // bsf STATUS,PA1; goto 0x010: four pages of 512 words
        {"12-bit GOTO takes PA1", "16F57", {{0, 0x5C3}, {1, 0xA10}}, 1, 0x410},
        // bsf STATUS,PA0; call 0x10: the 12-bit CALL clears bit 8
        {"12-bit CALL takes PA0", "16F57", {{0, 0x5A3}, {1, 0x910}}, 1, 0x210},
        // movlw 1; sublw 9; movwf PCLATH; goto 0: SUBLW is k - W
        {"SUBLW into PCLATH",
         "16F877A",
         {{0, 0x3001}, {1, 0x3C09}, {2, 0x008A}, {3, 0x2800}},
         3,
         0x800},
        // movlw 0x18; movwf PCLATH; call 5
        {"14-bit CALL takes PCLATH<4:3>",
         "16F877A",
         {{0, 0x3018}, {1, 0x008A}, {2, 0x2005}},
         2,
         0x1805},
        // movlw 2; addwf PCL,f: PCL reads as the next word's address
        {"ADDWF PCL", "16F877A", {{0, 0x3002}, {1, 0x0782}}, 1, 0x004},
        // at 0x1F0: movlw 0x20; addwf PCL,f: the 12-bit core clears bit 8
        {"12-bit ADDWF PCL", "12F509", {{0, 0xBF0}, {0x1F0, 0xC20}, {0x1F1, 0x1E2}}, 0x1F1, 0x012},
        // bra -256 and bra +255 from 0x100
        {"BRA back", "16F1939", {{0, 0x2900}, {0x100, 0x3300}}, 0x100, 0x001},
        {"BRA forward", "16F1939", {{0, 0x2900}, {0x100, 0x32FF}}, 0x100, 0x200},
        // movlw 3; brw
        {"BRW", "16F1939", {{0, 0x3003}, {1, 0x000B}}, 1, 0x005},
        // movlp 0x12; movlw 0x34; callw
        {"CALLW", "16F1939", {{0, 0x3192}, {1, 0x3034}, {2, 0x000A}}, 2, 0x1234},
        // movlp 0x28; goto 7: the enhanced core's PCLATH<6:3>
        {"enhanced GOTO", "16F1939", {{0, 0x31A8}, {1, 0x2807}}, 1, 0x2807},
    };
    for (const TransferCase& c : cases) {
        const Step step = RunTo(c.part, c.words, c.at);
        ASSERT_TRUE(step.target.has_value()) << c.what;
        EXPECT_EQ(*step.target, c.to) << c.what;
    }
}

struct BankCase {
    const char* what;
    const char* part;
    Words words;
    unsigned at;
    unsigned data;  // the absolute data address the word uses
};

TEST(Machine, UsesTheBankTheCoreSelects) {
    const BankCase cases[] = {
        // bsf STATUS,RP0; bsf STATUS,RP1; movwf 0x06
        {"RP1:RP0", "16F877A", {{0, 0x1683}, {1, 0x1703}, {2, 0x0086}}, 2, 0x186},
        // movlw 0x60; movwf FSR; clrf 0x10: FSR<6:5> on the 12-bit core
        {"12-bit FSR bank", "16F57", {{0, 0xC60}, {1, 0x024}, {2, 0x070}}, 2, 0x070},
        // movlb 5; clrf 0x0C
        {"MOVLB", "16F1939", {{0, 0x0025}, {1, 0x018C}}, 1, 0x28C},
        // movlw 3; movwf BSR; clrf 0x20
        {"BSR through W", "16F1939", {{0, 0x3003}, {1, 0x0088}, {2, 0x01A0}}, 2, 0x1A0},
        // movlw 0xE0; sublw 0x00 gives 0x20; movwf STATUS; clrf 0x20: bank 1
        {"SUBLW into STATUS",
         "16F877A",
         {{0, 0x30E0}, {1, 0x3C00}, {2, 0x0083}, {3, 0x01A0}},
         3,
         0x0A0},
    };
    for (const BankCase& c : cases) {
        const Step step = RunTo(c.part, c.words, c.at);
        ASSERT_TRUE(step.data.has_value()) << c.what;
        EXPECT_EQ(*step.data, c.data) << c.what;
    }
}

TEST(Machine, SkipsAndReturns) {
    // movlw 1; call 4; goto $ / 4: addlw 0xFF; btfss STATUS,Z; return; retlw 9
    const Words words = {{0, 0x3001}, {1, 0x2004}, {2, 0x2802}, {4, 0x3EFF},
                         {5, 0x1D03}, {6, 0x0008}, {7, 0x3409}};
    const Step ret = RunTo("16F877A", words, 7);  // Z is set: the RETURN is skipped
    ASSERT_TRUE(ret.target.has_value());
    EXPECT_EQ(*ret.target, 2u);
}

TEST(Machine, StopsAtAWordThatIsNoInstruction) {
    const devices::Device& part = Part("16F877A");
    std::vector<std::uint16_t> memory(part.programWords, 0x3FFF);
    memory[0] = 0x0000;  // nop
    memory[1] = 0x0001;  // no instruction of the 14-bit core
    Machine m(part, memory, 3);
    m.PowerOn();
    Step step;
    EXPECT_TRUE(m.Run(step));
    EXPECT_FALSE(m.Run(step));
    EXPECT_EQ(m.Pc(), 1u);
}

// A source in the writer's form, checked against a trace made by hand.
struct SourceCase {
    const char* what;
    const char* body;
    Trace trace;
    std::vector<std::string> faults;  // texts the faults hold, in order
};

Trace Ran(std::map<unsigned, std::set<unsigned>> data,
          std::map<unsigned, std::set<unsigned>> targets) {
    Trace t;
    for (const auto& [a, _] : data) {
        t.ran.insert(a);
    }
    for (const auto& [a, _] : targets) {
        t.ran.insert(a);
    }
    t.ranFromVectors = t.ran;
    t.data = std::move(data);
    t.targets = std::move(targets);
    return t;
}

// A word that ran with these banks and page bits (PCLATH<6:3>) before it.
Trace Entered(unsigned address, std::set<std::pair<unsigned, unsigned>> states) {
    Trace t;
    t.ran.insert(address);
    t.entries[address] = std::move(states);
    return t;
}

TEST(NameCheck, NamesWhatDisagreesWithExecution) {
    const char* header =
        "        processor 16f877a\n"
        "TRISB           EQU     0x86\n"
        "STATUS          EQU     0x03\n"
        "counter         EQU     0x120\n"
        "        org     0x0000\n";
    const SourceCase cases[] = {
        {"a register in its bank",
         "        movwf   TRISB                   ; 0010\n",
         Ran({{0x10, {0x86}}}, {}),
         {}},
        {"a register in another bank",
         "        movwf   TRISB                   ; 0010\n",
         Ran({{0x10, {0x106}}}, {}),
         {"0010: `movwf   TRISB` names 0x086 TRISB, but the word ran in bank 2 on 0x106 (no "
          "name)"}},
        {"a register the same in every bank",
         "        bsf     STATUS, 5               ; 0010\n",
         Ran({{0x10, {0x183}}}, {}),
         {}},
        {"a named RAM location",
         "        incf    counter, f              ; 0010\n",
         Ran({{0x10, {0x1A0}}}, {}),
         {"names 0x120 counter, but the word ran in bank 3 on 0x1A0"}},
        {"an address with its bank",
         "        clrf    0xA0                    ; 0010\n",
         Ran({{0x10, {0x20}}}, {}),
         {"names 0x0A0 0xA0, but the word ran in bank 0 on 0x020"}},
        {"an address in bank 0 or an unknown one",
         "        clrf    0x20                    ; 0010\n",
         Ran({{0x10, {0xA0}}}, {}),
         {}},
        {"a jump",
         "        goto    label_0020              ; 0010\nlabel_0020:\n        nop     "
         "                        ; 0020\n",
         Ran({}, {{0x10, {0x820}}}),
         {"0010: `goto    label_0020` names 0020 label_0020, but the word went to 0820 (no "
          "label)"}},
        {"a cross-reference",
         "        bra     $+.3                    ; 0010\n        nop  "
         "                           ; 0011\nlabel_0012:  ; jumped to from "
         "0010\n        nop                             ; 0012\n",
         Ran({}, {{0x10, {0x13}}}),
         {"0010: label_0012 (0012) says it is reached from 0010, but the word went to 0013"}},
        {"a function entered in its bank and page",
         "; function called from 0002; on entry: bank 1, page 0\nfunction_0010:  ; called from "
         "0002\n        nop                             ; 0010\n",
         Entered(0x10, {{1, 0}, {1, 4}}),
         {}},
        {"a function entered in another bank",
         "; function called from 0002; on entry: bank 1, page 0\nfunction_0010:  ; called from "
         "0002\n        nop                             ; 0010\n",
         Entered(0x10, {{1, 0}, {2, 0}}),
         {"0010: the source says on entry bank 1, page 0, but the word ran with bank 2, page 0"}},
        {"a function entered with other page bits",
         "; function called from 0002; on entry: bank unknown, page 1\nfunction_0010:  ; called "
         "from 0002\n        nop                             ; 0010\n",
         Entered(0x10, {{3, 2}}),
         {"0010: the source says on entry page 1, but the word ran with bank 3, page 2"}},
        {"a word the source calls unreached",
         "; not reached by any path from the vectors\n        clrf    0x20                    ; "
         "0010\n",
         Ran({{0x10, {0x20}}}, {}),
         {"0010: ran, but the source says no path from the vectors reaches it"}},
    };
    for (const SourceCase& c : cases) {
        const std::vector<std::string> faults =
            CheckSource(Part("16F877A"), c.trace, std::string(header) + c.body);
        ASSERT_EQ(faults.size(), c.faults.size()) << c.what << (faults.empty() ? "" : faults[0]);
        for (std::size_t i = 0; i < faults.size(); ++i) {
            EXPECT_NE(faults[i].find(c.faults[i]), std::string::npos)
                << c.what << ": " << faults[i];
        }
    }
}

TEST(NameCheck, FindsWhereUnreachedCodeBegins) {
    const Reach reach = ReachOf(
        "        org     0x0000\n"
        "        goto    label_0003              ; 0000\n"
        "; not reached by any path from the vectors\n"
        "        clrf    0x20                    ; 0001\n"
        "        clrf    0x21                    ; 0002\n"
        "\n        org     0x0003\n"
        "label_0003:  ; jumped to from 0000\n"
        "        goto    label_0003              ; 0003\n"
        "\n        org     0x0010\n"
        "; not reached by any path from the vectors\n"
        "        return                          ; 0010\n");
    EXPECT_EQ(reach.starts, (std::vector<unsigned>{0x01, 0x10}));
    EXPECT_EQ(reach.unreached, (std::set<unsigned>{0x01, 0x02, 0x10}));
    EXPECT_EQ(reach.reached, (std::set<unsigned>{0x00, 0x03}));
}

}  // namespace
}  // namespace tolvek::sim
