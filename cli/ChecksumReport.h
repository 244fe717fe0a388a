// What the command line says about records with a wrong checksum.
#pragma once

#include <string>

#include "cli/Print.h"
#include "run/Checksum.h"

namespace tolvek::cli {

// Prints one line for each fault the report kept and, where it found more, a
// count; as warnings, or with strict as errors followed by the verdict that the
// input is not disassembled. Prints nothing for a report without faults.
void PrintChecksumFaults(const std::string& input, const ChecksumReport& report, bool strict,
                         Print& out);

}  // namespace tolvek::cli
