// Prints every word of a core as the decoder reads it, one line per word, for
// the gpasm sweep: instructions in plain form, everything else as data.
#include <cstdio>
#include <cstring>

#include "isa/Isa.h"

int main(int argc, char** argv) {
    using namespace tolvek::isa;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s baseline|midrange|enhanced\n", argv[0]);
        return 2;
    }
    Core core = Core::Midrange;
    if (std::strcmp(argv[1], "baseline") == 0) {
        core = Core::Baseline;
    } else if (std::strcmp(argv[1], "enhanced") == 0) {
        core = Core::Enhanced;
    }
    std::puts("FSR0 equ 4\nFSR1 equ 6\n\terrorlevel -302, -224\n\torg 0");
    for (unsigned word = 0; word <= ErasedWord(core); ++word) {
        const Decoded d = Decode(core, word);
        if (d && d.canonical) {
            std::printf("\t%s\n", FormatPlain(d).c_str());
        } else {
            std::printf("\tdw 0x%04X\n", word);
        }
    }
    std::puts("\tend");
    return 0;
}
