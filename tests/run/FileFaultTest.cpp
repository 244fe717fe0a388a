// File-system faults: each ends in a message with the system's reason, the
// earlier listing intact and no temporary file left behind.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/ListingFile.h"
#include "chipdb/ChipData.h"
#include "run/Run.h"
#include "tests/TempDir.h"

namespace tolvek {
namespace {

using testing::AsOrdinaryUser;
using testing::Names;
using testing::TempDir;

// The worked example: five records, 27 words, GOTO and CALL targets.
const char* const kProgram =
    ":10000000860183168601831202308A008C010C0857\r\n"
    ":10001000002286008C0A0A300C06031D07280628D9\r\n"
    ":1004000082073F3406345B344F3466346D347D34B8\r\n"
    ":0604100007347F346F3455\r\n"
    ":00000001FF\r\n";

const std::string kOldListing = "the listing of an earlier run\r\n";

class RecordingFrontEnd : public FrontEnd {
  public:
    std::function<void(const std::string&)> onStatus;
    std::vector<std::string> ioErrors;
    void SetStatus(const std::string& text) override {
        if (onStatus) {
            onStatus(text);
        }
    }
    void ShowIoError(const IoError& error) override { ioErrors.push_back(error.Message()); }
};

struct RunOutcome {
    RunResult result;
    std::vector<std::string> ioErrors;
};

RunOutcome Disassemble(const std::string& input, const std::string& listingPath = {},
                       std::function<void(const std::string&)> onStatus = {}) {
    ChipState chip;
    Disassembler engine(chip);
    engine.InputFileName = input;
    engine.ListingPath = listingPath;
    RecordingFrontEnd frontEnd;
    frontEnd.onStatus = std::move(onStatus);
    RunOutcome run;
    run.result = engine.Run(frontEnd);
    run.ioErrors = frontEnd.ioErrors;
    return run;
}

// The run failed with an I/O error whose message names the file and the reason.
void ExpectIoFailure(const RunOutcome& run, const std::string& file, const std::string& reason) {
    EXPECT_TRUE(run.result.io);
    EXPECT_NE(run.result.io.Message().find("\"" + file + "\""), std::string::npos)
        << run.result.io.Message();
    EXPECT_NE(run.result.io.Message().find(reason), std::string::npos) << run.result.io.Message();
    ASSERT_EQ(run.ioErrors.size(), 1u);
    EXPECT_EQ(run.ioErrors[0], run.result.io.Message());
}

// A write function that fails after letting `allowed` calls through.
int g_writesAllowed = 0;
std::size_t FailingWrite(const void* data, std::size_t size, std::FILE* file) {
    if (g_writesAllowed-- > 0) {
        return std::fwrite(data, 1, size, file);
    }
    errno = ENOSPC;
    return size / 2;
}

class WriteFailure {
  public:
    explicit WriteFailure(int allowed) {
        g_writesAllowed = allowed;
        ListingFile::writeFunction = FailingWrite;
    }
    ~WriteFailure() { ListingFile::writeFunction = saved_; }
    WriteFailure(const WriteFailure&) = delete;
    WriteFailure& operator=(const WriteFailure&) = delete;

  private:
    ListingFile::WriteFunction saved_ = ListingFile::writeFunction;
};

class FileFaults : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_.Write("prog.hex", kProgram);
        dir_.Write("prog.dis", kOldListing);
    }
    // The earlier listing is untouched and only the given files are there.
    void ExpectUntouched(const std::vector<std::string>& names = {"prog.dis", "prog.hex"}) {
        EXPECT_EQ(dir_.Read("prog.dis"), kOldListing);
        EXPECT_EQ(Names(dir_.Path("")), names);
    }
    TempDir dir_;
};

TEST_F(FileFaults, MissingInputIsReportedWithTheSystemsReason) {
    unlink((dir_.Path("prog.hex")).c_str());
    const RunOutcome run = Disassemble(dir_.Path("prog.hex"));
    ExpectIoFailure(run, dir_.Path("prog.hex"), "No such file or directory");
    ExpectUntouched({"prog.dis"});
}

TEST_F(FileFaults, DirectoryAsInputIsRefused) {
    unlink((dir_.Path("prog.hex")).c_str());
    ASSERT_EQ(mkdir((dir_.Path("prog.hex")).c_str(), 0755), 0);
    const RunOutcome run = Disassemble(dir_.Path("prog.hex"));
    ExpectIoFailure(run, dir_.Path("prog.hex"), "Is a directory");
    ExpectUntouched();
}

