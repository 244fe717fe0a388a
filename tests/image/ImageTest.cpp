// The Intel-hex reader of the source path: what the standard allows is read,
// every fault stops the reading with its line and reason.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

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
        "\n"
        ":0400000300000100F8 \t\n"  // start addresses mean nothing here
        ":04000005000001F006\n"
        ":01000000BB44\n"  // a later record for the same address wins
        ":00000001FF\n"
        "garbage after the end is not read\n";
    Image image;
    ReadError error;
    ASSERT_TRUE(ParseIntelHex(text, image, error)) << error.reason;
    EXPECT_EQ(image.Byte(2, 0), 0x03u);
    unsigned word = 0;
    ASSERT_TRUE(image.Word(0x8007, word));
    EXPECT_EQ(word, 0x3FE4u);
    EXPECT_EQ(image.Byte(0x10000, 0), 0xBBu);
    EXPECT_EQ(image.Count(), 6u);
}

TEST(IntelHex, FaultsNameTheLineAndReason) {
    struct Case {
        std::string text;
        std::size_t line;
        const char* reason;
    };
    const Case cases[] = {
        {":0100000001FE\n:0100000001FF\n:00000001FF\n", 2,
         "checksum FF is wrong (the record's bytes call for FE)"},
        {":0200000001FD\n:00000001FF\n", 1, "the byte count says 2 data bytes, the record has 1"},
        {":01000000010203F9\n:00000001FF\n", 1,
         "the byte count says 1 data bytes, the record has 3"},
        {"0100000001FE\n", 1, "a record must start with ':'"},
        {":01000000G1FE\n", 1, "'G1' is not a hex byte"},
        {":0100000001F\n", 1, "the record has an odd number of hex digits"},
        {":00000001F\n", 1, "the record is too short"},
        {":" + std::string(2 * 261, '0') + "\n", 1, "longer than 255 data bytes"},
        {":00000007F9\n", 1, "unknown record type 07"},
        {":0300000400010AEE\n", 1, "an extended address record holds 2 data bytes, this one 3"},
        {":0100000001FE\n\n", 2, "end-of-file record (:00000001FF)"},
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
    // the lowest address comes last
    ASSERT_TRUE(ParseIntelHex(
        ":02000004FFFFFC\n:01000000AA55\n:020000040002F8\n:01001000BB34\n:00000001FF\n", image,
        error));
    EXPECT_EQ(image.Count(), 0u);
    EXPECT_EQ(image.BeyondCount(), 2u);
    EXPECT_EQ(image.FirstBeyond(), 0x20010u);
}

// Reads the pair of files p.hxl and p.hxh holding low and high.
bool ReadPair(const char* low, const char* high, Image& image, ReadError& error) {
    tolvek::testing::TempDir dir;
    dir.Write("p.hxl", low);
    dir.Write("p.hxh", high);
    return ReadSplitPair(dir.Path("p.hxl"), dir.Path("p.hxh"), image, error);
}

// INHX8S pairs in both forms: addresses counting words (the classic form) and
// twice the word address (what gpasm -a inhx8s writes; these pairs are its
// output for 16F84A programs of MOVLW 0x12, MOVWF 0x06, GOTO 0x55 and NOPs).
TEST(IntelHex, SplitPairsInBothForms) {
    const struct {
        const char* name;
        const char* low;
        const char* high;
        std::vector<std::pair<unsigned, unsigned>> words;  // some of the words
        std::size_t bytes = 0;                             // all of them; 0: the words above
    } cases[] = {
        {"gpasm, one record each (ORG 0x10)",
         ":03002000128655F0\n:00000001FF\n",
         ":0300200030002885\n:00000001FF\n",
         {{0x10, 0x3012}, {0x11, 0x0086}, {0x12, 0x2855}}},
        {"gpasm, records with gaps and a config word",
         ":02002000128646\n:01004000556A\n:01400E00F1C0\n:00000001FF\n",
         ":020020003000AE\n:010040002897\n:01400E003F72\n:00000001FF\n",
         {{0x10, 0x3012}, {0x11, 0x0086}, {0x20, 0x2855}, {0x2007, 0x3FF1}}},
        {"gpasm, records in sequence (ORG 3)",
         ":0D0006001286000000000000000000000055\n:0300200000005588\n:00000001FF\n",
         ":0D00060030000000000000000000000000BD\n:03002000000028B5\n:00000001FF\n",
         {{0x03, 0x3012}, {0x04, 0x0086}, {0x0F, 0x0000}, {0x10, 0x0000}, {0x12, 0x2855}},
         32},
        {"words, records in sequence",
         ":02001000128656\n:010012005598\n:00000001FF\n",
         ":020010003000BE\n:0100120028C5\n:00000001FF\n",
         {{0x10, 0x3012}, {0x11, 0x0086}, {0x12, 0x2855}}},
        {"words, one record each at an odd address",
         ":03001100128655FF\n:00000001FF\n",
         ":0300110030002894\n:00000001FF\n",
         {{0x11, 0x3012}, {0x12, 0x0086}, {0x13, 0x2855}}},
        {"words, a config word at 2007h",
         ":0300100012865500\n:01200700F1E7\n:00000001FF\n",
         ":0300100030002895\n:012007003F99\n:00000001FF\n",
         {{0x10, 0x3012}, {0x12, 0x2855}, {0x2007, 0x3FF1}},
         8},
        {"words, records that would overlap doubled",
         ":0300100012865500\n:0100140012D9\n:00000001FF\n",
         ":0300100030002895\n:0100140030BB\n:00000001FF\n",
         {{0x10, 0x3012}, {0x12, 0x2855}, {0x14, 0x3012}},
         8},
    };
    for (const auto& c : cases) {
        Image image;
        ReadError error;
        ASSERT_TRUE(ReadPair(c.low, c.high, image, error)) << c.name << ": " << error.reason;
        EXPECT_EQ(image.Count(), c.bytes != 0 ? c.bytes : 2 * c.words.size()) << c.name;
        for (const auto& [address, expected] : c.words) {
            unsigned word = 0;
            EXPECT_TRUE(image.Word(address, word) && word == expected)
                << c.name << ": word " << std::hex << address << " should be " << expected
                << ", is " << (image.Word(address, word) ? word : 0xFFFFFu)
                << " (read as the other form?)";
        }
    }
}

TEST(IntelHex, AFaultInAPairNamesItsFile) {
    const struct {
        const char* low;
        const char* high;
        const char* named;
    } cases[] = {
        {":0100000012ED\n:00000001FF\n", ":0100000030FF\n:00000001FF\n", "p.hxh\": checksum"},
        {":0100000012EE\n:00000001FF\n", ":0100000030CF\n:00000001FF\n", "p.hxl\": checksum"},
    };
    for (const auto& c : cases) {
        Image image;
        ReadError error;
        EXPECT_FALSE(ReadPair(c.low, c.high, image, error));
        EXPECT_EQ(error.line, 1u);
        EXPECT_NE(error.reason.find(c.named), std::string::npos) << error.reason;
    }
}

}  // namespace
}  // namespace tolvek::image
