#include "job/Job.h"

#include "convert/SplitMerge.h"

namespace tolvek {

Job::OpenResult Job::Open(const std::string& chosen, IoError& error) {
    ChosenFileName = chosen;
    if (Format == InputFormat::kInhx8s) {
        MergeState merge;
        const bool merged = ConvertSplitHexToHex(chosen, merge);
        MergedFileName = merge.MergedFileName;
        if (merge.io) {
            error = merge.io;
            return OpenResult::kIoFailed;
        }
        if (!merged) {
            error = merge.partner;
            return OpenResult::kMergeFailed;
        }
    }
    FileReady = true;
    return OpenResult::kReady;
}

const std::string& Job::InputFileName() const {
    return Format == InputFormat::kInhx8s ? MergedFileName : ChosenFileName;
}

RunResult Job::Start(FrontEnd& frontEnd) {
    if (!FileReady || Busy) {
        return {};
    }
    Busy = true;
    run_.InputFileName = InputFileName();
    run_.SourceFileNames.clear();
    if (Format == InputFormat::kInhx8s) {
        run_.SourceFileNames = {ChosenFileName, PartnerFileName(ChosenFileName)};
    }
    run_.AcceptExtendedAddress = Format == InputFormat::kInhx32;
    run_.ListingPath = OutputPath;
    run_.ListingStream = OutputStream;
    run_.CheckChecksums = CheckChecksums;
    run_.RefuseBadChecksums = RefuseBadChecksums;
    RunResult result = run_.Run(frontEnd);
    FileReady = false;
    Busy = false;
    return result;
}

}  // namespace tolvek