TEST_F(FileFaults, FifoAsInputIsRefusedWithoutWaitingForAWriter) {
    unlink((dir_.Path("prog.hex")).c_str());
    ASSERT_EQ(mkfifo((dir_.Path("prog.hex")).c_str(), 0644), 0);
    const RunOutcome run = Disassemble(dir_.Path("prog.hex"));
    ExpectIoFailure(run, dir_.Path("prog.hex"), "not a regular file");
    ExpectUntouched();
}

TEST_F(FileFaults, EndlessDeviceAsInputIsRefused) {
    const RunOutcome run = Disassemble("/dev/zero", dir_.Path("prog.dis"));
    ExpectIoFailure(run, "/dev/zero", "not a regular file");
    ExpectUntouched();
}

TEST_F(FileFaults, InputThatDisappearsBeforeTheBuildingPass) {
    const RunOutcome run =
        Disassemble(dir_.Path("prog.hex"), {}, [this](const std::string& status) {
            if (status == "Building file.") {
                unlink((dir_.Path("prog.hex")).c_str());
            }
        });
    ExpectIoFailure(run, dir_.Path("prog.hex"), "No such file or directory");
    ExpectUntouched({"prog.dis"});
}

TEST_F(FileFaults, InputThatTurnsIntoADirectoryBeforeTheBuildingPass) {
    const RunOutcome run =
        Disassemble(dir_.Path("prog.hex"), {}, [this](const std::string& status) {
            if (status == "Building file.") {
                unlink((dir_.Path("prog.hex")).c_str());
                mkdir((dir_.Path("prog.hex")).c_str(), 0755);
            }
        });
    ExpectIoFailure(run, dir_.Path("prog.hex"), "Is a directory");
    ExpectUntouched();
}

TEST_F(FileFaults, ListingFolderThatDoesNotExist) {
    const std::string listing = dir_.Path("missing/prog.dis");
    const RunOutcome run = Disassemble(dir_.Path("prog.hex"), listing);
    ExpectIoFailure(run, listing, "No such file or directory");
    ExpectUntouched();
}

TEST_F(FileFaults, ListingFolderWhereNoFileCanBeCreated) {
    // root ignores permission bits, but /proc takes no new files from anyone
    const RunOutcome run = Disassemble(dir_.Path("prog.hex"), "/proc/tolvek-test.dis");
    ExpectIoFailure(run, "/proc/tolvek-test.dis", "");
    EXPECT_NE(access("/proc/tolvek-test.dis", F_OK), 0);
    ExpectUntouched();
}

TEST_F(FileFaults, ListingPathThatIsADirectory) {
    ASSERT_EQ(mkdir((dir_.Path("out.dis")).c_str(), 0755), 0);
    const RunOutcome run = Disassemble(dir_.Path("prog.hex"), dir_.Path("out.dis"));
    ExpectIoFailure(run, dir_.Path("out.dis"), "Is a directory");
    ExpectUntouched({"out.dis", "prog.dis", "prog.hex"});
    EXPECT_TRUE(Names(dir_.Path("out.dis")).empty());
}

// A disk that fills at the first write, or after some of a long listing is out.
TEST_F(FileFaults, DiskFullWhileTheListingIsWritten) {
    std::string big;
    for (int i = 0; i < 4000; ++i) {
        big += ":10000000860183168601831202308A008C010C0857\r\n";
    }
    big += ":00000001FF\r\n";
    dir_.Write("prog.hex", big);
    for (const int allowed : {0, 1, 3}) {
        SCOPED_TRACE(allowed);
        WriteFailure failure(allowed);
        const RunOutcome run = Disassemble(dir_.Path("prog.hex"));
        ExpectIoFailure(run, dir_.Path("prog.dis"), "No space left on device");
        ExpectUntouched();
    }
}

