// Fuzz target: the whole --source run over arbitrary bytes as an Intel-hex
// image, for any part of the device data. The first byte chooses the part
// (modulo the number of parts); the rest is the hex text. An image the reader
// takes must come out as a source that holds every program word and ends.
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz/FuzzDevices.h"
#include "image/HexImage.h"
#include "source/Flow.h"
#include "source/Program.h"
#include "source/Writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const auto& all = tolvek::fuzz::Devices().All();
    const tolvek::devices::Device& device = all[data[0] % all.size()];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    tolvek::image::Image image;
    tolvek::image::ReadError error;
    if (!tolvek::image::ParseIntelHex(text, image, error)) {
        TOLVEK_FUZZ_CHECK(!error.reason.empty());
        return 0;
    }
    const tolvek::source::Program program = tolvek::source::Layout(image, device);
    // a small budget keeps each input quick; the limit's own path is then fuzzed too
    tolvek::source::Flow flow(program, 200'000);
    flow.Run();
    const std::string source = tolvek::source::WriteSource(program, flow, {}, "fuzz.hex");
    TOLVEK_FUZZ_CHECK(source.ends_with("        end\n"));
    std::size_t lines = 0;
    for (std::size_t pos = source.find("  ; "); pos != std::string::npos;
         pos = source.find("  ; ", pos + 1)) {
        ++lines;
    }
    std::size_t words = 0;
    for (unsigned a = 0; a < program.Size(); ++a) {
        words += program.present[a] ? 1 : 0;
    }
    TOLVEK_FUZZ_CHECK(lines >= words);
    return 0;
}
