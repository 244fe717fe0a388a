#include "base/LineReader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tolvek {

namespace {
// Small enough that a short input touches few fresh pages, large enough that
// reading costs little next to splitting the lines.
constexpr std::size_t kBufferSize = 1 << 14;
}  // namespace

LineReader::LineReader(std::FILE* file, std::size_t keep)
    : file_(file), keep_(keep), buffer_(std::make_unique_for_overwrite<char[]>(kBufferSize)) {}

bool LineReader::Fill() {
    if (eof_) {
        return false;
    }
    position_ = 0;
    size_ = 0;
    // straight from the descriptor: through the stream the bytes would be
    // copied twice, and the stream would want a buffer of its own first
    const int fd = fileno(file_);
    ssize_t got = 0;
    if (fd >= 0) {
        do {
            got = read(fd, buffer_.get(), kBufferSize);
        } while (got < 0 && errno == EINTR);
    } else {
        errno = 0;
        got = static_cast<ssize_t>(std::fread(buffer_.get(), 1, kBufferSize, file_));
        if (got == 0 && std::ferror(file_)) {
            got = -1;
        }
    }
    if (got <= 0) {
        eof_ = true;
        if (got < 0) {
            failed_ = true;
            error_ = errno != 0 ? errno : EIO;
        }
        return false;
    }
    size_ = static_cast<std::size_t>(got);
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
