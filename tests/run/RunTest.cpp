#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "base/Conversions.h"
#include "chipdb/ChipData.h"
#include "run/Run.h"
#include "tests/TempDir.h"

namespace tolvek {
namespace {

using testing::TempDir;

constexpr const char* kWorkedExample =
    ":10000000860183168601831202308A008C010C0857\r\n"
    ":10001000002286008C0A0A300C06031D07280628D9\r\n"
    ":1004000082073F3406345B344F3466346D347D34B8\r\n"
    ":0604100007347F346F3455\r\n"
    ":00000001FF\r\n";

// Records what the engine shows, as the window would.
class RecordingFrontEnd : public FrontEnd {
  public:
    void SetStatus(const std::string& text) override { statuses.push_back(text); }
    void SetProgressMax(int maximum) override { progressMax = maximum; }
    void SetProgress(int position) override {
        lastProgress = position;
        ++progressCalls;
    }
    void SetBusyCursor(bool busy) override { cursorBusy = busy; }
    void ShowOutcome(const Outcome& shown) override { outcome = shown; }
    void ShowIoError(const IoError& error) override { ioErrors.push_back(error.Message()); }

    std::vector<std::string> statuses;
    std::vector<std::string> ioErrors;
    int progressMax = -1;
    int lastProgress = -1;
    int progressCalls = 0;
    bool cursorBusy = false;
    Outcome outcome;
};

class RunTest : public ::testing::Test {
  protected:
    // A run on the file written here, the engine set up further by `setUp`.
    RunResult Run(const std::string& name, const std::string& bytes,
                  const std::function<void(Disassembler&)>& setUp = {}) {
        dir.Write(name, bytes);
        Disassembler engine(chip);
        engine.InputFileName = dir.Path(name);
        if (setUp) {
            setUp(engine);
        }
        RunResult result = engine.Run(frontEnd);
        lineLab = result.outcome.lineNumber;
        lineData = result.outcome.line;
        EXPECT_EQ(frontEnd.outcome.statusText, result.outcome.statusText);
        return result;
    }

