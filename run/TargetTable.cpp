#include "run/TargetTable.h"

#include <algorithm>
#include <cstring>

#include "base/Conversions.h"

namespace tolvek {

namespace {

constexpr std::size_t kLabelLength = 6;

// Address of a label of the form "ad" + four upper-case hexadecimal digits, or -1.
int LabelAddress(std::string_view label) {
    if (label.size() != kLabelLength || label[0] != 'a' || label[1] != 'd') {
        return -1;
    }
    int value = 0;
    for (std::size_t i = 2; i < kLabelLength; ++i) {
        const char c = label[i];
        // lower-case digits make another text, so they cannot match a computed label
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) {
            return -1;
        }
        value = value * 16 + ASCIIToDec(c);
    }
    return value;
}

}  // namespace

std::string TargetLabel(unsigned wordAddress) {
    std::string label;
    AppendTargetLabel(label, wordAddress);
    return label;
}

std::size_t PageAlternatives(int t, int romPages, std::array<int, 3>& alternatives) {
    if (romPages == 2) {
        alternatives[0] = t < 2048 ? t + 2048 : t - 2048;
        return 1;
    }
    if (romPages == 4) {
        if (t < 2048) {
            alternatives = {t + 2048, t + 4096, t + 6144};
        } else if (t < 4096) {
            alternatives = {t - 2048, t + 2048, t + 4096};
        } else if (t < 6144) {
            alternatives = {t - 4096, t - 2048, t + 2048};
        } else {
            alternatives = {t - 6144, t - 4096, t - 2048};
        }
        return 3;
    }
    return 0;
}

std::vector<int> PageAlternatives(int t, int romPages) {
    std::array<int, 3> alternatives{};
    const std::size_t count = PageAlternatives(t, romPages, alternatives);
    return {alternatives.begin(), alternatives.begin() + static_cast<std::ptrdiff_t>(count)};
}

char* WritePageNote(char* out, int target, int romPages) {
    static constexpr std::string_view kLead = "; ??? Duplicate ROM - ";
    std::array<int, 3> alternatives{};
    const std::size_t count = PageAlternatives(target, romPages, alternatives);
    if (count == 0) {
        return out;
    }
    std::memcpy(out, kLead.data(), kLead.size());
    out += kLead.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) {
            *out++ = ',';
            *out++ = ' ';
        }
        out = WriteTargetLabel(out, static_cast<unsigned>(alternatives[i]) & 0xFFFF);
    }
    return out;
}

std::string PageNote(int target, int romPages) {
    char note[kMaxPageNote];
    return std::string(note, WritePageNote(note, target, romPages));
}

TargetTable::TargetTable() {
    entries_.reserve(kTargetTableSize);
}

void TargetTable::Clear() {
    entries_.clear();
    count_ = 0;
    present_.reset();
    other_.clear();
}

void TargetTable::Store(std::string_view label) {
    entries_.emplace_back(label.substr(0, kLabelLength));
    ++count_;
    const int address = LabelAddress(entries_.back());
    if (address >= 0) {
        present_.set(static_cast<std::size_t>(address));
    } else {
        other_.push_back(entries_.back());
    }
}

void TargetTable::StoreAddress(unsigned wordAddress) {
    entries_.emplace_back();
    AppendTargetLabel(entries_.back(), wordAddress);
    ++count_;
    present_.set(wordAddress);
}

bool TargetTable::TestForDup(unsigned wordAddress, int target, int romPages) {
    // the same steps as for the label of wordAddress, without reading the label back
    if (count_ > kTargetCapacity) {
        return false;
    }
    wordAddress &= 0xFFFF;
    if (present_.test(wordAddress)) {
        return true;
    }
    StoreAddress(wordAddress);
    std::array<int, 3> alternatives{};
    const std::size_t count = PageAlternatives(target, romPages, alternatives);
    for (std::size_t i = 0; i < count; ++i) {
        StoreAddress(static_cast<unsigned>(alternatives[i]) & 0xFFFF);
    }
    return true;
}

bool TargetTable::TestForDup(std::string_view label, int target, int romPages) {
    // the capacity test comes first: a full table refuses even a known target
    if (count_ > kTargetCapacity) {
        return false;
    }
    const int address = LabelAddress(label);
    const bool known = address >= 0
                           ? present_.test(static_cast<std::size_t>(address))
                           : std::find(other_.begin(), other_.end(), label) != other_.end();
    if (known) {
        return true;
    }
    Store(label);
    std::array<int, 3> alternatives{};
    const std::size_t count = PageAlternatives(target, romPages, alternatives);
    std::string alternativeLabel;
    for (std::size_t i = 0; i < count; ++i) {
        alternativeLabel.clear();
        AppendTargetLabel(alternativeLabel, static_cast<unsigned>(alternatives[i]) & 0xFFFF);
        Store(alternativeLabel);
    }
    return true;
}

std::string TargetTable::ScanGotoCalls(std::string_view label) const {
    const int address = LabelAddress(label);
    const bool known = address >= 0
                           ? present_.test(static_cast<std::size_t>(address))
                           : std::find(other_.begin(), other_.end(), label) != other_.end();
    std::string column(label.substr(0, known ? label.size() : 0));
    column.resize(known ? label.size() + 6 : 12, ' ');
    return column;
}

void TargetTable::AppendLabelColumn(std::string& out, unsigned wordAddress) const {
    char column[12];
    WriteLabelColumn(column, wordAddress);
    out.append(column, 12);
}

}  // namespace tolvek
