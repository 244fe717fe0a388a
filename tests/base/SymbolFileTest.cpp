// The symbol file: every kind of entry is read with its line, each faulty line
// is named, and an update changes only the entry it is about.
#include <gtest/gtest.h>

#include "base/SymbolFile.h"

namespace tolvek {
namespace {

TEST(SymbolFile, ReadsEveryKindWithItsLine) {
    const SymbolFile file = ReadSymbolFile(
        "# tolvek symbol file\n"
        "label 0x0040 init          # code label\n"
        "\n"
        "ram 0x020 counter\r\n"
        "entry 0x00000100   # reached through a table; eight digits, the most\n"
        "comment 0x41   wait for #3, then go on  \n"
        "bookmark 64\n"
        "bookmark 0x42 main loop\n"
        "label 64 twice\n");
    EXPECT_TRUE(file.header);
    EXPECT_TRUE(file.faults.empty());
    struct Expected {
        SymbolKind kind;
        unsigned address;
        const char* text;
        std::size_t line;
    };
    const Expected expected[] = {
        {SymbolKind::Label, 0x40, "init", 2},
        {SymbolKind::Ram, 0x20, "counter", 4},
        {SymbolKind::Entry, 0x100, "", 5},
        {SymbolKind::Comment, 0x41, "wait for #3, then go on", 6},
        {SymbolKind::Bookmark, 64, "", 7},
        {SymbolKind::Bookmark, 0x42, "main loop", 8},
        {SymbolKind::Label, 64, "twice", 9},
    };
    ASSERT_EQ(file.entries.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const SymbolEntry& e = file.entries[i];
        EXPECT_EQ(e.kind, expected[i].kind) << i;
        EXPECT_EQ(e.address, expected[i].address) << i;
        EXPECT_EQ(e.text, expected[i].text) << i;
        EXPECT_EQ(e.line, expected[i].line) << i;
    }
}

TEST(SymbolFile, FaultyLinesAreNamedByNumber) {
    struct Case {
        const char* line;
        const char* fault;
    };
    const Case cases[] = {
        {"stack 0x10 x", "unknown kind \"stack\""},
        {"Label 0x10 x", "unknown kind"},
        {"label 0x40", "expected \"label ADDRESS NAME\""},
        {"label 0x40 a b", "expected \"label ADDRESS NAME\""},
        {"ram", "expected \"ram ADDRESS NAME\""},
        {"entry 0x40 main", "expected \"entry ADDRESS\""},
        {"comment 0x40", "expected \"comment ADDRESS TEXT\""},
        {"comment 0x40   \t ", "expected"},
        {"bookmark", "expected \"bookmark ADDRESS [TEXT]\""},
        {"label 0x4G bad", "\"0x4G\" is not an address"},
        {"label 0x bad", "not an address"},
        {"label 123456789 big", "not an address"},
        {"label 0x123456789 big", "not an address"},
        {"ram 0x21 9bad", "\"9bad\" is not a name"},
        {"ram 0x21 a-b", "not a name"},
        {"label 0x40 a_name_that_is_longer_than_thirty_two", "not a name"},
    };
    for (const Case& c : cases) {
        const std::string text = std::string("label 1 ok\n\n") + c.line + "\nram 2 fine\n";
        const SymbolFile file = ReadSymbolFile(text);
        EXPECT_FALSE(file.header);
        ASSERT_EQ(file.faults.size(), 1u) << c.line;
        EXPECT_EQ(file.faults[0].line, 3u) << c.line;
        EXPECT_NE(file.faults[0].text.find(c.fault), std::string::npos)
            << c.line << " -> " << file.faults[0].text;
        EXPECT_EQ(file.entries.size(), 2u) << c.line;
        // read until the fault: the entry after it is not read
        const SymbolFile untilFault = ReadSymbolFile(text + c.line + "\n", true);
        ASSERT_EQ(untilFault.faults.size(), 1u) << c.line;
        EXPECT_EQ(untilFault.faults[0].text, file.faults[0].text);
        ASSERT_EQ(untilFault.entries.size(), 1u) << c.line;
        EXPECT_EQ(untilFault.entries[0].line, 1u);
    }
}

TEST(SymbolFile, HeaderOnlyOnTheFirstLine) {
    EXPECT_TRUE(HasSymbolFileHeader("# tolvek symbol file"));
    EXPECT_TRUE(HasSymbolFileHeader("# tolvek symbol file for blink.hex\nlabel 1 a\n"));
    EXPECT_FALSE(HasSymbolFileHeader("\n# tolvek symbol file\n"));
    EXPECT_FALSE(HasSymbolFileHeader("# Tolvek symbol file\n"));
    EXPECT_FALSE(HasSymbolFileHeader("015     CCP_1\n"));
    EXPECT_FALSE(HasSymbolFileHeader(""));
}

TEST(SymbolFile, UpdateChangesOnlyItsEntry) {
    const std::string text = "# mine\nlabel 0x0040 init   # start\nram 0x020 counter\n";
    struct Case {
        std::string fileText;
        SymbolKind kind;
        unsigned address;
        std::optional<std::string_view> value;
        std::string expected;
    };
    const Case cases[] = {
        {text, SymbolKind::Label, 0x40, "setup",
         "# mine\nlabel 0x0040 setup   # start\nram 0x020 counter\n"},
        {text, SymbolKind::Ram, 0x40, "flags", text + "ram 0x040 flags\n"},
        {text, SymbolKind::Label, 0x40, std::nullopt, "# mine\nram 0x020 counter\n"},
        {text, SymbolKind::Label, 0x40, "", "# mine\nram 0x020 counter\n"},
        {"", SymbolKind::Label, 0x1A, "loop", "# tolvek symbol file\nlabel 0x001A loop\n"},
        {"", SymbolKind::Label, 0x1A, std::nullopt, ""},
        {"label 0x5 a", SymbolKind::Label, 6, "b", "label 0x5 a\nlabel 0x0006 b\n"},
        {"label 5 a\nlabel 0x5 b\n", SymbolKind::Label, 5, "c", "label 5 c\n"},
        {text, SymbolKind::Entry, 0x100, "", text + "entry 0x0100\n"},
        {"entry 0x100  # why\n", SymbolKind::Entry, 0x100, "", "entry 0x100  # why\n"},
        {"comment 0x10 old # text\n", SymbolKind::Comment, 0x10, "new\ntext",
         "comment 0x10 new text\n"},
        {"comment 0x10 old\n", SymbolKind::Comment, 0x10, "  ", ""},
        {"bookmark 0x10\n", SymbolKind::Bookmark, 0x10, "here", "bookmark 0x0010 here\n"},
        {"bookmark 0x10 here\n", SymbolKind::Bookmark, 0x10, "", "bookmark 0x0010\n"},
        {"bookmark 0x10 here\n", SymbolKind::Bookmark, 0x10, std::nullopt, ""},
        {"label 0x10 x\nram 0x10 y\n", SymbolKind::Ram, 0x10, std::nullopt, "label 0x10 x\n"},
        {"bad line\nlabel 0x10 x", SymbolKind::Label, 0x10, "y", "bad line\nlabel 0x10 y\n"},
    };
    for (const Case& c : cases) {
        const std::string updated = UpdateSymbolFile(c.fileText, c.kind, c.address, c.value);
        EXPECT_EQ(updated, c.expected) << c.fileText;
        if (c.value) {
            std::size_t found = 0;
            for (const SymbolEntry& e : ReadSymbolFile(updated).entries) {
                found += e.kind == c.kind && e.address == c.address;
            }
            EXPECT_LE(found, 1u) << c.fileText;
        }
    }
}

TEST(SymbolFile, PathBesideTheImage) {
    EXPECT_EQ(SymbolFilePath("/w/blink.asm"), "/w/blink.tolvek.sym");
    EXPECT_EQ(SymbolFilePath("/w/blink.hex"), "/w/blink.tolvek.sym");
    EXPECT_EQ(SymbolFilePath("/w.d/blink"), "/w.d/blink.tolvek.sym");
    EXPECT_EQ(SymbolFilePath("C:\\pic\\my.prog.dis"), "C:\\pic\\my.prog.tolvek.sym");
}

}  // namespace
}  // namespace tolvek
