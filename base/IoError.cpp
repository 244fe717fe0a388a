#include "base/IoError.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace tolvek {

IoError::IoError(std::string what, std::string path, std::string reason, int number)
    : what_(std::move(what)), path_(std::move(path)), reason_(std::move(reason)), number_(number) {}

IoError IoError::FromErrno(std::string what, std::string path, int number) {
    number = number != 0 ? number : EIO;
    return IoError(std::move(what), std::move(path), std::strerror(number), number);
}

std::string IoError::Message() const {
    return what_ + " \"" + path_ + "\": " + reason_;
}

}  // namespace tolvek
