// Fuzz target: the device file reader over arbitrary bytes. The whole-file
// reader and the one-part reader must agree, and what they give must keep the
// promises of devices/Device.h.
//
// The first byte chooses the part to read alone (an index into the parts, or a
// name that is not there); the rest is the device file.
#include <string>
#include <string_view>

#include "devices/Device.h"
#include "fuzz/FuzzSupport.h"

namespace {

using tolvek::devices::ConfigSetting;
using tolvek::devices::ConfigWord;
using tolvek::devices::Device;
using tolvek::devices::DeviceDb;
using tolvek::devices::Register;

void CheckDevice(const Device& device) {
    TOLVEK_FUZZ_CHECK(!device.name.empty() && device.name == DeviceDb::Canonical(device.name));
    TOLVEK_FUZZ_CHECK(device.bankCount >= 1 && device.bankSize >= 0x20);
    TOLVEK_FUZZ_CHECK(device.resetVector < device.programWords);
    const unsigned top = device.bankCount * device.bankSize;
    for (std::size_t i = 0; i < device.registers.size(); ++i) {
        const Register& reg = device.registers[i];
        TOLVEK_FUZZ_CHECK(reg.address < top && !reg.name.empty());
        TOLVEK_FUZZ_CHECK(i == 0 || device.registers[i - 1].address < reg.address);
        TOLVEK_FUZZ_CHECK(device.RegisterAt(reg.address) == &reg);
    }
    for (unsigned address = 0; address < top; ++address) {
        const Register* reg = device.RegisterAt(address);
        TOLVEK_FUZZ_CHECK(reg == nullptr ||
                          reg->address % device.bankSize == address % device.bankSize);
    }
    for (const tolvek::devices::Range& range : device.unbanked) {
        TOLVEK_FUZZ_CHECK(range.first <= range.last && range.last < device.bankSize);
    }
    for (std::size_t i = 0; i < device.config.size(); ++i) {
        const ConfigWord& word = device.config[i];
        TOLVEK_FUZZ_CHECK(i == 0 || device.config[i - 1].address < word.address);
        for (const ConfigSetting& setting : word.settings) {
            TOLVEK_FUZZ_CHECK(setting.mask != 0 && (setting.mask & ~word.implemented) == 0);
            TOLVEK_FUZZ_CHECK(setting.value == (setting.equ & setting.mask));
        }
    }
}

bool SameDevice(const Device& a, const Device& b) {
    if (a.name != b.name || a.registers.size() != b.registers.size() ||
        a.config.size() != b.config.size() || a.programWords != b.programWords ||
        a.unbanked.size() != b.unbanked.size() || a.idCount != b.idCount) {
        return false;
    }
    for (std::size_t i = 0; i < a.registers.size(); ++i) {
        if (a.registers[i].address != b.registers[i].address ||
            a.registers[i].name != b.registers[i].name ||
            a.registers[i].bits != b.registers[i].bits) {
            return false;
        }
    }
    for (std::size_t i = 0; i < a.config.size(); ++i) {
        if (a.config[i].address != b.config[i].address ||
            a.config[i].settings.size() != b.config[i].settings.size()) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static tolvek::fuzz::MemoryFile file;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (bytes.empty()) {
        return 0;
    }
    const unsigned selector = static_cast<unsigned char>(bytes[0]);
    bytes.remove_prefix(1);
    file.Set(bytes);

    std::string error;
    const std::optional<DeviceDb> db = DeviceDb::Parse(bytes, error);
    std::string loadError;
    const std::optional<DeviceDb> loaded = DeviceDb::Load(file.Path(), loadError);
    TOLVEK_FUZZ_CHECK(db.has_value() == loaded.has_value());
    if (!db) {
        TOLVEK_FUZZ_CHECK(error.starts_with("line ") && loadError == file.Path() + ": " + error);
        // one part alone: read or refused, never more
        std::vector<std::string> closest;
        DeviceDb::LoadPart(file.Path(), selector % 2 ? "16F84A" : "p10f200", error, &closest);
        TOLVEK_FUZZ_CHECK(closest.size() <= 3);
        return 0;
    }
    for (const Device& device : db->All()) {
        CheckDevice(device);
        TOLVEK_FUZZ_CHECK(db->Find(device.name) == &device);
        TOLVEK_FUZZ_CHECK(db->Find("pic" + device.name) == &device);
    }
    if (db->All().empty() || selector == 255) {
        std::vector<std::string> closest;
        TOLVEK_FUZZ_CHECK(!DeviceDb::LoadPart(file.Path(), "X", error, &closest));
        TOLVEK_FUZZ_CHECK(closest.size() <= 3);
        return 0;
    }
    const Device& chosen = db->All()[selector % db->All().size()];
    const std::optional<Device> alone = DeviceDb::LoadPart(file.Path(), chosen.name, error);
    TOLVEK_FUZZ_CHECK(alone && SameDevice(*alone, chosen));
    TOLVEK_FUZZ_CHECK(db->Closest(chosen.name, 2).size() <= 2);
    return 0;
}
