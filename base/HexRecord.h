// The 32 data digits of a full record (16 bytes, eight program words) read in
// one go. A hex file is nearly all such records; reading their digits a pair
// at a time costs a table look-up and a test per character.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tolvek {

// What the 32 digit characters of a full record give.
struct HexRecordData {
    // The eight words, each from two bytes written low byte first.
    std::uint16_t words[8];
    // Some digit is a lower-case letter.
    bool lowerCase = false;
    // The sum of the 16 bytes.
    unsigned byteSum = 0;
};

// A whole record line of the usual kind, ":10AAAA00" with sixteen data bytes
// and a checksum (43 characters), read in one go.
struct FullRecord {
    HexRecordData data;       // its words; lowerCase looks at the data digits only
    unsigned address = 0;     // AAAA
    bool checksumOk = false;  // the 21 bytes of the line add up to 0 (mod 256)
};

// Reads the 32 characters at digits; false when any is not a hexadecimal digit
// (or the machine has no SSE2), which leaves the record to the character-wise
// reading.
#if defined(__SSE2__)
namespace detail {

// Sixteen characters as their digit values, one a byte; valid and lower get a
// bit per character that is a digit or letter, and a lower-case letter.
inline __m128i DigitValues(__m128i chars, unsigned& valid, unsigned& lower) {
    const auto within = [](__m128i c, char first, char last) {
        return _mm_and_si128(_mm_cmpgt_epi8(c, _mm_set1_epi8(static_cast<char>(first - 1))),
                             _mm_cmplt_epi8(c, _mm_set1_epi8(static_cast<char>(last + 1))));
    };
    const __m128i digit = within(chars, '0', '9');
    const __m128i folded = _mm_or_si128(chars, _mm_set1_epi8(0x20));
    const __m128i letter = within(folded, 'a', 'f');
    valid = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(digit, letter)));
    // of the letters, those above 'Z'
    lower = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(letter, _mm_cmpgt_epi8(chars, _mm_set1_epi8('Z')))));
    // a letter's low four bits are 1 to 6: 9 more make 10 to 15
    const __m128i low = _mm_and_si128(chars, _mm_set1_epi8(0x0F));
    return _mm_add_epi8(low, _mm_and_si128(letter, _mm_set1_epi8(9)));
}

// Eight digit pairs as bytes, in the low half of each 16-bit lane.
inline __m128i PairBytes(__m128i values) {
    const __m128i high = _mm_slli_epi16(_mm_and_si128(values, _mm_set1_epi16(0x00FF)), 4);
    return _mm_or_si128(high, _mm_srli_epi16(values, 8));
}

// The sum of sixteen bytes.
inline unsigned ByteSum(__m128i bytes) {
    const __m128i sums = _mm_sad_epu8(bytes, _mm_setzero_si128());
    return static_cast<unsigned>(_mm_cvtsi128_si32(sums)) +
           static_cast<unsigned>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
}

}  // namespace detail

inline bool ReadHexRecordData(const char* digits, HexRecordData& data) {
    unsigned valid0 = 0;
    unsigned valid1 = 0;
    unsigned lower0 = 0;
    unsigned lower1 = 0;
    const __m128i values0 = detail::DigitValues(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(digits)), valid0, lower0);
    const __m128i values1 = detail::DigitValues(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(digits + 16)), valid1, lower1);
    if ((valid0 & valid1) != 0xFFFF) {
        return false;
    }
    const __m128i bytes = _mm_packus_epi16(detail::PairBytes(values0), detail::PairBytes(values1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(data.words), bytes);
    data.byteSum = detail::ByteSum(bytes);
    data.lowerCase = (lower0 | lower1) != 0;
    return true;
}

// Reads the 43 characters at line; false unless they are ":10", four address
// digits, "00", 32 data digits and two checksum digits (of either case), which
// leaves the line to the checks field by field.
inline bool ReadFullRecord(const char* line, FullRecord& record) {
    if (line[0] != ':') {
        return false;
    }
    // characters 1 to 16, 17 to 32 and 27 to 42: each load starts on a digit pair
    unsigned valid[3] = {};
    unsigned lower[3] = {};
    const __m128i values0 = detail::DigitValues(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + 1)), valid[0], lower[0]);
    const __m128i values1 = detail::DigitValues(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + 17)), valid[1], lower[1]);
    const __m128i values2 = detail::DigitValues(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + 27)), valid[2], lower[2]);
    if ((valid[0] & valid[1] & valid[2]) != 0xFFFF) {
        return false;
    }
    // count, address (2), type, data 0-3 | data 4-11; data 9-15, checksum
    const __m128i head = _mm_packus_epi16(detail::PairBytes(values0), detail::PairBytes(values1));
    const __m128i tail = _mm_packus_epi16(detail::PairBytes(values2), _mm_setzero_si128());
    const auto first = static_cast<unsigned>(_mm_cvtsi128_si32(head));
    if ((first & 0xFFu) != 0x10 || (first >> 24) != 0) {
        return false;
    }
    // data 0-11 from the head, 12-15 from the tail (9-11 come from both, alike)
    const __m128i data = _mm_or_si128(_mm_srli_si128(head, 4), _mm_slli_si128(tail, 9));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(record.data.words), data);
    record.data.byteSum = detail::ByteSum(data);
    // the data digits are characters 9 to 40
    record.data.lowerCase = ((lower[0] & 0xFF00u) | lower[1] | (lower[2] & 0x3FC0u)) != 0;
    record.address = (first >> 8 & 0xFFu) << 8 | (first >> 16 & 0xFFu);
    const unsigned checksum = static_cast<unsigned>(_mm_extract_epi16(tail, 3)) >> 8;
    record.checksumOk = ((first & 0xFFu) + (first >> 8 & 0xFFu) + (first >> 16 & 0xFFu) +
                         record.data.byteSum + checksum) %
                            256 ==
                        0;
    return true;
}
#else
inline bool ReadHexRecordData(const char*, HexRecordData&) {
    return false;
}

inline bool ReadFullRecord(const char*, FullRecord&) {
    return false;
}
#endif

}  // namespace tolvek
