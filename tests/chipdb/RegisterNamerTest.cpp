// The indexed register naming must give the same characters as the plain line
// scans of the reference for every register address and bit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chipdb/ChipData.h"
#include "tests/TempDir.h"
#include "tests/chipdb/ReferenceNaming.h"

namespace tolvek {
namespace {

// Sections written to trip the matching rules: prefix keys, keys with leading
// zeros or lower case, empty names, ";" inside names, a key repeated on a later
// line, names longer than 20 characters, bit lines of prefix names, commas
// before the "%", pages 1 and 3 addressed beyond F, sections too short to hold
// the pages' start lines, bit lines standing before a page's start line.
const std::vector<std::vector<std::string>> kTrickySections = {
    {"<false,4>", "#0,A;1,AB;10,EMPTYNEXT;2,;3,X;Y;4,low;1f,LEAD;05,TWICE;6,AGAIN;6",
     "#0,LATER;1,NEW;7,SEMI;COLON;8,NOCOMMA;9", "#1,P1;80,P1B;8F,P1LONG;FF,P1X;A0,;81",
     "#2,P2;1,P2B;7F,P2C;40", "#3,P3;80,P3B;8,P3C;9F,P3D;FF", "%A,A0,A1,A2,A3,A4,A5,A6,A7",
     "%AB,B0,?,B2", "x,y%X;Y,XY0,XY1", "%P1,,?,", "%P1B,Q0,Q1,Q2,Q3,Q4,Q5,Q6,Q7,Q8", "%P3,R0",
     "%NOCOMMA", "%TWICE,T0", "%TWICE,T1", "%LATER,L0,L1,L2,L3,L4,L5,L6,?"},
    {"<false,2>", "#0,ABCDEFGHIJKLMNOPQRSTUVWXYZ;0,STATUS;3", "#1,STATUS;83,OPTION;81",
     "%ABCDEFGHIJKLMNOPQRSTUVWXYZ,Z0,Z1", "%ABCDEFGHIJKLMNOPQRST,T0,T1,T2", "%STATUS,C,DC,Z"},
    {"<true,1>", "#0,INDF;0,TMR0;1", "%TMR0,T0"},
    {"<false,4>", "%Q,E0", "%R,E1", "#1,Q;80", "#3,R;81,Q;80", "%R,L1", "%Q,L0"},
    {"<true,1>", "#0,INDF;0,TMR0;1"},
    {"<false,1>", "no RAM lines here", "%STATUS,C", "#9,ODD;1"},
    {},
};

std::vector<std::vector<std::string>> AllSections() {
    std::vector<std::vector<std::string>> sections = kTrickySections;
    ChipState chip;
    chip.LoadChipLines(
        testing::ReadFileBytes(std::string(TOLVEK_TEST_DATA) + "/naming-edges-chipdat.txt"));
    const std::vector<std::string> names = chip.ChipList();
    EXPECT_GE(names.size(), 8u);
    for (const std::string& name : names) {
        chip.SelectChip(name, nullptr);
        sections.push_back(chip.ChipInfo);
    }
    return sections;
}

TEST(RegisterNamer, EveryAddressAndBitMatchesTheLineScans) {
    for (const std::vector<std::string>& section : AllSections()) {
        ChipState chip;
        chip.ChipInfo = section;
        RegisterNamer& namer = chip.Naming();
        for (unsigned address = 0; address < RegisterNamer::kAddresses; ++address) {
            for (int bit = RegisterNamer::kNoBit; bit <= 7; ++bit) {
                const testing::ReferenceText plain =
                    testing::ReferenceOperand(section, address, bit);
                const RegisterNamer::Operand& fast = namer.Lookup(address, bit);
                const std::string where = section.empty() ? "(empty)" : section[0];
                EXPECT_EQ(fast.text, plain.text) << where << " " << address << " " << bit;
                EXPECT_EQ(fast.note, plain.note) << where << " " << address << " " << bit;
            }
        }
    }
}

TEST(RegisterNamer, FollowsChangesOfTheSection) {
    ChipState chip;
    chip.ChipInfo = {"<false,1>", "#0,FIRST;5", "%FIRST,F0"};
    EXPECT_EQ(chip.Naming().Lookup(5, 0).text, "FIRST,F0");
    chip.ChipInfo[1] = "#0,SECOND;5";
    chip.ChipInfo.push_back("%SECOND,S0");
    EXPECT_EQ(chip.Naming().Lookup(5, 0).text, "SECOND,S0");
    chip.ChipInfo.clear();
    EXPECT_EQ(chip.Naming().Lookup(5, 0).text, "0x05,0");
}

}  // namespace
}  // namespace tolvek
