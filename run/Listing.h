// The listing file: its name and the lines the engine writes into it.
#pragma once

#include <string>
#include <string_view>

#include "base/ListingFile.h"

namespace tolvek {

inline constexpr std::string_view kSeparatorLine = "            ;";
inline constexpr std::string_view kEndLine = "            end";
// Column at which a RAM-page note starts, counted from the instruction text.
inline constexpr std::size_t kCommentColumn = 25;

// Directory + base name + ".dis".
std::string ListingName(std::string_view inputPath);

// "            ORG " + four upper-case digits of the word address + "h".
std::string OrgLine(int byteAddress);

}  // namespace tolvek
