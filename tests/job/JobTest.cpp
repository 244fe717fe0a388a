// The job both front ends hold: which file a run reads, when it runs at all,
// and the INHX8S merge before it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/Conversions.h"
#include "chipdb/ChipData.h"
#include "job/EnhancedHint.h"
#include "job/Job.h"
#include "tests/TempDir.h"

namespace tolvek {
namespace {

using testing::TempDir;

const std::string kImage =
    ":10000000860183168601831202308A008C010C0857\n"
    ":10001000002286008C0A0A300C06031D07280628D9\n"
    ":1004000082073F3406345B344F3466346D347D34B8\n"
    ":0604100007347F346F3455\n"
    ":00000001FF\n";

// Splits an INHX8M image into a low-byte and a high-byte file with word addresses.
void SplitImage(const std::string& image, std::string& low, std::string& high) {
    std::size_t start = 0;
    while (start < image.size()) {
        const std::size_t end = image.find('\n', start);
        const std::string line = image.substr(start, end - start);
        start = end + 1;
        if (line.substr(7, 2) == "01") {
            low += ":00000001FF\n";
            high += ":00000001FF\n";
            continue;
        }
        const int bytes = ExtractLineBytes(line[1], line[2]);
        const int address = ExtractAddressBytes(line[3], line[4], line[5], line[6]);
        char head[32];
        std::snprintf(head, sizeof head, ":%02X%04X00", bytes / 2, address / 2);
        std::string lowData;
        std::string highData;
        for (int k = 0; k < bytes / 2; ++k) {
            lowData += line.substr(9 + 4 * static_cast<std::size_t>(k), 2);
            highData += line.substr(11 + 4 * static_cast<std::size_t>(k), 2);
        }
        low += head + lowData + "00\n";
        high += head + highData + "00\n";
    }
}

class StatusFrontEnd : public FrontEnd {
  public:
    void SetStatus(const std::string& text) override { statuses.push_back(text); }
    std::vector<std::string> statuses;
};

class JobTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir.Write("image.hex", kImage);
        std::string low;
        std::string high;
        SplitImage(kImage, low, high);
        dir.Write("pair.hxl", low);
        dir.Write("pair.hxh", high);
    }
    TempDir dir;
    ChipState chip;
    StatusFrontEnd frontEnd;
};

TEST_F(JobTest, AMergedPairListsAsItsImage) {
    Job image(chip);
    IoError error;
    ASSERT_EQ(image.Open(dir.Path("image.hex"), error), Job::OpenResult::kReady);
    EXPECT_EQ(image.Start(frontEnd).code, kResultOk);

    Job pair(chip);
    pair.Format = InputFormat::kInhx8s;
    ASSERT_EQ(pair.Open(dir.Path("pair.hxl"), error), Job::OpenResult::kReady);
    EXPECT_EQ(pair.InputFileName(), dir.Path("pair.dsm"));
    const RunResult result = pair.Start(frontEnd);
    EXPECT_EQ(result.code, kResultOk);
    EXPECT_EQ(result.outcome.statusText, "[OK]:  4 records disassembled successfully.");
    EXPECT_EQ(dir.Read("pair.dis"), dir.Read("image.dis"));
    EXPECT_FALSE(dir.Read("image.dis").empty());
}

TEST_F(JobTest, StartsOnlyOnceForEachOpenFile) {
    Job job(chip);
    EXPECT_EQ(job.Start(frontEnd).code, kResultOk);
    EXPECT_TRUE(frontEnd.statuses.empty());
    IoError error;
    ASSERT_EQ(job.Open(dir.Path("image.hex"), error), Job::OpenResult::kReady);
    job.Busy = true;
    job.Start(frontEnd);
    EXPECT_TRUE(frontEnd.statuses.empty());
    job.Busy = false;
    job.Start(frontEnd);
    EXPECT_EQ(frontEnd.statuses.size(), 2u);
    EXPECT_FALSE(job.FileReady);
    EXPECT_FALSE(job.Busy);
    job.Start(frontEnd);
    EXPECT_EQ(frontEnd.statuses.size(), 2u);
}

TEST_F(JobTest, AFailedMergeLeavesTheJobAsItWas) {
    dir.Write("bad.hxl", ":0200000001\n:00000001FF\n");
    dir.Write("bad.hxh", ":020000000102\n:00000001FF\n");
    Job job(chip);
    job.Format = InputFormat::kInhx8s;
    IoError error;
    EXPECT_EQ(job.Open(dir.Path("bad.hxl"), error), Job::OpenResult::kMergeFailed);
    EXPECT_FALSE(job.FileReady);
    EXPECT_EQ(job.MergedFileName, dir.Path("bad.dsm"));
    EXPECT_EQ(job.Open(dir.Path("none.hxl"), error), Job::OpenResult::kIoFailed);
    EXPECT_NE(error.Message().find("none.hxl"), std::string::npos);
    EXPECT_FALSE(job.FileReady);
}

TEST(EnhancedCoreHint, OnlyWordsOfThatCoreTell) {
    const struct {
        const char* name;
        const char* image;
        bool hint;
    } cases[] = {
        {"two MOVLB", ":0400000021002200B9\n:00000001FF\n", true},
        {"two erased words", ":04000000FF3FFF3F80\n:00000001FF\n", false},
    };
    for (const auto& c : cases) {
        TempDir dir;
        dir.Write("p.hex", c.image);
        EXPECT_EQ(!EnhancedCoreHint(dir.Path("p.hex"), "", "").empty(), c.hint) << c.name;
    }
}

}  // namespace
}  // namespace tolvek
