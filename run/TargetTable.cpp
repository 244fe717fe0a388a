#include "run/TargetTable.h"

#include <string_view>

namespace tolvek {

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
