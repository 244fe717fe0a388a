// Bit patterns of instruction words, written as in a datasheet's instruction summary.
//
// A pattern lists the word's bits, most significant first; spaces are ignored.
// '0' and '1' are fixed bits, '-' is a bit the match ignores, and a letter marks
// a bit of the operand field named by that letter ('f' file register, 'd'
// destination, 'b' bit number, 'k' literal or address, 'n' FSR number, 'm'
// mode). Each field's bits are contiguous, so a field is one shift and one mask.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tolvek::isa {

class Pattern {
  public:
    static constexpr int kMaxFields = 4;

    // Rejects (by failing constant evaluation) an unknown character, a split
    // field, too many fields or more than 16 bits.
    consteval explicit Pattern(std::string_view text) : text_(text) {
        int bit = 0;
        for (auto it = text.rbegin(); it != text.rend(); ++it) {
            const char c = *it;
            if (c == ' ') {
                continue;
            }
            if (bit >= 16) {
                throw "a pattern has at most 16 bits";
            }
            const auto one = static_cast<std::uint16_t>(1u << bit);
            if (c == '0' || c == '1') {
                mask_ = static_cast<std::uint16_t>(mask_ | one);
                if (c == '1') {
                    value_ = static_cast<std::uint16_t>(value_ | one);
                }
            } else if (c >= 'a' && c <= 'z') {
                AddFieldBit(c, bit);
            } else if (c == '-') {
                ignored_ = static_cast<std::uint16_t>(ignored_ | one);
            } else {
                throw "a pattern holds only 0, 1, - and field letters";
            }
            ++bit;
        }
        width_ = bit;
    }

    constexpr bool Matches(unsigned word) const { return (word & mask_) == value_; }
    // The value of the field named letter in word; 0 when the pattern has no such field.
    constexpr unsigned Field(unsigned word, char letter) const {
        for (int i = 0; i < fieldCount_; ++i) {
            if (fields_[static_cast<std::size_t>(i)].letter == letter) {
                const FieldSpec& f = fields_[static_cast<std::size_t>(i)];
                return (word >> f.shift) & f.mask;
            }
        }
        return 0;
    }
    constexpr bool HasField(char letter) const {
        for (int i = 0; i < fieldCount_; ++i) {
            if (fields_[static_cast<std::size_t>(i)].letter == letter) {
                return true;
            }
        }
        return false;
    }
    // The number of bits in the field named letter.
    constexpr int FieldWidth(char letter) const {
        for (int i = 0; i < fieldCount_; ++i) {
            const FieldSpec& f = fields_[static_cast<std::size_t>(i)];
            if (f.letter == letter) {
                int width = 0;
                for (unsigned m = f.mask; m != 0; m >>= 1) {
                    ++width;
                }
                return width;
            }
        }
        return 0;
    }

    constexpr std::uint16_t Mask() const { return mask_; }
    // The bits the match ignores ('-').
    constexpr std::uint16_t Ignored() const { return ignored_; }
    constexpr std::uint16_t Value() const { return value_; }
    constexpr int Width() const { return width_; }
    constexpr std::string_view Text() const { return text_; }

  private:
    struct FieldSpec {
        char letter = 0;
        std::uint8_t shift = 0;
        std::uint16_t mask = 0;
        int lastBit = -1;
    };

    consteval void AddFieldBit(char letter, int bit) {
        for (int i = 0; i < fieldCount_; ++i) {
            FieldSpec& f = fields_[static_cast<std::size_t>(i)];
            if (f.letter == letter) {
                if (f.lastBit != bit - 1) {
                    throw "a field's bits must be contiguous";
                }
                f.lastBit = bit;
                f.mask = static_cast<std::uint16_t>((f.mask << 1) | 1u);
                return;
            }
        }
        if (fieldCount_ == kMaxFields) {
            throw "a pattern has at most four fields";
        }
        fields_[static_cast<std::size_t>(fieldCount_++)] =
            FieldSpec{letter, static_cast<std::uint8_t>(bit), 1, bit};
    }

    std::string_view text_;
    std::uint16_t mask_ = 0;
    std::uint16_t value_ = 0;
    std::uint16_t ignored_ = 0;
    int width_ = 0;
    int fieldCount_ = 0;
    std::array<FieldSpec, kMaxFields> fields_{};
};

}  // namespace tolvek::isa
