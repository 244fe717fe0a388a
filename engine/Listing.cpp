#include "engine/Listing.h"

#include <algorithm>
#include <cstring>

#include "engine/Conversions.h"

namespace tolvek {

bool IsDirectorySeparator(char c) {
    return c == '/' || c == '\\';
}

namespace {

std::size_t NameStart(std::string_view path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (IsDirectorySeparator(path[i - 1])) {
            return i;
        }
    }
    return 0;
}

}  // namespace

std::string ExtractFileDir(std::string_view path) {
    return std::string(path.substr(0, NameStart(path)));
}

std::string ExtractFileName(std::string_view path) {
    const std::string_view name = path.substr(NameStart(path));
    return std::string(name.substr(0, name.find('.')));
}

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
