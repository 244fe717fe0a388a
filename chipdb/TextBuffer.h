// A text of at most kMaxText characters put together in a fixed buffer, for
// the lines the chip data gives: the header's EQU lines and the register
// operands. What goes past the limit is cut, as CutText cuts a string.
#pragma once

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "base/Conversions.h"

namespace tolvek {

class TextBuffer {
  public:
    void Append(std::string_view text) {
        const std::size_t size = std::min(text.size(), kMaxText - size_);
        std::memcpy(buffer_.data() + size_, text.data(), size);
        size_ += size;
    }
    void Append(char c) {
        if (size_ < kMaxText) {
            buffer_[size_++] = c;
        }
    }
    void AppendNumber(long value) {
        char digits[24];
        Append(std::string_view(
            digits,
            static_cast<std::size_t>(std::to_chars(digits, std::end(digits), value).ptr - digits)));
    }
    bool Empty() const { return size_ == 0; }
    std::string_view Text() const { return {buffer_.data(), size_}; }
    // The text followed by lineEnd (of at most kMaxText characters), so that a
    // caller can copy both at once; the text itself does not change.
    std::string_view Ended(std::string_view lineEnd) {
        const std::size_t size = std::min(lineEnd.size(), kMaxText);
        std::memcpy(buffer_.data() + size_, lineEnd.data(), size);
        return {buffer_.data(), size_ + size};
    }

  private:
    std::array<char, 2 * kMaxText> buffer_;
    std::size_t size_ = 0;
};

}  // namespace tolvek
