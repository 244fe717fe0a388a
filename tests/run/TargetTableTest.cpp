#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "run/TargetTable.h"

namespace tolvek {
namespace {

std::string Column(const TargetTable& table, unsigned wordAddress) {
    char column[12];
    return std::string(column, table.WriteLabelColumn(column, wordAddress));
}

std::string Note(int target, int pages) {
    char note[kMaxPageNote];
    return std::string(note, WritePageNote(note, target, pages));
}

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
        std::array<int, 3> alternatives{};
        const std::size_t count = PageAlternatives(c.target, c.pages, alternatives);
        EXPECT_EQ(std::vector<int>(alternatives.begin(), alternatives.begin() + count),
                  c.alternatives)
            << c.target;
    }
    EXPECT_EQ(Note(5, 1), "");
    EXPECT_EQ(Note(5, 2), "; ??? Duplicate ROM - ad0805");
    EXPECT_EQ(Note(7167, 4), "; ??? Duplicate ROM - ad03FF, ad0BFF, ad13FF");
    EXPECT_LE(Note(6144, 4).size(), kMaxPageNote);
}

TEST(TargetTable, TargetAndAlternativesGetLabels) {
    TargetTable table;
    EXPECT_TRUE(table.TestForDup(5, 5, 4));
    EXPECT_EQ(Column(table, 0x0005), "ad0005      ");
    EXPECT_EQ(Column(table, 0x0805), "ad0805      ");
    EXPECT_EQ(Column(table, 0x1005), "ad1005      ");
    EXPECT_EQ(Column(table, 0x1805), "ad1805      ");
    EXPECT_EQ(Column(table, 0x0006), "            ");
    EXPECT_EQ(Column(table, 0x10006), "            ");
    table.Clear();
    EXPECT_EQ(Column(table, 0x0005), "            ");
}

TEST(TargetTable, CapacityByRomPages) {
    // a target counts with its alternatives; one first recorded as an
    // alternative adds nothing
    const struct {
        int pages;
        int accepted;
    } cases[] = {{1, 2996}, {2, 1498}, {4, 749}};
    for (const auto& c : cases) {
        TargetTable table;
        int accepted = 0;
        for (int t = 0; t < 4096 && table.TestForDup(static_cast<unsigned>(t), t, c.pages); ++t) {
            ++accepted;
        }
        EXPECT_EQ(accepted, c.accepted) << c.pages;
        // once full, even a known target is refused
        EXPECT_FALSE(table.TestForDup(0, 0, c.pages));
        table.Clear();
        EXPECT_TRUE(table.TestForDup(0, 0, c.pages));
    }
    // a target already recorded as an alternative takes no room
    TargetTable table;
    for (int t = 0; t < 748; ++t) {
        ASSERT_TRUE(table.TestForDup(static_cast<unsigned>(t), t, 4));
        ASSERT_TRUE(table.TestForDup(static_cast<unsigned>(t + 2048), t + 2048, 4));
    }
    EXPECT_TRUE(table.TestForDup(748, 748, 4));
    EXPECT_FALSE(table.TestForDup(748, 748, 4));
}

}  // namespace
}  // namespace tolvek
