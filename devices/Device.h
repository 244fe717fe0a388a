// Device data for the reconstructed source: what a part has where, read from
// the plain-text device file (data/devices.txt) that tools/gen_devices.py makes
// from gputils' processor headers and linker scripts.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "isa/Core.h"

namespace tolvek::devices {

// A special function register or named location in data memory.
struct Register {
    unsigned address = 0;  // absolute: bank * BankSize() + offset
    std::string name;
    std::array<std::string, 8> bits;  // bit names from bit 0; empty where unnamed
};

// A range of data addresses, both ends included.
struct Range {
    unsigned first = 0;
    unsigned last = 0;
};

// One named setting of a configuration word: the word ANDed with mask equals value.
// The settings of one field share its mask and stand together, in the header's
// order; where several names give a field the same value, the first is the usual one.
struct ConfigSetting {
    std::string name;  // as the processor header spells it, e.g. "_FOSC_XT"
    unsigned mask = 0;
    unsigned value = 0;
    // The name's value in the processor header: the word with every bit set except
    // the field's cleared ones. On the enhanced core the headers also set bits 14
    // and 15, and gpasm keeps them in the image.
    unsigned equ = 0;
};

struct ConfigWord {
    unsigned address = 0;      // word address in the hex image, e.g. 0x2007, 0x8007, 0x0FFF
    std::string name;          // e.g. "_CONFIG1"; empty where the part has one word
    unsigned implemented = 0;  // bits the word has; the others read back as 1
    std::vector<ConfigSetting> settings;
};

struct Device {
    std::string name;  // upper case without the "PIC"/"P" prefix: "16F877A"
    isa::Core core = isa::Core::Midrange;
    unsigned programWords = 0;  // program memory size in words
    unsigned pageWords = 0;     // words per program page (512 baseline, 2048 otherwise)
    unsigned bankCount = 0;     // RAM banks
    unsigned bankSize = 0;      // 0x20 baseline, 0x80 otherwise
    // By address, each register once: one that is the same in every bank stands at
    // its bank 0 address (RegisterAt finds it from any bank).
    std::vector<Register> registers;
    // Data addresses that are the same location in every bank (core registers and
    // common RAM): bank-independent names are printed there even when the bank is
    // unknown. Each entry is an offset range within a bank.
    std::vector<Range> unbanked;
    // General-purpose RAM, absolute addresses.
    std::vector<Range> gpr;
    // The enhanced core's linear view of general-purpose RAM (0x2000 up), if any.
    std::optional<Range> linear;
    std::vector<ConfigWord> config;
    unsigned idFirst = 0;  // first ID location (word address); idCount 0: none
    unsigned idCount = 0;
    unsigned eepromFirst = 0;  // word address of EEPROM data in the image (0x2100, 0xF000)
    unsigned eepromBytes = 0;  // 0: none
    // Flash data words beyond program memory that the program reads and writes
    // (12F519, 12F520, 16F526): data, not code. flashDataWords 0: none.
    unsigned flashDataFirst = 0;
    unsigned flashDataWords = 0;
    unsigned resetVector = 0;                 // baseline: the last program word; otherwise 0
    std::optional<unsigned> interruptVector;  // 4 on the 14-bit cores
    // The program word that holds the factory's oscillator calibration as a
    // RETLW, which the program calls (12F629/675, 16F630/676): usually left out
    // of an image.
    std::optional<unsigned> calibration;

    // The register at an absolute data address, or null.
    const Register* RegisterAt(unsigned address) const;
    // Whether an offset within a bank is the same location in every bank.
    bool Unbanked(unsigned offset) const;
};

// The device file, loaded.
class DeviceDb {
  public:
    // Reads a device file; on failure returns nothing and sets error to a message
    // naming the line and the fault.
    static std::optional<DeviceDb> Load(const std::string& path, std::string& error);
    static std::optional<DeviceDb> Parse(std::string_view text, std::string& error);
    // Reads only what one part needs: its section and the sections its "-of" lines
    // name, so a run that knows its part starts quickly (faults in other sections go
    // unnoticed). Where the file has no such part, error says so and closest, if
    // given, receives up to three similar names.
    static std::optional<Device> LoadPart(const std::string& path, std::string_view name,
                                          std::string& error,
                                          std::vector<std::string>* closest = nullptr);

    // A part name as the file spells it: upper case, without a "P" or "PIC" prefix.
    static std::string Canonical(std::string_view name);

    // Finds a part by the name users write: letter case ignored, with or without
    // a "P" or "PIC" prefix ("16f877a", "p16F877A", "PIC16F877A").
    const Device* Find(std::string_view name) const;
    // The closest names to an unknown one, for "did you mean" messages.
    std::vector<std::string> Closest(std::string_view name, std::size_t count) const;
    const std::vector<Device>& All() const { return devices_; }

  private:
    std::vector<Device> devices_;
};

// Up to count names among names that are close to name (a slip of the keyboard
// away, compared as DeviceDb::Canonical spells them), the nearest first.
std::vector<std::string> ClosestNames(const std::vector<std::string>& names, std::string_view name,
                                      std::size_t count);

}  // namespace tolvek::devices
