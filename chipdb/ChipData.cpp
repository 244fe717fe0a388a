#include "chipdb/ChipData.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "engine/Conversions.h"

namespace tolvek {

namespace {

ChipLine MakeChipLine(std::string_view whole) {
    ChipLine line;
    line.text = std::string(whole.substr(0, kMaxText));
    line.longer = whole.size() > kMaxText;
    line.hasBracket = whole.find('[') != std::string_view::npos;
    return line;
}

// Case-insensitive order of the chip list; equal names keep file order.
bool ChipNameLess(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int ca = std::tolower(static_cast<unsigned char>(a[i]));
        const int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb) {
            return ca < cb;
        }
    }
    if (a.size() != b.size()) {
        return a.size() < b.size();
    }
    return a < b;
}

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

}  // namespace

void ChipState::LoadChipLines(std::string_view bytes) {
    ChipLines.clear();
    const std::size_t nul = bytes.find('\0');
    if (nul != std::string_view::npos) {
        bytes = bytes.substr(0, nul);
    }
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = start;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') {
            ++end;
        }
        ChipLines.push_back(MakeChipLine(bytes.substr(start, end - start)));
        if (end < bytes.size() && bytes[end] == '\r' && end + 1 < bytes.size() &&
            bytes[end + 1] == '\n') {
            ++end;
        }
        start = end + 1;
    }
}

bool ChipState::LoadChipFile(const std::string& path, std::string* error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        if (error != nullptr) {
            *error = std::strerror(errno);
        }
        return false;
    }
    std::string bytes;
    char buffer[1 << 16];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        const std::size_t nul = std::string_view(buffer, got).find('\0');
        bytes.append(buffer, nul == std::string_view::npos ? got : nul);
        if (nul != std::string_view::npos) {
            break;  // a NUL ends the text
        }
    }
    const bool failed = std::ferror(file) != 0;
    const int readError = errno;
    std::fclose(file);
    if (failed) {
        if (error != nullptr) {
            *error = std::strerror(readError != 0 ? readError : EIO);
        }
        return false;
    }
    LoadChipLines(bytes);
    return true;
}

std::vector<std::string> ChipState::ChipList() const {
    std::vector<std::string> names;
    // the last line of the file is never a listed section
    for (std::size_t i = 0; i + 1 < ChipLines.size(); ++i) {
        const std::string& text = ChipLines[i].text;
        if (text.empty() || text.front() != '[') {
            continue;
        }
        const std::size_t close = text.find(']');
        if (close == std::string::npos || close + 1 != text.size() || text.size() < 3) {
            continue;
        }
        names.push_back(text.substr(1, text.size() - 2));
    }
    std::stable_sort(names.begin(), names.end(), ChipNameLess);
    return names;
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
        bool closed = false;
        for (std::size_t j = i + 1; j < ChipLines.size(); ++j) {
            const ChipLine& line = ChipLines[j];
            if (line.hasBracket) {
                closed = true;
                break;
            }
            if (!line.text.empty()) {
                ChipInfo.push_back(line.text);
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
