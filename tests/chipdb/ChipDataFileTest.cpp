// Reading the chip data file: files that are no regular file, lines and files
// of any size.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <utility>
#include <vector>

#include "chipdb/ChipData.h"
#include "tests/TempDir.h"

namespace tolvek {
namespace {

using testing::TempDir;

TEST(ChipDataFile, ChipDataThatIsNoRegularFile) {
    TempDir dir;
    ASSERT_EQ(mkfifo((dir.Path("fifo")).c_str(), 0644), 0);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {dir.Path(""), "Is a directory"},
        {dir.Path("fifo"), "not a regular file"},
        {"/dev/zero", "not a regular file"},
        {dir.Path("missing"), "No such file or directory"},
    };
    for (const auto& [path, reason] : cases) {
        SCOPED_TRACE(path);
        ChipState chip;
        chip.LoadChipLines("[old]\n");
        IoError error;
        EXPECT_FALSE(chip.LoadChipFile(path, &error));
        EXPECT_EQ(error.Reason(), reason);
        EXPECT_EQ(error.Path(), path);
        EXPECT_EQ(chip.ChipLines.size(), 1u);  // nothing changed
    }
}

TEST(ChipDataFile, ChipDataLinesOfAnyLengthKeepTheir255FirstCharacters) {
    TempDir dir;
    std::string name(10 << 20, 'N');
    name[0] = '[';
    dir.Write("chipdat.txt", name + "]\r\n<False,1>\r\n\xff\xfe\r\n%\x80\x81,\0,x\r\n");
    ChipState chip;
    ASSERT_TRUE(chip.LoadChipFile(dir.Path("chipdat.txt")));
    ASSERT_EQ(chip.ChipLines.size(), 4u);  // the NUL ends the text
    EXPECT_EQ(chip.ChipLines[0].text, name.substr(0, 255));
    EXPECT_TRUE(chip.ChipLines[0].longer);
    EXPECT_TRUE(chip.ChipList().empty());  // its closing bracket lies beyond the 255
    EXPECT_EQ(chip.ChipLines[3].text, "%\x80\x81,");
}

TEST(ChipDataFile, ChipDataBeyondItsBoundsIsRefused) {
    using namespace std::string_literals;
    const std::string name = "[X]\n<False,1>\n#0,A;0\n%A,b\n[";
    struct Case {
        const char* name;
        std::string bytes;
        const char* error;  // empty when the file loads
    };
    std::string nulThenMore = name + "\0"s;
    nulThenMore.resize(kMaxChipDataBytes + 4096, 'x');
    std::string justFits = name;
    justFits.resize(kMaxChipDataBytes, 'x');
    const std::vector<Case> cases = {
        {"as many lines as allowed", std::string(kMaxChipLines, '\n'), ""},
        {"as many CR LF lines as allowed",
         [] {
             std::string text;
             for (std::size_t i = 0; i < kMaxChipLines; ++i) {
                 text += "\r\n";
             }
             return text;
         }(),
         ""},
        {"one line more", std::string(kMaxChipLines + 1, '\n'), "more than 1000000 lines"},
        {"as many bytes as allowed", justFits, ""},
        {"one byte more", justFits + "x", "larger than 64 MB"},
        {"a NUL ends the text before the bound", nulThenMore, ""},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dir.Write("chipdat.txt", c.bytes);
        ChipState chip;
        chip.LoadChipLines("[old]\n");
        IoError error;
        const bool loaded = chip.LoadChipFile(dir.Path("chipdat.txt"), &error);
        EXPECT_EQ(loaded, std::string(c.error).empty());
        EXPECT_EQ(error.Reason(), c.error);
        if (loaded) {
            EXPECT_NE(chip.ChipLines[0].text, "[old]");
        } else {
            ASSERT_EQ(chip.ChipLines.size(), 1u);  // nothing changed
            EXPECT_EQ(chip.ChipLines[0].text, "[old]");
        }
    }
}

}  // namespace
}  // namespace tolvek
