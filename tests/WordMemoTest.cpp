// The per-pass word memo and the shared chip data text.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "chipdb/ChipData.h"
#include "run/WordMemo.h"

namespace tolvek {
namespace {

TEST(WordMemo, KeysOnlyWordsWhoseTextTheValueNames) {
    const struct {
        const char* word;
        int key;
    } cases[] = {
        {"0000", 0},  {"3FFF", 0x3FFF}, {"2A05", 0x2A05}, {"0A9F", 0x0A9F}, {"3fff", -1},
        {"0a9F", -1}, {"4000", -1},     {"FFFF", -1},     {"12G4", -1},     {"00 0", -1},
    };
    for (const auto& c : cases) {
        char word[4];
        std::copy(c.word, c.word + 4, word);
        EXPECT_EQ(WordMemo::Key(word), c.key) << c.word;
    }
}

TEST(WordMemo, RemembersWithinOnePassOnly) {
    WordMemo memo;
    memo.NewPass();
    std::string text = "GOTO ad0005";
    std::string note = "; ??? RAM Page X";
    DecodedWord decoded;
    decoded.text = text;
    decoded.ramPageNote = note;
    decoded.pageNote = true;
    decoded.jumpTarget = 5;
    DecodedWord result;
    EXPECT_FALSE(memo.Find(0x2805, result));
    memo.Store(0x2805, decoded);
    text = "the decoder's text is overwritten by the next word";
    decoded = DecodedWord{};
    decoded.text = "RETURN";
    decoded.blankAfter = true;
    memo.Store(0x0008, decoded);
    memo.Accept(0x0008);

    ASSERT_TRUE(memo.Find(0x2805, result));
    EXPECT_EQ(result.text, "GOTO ad0005");
    EXPECT_EQ(result.ramPageNote, "; ??? RAM Page X");
    EXPECT_TRUE(result.pageNote);
    EXPECT_FALSE(result.blankAfter);
    EXPECT_EQ(result.jumpTarget, 5);
    ASSERT_TRUE(memo.Find(0x0008, result));
    EXPECT_EQ(result.text, "RETURN");
    EXPECT_TRUE(result.blankAfter);
    EXPECT_TRUE(memo.Accepted(0x0008));
    EXPECT_FALSE(memo.Accepted(0x2805));

    memo.NewPass();
    EXPECT_FALSE(memo.Find(0x2805, result));
    EXPECT_FALSE(memo.Find(0x0008, result));
    EXPECT_FALSE(memo.Accepted(0x0008));
}

TEST(ChipData, CopiesKeepTheLoadedTextAlive) {
    auto original = std::make_unique<ChipState>();
    original->LoadChipLines(
        "[16F84]\r\n<False,1>\r\n#0,INDF;0,STATUS;3\n#1,STATUS;83\n%STATUS,C,DC,Z\r[end\n");
    ChipState copy = *original;
    original.reset();
    ASSERT_EQ(copy.ChipLines.size(), 6u);
    EXPECT_EQ(copy.ChipLines[2].text, "#0,INDF;0,STATUS;3");
    EXPECT_EQ(copy.ChipLines[4].text, "%STATUS,C,DC,Z");
    EXPECT_TRUE(copy.ChipLines[5].hasBracket);
    copy.SelectChip("16F84", nullptr);
    ASSERT_EQ(copy.ChipInfo.size(), 4u);
    EXPECT_EQ(copy.Naming().Lookup(3, 2).text, "STATUS,Z");
    EXPECT_EQ(copy.Naming().Lookup(3, 2).note, "; ??? RAM Page STATUS,Z");
}

}  // namespace
}  // namespace tolvek

namespace tolvek {
namespace {

TEST(ChipData, SplitsLinesAndFindsBracketsPastEarlierOnes) {
    ChipState chip;
    chip.LoadChipLines("x[\ry\r\nz[[\n\r[end\nlast");
    ASSERT_EQ(chip.ChipLines.size(), 6u);
    const char* texts[] = {"x[", "y", "z[[", "", "[end", "last"};
    const bool brackets[] = {true, false, true, false, true, false};
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(chip.ChipLines[i].text, texts[i]) << i;
        EXPECT_EQ(chip.ChipLines[i].hasBracket, brackets[i]) << i;
    }
}

TEST(ChipData, ListsChipsIgnoringCaseThenByTheirOwnText) {
    ChipState chip;
    chip.LoadChipLines("[b]\n<False,1>\n[B]\n[a]\n[A]\n[ab]\n[Ab]\n[aB]\n[a]\n[_x]\n[Zz]\n[end\n");
    const std::vector<std::string> expected = {"_x", "A",  "a", "a", "Ab",
                                               "aB", "ab", "B", "b", "Zz"};
    EXPECT_EQ(chip.ChipList(), expected);
}

}  // namespace
}  // namespace tolvek
