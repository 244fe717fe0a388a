// The symbol file: good lines name labels and RAM; each kind of bad line is
// refused with the file, its line number and the fault.
#include <gtest/gtest.h>

#include "source/Symbols.h"

namespace tolvek::source {
namespace {

devices::Device Part() {
    devices::Device d;
    d.name = "16F84A";
    d.programWords = 0x400;
    d.bankCount = 2;
    d.bankSize = 0x80;
    devices::Register status;
    status.address = 3;
    status.name = "STATUS";
    status.bits[5] = "RP0";
    d.registers.push_back(status);
    d.config.push_back({0x2007, "", 0x3FFF, {{"_CP_ON", 0x10, 0}}});
    return d;
}

TEST(Symbols, ReadsLabelsAndRam) {
    Symbols symbols;
    std::string error;
    ASSERT_TRUE(
        ParseSymbols("# names\n\nlabel 0x0040 init   # start\nram 0x20 counter\nlabel 16 loop\n"
                     "ram 0xFF top\nlabel 0x3FF label_03FF0\n"
                     "label 0x41 thirty_two_characters_in_a_name_\n",
                     "p.sym", Part(), symbols, error))
        << error;
    EXPECT_EQ(symbols.labels.at(0x40), "init");
    EXPECT_EQ(symbols.labels.at(16), "loop");
    EXPECT_EQ(symbols.ram.at(0x20), "counter");
    EXPECT_EQ(symbols.ram.at(0xFF), "top");  // the last byte of the second bank
    // not the form of a generated name, and a name of the longest length
    EXPECT_EQ(symbols.labels.at(0x3FF), "label_03FF0");
    EXPECT_EQ(symbols.labels.at(0x41), "thirty_two_characters_in_a_name_");
}

TEST(Symbols, OtherKindsAreAcceptedAndFaultsComeInLineOrder) {
    Symbols symbols;
    std::string error;
    ASSERT_TRUE(
        ParseSymbols("# tolvek symbol file\nentry 0x10\ncomment 0x10 STATUS # x\n"
                     "bookmark 0x11\nlabel 0x10 init\n",
                     "p.sym", Part(), symbols, error))
        << error;
    EXPECT_EQ(symbols.labels.at(0x10), "init");
    EXPECT_EQ(symbols.labels.size() + symbols.ram.size(), 1u);
    EXPECT_EQ(symbols.entries, (std::vector<unsigned>{0x10}));
    // the first faulty line is named, whether its fault is the syntax or the name
    EXPECT_FALSE(ParseSymbols("label 0x40 movwf\nbad\n", "p.sym", Part(), symbols, error));
    EXPECT_EQ(error.substr(0, 8), "p.sym:1:");
    EXPECT_FALSE(ParseSymbols("bad\nlabel 0x40 movwf\n", "p.sym", Part(), symbols, error));
    EXPECT_EQ(error.substr(0, 8), "p.sym:1:");
}

TEST(Symbols, BadLinesAreRefused) {
    struct Case {
        const char* text;
        const char* fault;
    };
    const Case cases[] = {
        {"label 0x40\n", "expected"},
        {"code 0x40 init\n", "unknown kind"},
        {"label 0x4G init\n", "not an address"},
        {"label 0x40 9lives\n", "not a name"},
        {"label 0x40 a_name_that_is_longer_than_thirty_two\n", "not a name"},
        {"label 0x40 movwf\n", "already"},
        {"ram 0x20 rp0\n", "already"},
        {"ram 0x20 _CP_ON\n", "already"},
        {"label 0x40 label_0040\n", "unnamed labels"},
        {"label 0x40 function_01FF\n", "unnamed labels"},
        {"ram 0x20 ram_021\n", "unnamed labels and locations"},
        {"label 0x40 fsr0\n", "already"},
        {"entry 0x400\n", "p.sym:1: entry 0x0400 is outside the program memory of the 16F84A"},
        {"label 0x40 x\nlabel 0x41 X\n", "p.sym:2: \"X\" is already used on line 1"},
        {"label 0x40 x\nlabel 0x40 y\n", "p.sym:2: address 0x0040 is named twice"},
        {"label 0x400 x\n", "p.sym:1: address 0x0400 is outside the program memory of the 16F84A"},
        {"ram 0x100 x\n", "p.sym:1: address 0x100 is outside the data memory of the 16F84A"},
    };
    for (const Case& c : cases) {
        Symbols symbols;
        std::string error;
        EXPECT_FALSE(ParseSymbols(c.text, "p.sym", Part(), symbols, error)) << c.text;
        EXPECT_TRUE(error.starts_with("p.sym:")) << error;
        EXPECT_NE(error.find(c.fault), std::string::npos) << c.text << " -> " << error;
    }
}

}  // namespace
}  // namespace tolvek::source
