#include "job/SourceStudy.h"

#include <cstdio>
#include <memory>

#include "base/Paths.h"
#include "image/HexImage.h"
#include "source/Flow.h"
#include "source/Program.h"
#include "source/Symbols.h"

namespace tolvek {

std::string UserNameFault(std::string_view name, const devices::Device* device) {
    return source::NameFault(name, device);
}

SourceStudy StudySource(const SourceJob& job, const devices::Device& device) {
    SourceStudy study;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> memory(std::tmpfile(), std::fclose);
    if (!memory) {
        study.outcome.fault = SourceOutcome::Fault::kOutput;
        study.outcome.message = "cannot make a temporary file for the source";
        return study;
    }
    SourceJob inMemory = job;
    inMemory.stream = memory.get();
    study.outcome = MakeSource(inMemory, device);
    if (study.outcome.fault != SourceOutcome::Fault::kNone) {
        return study;
    }
    std::rewind(memory.get());
    char buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, memory.get())) > 0) {
        study.text.append(buffer, got);
    }
    // the image read again: the run above has read it whole without a fault
    image::Image image;
    image::ReadError readError;
    const std::string base = ExtractFileDir(job.input) + ExtractFileName(job.input);
    const bool read = job.split ? image::ReadSplitPair(job.input, base + ".hxh", image, readError)
                                : image::ReadIntelHexFile(job.input, image, readError);
    if (read) {
        const source::Program program = source::Layout(image, device);
        source::Flow flow(program);
        flow.Run();
        study.accesses = source::DataAccesses(program, flow);
    }
    return study;
}

}  // namespace tolvek
