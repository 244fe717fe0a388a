#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "chipdb/ChipData.h"
#include "decode/Decoder.h"

namespace tolvek {
namespace {

struct WordCase {
    const char* word;
    const char* text;
    bool skip = false;
    bool pageNote = false;
    bool blankAfter = false;
    int jumpTarget = 0;
};

// A decoded word, its texts copied out of the decoder.
struct Word {
    std::string text;
    std::string note;
    bool skipLine = false;
    bool pageNote = false;
    bool blankAfter = false;
    int jumpTarget = 0;
};

class DecoderTest : public ::testing::Test {
  protected:
    Word Decode(std::string_view text, bool core12) {
        ListingDecoder decoder(chip.Naming(), {core12, chip.Series12});
        DecodedWord out;
        decoder.Decode(text, out);
        return {std::string(out.text), std::string(out.ramPageNote),
                out.skipLine,          out.pageNote,
                out.blankAfter,        out.jumpTarget};
    }
    Word Decode14(std::string_view word) { return Decode(word, false); }
    Word Decode12(std::string_view word) { return Decode(word, true); }
    void Check(const WordCase& c, const Word& out) {
        EXPECT_EQ(out.text, c.text) << c.word;
        EXPECT_EQ(out.skipLine, c.skip) << c.word;
        EXPECT_EQ(out.pageNote, c.pageNote) << c.word;
        EXPECT_EQ(out.blankAfter, c.blankAfter) << c.word;
        if (c.pageNote) {
            EXPECT_EQ(out.jumpTarget, c.jumpTarget) << c.word;
        }
    }

