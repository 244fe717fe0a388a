// Whole runs long enough for the engine to reuse decoded words: the reused
// words must give the same listing as the decoded ones, and jumps must still
// reach the target table.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "chipdb/ChipData.h"
#include "run/Run.h"
#include "run/WordMemo.h"
#include "tests/TempDir.h"

namespace tolvek {
namespace {

// INHX8M records of 8 words from address 0, starting again at 0 after the 16K
// bytes of program memory; every third record in lower case.
std::string MakeHex(const std::vector<unsigned>& words) {
    std::string hex;
    for (std::size_t first = 0; first < words.size(); first += 8) {
        const std::size_t count = std::min<std::size_t>(8, words.size() - first);
        const unsigned address = static_cast<unsigned>(first * 2) & 0x3FFF;
        char head[16];
        std::snprintf(head, sizeof head, ":%02X%04X00", static_cast<unsigned>(count * 2), address);
        std::string record = head;
        for (std::size_t i = 0; i < count; ++i) {
            char bytes[8];
            const unsigned word = words[first + i];
            std::snprintf(bytes, sizeof bytes, (first / 8) % 3 == 2 ? "%02x%02x" : "%02X%02X",
                          word & 0xFF, word >> 8);
            record += bytes;
        }
        hex += record + "00\n";
    }
    return hex + ":00000001FF\n";
}

struct Listing {
    RunResult result;
    std::string text;
    std::string lineLab;
};

Listing RunImage(ChipState& chip, const std::string& hex) {
    // a folder of its own: the tests of this file may run at the same time
    const testing::TempDir dir;
    dir.Write("memo.hex", hex);
    const std::string input = dir.Path("memo.hex");
    std::FILE* sink = std::tmpfile();
    Disassembler engine(chip);
    engine.InputFileName = input;
    engine.ListingStream = sink;
    FrontEnd frontEnd;
    Listing listing;
    listing.result = engine.Run(frontEnd);
    listing.lineLab = listing.result.outcome.lineNumber;
    std::rewind(sink);
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, sink)) > 0) {
        listing.text.append(buffer, got);
    }
    std::fclose(sink);
    return listing;
}

// The 14-bit words of one image: every kind of word, blanks, returns and
// jumps to a few targets, register operands on every address and bit.
std::vector<unsigned> OneImage() {
    std::vector<unsigned> words;
    for (unsigned i = 0; i < 8192; ++i) {
        unsigned word = (i * 2654435761u >> 7) & 0x3FFF;
        if ((word & 0x3000) == 0x2000) {
            word = 0x2000 | (word & 0x800) | (word & 0x3F);  // 64 targets
        } else if ((word & 0x3F00) == 0x3B00 || (word >= 0x0001 && word <= 0x0007) ||
                   (word >= 0x000A && word <= 0x000F)) {
            word = 0x0008;  // no instruction there: RETURN instead
        }
        if (i % 97 == 0) {
            word = 0x3FFF;
        }
        words.push_back(word);
    }
    return words;
}

TEST(RunMemo, ReusedWordsListLikeDecodedOnes) {
    ChipState chip;
    chip.ChipInfo = {"<False,4>",
                     "#0,INDF;0,TMR0;1,PCL;2,STATUS;3,FSR;4,PORTA;5,PORTB;6,INTCON;B,LONG;20",
                     "#1,OPTION_REG;81,TRISA;85,TRISB;86",
                     "#2,EEDATA;C,EEADR;D",
                     "#3,EECON1;8C",
                     "%STATUS,C,DC,Z,NOT_PD,NOT_TO,RP0,RP1,IRP",
                     "%TRISB,TRISB0,TRISB1",
                     "%EECON1,RD,WR,?,WRERR"};
    chip.RomPages = 4;
    std::vector<unsigned> words;
    const std::vector<unsigned> image = OneImage();
    for (int copy = 0; copy < 4; ++copy) {  // the last copies come from the memo
        words.insert(words.end(), image.begin(), image.end());
    }
    // the third copy fills the memo, the fourth is read from it
    ASSERT_GE(words.size(), WordMemo::kWordsFirst + 2 * image.size());
    const Listing listing = RunImage(chip, MakeHex(words));
    ASSERT_EQ(listing.result.code, kResultOk);
    // each copy starts again at address 0 with its own ORG block
    const std::string org = "            ORG 0000h\r\n";
    std::vector<std::size_t> starts;
    for (std::size_t at = listing.text.find(org); at != std::string::npos;
         at = listing.text.find(org, at + 1)) {
        starts.push_back(at);
    }
    ASSERT_EQ(starts.size(), 4u);
    const std::string first = listing.text.substr(starts[0], starts[1] - starts[0]);
    const std::string last = listing.text.substr(starts[3], starts[1] - starts[0]);
    EXPECT_EQ(first, last);
    EXPECT_NE(first.find("; ??? RAM Page OPTION_REG"), std::string::npos);
    EXPECT_NE(first.find("; ??? Duplicate ROM - "), std::string::npos);
}

TEST(RunMemo, EveryJumpStillReachesTheTargetTable) {
    ChipState chip;
    chip.RomPages = 4;
    std::vector<unsigned> words(WordMemo::kWordsFirst, 0x0000);
    words.push_back(0x2800);  // GOTO 0: remembered would be wrong
    for (unsigned target = 1; target <= 748; ++target) {
        words.push_back(0x2800 | target);  // 749 targets fill the table
    }
    words.push_back(0x2800);  // a known target, but the table is full now
    words.push_back(0x0000);
    const Listing listing = RunImage(chip, MakeHex(words));
    EXPECT_EQ(listing.result.code, kResultTooManyTargets);
    const std::size_t line = (words.size() - 2) / 8;
    EXPECT_EQ(listing.lineLab, "LineNumber  " + std::to_string(line));
}

}  // namespace
}  // namespace tolvek
