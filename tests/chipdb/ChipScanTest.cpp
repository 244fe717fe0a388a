// The piecewise chip data scan against loading the whole file: the same chip
// list, and for every chip the same section, parameters and messages, whatever
// size the pieces are read in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "chipdb/ChipData.h"
#include "chipdb/ChipScan.h"
#include "tests/TempDir.h"

namespace tolvek {
namespace {

using Want = ChipScan::Want;
using Result = ChipScan::Result;

struct Selection {
    std::vector<std::string> info;
    std::vector<std::string> messages;
    bool core12 = false;
    int pages = 1;
    std::string name;

    bool operator==(const Selection&) const = default;
};

Selection Select(ChipState& chip, const std::string& name) {
    Selection selection;
    chip.SelectChip(name, [&](const std::string& m) { selection.messages.push_back(m); });
    selection.info = chip.ChipInfo;
    selection.core12 = chip.Core12Bit;
    selection.pages = chip.RomPages;
    selection.name = chip.ChipName;
    return selection;
}

// Alike for these tests: equal but for the letter case.
bool Alike(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

Selection FromScan(const ChipScan& scan) {
    ChipState chip;
    chip.LoadChipLines(scan.section);
    return Select(chip, scan.name);
}

// Scans text in pieces of every given size and checks each outcome against the
// whole text; returns how many scans settled the question themselves.
int CheckAgainstWholeFile(const std::string& text, const std::vector<std::size_t>& pieces) {
    static const testing::TempDir dir;
    dir.Write("chipdat.txt", text);
    const std::string path = dir.Path("chipdat.txt");
    ChipState whole;
    whole.LoadChipLines(text);
    const std::vector<std::string> list = whole.ChipList();
    std::vector<std::string> names = list;
    names.insert(names.end(), {"not listed", "", "A]", std::string(300, 'x'), "b", "c[d", "x"});

    int done = 0;
    for (const std::size_t piece : pieces) {
        SCOPED_TRACE("piece " + std::to_string(piece));
        const ChipScan listed = ScanChipFile(path, Want::kList, {}, {}, piece);
        if (listed.result == Result::kDone) {
            ++done;
            EXPECT_EQ(listed.names, list);
        }
        const ChipScan first = ScanChipFile(path, Want::kFirst, {}, {}, piece);
        if (first.result == Result::kDone) {
            ++done;
            ChipState expected = whole;
            EXPECT_EQ(FromScan(first), Select(expected, list.empty() ? "" : list.front()));
        }
        for (const std::string& name : names) {
            // a name listed exactly, else the first in the list that is alike
            const auto exact = std::find(list.begin(), list.end(), name);
            const auto similar =
                std::find_if(list.begin(), list.end(),
                             [&name](const std::string& chip) { return Alike(chip, name); });
            const auto chosen = exact != list.end() ? exact : similar;
            for (const bool withAlike : {false, true}) {
                const ChipScan named = ScanChipFile(
                    path, Want::kNamed, name,
                    withAlike ? [&name](std::string_view chip) { return Alike(chip, name); }
                              : std::function<bool(std::string_view)>(),
                    piece);
                const auto expected = withAlike ? chosen : exact;
                EXPECT_TRUE(named.result != Result::kDone || expected != list.end()) << name;
                if (named.result == Result::kDone) {
                    ++done;
                    ChipState reference = whole;
                    EXPECT_EQ(FromScan(named), Select(reference, *expected)) << name;
                }
            }
        }
    }
    return done;
}

TEST(ChipScan, SettlesOrdinaryFilesLikeTheWholeFile) {
    const std::vector<std::string> texts = {
        // two chips out of order, CR LF line ends
        "[16F84]\r\n<False,2>\r\n#0,A;0\r\n%A,b\r\nx\r\n[12C508]\r\n<TRUE,1>\r\n#0,B;1\r\n"
        "\r\n%B,c\r\ny\r\n[ <, don't put anything past here\r\n",
        // CR only; a name with an inner "["; names alike in all but letter case
        "[b]\r<False,1>\r#0,R;5\rx\ry\r[C[D]\r<False,3>\r1\r2\r3\r[B]\r<false,4>\r1\r2\r3\r[end",
        // the same name twice: the first section counts
        "[X]\n<False,1>\n1\n2\n3\n[X]\n<True,2>\n1\n2\n3\n[a]\n<nope>\n1\n2\n3\n[end\n",
        // faulty sections: too short, bad parameters, and the last one never closed
        "junk before\n[S]\n<False,1>\n1\n\n2\n[P]\n<False,5>\n1\n2\n3\n[U]\n<True,1>\n1\n2\n3",
        // not listed: the last line, a blank after "]", an empty name, a second "]"
        "[A] \n[]\n[B]x]\n<False,1>\n1\n2\n3\n[K]\n<False,2>\n1\n2\n3\n[LAST]\r\n",
        // a NUL ends the text, hiding what follows
        std::string("[N]\n<False,1>\n1\n2\n3\n[M]\n<False,1>\n1\0\n[Z]\n[end\n", 46),
    };
    const std::vector<std::size_t> pieces = {1, 2, 7, 64, 300, kChipScanPiece};
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        EXPECT_GT(CheckAgainstWholeFile(text, pieces), 0);
    }
}

TEST(ChipScan, LongLinesAndFilesWithoutChips) {
    // a line whose first 255 characters list a name no section line equals
    const std::string listedByLongLine = "[" + std::string(253, 'L') + "]tail\n1\n[end\n";
    const std::string longSection = "[" + std::string(300, 'L') + "]\n<False,1>\n1\n2\n3\n[e\n";
    for (const std::string& text :
         {listedByLongLine, longSection, std::string(), std::string("no chips\n[ end")}) {
        CheckAgainstWholeFile(text, {1, 100, kChipScanPiece});
    }
}

TEST(ChipScan, RandomTextsAgreeWithTheWholeFile) {
    static const char* const kParts[] = {
        "[",        "]",      "A",    "a",     "B",     "\r",      "\n",  "\r\n",   "<False,1>",
        "<True,2>", "#0,R;5", "%R,x", "[A]\n", "[a]\n", "[B]\r\n", "[A]", "\n[e\n", "\0"};
    std::mt19937 random(18);
    for (int round = 0; round < 300; ++round) {
        std::string text;
        const int parts = static_cast<int>(random() % 40);
        for (int i = 0; i < parts; ++i) {
            const char* part = kParts[random() % std::size(kParts)];
            text.append(part, *part == '\0' ? 1 : std::char_traits<char>::length(part));
        }
        SCOPED_TRACE(text);
        CheckAgainstWholeFile(text, {1, 3, 16});
    }
}

TEST(ChipScan, ShippedChipDataEveryChip) {
    ChipState whole;
    ASSERT_TRUE(whole.LoadChipFile(TOLVEK_SHIPPED_CHIPDAT));
    const std::vector<std::string> list = whole.ChipList();
    const ChipScan listed = ScanChipFile(TOLVEK_SHIPPED_CHIPDAT, Want::kList);
    ASSERT_EQ(listed.result, Result::kDone);
    EXPECT_EQ(listed.names, list);
    const ChipScan first = ScanChipFile(TOLVEK_SHIPPED_CHIPDAT, Want::kFirst);
    ASSERT_EQ(first.result, Result::kDone);
    EXPECT_EQ(first.name, list.front());
    for (const std::string& name : list) {
        const ChipScan named = ScanChipFile(TOLVEK_SHIPPED_CHIPDAT, Want::kNamed, name);
        ASSERT_EQ(named.result, Result::kDone) << name;
        EXPECT_EQ(FromScan(named), Select(whole, name)) << name;
    }
}

TEST(ChipScan, UnreadableFiles) {
    const testing::TempDir dir;
    EXPECT_EQ(ScanChipFile(dir.Path("missing"), Want::kFirst).result, Result::kUnreadable);
    EXPECT_EQ(ScanChipFile(dir.Path(""), Want::kList).result, Result::kUnreadable);
    // near the line limit the whole file decides
    dir.Write("big", std::string(kMaxChipLines + 1, '\n'));
    EXPECT_EQ(ScanChipFile(dir.Path("big"), Want::kList).result, Result::kWholeFile);
}

}  // namespace
}  // namespace tolvek
