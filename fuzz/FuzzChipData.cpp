// Fuzz target: the chip data loader, chip selection, register and bit naming over
// every address and bit, and the listing header, over arbitrary bytes.
//
// The first byte chooses the chip (an index into the chip list, or a name that
// is not listed), the second the piece size of the piecewise scan, which must
// agree with the whole file wherever it settles a question; the rest is the
// chip data file.
#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "base/Conversions.h"
#include "chipdb/ChipData.h"
#include "chipdb/ChipScan.h"
#include "fuzz/FuzzSupport.h"
#include "tests/chipdb/ReferenceNaming.h"

namespace {

using tolvek::fuzz::MemoryFile;

struct Selected {
    std::vector<std::string> info;
    bool core12 = false;
    int pages = 0;
    int messages = 0;
    bool operator==(const Selected&) const = default;
};

Selected Select(tolvek::ChipState& chip, const std::string& name) {
    Selected selected;
    chip.SelectChip(name, [&selected](const std::string&) { ++selected.messages; });
    selected.info = chip.ChipInfo;
    selected.core12 = chip.Core12Bit;
    selected.pages = chip.RomPages;
    return selected;
}

// The scan of one chip's section selects what the whole file selects.
void CheckScan(const std::string& path, tolvek::ChipScan::Want want, const std::string& name,
               std::size_t piece, const tolvek::ChipState& whole,
               const std::vector<std::string>& names) {
    const tolvek::ChipScan scan = tolvek::ScanChipFile(path, want, name, {}, piece);
    TOLVEK_FUZZ_CHECK(scan.result != tolvek::ChipScan::Result::kUnreadable);
    if (scan.result != tolvek::ChipScan::Result::kDone) {
        return;
    }
    const std::string expectedName = want == tolvek::ChipScan::Want::kFirst ? names.front() : name;
    TOLVEK_FUZZ_CHECK(scan.name == expectedName);
    TOLVEK_FUZZ_CHECK(std::find(names.begin(), names.end(), scan.name) != names.end());
    tolvek::ChipState fromScan;
    fromScan.LoadChipLines(scan.section);
    tolvek::ChipState expected = whole;
    TOLVEK_FUZZ_CHECK(Select(fromScan, scan.name) == Select(expected, expectedName));
}

bool SameLines(const std::vector<tolvek::ChipLine>& a, const std::vector<tolvek::ChipLine>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].text != b[i].text || a[i].longer != b[i].longer ||
            a[i].hasBracket != b[i].hasBracket) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static MemoryFile file;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (bytes.size() < 2) {
        return 0;
    }
    const unsigned selector = static_cast<unsigned char>(bytes[0]);
    const std::size_t piece = 1 + static_cast<unsigned char>(bytes[1]) * 4u;
    bytes.remove_prefix(2);

    tolvek::ChipState chip;
    chip.LoadChipLines(std::string(bytes));
    for (const tolvek::ChipLine& line : chip.ChipLines) {
        TOLVEK_FUZZ_CHECK(line.text.size() <= tolvek::kMaxText);
        TOLVEK_FUZZ_CHECK(line.text.find_first_of(std::string_view("\r\n\0", 3)) ==
                          std::string::npos);
    }

    // the same lines from a file as from the bytes
    file.Set(bytes);
    tolvek::ChipState fromFile;
    TOLVEK_FUZZ_CHECK(fromFile.LoadChipFile(file.Path()));
    TOLVEK_FUZZ_CHECK(SameLines(fromFile.ChipLines, chip.ChipLines));

    const std::vector<std::string> names = chip.ChipList();
    for (const std::string& name : names) {
        TOLVEK_FUZZ_CHECK(!name.empty() && name.size() <= tolvek::kMaxText - 2);
    }
    std::string name = "not listed";
    if (selector < 255 && !names.empty()) {
        name = names[selector % names.size()];
    } else if (selector < 255) {
        name.clear();
    }

    const tolvek::ChipScan listed =
        tolvek::ScanChipFile(file.Path(), tolvek::ChipScan::Want::kList, {}, {}, piece);
    TOLVEK_FUZZ_CHECK(listed.result != tolvek::ChipScan::Result::kDone || listed.names == names);
    CheckScan(file.Path(), tolvek::ChipScan::Want::kFirst, {}, piece, chip, names);
    CheckScan(file.Path(), tolvek::ChipScan::Want::kNamed, name, piece, chip, names);
    int messages = 0;
    chip.SelectChip(name, [&messages](const std::string&) { ++messages; });
    TOLVEK_FUZZ_CHECK(messages <= 1);
    TOLVEK_FUZZ_CHECK(chip.RomPages >= 1 && chip.RomPages <= 4);
    TOLVEK_FUZZ_CHECK(chip.ChipInfo.size() <= chip.ChipLines.size());

    // every operand within the limits, and the index naming as the plain line scans do
    tolvek::RegisterNamer& namer = chip.Naming();
    for (unsigned address = 0; address < tolvek::RegisterNamer::kAddresses; ++address) {
        for (int bit = tolvek::RegisterNamer::kNoBit; bit <= 7; ++bit) {
            const tolvek::RegisterNamer::Operand& operand = namer.Lookup(address, bit);
            TOLVEK_FUZZ_CHECK(!operand.text.empty() && operand.text.size() <= tolvek::kMaxText);
            TOLVEK_FUZZ_CHECK(operand.note.size() <= tolvek::kMaxText);
            TOLVEK_FUZZ_CHECK(operand.note.empty() || operand.note.starts_with("; ??? RAM Page "));
            const tolvek::testing::ReferenceText plain =
                tolvek::testing::ReferenceOperand(chip.ChipInfo, address, bit);
            TOLVEK_FUZZ_CHECK(operand.text == plain.text && operand.note == plain.note);
        }
    }

    const std::vector<std::string> head = chip.ProduceHeader();
    TOLVEK_FUZZ_CHECK(head.size() >= 7);
    TOLVEK_FUZZ_CHECK(head[3] == "         LIST   P=PIC" + chip.ChipName ||
                      head[3].size() == tolvek::kMaxText);
    TOLVEK_FUZZ_CHECK(head[head.size() - 1] == ";" && head[head.size() - 2] == ";");
    for (const std::string& line : head) {
        TOLVEK_FUZZ_CHECK(line.size() <= tolvek::kMaxText);
    }
    return 0;
}
