#include "chipdb/ChipData.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "base/Conversions.h"
#include "base/InputFile.h"

namespace tolvek {

namespace {

// Reads the remainder of a parameter line as an integer: leading blanks and a
// sign are accepted, anything else that is not a digit fails.
bool ParsePageCount(std::string_view text, int& value) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size()) {
        return false;
    }
    long result = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        result = result * 10 + (text[i] - '0');
        if (result > 1000000) {
            return false;
        }
    }
    value = static_cast<int>(negative ? -result : result);
    return true;
}

// Reads line 0 of the section: "<" core "," pages ">".
bool ReadParameterLine(std::string_view line, bool& core12Bit, int& romPages) {
    if (line.empty() || line.front() != '<') {
        return false;
    }
    std::string rest(line.substr(1));
    const std::size_t close = rest.find('>');
    if (close == std::string::npos || close + 1 != rest.size()) {
        return false;
    }
    rest.pop_back();
    if (rest.empty()) {
        return false;
    }
    std::transform(rest.begin(), rest.end(), rest.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    bool core = false;
    if (rest.starts_with("false")) {
        rest.erase(0, 5);
    } else if (rest.starts_with("true")) {
        core = true;
        rest.erase(0, 4);
    } else {
        return false;
    }
    if (rest.size() < 2 || rest.front() != ',') {
        return false;
    }
    int pages = 0;
    if (!ParsePageCount(std::string_view(rest).substr(1), pages) || pages < 1 || pages > 4) {
        return false;
    }
    core12Bit = core;
    romPages = pages;
    return true;
}

// The number of lines the text splits into, counted before they are split.
std::size_t CountLines(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    std::size_t lines = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))) {
            ++lines;
        }
    }
    const bool lastLineOpen = !text.empty() && text.back() != '\r' && text.back() != '\n';
    return lines + (lastLineOpen ? 1 : 0);
}

}  // namespace

void ChipState::LoadChipLines(std::string bytes) {
    ChipLines.clear();
    const std::size_t nul = bytes.find('\0');
    if (nul != std::string::npos) {
        bytes.resize(nul);
    }
    // the lines point into the text, which every copy of this state shares
    chipText_ = std::make_shared<const std::string>(std::move(bytes));
    const std::string_view text(*chipText_);
    ChipLines.reserve(text.size() / 32 + 1);
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    // the next CR and the next "[" from the current line on: found once and
    // looked for again only after the line that holds them
    const auto find = [end](const char* from, char c) {
        const void* at = std::memchr(from, c, static_cast<std::size_t>(end - from));
        return at != nullptr ? static_cast<const char*>(at) : end;
    };
    const char* nextCr = find(begin, '\r');
    const char* nextBracket = find(begin, '[');
    const char* start = begin;
    while (start < end) {
        if (nextCr < start) {
            nextCr = find(start, '\r');
        }
        if (nextBracket < start) {
            nextBracket = find(start, '[');
        }
        // a line ends at the first CR or LF
        const char* lineEnd = std::min(find(start, '\n'), nextCr);
        const std::string_view whole(start, static_cast<std::size_t>(lineEnd - start));
        ChipLine line;
        line.text = whole.substr(0, kMaxText);
        line.longer = whole.size() > kMaxText;
        line.hasBracket = nextBracket < lineEnd;
        ChipLines.push_back(line);
        if (lineEnd + 1 < end && lineEnd[0] == '\r' && lineEnd[1] == '\n') {
            ++lineEnd;
        }
        start = lineEnd + 1;
    }
}

