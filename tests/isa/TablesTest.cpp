// The instruction tables against themselves: where two rows overlap, the order
// decides, so the narrower row must come first and no row may be hidden
// entirely by the rows before it.
#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <vector>

#include "isa/Isa.h"

namespace tolvek::isa {
namespace {

int FixedBits(const Instruction& row) {
    return std::popcount(static_cast<unsigned>(row.pattern.Mask()));
}

// Which row is the first match of each word, the rows of scope Listing read or not.
std::vector<int> FirstMatches(Core core, bool listing) {
    const std::span<const Instruction> rows = Table(core);
    std::vector<int> first(1u << WordBits(core), -1);
    for (unsigned word = 0; word < first.size(); ++word) {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if ((listing || rows[i].scope != Scope::Listing) && rows[i].pattern.Matches(word)) {
                first[word] = static_cast<int>(i);
                break;
            }
        }
    }
    return first;
}

TEST(Tables, EveryRowDecidesSomeWord) {
    for (const Core core : {Core::Baseline, Core::Midrange, Core::Enhanced}) {
        const std::span<const Instruction> rows = Table(core);
        // the listing reads the baseline and midrange tables with their Listing rows
        for (const bool listing : {false, true}) {
            if (listing && core == Core::Enhanced) {
                continue;
            }
            std::vector<int> words(rows.size());
            for (const int row : FirstMatches(core, listing)) {
                if (row >= 0) {
                    ++words[static_cast<std::size_t>(row)];
                }
            }
            for (std::size_t i = 0; i < rows.size(); ++i) {
                if (listing || rows[i].scope != Scope::Listing) {
                    EXPECT_GT(words[i], 0) << CoreName(core) << " row " << i << " "
                                           << rows[i].mnemonic << " " << rows[i].pattern.Text();
                }
            }
        }
    }
}

TEST(Tables, OfTwoOverlappingRowsTheNarrowerComesFirst) {
    for (const Core core : {Core::Baseline, Core::Midrange, Core::Enhanced}) {
        const std::span<const Instruction> rows = Table(core);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            for (std::size_t j = i + 1; j < rows.size(); ++j) {
                const Pattern& a = rows[i].pattern;
                const Pattern& b = rows[j].pattern;
                // two patterns overlap where their fixed bits agree
                const unsigned both = a.Mask() & b.Mask();
                if ((a.Value() & both) != (b.Value() & both)) {
                    continue;
                }
                EXPECT_GE(FixedBits(rows[i]), FixedBits(rows[j]))
                    << CoreName(core) << ": " << rows[i].mnemonic << " " << a.Text()
                    << " stands before " << rows[j].mnemonic << " " << b.Text();
            }
        }
    }
}

// The listing's rows read only words the datasheet leaves undefined.
TEST(Tables, ListingRowsDecideOnlyWordsWithoutAnInstruction) {
    for (const Core core : {Core::Baseline, Core::Midrange}) {
        const std::vector<int> defined = FirstMatches(core, false);
        const std::vector<int> listing = FirstMatches(core, true);
        const std::span<const Instruction> rows = Table(core);
        for (unsigned word = 0; word < listing.size(); ++word) {
            if (listing[word] >= 0 &&
                rows[static_cast<std::size_t>(listing[word])].scope == Scope::Listing) {
                ASSERT_EQ(defined[word], -1) << CoreName(core) << " " << word;
            } else {
                ASSERT_EQ(listing[word], defined[word]) << CoreName(core) << " " << word;
            }
        }
    }
}

// The ranges let a checking pass skip the table for most words: they must say
// of every word exactly what the listing's first rows say, and cover the words
// a program is mostly made of.
TEST(Tables, ListingRangesAgreeWithTheListingRows) {
    const struct {
        Core core;
        unsigned coveredAtLeast;
    } cases[] = {{Core::Baseline, 4096}, {Core::Midrange, 16000}};
    for (const auto& c : cases) {
        const std::vector<int> listing = FirstMatches(c.core, true);
        const std::span<const Instruction> rows = Table(c.core);
        const ListingRanges r = ListingRangesOf(c.core);
        unsigned covered = 0;
        for (unsigned word = 0; word < listing.size(); ++word) {
            const bool inRanges = word >= r.instructionsFirst && word <= r.instructionsLast &&
                                  !(word >= r.gapFirst && word <= r.gapLast);
            if (!inRanges) {
                continue;
            }
            ++covered;
            ASSERT_GE(listing[word], 0) << CoreName(c.core) << " " << word;
            const bool jumps = rows[static_cast<std::size_t>(listing[word])].form == Form::Address;
            ASSERT_EQ(jumps, word >= r.jumpFirst && word <= r.jumpLast)
                << CoreName(c.core) << " " << word;
        }
        EXPECT_GE(covered, c.coveredAtLeast) << CoreName(c.core);
        // and no jump lies outside them
        for (unsigned word = 0; word < listing.size(); ++word) {
            if (listing[word] >= 0 &&
                rows[static_cast<std::size_t>(listing[word])].form == Form::Address) {
                ASSERT_TRUE(word >= r.jumpFirst && word <= r.jumpLast) << word;
            }
        }
    }
    EXPECT_GT(ListingRangesOf(Core::Enhanced).instructionsFirst,
              ListingRangesOf(Core::Enhanced).instructionsLast);
}

TEST(Tables, ListingRowsInTwoLevelsAreTheFirstRows) {
    for (const Core core : {Core::Baseline, Core::Midrange}) {
        const std::span<const std::uint8_t> first = FirstRows(core, true);
        const ListingRowLevels levels = ListingRowLevelsOf(core);
        EXPECT_LE(levels.top.size() + levels.blocks.size(), 512u) << CoreName(core);
        for (unsigned word = 0; word < first.size(); ++word) {
            ASSERT_EQ(levels.Row(word), first[word]) << CoreName(core) << " " << word;
        }
    }
}

}  // namespace
}  // namespace tolvek::isa
