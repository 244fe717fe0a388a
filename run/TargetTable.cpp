#include "run/TargetTable.h"

#include <string_view>

namespace tolvek {

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

void TargetTable::Clear() {
    count_ = 0;
    present_.fill(0);
}

void TargetTable::Add(unsigned wordAddress) {
    ++count_;
    present_[wordAddress >> 6] |= std::uint64_t{1} << (wordAddress & 63);
}

bool TargetTable::TestForDup(unsigned wordAddress, int target, int romPages) {
    // the capacity test comes first: a full table refuses even a known target
    if (count_ > kTargetCapacity) {
        return false;
    }
    wordAddress &= 0xFFFF;
    if (Test(wordAddress) != 0) {
        return true;
    }
    Add(wordAddress);
    std::array<int, 3> alternatives{};
    const std::size_t count = PageAlternatives(target, romPages, alternatives);
    for (std::size_t i = 0; i < count; ++i) {
        Add(static_cast<unsigned>(alternatives[i]) & 0xFFFF);
    }
    return true;
}

}  // namespace tolvek
