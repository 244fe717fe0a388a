#include "base/Paths.h"

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

}  // namespace tolvek
