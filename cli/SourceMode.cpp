#include "cli/SourceMode.h"

#include <algorithm>
#include <cstdio>

#include "base/DataFiles.h"
#include "cli/Print.h"
#include "devices/Device.h"
#include "job/SourceJob.h"

namespace tolvek::cli {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFault = 1;
constexpr int kExitUsage = 2;

int SourceOne(const std::string& input, const Options& options, const devices::Device& device,
              Print& status) {
    SourceJob job;
    job.input = input;
    job.split = options.format == Format::kInhx8s;
    job.symbolsFile = options.symbolsFile;
    job.entries = options.entries;
    if (options.output == "-") {
        job.stream = stdout;
    } else {
        job.output = options.output;
    }
    const SourceOutcome outcome = MakeSource(job, device);
    for (const std::string& note : outcome.notes) {
        Stderr() << "tolvek-cli: note: " << note << '\n';
    }
    switch (outcome.fault) {
        case SourceOutcome::Fault::kNone:
            break;
        case SourceOutcome::Fault::kInput:
        case SourceOutcome::Fault::kOutput:
            Stderr() << "tolvek-cli: " << outcome.message << '\n';
            return kExitUsage;
        case SourceOutcome::Fault::kRecord:
            Stderr() << "tolvek-cli: " << input << ":" << outcome.line << ": " << outcome.message
                     << "; nothing written\n";
            return kExitFault;
        case SourceOutcome::Fault::kNotOurs:
            Stderr() << "tolvek-cli: " << outcome.message << " (a source of your own?); write to "
                     << "another file with -o FILE, or name this one with -o " << outcome.outputFile
                     << " to replace it; nothing written\n";
            return kExitUsage;
        case SourceOutcome::Fault::kSymbols:
            Stderr() << "tolvek-cli: " << outcome.message << "; nothing written\n";
            return kExitFault;
    }
    if (job.stream == nullptr) {
        status << outcome.outputFile << ": " << outcome.words << " program words, "
               << outcome.reached << " reached from the vectors\n";
    }
    if (outcome.outsideBytes != 0) {
        char first[32];
        std::snprintf(first, sizeof first, "%llX",
                      static_cast<unsigned long long>(outcome.firstOutside));
        Stderr() << "tolvek-cli: warning: " << input << ": " << outcome.outsideBytes
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
    for (const unsigned entry : options.entries) {
        if (entry >= device->programWords) {
            char text[16];
            std::snprintf(text, sizeof text, "0x%04X", entry);
            Stderr() << "tolvek-cli: --entry " << text << " lies beyond the program memory of the "
                     << device->name << '\n';
            return kExitUsage;
        }
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