    ChipState chip;
};

// The word text of a value: four upper-case digits.
std::string FourHex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}

TEST_F(DecoderTest, FourteenBitWordClasses) {
    const std::string retlwA = "RETLW 0x41               ; b'01000001'  'A'";
    const std::string retlw0 = "RETLW 0x00               ; b'00000000'";
    const WordCase cases[] = {
        {"3FFF", "Blank", true},
        {"3fff", "ADDLW 0xff"},
        {"FFFF", "ADDLW 0xFF"},
        {"4000", "MOVLW 0x00"},
        {"0001", ""},
        {"0007", ""},
        {"000A", ""},
        {"000F", ""},
        {"3B00", ""},
        {"fbff", ""},
        {"0000", "NOP"},
        {"0020", "NOP"},
        {"0040", "NOP"},
        {"0060", "NOP"},
        {"0062", "OPTION"},
        {"0063", "SLEEP"},
        {"0064", "CLRWDT"},
        {"0061", "TRIS 01h"},
        {"0010", "TRIS 00h"},
        {"006D", "TRIS 05h"},
        {"0065", "TRIS 05h"},
        {"0067", "TRIS 07h"},
        {"0008", "RETURN", false, false, true},
        {"0009", "RETFIE"},
        {"0086", "MOVWF 0x06"},
        {"00FF", "MOVWF 0x7F"},
        {"0100", "CLRW"},
        {"017F", "CLRW"},
        {"0180", "CLRF 0x00"},
        {"0286", "SUBWF 0x06,f"},
        {"0306", "DECF 0x06,w"},
        {"0486", "IORWF 0x06,f"},
        {"0586", "ANDWF 0x06,f"},
        {"0686", "XORWF 0x06,f"},
        {"0786", "ADDWF 0x06,f"},
        {"0806", "MOVF 0x06,w"},
        {"0986", "COMF 0x06,f"},
        {"0A8C", "INCF 0x0C,f"},
        {"0B8C", "DECFSZ 0x0C,f"},
        {"0C8C", "RRF 0x0C,f"},
        {"0D8C", "RLF 0x0C,f"},
        {"0E8C", "SWAPF 0x0C,f"},
        {"0F8C", "INCFSZ 0x0C,f"},
        {"0fff", "INCFSZ 0x7F,f"},
        {"1683", "BSF 0x03,5"},
        {"1283", "BCF 0x03,5"},
        {"1903", "BTFSC 0x03,2"},
        {"1FFF", "BTFSS 0x7F,7"},
        {"1C03", "BTFSS 0x03,0"},
        {"2000", "CALL ad0000", false, true, false, 0},
        {"2FFF", "GOTO ad07FF", false, true, false, 2047},
        {"2800", "GOTO ad0000", false, true, false, 0},
        {"27ff", "CALL ad07FF", false, true, false, 2047},
        {"3002", "MOVLW 0x02"},
        {"30ab", "MOVLW 0xab"},
        {"3441", retlwA.c_str()},
        {"3400", retlw0.c_str()},
        {"3841", "IORLW 0x41"},
        {"3941", "ANDLW 0x41"},
        {"3A41", "XORLW 0x41"},
        {"3C41", "SUBLW 0x41"},
        {"3D41", "SUBLW 0x41"},
        {"3E41", "ADDLW 0x41"},
        {"3F41", "ADDLW 0x41"},
        {"7741", retlwA.c_str()},
    };
    for (const WordCase& c : cases) {
        Check(c, Decode14(c.word));
    }
}

TEST_F(DecoderTest, RetlwCharacterPart) {
    const struct {
        const char* word;
        const char* tail;
    } cases[] = {
        {"341F", "; b'00011111'"},         {"3420", "; b'00100000'  ' '"},
        {"347F", "; b'01111111'  '\x7f'"}, {"3480", "; b'10000000'"},
        {"344a", "; b'01001010'  'J'"},
    };
    for (const auto& c : cases) {
        const std::string text = Decode14(c.word).text;
        EXPECT_EQ(text.substr(0, 6), "RETLW ");
        EXPECT_EQ(text.find(';'), 25u) << c.word;
        EXPECT_EQ(text.substr(25), c.tail) << c.word;
    }
    EXPECT_EQ(Decode14("344a").text.substr(0, 10), "RETLW 0x4a");
}

// Every one of the 65536 word texts gives a defined result within the contract.
TEST_F(DecoderTest, FourteenBitSweepKeepsTheContract) {
    int empty = 0;
    for (unsigned value = 0; value < 65536; ++value) {
        const std::string word = FourHex(value);
        const Word out = Decode14(word);
        ASSERT_LE(out.text.size(), 255u);
        if (out.text.empty()) {
            ++empty;
            const unsigned d1 = value >> 12;
            const unsigned d2 = (value >> 8) & 15;
            ASSERT_TRUE((value >= 1 && value <= 7) || (value >= 0xA && value <= 0xF) ||
                        (d1 >= 3 && d2 == 0xB))
                << word;
            continue;
        }
        ASSERT_EQ(out.skipLine, word == "3FFF") << word;
        ASSERT_EQ(out.blankAfter, word == "0008") << word;
        const bool jump = (value >> 12) == 2;
        ASSERT_EQ(out.pageNote, jump) << word;
        if (jump) {
            ASSERT_EQ(out.jumpTarget, static_cast<int>(value & 0x7FF)) << word;
        }
        ASSERT_EQ(out.text.find("  "), out.text.starts_with("RETLW") ? 10u : std::string::npos)
            << word;
    }
    EXPECT_EQ(empty, 13 + 13 * 256);
}

TEST_F(DecoderTest, TwelveBitWordClasses) {
    const WordCase cases[] = {
        {"0FFF", "Blank", true},
        {"0fff", "XORLW 0xff"},
        {"FFFF", ""},
        {"1000", ""},
        {"0000", "NOP"},
        {"0002", "OPTION"},
        {"0003", "SLEEP"},
        {"0004", "CLRWDT"},
        {"0001", "TRIS 01h"},
        {"0008", "TRIS 00h"},
        {"0005", "TRIS PORTA"},
        {"0006", "TRIS PORTB"},
        {"0007", "TRIS PORTC"},
        {"000D", "TRIS PORTA"},
        {"0040", "CLRW"},
        {"0041", "CLRF 0x01"},
        {"0066", "CLRF 0x06"},
        {"0026", "MOVWF 0x06"},
        {"0016", "MOVWF 0x16"},
        {"0036", "MOVWF 0x16"},
        {"0086", "SUBWF 0x06,w"},
        {"00A6", "SUBWF 0x06"},
        {"00C6", "DECF 0x06,w"},
        {"0106", "IORWF 0x06,w"},
        {"0146", "ANDWF 0x06,w"},
        {"0186", "XORWF 0x06,w"},
        {"01E6", "ADDWF 0x06"},
        {"0206", "MOVF 0x06,w"},
        {"0246", "COMF 0x06,w"},
        {"0286", "INCF 0x06,w"},
        {"02A6", "INCF 0x06"},
        {"02C6", "DECFSZ 0x06,w"},
        {"0306", "RRF 0x06,w"},
        {"0346", "RLF 0x06,w"},
        {"0386", "SWAPF 0x06,w"},
        {"03C6", "INCFSZ 0x06,w"},
        {"05A3", "BSF 0x03,5"},
        {"0403", "BCF 0x03,0"},
        {"06E3", "BTFSC 0x03,7"},
        {"07FF", "BTFSS 0x1F,7"},
        {"0912", "CALL ad0012", false, true, false, 18},
        {"0B05", "GOTO ad0105", false, true, false, 261},
        {"0A05", "GOTO ad0005", false, true, false, 5},
        {"0C41", "MOVLW 0x41"},
        {"0D41", "IORLW 0x41"},
        {"0E41", "ANDLW 0x41"},
        {"0F41", "XORLW 0x41"},
        {"0841", "RETLW 0x41               ; b'01000001'  'A'"},
        {"080D", "RETLW 0x0D               ; b'00001101'"},
        {"086a", "RETLW 0x6a               ; b'01101010'  'j'"},
        {"0880", "RETLW 0x80               ; b'10000000'"},
    };
    for (const WordCase& c : cases) {
        Check(c, Decode12(c.word));
    }
}

TEST_F(DecoderTest, TwelveBitTrisNamesPortSixOnTwelveSeriesChips) {
    chip.LoadChipLines("[12C508]\n<True,1>\n#0,INDF;0,TMR0;1,GPIO;6\n%GPIO,GP0\nx\n[end");
    chip.SelectChip("12C508", nullptr);
    ASSERT_TRUE(chip.Series12);
    for (const WordCase& c : {WordCase{"0006", "TRIS GPIO"}, WordCase{"0005", "TRIS 05h"},
                              WordCase{"0007", "TRIS 07h"}, WordCase{"0001", "TRIS 01h"}}) {
        Check(c, Decode12(c.word));
    }
}

TEST_F(DecoderTest, TwelveBitSweepKeepsTheContract) {
    for (unsigned value = 0; value < 65536; ++value) {
        const std::string word = FourHex(value);
        const Word out = Decode12(word);
        if (value >= 0x1000) {
            ASSERT_EQ(out.text, "") << word;
            continue;
        }
        ASSERT_FALSE(out.text.empty()) << word;
        ASSERT_FALSE(out.blankAfter);
        ASSERT_EQ(out.skipLine, value == 0xFFF) << word;
        const unsigned d2 = (value >> 8) & 15;
        ASSERT_EQ(out.pageNote, d2 >= 9 && d2 <= 11) << word;
        if (d2 == 9) {
            ASSERT_EQ(out.jumpTarget, static_cast<int>(value & 0xFF)) << word;
        } else if (d2 == 10 || d2 == 11) {
            ASSERT_EQ(out.jumpTarget, static_cast<int>(value & 0x1FF)) << word;
        }
        ASSERT_EQ(out.text.find(",f"), std::string::npos) << word;
    }
}

// The checking pass asks a word by its value alone. What it hears must be what
// the listing makes of the word's text, for every value of both cores: an
// instruction or not, and a GOTO's or CALL's target (A800h is IORLW 0x00 on the
// 14-bit core, no GOTO that gives word 0 a label). A full record's words that
// it does not ask at all must be instructions that jump nowhere.
TEST_F(DecoderTest, CheckingPassHearsWhatTheListingDecodes) {
    for (const bool core12 : {false, true}) {
        const char* core = core12 ? " (12-bit)" : " (14-bit)";
        ListingDecoder decoder(chip.Naming(), {core12, chip.Series12});
        for (unsigned value = 0; value < 65536; ++value) {
            const std::string word = FourHex(value);
            DecodedWord out;
            decoder.Decode(word, out);
            const ListingDecoder::Check check = decoder.CheckWord(value);
            ASSERT_EQ(check.instruction, out.IsInstruction()) << word << core << ": " << out.text;
            ASSERT_EQ(check.jumpTarget, out.IsInstruction() && out.pageNote ? out.jumpTarget : -1)
                << word << core << ": the checking pass's target of " << out.text;
        }
        for (unsigned first = 0; first < 65536; first += 8) {
            std::uint16_t words[8];
            for (unsigned i = 0; i < 8; ++i) {
                words[i] = static_cast<std::uint16_t>(first + i);
            }
            const unsigned ask = decoder.WordsToCheck(words);
            for (unsigned i = 0; i < 8; ++i) {
                const ListingDecoder::Check check = decoder.CheckWord(words[i]);
                ASSERT_TRUE((ask >> i & 1) != 0 || (check.instruction && check.jumpTarget < 0))
                    << FourHex(words[i]) << core << " is not asked of";
            }
        }
    }
}

}  // namespace
}  // namespace tolvek
