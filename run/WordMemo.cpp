#include "run/WordMemo.h"

namespace tolvek {

void WordMemo::NewPass() {
    texts_.clear();
    ++pass_;
}

void WordMemo::Store(int key, const DecodedWord& decoded) {
    if (entries_.empty()) {
        entries_.resize(kKeys);  // not before the first word worth remembering
    }
    Entry& entry = entries_[static_cast<std::size_t>(key)];
    entry.pass = pass_;
    entry.textOffset = static_cast<std::uint32_t>(texts_.size());
    texts_ += decoded.text;
    texts_.append(kSlack, '\0');
    texts_ += decoded.ramPageNote;
    texts_.append(kSlack, '\0');
    entry.textSize = static_cast<std::uint16_t>(decoded.text.size());
    entry.noteSize = static_cast<std::uint16_t>(decoded.ramPageNote.size());
    entry.jumpTarget = static_cast<std::int16_t>(decoded.jumpTarget);
    entry.flags = static_cast<std::uint8_t>((decoded.skipLine ? kSkipLine : 0) |
                                            (decoded.pageNote ? kPageNote : 0) |
                                            (decoded.blankAfter ? kBlankAfter : 0));
}

}  // namespace tolvek
