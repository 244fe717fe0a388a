// Parts of a file path, taken apart by its last directory separator.
#pragma once

#include <string>
#include <string_view>

namespace tolvek {

bool IsDirectorySeparator(char c);
// The path up to and including its last directory separator.
std::string ExtractFileDir(std::string_view path);
// The characters after the last separator up to the first "." among them.
std::string ExtractFileName(std::string_view path);

}  // namespace tolvek
