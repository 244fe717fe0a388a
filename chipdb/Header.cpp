// The listing header: processor line and the chip's register and bit EQU blocks.
#include <array>

#include "base/Conversions.h"
#include "chipdb/ChipData.h"

namespace tolvek {

namespace {

constexpr std::size_t kNameColumn = 12;

void AddLine(std::vector<std::string>& head, std::string line) {
    CutText(line);
    head.push_back(std::move(line));
}

std::string PadName(std::string_view name) {
    std::string padded(name);
    if (padded.size() < kNameColumn) {
        padded.append(kNameColumn - padded.size(), ' ');
    }
    return padded;
}

}  // namespace

void ExtractRamData(std::string_view line, int page, std::vector<std::string>& head) {
    if (line.size() <= 3) {
        return;
    }
    std::size_t position = 3;
    while (position < line.size()) {
        const std::size_t semicolon = line.find(';', position);
        if (semicolon == std::string_view::npos || semicolon + 1 >= line.size()) {
            return;  // an entry without an address has no EQU line
        }
        const std::string_view name = line.substr(position, semicolon - position);
        const std::size_t at = semicolon + 1;
        std::string address;
        const char after = at + 1 < line.size() ? line[at + 1] : '\0';
        if (after == ',' || after == '>' || after == '\0') {
            address = "0";
            address += line[at];
            position = at + 2;
        } else {
            address = std::string(line.substr(at, 2));
            position = at + 3;
        }
        AddLine(head, PadName(name) + " EQU " + (page < 2 ? "0x00" : "0x01") + address);
    }
}

void ExtractBitData(std::string_view line, std::vector<std::string>& head) {
    const std::size_t percent = line.find('%');
    const std::size_t nameStart = percent == std::string_view::npos ? 0 : percent + 1;
    const std::size_t comma = line.find(',', nameStart);
    const std::string_view name =
        line.substr(nameStart, comma == std::string_view::npos ? comma : comma - nameStart);
    AddLine(head, ";");
    AddLine(head, "; " + std::string(name) + " bits");
    AddLine(head, ";");
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
            std::string text =
                bitName.size() >= kNameColumn ? std::string(bitName) + " " : PadName(bitName);
            text += "EQU 0";
            AppendDecimal(text, bit);
            text += 'h';
            AddLine(head, std::move(text));
        }
        if (end == std::string_view::npos || end + 1 >= line.size()) {
            break;  // a "," at the very end adds no further name
        }
        start = end + 1;
    }
}

std::vector<std::string> ChipState::ProduceHeader() const {
    std::vector<std::string> head;
    AddLine(head, ";");
    AddLine(head, "; ******* Quorvel *******");
    AddLine(head, ";");
    AddLine(head, "         LIST   P=PIC" + ChipName);
    AddLine(head, ";");
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
                AddLine(head, ";");
                AddLine(head, "; RAM Page " + std::to_string(page) + " Registers");
                AddLine(head, ";");
            }
            ExtractRamData(line, page, head);
        } else if (line.find('%') != std::string_view::npos) {
            ExtractBitData(line, head);
        }
    }
    AddLine(head, ";");
    AddLine(head, ";");
    return head;
}

}  // namespace tolvek
