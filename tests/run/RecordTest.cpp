#include <gtest/gtest.h>

#include <string>

#include "run/Checksum.h"
#include "run/Record.h"
#include "tests/TempDir.h"

namespace tolvek {
namespace {

struct LineCase {
    const char* line;
    RecordCheck::Kind kind;
    int code;
};

TEST(RecordCheck, ChecksInTheirFixedOrder) {
    const std::string len44 = ":10000000860183168601831202308A008C010C08570";
    const std::string len300 = ":" + std::string(299, '1');
    const LineCase cases[] = {
        {":10000000860183168601831202308A008C010C0857", RecordCheck::kData, 0},
        {":00000001FF", RecordCheck::kEndOfFile, 0},
        {":FF000001", RecordCheck::kEndOfFile, 0},  // nothing else of an EOF record counts
        {"", RecordCheck::kFault, kResultNoColon},
        {"10000000860183168601831202308A008C010C0857", RecordCheck::kFault, kResultNoColon},
        {":", RecordCheck::kFault, kResultByteField},
        {":G0000000", RecordCheck::kFault, kResultByteField},
        {":G0Z00000", RecordCheck::kFault, kResultByteField},  // byte count before address
        {":10", RecordCheck::kFault, kResultAddressField},
        {":020000G0860183", RecordCheck::kFault, kResultTypeDigits},
        {":02400000ZZ", RecordCheck::kSkip, 0},  // skipped before its type is read
        {":00400001BF", RecordCheck::kSkip, 0},
        {":020000020000FC", RecordCheck::kFault, kResultTypeValue},
        {":020000040000FA", RecordCheck::kFault, kResultTypeValue},
        {":10000000860183168601831202308A008C010C08", RecordCheck::kFault, kResultByteCountLess},
        {":0400000086018316DC ", RecordCheck::kFault, kResultByteCountMore},
        {":0400000086018316ZZ", RecordCheck::kData, 0},  // checksum characters are not read
        {":0400000086018316", RecordCheck::kFault, kResultByteCountLess},
        {":11000000860183168601831202308A008C010C0857", RecordCheck::kFault, kResultByteCountLess},
        {":0a00000086018316DC8601831202XX", RecordCheck::kData, 0},
    };
    for (const LineCase& c : cases) {
        const RecordCheck check = CheckRecordLine(c.line);
        EXPECT_EQ(check.kind, c.kind) << c.line;
        if (c.kind == RecordCheck::kFault) {
            EXPECT_EQ(check.code, c.code) << c.line;
        }
    }
    EXPECT_EQ(CheckRecordLine(len44).code, kResultLineLength);
    EXPECT_EQ(CheckRecordLine(len300).code, kResultLineLength);
}

TEST(RecordCheck, SeventeenBytesWithTheRightLengthIsTooLong) {
    const std::string line = ":11000000" + std::string(34, '0') + "00";
    ASSERT_EQ(line.size(), 45u);
    EXPECT_EQ(CheckRecordLine(line).code, kResultLineLength);
}

TEST(RecordCheck, ExtendedAddressRecordsOnlyWhenAccepted) {
    const LineCase cases[] = {
        {":020000040000FA", RecordCheck::kData, 0},
        {":020000040001F9", RecordCheck::kData, 0},
        {":040000040000000000", RecordCheck::kFault, kResultByteField},
        {":020010040000EA", RecordCheck::kFault, kResultAddressField},
        {":0200000400G0FA", RecordCheck::kFault, kResultCodeData},
        {":0200000400", RecordCheck::kFault, kResultByteCountLess},
        {":020000040000FA0", RecordCheck::kFault, kResultByteCountMore},
        {":020000050000FA", RecordCheck::kFault, kResultTypeValue},
    };
    for (const LineCase& c : cases) {
        const RecordCheck check = CheckRecordLine(c.line, true);
        EXPECT_EQ(check.kind, c.kind) << c.line;
        EXPECT_EQ(check.code, c.code) << c.line;
    }
}

TEST(RecordCheck, WordTextIsHighByteFirstInTheRecordsCase) {
    const auto word = [](std::string_view line) {
        char text[4];
        return ExtractCodeData(line, 9, text) ? std::string(text, 4) : std::string();
    };
    EXPECT_EQ(word(":020000003412"), "1234");
    EXPECT_EQ(word(":02000000ff3f"), "3fff");
    EXPECT_EQ(word(":020000008500"), "0085");
    EXPECT_EQ(word(":0200000085"), "");  // past the line reads as NUL
    EXPECT_EQ(word(":020000008G00"), "");
}

TEST(Outcome, MessagesAndRedLabelsForEveryCode) {
    const struct {
        int code;
        const char* status;
        bool red[6];
    } cases[] = {
        {1, "[ERROR 01]: Record line length is invalid.", {1, 1, 1, 1, 1, 1}},
        {2, "[ERROR 02]: Record line not formatted correctly.", {1, 0, 0, 0, 0, 0}},
        {3, "[ERROR 03]: Byte Field is invalid.", {0, 1, 0, 0, 0, 0}},
        {4, "[ERROR 04]: Address Field is invalid.", {0, 0, 1, 0, 0, 0}},
        {5, "[ERROR 05]: Data in Record Type field is invalid.", {0, 0, 0, 1, 0, 0}},
        {6, "[ERROR 06]: Record Type field not equal to 00 or 01.", {0, 0, 0, 1, 0, 0}},
        {7, "[ERROR 07]: Code data is not a hex value.", {0, 0, 0, 0, 1, 0}},
        {8, "[ERROR 08]: Data cannot be converted to an instruction.", {0, 0, 0, 0, 1, 0}},
        {9, "[ERROR 09]: Byte count value less than specified.", {0, 1, 0, 0, 1, 0}},
        {10, "[WARNING 01]: Did not find EOF marker in HEX file.", {0, 0, 0, 1, 0, 0}},
        {11, "[ERROR 10]: Byte count value more than specified.", {0, 1, 0, 0, 1, 0}},
        {12, "[ERROR 11]: Too many GOTO/CALL instructions to resolve.", {0, 1, 0, 0, 1, 0}},
    };
    for (const auto& c : cases) {
        const Outcome outcome = ProcessErrorMessage(c.code, "LineNumber  3", ":00");
        EXPECT_EQ(outcome.statusText, c.status);
        EXPECT_TRUE(outcome.statusRed);
        EXPECT_TRUE(outcome.panelVisible);
        EXPECT_TRUE(outcome.lineVisible);
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(outcome.colors.red[static_cast<std::size_t>(i)], c.red[i])
                << c.code << " label " << i;
        }
    }
    const Outcome ok = ProcessErrorMessage(0, "4", "");
    EXPECT_EQ(ok.statusText, "[OK]:  4 records disassembled successfully.");
    EXPECT_FALSE(ok.statusRed);
    EXPECT_FALSE(ok.panelVisible);
}

// A wrong checksum counts up to the end-of-file record; what follows it is not
// read, by the run or by the scan.
TEST(Checksums, TheScanEndsAtTheEndOfFileRecord) {
    testing::TempDir dir;
    dir.Write("p.hex", ":0400000086018316DD\r\n:00000001FF\r\n:0400000086018316DD\r\n");
    const ChecksumReport report = ScanChecksums(dir.Path("p.hex"));
    EXPECT_EQ(report.count, 1);
    ASSERT_EQ(report.faults.size(), 1u);
    EXPECT_EQ(report.faults[0].lineIndex, 0);
}

}  // namespace
}  // namespace tolvek
