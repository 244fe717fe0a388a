#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run/TargetTable.h"

namespace tolvek {
namespace {

TEST(TargetTable, PageAlternativesByRomPages) {
    const struct {
        int target;
        int pages;
        std::vector<int> alternatives;
    } cases[] = {
        {5, 1, {}},
        {5, 3, {}},
        {5, 2, {2053}},
        {2053, 2, {5}},
        {5000, 2, {2952}},
        {5, 4, {2053, 4101, 6149}},
        {2053, 4, {5, 4101, 6149}},
        {4101, 4, {5, 2053, 6149}},
        {6149, 4, {5, 2053, 4101}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PageAlternatives(c.target, c.pages), c.alternatives) << c.target;
    }
    EXPECT_EQ(PageNote(5, 1), "");
    EXPECT_EQ(PageNote(5, 2), "; ??? Duplicate ROM - ad0805");
    EXPECT_EQ(PageNote(5, 4), "; ??? Duplicate ROM - ad0805, ad1005, ad1805");
}

TEST(TargetTable, TargetAndAlternativesAreRecordedOnce) {
    TargetTable table;
    EXPECT_TRUE(table.TestForDup("ad0005", 5, 4));
    EXPECT_EQ(table.TargetCount(), 4);
    EXPECT_TRUE(table.TestForDup("ad0005", 5, 4));
    EXPECT_EQ(table.TargetCount(), 4);
    // a target first recorded as an alternative adds nothing
    EXPECT_TRUE(table.TestForDup("ad0805", 2053, 4));
    EXPECT_EQ(table.TargetCount(), 4);
    EXPECT_EQ(table.ScanGotoCalls("ad1805"), "ad1805      ");
    EXPECT_EQ(table.ScanGotoCalls("ad0006"), "            ");
    std::string column;
    table.AppendLabelColumn(column, 0x1005);
    EXPECT_EQ(column, "ad1005      ");
}

TEST(TargetTable, AlternativesAreStoredWithoutASearch) {
    TargetTable table;
    EXPECT_TRUE(table.TestForDup("ad0805", 2053, 2));  // stores ad0805 and ad0005
    EXPECT_TRUE(table.TestForDup("ad0006", 6, 2));
    EXPECT_TRUE(table.TestForDup("ad0805", 2053, 2));
    EXPECT_EQ(table.TargetCount(), 4);
    EXPECT_EQ(table.Entry(1), "ad0005");
}

TEST(TargetTable, CapacityByRomPages) {
    const struct {
        int pages;
        int accepted;
    } cases[] = {{1, 2996}, {2, 1498}, {4, 749}};
    for (const auto& c : cases) {
        TargetTable table;
        int accepted = 0;
        for (int t = 0;
             t < 4096 && table.TestForDup(TargetLabel(static_cast<unsigned>(t)), t, c.pages); ++t) {
            ++accepted;
        }
        EXPECT_EQ(accepted, c.accepted) << c.pages;
        EXPECT_LE(table.TargetCount(), 2999);
        // once full, even a known target is refused
        EXPECT_FALSE(table.TestForDup("ad0000", 0, c.pages));
        table.Clear();
        EXPECT_EQ(table.TargetCount(), 0);
        EXPECT_EQ(table.ScanGotoCalls("ad0000"), std::string(12, ' '));
    }
}

}  // namespace
}  // namespace tolvek
