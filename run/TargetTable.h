// Jump-target labels and the duplicate-ROM notes of GOTO and CALL.
#pragma once

#include <array>
#include <bitset>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "decode/Label.h"

namespace tolvek {

inline constexpr int kTargetTableSize = 3001;
// TestForDup succeeds only while TargetCount is at most this when it is called.
inline constexpr int kTargetCapacity = 2995;

// Label of a word address: "ad" and four upper-case hexadecimal digits.
std::string TargetLabel(unsigned wordAddress);

// The same place in every other 2048-word ROM page, in ascending order.
std::vector<int> PageAlternatives(int target, int romPages);
// The same without allocating: fills alternatives and returns their number.
std::size_t PageAlternatives(int target, int romPages, std::array<int, 3>& alternatives);

// Page note written after a GOTO or CALL; empty when the chip has no other pages.
std::string PageNote(int target, int romPages);
// The longest page note.
inline constexpr std::size_t kMaxPageNote = 48;
// The same, written at out; returns the end of what was written (out when none).
char* WritePageNote(char* out, int target, int romPages);

class TargetTable {
  public:
    TargetTable();

    // Empties every entry; done when a run starts.
    void Clear();

    // Records a target and its page alternatives; false when the table is full.
    bool TestForDup(std::string_view label, int target, int romPages);
    // The same for the label of a word address ("ad" and its four digits).
    bool TestForDup(unsigned wordAddress, int target, int romPages);

    // The 12-character label column of a word: its label and six blanks when the
    // label is in the table, twelve blanks otherwise.
    std::string ScanGotoCalls(std::string_view label) const;
    // The same, for a word address, appended to out.
    void AppendLabelColumn(std::string& out, unsigned wordAddress) const;
    // The same, written at out; returns out + 12.
    char* WriteLabelColumn(char* out, unsigned wordAddress) const {
        if (wordAddress < 65536 && present_.test(wordAddress)) {
            out = WriteTargetLabel(out, wordAddress);
            std::memset(out, ' ', 6);
            return out + 6;
        }
        std::memset(out, ' ', 12);
        return out + 12;
    }

    int TargetCount() const { return count_; }
    const std::string& Entry(int index) const { return entries_[static_cast<std::size_t>(index)]; }

  private:
    void Store(std::string_view label);
    void StoreAddress(unsigned wordAddress);

    // Entries in the order they were added; alternatives may repeat a label.
    std::vector<std::string> entries_;
    int count_ = 0;
    // Labels are "ad" plus four digits, so each stored label stands for one
    // 16-bit address: this index answers both searches in one step.
    std::bitset<65536> present_;
    // Labels that are not of that form (none arise from the decoders).
    std::vector<std::string> other_;
};

}  // namespace tolvek
