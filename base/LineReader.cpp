#include "base/LineReader.h"

#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <bit>
#include <cerrno>
#include <cstring>

namespace tolvek {

namespace {
// Small enough that a short input touches few fresh pages, large enough that
// reading costs little next to splitting the lines.
constexpr std::size_t kBufferSize = 1 << 14;
constexpr std::size_t kBlock = 16;
}  // namespace

LineReader::LineReader(std::FILE* file, std::size_t keep)
    : file_(file), keep_(keep), buffer_(kBufferSize + kBlock) {
    // the search for a line end looks at whole blocks, past the end of what was read
    std::memset(buffer_.get() + kBufferSize, 0, kBlock);
}

const char* LineReader::FindLineEnd(const char* begin, const char* end) const {
#if defined(__SSE2__)
    // 16 characters at a time, each compared with CR and LF; the bits of those
    // past the end are dropped
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; begin < end; begin += kBlock) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(begin));
        unsigned found = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, cr), _mm_cmpeq_epi8(block, lf))));
        if (end - begin < static_cast<std::ptrdiff_t>(kBlock)) {
            found &= (1u << (end - begin)) - 1;
        }
        if (found != 0) {
            return begin + std::countr_zero(found);
        }
    }
    return end;
#else
    for (; begin < end; ++begin) {
        if (*begin == '\r' || *begin == '\n') {
            return begin;
        }
    }
    return end;
#endif
}

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
        const char* p = FindLineEnd(begin, end);
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

bool LineReader::ReadLine(std::string_view& line) {
    if (AtEnd()) {
        return false;
    }
    const char* begin = buffer_.get() + position_;
    const char* end = buffer_.get() + size_;
    const char* p = FindLineEnd(begin, end);
    // a line that ends in the buffer, where a CR's LF would be seen too
    if (p != end && (*p == '\n' || p + 1 != end)) {
        const std::size_t length = static_cast<std::size_t>(p - begin);
        line = std::string_view(begin, length < keep_ ? length : keep_);
        position_ += length + 1;
        if (*p == '\r' && buffer_[position_] == '\n') {
            ++position_;
        }
        return true;
    }
    ReadLine(spill_);
    line = spill_;
    return true;
}

}  // namespace tolvek
