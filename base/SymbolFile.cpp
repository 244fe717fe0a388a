#include "base/SymbolFile.h"

#include <array>
#include <cstdio>
#include <initializer_list>
#include <memory>

#include "base/Conversions.h"
#include "base/InputFile.h"
#include "base/LineReader.h"

namespace tolvek {

namespace {

// Blanks by character, looked up rather than compared: lines are read a
// character at a time.
constexpr std::array<bool, 256> kBlank = [] {
    std::array<bool, 256> blank{};
    for (const char c : {' ', '\t', '\r', '\v', '\f'}) {
        blank[static_cast<unsigned char>(c)] = true;
    }
    return blank;
}();

bool IsBlank(char c) {
    return kBlank[static_cast<unsigned char>(c)];
}

struct Word {
    std::size_t start = 0;
    std::string_view text;
};

// The next word of a line at or after pos, stopping at `end`.
Word NextWord(std::string_view line, std::size_t& pos, std::size_t end) {
    while (pos < end && IsBlank(line[pos])) {
        ++pos;
    }
    const std::size_t start = pos;
    while (pos < end && !IsBlank(line[pos])) {
        ++pos;
    }
    return {start, line.substr(start, pos - start)};
}

struct KindName {
    std::string_view word;
    SymbolKind kind;
    std::string_view form;  // what a line of this kind holds
};
constexpr std::array<KindName, 5> kKinds = {{
    {"label", SymbolKind::Label, "label ADDRESS NAME"},
    {"ram", SymbolKind::Ram, "ram ADDRESS NAME"},
    {"entry", SymbolKind::Entry, "entry ADDRESS"},
    {"comment", SymbolKind::Comment, "comment ADDRESS TEXT"},
    {"bookmark", SymbolKind::Bookmark, "bookmark ADDRESS [TEXT]"},
}};

const KindName& Describe(SymbolKind kind) {
    return kKinds[static_cast<std::size_t>(kind)];
}

// A fault's text from its parts, in one allocation.
std::string Joined(std::initializer_list<std::string_view> parts) {
    std::size_t size = 0;
    for (const std::string_view part : parts) {
        size += part.size();
    }
    std::string out;
    out.reserve(size);
    for (const std::string_view part : parts) {
        out.append(part);
    }
    return out;
}

std::string_view TrimEnd(std::string_view text) {
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// An entry as it stands in its line: its text or name is line[textStart, textEnd).
struct Parsed {
    SymbolKind kind = SymbolKind::Label;
    unsigned address = 0;
    std::size_t textStart = 0;
    std::size_t textEnd = 0;
};

// Reads one line: true with the entry, or false with a fault text in *fault
// (empty for a blank or comment line). Without fault, a faulty line costs no
// message.
bool ReadLine(std::string_view line, Parsed& parsed, std::string* fault) {
    const auto refuse = [fault](std::initializer_list<std::string_view> parts) {
        if (fault != nullptr) {
            *fault = Joined(parts);
        }
        return false;
    };
    const std::size_t hash = line.find('#');
    const std::size_t wordsEnd = hash == std::string_view::npos ? line.size() : hash;
    std::size_t pos = 0;
    const Word kindWord = NextWord(line, pos, wordsEnd);
    if (kindWord.text.empty()) {
        return false;
    }
    const KindName* kind = nullptr;
    for (const KindName& k : kKinds) {
        if (k.word == kindWord.text) {
            kind = &k;
        }
    }
    if (kind == nullptr) {
        return refuse(
            {"unknown kind \"", kindWord.text, "\" (use label, ram, entry, comment or bookmark)"});
    }
    const auto expected = [&] { return refuse({"expected \"", kind->form, "\""}); };
    const bool freeText = kind->kind == SymbolKind::Comment || kind->kind == SymbolKind::Bookmark;
    // free text may hold '#', so its address ends where the line's words end
    const Word address = NextWord(line, pos, freeText ? line.size() : wordsEnd);
    if (address.text.empty()) {
        return expected();
    }
    if (!ParseNumber(address.text, 8, parsed.address)) {
        return refuse({"\"", address.text, "\" is not an address (write 0x0040 or 64)"});
    }
    parsed.kind = kind->kind;
    if (freeText) {
        while (pos < line.size() && IsBlank(line[pos])) {
            ++pos;
        }
        const std::string_view text = TrimEnd(line.substr(pos));
        if (text.empty() && kind->kind == SymbolKind::Comment) {
            return expected();
        }
        parsed.textStart = pos;
        parsed.textEnd = pos + text.size();
        return true;
    }
    const Word name = NextWord(line, pos, wordsEnd);
    const bool named = kind->kind != SymbolKind::Entry;
    if (name.text.empty() == named || !NextWord(line, pos, wordsEnd).text.empty()) {
        return expected();
    }
    if (named && !IsSymbolName(name.text)) {
        return refuse({"\"", name.text,
                       "\" is not a name (a letter or _, then letters, digits or _, at most 32)"});
    }
    parsed.textStart = name.start;
    parsed.textEnd = name.start + name.text.size();
    return true;
}

// The text of an entry as one line.
std::string OneLine(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return out;
}

}  // namespace

bool HasSymbolFileHeader(std::string_view text) {
    return text.starts_with(kSymbolFileHeader);
}

bool IsSymbolName(std::string_view name) {
    const auto start = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    };
    if (name.empty() || name.size() > 32 || !start(name[0])) {
        return false;
    }
    for (const char c : name) {
        if (!start(c) && !(c >= '0' && c <= '9')) {
            return false;
        }
    }
    return true;
}

SymbolFile ReadSymbolFile(std::string_view text, bool untilFault) {
    SymbolFile file;
    file.header = HasSymbolFileHeader(text);
    std::size_t lineNumber = 0;
    Parsed parsed;
    std::string fault;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::string_view line = NextLine(text, pos);
        ++lineNumber;
        fault.clear();
        if (ReadLine(line, parsed, &fault)) {
            file.entries.push_back(
                {parsed.kind, parsed.address,
                 std::string(line.substr(parsed.textStart, parsed.textEnd - parsed.textStart)),
                 lineNumber});
        } else if (!fault.empty()) {
            file.faults.push_back({lineNumber, std::move(fault)});
            if (untilFault) {
                break;
            }
        }
    }
    return file;
}

