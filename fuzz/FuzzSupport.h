// Helpers shared by the fuzz targets: files in memory, a scratch folder and a
// check that stops the fuzzer with a message.
#pragma once

#include <dirent.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace tolvek::fuzz {

// Stops the run: libFuzzer keeps the input that broke the property.
#define TOLVEK_FUZZ_CHECK(condition)                                                           \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)

// A file that lives in memory, reachable by a path, so the engine reads it
// through its ordinary open without touching a disk.
class MemoryFile {
  public:
    MemoryFile() : fd_(memfd_create("tolvek-fuzz", 0)) { TOLVEK_FUZZ_CHECK(fd_ >= 0); }
    ~MemoryFile() { close(fd_); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    void Set(std::string_view bytes) {
        TOLVEK_FUZZ_CHECK(ftruncate(fd_, 0) == 0);
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n =
                pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
            TOLVEK_FUZZ_CHECK(n > 0);
            done += static_cast<std::size_t>(n);
        }
    }
    std::string Path() const { return "/proc/self/fd/" + std::to_string(fd_); }

  private:
    int fd_;
};

// A folder of this process's own under /dev/shm (or /tmp), emptied between inputs.
class ScratchDir {
  public:
    ScratchDir() {
        const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(base) + "/tolvek-fuzz-XXXXXX";
        TOLVEK_FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
        path_ = pattern + "/";
    }
    ~ScratchDir() {
        Empty();
        rmdir(path_.c_str());
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& Path() const { return path_; }

    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        if (DIR* dir = opendir(path_.c_str())) {
            while (const dirent* entry = readdir(dir)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..") {
                    names.push_back(name);
                }
            }
            closedir(dir);
        }
        return names;
    }
    void Empty() const {
        for (const std::string& name : Names()) {
            unlink((path_ + name).c_str());
        }
    }
    void Write(const std::string& name, std::string_view bytes) const {
        std::FILE* file = std::fopen((path_ + name).c_str(), "wb");
        TOLVEK_FUZZ_CHECK(file != nullptr);
        TOLVEK_FUZZ_CHECK(std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size());
        TOLVEK_FUZZ_CHECK(std::fclose(file) == 0);
    }
    std::string Read(const std::string& name) const {
        std::string bytes;
        std::FILE* file = std::fopen((path_ + name).c_str(), "rb");
        TOLVEK_FUZZ_CHECK(file != nullptr);
        char buffer[4096];
        std::size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
            bytes.append(buffer, got);
        }
        std::fclose(file);
        return bytes;
    }

  private:
    std::string path_;
};

// Splits bytes at CR, LF or CR LF, as the engine's line reader does.
inline std::vector<std::string_view> SplitLines(std::string_view bytes) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = start;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') {
            ++end;
        }
        lines.push_back(bytes.substr(start, end - start));
        if (end + 1 < bytes.size() && bytes[end] == '\r' && bytes[end + 1] == '\n') {
            ++end;
        }
        start = end + 1;
    }
    return lines;
}

}  // namespace tolvek::fuzz
