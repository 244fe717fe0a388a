// Reading the device file (docs/devices.md describes it), whole or one part
// alone: whatever the bytes, the result is a device list or a message naming the
// line and the fault.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "devices/Device.h"
#include "devices/Section.h"

namespace tolvek::devices {

namespace {

using section::Draft;
using section::Fault;
using section::SectionName;

constexpr std::size_t kMaxFileBytes = std::size_t{64} << 20;
constexpr std::size_t kMaxParts = 4096;
// "-of" lines copy registers and settings from part to part, so the file's size
// alone does not bound them.
constexpr std::size_t kMaxRegisters = std::size_t{1} << 19;
constexpr std::size_t kMaxSettings = std::size_t{1} << 19;

// Finds where each section begins: a line that starts with "[". The bracket
// stands nowhere else but in comments, so a search for it skips most bytes.
class SectionScan {
  public:
    explicit SectionScan(std::string_view text) : text_(text) {}

    // The offset of the next section line, or npos.
    std::size_t Next() {
        while (pos_ < text_.size()) {
            const void* found = std::memchr(text_.data() + pos_, '[', text_.size() - pos_);
            if (found == nullptr) {
                break;
            }
            const std::size_t at =
                static_cast<std::size_t>(static_cast<const char*>(found) - text_.data());
            pos_ = at + 1;
            if (at == 0 || text_[at - 1] == '\n') {
                return at;
            }
        }
        pos_ = text_.size();
        return std::string_view::npos;
    }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

std::vector<std::size_t> SectionStarts(std::string_view text) {
    std::vector<std::size_t> starts;
    SectionScan scan(text);
    for (std::size_t at = scan.Next(); at != std::string_view::npos; at = scan.Next()) {
        starts.push_back(at);
    }
    return starts;
}

// The part name of the section line at offset.
std::string_view SectionNameAt(std::string_view text, std::size_t offset) {
    const std::size_t stop = text.find('\n', offset);
    return SectionName(text.substr(offset, stop == std::string_view::npos ? stop : stop - offset));
}

// Whether a section's name is the canonical name wanted.
bool SameName(std::string_view name, std::string_view wanted) {
    const auto upper = [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    };
    return name.size() == wanted.size() &&
           std::equal(name.begin(), name.end(), wanted.begin(),
                      [&upper](char a, char b) { return upper(a) == b; });
}

std::size_t LineNumber(std::string_view text, std::size_t offset) {
    return static_cast<std::size_t>(std::count(
               text.begin(),
               text.begin() + static_cast<std::ptrdiff_t>(std::min(offset, text.size())), '\n')) +
           1;
}

std::string Describe(std::string_view text, const Fault& fault) {
    return "line " + std::to_string(LineNumber(text, fault.offset)) + ": " + fault.message;
}

// The bytes of a file, read whole.
class FileText {
  public:
    // Refuses what is not a regular file (a FIFO or a device would block or never
    // end) and files beyond the size limit.
    bool Read(const std::string& path, std::string& error) {
        const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            error = "cannot open " + path + ": " + std::strerror(errno);
            return false;
        }
        const bool read = ReadOpen(fd, path, error);
        close(fd);
        return read;
    }

    std::string_view View() const { return {data_.get(), size_}; }

  private:
    bool ReadOpen(int fd, const std::string& path, std::string& error) {
        struct stat info {};
        if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            error = "cannot read " + path + ": not a regular file";
            return false;
        }
        const std::string tooLarge =
            path + " is larger than " + std::to_string(kMaxFileBytes >> 20) + " MiB";
        if (static_cast<unsigned long long>(info.st_size) > kMaxFileBytes) {
            error = tooLarge;
            return false;
        }
        // one byte more than the file has, to see whether it grew since fstat
        std::size_t capacity = static_cast<std::size_t>(info.st_size) + 1;
        data_.reset(new char[capacity]);
        size_ = 0;
        while (true) {
            if (size_ == capacity) {
                if (capacity > kMaxFileBytes) {
                    error = tooLarge;
                    return false;
                }
                capacity = std::min(kMaxFileBytes + 1, capacity * 2);
                std::unique_ptr<char[]> larger(new char[capacity]);
                std::memcpy(larger.get(), data_.get(), size_);
                data_ = std::move(larger);
            }
            const ssize_t got = read(fd, data_.get() + size_, capacity - size_);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                error = "cannot read " + path + ": " + std::strerror(errno);
                return false;
            }
            if (got == 0) {
                return true;
            }
            size_ += static_cast<std::size_t>(got);
        }
    }

    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
};

}  // namespace

