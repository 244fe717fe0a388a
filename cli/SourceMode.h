// tolvek-cli --source: the reconstructed source of each input.
#pragma once

#include <string>

#include "cli/Options.h"

namespace tolvek::cli {

// The name of the device file, looked for beside the program.
inline constexpr const char* kDeviceFileName = "devices.txt";

// Runs the source mode over every input; returns the exit status.
int RunSourceMode(const Options& options, const std::string& programDirectory);

}  // namespace tolvek::cli
