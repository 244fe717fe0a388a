#include "cli/SourceMode.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "base/DataFiles.h"
#include "base/ListingFile.h"
#include "base/Paths.h"
#include "cli/Print.h"
#include "devices/Device.h"
#include "image/HexImage.h"
#include "source/Flow.h"
#include "source/Program.h"
#include "source/Symbols.h"
#include "source/Writer.h"

namespace tolvek::cli {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFault = 1;
constexpr int kExitUsage = 2;

bool Exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

// The source into the output file (through a temporary file) or standard output.
class FileSink : public source::SourceSink {
  public:
    explicit FileSink(ListingFile& file) : file_(file) {}
    void Write(std::string_view piece) override {
        char* out = file_.Reserve(piece.size());
        std::copy_n(piece.data(), piece.size(), out);
        file_.Written(out + piece.size());
    }

  private:
    ListingFile& file_;
};

int SourceOne(const std::string& input, const Options& options, const devices::Device& device,
              Print& status) {
    image::Image image;
    image::ReadError readError;
    bool read = false;
    if (options.format == Format::kInhx8s) {
        const std::string base = ExtractFileDir(input) + ExtractFileName(input);
        read = image::ReadSplitPair(input, base + ".hxh", image, readError);
    } else {
        read = image::ReadIntelHexFile(input, image, readError);
    }
    if (!read) {
        if (readError.line == 0) {
            Stderr() << "tolvek-cli: " << readError.reason << '\n';
            return kExitUsage;
        }
        Stderr() << "tolvek-cli: " << input << ":" << readError.line << ": " << readError.reason
                 << "; nothing written\n";
        return kExitFault;
    }

    source::Symbols symbols;
    const std::string base = ExtractFileDir(input) + ExtractFileName(input);
    const std::string symbolsFile = !options.symbolsFile.empty()
                                        ? options.symbolsFile
                                        : (Exists(base + ".sym") ? base + ".sym" : std::string());
    if (!symbolsFile.empty()) {
        std::string error;
        if (!source::LoadSymbols(symbolsFile, device, symbols, error)) {
            Stderr() << "tolvek-cli: " << error << "; nothing written\n";
            return kExitFault;
        }
    }

    const source::Program program = source::Layout(image, device);
    source::Flow flow(program);
    flow.Run();
    const std::string output = options.output.empty() ? base + ".asm" : options.output;
    ListingFile file;
    if (output == "-") {
        file.OpenStream(stdout);
    } else if (!file.Open(output)) {
        Stderr() << "tolvek-cli: " << file.Error().Message() << '\n';
        return kExitUsage;
    }
    FileSink sink(file);
    source::WriteSource(program, flow, symbols, input.substr(input.find_last_of('/') + 1), sink);
    if (!file.Commit()) {
        Stderr() << "tolvek-cli: " << file.Error().Message() << '\n';
        return kExitUsage;
    }
    unsigned words = 0;
    unsigned reached = 0;
    for (unsigned a = 0; a < program.Size(); ++a) {
        words += program.present[a] ? 1 : 0;
        reached += program.present[a] && flow.Reached(a) ? 1 : 0;
    }
    if (output != "-") {
        status << output << ": " << words << " program words, " << reached
               << " reached from the vectors\n";
    }
    if (program.outsideBytes != 0) {
        char first[32];
        std::snprintf(first, sizeof first, "%llX",
                      static_cast<unsigned long long>(program.firstOutside));
        Stderr() << "tolvek-cli: warning: " << input << ": " << program.outsideBytes
                 << " bytes lie outside the memory of the " << device.name
                 << " (the first at byte address 0x" << first << ") and are not in the source\n";
        return kExitFault;
    }
    return kExitOk;
}

}  // namespace

int RunSourceMode(const Options& options, const std::string& programDirectory) {
    const std::string path = FindDataFile(programDirectory, kDeviceFileName);
    std::string error;
    if (options.listChips) {
        const std::optional<devices::DeviceDb> db = devices::DeviceDb::Load(path, error);
        if (!db) {
            Stderr() << "tolvek-cli: cannot read the device data \"" << path << "\": " << error
                     << '\n';
            return kExitUsage;
        }
        for (const devices::Device& d : db->All()) {
            Stdout() << d.name << '\n';
        }
        return kExitOk;
    }
    if (!options.chipGiven) {
        Stderr() << "tolvek-cli: --source needs the chip: -p NAME (tolvek-cli --source -l lists "
                    "them)\n";
        return kExitUsage;
    }
    // only the part's own section is read: a run starts at once
    std::vector<std::string> closest;
    const std::optional<devices::Device> device =
        devices::DeviceDb::LoadPart(path, options.chip, error, &closest);
    if (!device) {
        Stderr() << "tolvek-cli: " << error;
        for (std::size_t i = 0; i < closest.size(); ++i) {
            Stderr() << (i == 0 ? "; closest: " : ", ") << closest[i];
        }
        Stderr() << '\n';
        return kExitUsage;
    }
    Print& status = options.output == "-" ? Stderr() : Stdout();
    int exitStatus = kExitOk;
    for (const std::string& input : options.inputs) {
        if (options.inputs.size() > 1) {
            status << "==> " << input << " <==\n";
        }
        exitStatus = std::max(exitStatus, SourceOne(input, options, *device, status));
    }
    return exitStatus;
}

}  // namespace tolvek::cli
