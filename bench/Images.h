// Program images and chip data for the benchmarks, made in memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tolvek::bench {

// Jump targets of the 8K-word image: with four ROM pages each takes four
// entries, and 749 of them fill the target table to its last entry.
inline constexpr int kFullTableTargets = 749;

// 14-bit program words filling a 16F877A (8192 words): every instruction of the
// core, register operands all over the 128 addresses and bits, and GOTO and CALL
// to `targets` places spread over the four pages. The last target is named only
// by the last word, since a full table refuses every jump after it.
std::vector<std::uint16_t> MakeProgram14(int words = 8192, int targets = kFullTableTargets);

// The words as a reconstructed source would show them: labels with their
// cross-references, every word's line ending in its address.
std::string MakeSource14(const std::vector<std::uint16_t>& words);

// INHX8M text of the words, 16 bytes a record, "\n" line ends, with the
// end-of-file record. Records run on from address 0; after the 14-bit
// program memory's 16K bytes the addresses start again at 0.
std::string MakeHex(const std::vector<std::uint16_t>& words, long records = -1);

// Chip data with the chip-naming sections (16F877A, 16C57 among them): the
// shipped data/chipdat.txt when it holds 16F877A, else the test copy.
std::string ChipDataPath();
// A chip data file of `sections` sections modelled on the 16F877A section.
std::string MakeLargeChipData(int sections);

// Writes text to a file under the temporary directory and returns its path.
std::string WriteTempFile(const std::string& name, const std::string& text);

}  // namespace tolvek::bench
