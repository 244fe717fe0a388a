// Fuzz target: the symbol-file reader and writer over arbitrary text, and the
// source's checks of the names for a part.
//
// The first byte chooses what is asked of the file after it is read (bit 7):
// an update of the entry of one kind (bits 4-6) at the address the second byte
// gives, or the source's checks for one part (bits 0-6); the rest is the file.
// Properties: every fault names a line of the text, an update leaves exactly
// one entry of its kind at its address and no new faults, taking the entry out
// again leaves none, and every refusal of the source's checks names the file
// and line.
//
// An input asks one of the two questions, not both: each costs readings of the
// whole text (an update and its check three), and libFuzzer reaches either from
// any input by flipping one bit, so the code covered stays the same while an
// input costs half as much.
#include <algorithm>
#include <string>
#include <string_view>

#include "base/SymbolFile.h"
#include "fuzz/FuzzDevices.h"
#include "source/Symbols.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
    const tolvek::SymbolFile file = tolvek::ReadSymbolFile(text);
    std::size_t lastFault = 0;
    for (const tolvek::SymbolFault& fault : file.faults) {
        TOLVEK_FUZZ_CHECK(fault.line >= 1 && !fault.text.empty());
        lastFault = std::max(lastFault, fault.line);
    }
    if (lastFault != 0) {
        // the text's lines counted only when a fault names one, and by memchr:
        // a loop over the characters made every input cost a comparison each
        std::size_t lines = 1;
        for (std::size_t at = text.find('\n'); at != std::string_view::npos;
             at = text.find('\n', at + 1)) {
            ++lines;
        }
        TOLVEK_FUZZ_CHECK(lastFault <= lines);
    }

    if ((data[0] & 0x80) != 0) {
        const tolvek::devices::DeviceDb& db = tolvek::fuzz::Devices();
        const auto& device = db.All()[(data[0] & 0x7Fu) % db.All().size()];
        tolvek::source::Symbols symbols;
        std::string error;
        if (!tolvek::source::ParseSymbols(text, "f.sym", device, symbols, error)) {
            TOLVEK_FUZZ_CHECK(error.starts_with("f.sym:"));
        }
        return 0;
    }
    const auto kind = static_cast<tolvek::SymbolKind>((data[0] >> 4) % 5);
    const unsigned address = data[1];
    const auto count = [&](const std::string& updated) {
        const tolvek::SymbolFile again = tolvek::ReadSymbolFile(updated);
        TOLVEK_FUZZ_CHECK(again.faults.size() == file.faults.size());
        std::size_t found = 0;
        for (const tolvek::SymbolEntry& e : again.entries) {
            found += e.kind == kind && e.address == address;
        }
        return found;
    };
    const std::string updated = tolvek::UpdateSymbolFile(text, kind, address, "fuzz_name");
    TOLVEK_FUZZ_CHECK(count(updated) == 1);
    TOLVEK_FUZZ_CHECK(count(tolvek::UpdateSymbolFile(updated, kind, address, std::nullopt)) == 0);
    return 0;
}
