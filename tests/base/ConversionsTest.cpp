#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

#include "base/Conversions.h"
#include "base/HexRecord.h"

namespace tolvek {
namespace {

TEST(Conversions, TestHexAcceptsOnlyHexDigitsOfEitherCase) {
    for (int c = 0; c < 256; ++c) {
        const char ch = static_cast<char>(c);
        const bool expected =
            (ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F') || (ch >= 'a' && ch <= 'f');
        EXPECT_EQ(TestHex(ch), expected) << c;
        if (!expected) {
            EXPECT_EQ(ASCIIToDec(ch), 0) << c;
        }
    }
    EXPECT_EQ(ASCIIToDec('f'), 15);
    EXPECT_EQ(ASCIIToDec('F'), 15);
    EXPECT_EQ(ASCIIToDec('9'), 9);
}

TEST(Conversions, HexToDecReadsFourDigitsAndIgnoresTheRest) {
    EXPECT_EQ(HexToDec("3FFF"), "16383");
    EXPECT_EQ(HexToDec("3fff"), "16383");
    EXPECT_EQ(HexToDec("0000"), "0");
    EXPECT_EQ(HexToDec("00G1"), "1");  // a non-digit counts as 0
    EXPECT_EQ(HexToDec("12345"), "4660");
}

TEST(Conversions, DecToHexKeepsTheTwoLowestDigits) {
    const struct {
        long value;
        const char* hex;
    } cases[] = {{0, "00"},     {5, "05"},      {31, "1F"},      {255, "FF"},    {256, "100"},
                 {2048, "800"}, {4095, "FFF"},  {4096, "1000"},  {4097, "1001"}, {65535, "FFFF"},
                 {65536, "00"}, {74565, "345"}, {1048575, "FFF"}};
    for (const auto& c : cases) {
        EXPECT_EQ(DecToHex(c.value), c.hex) << c.value;
    }
}

TEST(Conversions, FormatFourPadsToFourCharacters) {
    EXPECT_EQ(FormatFour(""), "0000");
    EXPECT_EQ(FormatFour("5"), "0005");
    EXPECT_EQ(FormatFour("1F"), "001F");
    EXPECT_EQ(FormatFour("800"), "0800");
    EXPECT_EQ(FormatFour("ABCDE"), "ABCDE");
    EXPECT_EQ(FormatFour(DecToHex(65536L)), "0000");
}

TEST(Conversions, FastHelpersEqualTheDigitRules) {
    for (unsigned v = 0; v < 256; ++v) {
        std::string two;
        AppendTwoHex(two, v);
        ASSERT_EQ(two, DecToHex(static_cast<long>(v))) << v;
    }
}

TEST(Conversions, FieldExtractors) {
    EXPECT_EQ(ExtractLineBytes('F', 'f'), 255);
    EXPECT_EQ(ExtractLineBytes('1', 'G'), -1);
    EXPECT_EQ(ExtractLineBytes('\0', '0'), -1);
    EXPECT_EQ(ExtractAddressBytes('4', '0', '0', '0'), 16384);
    EXPECT_EQ(ExtractAddressBytes('f', 'F', 'f', 'F'), 65535);
    EXPECT_EQ(ExtractAddressBytes('4', '0', ' ', '0'), -1);
    EXPECT_EQ(HexToAscii(10), 'A');
    EXPECT_EQ(HexToAscii(16), '0');
    EXPECT_EQ(HexToAscii(-1), '0');
}

}  // namespace
}  // namespace tolvek

namespace tolvek {
namespace {

// The whole-record reading against the character-wise one: every character
// each test text can hold in every place (digits and letters of both cases,
// the characters next to their ranges, bytes above 127).
TEST(HexRecord, ReadsTheDigitsOfAFullRecordAsTheCharacterWiseReadingDoes) {
    const std::string kinds = "0123456789ABCDEFabcdef/:@G`gZ \x80\xFF";
    std::mt19937 random(7);
    for (int round = 0; round < 20000; ++round) {
        char digits[32];
        // mostly sound records, so that the values and sums are compared too
        const int faults = round % 4 == 0 ? 1 + round % 3 : 0;
        for (char& c : digits) {
            c = kinds[random() % 22];
        }
        for (int i = 0; i < faults; ++i) {
            digits[random() % 32] = kinds[random() % kinds.size()];
        }
        bool valid = true;
        unsigned sum = 0;
        bool lower = false;
        std::uint16_t words[8] = {};
        for (int i = 0; i < 32; ++i) {
            valid = valid && TestHex(digits[i]);
            if (digits[i] >= 'a' && digits[i] <= 'f') {
                lower = true;
            }
        }
        for (int byte = 0; byte < 16; ++byte) {
            const unsigned value = static_cast<unsigned>(ASCIIToDec(digits[2 * byte]) * 16 +
                                                         ASCIIToDec(digits[2 * byte + 1]));
            sum += value;
            words[byte / 2] |= static_cast<std::uint16_t>(value << (8 * (byte % 2)));
        }
        HexRecordData data;
        const std::string text(digits, 32);
        ASSERT_EQ(ReadHexRecordData(digits, data), valid) << text;
        if (valid) {
            EXPECT_EQ(data.byteSum, sum) << text;
            EXPECT_EQ(data.lowerCase, lower) << text;
            for (int word = 0; word < 8; ++word) {
                EXPECT_EQ(data.words[word], words[word]) << text;
            }
        }
    }
}

// The whole line of the usual record against a reading of its fields one by
// one: sound records with right and wrong checksums, and records with a
// character changed anywhere (the colon, count, type, digits of both cases).
TEST(HexRecord, ReadsAWholeUsualRecordAsItsFieldsRead) {
    const std::string kinds = "0123456789ABCDEFabcdef/:@G`gZ \x80\xFF";
    const auto hex = [](char c) { return TestHex(c); };
    const auto byteAt = [](const std::string& line, std::size_t at) {
        return static_cast<unsigned>(ASCIIToDec(line[at]) * 16 + ASCIIToDec(line[at + 1]));
    };
    std::mt19937 random(11);
    for (int round = 0; round < 20000; ++round) {
        std::string line = ":10";
        char digits[8];
        std::snprintf(digits, sizeof digits, round % 3 == 0 ? "%04x" : "%04X",
                      static_cast<unsigned>(random() % 0x10000));
        line += digits;
        line += "00";
        // half of them without lower-case data digits, so that the digits
        // around the data decide whether the record counts as lower case
        const unsigned dataKinds = round % 4 < 2 ? 16 : 22;
        for (int i = 0; i < 32; ++i) {
            line += kinds[random() % dataKinds];
        }
        unsigned sum = 0;
        for (std::size_t at = 1; at < line.size(); at += 2) {
            sum += byteAt(line, at);
        }
        std::snprintf(digits, sizeof digits, round % 2 == 0 ? "%02X" : "%02x",
                      (0x100 - sum % 256 + (round % 7 == 0 ? 1 : 0)) % 256);
        line += digits;
        for (int i = 0, faults = round % 3; i < faults; ++i) {
            line[random() % line.size()] = kinds[random() % kinds.size()];
        }
        ASSERT_EQ(line.size(), 43u);

        bool expected = line[0] == ':';
        for (std::size_t at = 1; at < line.size(); ++at) {
            expected = expected && hex(line[at]);
        }
        expected = expected && byteAt(line, 1) == 0x10 && byteAt(line, 7) == 0;
        FullRecord record;
        ASSERT_EQ(ReadFullRecord(line.data(), record), expected) << line;
        if (!expected) {
            continue;
        }
        unsigned lineSum = 0;
        for (std::size_t at = 1; at < line.size(); at += 2) {
            lineSum += byteAt(line, at);
        }
        EXPECT_EQ(record.checksumOk, lineSum % 256 == 0) << line;
        EXPECT_EQ(record.address, byteAt(line, 3) * 256 + byteAt(line, 5)) << line;
        HexRecordData data;
        ASSERT_TRUE(ReadHexRecordData(line.data() + 9, data)) << line;
        EXPECT_EQ(record.data.lowerCase, data.lowerCase) << line;
        EXPECT_EQ(record.data.byteSum, data.byteSum) << line;
        for (int word = 0; word < 8; ++word) {
            EXPECT_EQ(record.data.words[word], data.words[word]) << line;
        }
    }
}

}  // namespace
}  // namespace tolvek
