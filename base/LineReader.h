// Reads a text file line by line with a large buffer.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "base/ReadBuffer.h"

namespace tolvek {

// The line of a text that starts at pos, without its LF, and pos moved past it;
// for a text in memory, taken line by line while pos < text.size().
inline std::string_view NextLine(std::string_view text, std::size_t& pos) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) {
        end = text.size();
    }
    const std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    return line;
}

// A line ends at CR, LF or CR LF; a CR is never part of a line. Only the first
// `keep` characters of a line are kept, the rest of a longer line is skipped, so
// memory stays bounded whatever the file holds.
class LineReader {
  public:
    explicit LineReader(std::FILE* file, std::size_t keep = 255);

    // Reads the next line into line; false at the end of the input or on a read
    // error, and line then keeps what it held.
    bool ReadLine(std::string& line);
    // The same as a view that stays valid until the next read: a line that lies
    // whole in the buffer is not copied.
    bool ReadLine(std::string_view& line);
    // The next `length` characters (no more than are kept of a line) when they
    // lie in the buffer with a line end right after them, else an empty view;
    // nothing is taken. They are the next line when none of them is a CR or
    // LF, which the caller checks: a reader of fixed-length records reads the
    // characters where they lie, without first looking for the line's end.
    std::string_view PeekLine(std::size_t length) const {
        if (length > keep_ || size_ - position_ < length + 2) {  // position_ <= size_
            return {};
        }
        const char* const begin = buffer_.get() + position_;
        return begin[length] == '\r' || begin[length] == '\n' ? std::string_view(begin, length)
                                                              : std::string_view();
    }
    // Takes the line PeekLine showed (length characters) and its line end.
    void TakePeekedLine(std::size_t length) {
        position_ += length;
        if (buffer_[position_++] == '\r' && buffer_[position_] == '\n') {
            ++position_;
        }
    }
    // True when the input has no more lines.
    bool AtEnd();
    // True when reading stopped on a read error rather than the end of the file.
    bool Failed() const { return failed_; }
    int Error() const { return error_; }

  private:
    bool Fill();
    // The first CR or LF from begin on, or end.
    const char* FindLineEnd(const char* begin, const char* end) const;

    std::FILE* file_;
    std::size_t keep_;
    // not cleared first: only what a read fills is ever looked at
    ReadBuffer buffer_;
    std::string spill_;  // a line that runs past the end of the buffer
    std::size_t position_ = 0;
    std::size_t size_ = 0;
    bool eof_ = false;
    bool failed_ = false;
    int error_ = 0;
};

}  // namespace tolvek
