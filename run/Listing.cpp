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

namespace tolvek {

char* WriteInstructionLine(char* out, std::string_view instruction, std::string_view ramPageNote) {
    if (ramPageNote.empty()) {
        std::memcpy(out, instruction.data(), instruction.size());
        return out + instruction.size();
    }
    const std::size_t text = std::min(instruction.size(), kCommentColumn);
    std::memcpy(out, instruction.data(), text);
    std::memset(out + text, ' ', kCommentColumn - text);
    std::memcpy(out + kCommentColumn, ramPageNote.data(), ramPageNote.size());
    return out + kCommentColumn + ramPageNote.size();
}

}  // namespace tolvek
