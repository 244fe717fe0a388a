#include "ui/SourceRun.h"

#include <algorithm>

#include "base/DataFiles.h"
#include "job/SourceJob.h"

namespace {

constexpr const char* kDeviceFileName = "devices.txt";

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

const tolvek::devices::Device* TSourceRun::Device(const std::string& part, std::string& status) {
    std::string error;
    if (!devices_ && Parts(error).empty()) {
        status = error;
        return nullptr;
    }
    const tolvek::devices::Device* device = devices_->Find(part);
    if (device == nullptr) {
        status = "The device data has no part " + part + ".";
    }
    return device;
}

tolvek::SourceJob TSourceRun::JobOf(const TSourceRequest& request) {
    tolvek::SourceJob job;
    job.input = request.input;
    job.split = request.split;
    job.symbolsFile = request.symbols;
    job.output = request.output;
    return job;
}

std::string TSourceRun::FaultText(const tolvek::SourceOutcome& outcome) {
    switch (outcome.fault) {
        case tolvek::SourceOutcome::Fault::kRecord:
            return "Line " + std::to_string(outcome.line) + ": " + outcome.message +
                   "; nothing written.";
        case tolvek::SourceOutcome::Fault::kSymbols:
        case tolvek::SourceOutcome::Fault::kNotOurs:
            return outcome.message + "; nothing written.";
        default:
            return outcome.message;
    }
}

std::string TSourceRun::NameFault(const std::string& part, const std::string& name) {
    std::string status;
    return tolvek::UserNameFault(name, part.empty() ? nullptr : Device(part, status));
}

TSourceStudy TSourceRun::Study(const TSourceRequest& request) {
    TSourceStudy result;
    const tolvek::devices::Device* device = Device(request.part, result.status);
    if (device == nullptr) {
        return result;
    }
    tolvek::SourceStudy study = tolvek::StudySource(JobOf(request), *device);
    if (study.outcome.fault != tolvek::SourceOutcome::Fault::kNone) {
        result.status = FaultText(study.outcome);
        return result;
    }
    result.made = true;
    result.text = std::move(study.text);
    result.accesses = std::move(study.accesses);
    result.bankSize = device->bankSize;
    return result;
}

TSourceResult TSourceRun::Make(const TSourceRequest& request) {
    TSourceResult result;
    std::string error;
    if (!devices_ && Parts(error).empty()) {
        result.status = error;
        return result;
    }
    const tolvek::devices::Device* device = devices_->Find(request.part);
    if (device == nullptr) {
        result.status = "The device data has no part " + request.part + ".";
        return result;
    }
    const tolvek::SourceOutcome outcome = tolvek::MakeSource(JobOf(request), *device);
    result.notes = outcome.notes;
    result.written = outcome.fault == tolvek::SourceOutcome::Fault::kNone;
    result.status = tolvek::SourceStatusText(outcome, device->name);
    if (result.written) {
        result.outputFile = outcome.outputFile;
    }
    if (outcome.fault == tolvek::SourceOutcome::Fault::kNotOurs) {
        result.notOurs = true;
        result.outputFile = outcome.outputFile;
    }
    for (const std::string& note : outcome.notes) {
        result.status += " Note: " + note + ".";
    }
    return result;
}
