// The reader of one section of the device file, shared by the readers of the
// whole file and of one part (DeviceFile.cpp).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "devices/Device.h"

namespace tolvek::devices::section {

// A fault in the file: where (a byte offset, turned into a line number at the
// end) and what.
struct Fault {
    std::size_t offset;
    std::string message;
};

// A part as its section gives it, with the parts its "-of" lines name.
struct Draft {
    Device device;
    std::size_t offset = 0;  // of the section line
    bool ownRegisters = false;
    bool ownConfig = false;
    std::string_view registersOf;
    std::size_t registersOfOffset = 0;
    std::string_view configOf;
    std::size_t configOfOffset = 0;
};

// A part's own section is read whole; of a section that a "-of" line names,
// only the lines asked for.
enum class Keep { kAll, kRegisters, kConfig };

// Reads the section from begin (its "[NAME]" line) to end; throws Fault.
Draft Parse(std::string_view text, std::size_t begin, std::size_t end, Keep keep = Keep::kAll);

// Takes the registers or settings a "-of" line names from an earlier part;
// throws Fault.
void Inherit(Draft& draft, const Draft& from, bool registers);

// Throws Fault where the text from begin to end holds more than comments and
// blank lines (the text before the first section).
void ExpectNothing(std::string_view text, std::size_t begin, std::size_t end);

// The part name of a section line "[16F877A]", or empty where it is none.
std::string_view SectionName(std::string_view line);

}  // namespace tolvek::devices::section
