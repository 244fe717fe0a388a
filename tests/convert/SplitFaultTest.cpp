// File-system faults of the INHX8S merge: each is an input/output error naming
// the file and the system's reason, and leaves no merged file behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "convert/SplitMerge.h"
#include "tests/TempDir.h"

namespace tolvek {
namespace {

using testing::AsOrdinaryUser;
using testing::Names;
using testing::TempDir;

const std::string kOldListing = "the listing of an earlier run\r\n";

// INHX8S pairs.
class SplitFaults : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_.Write("prog.hxl", ":020010000A0BXX\r\n:00000001FF\r\n");
        dir_.Write("prog.hxh", ":020010002830XX\r\n:00000001FF\r\n");
        dir_.Write("prog.dis", kOldListing);
    }
    bool Merge(const std::string& chosen = "prog.hxl") {
        return ConvertSplitHexToHex(dir_.Path(chosen), state_);
    }
    TempDir dir_;
    MergeState state_;
};

// Whatever keeps the partner from opening, the pair is incomplete: the format's
// data error, with the system's reason beside it; a FIFO or device is refused
// at once, and the merged file is not touched.
TEST_F(SplitFaults, PartnerThatCannotBeOpenedIsTheFormatsDataError) {
    struct Case {
        const char* name;
        std::function<void(const std::string&)> make;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"missing", [](const std::string&) {}, "No such file or directory"},
        {"directory", [](const std::string& p) { mkdir(p.c_str(), 0755); }, "Is a directory"},
        {"fifo", [](const std::string& p) { mkfifo(p.c_str(), 0644); }, "not a regular file"},
        {"device", [](const std::string& p) { symlink("/dev/zero", p.c_str()); },
         "not a regular file"},
        {"dangling link", [](const std::string& p) { symlink("nowhere", p.c_str()); },
         "No such file or directory"},
    };
    dir_.Write("prog.dsm", "an earlier merge");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        unlink((dir_.Path("prog.hxh")).c_str());
        rmdir((dir_.Path("prog.hxh")).c_str());
        c.make(dir_.Path("prog.hxh"));
        EXPECT_FALSE(Merge());
        EXPECT_FALSE(state_.io) << state_.io.Message();
        const std::string expected = dir_.Path("prog.hxh") + "\": " + c.reason;
        EXPECT_NE(state_.partner.Message().find(expected), std::string::npos)
            << state_.partner.Message();
        EXPECT_EQ(dir_.Read("prog.dsm"), "an earlier merge");
    }
    // a partner the user may not read
    dir_.Write("prog.hxh", ":020010002830XX\r\n:00000001FF\r\n");
    ASSERT_EQ(chmod(dir_.Path("prog.hxh").c_str(), 0), 0);
    EXPECT_TRUE(AsOrdinaryUser(
        {dir_.Path(""), dir_.Path("prog.hxl"), dir_.Path("prog.hxh"), dir_.Path("prog.dsm")},
        [this] {
            return !Merge() && !state_.io && state_.partner.Reason() == "Permission denied";
        }));
}

// The partner of a ".hxh" file is the file itself: its high bytes would be read
// as the low bytes. No pair, and nothing written.
TEST_F(SplitFaults, ChosenFileThatIsItsOwnPartner) {
    ASSERT_EQ(link(dir_.Path("prog.hxh").c_str(), dir_.Path("linked.hxl").c_str()), 0);
    ASSERT_EQ(link(dir_.Path("prog.hxh").c_str(), dir_.Path("linked.hxh").c_str()), 0);
    for (const char* chosen : {"prog.hxh", "linked.hxl"}) {
        SCOPED_TRACE(chosen);
        EXPECT_FALSE(Merge(chosen));
        EXPECT_FALSE(state_.io);
        EXPECT_EQ(Names(dir_.Path("")),
                  (std::vector<std::string>{"linked.hxh", "linked.hxl", "prog.dis", "prog.hxh",
                                            "prog.hxl"}));
    }
}

TEST_F(SplitFaults, ChosenFileThatCannotBeRead) {
    ASSERT_EQ(mkdir((dir_.Path("dir.hxl")).c_str(), 0755), 0);
    EXPECT_FALSE(Merge("dir.hxl"));
    EXPECT_TRUE(state_.io);
    EXPECT_NE(state_.io.Message().find("Is a directory"), std::string::npos);
    EXPECT_FALSE(Merge("none.hxl"));
    EXPECT_TRUE(state_.io);
    EXPECT_NE(state_.io.Message().find("No such file or directory"), std::string::npos);
}

TEST_F(SplitFaults, MergedFileThatIsAFifoIsRefusedWithoutWaiting) {
    ASSERT_EQ(mkfifo((dir_.Path("prog.dsm")).c_str(), 0644), 0);
    EXPECT_FALSE(Merge());
    EXPECT_TRUE(state_.io);
    EXPECT_NE(state_.io.Message().find("not a regular file"), std::string::npos);
}

}  // namespace
}  // namespace tolvek
