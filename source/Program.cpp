#include "source/Program.h"

#include <algorithm>

namespace tolvek::source {

namespace {

// Which region a word address of the image falls in.
enum class Region { Program, Config, Id, Eeprom, FlashData, Outside };

}  // namespace

Program Layout(const image::Image& image, const devices::Device& device) {
    Program program;
    program.device = &device;
    program.core = device.core;
    const unsigned width = isa::ErasedWord(device.core);
    program.words.assign(device.programWords, static_cast<std::uint16_t>(width));
    program.present.assign(device.programWords, false);

    const auto regionOf = [&](unsigned word) {
        if (word < device.programWords) {
            return Region::Program;
        }
        for (const devices::ConfigWord& c : device.config) {
            if (c.address == word) {
                return Region::Config;
            }
        }
        if (device.idCount != 0 && word >= device.idFirst &&
            word < device.idFirst + device.idCount) {
            return Region::Id;
        }
        if (device.flashDataWords != 0 && word >= device.flashDataFirst &&
            word < device.flashDataFirst + device.flashDataWords) {
            return Region::FlashData;
        }
        if (device.eepromBytes != 0 && word >= device.eepromFirst &&
            word < device.eepromFirst + device.eepromBytes) {
            return Region::Eeprom;
        }
        return Region::Outside;
    };
    const auto noteOutside = [&](std::uint64_t byteAddress) {
        if (program.outsideBytes++ == 0 || byteAddress < program.firstOutside) {
            program.firstOutside = byteAddress;
        }
    };

    unsigned lastWord = ~0u;
    image.ForEach([&](std::uint32_t byteAddress) {
        const unsigned word = byteAddress / 2;
        if (word == lastWord) {
            return;  // both bytes of a word are taken at once
        }
        lastWord = word;
        unsigned value = 0;
        image.Word(word, value);
        switch (regionOf(word)) {
            case Region::Program:
                program.words[word] = static_cast<std::uint16_t>(value & width);
                program.present[word] = true;
                if (!image.Has(word * 2) || !image.Has(word * 2 + 1)) {
                    program.halfWords.push_back(word);
                }
                break;
            case Region::Config:
                program.config.push_back({word, value});  // all 16 bits, as gpasm writes them
                break;
            case Region::Id:
                program.ids.push_back({word, value & width});
                break;
            case Region::FlashData:
                program.flashData.push_back({word, value & width});
                break;
            case Region::Eeprom:
                // one data byte per word; a high byte other than 0 has nowhere to go
                if (image.Has(byteAddress & ~1u)) {
                    program.eeprom.push_back({word, value & 0xFF});
                } else {
                    noteOutside(byteAddress);
                }
                break;
            case Region::Outside:
                for (unsigned b = word * 2; b <= word * 2 + 1; ++b) {
                    if (image.Has(b)) {
                        noteOutside(b);
                    }
                }
                break;
        }
    });
    if (image.BeyondCount() != 0) {
        program.outsideBytes += image.BeyondCount();
        if (program.outsideBytes == image.BeyondCount()) {
            program.firstOutside = image.FirstBeyond();
        }
    }
    // config words in the part's order
    std::vector<Cell> ordered;
    for (const devices::ConfigWord& c : device.config) {
        for (const Cell& cell : program.config) {
            if (cell.address == c.address) {
                ordered.push_back(cell);
            }
        }
    }
    program.config = std::move(ordered);
    return program;
}

}  // namespace tolvek::source
