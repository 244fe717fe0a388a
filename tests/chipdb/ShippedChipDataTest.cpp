// The chip data file that ships with the program (data/chipdat.txt): every
// section loads without a message, keeps to the line grammar and the name
// limits, and its listing header defines no name twice with different values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "chipdb/ChipData.h"

namespace {

// The generator's count for gputils 1.4.0: 49 chips with the 12-bit core and
// 170 with the classic 14-bit core.
constexpr std::size_t kExpectedChips = 219;

constexpr std::size_t kMaxRegisterName = 20;
constexpr std::size_t kMaxBitName = 26;
constexpr std::size_t kMaxLine = 254;

class ShippedChipData : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        chips_ = new tolvek::ChipState;
        tolvek::IoError error;
        loaded_ = chips_->LoadChipFile(TOLVEK_SHIPPED_CHIPDAT, &error);
        ASSERT_TRUE(loaded_) << error.Message();
    }
    static void TearDownTestSuite() {
        delete chips_;
        chips_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(loaded_); }

    // Selects a chip and returns the messages it brought.
    static std::vector<std::string> Select(const std::string& name) {
        std::vector<std::string> messages;
        chips_->SelectChip(name, [&messages](const std::string& m) { messages.push_back(m); });
        return messages;
    }

    static tolvek::ChipState* chips_;
    static bool loaded_;
};

tolvek::ChipState* ShippedChipData::chips_ = nullptr;
bool ShippedChipData::loaded_ = false;

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t at = text.find(separator); at != std::string::npos;
         at = text.find(separator, start)) {
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

bool IsName(const std::string& name) {
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name.front()))) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
}

TEST_F(ShippedChipData, ListsEveryGeneratedChipOnceInFileOrder) {
    const std::vector<std::string> list = chips_->ChipList();
    EXPECT_EQ(list.size(), kExpectedChips);
    std::vector<std::string> inFile;
    for (const tolvek::ChipLine& line : chips_->ChipLines) {
        if (line.text.starts_with("[") && line.text.ends_with("]")) {
            inFile.emplace_back(line.text.substr(1, line.text.size() - 2));
        }
    }
    EXPECT_TRUE(std::is_sorted(inFile.begin(), inFile.end()));
    EXPECT_EQ(std::adjacent_find(inFile.begin(), inFile.end()), inFile.end());
    ASSERT_FALSE(chips_->ChipLines.empty());
    EXPECT_EQ(chips_->ChipLines.back().text, "[ <, don't put anything past here");
}

TEST_F(ShippedChipData, KnownChipsHaveTheirCoreAndRomPages) {
    struct Expected {
        const char* name;
        bool core12;
        int pages;
        const char* ramLine;  // a RAM line of the section, or empty
    };
    const Expected table[] = {
        {"10F200", true, 1, "#0,INDF;0,TMR0;1,PCL;2,STATUS;3,FSR;4,OSCCAL;5,GPIO;6,PORTB;6"},
        {"12C508", true, 1, "#0,INDF;0,TMR0;1,PCL;2,STATUS;3,FSR;4,OSCCAL;5,GPIO;6"},
        {"16C52", true, 1, ""},
        {"16C54", true, 1, "#0,INDF;0,TMR0;1,PCL;2,STATUS;3,FSR;4,PORTA;5,PORTB;6"},
        {"16C57", true, 1, ""},
        {"16F526", true, 1, "#1,EECON;81,EEDATA;85,EEADR;86"},
        {"12F675", false, 1, ""},
        {"14000", false, 2, ""},
        {"16F84A", false, 1, "#1,OPTION_REG;81,TRISA;85,TRISB;86,EECON1;88,EECON2;89"},
        {"16F628A", false, 1, ""},
        {"16C74", false, 2, ""},
        {"16F873A", false, 2, ""},
        {"16F876A", false, 4, ""},
        {"16F877A", false, 4, "#3,EECON1;8C,EECON2;8D"},
    };
    for (const Expected& chip : table) {
        SCOPED_TRACE(chip.name);
        EXPECT_TRUE(Select(chip.name).empty());
        EXPECT_EQ(chips_->Core12Bit, chip.core12);
        EXPECT_EQ(chips_->RomPages, chip.pages);
        if (*chip.ramLine != '\0') {
            EXPECT_NE(std::find(chips_->ChipInfo.begin(), chips_->ChipInfo.end(), chip.ramLine),
                      chips_->ChipInfo.end());
        }
    }
}

