#include "browse/Scan.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>
#include <unordered_set>

namespace tolvek::browse {

std::string Lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = Lower(c);
    }
    return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

bool StartsNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

constexpr std::array<bool, 256> kSpace = [] {
    std::array<bool, 256> space{};
    space[' '] = space['\t'] = true;
    return space;
}();

bool IsSpace(char c) {
    return kSpace[static_cast<unsigned char>(c)];
}

// Where the quoted text that opens at `open` closes, or npos when it holds the
// rest of the line. With escapes, as gpasm reads a source, a backslash in
// quotes takes the next character as it is.
std::size_t QuoteEnd(std::string_view line, std::size_t open, bool escapes) {
    const char quote = line[open];
    for (std::size_t from = open + 1;;) {
        const std::size_t close = line.find(quote, from);
        const std::size_t backslash = escapes ? line.find('\\', from) : std::string_view::npos;
        if (close == std::string_view::npos || backslash == std::string_view::npos ||
            close < backslash) {
            return close;
        }
        from = backslash + 2;
    }
}
}  // namespace

namespace {

constexpr std::array<signed char, 256> kHexValue = [] {
    std::array<signed char, 256> value{};
    for (int c = 0; c < 256; ++c) {
        value[c] = c >= '0' && c <= '9'   ? static_cast<signed char>(c - '0')
                   : c >= 'a' && c <= 'f' ? static_cast<signed char>(c - 'a' + 10)
                   : c >= 'A' && c <= 'F' ? static_cast<signed char>(c - 'A' + 10)
                                          : -1;
    }
    return value;
}();

int HexValue(char c) {
    return kHexValue[static_cast<unsigned char>(c)];
}

}  // namespace

namespace {

// Words by their lower-case text; a word longer than the longest is none of
// them and is not looked up at all.
template <typename Table>
struct Words {
    Table table;
    std::size_t longest = 0;
};

// The instructions of every core by their lower-case mnemonic.
const Words<std::unordered_map<std::string, OpInfo>>& Ops() {
    static const auto ops = [] {
        Words<std::unordered_map<std::string, OpInfo>> words;
        for (const isa::Core core :
             {isa::Core::Baseline, isa::Core::Midrange, isa::Core::Enhanced}) {
            for (const isa::Instruction& row : isa::Table(core)) {
                words.table.emplace(Lowered(row.mnemonic), OpInfo{row.form, row.flow});
                words.longest = std::max(words.longest, std::string_view(row.mnemonic).size());
            }
        }
        return words;
    }();
    return ops;
}

}  // namespace

const OpInfo* FindOp(std::string_view word) {
    const auto& ops = Ops();
    if (word.size() > ops.longest) {
        return nullptr;
    }
    const auto it = ops.table.find(Lowered(word));
    return it == ops.table.end() ? nullptr : &it->second;
}

bool IsDirective(std::string_view word) {
    static const Words<std::unordered_set<std::string>> directives = [] {
        Words<std::unordered_set<std::string>> words;
        words.table = {"org",      "equ",      "set",      "end",      "processor", "list",
                       "nolist",   "radix",    "__config", "__idlocs", "__badram",  "__maxram",
                       "config",   "dw",       "de",       "db",       "dt",        "data",
                       "fill",     "res",      "banksel",  "pagesel",  "bankisel",  "errorlevel",
                       "include",  "#include", "#define",  "cblock",   "endc",      "constant",
                       "variable", "code",     "udata",    "global",   "extern",    "if",
                       "ifdef",    "ifndef",   "else",     "endif",    "messg",     "title",
                       "subtitle", "space",    "page",     "expand",   "noexpand",  "macro",
                       "endm",     "local",    "high",     "low",      "upper"};
        for (const std::string& directive : words.table) {
            words.longest = std::max(words.longest, directive.size());
        }
        return words;
    }();
    return word.size() <= directives.longest && directives.table.count(Lowered(word)) != 0;
}

