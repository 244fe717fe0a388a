// The Intel-hex reader of the source path: what the standard allows is read,
// every fault stops the reading with its line and reason.
#include <gtest/gtest.h>

#include "image/HexImage.h"

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

}  // namespace
}  // namespace tolvek::image
