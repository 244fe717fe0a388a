// Fuzz target: the symbol-file reader over arbitrary text, for a part of the
// device data chosen by the first byte. Every refusal names the file and line.
#include <string>
#include <string_view>

#include "fuzz/FuzzDevices.h"
#include "source/Symbols.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tolvek::devices::DeviceDb& db = tolvek::fuzz::Devices();
    if (size < 1) {
        return 0;
    }
    const auto& device = db.All()[data[0] % db.All().size()];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    tolvek::source::Symbols symbols;
    std::string error;
    if (!tolvek::source::ParseSymbols(text, "f.sym", device, symbols, error)) {
        TOLVEK_FUZZ_CHECK(error.starts_with("f.sym:"));
    }
    return 0;
}
