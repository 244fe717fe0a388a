// An image laid out over a part's memory: program words, config words, ID
// locations, EEPROM data, and whatever lies outside all of them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "devices/Device.h"
#include "image/HexImage.h"

namespace tolvek::source {

struct Cell {
    unsigned address = 0;  // word address in the image
    unsigned value = 0;    // within the core's width; config: as in the image; EEPROM: the byte
};

struct Program {
    const devices::Device* device = nullptr;
    isa::Core core = isa::Core::Midrange;
    std::vector<std::uint16_t> words;   // program memory, erased where absent
    std::vector<std::uint8_t> present;  // the image holds the word (a byte each: read often)
    std::vector<Cell> config;           // in the part's order
    std::vector<Cell> ids;
    std::vector<Cell> flashData;  // data words beyond program memory (12F519, 16F526)
    std::vector<Cell> eeprom;
    // Program words of which the image holds one byte only, in address order:
    // data, never an instruction; the other byte reads as FF.
    std::vector<unsigned> halfWords;
    // Image bytes that belong to none of the part's regions.
    std::size_t outsideBytes = 0;
    std::uint64_t firstOutside = 0;  // byte address

    unsigned Size() const { return static_cast<unsigned>(words.size()); }
    bool Present(unsigned address) const { return address < words.size() && present[address]; }
    bool Half(unsigned address) const {
        return !halfWords.empty() &&
               std::binary_search(halfWords.begin(), halfWords.end(), address);
    }
};

// Sorts an image's bytes into the part's regions.
Program Layout(const image::Image& image, const devices::Device& device);

}  // namespace tolvek::source
