// tolvek-cli: the disassembler on a terminal.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/DataFiles.h"
#include "base/ListingFile.h"
#include "base/Paths.h"
#include "chipdb/ChipData.h"
#include "chipdb/ChipScan.h"
#include "chipdb/PartName.h"
#include "cli/Options.h"
#include "cli/Print.h"
#include "cli/SourceMode.h"
#include "convert/SplitMerge.h"
#include "job/EnhancedHint.h"
#include "job/Job.h"
#include "job/RunNotes.h"

namespace {

using tolvek::ChipSource;
using tolvek::cli::Format;
using tolvek::cli::Options;
using tolvek::cli::Print;
using tolvek::cli::Stderr;
using tolvek::cli::Stdout;

constexpr int kExitOk = 0;
constexpr int kExitFault = 1;
constexpr int kExitUsage = 2;

// The command line shows nothing while a run goes on; it prints the outcome after.
// The terminal shows no progress and no status until the run's outcome.
class TerminalFrontEnd : public tolvek::FrontEnd {
  public:
    TerminalFrontEnd() {
        showsProgress = false;
        keepsHeader = false;
    }
};

// An interrupted run leaves no temporary listing behind: the handler removes
// it, then lets the signal end the program as it would have.
extern "C" void RemovePendingListing(int signalNumber) {
    const char* pending = tolvek::ListingFile::PendingTemporaryFile();
    if (pending[0] != '\0') {
        unlink(pending);
    }
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

void HandleInterrupts() {
    struct sigaction action {};
    action.sa_handler = RemovePendingListing;
    sigemptyset(&action.sa_mask);
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current {};
        // a signal ignored by whoever started us (nohup, a background job) stays ignored
        if (sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
            sigaction(signalNumber, &action, nullptr);
        }
    }
}

std::size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            const bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                              std::tolower(static_cast<unsigned char>(b[j - 1]));
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string ClosestNames(const std::string& name, const std::vector<std::string>& chips) {
    std::vector<std::pair<std::size_t, std::string>> ranked;
    for (const std::string& chip : chips) {
        ranked.emplace_back(EditDistance(name, chip), chip);
    }
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string text;
    for (std::size_t i = 0; i < ranked.size() && i < 5; ++i) {
        text += (i == 0 ? "" : ", ") + ranked[i].second;
    }
    return text;
}

// Prints a chip data message; a carriage return inside it starts a new line.
void PrintChipMessage(const std::string& message) {
    std::string text = message;
    std::replace(text.begin(), text.end(), '\r', '\n');
    Stderr() << text << '\n';
}

void PrintChipList(const std::vector<std::string>& chips) {
    for (const std::string& name : chips) {
        Stdout() << name << '\n';
    }
}

// Loads the chip data and selects the chip, or lists the chips; returns the
// exit status when the program ends here, -1 when the run goes on.
int LoadChipData(const Options& options, const char* argv0, tolvek::ChipState& chip,
                 ChipSource& chipSource) {
    const bool named = !options.chipDataFile.empty();
    const std::string path =
        named ? options.chipDataFile
              : tolvek::FindDataFile(tolvek::ProgramDirectory(argv0), tolvek::kChipDataFileName);
    // A run needs one chip's section, or only the list: the scan reads no
    // further. "16f84a", "p16f84a" and "PIC16F84A" name the chip 16F84A.
    using Want = tolvek::ChipScan::Want;
    using Result = tolvek::ChipScan::Result;
    const std::string key = tolvek::PartNameKey(options.chip);
    tolvek::ChipScan scan = tolvek::ScanChipFile(
        path,
        options.listChips   ? Want::kList
        : options.chipGiven ? Want::kNamed
                            : Want::kFirst,
        options.chip, [&key](std::string_view name) {
            // the key drops at most a "pic" prefix and lowers the letters: a name
            // of another length or last character is no match
            return name.size() >= key.size() && name.size() <= key.size() + 3 && !key.empty() &&
                   std::tolower(static_cast<unsigned char>(name.back())) ==
                       static_cast<unsigned char>(key.back()) &&
                   tolvek::PartNameKey(name) == key;
        });
    tolvek::IoError loadError = scan.error;
    if (scan.result == Result::kDone) {
        if (options.listChips) {
            PrintChipList(scan.names);
            return kExitOk;
        }
        chipSource = options.chipGiven ? ChipSource::kNamed : ChipSource::kFirstInList;
        chip.LoadChipLines(std::move(scan.section));
        chip.SelectChip(scan.name, PrintChipMessage);
    } else if (scan.result == Result::kWholeFile && chip.LoadChipFile(path, &loadError)) {
        const std::vector<std::string> chips = chip.ChipList();
        if (options.listChips) {
            PrintChipList(chips);
            return kExitOk;
        }
        std::string name = chips.empty() ? std::string() : chips.front();
        chipSource = ChipSource::kFirstInList;
        if (options.chipGiven) {
            const std::optional<std::size_t> found = tolvek::FindPartName(options.chip, chips);
            if (!found) {
                Stderr() << "tolvek-cli: unknown chip \"" << options.chip << "\"";
                if (!chips.empty()) {
                    Stderr() << "; closest: " << ClosestNames(key, chips);
                }
                Stderr() << "\n";
                const std::string hint = tolvek::EnhancedPartHint(
                    options.chip, tolvek::FindDataFile(tolvek::ProgramDirectory(argv0),
                                                       tolvek::cli::kDeviceFileName));
                if (!hint.empty()) {
                    Stderr() << hint << '\n';
                }
                return kExitUsage;
            }
            name = chips[*found];
            chipSource = ChipSource::kNamed;
        }
        chip.SelectChip(name, PrintChipMessage);
    } else if (named) {
        Stderr() << "tolvek-cli: cannot read the chip data \"" << path
                 << "\": " << loadError.Reason() << '\n';
        return kExitUsage;
    } else if (options.chipGiven) {
        const auto places =
            tolvek::DataFilePlaces(tolvek::ProgramDirectory(argv0), tolvek::kChipDataFileName);
        Stderr() << "tolvek-cli: no chip data at " << places[0] << " or " << places[1]
                 << "; name a file with --chipdat\n";
        return kExitUsage;
    }
    return options.listChips ? kExitOk : -1;
}

// Disassembles one input; returns the exit status it calls for.
int DisassembleOne(const std::string& input, const Options& options, tolvek::ChipState& chip,
                   ChipSource chipSource, const char* argv0, Print& status) {
    tolvek::Job job(chip);
    job.Format = options.format;
    if (options.output == "-") {
        job.OutputStream = stdout;
    } else {
        job.OutputPath = options.output;
    }
    // merged split files carry "XX" checksums, so only a file as the user has it
    // is checked; the checking pass tallies them, and with --strict a wrong one
    // stops the run before anything is written
    const bool checksums = options.format != Format::kInhx8s;
    job.CheckChecksums = checksums;
    job.RefuseBadChecksums = options.strict;
    tolvek::IoError error;
    switch (job.Open(input, error)) {
        case tolvek::Job::OpenResult::kIoFailed:
            Stderr() << "tolvek-cli: " << error.Message() << '\n';
            return kExitUsage;
        case tolvek::Job::OpenResult::kMergeFailed:
            if (error) {
                Stderr() << "tolvek-cli: " << error.Message() << '\n';
            }
            status << tolvek::kMergeFailedMessage << '\n';
            if (const std::string hint = tolvek::MergeFailedHint(input); !hint.empty()) {
                status << hint << '\n';
            }
            return kExitFault;
        case tolvek::Job::OpenResult::kReady:
            break;
    }
    TerminalFrontEnd frontEnd;
    const tolvek::RunResult result = job.Start(frontEnd);
    Stdout().Flush();
    bool checksumRefused = result.checksumRefused;
    if (checksums) {
        // a run that stopped at a fault has not read the whole file: the scan does
        const tolvek::ChecksumReport report =
            job.ChecksumsComplete() ? job.Checksums() : tolvek::ScanChecksums(input);
        for (const std::string& line : tolvek::ChecksumNotes(input, report, options.strict)) {
            Stderr() << "tolvek-cli: " << line << '\n';
        }
        checksumRefused = options.strict && report.count > 0;
    }
    if (result.io) {
        Stderr() << "tolvek-cli: " << result.io.Message() << '\n';
        return kExitUsage;
    }
    if (checksumRefused && result.code == tolvek::kResultOk) {
        return kExitFault;  // the refusal has been told; an "[OK]" would belie it
    }
    const tolvek::Outcome& outcome = result.outcome;
    // in one piece: standard error writes every piece on its own
    std::string lines = outcome.statusText + '\n';
    if (result.code != tolvek::kResultOk) {
        lines += outcome.lineNumber + '\n' + outcome.line + '\n';
    }
    status << lines;
    const tolvek::HintContext context{
        options.format, chipSource, options.chip,
        tolvek::FindDataFile(tolvek::ProgramDirectory(argv0), tolvek::cli::kDeviceFileName)};
    for (const std::string& hint : tolvek::ListingHints(input, result, chip, context)) {
        status << hint << '\n';
    }
    return result.code == tolvek::kResultOk ? kExitOk : kExitFault;
}

}  // namespace

