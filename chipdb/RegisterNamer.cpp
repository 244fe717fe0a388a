#include "chipdb/RegisterNamer.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "base/Conversions.h"
#include "base/SlackCopy.h"
#include "chipdb/TextBuffer.h"

namespace tolvek {

namespace {

constexpr std::size_t kMaxName = 20;
constexpr std::string_view kRamPageLead = "; ??? RAM Page ";
constexpr std::array<std::string_view, 4> kPagePrefixes = {"#0,", "#1,", "#2,", "#3,"};

// Value of the text after a ";" when it is the key text of some register
// address: one or two upper-case hexadecimal digits without a leading zero
// (0 to 7F on pages 0 and 2, 80 to FF on pages 1 and 3). -1 for any other text.
int KeyValue(std::string_view text) {
    const auto digit = [](char c) {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'A' && c <= 'F') {
            return c - 'A' + 10;
        }
        return -1;
    };
    if (text.size() == 1) {
        return digit(text[0]);
    }
    if (text.size() == 2 && text[0] != '0') {
        const int high = digit(text[0]);
        const int low = digit(text[1]);
        return high < 0 || low < 0 ? -1 : high * 16 + low;
    }
    return -1;
}

}  // namespace

void RegisterNamer::Build(const std::vector<std::string>& chipInfo) {
    lines_ = chipInfo;
    built_ = true;
    bitLines_.clear();
    bitLines_.reserve(lines_.size());
    pageSlots_.assign(4 * kAddresses, 0);
    names_.clear();
    names_.reserve(kAddresses);
    slots_.fill(0);
    operands_.clear();  // given its room by the first operand made
    store_.clear();
    storeUsed_ = 0;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const std::string_view line = lines_[i];
        for (int page = 0; page < 4; ++page) {
            if (line.starts_with(kPagePrefixes[static_cast<std::size_t>(page)])) {
                IndexRamLine(page, line);
            }
        }
        const std::size_t percent = line.find('%');
        if (percent != std::string::npos) {
            const std::string_view rest = line.substr(percent + 1);
            bitLines_.emplace_back(i, rest.substr(0, rest.find(',')).substr(0, kMaxName));
        }
    }
    for (PageName& hit : names_) {
        if (!hit.name.empty()) {
            FindBitLine(hit, hit.page + 1u);
        }
    }
}

const RegisterNamer::PageName& RegisterNamer::Page(std::size_t page, unsigned address) const {
    static const PageName kNone;
    const std::uint16_t slot = pageSlots_.empty() ? 0 : pageSlots_[page * kAddresses + address];
    return slot == 0 ? kNone : names_[slot - 1u];
}

// Every ";" whose text up to the next "," (or the line's end) is a key names
// the register before it; the first line and the first place that does wins.
void RegisterNamer::IndexRamLine(int page, std::string_view line) {
    const bool highKeys = page == 1 || page == 3;
    for (std::size_t semicolon = line.find(';'); semicolon != std::string_view::npos;
         semicolon = line.find(';', semicolon + 1)) {
        const std::size_t end = line.find(',', semicolon + 1);
        const std::string_view key =
            line.substr(semicolon + 1, end == std::string_view::npos ? end : end - semicolon - 1);
        const int value = KeyValue(key);
        if (value < 0 || (value >= static_cast<int>(kAddresses)) != highKeys) {
            continue;
        }
        std::uint16_t& slot = pageSlots_[static_cast<std::size_t>(page) * kAddresses +
                                         static_cast<unsigned>(value) % kAddresses];
        if (slot != 0) {
            continue;
        }
        const std::size_t comma = line.rfind(',', semicolon);
        const std::size_t start = comma == std::string_view::npos ? 0 : comma + 1;
        PageName hit;
        hit.found = true;
        hit.name = line.substr(start, semicolon - start).substr(0, kMaxName);
        hit.page = static_cast<std::uint8_t>(page);
        names_.push_back(hit);
        slot = static_cast<std::uint16_t>(names_.size());
    }
}