std::optional<DeviceDb> DeviceDb::Parse(std::string_view text, std::string& error) {
    const std::vector<std::size_t> starts = SectionStarts(text);
    try {
        section::ExpectNothing(text, 0, starts.empty() ? text.size() : starts[0]);
        if (starts.size() > kMaxParts) {
            throw Fault{starts[kMaxParts], "more than " + std::to_string(kMaxParts) + " parts"};
        }
        std::vector<Draft> drafts;
        drafts.reserve(starts.size());
        std::unordered_map<std::string, std::size_t> index;
        std::size_t registers = 0;
        std::size_t settings = 0;
        for (std::size_t i = 0; i < starts.size(); ++i) {
            const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : text.size();
            Draft draft = section::Parse(text, starts[i], end);
            if (!index.emplace(draft.device.name, drafts.size()).second) {
                throw Fault{starts[i], "part " + draft.device.name + " given twice (also line " +
                                           std::to_string(LineNumber(
                                               text, drafts[index[draft.device.name]].offset)) +
                                           ")"};
            }
            for (const bool ofRegisters : {true, false}) {
                const std::string_view of = ofRegisters ? draft.registersOf : draft.configOf;
                if (of.empty()) {
                    continue;
                }
                const auto from = index.find(DeviceDb::Canonical(of));
                if (from == index.end() || from->second == drafts.size()) {
                    throw Fault{ofRegisters ? draft.registersOfOffset : draft.configOfOffset,
                                "no part " + std::string(of) + " before this one"};
                }
                section::Inherit(draft, drafts[from->second], ofRegisters);
            }
            registers += draft.device.registers.size();
            for (const ConfigWord& word : draft.device.config) {
                settings += word.settings.size();
            }
            if (registers > kMaxRegisters || settings > kMaxSettings) {
                throw Fault{starts[i], "more than " + std::to_string(kMaxRegisters) +
                                           " registers or settings in the file"};
            }
            drafts.push_back(std::move(draft));
        }
        DeviceDb db;
        db.devices_.reserve(drafts.size());
        for (Draft& draft : drafts) {
            db.devices_.push_back(std::move(draft.device));
        }
        return db;
    } catch (const Fault& fault) {
        error = Describe(text, fault);
        return std::nullopt;
    }
}

std::optional<DeviceDb> DeviceDb::Load(const std::string& path, std::string& error) {
    FileText file;
    if (!file.Read(path, error)) {
        return std::nullopt;
    }
    std::optional<DeviceDb> db = Parse(file.View(), error);
    if (!db) {
        error = path + ": " + error;
    }
    return db;
}

