#include "run/WordMemo.h"

namespace tolvek {

void WordMemo::NewPass() {
    texts_.clear();
    accepted_.reset();
    ++pass_;
}

void WordMemo::Store(int key, const Decoded& decoded) {
    if (entries_.empty()) {
        entries_.resize(kKeys);  // not before the first word worth remembering
    }
    Entry& entry = entries_[static_cast<std::size_t>(key)];
    entry.pass = pass_;
    entry.textOffset = static_cast<std::uint32_t>(texts_.size());
    texts_ += decoded.text;
    texts_ += decoded.RamPageNote;
    entry.textSize = static_cast<std::uint16_t>(decoded.text.size());
    entry.noteSize = static_cast<std::uint16_t>(decoded.RamPageNote.size());
    entry.jumpTarget = static_cast<std::int16_t>(decoded.JumpTarget);
    entry.flags = static_cast<std::uint8_t>((decoded.SkipLineFlag ? kSkipLine : 0) |
                                            (decoded.PageNoteFlag ? kPageNote : 0) |
                                            (decoded.BlankAfterFlag ? kBlankAfter : 0));
}

}  // namespace tolvek
