// An image laid out over a part's memory: each word lands in its region, a word
// just past the end of a region is outside the part, and half a word is data.
#include <gtest/gtest.h>

#include <algorithm>

#include "source/Flow.h"
#include "source/Program.h"
#include "source/Writer.h"

namespace tolvek::source {
namespace {

enum class Region { Program, Config, Id, Eeprom, Outside };

const char* Name(Region r) {
    switch (r) {
        case Region::Program:
            return "program";
        case Region::Config:
            return "config";
        case Region::Id:
            return "ID";
        case Region::Eeprom:
            return "EEPROM";
        case Region::Outside:
            break;
    }
    return "outside";
}

// Where Layout put the one word of an image.
Region Found(const Program& p) {
    if (std::find(p.present.begin(), p.present.end(), true) != p.present.end()) {
        return Region::Program;
    }
    if (!p.config.empty()) {
        return Region::Config;
    }
    if (!p.ids.empty()) {
        return Region::Id;
    }
    if (!p.eeprom.empty()) {
        return Region::Eeprom;
    }
    return Region::Outside;
}

TEST(Layout, EachWordInItsRegionAndNoneBeyondItsEnd) {
    devices::Device device;
    device.name = "TEST";
    device.core = isa::Core::Midrange;
    device.programWords = 0x400;
    device.config = {{0x2007, "", 0x3FFF, {}}};
    device.idFirst = 0x2000;
    device.idCount = 4;
    device.eepromFirst = 0x2100;
    device.eepromBytes = 64;
    const struct {
        unsigned word;
        Region region;
    } cases[] = {
        {0x0000, Region::Program}, {0x03FF, Region::Program}, {0x0400, Region::Outside},
        {0x1FFF, Region::Outside}, {0x2000, Region::Id},      {0x2003, Region::Id},
        {0x2004, Region::Outside}, {0x2006, Region::Outside}, {0x2007, Region::Config},
        {0x2008, Region::Outside}, {0x2100, Region::Eeprom},  {0x213F, Region::Eeprom},
        {0x2140, Region::Outside},
    };
    for (const auto& c : cases) {
        image::Image image;
        image.Set(c.word * 2, 0x12);
        image.Set(c.word * 2 + 1, c.region == Region::Eeprom ? 0x00 : 0x34);
        const Program program = Layout(image, device);
        EXPECT_STREQ(Name(Found(program)), Name(c.region)) << "word " << std::hex << c.word;
        EXPECT_EQ(program.outsideBytes, c.region == Region::Outside ? 2u : 0u)
            << "word " << std::hex << c.word;
    }
}

// A word with one of its two bytes in the image (a record with an odd byte
// count) is data: written as dw with the missing byte as FF, never decoded,
// and no path runs on through it to the next word.
TEST(Layout, HalfAWordIsData) {
    const struct {
        const char* name;
        isa::Core core;
        int low;  // -1: not in the image
        int high;
        const char* line;
    } cases[] = {
        {"midrange, both bytes", isa::Core::Midrange, 0x06, 0x30, "movlw   0x06"},
        {"midrange, low byte only", isa::Core::Midrange, 0x06, -1, "dw      0x3F06"},
        {"midrange, high byte only", isa::Core::Midrange, -1, 0x30, "dw      0x30FF"},
        {"baseline, both bytes", isa::Core::Baseline, 0x06, 0x0C, "movlw   0x06"},
        {"baseline, low byte only", isa::Core::Baseline, 0x06, -1, "dw      0x0F06"},
        {"baseline, high byte only", isa::Core::Baseline, -1, 0x0C, "dw      0x0CFF"},
    };
    for (const auto& c : cases) {
        devices::Device device;
        device.name = "TEST";
        device.core = c.core;
        device.programWords = 0x200;
        device.bankCount = 1;
        device.bankSize = c.core == isa::Core::Baseline ? 0x20 : 0x80;
        device.resetVector = c.core == isa::Core::Baseline ? 0x1FF : 0;
        image::Image image;
        if (c.low >= 0) {
            image.Set(0, static_cast<std::uint8_t>(c.low));
        }
        if (c.high >= 0) {
            image.Set(1, static_cast<std::uint8_t>(c.high));
        }
        image.Set(2, 0);  // a NOP after it
        image.Set(3, 0);
        const Program program = Layout(image, device);
        Flow flow(program);
        flow.Run();
        const std::string text = WriteSource(program, flow, Symbols{}, "p.hex");
        const bool whole = c.low >= 0 && c.high >= 0;
        EXPECT_NE(text.find(std::string("        ") + c.line), std::string::npos) << c.name << ":\n"
                                                                                  << text;
        EXPECT_EQ(flow.Reached(1), whole) << c.name << ": the flow ran on through word 0";
        EXPECT_EQ(text.find("one byte of this word") != std::string::npos, !whole) << c.name;
    }
}

}  // namespace
}  // namespace tolvek::source
