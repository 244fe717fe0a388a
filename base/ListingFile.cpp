#include "base/ListingFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "base/InputFile.h"
#include "base/Paths.h"

namespace tolvek {

namespace {
constexpr std::size_t kFlushSize = 1 << 14;

// The buffer goes to the descriptor in one call where it can: through the
// stream it would be split and copied, and the stream would want a buffer of
// its own first.
std::size_t WriteToFile(const void* data, std::size_t size, std::FILE* file) {
    const int fd = fileno(file);
    if (fd < 0 || std::fflush(file) != 0) {
        return std::fwrite(data, 1, size, file);
    }
    const char* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t wrote = write(fd, bytes + done, size - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            break;  // errno tells why
        }
        done += static_cast<std::size_t>(wrote);
    }
    return done;
}

// Opens an existing device or FIFO for writing without waiting: a FIFO that
// nobody reads fails at once (ENXIO) instead of blocking the run.
std::FILE* OpenInPlace(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    return fd < 0 ? nullptr : BlockingWriteStream(fd);
}

// The temporary file now being written, for PendingTemporaryFile.
char g_pending[PATH_MAX + 1];

void SetPending(const std::string& path) {
    g_pending[0] = '\0';
    if (path.size() < sizeof g_pending) {
        std::memcpy(g_pending, path.c_str(), path.size() + 1);
    }
}

// Holds back the signals that end a run while the temporary file is created and
// recorded, so that an interrupt never finds a file on disk that the record does
// not name yet, nor a half-copied name.
class HoldInterrupts {
  public:
    HoldInterrupts() {
        sigset_t held;
        sigemptyset(&held);
        for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
            sigaddset(&held, signalNumber);
        }
        pthread_sigmask(SIG_BLOCK, &held, &previous_);
    }
    ~HoldInterrupts() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    HoldInterrupts(const HoldInterrupts&) = delete;
    HoldInterrupts& operator=(const HoldInterrupts&) = delete;

  private:
    sigset_t previous_{};
};

void ClearPending(const std::string& path) {
    if (path == g_pending) {
        g_pending[0] = '\0';
    }
}
}  // namespace

ListingFile::WriteFunction ListingFile::writeFunction = WriteToFile;

const char* ListingFile::PendingTemporaryFile() {
    return g_pending;
}

ListingFile::~ListingFile() {
    Discard();
}

void ListingFile::Fail(const std::string& what, const std::string& path, int error) {
    if (!error_) {
        error_ = IoError::FromErrno(what, path, error);
    }
}

bool ListingFile::Open(const std::string& path) {
    path_ = path;
    struct stat existing {};
    const bool exists = stat(path.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        // a device or pipe (such as /dev/null) is written in place, never replaced
        file_ = OpenInPlace(path);
        if (file_ == nullptr) {
            Fail("Cannot create the listing", path, errno);
            return false;
        }
        ownsFile_ = true;
        return true;
    }
    // a listing reached through a symbolic link is replaced where the link points
    std::string target = path;
    char* resolved = exists ? realpath(path.c_str(), nullptr) : nullptr;
    if (resolved != nullptr) {
        target = resolved;
        std::free(resolved);
    }
    if (exists) {
        // Renaming over a file needs only the folder's permission; the listing
        // itself must be one the user may write, or a read-only listing would
        // be replaced.
        if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
            Fail("Cannot write the listing", path, errno);
            return false;
        }
        if (existing.st_nlink > 1) {
            // A rename would split the links; the finished listing is copied into
            // this file instead. Opened now, so the run fails before it starts.
            inPlaceFd_ = open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (inPlaceFd_ < 0) {
                Fail("Cannot write the listing", path, errno);
                return false;
            }
        }
    }
    renameTo_ = target;
    const std::string dir = ExtractFileDir(target);
    std::string pattern = dir + "." + target.substr(dir.size()) + ".XXXXXX";
    int fd = -1;
    int createError = 0;
    {
        const HoldInterrupts hold;
        fd = mkstemp(pattern.data());
        createError = errno;
        if (fd >= 0) {
            tempPath_ = pattern;
            SetPending(tempPath_);
        }
    }
    if (fd < 0) {
        Fail("Cannot create the listing", path, createError);
        return false;
    }
    // the new listing gets the owner, group and mode of the one it replaces (the
    // owner only where the system allows: as root), or the usual mode
    mode_t mode = 0;
    if (exists) {
        if (fchown(fd, existing.st_uid, existing.st_gid) != 0 &&
            fchown(fd, static_cast<uid_t>(-1), existing.st_gid) != 0) {
            // not ours to give away: the listing belongs to whoever runs us
        }
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    fchmod(fd, mode);
    file_ = fdopen(fd, "wb");
    if (file_ == nullptr) {
        const int error = errno;
        close(fd);
        Fail("Cannot create the listing", path, error);
        Discard();
        return false;
    }
    ownsFile_ = true;
    return true;
}

