// The listing header: processor line and the chip's register and bit EQU blocks.
#include <array>

#include "base/Conversions.h"
#include "chipdb/ChipData.h"

namespace tolvek {

// Where the header's lines go: a list of lines, or one text with a line end
// after each (which a listing writes in one piece). A line is built where
// Line() says, then Add() ends it, cut to kMaxText characters: in the text
// itself, or in one scratch text that is copied out to the list.
class HeaderLines {
  public:
    explicit HeaderLines(std::vector<std::string>& lines) : lines_(&lines), text_(&scratch_) {}
    HeaderLines(std::string& text, std::string_view lineEnd) : text_(&text), lineEnd_(lineEnd) {}

    // The text the next line is appended to.
    std::string& Line() {
        if (lines_ != nullptr) {
            scratch_.clear();
        }
        start_ = text_->size();
        return *text_;
    }
    // Ends the line begun with Line().
    void Add() {
        if (text_->size() - start_ > kMaxText) {
            text_->resize(start_ + kMaxText);
        }
        if (lines_ != nullptr) {
            lines_->push_back(scratch_);
        } else {
            text_->append(lineEnd_);
        }
    }
    void Add(std::string_view line) {
        Line().append(line);
        Add();
    }

  private:
    std::vector<std::string>* lines_ = nullptr;
    std::string scratch_;
    std::string* text_;
    std::string_view lineEnd_;
    std::size_t start_ = 0;
};

namespace {

constexpr std::size_t kNameColumn = 12;

void AppendPadded(std::string& out, std::string_view name) {
    out += name;
    if (name.size() < kNameColumn) {
        out.append(kNameColumn - name.size(), ' ');
    }
}

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
        std::string& text = head.Line();
        AppendPadded(text, line.substr(position, semicolon - position));
        text += page < 2 ? " EQU 0x00" : " EQU 0x01";
        const std::size_t at = semicolon + 1;
        const char after = at + 1 < line.size() ? line[at + 1] : '\0';
        if (after == ',' || after == '>' || after == '\0') {
            text += '0';
            text += line[at];
            position = at + 2;
        } else {
            text += line.substr(at, 2);
            position = at + 3;
        }
        head.Add();
    }
}

void BitData(std::string_view line, HeaderLines& head) {
    const std::size_t percent = line.find('%');
    const std::size_t nameStart = percent == std::string_view::npos ? 0 : percent + 1;
    const std::size_t comma = line.find(',', nameStart);
    const std::string_view name =
        line.substr(nameStart, comma == std::string_view::npos ? comma : comma - nameStart);
    head.Add(";");
    std::string& title = head.Line();
    title += "; ";
    title += name;
    title += " bits";
    head.Add();
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
            std::string& text = head.Line();
            AppendPadded(text, bitName);
            if (bitName.size() >= kNameColumn) {
                text += ' ';
            }
            text += "EQU 0";
            AppendDecimal(text, bit);
            text += 'h';
            head.Add();
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
    // about twice the section's size: an EQU line for each name
    std::size_t size = 0;
    for (const std::string& line : ChipInfo) {
        size += line.size();
    }
    text.reserve(text.size() + 2 * size + 256);
    HeaderLines head(text, lineEnd);
    WriteHeader(head);
}

void ChipState::WriteHeader(HeaderLines& head) const {
    head.Add(";");
    head.Add("; ******* Quorvel *******");
    head.Add(";");
    std::string& list = head.Line();
    list += "         LIST   P=PIC";
    list += ChipName;
    head.Add();
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
                std::string& title = head.Line();
                title += "; RAM Page 0 Registers";
                title[title.size() - 11] = static_cast<char>('0' + page);
                head.Add();
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
