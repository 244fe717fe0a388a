#include "convert/SplitMerge.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "base/Conversions.h"
#include "base/InputFile.h"
#include "base/LineReader.h"
#include "base/Paths.h"

namespace tolvek {

namespace {

constexpr std::size_t kShortestLine = 11;
constexpr std::size_t kLongestLine = 43;
constexpr int kBytesPerRecord = 16;
// Merged addresses have four hexadecimal digits.
constexpr long kLastMergedAddress = 0xFFFF;

class File {
  public:
    explicit File(std::FILE* file) : file_(file) {}
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File() { Close(); }
    std::FILE* get() const { return file_; }
    bool Close() {
        const bool ok = file_ == nullptr || std::fclose(file_) == 0;
        file_ = nullptr;
        return ok;
    }

  private:
    std::FILE* file_;
};

bool Fail(MergeState& state, IoError error) {
    state.io = std::move(error);
    return false;
}

bool Fail(MergeState& state, const std::string& what, const std::string& path, int error) {
    return Fail(state, IoError::FromErrno(what, path, error));
}

// Creates or empties the merged file. Only a regular file is written: a FIFO
// would block the open, and a device is no place for it.
std::FILE* CreateMergedFile(const std::string& path, std::string& reason) {
    struct stat existing {};
    if (stat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
        reason = S_ISDIR(existing.st_mode) ? std::strerror(EISDIR) : "not a regular file";
        return nullptr;
    }
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        reason = std::strerror(errno);
        return nullptr;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ftruncate(fd, 0) != 0) {
        reason = S_ISREG(info.st_mode) ? std::strerror(errno) : "not a regular file";
        close(fd);
        return nullptr;
    }
    std::FILE* file = BlockingWriteStream(fd);
    if (file == nullptr) {
        reason = std::strerror(errno);
    }
    return file;
}

// Stores a finished record in the first free one of the two record fields.
bool StoreRecord(MergeState& state, int byteCount, long address, const std::string& data) {
    if (address > kLastMergedAddress) {
        return false;  // four digits cannot hold it; cutting it would move the code
    }
    std::string record = byteCount == kBytesPerRecord ? std::string("10") : DecToHex(byteCount);
    record += FormatFour(DecToHex(address));
    record += "00";
    record += data;
    record += "XX";
    CutText(record);
    (state.FirstMergedRecord.empty() ? state.FirstMergedRecord : state.SecondMergedRecord) = record;
    return true;
}

}  // namespace

std::string PartnerFileName(std::string_view chosen) {
    return ExtractFileDir(chosen) + ExtractFileName(chosen) + ".hxh";
}

std::string MergedName(std::string_view chosen) {
    return ExtractFileDir(chosen) + ExtractFileName(chosen) + ".dsm";
}

bool ConvertSplitToSingle(std::string_view high, std::string_view low, MergeState& state) {
    state.FirstMergedRecord.clear();
    state.SecondMergedRecord.clear();
    if (high.empty() || high[0] != ':' || low.empty() || low[0] != ':') {
        return false;
    }
    // the high line's address counts words; the low line's address is not read
    long address = std::stol(HexToDec(high.substr(3 < high.size() ? 3 : high.size()))) * 2;
    const std::size_t dataEnd = high.size() >= 2 ? high.size() - 2 : 0;
    std::string data;
    int count = 0;
    for (std::size_t p = 9; p < dataEnd; p += 2) {
        if (p + 1 >= dataEnd || p + 1 >= low.size()) {
            return false;  // an odd number of data characters
        }
        data += low.substr(p, 2);
        data += high.substr(p, 2);
        count += 2;
        if (count == kBytesPerRecord) {
            if (!StoreRecord(state, count, address, data)) {
                return false;
            }
            data.clear();
            count = 0;
            address += kBytesPerRecord;
        }
    }
    if (count > 0 && !StoreRecord(state, count, address, data)) {
        return false;
    }
    return true;
}

bool ConvertSplitHexToHex(const std::string& chosen, MergeState& state) {
    state.io = IoError();
    state.partner = IoError();
    IoError error;
    File lowFile(OpenInputFile(chosen, "Cannot open the input file", error));
    state.MergedFileName = MergedName(chosen);
    if (lowFile.get() == nullptr) {
        return Fail(state, error);
    }
    const std::string partner = PartnerFileName(chosen);
    std::error_code sameError;
    if (std::filesystem::equivalent(chosen, partner, sameError)) {
        return false;  // its high bytes would be read as the low bytes: no pair
    }
    // whatever keeps the partner from opening, the pair is incomplete
    File highFile(OpenInputFile(partner, "Cannot open the partner file", state.partner));
    if (highFile.get() == nullptr) {
        return false;
    }
    if (std::filesystem::equivalent(chosen, state.MergedFileName, sameError)) {
        // creating the merged file would empty the chosen file before it is read
        return Fail(state, IoError("Cannot create the merged file", state.MergedFileName,
                                   "it is the chosen file"));
    }
    std::string reason;
    File merged(CreateMergedFile(state.MergedFileName, reason));
    if (merged.get() == nullptr) {
        return Fail(state, IoError("Cannot create the merged file", state.MergedFileName, reason));
    }
    LineReader lows(lowFile.get());
    LineReader highs(highFile.get());
    std::string low;
    std::string high;
    std::string out;
    bool result = false;
    for (;;) {
        const bool lowEnd = lows.AtEnd();
        const bool highEnd = highs.AtEnd();
        if (lows.Failed()) {
            return Fail(state, "Cannot read the input file", chosen, lows.Error());
        }
        if (highs.Failed()) {
            return Fail(state, "Cannot read the input file", partner, highs.Error());
        }
        if (lowEnd || highEnd) {
            break;  // a pair is complete only with its end lines
        }
        highs.ReadLine(high);
        lows.ReadLine(low);
        if (high.size() > kLongestLine || low.size() > kLongestLine ||
            high.size() < kShortestLine || low.size() < kShortestLine ||
            high.size() != low.size()) {
            break;
        }
        if (high.size() == kShortestLine) {
            out += ":00000001FF\r\n";
            result = true;
            break;
        }
        if (!ConvertSplitToSingle(high, low, state)) {
            break;
        }
        for (const std::string* record : {&state.FirstMergedRecord, &state.SecondMergedRecord}) {
            if (!record->empty()) {
                out += ':';
                out += *record;
                out += "\r\n";
            }
        }
        if (out.size() >= (1 << 16)) {
            if (std::fwrite(out.data(), 1, out.size(), merged.get()) != out.size()) {
                return Fail(state, "Cannot write the merged file", state.MergedFileName, errno);
            }
            out.clear();
        }
    }
    if (!out.empty() && std::fwrite(out.data(), 1, out.size(), merged.get()) != out.size()) {
        return Fail(state, "Cannot write the merged file", state.MergedFileName, errno);
    }
    if (!merged.Close()) {
        return Fail(state, "Cannot write the merged file", state.MergedFileName, errno);
    }
    return result;
}

}  // namespace tolvek
