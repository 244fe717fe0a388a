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

using testing::TempDir;

const std::string kOldListing = "the listing of an earlier run\r\n";

// Every name in a folder, hidden ones too, sorted.
std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

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

TEST_F(SplitFaults, MissingPartnerIsTheFormatsDataError) {
    unlink((dir_.Path("prog.hxh")).c_str());
    EXPECT_FALSE(Merge());
    EXPECT_FALSE(state_.io);
    EXPECT_EQ(Names(dir_.Path("")), (std::vector<std::string>{"prog.dis", "prog.hxl"}));
}

TEST_F(SplitFaults, PartnerThatCannotBeReadIsAnIoError) {
    struct Case {
        const char* name;
        std::function<void(const std::string&)> make;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"directory", [](const std::string& p) { mkdir(p.c_str(), 0755); }, "Is a directory"},
        {"fifo", [](const std::string& p) { mkfifo(p.c_str(), 0644); }, "not a regular file"},
        {"dangling link", [](const std::string& p) { symlink("nowhere", p.c_str()); },
         "No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        unlink((dir_.Path("prog.hxh")).c_str());
        rmdir((dir_.Path("prog.hxh")).c_str());
        c.make(dir_.Path("prog.hxh"));
        EXPECT_FALSE(Merge());
        if (std::string(c.name) == "dangling link") {
            EXPECT_FALSE(state_.io);  // the partner is missing
        } else {
            EXPECT_TRUE(state_.io);
            EXPECT_NE(state_.io.Message().find(dir_.Path("prog.hxh")), std::string::npos);
            EXPECT_NE(state_.io.Message().find(c.reason), std::string::npos) << state_.io.Message();
        }
        EXPECT_EQ(access((dir_.Path("prog.dsm")).c_str(), F_OK), -1);
        EXPECT_EQ(dir_.Read("prog.dis"), kOldListing);
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
