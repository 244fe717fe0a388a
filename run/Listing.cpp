#include "run/Listing.h"

#include <algorithm>
#include <cstring>

#include "base/Conversions.h"
#include "base/Paths.h"

namespace tolvek {

std::string ListingName(std::string_view inputPath) {
    return ExtractFileDir(inputPath) + ExtractFileName(inputPath) + ".dis";
}

std::string OrgLine(int byteAddress) {
    std::string line = "            ORG ";
    line += FormatFour(DecToHex(static_cast<long>(byteAddress / 2)));
    line += 'h';
    return line;
}

}  // namespace tolvek
