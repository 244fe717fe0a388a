// Where the programs find their data files (chipdat.txt and the like).
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tolvek {

// The directory of the running program, with its trailing separator; argv0 is
// the fallback where the system cannot tell.
std::string ProgramDirectory(const char* argv0);

// The data file name, looked for beside the program first (a build tree, a
// copy the user edits) and then in the shared data directory of an installed
// program (PREFIX/share/tolvek beside PREFIX/bin). Gives the first path that
// exists, or the path beside the program when neither does.
std::string FindDataFile(std::string_view programDirectory, std::string_view name);

// The two places FindDataFile looks, in its order.
std::array<std::string, 2> DataFilePlaces(std::string_view programDirectory, std::string_view name);

}  // namespace tolvek
