// A fresh folder for one test, removed with everything in it afterwards, and a
// way to run a piece of a test as an ordinary user.
#pragma once

#include <grp.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace tolvek::testing {

// The bytes of a file; empty when it cannot be read.
inline std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every name in a folder, hidden ones too, sorted.
inline std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class TempDir {
  public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tolvek-test-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    std::string Path(const std::string& name) const { return (path_ / name).string(); }

    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(Path(name), std::ios::binary) << bytes;
    }

    std::string Read(const std::string& name) const { return ReadFileBytes(Path(name)); }

    bool Exists(const std::string& name) const { return std::filesystem::exists(Path(name)); }

    // Names of the files in the folder, sorted.
    std::string Listing() const {
        std::string names;
        std::set<std::string> sorted;
        for (const auto& entry : std::filesystem::directory_iterator(path_)) {
            sorted.insert(entry.path().filename().string());
        }
        for (const auto& name : sorted) {
            names += name + " ";
        }
        return names;
    }

  private:
    std::filesystem::path path_;
};

// Runs body in a child process as an ordinary user: root may write any file,
// so a test run by root drops to "nobody" (folder and files handed over to it
// first). Returns true when body returned true.
inline bool AsOrdinaryUser(const std::vector<std::string>& paths,
                           const std::function<bool()>& body) {
    const bool root = geteuid() == 0;
    const uid_t user = root ? 65534 : geteuid();
    const gid_t group = root ? 65534 : getegid();
    for (const std::string& path : paths) {
        if (root && chown(path.c_str(), user, group) != 0) {
            return false;
        }
    }
    const pid_t child = fork();
    if (child == 0) {
        if (root && (setgroups(0, nullptr) != 0 || setgid(group) != 0 || setuid(user) != 0)) {
            _exit(2);
        }
        _exit(body() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

}  // namespace tolvek::testing
