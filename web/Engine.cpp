#include "web/Engine.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "base/IoError.h"
#include "base/SymbolFile.h"
#include "browse/UserNames.h"
#include "convert/SplitMerge.h"
#include "job/SourceJob.h"
#include "run/FrontEnd.h"
#include "run/Listing.h"

namespace tolvek::web {

namespace {

constexpr const char* kChipDataFile = "chipdat.txt";
constexpr const char* kDeviceFile = "devices.txt";

bool IsFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string Hex4(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Leading and trailing white space gone, each run of it inside one space.
std::string Squeezed(std::string_view text) {
    std::string out;
    bool space = false;
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
            space = !out.empty();
            continue;
        }
        if (space) {
            out += ' ';
            space = false;
        }
        out += c;
    }
    return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

// The page shows the outcome the run hands over; nothing while it goes on.
class PageFrontEnd : public FrontEnd {
  public:
    PageFrontEnd() {
        showsProgress = false;
        keepsHeader = false;
    }
    void ShowOutcome(const Outcome& outcome) override { shown = outcome; }
    Outcome shown;
};

Outcome FailedOutcome(std::string text) {
    Outcome outcome;
    outcome.code = -1;
    outcome.statusText = std::move(text);
    outcome.statusRed = true;
    return outcome;
}

}  // namespace

std::optional<std::string> ReadWhole(const std::string& path) {
    if (!IsFile(path)) {
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        return std::nullopt;
    }
    return text;
}

Engine::Engine(std::string dataDirectory) : dataDirectory_(std::move(dataDirectory)) {
    if (!dataDirectory_.empty() && dataDirectory_.back() != '/') {
        dataDirectory_ += '/';
    }
}

bool Engine::UseChipData(const std::string& path, std::string& error) {
    ChipState chip;
    IoError io;
    if (!chip.LoadChipFile(path, &io)) {
        error = "Cannot read the chip data \"" + BaseName(path) + "\": " + io.Reason();
        return false;
    }
    chipSource_ = path == dataDirectory_ + kChipDataFile ? ChipSource::kBuiltIn : ChipSource::kFile;
    chipFile_ = path;
    chips_ = chip.ChipList();
    return true;
}

bool Engine::UseBuiltInChipData(std::string& error) {
    return UseChipData(dataDirectory_ + kChipDataFile, error);
}

void Engine::UseNoChipData() {
    chipSource_ = ChipSource::kNone;
    chipFile_.clear();
    chips_.clear();
}

std::vector<std::string> Engine::Parts(std::string& error) {
    if (!devices_) {
        devices_ = devices::DeviceDb::Load(dataDirectory_ + kDeviceFile, error);
        if (!devices_) {
            error = "Cannot read the device data: " + error;
            return {};
        }
    }
    std::vector<std::string> names;
    for (const devices::Device& device : devices_->All()) {
        names.push_back(device.name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Engine::RunInput(const std::vector<std::string>& files, InputFormat format) {
    if (files.empty()) {
        return {};
    }
    if (format == InputFormat::kInhx8s) {
        for (const std::string& low : files) {
            const std::string partner = PartnerFileName(low);
            if (partner != low && std::find(files.begin(), files.end(), partner) != files.end()) {
                return low;
            }
        }
    }
    return files.front();
}

std::string Engine::SymbolFileFor(const std::string& input) {
    return SymbolFilePath(input);
}

ListingResult Engine::RunListing(const std::string& input, InputFormat format,
                                 const std::string& chipName) {
    ListingResult result;
    ChipState chip;
    if (chipSource_ != ChipSource::kNone) {
        IoError io;
        if (!chip.LoadChipFile(chipFile_, &io)) {
            result.outcome = FailedOutcome("Cannot read the chip data \"" + BaseName(chipFile_) +
                                           "\": " + io.Reason());
            return result;
        }
        const std::vector<std::string> chips = chip.ChipList();
        const std::string name = !chipName.empty() ? chipName
                                 : chips.empty()   ? std::string()
                                                   : chips.front();
        chip.SelectChip(name, [&result](const std::string& message) {
            std::string text = message;
            std::replace(text.begin(), text.end(), '\r', '\n');
            result.chipMessages += text + '\n';
        });
    }
    Job job(chip);
    job.Format = format;
    IoError error;
    switch (job.Open(input, error)) {
        case Job::OpenResult::kIoFailed:
            result.outcome = FailedOutcome(error.Message());
            return result;
        case Job::OpenResult::kMergeFailed:
            result.outcome = FailedOutcome(std::string(kMergeFailedMessage));
            return result;
        case Job::OpenResult::kReady:
            break;
    }
    // the page's own copy of an earlier listing goes first: what is shown after
    // the run is what this run wrote, or nothing
    const std::string listing = ListingName(job.InputFileName());
    if (listing != input && listing != PartnerFileName(input)) {
        std::remove(listing.c_str());
    }
    PageFrontEnd frontEnd;
    const RunResult run = job.Start(frontEnd);
    if (run.io) {
        result.outcome = FailedOutcome(run.io.Message());
        return result;
    }
    result.outcome = run.outcome;
    result.inhx32Hint = format == InputFormat::kInhx8m && run.code == kResultTypeValue &&
                        IsExtendedAddressRecord(run.outcome.line);
    if (IsFile(listing)) {
        result.outputFile = listing;
    }
    return result;
}

SourceResult Engine::RunSource(const std::string& input, bool split, const std::string& part,
                               const std::string& symbolsFile) {
    SourceResult result;
    std::string error;
    std::vector<std::string> closest;
    const std::optional<devices::Device> device =
        devices::DeviceDb::LoadPart(dataDirectory_ + kDeviceFile, part, error, &closest);
    if (!device) {
        result.status = error;
        return result;
    }
    SourceJob job;
    job.input = input;
    job.split = split;
    if (!symbolsFile.empty() && IsFile(symbolsFile)) {
        job.symbolsFile = symbolsFile;
    }
    const SourceOutcome outcome = MakeSource(job, *device);
    result.written = outcome.fault == SourceOutcome::Fault::kNone;
    result.status = SourceStatusText(outcome, device->name);
    for (const std::string& note : outcome.notes) {
        result.status += " Note: " + note + ".";
    }
    if (result.written) {
        result.outputFile = outcome.outputFile;
    }
    return result;
}

std::string Engine::Open(const std::string& path, const std::string& symbolsFile) {
    const std::optional<std::string> text = ReadWhole(path);
    if (!text) {
        document_ = browse::Document();
        return "Cannot read \"" + BaseName(path) + "\".";
    }
    browse::Document document = browse::Document::Parse(*text, browse::FormatOfPath(path));
    // the page's symbol file is the one the user loaded or its renames made:
    // read as the command line reads a file named with --symbols
    browse::NamesRead read;
    if (const std::optional<std::string> symbols = ReadWhole(symbolsFile)) {
        document = browse::WithUserNames(std::move(document), *symbols, true, &read);
    }
    document_ = std::move(document);
    if (read.fault) {
        return BaseName(symbolsFile) + ", line " + std::to_string(read.fault->line) + ": " +
               read.fault->text;
    }
    return std::to_string(document_.LineCount()) + " lines, " +
           std::to_string(document_.Labels().size()) + " labels";
}

std::vector<Reference> Engine::References(int label) const {
    std::vector<Reference> references;
    if (label < 0 || static_cast<std::size_t>(label) >= document_.Labels().size()) {
        return references;
    }
    for (const browse::Reference& ref : document_.Labels()[static_cast<std::size_t>(label)].refs) {
        Reference reference;
        reference.from = ref.from;
        reference.kind = ref.kind;
        reference.line = document_.LineOfWord(ref.from);
        if (reference.line >= 0) {
            const std::string_view text = document_.Line(static_cast<std::size_t>(reference.line));
            reference.instruction = Squeezed(text.substr(0, text.find(';')));
        }
        references.push_back(std::move(reference));
    }
    return references;
}

Place Engine::GoTo(std::string_view typed) const {
    Place place;
    const std::string text = Squeezed(typed);
    if (text.empty()) {
        return place;
    }
    int label = document_.FindLabel(text);
    for (std::size_t i = 0; label < 0 && i < document_.Labels().size(); ++i) {
        if (EqualNoCase(document_.Labels()[i].name, text)) {
            label = static_cast<int>(i);
        }
    }
    if (label >= 0) {
        place.line = static_cast<int>(document_.Labels()[static_cast<std::size_t>(label)].line);
        return place;
    }
    std::string_view digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits.remove_prefix(2);
    } else if (!digits.empty() && digits.front() == '$') {
        digits.remove_prefix(1);
    } else if (!digits.empty() && (digits.back() == 'h' || digits.back() == 'H')) {
        digits.remove_suffix(1);
    }
    unsigned address = 0;
    const auto read = std::from_chars(digits.data(), digits.data() + digits.size(), address, 16);
    if (digits.empty() || digits.size() > 6 || read.ec != std::errc() ||
        read.ptr != digits.data() + digits.size()) {
        place.status = "\"" + text + "\" is neither an address nor a label.";
        return place;
    }
    int line = document_.LineOfAddress(address);
    if (line < 0) {
        line = document_.LineOfAddress(address, true);
        if (line < 0) {
            place.status = "No word at " + Hex4(address) + " or after it.";
            return place;
        }
        const int next = document_.AddressOf(static_cast<std::size_t>(line)) >= 0
                             ? document_.AddressOf(static_cast<std::size_t>(line))
                             : document_.AddressOf(static_cast<std::size_t>(line) + 1);
        place.status = "No word at " + Hex4(address) + "; the next one is at " +
                       Hex4(static_cast<unsigned>(next)) + ".";
    }
    place.line = line;
    return place;
}

std::string Engine::CursorText(std::size_t line) const {
    if (line >= document_.LineCount()) {
        return {};
    }
    const int address = document_.AddressOf(line);
    const int label = document_.LabelBefore(line);
    const browse::Label* in =
        label >= 0 ? &document_.Labels()[static_cast<std::size_t>(label)] : nullptr;
    const int defined = in != nullptr && in->line == line ? in->address : -1;
    std::string text = address >= 0   ? "Address " + Hex4(static_cast<unsigned>(address))
                       : defined >= 0 ? "Address " + Hex4(static_cast<unsigned>(defined))
                                      : "Line " + std::to_string(line + 1);
    if (in != nullptr) {
        text += "   in " + in->name;
    }
    return text;
}

Engine::RenameReport Engine::Rename(std::size_t line, std::size_t column, std::string_view name,
                                    const std::string& symbolsFile) {
    RenameReport report;
    const std::string old = ReadWhole(symbolsFile).value_or(std::string());
    browse::RenameOutcome outcome = browse::RenameAt(document_, line, column, name, old);
    if (!outcome.error.empty() || !outcome.changed) {
        report.error = std::move(outcome.error);
        return report;
    }
    {
        std::ofstream out(symbolsFile, std::ios::binary | std::ios::trunc);
        out << outcome.symbols;
        out.flush();
        if (!out) {
            report.error = "Cannot write \"" + BaseName(symbolsFile) + "\".";
            return report;
        }
    }
    document_ = std::move(outcome.document);
    report.changed = true;
    report.moved = std::move(outcome.insertions);
    report.status = "Renamed to " + outcome.name + " and saved in " + BaseName(symbolsFile) + ".";
    return report;
}

}  // namespace tolvek::web
