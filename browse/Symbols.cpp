#include "browse/Symbols.h"

#include <algorithm>
#include <cstdio>

#include "base/Conversions.h"
#include "base/LineReader.h"
#include "browse/Document.h"

namespace tolvek::browse {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

struct Word {
    std::size_t start = 0;
    std::string_view text;
};

// The words of a line before its comment.
std::vector<Word> Words(std::string_view line) {
    std::vector<Word> words;
    const std::size_t end = std::min(line.find('#'), line.size());
    for (std::size_t i = 0; i < end;) {
        if (IsBlank(line[i])) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        while (i < end && !IsBlank(line[i])) {
            ++i;
        }
        words.push_back({start, line.substr(start, i - start)});
    }
    return words;
}

// The text between double quotes (built by appending: GCC 12 warns falsely
// about string concatenation with a temporary here).
std::string Quoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    out.append(text);
    out += '"';
    return out;
}

// An entry's line, or an empty fault text for a blank or comment line.
bool ParseLine(std::string_view line, SymbolEntry& entry, std::string& fault) {
    const std::vector<Word> words = Words(line);
    fault.clear();
    if (words.empty()) {
        return false;
    }
    if (words[0].text == "label") {
        entry.kind = SymbolEntry::Kind::Label;
    } else if (words[0].text == "ram") {
        entry.kind = SymbolEntry::Kind::Ram;
    } else {
        fault = Quoted(words[0].text) + " is neither \"label\" nor \"ram\"";
        return false;
    }
    if (words.size() != 3) {
        fault = "an entry is a kind, an address and a name";
        return false;
    }
    if (!ParseNumber(words[1].text, 6, entry.address)) {
        fault = Quoted(words[1].text) + " is not an address";
        return false;
    }
    if (!IsIdentifier(words[2].text)) {
        fault = Quoted(words[2].text) + " is not a name";
        return false;
    }
    entry.name = std::string(words[2].text);
    return true;
}

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    for (std::size_t pos = 0; pos < text.size();) {
        lines.push_back(NextLine(text, pos));
    }
    return lines;
}

}  // namespace

SymbolFile ParseSymbols(std::string_view text) {
    SymbolFile file;
    const std::vector<std::string_view> lines = Lines(text);
    std::string fault;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SymbolEntry entry;
        if (ParseLine(lines[i], entry, fault)) {
            entry.line = i + 1;
            file.entries.push_back(std::move(entry));
        } else if (!fault.empty()) {
            file.faults.push_back(std::to_string(i + 1) + ": " + fault);
        }
    }
    return file;
}

std::string UpdateSymbols(std::string_view text, SymbolEntry::Kind kind, unsigned address,
                          std::string_view name) {
    std::string out;
    bool done = name.empty();
    std::string fault;
    for (const std::string_view line : Lines(text)) {
        SymbolEntry entry;
        if (ParseLine(line, entry, fault) && entry.kind == kind && entry.address == address) {
            if (done) {
                continue;  // the entry goes, or an older duplicate of it
            }
            const Word old = Words(line)[2];
            out.append(line.substr(0, old.start));
            out.append(name);
            out.append(line.substr(old.start + old.text.size()));
            out += '\n';
            done = true;
            continue;
        }
        out.append(line);
        out += '\n';
    }
    if (!done) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer,
                      kind == SymbolEntry::Kind::Label ? "label 0x%04X " : "ram 0x%03X ", address);
        out += buffer;
        out.append(name);
        out += '\n';
    }
    return out;
}

std::string SymbolFilePath(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    const std::size_t dot = path.rfind('.');
    const std::size_t baseEnd =
        dot == std::string_view::npos || dot < nameStart ? path.size() : dot;
    return std::string(path.substr(0, baseEnd)) + ".sym";
}

}  // namespace tolvek::browse
