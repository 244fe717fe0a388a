#include "base/LineReader.h"

#include <cerrno>
#include <cstring>

namespace tolvek {

namespace {
constexpr std::size_t kBufferSize = 1 << 16;
}

LineReader::LineReader(std::FILE* file, std::size_t keep)
    : file_(file), keep_(keep), buffer_(std::make_unique_for_overwrite<char[]>(kBufferSize)) {}

bool LineReader::Fill() {
    if (eof_) {
        return false;
    }
    position_ = 0;
    errno = 0;
    size_ = std::fread(buffer_.get(), 1, kBufferSize, file_);
    if (size_ == 0) {
        eof_ = true;
        if (std::ferror(file_)) {
            failed_ = true;
            error_ = errno != 0 ? errno : EIO;
        }
        return false;
    }
    return true;
}

bool LineReader::AtEnd() {
    return position_ >= size_ && !Fill();
}

bool LineReader::ReadLine(std::string& line) {
    if (AtEnd()) {
        return false;  // line keeps the last line read
    }
    line.clear();
    for (;;) {
        if (position_ >= size_ && !Fill()) {
            return true;  // the last line needs no line end
        }
        const char* begin = buffer_.get() + position_;
        const char* end = buffer_.get() + size_;
        // the usual line end is LF: find it, then any CR before it
        const void* lineFeed = std::memchr(begin, '\n', static_cast<std::size_t>(end - begin));
        const char* p = lineFeed != nullptr ? static_cast<const char*>(lineFeed) : end;
        if (const void* cr = std::memchr(begin, '\r', static_cast<std::size_t>(p - begin))) {
            p = static_cast<const char*>(cr);
        }
        const std::size_t room = keep_ > line.size() ? keep_ - line.size() : 0;
        const std::size_t length = static_cast<std::size_t>(p - begin);
        line.append(begin, length < room ? length : room);
        position_ += length;
        if (p == end) {
            continue;
        }
        const bool carriageReturn = *p == '\r';
        ++position_;
        if (carriageReturn) {
            // a CR LF pair is one line end, even across a buffer boundary
            if (position_ >= size_ && !Fill()) {
                return true;
            }
            if (buffer_[position_] == '\n') {
                ++position_;
            }
        }
        return true;
    }
}

}  // namespace tolvek
