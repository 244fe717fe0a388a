// What the listing window needs of a reconstructed source beyond its text: the
// rules for the names a user may give, and the source made again in memory
// together with the data memory each word reads, writes or tests, as the flow
// sees it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "devices/Device.h"
#include "job/SourceJob.h"
#include "source/Operands.h"

namespace tolvek {

// Why a name may not be given to a label or a data memory location, or empty
// when the next source run takes it. With no device only the words of the
// assembler and of the writer are checked.
std::string UserNameFault(std::string_view name, const devices::Device* device);

using DataAccess = source::DataAccess;

struct SourceStudy {
    SourceOutcome outcome;             // a fault stops the study as it stops a run
    std::string text;                  // the source as a run writes it now
    std::vector<DataAccess> accesses;  // by word address
};

// Makes the source of job's input in memory (job.output and job.stream are
// not used) and studies its data accesses.
SourceStudy StudySource(const SourceJob& job, const devices::Device& device);

}  // namespace tolvek
