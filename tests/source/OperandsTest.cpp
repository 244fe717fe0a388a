// The data memory each register operand touches: certain where the flow knows
// the bank, every bank it may be in otherwise, one address for a location all
// banks share; and the names a user may give.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "source/Operands.h"
#include "source/Symbols.h"

namespace tolvek::source {
namespace {

devices::Device Midrange() {
    devices::Device d;
    d.name = "TEST";
    d.programWords = 0x800;
    d.bankCount = 4;
    d.bankSize = 0x80;
    d.interruptVector = 0x700;
    d.unbanked = {{0x70, 0x7F}};
    devices::Register status;
    status.address = 3;
    status.name = "STATUS";
    status.bits[5] = "RP0";
    d.registers.push_back(status);
    d.config.push_back({0x2007, "", 0x3FFF, {{"_CP_ON", 0x10, 0}}});
    return d;
}

std::vector<DataAccess> AccessesOf(const devices::Device& device,
                                   const std::map<unsigned, unsigned>& words) {
    Program program;
    program.device = &device;
    program.core = device.core;
    program.words.assign(device.programWords, 0x3FFF);
    program.present.assign(device.programWords, false);
    for (const auto& [address, word] : words) {
        program.words[address] = static_cast<std::uint16_t>(word);
        program.present[address] = true;
    }
    Flow flow(program);
    flow.Run();
    return DataAccesses(program, flow);
}

TEST(Operands, AccessesAreCertainOnlyWhereTheBankIsKnown) {
    using K = DataAccess::Kind;
    const devices::Device device = Midrange();
    // the routine at 7 runs in bank 0 and in bank 1
    const std::vector<DataAccess> got = AccessesOf(device, {
                                                               {0, 0x01A0},  // clrf 0x20
                                                               {1, 0x2007},  // call 7
                                                               {2, 0x1683},  // bsf STATUS, RP0
                                                               {3, 0x2007},  // call 7
                                                               {4, 0x00F1},  // movwf 0x71
                                                               {5, 0x1520},  // bsf 0x20, 2
                                                               {6, 0x2806},  // goto 6
                                                               {7, 0x0820},  // movf 0x20, w
                                                               {8, 0x0008},  // return
                                                           });
    const std::vector<DataAccess> want = {
        {0, 0x020, K::Write, true}, {2, 0x003, K::Bit, true},   {4, 0x071, K::Write, true},
        {5, 0x0A0, K::Bit, true},   {7, 0x020, K::Read, false}, {7, 0x0A0, K::Read, false},
    };
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(got[i].word, want[i].word) << i;
        EXPECT_EQ(got[i].address, want[i].address) << i;
        EXPECT_EQ(got[i].kind, want[i].kind) << i;
        EXPECT_EQ(got[i].certain, want[i].certain) << i;
    }
    EXPECT_EQ(CanonicalAddress(device, 0xF1), 0x71u);
    EXPECT_EQ(CanonicalAddress(device, 0xA0), 0xA0u);
}

TEST(Operands, NamesTheNextRunRefuses) {
    const devices::Device device = Midrange();
    struct Case {
        const char* name;
        bool withPart;     // refused for the part
        bool withoutPart;  // refused without one
    };
    const Case cases[] = {
        {"counter", false, false}, {"status", true, false},    {"RP0", true, false},
        {"_CP_ON", true, false},   {"skpz", true, true},       {"movwf", true, true},
        {"A", true, true},         {"label_0040", true, true}, {"2fast", true, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(!NameFault(c.name, &device).empty(), c.withPart) << c.name;
        EXPECT_EQ(!NameFault(c.name, nullptr).empty(), c.withoutPart) << c.name;
    }
}

}  // namespace
}  // namespace tolvek::source
