// Writes the listing safely: into a temporary file beside it, moved over the
// listing only when the building pass completes, so a failed run never leaves a
// truncated listing or harms an earlier one. An earlier listing that the user
// may not write is left alone, and one with several names (hard links) gets the
// finished listing copied into it, so every name sees it.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "base/IoError.h"

namespace tolvek {

// Every line of a listing ends so.
inline constexpr std::string_view kLineEnd = "\r\n";

class ListingFile {
  public:
    // Writes size bytes to a file as std::fwrite does; returns how many were
    // written and sets errno when fewer. Tests put a failing one here to stand
    // for a full disk.
    using WriteFunction = std::size_t (*)(const void* data, std::size_t size, std::FILE* file);
    static WriteFunction writeFunction;

    ListingFile() = default;
    ListingFile(const ListingFile&) = delete;
    ListingFile& operator=(const ListingFile&) = delete;
    ~ListingFile();

    // Creates the temporary file for the listing at path; false with Error() set.
    bool Open(const std::string& path);
    // Writes to a stream that the caller owns (standard output).
    void OpenStream(std::FILE* stream);

    // Appends one line and its CR LF.
    void WriteLine(std::string_view line);
    // Appends bytes as they are; a large piece goes to the file without
    // passing through the write buffer.
    void Write(std::string_view bytes);
    // Room for `size` more bytes in the write buffer, so that a line can be built
    // in place: write it there, then hand the end of what was written to Written.
    char* Reserve(std::size_t size) {
        if (capacity_ - used_ < size) {
            MakeRoom(size);
        }
        return buffer_.get() + used_;
    }
    void Written(const char* end) { used_ = static_cast<std::size_t>(end - buffer_.get()); }
    // The end of the write buffer: a caller that builds several lines keeps
    // the place it has got to and asks Reserve again only when less room
    // than a line needs is left.
    const char* BufferEnd() const { return buffer_.get() + capacity_; }
    // Flushes, closes and moves the temporary file over the listing.
    bool Commit();
    // Closes and removes the temporary file; the listing is untouched.
    void Discard();

    bool Failed() const { return static_cast<bool>(error_); }
    const IoError& Error() const { return error_; }

    // The temporary file of the listing being written, or an empty text: a
    // signal handler may remove it when the program is interrupted. Reading it
    // is async-signal-safe.
    static const char* PendingTemporaryFile();

  private:
    bool Flush();
    void MakeRoom(std::size_t size);
    void Fail(const std::string& what, const std::string& path, int error);
    void CopyInPlace();

    std::string path_;
    std::string tempPath_;
    std::string renameTo_;
    std::FILE* file_ = nullptr;
    bool ownsFile_ = false;
    int inPlaceFd_ = -1;  // the hard-linked listing, written at Commit
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t used_ = 0;
    IoError error_;
};

}  // namespace tolvek