bool FileForm(isa::Form form) {
    return form == isa::Form::File || form == isa::Form::FileDest || form == isa::Form::FileBit;
}

bool TargetFlow(isa::Flow flow) {
    return flow == isa::Flow::Goto || flow == isa::Flow::Call || flow == isa::Flow::Branch;
}

RefKind KindOf(isa::Flow flow) {
    if (flow == isa::Flow::Call) {
        return RefKind::Call;
    }
    return TargetFlow(flow) ? RefKind::Jump : RefKind::Other;
}

// The value of a number as gpasm reads it with its default radix (hexadecimal),
// or -1.
long NumberValue(std::string_view text) {
    if (text.empty()) {
        return -1;
    }
    int base = 16;
    if (text.size() > 2 && text[0] == '0' && Lower(text[1]) == 'x') {
        text.remove_prefix(2);
    } else if (text[0] == '.') {
        base = 10;
        text.remove_prefix(1);
    } else if (text.size() >= 3 && text[1] == '\'' && text.back() == '\'') {
        switch (Lower(text[0])) {
            case 'b':
                base = 2;
                break;
            case 'd':
                base = 10;
                break;
            case 'o':
                base = 8;
                break;
            case 'h':
                break;
            case 'a':
                return text.size() == 4 ? static_cast<unsigned char>(text[2]) : -1;
            default:
                return -1;
        }
        text = text.substr(2, text.size() - 3);
    } else if (text[0] == '\'') {
        return text.size() == 3 && text[2] == '\'' ? static_cast<unsigned char>(text[1]) : -1;
    } else if (Lower(text.back()) == 'h') {
        text.remove_suffix(1);
    }
    if (text.empty() || text.size() > 8) {
        return -1;
    }
    long value = 0;
    for (const char c : text) {
        const int digit = HexValue(c);
        if (digit < 0 || digit >= base) {
            return -1;
        }
        value = value * base + digit;
    }
    return value;
}

namespace {

// Four hexadecimal digits that end the text.
bool EndsInFourHex(std::string_view text, std::size_t at) {
    return text.size() == at + 4 && std::all_of(text.begin() + static_cast<long>(at), text.end(),
                                                [](char c) { return HexValue(c) >= 0; });
}

}  // namespace

// Four hexadecimal digits standing alone: a word address in a comment.
bool IsFourHex(std::string_view text, std::size_t at) {
    if (at + 4 > text.size() || (at > 0 && IsIdentChar(text[at - 1]))) {
        return false;
    }
    return EndsInFourHex(text.substr(0, at + 4), at) &&
           (at + 4 == text.size() || !IsIdentChar(text[at + 4]));
}

unsigned FourHex(std::string_view text) {
    unsigned value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value = value * 16 + static_cast<unsigned>(HexValue(text[i]));
    }
    return value;
}

// "ad0123": the classic listing's label of a word address.
bool IsClassicLabel(std::string_view name) {
    return name.size() == 6 && name[0] == 'a' && name[1] == 'd' && EndsInFourHex(name, 2) &&
           std::none_of(name.begin() + 2, name.end(), [](char c) { return c >= 'a' && c <= 'f'; });
}

// "label_0123", "function_0123": the reconstructed source's generated labels.
bool IsSourceLabel(std::string_view name) {
    for (const std::string_view prefix :
         {std::string_view("label_"), std::string_view("function_")}) {
        if (name.size() == prefix.size() + 4 && name.substr(0, prefix.size()) == prefix &&
            EndsInFourHex(name, prefix.size())) {
            return true;
        }
    }
    return false;
}