TEST_F(ShippedChipData, LeavesOutCoresTheDecodersCannotRead) {
    const std::vector<std::string> list = chips_->ChipList();
    for (const std::string& name : list) {
        // enhanced 14-bit, PIC17 and PIC18 parts; enhanced baseline parts
        EXPECT_FALSE(name.starts_with("16F1") || name.starts_with("16LF1") ||
                     name.starts_with("12F1") || name.starts_with("12LF1") ||
                     name.starts_with("17") || name.starts_with("18"))
            << name;
        EXPECT_TRUE(name != "16F527" && name != "16F570" && !name.starts_with("12F529")) << name;
    }
}

TEST_F(ShippedChipData, EverySectionLoadsAndKeepsToTheGrammar) {
    for (const tolvek::ChipLine& line : chips_->ChipLines) {
        EXPECT_FALSE(line.longer) << line.text.substr(0, 40);
        EXPECT_LE(line.text.size(), kMaxLine) << line.text.substr(0, 40);
    }
    for (const std::string& chip : chips_->ChipList()) {
        SCOPED_TRACE(chip);
        const std::vector<std::string> messages = Select(chip);
        EXPECT_TRUE(messages.empty()) << messages.front();
        const std::vector<std::string>& info = chips_->ChipInfo;
        ASSERT_GE(info.size(), 4U);
        EXPECT_TRUE(info[0] == "<True,1>" || info[0].starts_with("<False,")) << info[0];

        std::set<std::string> registers;
        bool bitLines = false;
        for (std::size_t i = 1; i < info.size(); ++i) {
            const std::string& line = info[i];
            EXPECT_EQ(line.find('['), std::string::npos) << line;
            if (line.starts_with("#")) {
                EXPECT_FALSE(bitLines) << "RAM line after the bit lines: " << line;
                ASSERT_TRUE(line.size() > 3 && line[1] >= '0' && line[1] <= '3' && line[2] == ',')
                    << line;
                const int page = line[1] - '0';
                for (const std::string& entry : Split(line.substr(3), ',')) {
                    const std::vector<std::string> parts = Split(entry, ';');
                    ASSERT_EQ(parts.size(), 2U) << entry;
                    const std::string& name = parts[0];
                    const std::string& address = parts[1];
                    EXPECT_TRUE(IsName(name)) << entry;
                    EXPECT_LE(name.size(), kMaxRegisterName) << entry;
                    ASSERT_TRUE(address == "0" ||
                                (!address.empty() && address.size() <= 2 && address[0] != '0'))
                        << entry;
                    EXPECT_EQ(address.find_first_not_of("0123456789ABCDEF"), std::string::npos)
                        << entry;
                    const long value = std::stol(address, nullptr, 16);
                    EXPECT_EQ(value >= 0x80, page % 2 == 1) << entry;
                    registers.insert(name);
                }
            } else if (line.starts_with("%")) {
                bitLines = true;
                const std::vector<std::string> parts = Split(line.substr(1), ',');
                EXPECT_EQ(registers.count(parts[0]), 1U) << "bits of no register: " << line;
                EXPECT_EQ(parts.size(), 9U) << line;  // the register and eight places
                for (std::size_t b = 1; b < parts.size(); ++b) {
                    EXPECT_TRUE(parts[b] == "?" || IsName(parts[b])) << line;
                    EXPECT_LE(parts[b].size(), kMaxBitName) << line;
                }
                for (const char* page : {"#0", "#1", "#2", "#3"}) {
                    EXPECT_EQ(line.find(page), std::string::npos) << line;
                }
            } else {
                ADD_FAILURE() << "line of no kind: " << line;
            }
        }
    }
}

TEST_F(ShippedChipData, HeaderDefinesEveryNameWithOneValue) {
    for (const std::string& chip : chips_->ChipList()) {
        SCOPED_TRACE(chip);
        Select(chip);
        std::map<std::string, long> values;
        for (const std::string& line : chips_->ProduceHeader()) {
            if (line.empty() || line.front() == ';' || line.front() == ' ') {
                continue;
            }
            const std::size_t equ = line.find("EQU ");
            ASSERT_NE(equ, std::string::npos) << line;
            const std::string name = line.substr(0, line.find(' '));
            std::string value = line.substr(equ + 4);
            // registers are written 0x0083, bits 03h
            const long number = value.starts_with("0x") ? std::stol(value.substr(2), nullptr, 16)
                                                        : std::stol(value, nullptr, 16);
            const auto [at, fresh] = values.emplace(name, number);
            EXPECT_TRUE(fresh || at->second == number)
                << name << " is " << at->second << " and " << number;
        }
        EXPECT_FALSE(values.empty());
    }
}

}  // namespace
