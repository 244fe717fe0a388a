#include "job/EnhancedHint.h"

#include <cstdio>
#include <optional>

#include "devices/Device.h"
#include "image/HexImage.h"
#include "isa/Isa.h"

namespace tolvek {

namespace {

// The enhanced core's first configuration word; the classic cores have nothing there.
constexpr std::uint32_t kEnhancedConfigWord = 0x8007;
// One stray word may be table data; two are a pattern.
constexpr int kWordsThatTell = 2;
// Where the classic cores' ID, config and EEPROM words begin: words from here on
// are no program words of a classic image.
constexpr std::uint32_t kClassicDataWords = 0x2000;

bool OnlyEnhanced(unsigned word) {
    // the erased word reads as an instruction on the enhanced core
    if (word == isa::ErasedWord(isa::Core::Enhanced)) {
        return false;
    }
    const isa::Decoded enhanced = isa::Decode(isa::Core::Enhanced, word);
    const isa::Decoded midrange = isa::Decode(isa::Core::Midrange, word);
    return enhanced && enhanced.canonical && !(midrange && midrange.canonical);
}

// The part's name as the device file spells it, if it is an enhanced part there.
std::string EnhancedPartName(const std::string& chipName, const std::string& deviceFile) {
    if (chipName.empty()) {
        return {};
    }
    std::string error;
    const std::optional<devices::Device> device =
        devices::DeviceDb::LoadPart(deviceFile, chipName, error);
    return device && device->core == isa::Core::Enhanced ? device->name : std::string();
}

}  // namespace

std::string EnhancedPartHint(const std::string& chipName, const std::string& deviceFile) {
    const std::string part = EnhancedPartName(chipName, deviceFile);
    if (part.empty()) {
        return {};
    }
    return "hint: " + part +
           " has the enhanced midrange core, which the listing does not decode; --source -p " +
           part + " reads it";
}

std::string EnhancedCoreHint(const std::string& path, const std::string& chipName,
                             const std::string& deviceFile) {
    image::Image image;
    image::ReadError readError;
    if (!image::ReadIntelHexFile(path, image, readError)) {
        return {};
    }
    std::string reason;
    unsigned word = 0;
    for (std::uint32_t address = kEnhancedConfigWord; address < kEnhancedConfigWord + 5;
         ++address) {
        if (image.Word(address, word)) {
            reason = "it has configuration data at word 8007h and up";
            break;
        }
    }
    if (reason.empty()) {
        int count = 0;
        std::uint32_t first = 0;
        for (std::uint32_t address = 0; address < kClassicDataWords; ++address) {
            if (image.Word(address, word) && OnlyEnhanced(word) && count++ == 0) {
                first = address;
            }
        }
        if (count < kWordsThatTell) {
            return {};
        }
        image.Word(first, word);
        char text[96];
        std::snprintf(text, sizeof text, "%d words that only that core has, the first %04X (%s)",
                      count, first,
                      isa::FormatPlain(isa::Decode(isa::Core::Enhanced, word)).c_str());
        reason = text;
    }
    std::string part = EnhancedPartName(chipName, deviceFile);
    if (part.empty()) {
        part = "PART";
    }
    std::string hint =
        "hint: this image looks like one for an enhanced midrange part "
        "(PIC12F1xxx/16F1xxx): " +
        reason + "; the listing does not decode that core: --source -p " + part + " reads it";
    if (part == "PART") {
        hint += " (--source --list-chips lists the parts)";
    }
    return hint;
}

}  // namespace tolvek
