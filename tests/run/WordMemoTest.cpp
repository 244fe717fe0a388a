// The per-pass word memo.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

    ASSERT_TRUE(memo.Find(0x2805, result));
    EXPECT_EQ(result.text, "GOTO ad0005");
    EXPECT_EQ(result.ramPageNote, "; ??? RAM Page X");
    EXPECT_TRUE(result.pageNote);
    EXPECT_FALSE(result.blankAfter);
    EXPECT_EQ(result.jumpTarget, 5);
    ASSERT_TRUE(memo.Find(0x0008, result));
    EXPECT_EQ(result.text, "RETURN");
    EXPECT_TRUE(result.blankAfter);

    memo.NewPass();
    EXPECT_FALSE(memo.Find(0x2805, result));
    EXPECT_FALSE(memo.Find(0x0008, result));
}

}  // namespace
}  // namespace tolvek
