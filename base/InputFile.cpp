#include "base/InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tolvek {

std::FILE* OpenInputFile(const std::string& path, const std::string& what, IoError& error) {
    const auto fail = [&](int number, const char* text) -> std::FILE* {
        error =
            text != nullptr ? IoError(what, path, text) : IoError::FromErrno(what, path, number);
        return nullptr;
    };
    // O_NONBLOCK keeps the open of a FIFO without a writer from waiting for one
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return fail(errno, nullptr);
    }
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        const int number = errno;
        close(fd);
        return fail(number, nullptr);
    }
    if (!S_ISREG(info.st_mode)) {
        close(fd);
        return S_ISDIR(info.st_mode) ? fail(EISDIR, nullptr) : fail(0, "not a regular file");
    }
    // of the status flags it was opened with, only O_NONBLOCK can be changed
    fcntl(fd, F_SETFL, 0);
    std::FILE* file = fdopen(fd, "rb");
    if (file == nullptr) {
        const int number = errno;
        close(fd);
        return fail(number, nullptr);
    }
    return file;
}

std::FILE* BlockingWriteStream(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) {
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    std::FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
        const int error = errno;
        close(fd);
        errno = error;
    }
    return file;
}

}  // namespace tolvek