bool ChipState::LoadChipFile(const std::string& path, IoError* error) {
    static const std::string kWhat = "Cannot read the chip data";
    const auto refuse = [&](IoError failure) {
        if (error != nullptr) {
            *error = std::move(failure);
        }
        return false;
    };
    IoError openError;
    std::FILE* file = OpenInputFile(path, kWhat, openError);
    if (file == nullptr) {
        return refuse(openError);
    }
    // read whole into one string, sized by the file where it has a size; a NUL
    // ends the text (LoadChipLines cuts it there)
    std::string bytes;
    struct stat info {};
    const std::size_t expected = fstat(fileno(file), &info) == 0 && info.st_size > 0
                                     ? static_cast<std::size_t>(info.st_size)
                                     : 0;
    bytes.resize(std::min(expected, kMaxChipDataBytes) + 1);
    std::size_t size = 0;
    for (;;) {
        if (size > kMaxChipDataBytes) {
            break;  // a file that grows while it is read stops here too
        }
        if (size == bytes.size()) {
            bytes.resize(std::min(bytes.size() * 2 + (1 << 16), kMaxChipDataBytes + 1));
        }
        const std::size_t got = std::fread(bytes.data() + size, 1, bytes.size() - size, file);
        if (got == 0) {
            break;
        }
        size += got;
    }
    bytes.resize(size);
    const bool failed = std::ferror(file) != 0;
    const int readError = errno;
    std::fclose(file);
    if (failed) {
        return refuse(IoError::FromErrno(kWhat, path, readError));
    }
    if (size > kMaxChipDataBytes && bytes.find('\0') == std::string::npos) {
        return refuse(
            IoError(kWhat, path, "larger than " + std::to_string(kMaxChipDataBytes >> 20) + " MB"));
    }
    // a line takes at least one byte, so only a larger file can have too many
    if (size > kMaxChipLines && CountLines(bytes) > kMaxChipLines) {
        return refuse(
            IoError(kWhat, path, "more than " + std::to_string(kMaxChipLines) + " lines"));
    }
    LoadChipLines(std::move(bytes));
    return true;
}

bool ChipNameBefore(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const int x = std::tolower(static_cast<unsigned char>(a[i]));
        const int y = std::tolower(static_cast<unsigned char>(b[i]));
        if (x != y) {
            return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
        }
    }
    if (a.size() != b.size()) {
        return a.size() < b.size();
    }
    return a < b;
}

std::vector<std::string> ChipState::ChipList() const {
    std::vector<std::string_view> names;
    // the last line of the file is never a listed section
    for (std::size_t i = 0; i + 1 < ChipLines.size(); ++i) {
        const std::string_view text = ChipLines[i].text;
        if (text.size() < 3 || text.front() != '[' || text.find(']') + 1 != text.size()) {
            continue;
        }
        names.push_back(text.substr(1, text.size() - 2));
    }
    // equal names keep file order
    std::stable_sort(names.begin(), names.end(), ChipNameBefore);
    return {names.begin(), names.end()};
}

RegisterNamer& ChipState::Naming() const {
    if (!naming_.BuiltFrom(ChipInfo)) {
        naming_.Build(ChipInfo);
    }
    return naming_;
}

void ChipState::SelectChip(std::string_view name, const ChipMessageSink& messages) {
    ChipName = std::string(name.substr(0, kMaxText));
    ExtractPICInfo(messages);
    Series12 = ChipName.starts_with("12");
}

void ChipState::ExtractPICInfo(const ChipMessageSink& messages) {
    const auto show = [&messages](std::string_view text) {
        if (messages) {
            messages(std::string(text));
        }
    };
    std::string key = "[" + ChipName + "]";
    CutText(key);
    for (std::size_t i = 0; i < ChipLines.size(); ++i) {
        if (ChipLines[i].longer || ChipLines[i].text != key) {
            continue;
        }
        ChipInfo.clear();
        std::size_t lines = 0;
        while (i + 1 + lines < ChipLines.size() && !ChipLines[i + 1 + lines].hasBracket) {
            ++lines;
        }
        ChipInfo.reserve(lines);
        bool closed = false;
        for (std::size_t j = i + 1; j < ChipLines.size(); ++j) {
            const ChipLine& line = ChipLines[j];
            if (line.hasBracket) {
                closed = true;
                break;
            }
            if (!line.text.empty()) {
                ChipInfo.emplace_back(line.text);
            }
        }
        if (!closed) {
            show(kMsgUnclosedSection);
            return;
        }
        break;
    }
    if (ChipInfo.size() <= 3) {
        show(kMsgInsufficient);
        return;
    }
    if (!ReadParameterLine(ChipInfo[0], Core12Bit, RomPages)) {
        show(kMsgBadParameters);
        Core12Bit = false;
        RomPages = 1;
    }
}

}  // namespace tolvek
