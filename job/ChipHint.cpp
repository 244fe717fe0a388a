#include "job/ChipHint.h"

#include <optional>

#include "base/Conversions.h"
#include "decode/Decoder.h"
#include "run/Record.h"

namespace tolvek {

namespace {

bool Decodes(std::string_view word, bool core12Bit, const ChipState& chip) {
    ListingDecoder decoder(chip.Naming(), {core12Bit, chip.Series12});
    DecodedWord decoded;
    decoder.Decode(word, decoded);
    return decoded.IsInstruction();
}

// The first data word of the record that the run's core does not decode.
std::optional<std::string> FirstUndecodableWord(std::string_view line, const ChipState& chip) {
    const int byteCount = line.size() > 2 ? ExtractLineBytes(line[1], line[2]) : -1;
    for (int k = 0; 2 * k < byteCount; ++k) {
        char digits[4];
        if (ExtractCodeData(line, 9 + 4 * static_cast<std::size_t>(k), digits)) {
            const std::string word(digits, 4);
            if (!Decodes(word, chip.Core12Bit, chip)) {
                return word;
            }
        }
    }
    return std::nullopt;
}

std::string CoreName(bool core12Bit) {
    return core12Bit ? "12-bit core" : "14-bit core";
}

}  // namespace

std::string NoInstructionHint(std::string_view line, const ChipState& chip, ChipSource source) {
    const std::optional<std::string> word = FirstUndecodableWord(line, chip);
    const bool otherCoreFits = word && Decodes(*word, !chip.Core12Bit, chip);
    const std::string fits =
        otherCoreFits ? "; word " + *word + " fits the " + CoreName(!chip.Core12Bit) : "";
    switch (source) {
        case ChipSource::kNamed:
            if (!otherCoreFits) {
                return {};
            }
            return "hint: " + chip.ChipName + ", named with --chip, has the " +
                   CoreName(chip.Core12Bit) + fits + ": check the name given with --chip";
        case ChipSource::kChosen:
            if (!otherCoreFits) {
                return {};
            }
            return "hint: " + chip.ChipName + ", the chosen chip, has the " +
                   CoreName(chip.Core12Bit) + fits + ": check the chip chosen in the list";
        case ChipSource::kFirstInList:
            return "hint: no chip was named, so the first in the list, " + chip.ChipName + " (" +
                   CoreName(chip.Core12Bit) + "), was used" + fits +
                   ": name the chip with --chip NAME (--list-chips lists them)";
        case ChipSource::kNoChipData:
            return "hint: no chip data was found, so the " + CoreName(chip.Core12Bit) +
                   " was used" + fits +
                   ": name the chip with --chip NAME and its data with --chipdat FILE";
        case ChipSource::kNoChipDataOption:
            return "hint: --no-chipdat uses the " + CoreName(chip.Core12Bit) + fits +
                   ": leave it out and name the chip with --chip NAME";
    }
    return {};
}

}  // namespace tolvek
