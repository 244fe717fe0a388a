#include "job/OutputRule.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>

#include "base/InputFile.h"
#include "source/Writer.h"

namespace tolvek {

ExistingOutput CheckExistingSource(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return ExistingOutput::kNone;
    }
    IoError error;
    std::FILE* raw = OpenInputFile(path, "Cannot open the output file", error);
    if (raw == nullptr) {
        return ExistingOutput::kOther;  // what cannot be read cannot be told apart
    }
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(raw, std::fclose);
    // the first two lines of any source Tolvek writes fit in far less
    char head[1024];
    const std::size_t got = std::fread(head, 1, sizeof head, raw);
    return source::IsWrittenByTolvek(std::string_view(head, got)) ? ExistingOutput::kTolvek
                                                                  : ExistingOutput::kOther;
}

}  // namespace tolvek
