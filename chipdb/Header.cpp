// The listing header: processor line and the chip's register and bit EQU blocks.
#include <array>

#include "base/Conversions.h"
#include "base/ListingFile.h"
#include "chipdb/ChipData.h"
#include "chipdb/TextBuffer.h"

namespace tolvek {

namespace {

constexpr std::size_t kNameColumn = 12;

// The name and blanks up to the EQU column.
void AppendPadded(TextBuffer& text, std::string_view name) {
    text.Append(name);
    if (name.size() < kNameColumn) {
        text.Append(std::string_view("            ", kNameColumn - name.size()));
    }
}

}  // namespace

// Where the header's lines go: a list of lines, one text with a line end
// after each (which a listing writes in one piece), or a listing; each line cut
// to kMaxText characters.
class HeaderLines {
  public:
    explicit HeaderLines(std::vector<std::string>& lines) : lines_(&lines) {}
    HeaderLines(std::string& text, std::string_view lineEnd) : text_(&text), lineEnd_(lineEnd) {}
    explicit HeaderLines(ListingFile& listing) : listing_(&listing) {}

    void Add(std::string_view line) {
        line = line.substr(0, kMaxText);
        if (lines_ != nullptr) {
            lines_->emplace_back(line);
        } else if (listing_ != nullptr) {
            listing_->WriteLine(line);
        } else {
            text_->append(line).append(lineEnd_);
        }
    }
    // A line built in a buffer: one copy into the text.
    void Add(TextBuffer& line) {
        if (text_ != nullptr) {
            text_->append(line.Ended(lineEnd_));
        } else {
            Add(line.Text());
        }
    }

  private:
    std::vector<std::string>* lines_ = nullptr;
    std::string* text_ = nullptr;
    ListingFile* listing_ = nullptr;
    std::string_view lineEnd_;
};

namespace {

void RamData(std::string_view line, int page, HeaderLines& head) {
    if (line.size() <= 3) {
        return;
    }
    std::size_t position = 3;
    while (position < line.size()) {
        const std::size_t semicolon = line.find(';', position);
        if (semicolon == std::string_view::npos || semicolon + 1 >= line.size()) {
            return;  // an entry without an address has no EQU line
        }
        TextBuffer text;
        AppendPadded(text, line.substr(position, semicolon - position));
        text.Append(page < 2 ? " EQU 0x00" : " EQU 0x01");
        const std::size_t at = semicolon + 1;
        const char after = at + 1 < line.size() ? line[at + 1] : '\0';
        if (after == ',' || after == '>' || after == '\0') {
            text.Append('0');
            text.Append(line[at]);
            position = at + 2;
        } else {
            text.Append(line.substr(at, 2));
            position = at + 3;
        }
        head.Add(text);
    }
}

void BitData(std::string_view line, HeaderLines& head) {
    const std::size_t percent = line.find('%');
    const std::size_t nameStart = percent == std::string_view::npos ? 0 : percent + 1;
    const std::size_t comma = line.find(',', nameStart);
    const std::string_view name =
        line.substr(nameStart, comma == std::string_view::npos ? comma : comma - nameStart);
    head.Add(";");
    TextBuffer title;
    title.Append("; ");
    title.Append(name);
    title.Append(" bits");
    head.Add(title);
    head.Add(";");
    if (comma == std::string_view::npos || comma + 1 >= line.size()) {
        return;
    }
    std::size_t start = comma + 1;
    for (long bit = 0; start <= line.size(); ++bit) {
        const std::size_t end = line.find(',', start);
        const std::string_view bitName =
            line.substr(start, end == std::string_view::npos ? end : end - start);
        if (bitName.empty() || bitName.front() != '?') {
            // a long name keeps one blank before EQU, so the line still assembles
            TextBuffer text;
            AppendPadded(text, bitName);
            if (bitName.size() >= kNameColumn) {
                text.Append(' ');
            }
            text.Append("EQU 0");
            text.AppendNumber(bit);
            text.Append('h');
            head.Add(text);
        }
        if (end == std::string_view::npos || end + 1 >= line.size()) {
            break;  // a "," at the very end adds no further name
        }
        start = end + 1;
    }
}

}  // namespace

void ExtractRamData(std::string_view line, int page, std::vector<std::string>& head) {
    HeaderLines lines(head);
    RamData(line, page, lines);
}

void ExtractBitData(std::string_view line, std::vector<std::string>& head) {
    HeaderLines lines(head);
    BitData(line, lines);
}

std::vector<std::string> ChipState::ProduceHeader() const {
    std::vector<std::string> lines;
    HeaderLines head(lines);
    WriteHeader(head);
    return lines;
}

void ChipState::AppendHeader(std::string& text, std::string_view lineEnd) const {
    // room for all at once: an EQU line of some 20 characters for each name
    // of some 5 in the section
    std::size_t size = 0;
    for (const std::string& line : ChipInfo) {
        size += line.size();
    }
    text.reserve(text.size() + 5 * size + 256);
    HeaderLines head(text, lineEnd);
    WriteHeader(head);
}

void ChipState::WriteHeaderTo(ListingFile& listing) const {
    HeaderLines head(listing);
    WriteHeader(head);
}

void ChipState::WriteHeader(HeaderLines& head) const {
    head.Add(";");
    head.Add("; ******* Quorvel *******");
    head.Add(";");
    TextBuffer list;
    list.Append("         LIST   P=PIC");
    list.Append(ChipName);
    head.Add(list);
    head.Add(";");
    static constexpr std::array<const char*, 4> kPageMarks = {"#0", "#1", "#2", "#3"};
    std::array<bool, 4> titled{};
    for (const std::string& whole : ChipInfo) {
        const std::string_view line = std::string_view(whole).substr(0, kMaxText);
        int page = -1;
        for (int p = 0; p < 4 && page < 0; ++p) {
            if (line.find(kPageMarks[static_cast<std::size_t>(p)]) != std::string_view::npos) {
                page = p;
            }
        }
        if (page >= 0) {
            if (!titled[static_cast<std::size_t>(page)]) {
                titled[static_cast<std::size_t>(page)] = true;
                head.Add(";");
                TextBuffer title;
                title.Append("; RAM Page ");
                title.Append(static_cast<char>('0' + page));
                title.Append(" Registers");
                head.Add(title);
                head.Add(";");
            }
            RamData(line, page, head);
        } else if (line.find('%') != std::string_view::npos) {
            BitData(line, head);
        }
    }
    head.Add(";");
    head.Add(";");
}

}  // namespace tolvek
