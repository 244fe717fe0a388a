// Limits: huge lines and files, chip data of any size, NUL bytes and bytes
// above 127. Each has a defined result, and the run's memory does not grow with
// the size of its input.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <fstream>
#include <string>
#include <vector>

#include "chipdb/ChipData.h"
#include "run/Record.h"
#include "run/Run.h"
#include "tests/TempDir.h"

extern char** environ;

namespace tolvek {
namespace {

using testing::TempDir;

struct Outcome {
    RunResult result;
    std::string lineLab;
    std::string lineData;
};

Outcome RunOn(const std::string& path) {
    ChipState chip;
    Disassembler engine(chip);
    engine.InputFileName = path;
    engine.ListingPath = "/dev/null";
    FrontEnd frontEnd;
    Outcome outcome;
    outcome.result = engine.Run(frontEnd);
    outcome.lineLab = outcome.result.outcome.lineNumber;
    outcome.lineData = outcome.result.outcome.line;
    return outcome;
}

const std::string kRecord = ":10000000860183168601831202308A008C010C0857";

TEST(Limits, LineOfMegabytesIsALengthErrorShownByItsFirst255Characters) {
    struct Case {
        const char* name;
        std::string before;
        const char* lineLab;
    };
    const std::vector<Case> cases = {
        {"first line", "", "LineNumber  0"},
        {"after three records", kRecord + "\n" + kRecord + "\r\n" + kRecord + "\r",
         "LineNumber  3"},
    };
    std::string huge(8 << 20, '0');
    huge[0] = ':';
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.Write("prog.hex", c.before + huge + "\r\n:00000001FF\r\n");
        const Outcome outcome = RunOn(dir.Path("prog.hex"));
        EXPECT_FALSE(outcome.result.io);
        EXPECT_EQ(outcome.result.code, kResultLineLength);
        EXPECT_EQ(outcome.lineLab, c.lineLab);
        EXPECT_EQ(outcome.lineData, huge.substr(0, 255));
    }
}

TEST(Limits, NulBytesAndBytesAbove127HaveDefinedResults) {
    using namespace std::string_literals;
    struct Case {
        const char* name;
        std::string file;
        int code;
    };
    const std::vector<Case> cases = {
        {"only NUL bytes, no line end", std::string(1 << 20, '\0'), kResultLineLength},
        {"a NUL line", "\0\r\n:00000001FF\r\n"s, kResultNoColon},
        {"a NUL before the colon", "\0:00000001FF\r\n"s, kResultNoColon},
        {"a NUL in the byte count", ":\0"s + "0000001FF\r\n", kResultByteField},
        {"a NUL in the data", ":0200000086\0"s + "1XX\r\n:00000001FF\r\n", kResultCodeData},
        // the checks read the line through a NUL-padded buffer: a NUL ends it there
        {"a NUL after a whole record", ":020000008601XX\0"s + "garbage\r\n:00000001FF\r\n",
         kResultOk},
        {"a NUL where the checksum goes", ":0200000086010\0\r\n:00000001FF\r\n"s,
         kResultByteCountLess},
        {"bytes above 127 in the data", ":02000000\x86\x80\x81\x82XX\r\n:00000001FF\r\n",
         kResultCodeData},
        {"bytes above 127 in the address",
         ":02\xff\xff\xff\xff"
         "008601XX\r\n",
         kResultAddressField},
        {"bytes above 127 after the end record", ":00000001FF\xff\xfe\r\n\xff\xff\r\n", kResultOk},
        {"only bytes above 127", std::string(100, '\xC8'), kResultLineLength},
        {"a line of 44 bytes above 127", std::string(44, '\xA0') + "\r\n", kResultLineLength},
        {"a line of 43 bytes above 127", std::string(43, '\xA0') + "\r\n", kResultNoColon},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.Write("prog.hex", c.file);
        const Outcome outcome = RunOn(dir.Path("prog.hex"));
        EXPECT_FALSE(outcome.result.io) << outcome.result.io.Message();
        EXPECT_EQ(outcome.result.code, c.code);
        EXPECT_LE(outcome.lineData.size(), 255u);
    }
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// Peak resident memory in KB of tolvek-cli on a file, its listing discarded.
long PeakMemoryKb(const std::string& input) {
    const std::vector<std::string> args = {TOLVEK_CLI, "--no-chipdat", "-o", "/dev/null", input};
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, TOLVEK_CLI, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return -1;
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return -1;
    }
    return usage.ru_maxrss;
}

void WriteProgram(const std::string& path, std::size_t megabytes) {
    std::string block;
    for (int address = 0; address < 0x4000; address += 16) {
        char record[64];
        std::snprintf(record, sizeof record, ":10%04X00860183168601831202308A00%02X280728XX\n",
                      address, address / 32 & 0xFF);
        block += record;
    }
    std::ofstream file(path, std::ios::binary);
    for (std::size_t written = 0; written < megabytes << 20; written += block.size()) {
        file << block;
    }
    file << ":00000001FF\n";
}

TEST(Limits, MemoryDoesNotGrowWithTheInput) {
    if (kSanitized) {
        GTEST_SKIP() << "the sanitizers hold freed memory back";
    }
    TempDir dir;
    WriteProgram(dir.Path("small.hex"), 1);
    WriteProgram(dir.Path("large.hex"), 48);
    const long small = PeakMemoryKb(dir.Path("small.hex"));
    const long large = PeakMemoryKb(dir.Path("large.hex"));
    ASSERT_GT(small, 0);
    ASSERT_GT(large, 0);
    RecordProperty("small_peak_kb", std::to_string(small));
    RecordProperty("large_peak_kb", std::to_string(large));
    std::printf("peak memory: %ld KB for 1 MB, %ld KB for 48 MB\n", small, large);
    // 48 times the input, the same peak give or take a little
    EXPECT_LT(large, small + 2048) << "1 MB: " << small << " KB, 48 MB: " << large << " KB";
}

}  // namespace
}  // namespace tolvek
