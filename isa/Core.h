// The three instruction-set cores of the PIC12/PIC16 families.
#pragma once

#include <cstdint>
#include <string_view>

namespace tolvek::isa {

enum class Core : std::uint8_t {
    Baseline,  // 12-bit words: 10F2xx, 12F5xx, 16F5x, 16C5x, ...
    Midrange,  // 14-bit words: 12F6xx, 16F6xx-9xx, 16F8x, ...
    Enhanced,  // 14-bit words with BSR, FSR0/1 and 49 instructions: 12F1xxx, 16F1xxx
};

// Bits in a program word of the core.
constexpr int WordBits(Core core) {
    return core == Core::Baseline ? 12 : 14;
}
// The value of an erased (unprogrammed) program word.
constexpr unsigned ErasedWord(Core core) {
    return (1u << WordBits(core)) - 1;
}

constexpr std::string_view CoreName(Core core) {
    switch (core) {
        case Core::Baseline:
            return "baseline";
        case Core::Midrange:
            return "midrange";
        case Core::Enhanced:
            return "enhanced";
    }
    return "";
}

}  // namespace tolvek::isa