    TempDir dir;
    ChipState chip;
    RecordingFrontEnd frontEnd;
    std::string lineLab;
    std::string lineData;
};

TEST_F(RunTest, WorkedExampleListing) {
    EXPECT_EQ(Run("blink.hex", kWorkedExample).code, kResultOk);
    const std::string r = "               ; b'";
    const std::vector<std::string> lines = {";",
                                            "; ******* Quorvel *******",
                                            ";",
                                            "         LIST   P=PIC",
                                            ";",
                                            ";",
                                            ";",
                                            "            ;",
                                            "            ORG 0000h",
                                            "            ;",
                                            "            CLRF 0x06",
                                            "            BSF 0x03,5",
                                            "            CLRF 0x06",
                                            "            BCF 0x03,5",
                                            "            MOVLW 0x02",
                                            "            MOVWF 0x0A",
                                            "ad0006      CLRF 0x0C",
                                            "ad0007      MOVF 0x0C,w",
                                            "            CALL ad0200",
                                            "            ;",
                                            "            MOVWF 0x06",
                                            "            INCF 0x0C,f",
                                            "            MOVLW 0x0A",
                                            "            XORWF 0x0C,w",
                                            "            BTFSS 0x03,2",
                                            "            GOTO ad0007",
                                            "            ;",
                                            "            GOTO ad0006",
                                            "            ;",
                                            "            ;",
                                            "            ORG 0200h",
                                            "            ;",
                                            "ad0200      ADDWF 0x02,f",
                                            "            RETLW 0x3F" + r + "00111111'  '?'",
                                            "            RETLW 0x06" + r + "00000110'",
                                            "            RETLW 0x5B" + r + "01011011'  '['",
                                            "            RETLW 0x4F" + r + "01001111'  'O'",
                                            "            RETLW 0x66" + r + "01100110'  'f'",
                                            "            RETLW 0x6D" + r + "01101101'  'm'",
                                            "            RETLW 0x7D" + r + "01111101'  '}'",
                                            "            RETLW 0x07" + r + "00000111'",
                                            "            RETLW 0x7F" + r + "01111111'  '\x7f'",
                                            "            RETLW 0x6F" + r + "01101111'  'o'",
                                            "            ;",
                                            "            end",
                                            "            ;"};
    std::string expected;
    for (const std::string& line : lines) {
        expected += line + "\r\n";
    }
    EXPECT_EQ(dir.Read("blink.dis"), expected);
    EXPECT_EQ(frontEnd.outcome.statusText, "[OK]:  4 records disassembled successfully.");
    EXPECT_EQ(frontEnd.statuses,
              (std::vector<std::string>{"Checking file data.", "Building file."}));
    EXPECT_EQ(frontEnd.progressMax, 27);
    EXPECT_EQ(frontEnd.progressCalls, 27 + 2);  // every word, and back to 0 at start and end
    EXPECT_EQ(frontEnd.lastProgress, 0);
    EXPECT_FALSE(frontEnd.cursorBusy);
    EXPECT_EQ(dir.Listing(), "blink.dis blink.hex ");
}

TEST_F(RunTest, OutcomesOfWholeFiles) {
    const struct {
        const char* name;
        const char* bytes;
        int code;
        const char* lineLab;
        const char* lineData;
    } cases[] = {
        {"eof only", ":00000001FF\n", 0, "0", ""},
        {"empty file", "", 10, "LineNumber  -1", ""},
        {"no eof", ":0400000086018316DC\n", 10, "LineNumber  0", ":0400000086018316DC"},
        {"eof above 4000", ":00400001BF\n", 10, "LineNumber  0", ":00400001BF"},
        {"blank line", ":0400000086018316DC\n\n:00000001FF\n", 2, "LineNumber  1", ""},
        {"odd byte count", ":03000000860183F3\n:00000001FF\n", 7, "LineNumber  0",
         ":03000000860183F3"},
        {"no instruction", ":02000000003BC3\n:00000001FF\n", 8, "LineNumber  0", ":02000000003BC3"},
        {"skipped record counts as a line", ":0240000001000000\n:00000001FF\n", 0, "1", ""},
        {"lone CR line ends", ":0400000086018316DC\r:00000001FF\r", 0, "1", ""},
        {"no line end at the end", ":0400000086018316DC\n:00000001FF", 0, "1", ""},
        {"lines after eof are not read", ":00000001FF\nrubbish\n", 0, "0", ""},
    };
    for (const auto& c : cases) {
        const RunResult result = Run("p.hex", c.bytes);
        EXPECT_FALSE(result.io) << c.name;
        EXPECT_EQ(result.code, c.code) << c.name;
        EXPECT_EQ(lineLab, c.lineLab) << c.name;
        if (c.code != 0) {
            EXPECT_EQ(lineData, c.lineData) << c.name;
            EXPECT_FALSE(dir.Exists("p.dis")) << c.name;
        } else {
            EXPECT_TRUE(dir.Exists("p.dis")) << c.name;
            std::filesystem::remove(dir.Path("p.dis"));
        }
        EXPECT_EQ(dir.Listing(), "p.hex ") << c.name;
    }
}

TEST_F(RunTest, LongLinesShowTheirFirst255Characters) {
    const std::string line = ":" + std::string(299, '1');
    EXPECT_EQ(Run("p.hex", ":0000000000\n" + line + "\n").code, kResultLineLength);
    EXPECT_EQ(lineData, line.substr(0, 255));
    EXPECT_EQ(lineLab, "LineNumber  1");
}

TEST_F(RunTest, FailedRunKeepsTheEarlierListing) {
    dir.Write("p.dis", "earlier listing");
    EXPECT_EQ(Run("p.hex", ":0400000086018316DC\n:1000\n").code, kResultAddressField);
    EXPECT_EQ(dir.Read("p.dis"), "earlier listing");
    EXPECT_EQ(dir.Listing(), "p.dis p.hex ");
    EXPECT_TRUE(frontEnd.outcome.panelVisible);
    EXPECT_TRUE(frontEnd.outcome.colors.red[kAddLab]);
}

TEST_F(RunTest, SuccessfulRunReplacesTheEarlierListing) {
    dir.Write("p.dis", "earlier listing");
    EXPECT_EQ(Run("p.hex", ":00000001FF\n").code, kResultOk);
    EXPECT_NE(dir.Read("p.dis"), "earlier listing");
    EXPECT_EQ(dir.Listing(), "p.dis p.hex ");
}

TEST_F(RunTest, ListingThroughASymbolicLinkReplacesItsTarget) {
    std::filesystem::create_directory(dir.Path("real"));
    dir.Write("real/p.dis", "earlier listing");
    std::filesystem::create_symlink(dir.Path("real/p.dis"), dir.Path("p.dis"));
    EXPECT_EQ(Run("p.hex", ":00000001FF\n").code, kResultOk);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.Path("p.dis")));
    EXPECT_EQ(dir.Read("real/p.dis").substr(0, 3), ";\r\n");
    EXPECT_EQ(dir.Listing(), "p.dis p.hex real ");
}

