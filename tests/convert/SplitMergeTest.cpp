#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/Conversions.h"
#include "convert/SplitMerge.h"
#include "tests/TempDir.h"

namespace tolvek {
namespace {

using testing::TempDir;

TEST(SplitMerge, NamesFollowTheBaseNameRule) {
    EXPECT_EQ(PartnerFileName("dir/prog.obl"), "dir/prog.hxh");
    EXPECT_EQ(MergedName("dir/prog.obl"), "dir/prog.dsm");
    EXPECT_EQ(PartnerFileName("C:\\x.y\\a.b.hxl"), "C:\\x.y\\a.hxh");
    EXPECT_EQ(MergedName("a.b.hxl"), "a.dsm");
}

TEST(SplitMerge, PairConversion) {
    const struct {
        const char* low;
        const char* high;
        bool ok;
        const char* first;
        const char* second;
    } cases[] = {
        {":020010000A0B00", ":02001000283000", true, "040020000A280B30XX", ""},
        {":02001000GG0B00", ":02007000283000", true, "0400E000GG280B30XX", ""},  // high address
        {":010000000A0", ":01000000280", false, "", ""},                         // odd data
        {"x020010000A0B00", ":02001000283000", false, "", ""},
        {":0100000001FF", ":0100000002FF", true, "020000000102XX", ""},
        {":09000000010203040506070809FF", ":090000001112131415161718190F", true,
         "1000000001110212031304140515061607170818XX", "020010000919XX"},
    };
    for (const auto& c : cases) {
        MergeState state;
        EXPECT_EQ(ConvertSplitToSingle(c.high, c.low, state), c.ok) << c.low;
        if (c.ok) {
            EXPECT_EQ(state.FirstMergedRecord, c.first) << c.low;
            EXPECT_EQ(state.SecondMergedRecord, c.second) << c.low;
        }
    }
}

TEST(SplitMerge, AddressesBeyondFourDigitsFail) {
    MergeState state;
    EXPECT_FALSE(ConvertSplitToSingle(":02800000283000", ":028000000A0B00", state));
    const std::string sixteen(32, '0');
    EXPECT_FALSE(
        ConvertSplitToSingle(":107FF800" + sixteen + "00", ":107FF800" + sixteen + "00", state));
    EXPECT_TRUE(
        ConvertSplitToSingle(":107FF000" + sixteen + "00", ":107FF000" + sixteen + "00", state));
    EXPECT_EQ(state.SecondMergedRecord.substr(0, 6), "10FFF0");
}

TEST(SplitMerge, WholePairs) {
    // kept alive for the whole table: a temporary's c_str() would dangle
    const std::string line44 = ":10000000" + std::string(35, '0') + "\n";
    const struct {
        const char* name;
        const char* low;
        const char* high;
        bool ok;
        const char* merged;
    } cases[] = {
        {"worked example", ":020010000A0B00\r\n:00000001FF\r\n",
         ":02001000283000\r\n:00000001FF\r\n", true, ":040020000A280B30XX\r\n:00000001FF\r\n"},
        {"end lines of any content", ":0000000000\n:0100000001FF\n", ":zzzzzzzzzz\n", true,
         ":00000001FF\r\n"},
        {"no end lines", ":020010000A0B00\n", ":02001000283000\n", false,
         ":040020000A280B30XX\r\n"},
        {"one file longer", ":020010000A0B00\n:020010000A0B00\n:00000001FF\n",
         ":02001000283000\n:00000001FF\n", false, ":040020000A280B30XX\r\n"},
        {"line of 44", ":00000001FF\n", line44.c_str(), false, ""},
        {"short line", ":0000\n", ":0000\n", false, ""},
        {"empty files", "", "", false, ""},
    };
    for (const auto& c : cases) {
        TempDir dir;
        dir.Write("p.hxl", c.low);
        dir.Write("p.hxh", c.high);
        MergeState state;
        EXPECT_EQ(ConvertSplitHexToHex(dir.Path("p.hxl"), state), c.ok) << c.name;
        EXPECT_FALSE(state.io) << c.name;
        EXPECT_EQ(state.MergedFileName, dir.Path("p.dsm"));
        EXPECT_EQ(dir.Read("p.dsm"), c.merged) << c.name;
    }
}

TEST(SplitMerge, AChosenFileNamedLikeTheMergedFileIsKept) {
    TempDir dir;
    dir.Write("p.dsm", ":00000001FF\n");
    dir.Write("p.hxh", ":00000001FF\n");
    MergeState state;
    EXPECT_FALSE(ConvertSplitHexToHex(dir.Path("p.dsm"), state));
    EXPECT_TRUE(state.io);
    EXPECT_EQ(dir.Read("p.dsm"), ":00000001FF\n");
}

TEST(SplitMerge, MissingChosenFileIsAnInputError) {
    TempDir dir;
    MergeState state;
    EXPECT_FALSE(ConvertSplitHexToHex(dir.Path("none.hxl"), state));
    EXPECT_TRUE(state.io);
    EXPECT_NE(state.io.Message().find("none.hxl"), std::string::npos);
    EXPECT_NE(state.io.Message().find("No such file"), std::string::npos);
}

}  // namespace
}  // namespace tolvek
