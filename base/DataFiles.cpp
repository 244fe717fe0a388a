#include "base/DataFiles.h"

#include <unistd.h>

#include <filesystem>

#include "base/Paths.h"

#ifndef TOLVEK_DATA_FROM_BIN
#define TOLVEK_DATA_FROM_BIN "../share/tolvek"
#endif

namespace tolvek {

std::string ProgramDirectory(const char* argv0) {
    std::string path(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (length > 0) {
        path.resize(static_cast<std::size_t>(length));
    } else {
        path = argv0 != nullptr ? argv0 : "";
    }
    return ExtractFileDir(path);
}

std::array<std::string, 2> DataFilePlaces(std::string_view programDirectory,
                                          std::string_view name) {
    std::string beside(programDirectory);
    if (!beside.empty() && !IsDirectorySeparator(beside.back())) {
        beside += '/';
    }
    std::filesystem::path installed(beside + TOLVEK_DATA_FROM_BIN);
    installed /= name;
    return {beside + std::string(name), installed.lexically_normal().string()};
}

std::string FindDataFile(std::string_view programDirectory, std::string_view name) {
    std::array<std::string, 2> places = DataFilePlaces(programDirectory, name);
    std::error_code error;
    if (!std::filesystem::exists(places[0], error) && std::filesystem::exists(places[1], error)) {
        return places[1];
    }
    return places[0];
}

}  // namespace tolvek