TEST_F(RunTest, ListingToADeviceIsWrittenInPlace) {
    const auto toNull = [](Disassembler& engine) { engine.ListingPath = "/dev/null"; };
    EXPECT_EQ(Run("p.hex", ":00000001FF\n", toNull).code, kResultOk);
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
    EXPECT_EQ(dir.Listing(), "p.hex ");  // the listing went there, not beside the input
}

TEST_F(RunTest, InstructionTextsStayWithinTheTextLimit) {
    const std::string longBit(250, 'B');
    chip.LoadChipLines("[T]\n<False,1>\n#0,REG;20\n%REG," + longBit + "\nx\n[e\n");
    chip.SelectChip("T", nullptr);
    ASSERT_EQ(Run("p.hex", ":0200000020109E\n:00000001FF\n").code, kResultOk);
    const std::string listing = dir.Read("p.dis");
    const std::size_t at = listing.find("BCF REG,");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(listing.find("\r\n", at) - at, 255u);
}

TEST_F(RunTest, AnInputNamedLikeItsListingIsNeverReplaced) {
    const RunResult result = Run("p.dis", ":00000001FF\n");
    EXPECT_TRUE(result.io);
    EXPECT_NE(result.io.Message().find("it is the input file"), std::string::npos);
    EXPECT_EQ(dir.Read("p.dis"), ":00000001FF\n");
    EXPECT_EQ(dir.Listing(), "p.dis ");
}

TEST_F(RunTest, MissingInputIsAnInputError) {
    Disassembler engine(chip);
    engine.InputFileName = dir.Path("absent.hex");
    const RunResult result = engine.Run(frontEnd);
    EXPECT_TRUE(result.io);
    EXPECT_NE(result.io.Message().find("absent.hex"), std::string::npos);
    EXPECT_NE(result.io.Message().find("No such file or directory"), std::string::npos);
    EXPECT_EQ(frontEnd.ioErrors.size(), 1u);
    EXPECT_TRUE(frontEnd.outcome.statusRed);
}

TEST_F(RunTest, PageNotesFollowRomPages) {
    // GOTO 0005 and CALL 0005, then the word at 0805 in another record
    const std::string hex = ":040000000528052079\n:02100A000000E4\n:00000001FF\n";
    for (const int pages : {1, 2, 4}) {
        chip.RomPages = pages;
        ASSERT_EQ(Run("p.hex", hex).code, kResultOk);
        const std::string listing = dir.Read("p.dis");
        const std::string notes[] = {"", "; ??? Duplicate ROM - ad0805\r\n",
                                     "; ??? Duplicate ROM - ad0805, ad1005, ad1805\r\n"};
        const std::string& note = notes[pages == 1 ? 0 : pages == 2 ? 1 : 2];
        const std::string body = "            GOTO ad0005\r\n" + note + "            ;\r\n" +
                                 "            CALL ad0005\r\n" + note + "            ;\r\n";
        EXPECT_NE(listing.find(body), std::string::npos) << pages;
        EXPECT_EQ(listing.find("ad0805      NOP") != std::string::npos, pages > 1) << pages;
    }
}

