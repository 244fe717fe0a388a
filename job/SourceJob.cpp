#include "job/SourceJob.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "base/ListingFile.h"
#include "base/Paths.h"
#include "base/SymbolFile.h"
#include "image/HexImage.h"
#include "job/OutputRule.h"
#include "source/Flow.h"
#include "source/Program.h"
#include "source/Symbols.h"
#include "source/Writer.h"

namespace tolvek {

namespace {

bool Exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

// The source into the output's temporary file, moved into place on success.
class FileSink : public source::SourceSink {
  public:
    explicit FileSink(ListingFile& file) : file_(file) {}
    void Write(std::string_view piece) override { file_.Write(piece); }

  private:
    ListingFile& file_;
};

// The symbol file the user named, or Tolvek's own beside the input. A file
// there that Tolvek did not write is left alone with a note: a compiler's
// BASE.sym (CCS writes one) or a file of the same name in another syntax.
bool ReadSymbols(const SourceJob& job, const std::string& base, const devices::Device& device,
                 source::Symbols& symbols, SourceOutcome& outcome) {
    if (!job.symbolsFile.empty()) {
        return source::LoadSymbols(job.symbolsFile, device, symbols, outcome.message);
    }
    const std::string other = base + ".sym";
    if (Exists(other)) {
        outcome.notes.push_back(other + " is not Tolvek's symbol file (Tolvek reads " + base +
                                ".tolvek.sym); left alone, --symbols " + other + " reads it");
    }
    const std::string own = base + ".tolvek.sym";
    if (!Exists(own)) {
        return true;
    }
    std::string text;
    if (!LoadSymbolFileText(own, text, outcome.message)) {
        return false;
    }
    if (!HasSymbolFileHeader(text)) {
        outcome.notes.push_back(own + " does not start with \"" + std::string(kSymbolFileHeader) +
                                "\"; left alone, --symbols " + own + " reads it");
        return true;
    }
    return source::ParseSymbols(text, own, device, symbols, outcome.message);
}

}  // namespace

SourceOutcome MakeSource(const SourceJob& job, const devices::Device& device) {
    using Fault = SourceOutcome::Fault;
    SourceOutcome outcome;
    const std::string base = ExtractFileDir(job.input) + ExtractFileName(job.input);
    image::Image image;
    image::ReadError readError;
    const bool read = job.split ? image::ReadSplitPair(job.input, base + ".hxh", image, readError)
                                : image::ReadIntelHexFile(job.input, image, readError);
    if (!read) {
        outcome.fault = readError.line == 0 ? Fault::kInput : Fault::kRecord;
        outcome.message = readError.reason;
        outcome.line = readError.line;
        return outcome;
    }

    if (job.stream == nullptr && job.output.empty() &&
        CheckExistingSource(base + ".asm") == ExistingOutput::kOther) {
        outcome.fault = Fault::kNotOurs;
        outcome.outputFile = base + ".asm";
        outcome.message = outcome.outputFile + " was not written by Tolvek; left alone";
        return outcome;
    }

    source::Symbols symbols;
    if (!ReadSymbols(job, base, device, symbols, outcome)) {
        outcome.fault = Fault::kSymbols;
        return outcome;
    }

    const source::Program program = source::Layout(image, device);
    source::Flow flow(program);
    for (const unsigned entry : job.entries) {
        flow.AddEntry(entry);
    }
    for (const unsigned entry : symbols.entries) {
        flow.AddEntry(entry);
    }
    flow.Run();
    ListingFile file;
    if (job.stream != nullptr) {
        file.OpenStream(job.stream);
    } else {
        outcome.outputFile = job.output.empty() ? base + ".asm" : job.output;
        if (!file.Open(outcome.outputFile)) {
            outcome.fault = Fault::kOutput;
            outcome.message = file.Error().Message();
            return outcome;
        }
    }
    FileSink sink(file);
    const std::size_t slash = job.input.find_last_of('/');
    source::WriteSource(program, flow, symbols,
                        slash == std::string::npos ? job.input : job.input.substr(slash + 1), sink);
    if (!file.Commit()) {
        outcome.fault = Fault::kOutput;
        outcome.message = file.Error().Message();
        return outcome;
    }
    for (unsigned a = 0; a < program.Size(); ++a) {
        outcome.words += program.present[a] ? 1 : 0;
        outcome.reached += program.present[a] && flow.Reached(a) ? 1 : 0;
    }
    outcome.outsideBytes = program.outsideBytes;
    outcome.firstOutside = program.firstOutside;
    return outcome;
}

std::string SourceStatusText(const SourceOutcome& outcome, std::string_view partName) {
    using Fault = SourceOutcome::Fault;
    switch (outcome.fault) {
        case Fault::kNone:
            break;
        case Fault::kRecord:
            return "Line " + std::to_string(outcome.line) + ": " + outcome.message +
                   "; nothing written.";
        case Fault::kSymbols:
        case Fault::kNotOurs:
            return outcome.message + "; nothing written.";
        case Fault::kInput:
        case Fault::kOutput:
            return outcome.message;
    }
    char counts[128];
    std::snprintf(counts, sizeof counts, "[OK]:  %u program words, %u reached from the vectors.",
                  outcome.words, outcome.reached);
    std::string status = counts;
    if (outcome.outsideBytes != 0) {
        std::snprintf(counts, sizeof counts, " %zu bytes lie outside the ", outcome.outsideBytes);
        status += counts;
        status += partName;
        status += "'s memory and are not in the source.";
    }
    return status;
}

}  // namespace tolvek
