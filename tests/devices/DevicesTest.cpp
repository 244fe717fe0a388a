// The device file reader: faults named by line, part names as users write them,
// one part read alone, and the shipped file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/Device.h"
#include "tests/TempDir.h"

namespace tolvek::devices {
namespace {

// A small file: a midrange part with mirrored core registers, common RAM and one
// configuration word, and a second part that takes both from it.
const char kSample[] =
    "# sample\n"
    "[16F84A]\n"
    "core midrange\n"
    "program 0x400\n"
    "page 0x800\n"
    "banks 2\n"
    "bank-size 0x80\n"
    "reset 0\n"
    "interrupt 4\n"
    "unbanked 0x00 0x02-0x04 0x0A-0x0B 0x0C-0x4F\n"
    "gpr 0x0C-0x4F 0x8C-0xCF\n"
    "id 0x2000 4\n"
    "eeprom 0x2100 64\n"
    "config 0x2007 - 0x3FFF\n"
    "field 0x0003 _FOSC_LP=0x3FFC _FOSC_XT=0x3FFD _XT_OSC=0x3FFD _FOSC_RC=0x3FFF\n"
    "field 0x3FF0 _CP_ON=0x000F _CP_OFF=0x3FFF\n"
    "reg 0x03 STATUS C DC Z NOT_PD NOT_TO RP0 RP1 IRP\n"
    "reg 0x02 PCL\n"
    "reg 0x81 OPTION_REG PS0 PS1 PS2 PSA T0SE T0CS INTEDG NOT_RBPU\n"
    "\n"
    "[16F84]   # same registers and settings\n"
    "core midrange\r\n"
    "program 0x400\n"
    "page 0x800\n"
    "banks 2\n"
    "bank-size 0x80\n"
    "reset 0\n"
    "config-of 16f84a\n"
    "registers-of 16F84A\n";

DeviceDb Sample() {
    std::string error;
    std::optional<DeviceDb> db = DeviceDb::Parse(kSample, error);
    EXPECT_TRUE(db) << error;
    return db ? std::move(*db) : DeviceDb();
}

TEST(DeviceFile, ReadsASampleWithMirrorsFieldsAndCopies) {
    const DeviceDb db = Sample();
    ASSERT_EQ(db.All().size(), 2u);
    const Device& part = db.All()[0];
    EXPECT_EQ(part.core, isa::Core::Midrange);
    EXPECT_EQ(part.programWords, 0x400u);
    ASSERT_EQ(part.registers.size(), 3u);
    EXPECT_EQ(part.registers[0].name, "PCL");  // sorted by address
    // core registers and common RAM from any bank; banked ones only where they are
    ASSERT_NE(part.RegisterAt(0x83), nullptr);
    EXPECT_EQ(part.RegisterAt(0x83)->name, "STATUS");
    EXPECT_EQ(part.RegisterAt(0x83)->bits[5], "RP0");
    EXPECT_EQ(part.RegisterAt(0x01), nullptr);
    EXPECT_EQ(part.RegisterAt(0x101), nullptr);
    ASSERT_NE(part.RegisterAt(0x81), nullptr);
    EXPECT_TRUE(part.Unbanked(0x4F));
    EXPECT_FALSE(part.Unbanked(0x50));
    ASSERT_EQ(part.config.size(), 1u);
    const ConfigWord& word = part.config[0];
    EXPECT_EQ(word.address, 0x2007u);
    EXPECT_EQ(word.name, "");
    ASSERT_EQ(word.settings.size(), 6u);
    EXPECT_EQ(word.settings[1].name, "_FOSC_XT");
    EXPECT_EQ(word.settings[1].mask, 0x3u);
    EXPECT_EQ(word.settings[1].value, 0x1u);
    EXPECT_EQ(word.settings[4].value, 0u);  // _CP_ON clears bits 4 to 13
    EXPECT_EQ(word.settings[4].equ, 0x000Fu);
    EXPECT_EQ(part.eepromFirst, 0x2100u);
    EXPECT_EQ(part.eepromBytes, 64u);

    const Device& copy = db.All()[1];
    EXPECT_FALSE(copy.interruptVector);
    EXPECT_EQ(copy.registers.size(), 3u);
    EXPECT_EQ(copy.config.size(), 1u);
}

// Each case: a section body after "[10F200]\n" (or the whole text where it
// starts with "!") and the message the reader must give.
struct FaultCase {
    const char* text;
    const char* message;
};

constexpr char kHead[] =
    "core baseline\nprogram 0x100\npage 0x200\nbanks 1\nbank-size 0x20\nreset 0xFF\n";

TEST(DeviceFile, NamesTheLineAndTheFault) {
    const FaultCase cases[] = {
        {"!core baseline\n[10F200]\n", "line 1: text before the first part section"},
        {"![PIC10F200]\n", "line 1: a section line is [NAME]"},
        {"![10F200] x\n", "line 1: a section line is [NAME]"},
        {"!\n[10F200]\nprogram 0x100\n", "line 2: [10F200] has no 'core' line"},
        {"core midrange\n", "line 8: 'core' given twice"},
        {"![10F200]\ncore pic18\n", "line 2: core 'pic18' is none of baseline, midrange, enhanced"},
        {"!\n[10F200]\ncore baseline\nprogram 0x100\npage 0x800\nbanks 1\nbank-size 0x20\n"
         "reset 0\n",
         "line 5: program pages of a baseline part have 0x200 words"},
        {"!\n[10F200]\ncore baseline\nprogram 0x100\npage 0x200\nbanks 9\nbank-size 0x20\n"
         "reset 0\n",
         "line 6: a baseline part has 1 to 8 banks"},
        {"!\n[10F200]\ncore baseline\nprogram 0x100\npage 0x200\nbanks 1\nbank-size 0x20\n"
         "reset 0x100\n",
         "line 8: the reset vector is beyond program memory"},
        {"interrupt 4\n", "line 8: a baseline part has no interrupt vector"},
        {"![10F200]\nprogram 0x10000\n", "line 2: '0x10000' is larger than 0x8000"},
        {"gpr 0x10-0x0F\n", "line 8: range '0x10-0x0F' ends before it begins"},
        {"gpr 0x10-0x20\n", "line 8: '0x10-0x20' is beyond the part's 1 banks"},
        {"unbanked 0x1G\n", "line 8: bad number '0x1G'"},
        {"reg 0x20 X\n", "line 8: register address '0x20' is beyond the part's 1 banks"},
        {"reg 0x03 STATUS C DC\n", "line 8: 'reg' takes an address, a name and either no"},
        {"reg 0x03 9LIVES\n", "line 8: register '9LIVES' is not a name"},
        {"reg 0x04 FSR\nreg 0x03 STATUS\nreg 0x04 FSR2\n", "line 10: two registers at 0x4"},
        {"reg 0x03 STATUS\nreg 0x04 FSR\nreg 0x04 FSR2\n", "line 10: two registers at 0x4"},
        {"field 0x3 _A=0xFFF\n", "line 8: 'field' before any 'config' line"},
        {"config 0xFFF - 0x3FFF\n", "line 8: implemented bits '0x3FFF' beyond the 12-bit word"},
        {"config 0xFFF - 0x01F\nfield 0x020 _A=0xFDF\n",
         "line 9: field mask '0x020' must be bits the word implements"},
        {"config 0xFFF - 0x01F\nfield 0x003 _A=0xFF8\n",
         "line 9: setting _A clears bits outside its field 0x3"},
        {"config 0xFFF - 0x01F\nfield 0x003 _A=0xFFC\nfield 0x004 _A=0xFFB\n",
         "line 10: setting _A given twice"},
        {"config 0xFFF - 0x01F\nfield 0x003 _A\n", "line 9: setting '_A' is not NAME=VALUE"},
        {"id 0xFFFE 4\n", "line 8: 'id' must hold 1 or more words below 0x10000"},
        {"registers-of 12F508\n", "line 8: no part 12F508 before this one"},
        {"registers-of 10F200\n", "line 8: no part 10F200 before this one"},
        {"reg 0x03 STATUS\nregisters-of 10F200\n",
         "line 9: a part with 'reg' lines has no 'registers-of'"},
        {"colour blue\n", "line 8: unknown key 'colour'"},
        {"reg 0x03 STA\x01TUS\n", "line 8: unexpected byte 0x1"},
        {"reg 0x03 STATUS\n[16F84A\n", "line 9: a section line is [NAME]"},
    };
    for (const FaultCase& c : cases) {
        std::string text = c.text;
        if (text.starts_with('!')) {
            text.erase(0, 1);
        } else {
            text = std::string("[10F200]\n") + kHead + text;
        }
        std::string error;
        EXPECT_FALSE(DeviceDb::Parse(text, error)) << text;
        EXPECT_EQ(error.substr(0, std::string(c.message).size()), c.message) << text;
    }
}

TEST(DeviceFile, RefusesAPartGivenTwiceAndACopyOfACopy) {
    std::string error;
    const std::string part = std::string("[10F200]\n") + kHead;
    EXPECT_FALSE(DeviceDb::Parse(part + part, error));
    EXPECT_EQ(error, "line 8: part 10F200 given twice (also line 1)");
    const std::string copy = std::string(kSample) +
                             "[16C84]\ncore midrange\nprogram 0x400\npage 0x800\nbanks 2\n"
                             "bank-size 0x80\nreset 0\nregisters-of 16F84\n";
    EXPECT_FALSE(DeviceDb::Parse(copy, error));
    EXPECT_EQ(error, "line 37: part 16F84 has no 'reg' lines of its own");
}

TEST(DeviceNames, MatchWithoutCaseOrPrefix) {
    const DeviceDb db = Sample();
    const struct {
        const char* name;
        const char* found;
    } cases[] = {
        {"16F84A", "16F84A"},    {"16f84a", "16F84A"},   {"p16f84a", "16F84A"},
        {"PIC16F84A", "16F84A"}, {"pic16F84", "16F84"},  {"16F8", nullptr},
        {"PIC", nullptr},        {"P", nullptr},         {"", nullptr},
        {"x16F84", nullptr},     {"PICP16F84", nullptr}, {"16F84A ", nullptr},
    };
    for (const auto& c : cases) {
        const Device* device = db.Find(c.name);
        if (c.found == nullptr) {
            EXPECT_EQ(device, nullptr) << c.name;
        } else {
            ASSERT_NE(device, nullptr) << c.name;
            EXPECT_EQ(device->name, c.found);
        }
    }
    EXPECT_EQ(db.Closest("pic16f85a", 3), (std::vector<std::string>{"16F84A", "16F84"}));
    EXPECT_EQ(db.Closest("12F675", 3), std::vector<std::string>{});
}

TEST(DeviceFile, LoadPartReadsOneSectionAndSuggestsNames) {
    testing::TempDir dir;
    const std::string path = dir.Path("devices.txt");
    // a fault in a section the part does not need goes unnoticed
    dir.Write("devices.txt", std::string(kSample) + "[16C84]\ncore none\n");
    std::string error;
    const std::optional<Device> part = DeviceDb::LoadPart(path, "p16f84", error);
    ASSERT_TRUE(part) << error;
    EXPECT_EQ(part->name, "16F84");
    EXPECT_EQ(part->registers.size(), 3u);
    EXPECT_EQ(part->config.size(), 1u);

    std::vector<std::string> closest;
    EXPECT_FALSE(DeviceDb::LoadPart(path, "16F83", error, &closest));
    EXPECT_EQ(error, "no part 16F83 in " + path);
    EXPECT_EQ(closest, (std::vector<std::string>{"16F84", "16C84", "16F84A"}));
    EXPECT_FALSE(DeviceDb::LoadPart(path, "16C84", error));
    EXPECT_EQ(error, path + ": line 31: core 'none' is none of baseline, midrange, enhanced");
    EXPECT_FALSE(DeviceDb::LoadPart(dir.Path("."), "16F84", error));
    EXPECT_EQ(error, "cannot read " + dir.Path(".") + ": not a regular file");
}

// The shipped file: every part loads, alone as in the whole file, with the
// facts a source run leans on.
TEST(ShippedDevices, EveryPartLoadsAloneAsInTheWholeFile) {
    std::string error;
    const std::optional<DeviceDb> db = DeviceDb::Load(TOLVEK_SHIPPED_DEVICES, error);
    ASSERT_TRUE(db) << error;
    int cores[3] = {};
    for (const Device& device : db->All()) {
        ++cores[static_cast<int>(device.core)];
        const std::optional<Device> alone =
            DeviceDb::LoadPart(TOLVEK_SHIPPED_DEVICES, device.name, error);
        ASSERT_TRUE(alone) << error;
        ASSERT_EQ(alone->registers.size(), device.registers.size()) << device.name;
        ASSERT_EQ(alone->config.size(), device.config.size()) << device.name;
        for (std::size_t i = 0; i < device.registers.size(); ++i) {
            ASSERT_EQ(alone->registers[i].name, device.registers[i].name) << device.name;
        }
        // the core registers are the same in every bank
        for (const unsigned offset : {0x02u, 0x03u, 0x04u}) {
            ASSERT_TRUE(device.Unbanked(offset)) << device.name;
            const unsigned last = (device.bankCount - 1) * device.bankSize + offset;
            ASSERT_NE(device.RegisterAt(last), nullptr) << device.name;
        }
    }
    EXPECT_EQ(cores[0], 49);
    EXPECT_EQ(cores[1], 170);
    EXPECT_EQ(cores[2], 136);

    const Device* f877a = db->Find("PIC16F877A");
    ASSERT_NE(f877a, nullptr);
    EXPECT_EQ(f877a->RegisterAt(0x86)->name, "TRISB");
    EXPECT_EQ(f877a->RegisterAt(0x186), nullptr);  // TRISB there, but the headers do not say
    EXPECT_EQ(f877a->RegisterAt(0x18A)->name, "PCLATH");
    const Device* f1939 = db->Find("16f1939");
    ASSERT_NE(f1939, nullptr);
    EXPECT_EQ(f1939->bankCount, 32u);
    EXPECT_EQ(f1939->RegisterAt(0xF89)->name, "WREG");
    EXPECT_EQ(f1939->config.size(), 2u);
    EXPECT_EQ(f1939->config[1].name, "_CONFIG2");
    const Device* f508 = db->Find("12F508");
    ASSERT_NE(f508, nullptr);
    EXPECT_EQ(f508->resetVector, 0x1FFu);
    EXPECT_EQ(f508->config[0].address, 0xFFFu);
}

}  // namespace
}  // namespace tolvek::devices