TEST_F(RunTest, TooManyTargetsEndsTheCheckingPass) {
    // 2996 distinct CALL targets fill a one-page table; the next jump fails
    std::string hex;
    for (int record = 0; record * 8 < 2997; ++record) {
        char head[32];
        std::snprintf(head, sizeof head, ":10%04X00", record * 16);
        std::string line = head;
        for (int k = 0; k < 8; ++k) {
            const int target = record * 8 + k;
            const unsigned word =
                0x2000u | static_cast<unsigned>(target % 2048) | (target >= 2048 ? 0x800u : 0u);
            char digits[16];
            std::snprintf(digits, sizeof digits, "%02X%02X", word & 0xFF, (word >> 8) & 0xFF);
            line += digits;
        }
        hex += line + "00\n";
    }
    hex += ":00000001FF\n";
    // CALL and GOTO of one target share a label, so 2048 distinct targets at most:
    // a one-page table never fills, a four-page table does
    chip.RomPages = 1;
    EXPECT_EQ(Run("p.hex", hex).code, kResultOk);
    std::filesystem::remove(dir.Path("p.dis"));
    chip.RomPages = 4;
    EXPECT_EQ(Run("p.hex", hex).code, kResultTooManyTargets);
    EXPECT_EQ(lineLab, "LineNumber  93");
    EXPECT_FALSE(dir.Exists("p.dis"));
    // a word that is no instruction ends the pass where it stands, before the
    // table fills: 3B00 to 3BFF and 0001 lie outside the words that are all
    // instructions, 3C00 just past them is one
    for (const char* word : {"003B", "FF3B", "0100"}) {
        std::string undefined = hex;
        undefined.replace(9 + 16, 4, word);
        EXPECT_EQ(Run("p.hex", undefined).code, kResultNoInstruction) << word;
        EXPECT_EQ(lineLab, "LineNumber  0") << word;
    }
    std::string literal = hex;
    literal.replace(9 + 16, 4, "003C");
    EXPECT_EQ(Run("p.hex", literal).code, kResultTooManyTargets);
}

TEST_F(RunTest, ListingToAStream) {
    std::FILE* stream = std::tmpfile();
    const auto toStream = [stream](Disassembler& engine) { engine.ListingStream = stream; };
    EXPECT_EQ(Run("p.hex", ":00000001FF\n", toStream).code, kResultOk);
    std::rewind(stream);
    char buffer[512] = {};
    const std::size_t got = std::fread(buffer, 1, sizeof buffer - 1, stream);
    std::fclose(stream);
    EXPECT_EQ(std::string(buffer, got).substr(0, 3), ";\r\n");
    EXPECT_EQ(dir.Listing(), "p.hex ");
}

// An extended address above 0 skips the records after it, which lie past
// program memory, until an extended address of 0 brings the records back: the
// words at 0 are then listed again, as the same records of an INHX8M file are.
TEST_F(RunTest, ExtendedAddressRecords) {
    const std::string inhx8m = ":0400000086018316DC\n:020000000630C8\n:00000001FF\n";
    const std::string inhx32 =
        ":020000040000FA\n:0400000086018316DC\n:020000040001F9\n:020000000038C6\n"
        ":020000040000FA\n:020000000630C8\n:00000001FF\n";
    ASSERT_EQ(Run("a.hex", inhx8m).code, kResultOk);
    const RunResult result =
        Run("b.hex", inhx32, [](Disassembler& engine) { engine.AcceptExtendedAddress = true; });
    EXPECT_EQ(result.code, kResultOk);
    EXPECT_EQ(result.outcome.lineNumber, "6");
    const std::string listing = dir.Read("b.dis");
    EXPECT_NE(listing.find("MOVLW 0x06"), std::string::npos)
        << "the record after the extended address 0000 is not listed:\n"
        << listing;
    EXPECT_EQ(listing.find("IORLW"), std::string::npos)
        << "the record after the extended address 0001 is listed";
    EXPECT_EQ(listing, dir.Read("a.dis"));
    // in INHX8M a type 04 record stays a fault
    EXPECT_EQ(Run("c.hex", inhx32).code, kResultTypeValue);
}

}  // namespace
}  // namespace tolvek
