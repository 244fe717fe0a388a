#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "chipdb/ChipData.h"

namespace tolvek {
namespace {

constexpr const char* k12C508 =
    "[12C508]\r\n"
    "<True,1>\r\n"
    "#0,INDF;0,TMR0;1,PCL;2,STATUS;3,FSR;4,OSCCAL;5,GPIO;6\r\n"
    "%STATUS,C,DC,Z,PD,TO,PA0,?,GPWUF\r\n"
    "junk line\r\n"
    "[ <, don't put anything past here\r\n";

struct Messages {
    std::vector<std::string> seen;
    ChipMessageSink Sink() {
        return [this](const std::string& m) { seen.push_back(m); };
    }
};

ChipState Selected(const std::string& data, const std::string& name, Messages* messages = nullptr) {
    ChipState chip;
    chip.LoadChipLines(data);
    chip.SelectChip(name, messages ? messages->Sink() : ChipMessageSink());
    return chip;
}

// The operand of a register (hexadecimal text) and bit (decimal text, or empty).
std::string Operand(const ChipState& chip, const char* address, const char* bit,
                    std::string* note = nullptr) {
    const RegisterNamer::Operand& operand =
        chip.Naming().Lookup(static_cast<unsigned>(std::stoul(address, nullptr, 16)),
                             *bit == '\0' ? RegisterNamer::kNoBit : std::stoi(bit));
    if (note != nullptr) {
        *note = operand.note;
    }
    return std::string(operand.text);
}

TEST(ChipData, LineEndsAndNul) {
    ChipState chip;
    chip.LoadChipLines("a\rb\nc\r\nd\n\ne\0f\ng");
    ASSERT_EQ(chip.ChipLines.size(), 6u);
    EXPECT_EQ(chip.ChipLines[3].text, "d");
    EXPECT_EQ(chip.ChipLines[4].text, "");
    EXPECT_EQ(chip.ChipLines[5].text, "e");
    chip.LoadChipLines(std::string(300, 'x') + "[\n");
    EXPECT_EQ(chip.ChipLines[0].text.size(), 255u);
    EXPECT_TRUE(chip.ChipLines[0].longer);
    EXPECT_TRUE(chip.ChipLines[0].hasBracket);  // seen in the whole line
}

TEST(ChipData, ChipListRules) {
    ChipState chip;
    chip.LoadChipLines("[16F84]\n[12C508]\n[A] \n[]\n[B]x]\n[C[D]\n[" + std::string(300, 'L') +
                       "]\n[16F84]\n[LAST]");
    EXPECT_EQ(chip.ChipList(), (std::vector<std::string>{"12C508", "16F84", "16F84", "C[D"}));
}

TEST(ChipData, ParameterLines) {
    const struct {
        const char* line;
        bool ok;
        bool core12;
        int pages;
    } cases[] = {
        {"<False,2>", true, false, 2},  {"<True,1>", true, true, 1},
        {"<TRUE,4>", true, true, 4},    {"<false,3>", true, false, 3},
        {"<True, 2>", true, true, 2},   {"<False,0>", false, false, 1},
        {"<False,5>", false, false, 1}, {"<False 2>", false, false, 1},
        {"<Maybe,2>", false, false, 1}, {"<True,2", false, false, 1},
        {"<True,2> ", false, false, 1}, {" <True,2>", false, false, 1},
        {"<True,>", false, false, 1},   {"<True,2x>", false, false, 1},
        {"<True,2 >", false, false, 1},
    };
    for (const auto& c : cases) {
        Messages messages;
        const std::string data = std::string("[X]\n") + c.line + "\n#0,A;1\n%A,b\nz\n[ end\n";
        ChipState chip;
        chip.LoadChipLines(data);
        chip.Core12Bit = true;  // the defaults must replace whatever was held
        chip.RomPages = 3;
        chip.SelectChip("X", messages.Sink());
        EXPECT_EQ(chip.Core12Bit, c.core12) << c.line;
        EXPECT_EQ(chip.RomPages, c.pages) << c.line;
        EXPECT_EQ(messages.seen.size(), c.ok ? 0u : 1u) << c.line;
        if (!c.ok && !messages.seen.empty()) {
            EXPECT_EQ(messages.seen[0], kMsgBadParameters);
        }
    }
}

TEST(ChipData, SectionRules) {
    Messages few;
    ChipState chip = Selected("[X]\n<True,2>\n\n#0,A;1\n\n%A,b\n[end\n", "X", &few);
    ASSERT_EQ(few.seen, std::vector<std::string>{std::string(kMsgInsufficient)});
    EXPECT_FALSE(chip.Core12Bit);  // parameters keep their values

    Messages enough;
    chip = Selected("[X]\n<True,2>\n#0,A;1\n%A,b\nz\n[end\n", "X", &enough);
    EXPECT_TRUE(enough.seen.empty());
    EXPECT_TRUE(chip.Core12Bit);
    EXPECT_EQ(chip.RomPages, 2);

    Messages unclosed;
    chip = Selected("[X]\n<True,2>\n#0,A;1\n%A,b\nz\n", "X", &unclosed);
    EXPECT_EQ(unclosed.seen, std::vector<std::string>{std::string(kMsgUnclosedSection)});
    EXPECT_EQ(chip.ChipInfo.size(), 4u);
    EXPECT_FALSE(chip.Core12Bit);

    // the first of two sections of one name is used; letter case counts
    chip = Selected("[x]\n<False,4>\n1\n2\n3\n[X]\n<True,2>\n1\n2\n3\n[X]\n<True,1>\n1\n2\n3\n[e",
                    "X");
    EXPECT_TRUE(chip.Core12Bit);
    EXPECT_EQ(chip.RomPages, 2);

    // a name without a section keeps the previous section and reads it again
    Messages again;
    chip.SelectChip("NOPE", again.Sink());
    EXPECT_TRUE(again.seen.empty());
    EXPECT_EQ(chip.ChipInfo[0], "<True,2>");
    EXPECT_FALSE(chip.Series12);
    chip.SelectChip("12C508", nullptr);
    EXPECT_TRUE(chip.Series12);
}

TEST(Naming, WorkedExample) {
    const ChipState chip = Selected(k12C508, "12C508");
    const struct {
        const char* address;
        const char* bit;
        const char* operand;
    } cases[] = {
        {"03", "0", "STATUS,C"},     {"03", "5", "STATUS,PA0"}, {"03", "6", "STATUS,6"},
        {"06", "", "GPIO"},          {"07", "", "0x07"},        {"07", "2", "0x07,2"},
        {"03", "7", "STATUS,GPWUF"},
    };
    for (const auto& c : cases) {
        std::string note;
        EXPECT_EQ(Operand(chip, c.address, c.bit, &note), c.operand) << c.address << c.bit;
        EXPECT_EQ(note, "");
    }
}

TEST(Naming, WholeEntriesAndRamPageNotes) {
    const ChipState chip = Selected(
        "[T]\n<False,2>\n"
        "#0,SIXTEEN;10,STATUS;3,LONGNAME_OF_TWENTY_FIVE;7,T2CON;12\n"
        "#1,OPTION_REG;81,PR2;92,STATUS1;83\n"
        "#2,PAGE2;3\n"
        "#3,P3;83,P3HIGH;92\n"
        "%STATUS,C,DC,Z\n%TMR,X\n%LONGNAME_OF_TWENTY_FIVE,L0\n%PR2,P0,P1\n%P3,,Q1\n"
        "%STATUSX,S\n[end\n",
        "T");
    std::string note;
    // the key of address 1 does not match the entry of address 10
    EXPECT_EQ(Operand(chip, "01", "", &note), "0x01");
    EXPECT_EQ(note, "; ??? RAM Page OPTION_REG");
    EXPECT_EQ(Operand(chip, "10", ""), "SIXTEEN");
    // registers 90 to FF are found on pages 1 and 3
    EXPECT_EQ(Operand(chip, "12", "1", &note), "T2CON,1");
    EXPECT_EQ(note, "; ??? RAM Page PR2,P1 / P3HIGH,1");
    EXPECT_EQ(Operand(chip, "03", "2", &note), "STATUS,Z");
    EXPECT_EQ(note, "; ??? RAM Page STATUS1,2 / PAGE2,2 / P3,");
    EXPECT_EQ(Operand(chip, "03", "0", &note), "STATUS,C");
    EXPECT_EQ(note, "; ??? RAM Page STATUS1,0 / PAGE2,0 / P3,");
    EXPECT_EQ(Operand(chip, "03", "7", &note), "STATUS,");
    // names are cut to 20 characters, and bit lines are matched with the cut name
    EXPECT_EQ(Operand(chip, "07", "0"), "LONGNAME_OF_TWENTY_F,L0");
}

TEST(Naming, BitLinesMatchTheWholeRegisterName) {
    const ChipState chip =
        Selected("[T]\n<False,1>\n#0,TMR;1,TMR0;2\n%TMR0,A,B\n%TMRX,C\n[e\n", "T");
    EXPECT_EQ(Operand(chip, "01", "0"), "TMR,0");
    EXPECT_EQ(Operand(chip, "02", "1"), "TMR0,B");
}

TEST(Naming, NoChipDataGivesNumbers) {
    const ChipState chip;
    std::string note;
    EXPECT_EQ(Operand(chip, "20", "", &note), "0x20");
    EXPECT_EQ(Operand(chip, "06", "3", &note), "0x06,3");
    EXPECT_EQ(note, "");
}

TEST(Header, WorkedExample) {
    const ChipState chip = Selected(k12C508, "12C508");
    const std::vector<std::string> expected = {
        ";",
        "; ******* Quorvel *******",
        ";",
        "         LIST   P=PIC12C508",
        ";",
        ";",
        "; RAM Page 0 Registers",
        ";",
        "INDF         EQU 0x0000",
        "TMR0         EQU 0x0001",
        "PCL          EQU 0x0002",
        "STATUS       EQU 0x0003",
        "FSR          EQU 0x0004",
        "OSCCAL       EQU 0x0005",
        "GPIO         EQU 0x0006",
        ";",
        "; STATUS bits",
        ";",
        "C           EQU 00h",
        "DC          EQU 01h",
        "Z           EQU 02h",
        "PD          EQU 03h",
        "TO          EQU 04h",
        "PA0         EQU 05h",
        "GPWUF       EQU 07h",
        ";",
        ";",
    };
    EXPECT_EQ(chip.ProduceHeader(), expected);
}

TEST(Header, WithoutChipData) {
    const ChipState chip;
    EXPECT_EQ(chip.ProduceHeader(),
              (std::vector<std::string>{";", "; ******* Quorvel *******", ";",
                                        "         LIST   P=PIC", ";", ";", ";"}));
}

TEST(Header, RamAndBitLineEdges) {
    std::vector<std::string> head;
    ExtractRamData("#1,OPTION_REG;81,A;1F,B;5", 1, head);
    ExtractRamData("#3,X;81", 3, head);
    ExtractRamData("#2,Y;1", 2, head);
    ExtractRamData("#0,", 0, head);
    ExtractRamData("#0,NOADDRESS", 0, head);
    EXPECT_EQ(head, (std::vector<std::string>{"OPTION_REG   EQU 0x0081", "A            EQU 0x001F",
                                              "B            EQU 0x0005", "X            EQU 0x0181",
                                              "Y            EQU 0x0101"}));
    head.clear();
    ExtractBitData("%R,a,,?x,b,c,d,e,f,g,h,LONGBITNAME12,", head);
    EXPECT_EQ(head, (std::vector<std::string>{
                        ";", "; R bits", ";", "a           EQU 00h", "            EQU 01h",
                        "b           EQU 03h", "c           EQU 04h", "d           EQU 05h",
                        "e           EQU 06h", "f           EQU 07h", "g           EQU 08h",
                        "h           EQU 09h", "LONGBITNAME12 EQU 010h"}));
    head.clear();
    ExtractBitData("%R", head);
    EXPECT_EQ(head, (std::vector<std::string>{";", "; R bits", ";"}));
}

TEST(Header, PageTitlesOncePerPageInFileOrder) {
    const ChipState chip = Selected("[T]\n<False,1>\n#0,A;1\n#1,B;81\n#0,C;2\n%A,x\n[e\n", "T");
    const std::vector<std::string> head = chip.ProduceHeader();
    const std::vector<std::string> body(head.begin() + 5, head.end());
    EXPECT_EQ(body,
              (std::vector<std::string>{";", "; RAM Page 0 Registers", ";",
                                        "A            EQU 0x0001", ";", "; RAM Page 1 Registers",
                                        ";", "B            EQU 0x0081", "C            EQU 0x0002",
                                        ";", "; A bits", ";", "x           EQU 00h", ";", ";"}));
}

TEST(ChipData, CopiesKeepTheLoadedTextAlive) {
    auto original = std::make_unique<ChipState>();
    original->LoadChipLines(
        "[16F84]\r\n<False,1>\r\n#0,INDF;0,STATUS;3\n#1,STATUS;83\n%STATUS,C,DC,Z\r[end\n");
    ChipState copy = *original;
    original.reset();
    ASSERT_EQ(copy.ChipLines.size(), 6u);
    EXPECT_EQ(copy.ChipLines[2].text, "#0,INDF;0,STATUS;3");
    EXPECT_EQ(copy.ChipLines[4].text, "%STATUS,C,DC,Z");
    EXPECT_TRUE(copy.ChipLines[5].hasBracket);
    copy.SelectChip("16F84", nullptr);
    ASSERT_EQ(copy.ChipInfo.size(), 4u);
    EXPECT_EQ(copy.Naming().Lookup(3, 2).text, "STATUS,Z");
    EXPECT_EQ(copy.Naming().Lookup(3, 2).note, "; ??? RAM Page STATUS,Z");
}

TEST(ChipData, SplitsLinesAndFindsBracketsPastEarlierOnes) {
    ChipState chip;
    chip.LoadChipLines("x[\ry\r\nz[[\n\r[end\nlast");
    ASSERT_EQ(chip.ChipLines.size(), 6u);
    const char* texts[] = {"x[", "y", "z[[", "", "[end", "last"};
    const bool brackets[] = {true, false, true, false, true, false};
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(chip.ChipLines[i].text, texts[i]) << i;
        EXPECT_EQ(chip.ChipLines[i].hasBracket, brackets[i]) << i;
    }
}

TEST(ChipData, ListsChipsIgnoringCaseThenByTheirOwnText) {
    ChipState chip;
    chip.LoadChipLines("[b]\n<False,1>\n[B]\n[a]\n[A]\n[ab]\n[Ab]\n[aB]\n[a]\n[_x]\n[Zz]\n[end\n");
    const std::vector<std::string> expected = {"_x", "A",  "a", "a", "Ab",
                                               "aB", "ab", "B", "b", "Zz"};
    EXPECT_EQ(chip.ChipList(), expected);
}

}  // namespace
}  // namespace tolvek
