// The one shape of an input/output failure: a file could not be opened, read,
// created or written.
#pragma once

#include <string>

namespace tolvek {

class IoError {
  public:
    // No failure.
    IoError() = default;
    // what: the action that failed ("Cannot open the input file"); path: the
    // file; reason: why, in words ("not a regular file").
    IoError(std::string what, std::string path, std::string reason, int number = 0);
    // The same with the system's reason for an errno value (EIO for 0).
    static IoError FromErrno(std::string what, std::string path, int number);

    explicit operator bool() const { return !reason_.empty(); }
    const std::string& What() const { return what_; }
    const std::string& Path() const { return path_; }
    const std::string& Reason() const { return reason_; }
    // The errno value behind the reason, or 0.
    int Number() const { return number_; }
    // What "path": reason.
    std::string Message() const;

  private:
    std::string what_;
    std::string path_;
    std::string reason_;
    int number_ = 0;
};

}  // namespace tolvek