void RegisterNamer::FindBitLine(PageName& hit, std::size_t startLine) const {
    hit.noLines = startLine >= lines_.size();
    for (const auto& [index, name] : bitLines_) {
        if (index >= startLine && name == hit.name) {
            hit.bitLine = static_cast<int>(index);
            return;
        }
    }
}

void RegisterNamer::PutBitPart(TextBuffer& out, const PageName& hit, int bit) const {
    if (bit == kNoBit || hit.noLines) {
        return;
    }
    out.Append(',');
    if (hit.bitLine < 0) {
        out.Append(static_cast<char>('0' + bit));
        return;
    }
    // the name of bit b follows the line's (b+1)-th ","
    const std::string_view line = lines_[static_cast<std::size_t>(hit.bitLine)];
    std::size_t from = 0;
    for (int n = 0; n <= bit; ++n) {
        const std::size_t comma = line.find(',', from);
        if (comma == std::string_view::npos) {
            return;  // fewer names than the bit needs
        }
        from = comma + 1;
    }
    const std::size_t next = line.find(',', from);
    const std::string_view name =
        line.substr(from, next == std::string_view::npos ? next : next - from);
    if (name == "?") {
        out.Append(static_cast<char>('0' + bit));
    } else {
        out.Append(name);
    }
}

void RegisterNamer::OperandTexts(unsigned address, int bit, TextBuffer& text,
                                 TextBuffer& note) const {
    const PageName& page0 = Page(0, address);
    if (page0.found && !page0.name.empty()) {
        text.Append(page0.name);
        PutBitPart(text, page0, bit);
    } else {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        text.Append("0x");
        text.Append(kDigits[(address >> 4) & 15]);
        text.Append(kDigits[address & 15]);
        if (bit != kNoBit) {
            text.Append(',');
            text.Append(static_cast<char>('0' + bit));
        }
    }
    for (std::size_t page = 1; page < 4; ++page) {
        const PageName& hit = Page(page, address);
        if (!hit.found || hit.name.empty()) {
            continue;
        }
        note.Append(note.Empty() ? kRamPageLead : std::string_view(" / "));
        note.Append(hit.name);
        PutBitPart(note, hit, bit);
    }
}

RegisterNamer::Kept RegisterNamer::Keep(std::string_view text, std::string_view note) {
    // Texts lie one after the other: a text's slack is the start of the next,
    // and each block keeps kSlack bytes at its end for the last. Packed so,
    // the texts of a whole chip take a third of the pages they would each with
    // slack of its own, and every page is a page fault when it is first used.
    constexpr std::size_t kBlock = 4096;  // more than the longest text and note and slack
    const std::size_t size = text.size() + note.size();
    if (store_.empty() || storeUsed_ + size + kSlack > kBlock) {
        store_.push_back(std::make_unique<char[]>(kBlock));
        storeUsed_ = 0;
    }
    char* const kept = store_.back().get() + storeUsed_;
    std::memcpy(kept, text.data(), text.size());
    std::memcpy(kept + text.size(), note.data(), note.size());
    storeUsed_ += size;
    return {kept, static_cast<std::uint16_t>(text.size()), static_cast<std::uint16_t>(note.size())};
}

const RegisterNamer::Kept& RegisterNamer::MakeOperand(unsigned address, int bit) {
    if (operands_.capacity() < slots_.size()) {
        operands_.reserve(slots_.size());
    }
    TextBuffer text;
    TextBuffer note;
    OperandTexts(address, bit, text, note);
    const Kept kept = Keep(text.Text(), note.Text());
    operands_.push_back(kept);
    slots_[static_cast<std::size_t>(bit + 1) * kAddresses + address] =
        static_cast<std::uint16_t>(operands_.size());
    return operands_.back();
}

}  // namespace tolvek