namespace {

// A section of the file as LoadPart finds it: where it starts and ends.
struct SectionRef {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::string name;
};

// Reads [begin, end) of an open file.
bool ReadRange(int fd, std::size_t begin, std::size_t end, std::string& out) {
    out.resize(end - begin);
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t got =
            pread(fd, out.data() + done, out.size() - done, static_cast<off_t>(begin + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

// The line of a byte offset, counted by reading the file up to it (for messages).
std::size_t LineAt(int fd, std::size_t offset) {
    std::string text;
    return ReadRange(fd, 0, offset, text) ? LineNumber(text, offset) : 0;
}

}  // namespace

// Reads the file once in small pieces, keeping only where sections start, up to
// the end of the part's own section; then reads that section and the ones its
// "-of" lines name. A run reads a few kilobytes into memory, not the whole file.
std::optional<Device> DeviceDb::LoadPart(const std::string& path, std::string_view name,
                                         std::string& error, std::vector<std::string>* closest) {
    const std::string wanted = Canonical(name);
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = "cannot read " + path + ": not a regular file";
        return std::nullopt;
    }
    if (static_cast<unsigned long long>(info.st_size) > kMaxFileBytes) {
        error = path + " is larger than " + std::to_string(kMaxFileBytes >> 20) + " MiB";
        return std::nullopt;
    }

    std::vector<SectionRef> sections;
    std::size_t own = std::string_view::npos;
    constexpr std::size_t kPiece = std::size_t{1} << 16;
    // read into without clearing it first: only the bytes read are looked at
    const std::unique_ptr<char[]> buffer(new char[kPiece]);
    std::size_t have = 0;   // bytes in buffer
    std::size_t base = 0;   // file offset of buffer[0]
    bool lineStart = true;  // buffer[0] starts a line
    bool done = false;
    while (!done) {
        const ssize_t got = read(fd, buffer.get() + have, kPiece - have);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            error = "cannot read " + path + ": " + std::strerror(errno);
            return std::nullopt;
        }
        const bool end = got == 0;
        have += static_cast<std::size_t>(got);
        // whole lines only, unless the file ends or a line fills the buffer
        std::size_t limit = have;
        if (!end) {
            const std::string_view text(buffer.get(), have);
            const std::size_t last = text.rfind('\n');
            if (last != std::string_view::npos) {
                limit = last + 1;
            }
        }
        const std::string_view text(buffer.get(), limit);
        SectionScan scan(text);
        for (std::size_t at = scan.Next(); at != std::string_view::npos; at = scan.Next()) {
            if (at == 0 && !lineStart) {
                continue;
            }
            if (!sections.empty()) {
                sections.back().end = base + at;
            }
            if (own != std::string_view::npos) {
                done = true;  // the part's section is whole
                break;
            }
            sections.push_back({base + at, 0, std::string(SectionNameAt(text, at))});
            if (SameName(sections.back().name, wanted)) {
                own = sections.size() - 1;
            }
        }
        if (end) {
            if (!sections.empty() && sections.back().end == 0) {
                sections.back().end = base + limit;
            }
            break;
        }
        lineStart = limit > 0 && buffer[limit - 1] == '\n';
        // the unfinished line moves to the front (a line that fills the
        // buffer was taken whole above)
        have -= limit;
        std::memmove(buffer.get(), buffer.get() + limit, have);
        base += limit;
    }
    if (own == std::string_view::npos) {
        error = "no part " + std::string(name.substr(0, 40)) + " in " + path;
        if (closest != nullptr) {
            std::vector<std::string> names;
            for (const SectionRef& section : sections) {
                if (!section.name.empty()) {
                    names.push_back(Canonical(section.name));
                }
            }
            *closest = ClosestNames(names, name, 3);
        }
        return std::nullopt;
    }
    std::string text;
    const SectionRef& part = sections[own];
    if (!ReadRange(fd, part.begin, part.end, text)) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    std::size_t at = part.begin;  // where the text being parsed starts in the file
    try {
        Draft draft = section::Parse(text, 0, text.size());
        for (const bool ofRegisters : {true, false}) {
            const std::string_view of = ofRegisters ? draft.registersOf : draft.configOf;
            if (of.empty()) {
                continue;
            }
            const std::string canonical = Canonical(of);
            std::size_t from = 0;
            while (from < own && !SameName(sections[from].name, canonical)) {
                ++from;
            }
            if (from == own) {
                throw Fault{ofRegisters ? draft.registersOfOffset : draft.configOfOffset,
                            "no part " + std::string(of) + " before this one"};
            }
            std::string other;
            if (!ReadRange(fd, sections[from].begin, sections[from].end, other)) {
                error = "cannot read " + path;
                return std::nullopt;
            }
            const section::Keep keep =
                ofRegisters ? section::Keep::kRegisters : section::Keep::kConfig;
            at = sections[from].begin;
            const Draft inherited = section::Parse(other, 0, other.size(), keep);
            at = part.begin;
            section::Inherit(draft, inherited, ofRegisters);
        }
        return std::move(draft.device);
    } catch (const Fault& fault) {
        error =
            path + ": line " + std::to_string(LineAt(fd, at + fault.offset)) + ": " + fault.message;
        return std::nullopt;
    }
}

}  // namespace tolvek::devices