std::string SymbolLine(SymbolKind kind, unsigned address, std::string_view text) {
    char buffer[32];
    const bool code = kind != SymbolKind::Ram;
    std::snprintf(buffer, sizeof buffer, code ? "%s 0x%04X" : "%s 0x%03X",
                  std::string(Describe(kind).word).c_str(), address);
    std::string line = buffer;
    const std::string oneLine = OneLine(text);
    if (kind != SymbolKind::Entry && !TrimEnd(oneLine).empty()) {
        line += ' ';
        line.append(TrimEnd(oneLine));
    }
    return line;
}

std::string UpdateSymbolFile(std::string_view fileText, SymbolKind kind, unsigned address,
                             std::optional<std::string_view> text) {
    const bool needsText =
        kind == SymbolKind::Label || kind == SymbolKind::Ram || kind == SymbolKind::Comment;
    if (text && needsText && TrimEnd(OneLine(*text)).empty()) {
        text.reset();  // such an entry without its text is no entry
    }
    std::string out;
    out.reserve(fileText.size() + 64);
    if (fileText.empty() && text) {
        out.append(kSymbolFileHeader);
        out += '\n';
    }
    bool done = !text;
    Parsed parsed;
    for (std::size_t pos = 0; pos < fileText.size();) {
        const std::string_view line = NextLine(fileText, pos);
        if (ReadLine(line, parsed, nullptr) && parsed.kind == kind && parsed.address == address) {
            if (done) {
                continue;  // the entry goes, or an older duplicate of it
            }
            const std::string value = OneLine(*text);
            if (kind == SymbolKind::Entry) {
                out.append(line);
            } else if (TrimEnd(value).empty() || parsed.textStart == parsed.textEnd) {
                out += SymbolLine(kind, address, value);
            } else {
                // the new text where the old one stood, the rest of the line kept
                out.append(line.substr(0, parsed.textStart));
                out.append(TrimEnd(value));
                out.append(line.substr(parsed.textEnd));
            }
            out += '\n';
            done = true;
            continue;
        }
        out.append(line);
        out += '\n';
    }
    if (!done) {
        out += SymbolLine(kind, address, *text);
        out += '\n';
    }
    return out;
}

bool LoadSymbolFileText(const std::string& path, std::string& text, std::string& error) {
    IoError failure;
    std::FILE* raw = OpenInputFile(path, "Cannot open the symbol file", failure);
    if (raw == nullptr) {
        error = failure.Message();
        return false;
    }
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(raw, std::fclose);
    text.clear();
    char buffer[16384];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, raw)) > 0) {
        text.append(buffer, got);
        if (text.size() > (16u << 20)) {
            error = "the symbol file \"" + path + "\" is larger than 16 MB";
            return false;
        }
    }
    if (std::ferror(raw) != 0) {
        error = "Cannot read the symbol file \"" + path + "\"";
        return false;
    }
    return true;
}

std::string SymbolFilePath(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    const std::size_t dot = path.rfind('.');
    const std::size_t baseEnd =
        dot == std::string_view::npos || dot < nameStart ? path.size() : dot;
    std::string out(path.substr(0, baseEnd));
    out += ".tolvek.sym";
    return out;
}

}  // namespace tolvek
