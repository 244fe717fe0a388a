// Runs a program image on the machine model and checks the reconstructed
// source written for it: every register name, label and cross-reference of a
// word that ran must agree with what the word did.
//
// usage: sim_check --devices FILE --part NAME [--seed N] [--runs N] [--steps N]
//                  [--ran] IMAGE.hex SOURCE.asm
// --ran lists the word addresses that ran.
// Exit status 0 when everything agrees, 1 with each fault on standard output,
// 2 when the input cannot be read.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "devices/Device.h"
#include "image/HexImage.h"
#include "sim/NameCheck.h"

namespace {

int Usage(const char* why) {
    std::cerr << "sim_check: " << why
              << "\nusage: sim_check --devices FILE --part NAME [--seed N] [--runs N] "
                 "[--steps N] [--ran] IMAGE.hex SOURCE.asm\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tolvek;
    std::string devicesPath;
    std::string part;
    std::vector<std::string> files;
    sim::RunOptions options;
    bool showRan = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--devices" && hasValue) {
            devicesPath = argv[++i];
        } else if (arg == "--part" && hasValue) {
            part = argv[++i];
        } else if (arg == "--seed" && hasValue) {
            options.seed = std::strtoull(argv[++i], nullptr, 0);
        } else if (arg == "--runs" && hasValue) {
            options.runs = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 0));
        } else if (arg == "--steps" && hasValue) {
            options.steps = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 0));
        } else if (arg == "--ran") {
            showRan = true;
        } else if (!arg.empty() && arg[0] == '-') {
            return Usage(("unknown option " + arg).c_str());
        } else {
            files.push_back(arg);
        }
    }
    if (devicesPath.empty() || part.empty() || files.size() != 2) {
        return Usage("a device file, a part, an image and a source are needed");
    }
    std::string error;
    const std::optional<devices::Device> device =
        devices::DeviceDb::LoadPart(devicesPath, part, error);
    if (!device) {
        std::cerr << "sim_check: " << error << "\n";
        return 2;
    }
    image::Image image;
    image::ReadError readError;
    if (!image::ReadIntelHexFile(files[0], image, readError)) {
        std::cerr << "sim_check: " << files[0] << ":" << readError.line << ": " << readError.reason
                  << "\n";
        return 2;
    }
    const unsigned erased = isa::ErasedWord(device->core);
    std::vector<std::uint16_t> words(device->programWords, static_cast<std::uint16_t>(erased));
    for (unsigned a = 0; a < words.size(); ++a) {
        unsigned word = 0;
        if (image.Word(a, word)) {
            words[a] = static_cast<std::uint16_t>(word & erased);
        }
    }
    std::ifstream in(files[1], std::ios::binary);
    if (!in) {
        std::cerr << "sim_check: cannot read " << files[1] << "\n";
        return 2;
    }
    std::stringstream source;
    source << in.rdbuf();

    sim::Reach reach = sim::ReachOf(source.str());
    options.unreachedStarts = std::move(reach.starts);
    options.reached = std::move(reach.reached);
    const sim::Trace trace = sim::Explore(*device, words, options);
    sim::CheckCounts counts;
    const std::vector<std::string> faults = sim::CheckSource(*device, trace, source.str(), &counts);
    if (showRan) {
        std::cout << "ran:";
        for (const unsigned a : trace.ran) {
            std::printf(" %04X", a);
            std::fflush(stdout);
        }
        std::cout << "\n";
    }
    for (const std::string& fault : faults) {
        std::cout << fault << "\n";
    }
    std::cout << trace.steps << " words run over " << trace.ran.size() << " addresses; checked "
              << counts.operands << " named operands, " << counts.labels << " label targets, "
              << counts.references << " cross-references, " << counts.entries
              << " function entries; " << faults.size() << " faults\n";
    return faults.empty() ? 0 : 1;
}