// "ram_0A0": the reconstructed source's name of a data memory location; the
// location's address, or -1 for any other name.
long SourceRamAddress(std::string_view name) {
    constexpr std::string_view kPrefix = "ram_";
    if (name.size() != kPrefix.size() + 3 || name.substr(0, kPrefix.size()) != kPrefix) {
        return -1;
    }
    long value = 0;
    for (const char c : name.substr(kPrefix.size())) {
        if (HexValue(c) < 0 || (c >= 'a' && c <= 'f')) {
            return -1;
        }
        value = value * 16 + HexValue(c);
    }
    return value;
}

std::string HexText(const char* format, unsigned value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

namespace {

// Splits text [from, to) into note text and the pieces found inside it.
template <typename Inner>
void AddNote(LineScan& scan, std::size_t from, std::size_t to, Inner inner);

}  // namespace

void ScanLine(std::string_view line, Format format, LineScan& scan) {
    scan = LineScan{line, std::move(scan.pieces)};
    scan.pieces.clear();
    // room for the pieces of most lines at once, so that they do not grow one by one
    scan.pieces.reserve(16);

    // Where the comment starts: the first ';' outside quotes. A quoted text
    // is passed over whole; one never closed holds the rest of the line.
    // Found by memchr rather than character by character: most lines have
    // no quote, and every line is read so.
    const bool escapes = format == Format::Source;
    std::size_t commentAt = line.size();
    for (std::size_t from = 0;;) {
        const std::size_t semicolon = line.find(';', from);
        const std::size_t quote = std::min(line.find('\'', from), line.find('"', from));
        if (quote == std::string_view::npos || semicolon < quote) {
            commentAt = std::min(semicolon, line.size());
            break;
        }
        const std::size_t close = QuoteEnd(line, quote, escapes);
        if (close == std::string_view::npos) {
            break;
        }
        from = close + 1;
    }
    std::size_t end = commentAt;
    while (end > 0 && IsSpace(line[end - 1])) {
        --end;
    }
    scan.commentStart = static_cast<std::uint32_t>(commentAt);
    scan.commentOnly = end == 0;

    std::size_t i = 0;
    auto skipSpace = [&] {
        while (i < end && IsSpace(line[i])) {
            ++i;
        }
    };
    auto readIdent = [&](std::size_t from) {
        std::size_t j = from;
        while (j < end && IsIdentChar(line[j])) {
            ++j;
        }
        return j;
    };

    // A word in column 1 is a label or an EQU's name, unless it is a directive
    // standing there without a colon.
    if (end > 0 && IsIdentStart(line[0])) {
        const std::size_t nameEnd = readIdent(0);
        const bool colon = nameEnd < end && line[nameEnd] == ':';
        i = nameEnd + (colon ? 1 : 0);
        skipSpace();
        const std::size_t next = i < end && IsIdentStart(line[i]) ? readIdent(i) : i;
        const std::string_view second = line.substr(i, next - i);
        if (EqualNoCase(second, "equ") || EqualNoCase(second, "set")) {
            scan.equName = 0;
            scan.Add(0, nameEnd, PieceType::EquName);
        } else if (colon || !IsDirective(line.substr(0, nameEnd))) {
            scan.labelDef = 0;
            scan.Add(0, nameEnd, PieceType::LabelDef);
        } else {
            i = 0;
        }
        if (colon) {
            scan.Add(nameEnd, 1, PieceType::Punct);
        }
    }
    skipSpace();
    if (i < end && (IsIdentStart(line[i]) || line[i] == '#')) {
        const std::size_t wordEnd = readIdent(i + 1);
        scan.word = static_cast<int>(scan.pieces.size());
        scan.Add(i, wordEnd - i, PieceType::Word);
        const std::string_view word = line.substr(i, wordEnd - i);
        scan.op = FindOp(word);
        scan.directive = scan.op == nullptr && IsDirective(word);
        i = wordEnd;
    }
    int operand = 0;
    while (true) {
        skipSpace();
        if (i >= end) {
            break;
        }
        const char c = line[i];
        const std::size_t start = i;
        if (c == ',') {
            scan.Add(i++, 1, PieceType::Punct, operand++);
        } else if (IsIdentStart(c)) {
            if (i + 1 < end && line[i + 1] == '\'' &&
                std::string_view("bBdDhHoOaA").find(c) != std::string_view::npos) {
                i += 2;
                while (i < end && line[i] != '\'') {
                    ++i;
                }
                i = std::min(i + 1, end);
                scan.Add(start, i - start, PieceType::Number, operand);
            } else {
                i = readIdent(i);
                scan.Add(start, i - start, PieceType::Ident, operand);
            }
        } else if (IsDigit(c) || (c == '.' && i + 1 < end && IsDigit(line[i + 1]))) {
            ++i;
            while (i < end && IsIdentChar(line[i])) {
                ++i;
            }
            scan.Add(start, i - start, PieceType::Number, operand);
        } else if (c == '\'' || c == '"') {
            ++i;
            while (i < end && line[i] != c) {
                i += escapes && line[i] == '\\' ? 2 : 1;
            }
            i = std::min(i + 1, end);
            scan.Add(start, i - start, c == '\'' ? PieceType::Number : PieceType::Punct, operand);
        } else {
            ++i;
            scan.Add(start, 1, PieceType::Punct, operand);
        }
    }

    if (commentAt >= line.size()) {
        return;
    }
    std::size_t text = commentAt + 1;
    while (text < line.size() && IsSpace(line[text])) {
        ++text;
    }
    const std::string_view comment = line.substr(text);
    if (format == Format::Source) {
        if (!scan.commentOnly && IsFourHex(line, text) &&
            (comment.size() == 4 || comment[4] == ' ')) {
            scan.ownAddress = static_cast<int>(FourHex(comment));
            scan.Add(commentAt, text - commentAt, PieceType::Comment);
            scan.Add(text, 4, PieceType::OwnAddress);
            if (text + 4 < line.size()) {
                scan.Add(text + 4, line.size() - text - 4, PieceType::NoteText);
            }
            return;
        }
        if (StartsNoCase(comment, "called from") || StartsNoCase(comment, "jumped to from")) {
            scan.xref = true;
            AddNote(scan, commentAt, line.size(), [&](std::size_t at) {
                return IsFourHex(line, at) ? std::pair{std::size_t{4}, PieceType::XrefAddress}
                                           : std::pair{std::size_t{0}, PieceType::NoteText};
            });
            return;
        }
        for (const std::string_view note : {"reset vector", "interrupt vector", "not reached"}) {
            if (StartsNoCase(comment, note)) {
                scan.Add(commentAt, line.size() - commentAt, PieceType::NoteText);
                return;
            }
        }
    } else if (comment.substr(0, 3) == "???") {
        AddNote(scan, commentAt, line.size(), [&](std::size_t at) {
            if (!IsIdentStart(line[at]) || (at > 0 && IsIdentChar(line[at - 1]))) {
                return std::pair{std::size_t{0}, PieceType::NoteText};
            }
            std::size_t j = at;
            while (j < line.size() && IsIdentChar(line[j])) {
                ++j;
            }
            return std::pair{j - at, PieceType::NoteIdent};
        });
        return;
    }
    scan.Add(commentAt, line.size() - commentAt, PieceType::Comment);
}

namespace {

template <typename Inner>
void AddNote(LineScan& scan, std::size_t from, std::size_t to, Inner inner) {
    std::size_t plain = from;
    for (std::size_t at = from; at < to;) {
        const auto [length, type] = inner(at);
        if (length == 0) {
            ++at;
            continue;
        }
        if (at > plain) {
            scan.Add(plain, at - plain, PieceType::NoteText);
        }
        scan.Add(at, length, type);
        at += length;
        plain = at;
    }
    if (to > plain) {
        scan.Add(plain, to - plain, PieceType::NoteText);
    }
}

}  // namespace

}  // namespace tolvek::browse
