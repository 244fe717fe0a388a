// Jump-target labels and the duplicate-ROM notes of GOTO and CALL.
#pragma once

#include <array>
#include <bitset>
#include <cstring>

#include "decode/Operands.h"

namespace tolvek {

inline constexpr int kTargetTableSize = 3001;
// TestForDup succeeds only while the table holds at most this many labels when
// it is called.
inline constexpr int kTargetCapacity = 2995;

// The same place in every other 2048-word ROM page, in ascending order: fills
// alternatives and returns their number.
std::size_t PageAlternatives(int target, int romPages, std::array<int, 3>& alternatives);

// The longest page note.
inline constexpr std::size_t kMaxPageNote = 48;
// The page note written after a GOTO or CALL ("; ??? Duplicate ROM - " and the
// labels of the other pages) at out; returns the end of what was written (out
// when the chip has no other pages).
char* WritePageNote(char* out, int target, int romPages);

// The labels of the current run: every GOTO and CALL target and its page
// alternatives, each counted as it is added (a repeated alternative counts again).
class TargetTable {
  public:
    // Empties every entry; done when a run starts.
    void Clear();

    // Records the label of a target and its page alternatives; false when the
    // table is full.
    bool TestForDup(unsigned wordAddress, int target, int romPages);

    // The 12-character label column of a word, written at out: its label and six
    // blanks when the label is in the table, twelve blanks otherwise; returns out + 12.
    char* WriteLabelColumn(char* out, unsigned wordAddress) const {
        if (wordAddress < 65536 && present_.test(wordAddress)) {
            out = WriteTargetLabel(out, wordAddress);
            std::memset(out, ' ', 6);
            return out + 6;
        }
        std::memset(out, ' ', 12);
        return out + 12;
    }

  private:
    void Add(unsigned wordAddress);

    int count_ = 0;
    // Labels are "ad" plus four digits, so each label stands for one 16-bit address.
    std::bitset<65536> present_;
};

}  // namespace tolvek