void ListingFile::OpenStream(std::FILE* stream) {
    file_ = stream;
    ownsFile_ = false;
    path_ = "standard output";
}

void ListingFile::WriteLine(std::string_view line) {
    char* out = Reserve(line.size() + kLineEnd.size());
    std::memcpy(out, line.data(), line.size());
    std::memcpy(out + line.size(), kLineEnd.data(), kLineEnd.size());
    Written(out + line.size() + kLineEnd.size());
}

namespace {

// Room for `size` characters, left uninitialised: the writer fills it before
// it is read. (std::make_unique_for_overwrite, which not every standard
// library the engine is built with has yet.)
std::unique_ptr<char[]> UninitialisedBuffer(std::size_t size) {
    return std::unique_ptr<char[]>(new char[size]);
}

}  // namespace

void ListingFile::MakeRoom(std::size_t size) {
    Flush();
    if (capacity_ < size || capacity_ < kFlushSize) {
        capacity_ = std::max(size, kFlushSize);
        buffer_ = UninitialisedBuffer(capacity_);
    }
}

void ListingFile::Write(std::string_view bytes) {
    if (bytes.size() < kFlushSize) {
        char* out = Reserve(bytes.size());
        std::memcpy(out, bytes.data(), bytes.size());
        Written(out + bytes.size());
        return;
    }
    if (!Flush()) {
        return;
    }
    errno = 0;
    if (writeFunction(bytes.data(), bytes.size(), file_) != bytes.size()) {
        Fail("Cannot write the listing", path_, errno);
    }
}

bool ListingFile::Flush() {
    const std::size_t size = used_;
    used_ = 0;
    if (file_ == nullptr || Failed()) {
        return false;
    }
    errno = 0;
    if (size > 0 && writeFunction(buffer_.get(), size, file_) != size) {
        Fail("Cannot write the listing", path_, errno);
    }
    return !Failed();
}

bool ListingFile::Commit() {
    Flush();
    if (file_ == nullptr) {
        return false;
    }
    if (!ownsFile_) {
        if (!Failed() && std::fflush(file_) != 0) {
            Fail("Cannot write the listing", path_, errno);
        }
        file_ = nullptr;
        return !Failed();
    }
    if (!Failed() && std::fflush(file_) != 0) {
        Fail("Cannot write the listing", path_, errno);
    }
    if (!Failed() && !tempPath_.empty() && fsync(fileno(file_)) != 0 && errno != EINVAL) {
        Fail("Cannot write the listing", path_, errno);
    }
    if (std::fclose(file_) != 0) {
        Fail("Cannot write the listing", path_, errno);
    }
    file_ = nullptr;
    const bool inPlace = inPlaceFd_ >= 0;
    if (inPlace) {
        if (!Failed()) {
            CopyInPlace();
        }
        close(inPlaceFd_);
        inPlaceFd_ = -1;
    } else if (!Failed() && !tempPath_.empty() &&
               std::rename(tempPath_.c_str(), renameTo_.c_str()) != 0) {
        Fail("Cannot replace the listing", path_, errno);
    }
    if ((Failed() || inPlace) && !tempPath_.empty()) {
        std::remove(tempPath_.c_str());
    }
    ClearPending(tempPath_);
    tempPath_.clear();
    return !Failed();
}

void ListingFile::CopyInPlace() {
    const int from = open(tempPath_.c_str(), O_RDONLY | O_CLOEXEC);
    if (from < 0 || ftruncate(inPlaceFd_, 0) != 0) {
        Fail("Cannot write the listing", path_, errno);
        if (from >= 0) {
            close(from);
        }
        return;
    }
    const std::size_t size = std::max(capacity_, kFlushSize);
    if (!buffer_ || capacity_ < size) {
        buffer_ = UninitialisedBuffer(size);
        capacity_ = size;
    }
    ssize_t got = 0;
    while (!Failed() && (got = read(from, buffer_.get(), capacity_)) != 0) {
        if (got < 0) {
            Fail("Cannot write the listing", path_, errno);
        }
        for (ssize_t done = 0; !Failed() && done < got;) {
            const ssize_t put = write(inPlaceFd_, buffer_.get() + done, got - done);
            if (put <= 0) {
                Fail("Cannot write the listing", path_, put < 0 ? errno : ENOSPC);
            }
            done += put;
        }
    }
    close(from);
    if (!Failed() && fsync(inPlaceFd_) != 0 && errno != EINVAL) {
        Fail("Cannot write the listing", path_, errno);
    }
}

void ListingFile::Discard() {
    if (file_ != nullptr && ownsFile_) {
        std::fclose(file_);
    }
    file_ = nullptr;
    if (inPlaceFd_ >= 0) {
        close(inPlaceFd_);
        inPlaceFd_ = -1;
    }
    used_ = 0;
    if (!tempPath_.empty()) {
        std::remove(tempPath_.c_str());
        ClearPending(tempPath_);
        tempPath_.clear();
    }
}

}  // namespace tolvek
