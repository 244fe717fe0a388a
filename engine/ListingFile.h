// Writes the listing safely: into a temporary file beside it, moved over the
// listing only when the building pass completes, so a failed run never leaves a
// truncated listing or harms an earlier one.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace tolvek {

class ListingFile {
  public:
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
    // Flushes, closes and moves the temporary file over the listing.
    bool Commit();
    // Closes and removes the temporary file; the listing is untouched.
    void Discard();

    bool Failed() const { return !error_.empty(); }
    const std::string& Error() const { return error_; }

  private:
    bool Flush();
    void Fail(const std::string& what, int error);

    std::string path_;
    std::string tempPath_;
    std::string renameTo_;
    std::FILE* file_ = nullptr;
    bool ownsFile_ = false;
    std::string buffer_;
    std::string error_;
};

}  // namespace tolvek
