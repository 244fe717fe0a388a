// The Intel-hex reader of the source path: what the standard allows is read,
// every fault stops the reading with its line and reason.
#include <gtest/gtest.h>

#include "image/HexImage.h"
#include "tests/TempDir.h"

namespace tolvek::image {
namespace {

TEST(IntelHex, ReadsAnyByteCountAndExtendedAddresses) {
    // 3 data bytes; then 04 to 0x0001xxxx (enhanced config at word 0x8007); 02 segment form
    const std::string text =
        ":03000000010203F7\n"
        ":020000040001F9\r\n"
        ":02000E00E43FCD\n"
        ":020000021000EC\n"
        ":01000000AA55\n"
        ":00000001FF\n"
        "garbage after the end is not read\n";
    Image image;
    ReadError error;
    ASSERT_TRUE(ParseIntelHex(text, image, error)) << error.reason;
    EXPECT_EQ(image.Byte(2, 0), 0x03u);
    unsigned word = 0;
    ASSERT_TRUE(image.Word(0x8007, word));
    EXPECT_EQ(word, 0x3FE4u);
    EXPECT_EQ(image.Byte(0x10000, 0), 0xAAu);
    EXPECT_EQ(image.Count(), 6u);
}

TEST(IntelHex, FaultsNameTheLineAndReason) {
    struct Case {
        const char* text;
        std::size_t line;
        const char* reason;
    };
    const Case cases[] = {
        {":0100000001FE\n:0100000001FF\n:00000001FF\n", 2, "checksum"},
        {":0200000001FD\n:00000001FF\n", 1, "byte count"},
        {"0100000001FE\n", 1, "':'"},
        {":01000000G1FE\n", 1, "hex byte"},
        {":0100000001F\n", 1, "odd"},
        {":00000007F9\n", 1, "record type 07"},
        {":0300000400010AEE\n", 1, "extended address"},
        {":0100000001FE\n", 1, "end-of-file"},
        {"", 0, "end-of-file"},
    };
    for (const Case& c : cases) {
        Image image;
        ReadError error;
        EXPECT_FALSE(ParseIntelHex(c.text, image, error)) << c.text;
        EXPECT_EQ(error.line, c.line) << c.text;
        EXPECT_NE(error.reason.find(c.reason), std::string::npos)
            << c.text << " -> " << error.reason;
    }
}

TEST(IntelHex, AddressesPastThePartsAreCountedNotStored) {
    Image image;
    ReadError error;
    ASSERT_TRUE(ParseIntelHex(":02000004FFFFFC\n:01000000AA55\n:00000001FF\n", image, error));
    EXPECT_EQ(image.Count(), 0u);
    EXPECT_EQ(image.BeyondCount(), 1u);
    EXPECT_EQ(image.FirstBeyond(), 0xFFFF0000u);
}

// The words 0x10 to 0x12 hold 0x3012, 0x0086, 0x2855, as a classic pair (word
// addresses) and as gpasm writes one (twice the word address).
TEST(IntelHex, SplitPairsInBothForms) {
    const struct {
        const char* name;
        const char* low;
        const char* high;
    } cases[] = {
        {"word addresses", ":02001000128656\n:010012005598\n:00000001FF\n",
         ":020010003000BE\n:0100120028C5\n:00000001FF\n"},
        {"twice the word addresses", ":02002000128646\n:010024005586\n:00000001FF\n",
         ":020020003000AE\n:0100240028B3\n:00000001FF\n"},
    };
    for (const auto& c : cases) {
        tolvek::testing::TempDir dir;
        dir.Write("p.hxl", c.low);
        dir.Write("p.hxh", c.high);
        Image image;
        ReadError error;
        ASSERT_TRUE(ReadSplitPair(dir.Path("p.hxl"), dir.Path("p.hxh"), image, error))
            << c.name << ": " << error.reason;
        const unsigned expected[] = {0x3012, 0x0086, 0x2855};
        for (unsigned i = 0; i < 3; ++i) {
            unsigned word = 0;
            ASSERT_TRUE(image.Word(0x10 + i, word)) << c.name;
            EXPECT_EQ(word, expected[i]) << c.name;
        }
    }
}

}  // namespace
}  // namespace tolvek::image
