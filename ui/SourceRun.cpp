#include "ui/SourceRun.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "base/DataFiles.h"
#include "base/ListingFile.h"
#include "base/Paths.h"
#include "image/HexImage.h"
#include "source/Flow.h"
#include "source/Program.h"
#include "source/Symbols.h"
#include "source/Writer.h"

namespace {

constexpr const char* kDeviceFileName = "devices.txt";

bool Exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

// The source into the output's temporary file, moved into place on success.
class FileSink : public tolvek::source::SourceSink {
  public:
    explicit FileSink(tolvek::ListingFile& file) : file_(file) {}
    void Write(std::string_view piece) override {
        char* out = file_.Reserve(piece.size());
        std::copy_n(piece.data(), piece.size(), out);
        file_.Written(out + piece.size());
    }

  private:
    tolvek::ListingFile& file_;
};

}  // namespace

TSourceRun::TSourceRun(const std::string& programDirectory)
    : deviceFile_(tolvek::FindDataFile(programDirectory, kDeviceFileName)) {}

std::vector<std::string> TSourceRun::Parts(std::string& error) {
    if (!devices_) {
        devices_ = tolvek::devices::DeviceDb::Load(deviceFile_, error);
        if (!devices_) {
            error = "Cannot read the device data \"" + deviceFile_ + "\": " + error;
            return {};
        }
    }
    std::vector<std::string> names;
    for (const tolvek::devices::Device& device : devices_->All()) {
        names.push_back(device.name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

TSourceResult TSourceRun::Make(const TSourceRequest& request) {
    using namespace tolvek;
    TSourceResult result;
    std::string error;
    if (!devices_ && Parts(error).empty()) {
        result.status = error;
        return result;
    }
    const devices::Device* device = devices_->Find(request.part);
    if (device == nullptr) {
        result.status = "The device data has no part " + request.part + ".";
        return result;
    }
    const std::string base = ExtractFileDir(request.input) + ExtractFileName(request.input);
    image::Image image;
    image::ReadError readError;
    const bool read = request.split
                          ? image::ReadSplitPair(request.input, base + ".hxh", image, readError)
                          : image::ReadIntelHexFile(request.input, image, readError);
    if (!read) {
        result.status = readError.line == 0 ? readError.reason
                                            : "Line " + std::to_string(readError.line) + ": " +
                                                  readError.reason + "; nothing written.";
        return result;
    }
    source::Symbols symbols;
    const std::string symbolsFile = base + ".sym";
    if (Exists(symbolsFile) && !source::LoadSymbols(symbolsFile, *device, symbols, error)) {
        result.status = error + "; nothing written.";
        return result;
    }
    const source::Program program = source::Layout(image, *device);
    source::Flow flow(program);
    flow.Run();
    result.outputFile = base + ".asm";
    ListingFile file;
    if (!file.Open(result.outputFile)) {
        result.status = file.Error().Message();
        return result;
    }
    FileSink sink(file);
    const std::size_t slash = request.input.find_last_of('/');
    source::WriteSource(
        program, flow, symbols,
        slash == std::string::npos ? request.input : request.input.substr(slash + 1), sink);
    if (!file.Commit()) {
        result.status = file.Error().Message();
        return result;
    }
    unsigned words = 0;
    unsigned reached = 0;
    for (unsigned a = 0; a < program.Size(); ++a) {
        words += program.present[a] ? 1 : 0;
        reached += program.present[a] && flow.Reached(a) ? 1 : 0;
    }
    result.written = true;
    char counts[128];
    std::snprintf(counts, sizeof counts, "[OK]:  %u program words, %u reached from the vectors.",
                  words, reached);
    result.status = counts;
    if (program.outsideBytes != 0) {
        std::snprintf(counts, sizeof counts, " %zu bytes lie outside the ", program.outsideBytes);
        result.status += counts;
        result.status += device->name;
        result.status += "'s memory and are not in the source.";
    }
    return result;
}
