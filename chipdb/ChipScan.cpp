#include "chipdb/ChipScan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/Conversions.h"
#include "base/InputFile.h"
#include "base/ReadBuffer.h"
#include "chipdb/ChipData.h"

namespace tolvek {

namespace {

// A line's first kMaxText characters, its CR LF and one character more: enough
// to tell whether a line that begins with "[" lists a chip.
constexpr std::size_t kLookahead = kMaxText + 3;

// The part of the file being looked at: what is left of the last piece and the
// piece read behind it. A NUL ends the text, as it ends ChipLines.
class Window {
  public:
    Window(int fd, std::size_t piece)
        : fd_(fd), capacity_(std::max<std::size_t>(piece, 1) + kLookahead), buffer_(capacity_) {}

    const char* Data() const { return buffer_.get(); }
    std::size_t Size() const { return size_; }
    bool AtEnd() const { return end_; }
    // The character before Data()[0]; a line starts at the beginning of the file.
    char Before() const { return before_; }
    std::size_t BytesRead() const { return read_; }
    int Error() const { return error_; }

    // Drops what stands before `keep` and reads the next piece behind the rest;
    // false on a read error.
    bool Advance(std::size_t keep) {
        if (keep > 0) {
            before_ = buffer_[keep - 1];
        }
        std::memmove(buffer_.get(), buffer_.get() + keep, size_ - keep);
        size_ -= keep;
        for (;;) {
            const ssize_t got = read(fd_, buffer_.get() + size_, capacity_ - size_);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                error_ = errno != 0 ? errno : EIO;
                return false;
            }
            if (got == 0) {
                end_ = true;
                return true;
            }
            const std::size_t count = static_cast<std::size_t>(got);
            read_ += count;
            if (const void* nul = std::memchr(buffer_.get() + size_, '\0', count)) {
                size_ = static_cast<std::size_t>(static_cast<const char*>(nul) - buffer_.get());
                end_ = true;
                return true;
            }
            size_ += count;
            return true;
        }
    }

  private:
    int fd_;
    std::size_t capacity_;
    ReadBuffer buffer_;
    std::size_t size_ = 0;
    std::size_t read_ = 0;
    char before_ = '\n';
    bool end_ = false;
    int error_ = 0;
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

ChipScan ScanChipFile(const std::string& path, ChipScan::Want want, std::string_view name,
                      const std::function<bool(std::string_view)>& alike, std::size_t piece) {
    using Want = ChipScan::Want;
    ChipScan scan;
    static const std::string kWhat = "Cannot read the chip data";
    const std::unique_ptr<std::FILE, FileCloser> file(OpenInputFile(path, kWhat, scan.error));
    if (!file) {
        scan.result = ChipScan::Result::kUnreadable;
        return scan;
    }
    // a file that could reach the size or line limits is judged whole
    struct stat info {};
    if (fstat(fileno(file.get()), &info) != 0 ||
        static_cast<std::size_t>(info.st_size) > kMaxChipLines) {
        return scan;
    }

    Window window(fileno(file.get()), piece);
    bool found = false;     // kFirst: a chip chosen so far; kNamed: the name itself
    std::string alikeName;  // kNamed: the first chip in list order that is alike
    std::string alikeSection;
    std::string* capture = nullptr;  // the section being copied out, if any
    std::size_t captureFrom = 0;     // where it starts in the window
    const auto advance = [&](std::size_t keep) {
        if (capture != nullptr) {
            capture->append(window.Data() + captureFrom, keep - captureFrom);
            captureFrom = 0;
        }
        return window.Advance(keep);
    };
    std::size_t position = 0;
    for (;;) {
        if (window.BytesRead() > kMaxChipLines) {
            return ChipScan{};  // it grew while being read
        }
        const char* const data = window.Data();
        const std::size_t size = window.Size();
        const void* bracket =
            position < size ? std::memchr(data + position, '[', size - position) : nullptr;
        if (bracket == nullptr) {
            if (window.AtEnd()) {
                break;
            }
            if (!advance(size)) {
                break;
            }
            position = 0;
            continue;
        }
        const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(bracket) - data);
        if (!window.AtEnd() && size - at < kLookahead) {
            if (!advance(at)) {
                break;
            }
            position = 0;
            continue;
        }
        position = at + 1;
        // the first "[" after the captured section's line closes the section
        if (capture != nullptr) {
            capture->append(data + captureFrom, at + 1 - captureFrom);
            const bool named = want == Want::kNamed && capture == &scan.section;
            capture = nullptr;
            if (named) {
                scan.result = ChipScan::Result::kDone;
                return scan;
            }
        }
        const char before = at > 0 ? data[at - 1] : window.Before();
        if (before != '\n' && before != '\r') {
            continue;
        }
        // Only a line of at most kMaxText characters, "[" name "]" with its
        // first "]" last and another line after it, lists a chip.
        const char* const line = data + at;
        const std::size_t rest = size - at;
        const std::size_t examined = std::min(rest, kMaxText + 1);
        const char* end = static_cast<const char*>(std::memchr(line, '\n', examined));
        const std::size_t limit = end != nullptr ? static_cast<std::size_t>(end - line) : examined;
        if (const void* cr = std::memchr(line, '\r', limit)) {
            end = static_cast<const char*>(cr);
        }
        if (end == nullptr) {
            if (rest > kMaxText && std::memchr(line, ']', kMaxText) == line + kMaxText - 1) {
                return ChipScan{};  // its first 255 characters list a name no section has
            }
            continue;  // a longer line, or the last line of the text
        }
        const std::size_t length = static_cast<std::size_t>(end - line);
        if (length < 3 || std::memchr(line, ']', length) != end - 1) {
            continue;
        }
        std::size_t next = at + length + 1;
        if (*end == '\r' && next < size && data[next] == '\n') {
            ++next;
        }
        if (next >= size) {
            continue;  // the last line of the text is not listed
        }
        const std::string_view chip(line + 1, length - 2);
        position = at + length;
        if (want == Want::kList) {
            scan.names.emplace_back(chip);
            continue;
        }
        if (want == Want::kFirst ? !found || ChipNameBefore(chip, scan.name) : chip == name) {
            found = true;
            scan.name = std::string(chip);
            scan.section.clear();
            capture = &scan.section;
            captureFrom = at;
        } else if (want == Want::kNamed && alike &&
                   (alikeName.empty() || ChipNameBefore(chip, alikeName)) && alike(chip)) {
            alikeName = std::string(chip);
            alikeSection.clear();
            capture = &alikeSection;
            captureFrom = at;
        }
    }
    if (window.Error() != 0) {
        scan.result = ChipScan::Result::kUnreadable;
        scan.error = IoError::FromErrno(kWhat, path, window.Error());
        return scan;
    }
    if (capture != nullptr) {
        capture->append(window.Data() + captureFrom, window.Size() - captureFrom);
    }
    if (want == Want::kNamed && !found && !alikeName.empty()) {
        found = true;
        scan.name = std::move(alikeName);
        scan.section = std::move(alikeSection);
    }
    if (want == Want::kList) {
        std::stable_sort(
            scan.names.begin(), scan.names.end(),
            [](const std::string& a, const std::string& b) { return ChipNameBefore(a, b); });
    } else if (!found) {
        return ChipScan{};
    }
    scan.result = ChipScan::Result::kDone;
    return scan;
}

}  // namespace tolvek