int main(int argc, char** argv) {
    HandleInterrupts();
    const std::vector<std::string> args(argv + 1, argv + argc);
    Options options;
    std::string error;
    if (!tolvek::cli::ParseOptions(args, options, error)) {
        Stderr() << "tolvek-cli: " << error << "\nTry 'tolvek-cli --help' for more.\n";
        return kExitUsage;
    }
    if (options.help) {
        Stdout() << tolvek::cli::kUsage;
        return kExitOk;
    }
    if (options.version) {
        Stdout() << "tolvek-cli " << TOLVEK_VERSION << '\n';
        return kExitOk;
    }

    if (options.source) {
        return tolvek::cli::RunSourceMode(options, tolvek::ProgramDirectory(argv[0]));
    }

    tolvek::ChipState chip;
    ChipSource chipSource =
        options.noChipData ? ChipSource::kNoChipDataOption : ChipSource::kNoChipData;
    if (!options.noChipData) {
        const int exitNow = LoadChipData(options, argv[0], chip, chipSource);
        if (exitNow >= 0) {
            return exitNow;
        }
    }
    if (options.listChips) {
        return kExitOk;
    }

    // the listing may go to standard output; the status lines then go to standard error
    Print& status = options.output == "-" ? Stderr() : Stdout();
    int exitStatus = kExitOk;
    for (const std::string& input : options.inputs) {
        if (options.inputs.size() > 1) {
            status << "==> " << input << " <==\n";
        }
        exitStatus =
            std::max(exitStatus, DisassembleOne(input, options, chip, chipSource, argv[0], status));
    }
    return exitStatus;
}