TEST_F(FileFaults, FullDeviceAsListingKeepsTheDevice) {
    const RunOutcome run = Disassemble(dir_.Path("prog.hex"), "/dev/full");
    ExpectIoFailure(run, "/dev/full", "No space left on device");
    struct stat info {};
    ASSERT_EQ(stat("/dev/full", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
    ExpectUntouched();
}

TEST_F(FileFaults, FifoWithoutReaderAsListingFailsAtOnce) {
    ASSERT_EQ(mkfifo((dir_.Path("out.dis")).c_str(), 0644), 0);
    const RunOutcome run = Disassemble(dir_.Path("prog.hex"), dir_.Path("out.dis"));
    ExpectIoFailure(run, dir_.Path("out.dis"), "No such device or address");
    ExpectUntouched({"out.dis", "prog.dis", "prog.hex"});
}

TEST_F(FileFaults, TakenTemporaryNamesAreNeitherUsedNorTouched) {
    // files that look like temporary listings, from another run or the user
    dir_.Write(".prog.dis.AAAAAA", "someone's file");
    dir_.Write(".prog.dis.XXXXXX", "someone else's file");
    // two listings of one name open at once get two temporary files
    ListingFile first;
    ListingFile second;
    ASSERT_TRUE(first.Open(dir_.Path("prog.dis")));
    ASSERT_TRUE(second.Open(dir_.Path("prog.dis")));
    EXPECT_EQ(Names(dir_.Path("")).size(), 6u);
    first.WriteLine("first");
    second.WriteLine("second");
    ASSERT_TRUE(first.Commit());
    ASSERT_TRUE(second.Commit());
    EXPECT_EQ(dir_.Read("prog.dis"), "second\r\n");
    EXPECT_EQ(dir_.Read(".prog.dis.AAAAAA"), "someone's file");
    EXPECT_EQ(dir_.Read(".prog.dis.XXXXXX"), "someone else's file");
    EXPECT_EQ(
        Names(dir_.Path("")),
        (std::vector<std::string>{".prog.dis.AAAAAA", ".prog.dis.XXXXXX", "prog.dis", "prog.hex"}));
}

TEST_F(FileFaults, FailedRunRemovesItsTemporaryFile) {
    dir_.Write("prog.hex", std::string(kProgram) + "garbage\r\n");
    // the checking pass succeeds; the input then loses its end record
    const RunOutcome run =
        Disassemble(dir_.Path("prog.hex"), {}, [this](const std::string& status) {
            if (status == "Building file.") {
                dir_.Write("prog.hex", ":10000000860183168601831202308A008C010C0857\r\n");
            }
        });
    EXPECT_FALSE(run.result.io);
    EXPECT_EQ(run.result.code, kResultNoEof);
    ExpectUntouched();
}

TEST_F(FileFaults, ListingTheUserMayNotWriteIsLeftAlone) {
    ASSERT_EQ(chmod(dir_.Path("prog.dis").c_str(), 0444), 0);
    const bool refused =
        AsOrdinaryUser({dir_.Path(""), dir_.Path("prog.hex"), dir_.Path("prog.dis")}, [this] {
            const RunOutcome run = Disassemble(dir_.Path("prog.hex"));
            if (!run.result.io) {
                std::fprintf(stderr, "the run replaced the write-protected listing\n");
            }
            return run.result.io &&
                   run.result.io.Message().find(dir_.Path("prog.dis")) != std::string::npos &&
                   run.result.io.Message().find("Permission denied") != std::string::npos;
        });
    EXPECT_TRUE(refused);
    ExpectUntouched();
    struct stat info {};
    ASSERT_EQ(stat(dir_.Path("prog.dis").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0444u);
}

// A listing with a second name is written in place, so both names see the new
// listing; a replaced listing keeps its owner and group where the system lets us.
TEST_F(FileFaults, ListingKeepsItsLinksOwnerAndGroup) {
    const bool root = geteuid() == 0;
    for (const bool linked : {false, true}) {
        SCOPED_TRACE(linked ? "two links" : "one link");
        dir_.Write("prog.dis", kOldListing);
        unlink(dir_.Path("copy.dis").c_str());
        if (linked) {
            ASSERT_EQ(link(dir_.Path("prog.dis").c_str(), dir_.Path("copy.dis").c_str()), 0);
        }
        if (root) {
            ASSERT_EQ(chown(dir_.Path("prog.dis").c_str(), 12345, 23456), 0);
        }
        struct stat before {};
        ASSERT_EQ(stat(dir_.Path("prog.dis").c_str(), &before), 0);
        const RunOutcome run = Disassemble(dir_.Path("prog.hex"));
        ASSERT_FALSE(run.result.io) << run.result.io.Message();
        struct stat after {};
        ASSERT_EQ(stat(dir_.Path("prog.dis").c_str(), &after), 0);
        EXPECT_NE(dir_.Read("prog.dis"), kOldListing);
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(after.st_gid, before.st_gid);
        EXPECT_EQ(after.st_mode, before.st_mode);
        if (linked) {
            EXPECT_EQ(after.st_ino, before.st_ino);
            EXPECT_EQ(after.st_nlink, 2u);
            EXPECT_EQ(dir_.Read("copy.dis"), dir_.Read("prog.dis"));
        }
        EXPECT_EQ(Names(dir_.Path("")).size(), linked ? 3u : 2u);  // no temporary file left
    }
}

}  // namespace
}  // namespace tolvek
