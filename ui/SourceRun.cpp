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
    tolvek::SourceJob job;
    job.input = request.input;
    job.split = request.split;
    job.output = request.output;
    const tolvek::SourceOutcome outcome = tolvek::MakeSource(job, *device);
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
