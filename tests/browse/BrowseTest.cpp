// The listing window's reading of listings, sources and symbol files.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "browse/Document.h"

namespace tolvek::browse {
namespace {

std::string ReadData(const std::string& name) {
    std::ifstream in(std::string(TOLVEK_TEST_DATA) + "/browse/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int LineWith(const Document& doc, std::string_view text) {
    for (std::size_t i = 0; i < doc.LineCount(); ++i) {
        if (doc.Line(i).find(text) != std::string_view::npos) {
            return static_cast<int>(i);
        }
    }
    ADD_FAILURE() << "no line holds " << text;
    return -1;
}

// The column of the n-th occurrence of text on the line that holds `where`.
std::size_t ColumnOf(const Document& doc, int line, std::string_view text) {
    const std::size_t column = doc.Line(static_cast<std::size_t>(line)).find(text);
    EXPECT_NE(column, std::string_view::npos) << text;
    return column;
}

// The role of the token that covers the column, none where no token does.
std::optional<Role> RoleAt(const Document& doc, std::size_t line, std::size_t column) {
    for (const Token& token : doc.Tokens(line)) {
        if (column >= token.start && column < token.start + token.length) {
            return token.role;
        }
    }
    return std::nullopt;
}

struct LabelCase {
    std::string name;
    int address;
    bool function;
    std::vector<Reference> refs;
};

void ExpectLabels(const Document& doc, const std::vector<LabelCase>& expected) {
    ASSERT_EQ(doc.Labels().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Label& label = doc.Labels()[i];
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(label.name, expected[i].name);
        EXPECT_EQ(label.address, expected[i].address);
        EXPECT_EQ(label.function, expected[i].function);
        ASSERT_EQ(label.refs.size(), expected[i].refs.size());
        for (std::size_t r = 0; r < label.refs.size(); ++r) {
            EXPECT_EQ(label.refs[r].from, expected[i].refs[r].from);
            EXPECT_EQ(label.refs[r].kind, expected[i].refs[r].kind);
        }
    }
}

TEST(BrowseDocument, ClassicListingGetsAddressesLabelsAndReferencesFromItsOperands) {
    const Document doc = Document::Parse(ReadData("blink.dis"), Format::Classic);
    EXPECT_EQ(doc.Text().find('\r'), std::string::npos);
    EXPECT_EQ(doc.AddressOf(LineWith(doc, "CLRF PORTB")), 0);
    EXPECT_EQ(doc.AddressOf(LineWith(doc, "CALL ad0200")), 8);
    EXPECT_EQ(doc.AddressOf(LineWith(doc, "RETLW 0x6F")), 0x20A);
    EXPECT_EQ(doc.AddressOf(LineWith(doc, "ORG 0200h")), -1);
    EXPECT_EQ(doc.AddressOf(LineWith(doc, "RP0         EQU")), -1);  // header: no word
    ExpectLabels(doc, {{"ad0006", 6, false, {{0xF, RefKind::Jump}}},
                       {"ad0007", 7, false, {{0xE, RefKind::Jump}}},
                       {"ad0200", 0x200, true, {{8, RefKind::Call}}}});
    EXPECT_EQ(doc.LineOfAddress(0x200), LineWith(doc, "ad0200      ADDWF"));
    EXPECT_EQ(doc.LineOfAddress(0x20B), -1);
    EXPECT_EQ(doc.LineOfAddress(0x100, true), LineWith(doc, "ad0200      ADDWF"));
}

TEST(BrowseDocument, ClassicLabelsCorrectTheCountAcrossUnprogrammedWords) {
    // two erased words between 0001 and 0004 write no lines
    const Document doc = Document::Parse(
        "            ORG 0000h\n            GOTO ad0004\n            NOP\n"
        "ad0004      NOP\n            NOP\n            end\n",
        Format::Classic);
    EXPECT_EQ(doc.AddressOf(2), 1);
    EXPECT_EQ(doc.AddressOf(3), 4);
    EXPECT_EQ(doc.AddressOf(4), 5);
    EXPECT_EQ(doc.AddressOf(5), -1);
}

TEST(BrowseDocument, NumbersAreReferencesOnlyAsJumpTargets) {
    const Document doc = Document::Parse(
        "            ORG 0000h\n            GOTO 0x0004\n            MOVLW 0x04\n"
        "ad0004      NOP\n            CALL 4\n            MOVWF 0x04\n",
        Format::Classic);
    ExpectLabels(doc, {{"ad0004", 4, true, {{0, RefKind::Jump}, {5, RefKind::Call}}}});
}

TEST(BrowseDocument, CommentsStartAtTheFirstSemicolonOutsideQuotes) {
    struct Case {
        std::string_view line;
        std::string_view token;  // the token at its first occurrence in the line
        Role role;
    };
    const Case cases[] = {
        {"        retlw   ';'             ; 0001", "';'", Role::Number},
        {"        retlw   ';'             ; 0001", "0001", Role::Address},
        {"        dt      \"a;b\"           ; 0002", ";b", Role::Plain},
        {"        dt      \"a;b\"           ; 0002", "0002", Role::Address},
        {"        retlw   'a'  ; ';' 0003", "';' 0003", Role::Comment},
        // a quote never closed holds the rest of the line: no comment
        {"        retlw   'a ; 0004", "; 0004", Role::Number},
        {"        dt      \"a ; 0005", "; 0005", Role::Plain},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.line) + " / " + std::string(c.token));
        const Document doc = Document::Parse(std::string(c.line), Format::Source);
        EXPECT_EQ(RoleAt(doc, 0, c.line.find(c.token)), c.role);
    }
}

TEST(BrowseDocument, SourceTakesAddressesFromCommentsAndMergesCrossReferences) {
    const Document doc = Document::Parse(ReadData("blink.asm"), Format::Source);
    EXPECT_EQ(doc.AddressOf(LineWith(doc, "movlw   .10")), 0x0E);
    EXPECT_EQ(doc.AddressOf(LineWith(doc, "label_0005:")), -1);
    EXPECT_EQ(doc.AddressOf(LineWith(doc, "__config")), -1);
    // 0x0100 is only in the comment, 0x0016 only an operand: both count
    ExpectLabels(doc,
                 {{"label_0005", 5, false, {{2, RefKind::Jump}}},
                  {"label_0009", 9, false, {{0x12, RefKind::Jump}}},
                  {"label_000A", 0xA, false, {{0x11, RefKind::Jump}}},
                  {"label_0013", 0x13, false, {{4, RefKind::Jump}}},
                  {"function_0200", 0x200, true, {{0xB, RefKind::Call}, {0x16, RefKind::Jump}}}});
    // a jump to an address shows its label
    EXPECT_EQ(doc.LineOfAddress(0x13), LineWith(doc, "label_0013:"));
    EXPECT_EQ(doc.LabelBefore(LineWith(doc, "retfie")), 3);
    EXPECT_EQ(doc.LabelBefore(0), -1);
}

TEST(BrowseDocument, TokensGetTheirRoles) {
    const Document asmDoc = Document::Parse(ReadData("blink.asm"), Format::Source);
    const Document disDoc = Document::Parse(ReadData("blink.dis"), Format::Classic);
    struct Case {
        const Document* doc;
        std::string_view line;
        std::string_view token;
        Role role;
    };
    const Case cases[] = {
        {&asmDoc, "bsf     STATUS, RP0", "bsf", Role::Mnemonic},
        {&asmDoc, "bsf     STATUS, RP0", "STATUS", Role::Register},
        {&asmDoc, "bsf     STATUS, RP0", "RP0", Role::Bit},
        {&asmDoc, "bsf     STATUS, RP0", "0001", Role::Address},
        {&asmDoc, "RP0             EQU", "RP0", Role::Bit},
        {&asmDoc, "PCLATH          EQU", "PCLATH", Role::Register},
        {&asmDoc, "PCLATH          EQU", "EQU", Role::Directive},
        {&asmDoc, "PCLATH          EQU", "0x0A", Role::Number},
        {&asmDoc, "goto    label_0005", "label_0005", Role::Label},
        {&asmDoc, "label_0005:", "label_0005", Role::Label},
        {&asmDoc, "label_0005:", "jumped to from", Role::Note},
        {&asmDoc, "label_0005:", "0002", Role::Address},
        {&asmDoc, "; reset vector", "reset", Role::Note},
        {&asmDoc, "; Registers", "Registers", Role::Comment},
        {&asmDoc, "movlw   .10", ".10", Role::Number},
        {&asmDoc, "movlw   .10", "ten", Role::Note},
        {&asmDoc, "retlw   'A'", "'A'", Role::Number},
        {&asmDoc, "movf    0x0C, w", "w", Role::Plain},
        {&asmDoc, "org     0x0000", "org", Role::Directive},
        {&disDoc, "BSF STATUS,RP0", "BSF", Role::Mnemonic},
        {&disDoc, "BSF STATUS,RP0", "RP0", Role::Bit},
        {&disDoc, "NOT_RBPU    EQU", "NOT_RBPU", Role::Bit},
        {&disDoc, "ad0007      MOVF", "ad0007", Role::Label},
        {&disDoc, "CLRF PORTB ", "RAM Page", Role::Note},
        {&disDoc, "CLRF PORTB ", "TRISB", Role::Register},
        {&disDoc, "RETLW 0x3F", "b'00111111'", Role::Comment},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.line) + " / " + std::string(c.token));
        const int line = LineWith(*c.doc, c.line);
        EXPECT_EQ(RoleAt(*c.doc, static_cast<std::size_t>(line), ColumnOf(*c.doc, line, c.token)),
                  c.role);
    }
}

// gpasm reads a backslash in quotes as an escape: a quote or ';' after it
// stays in the string, and the comment starts after the string.
TEST(BrowseDocument, EscapedQuotesInAStringDoNotStartTheComment) {
    const Document doc = Document::Parse(
        "        org     0x0000\n"
        "        dt      \"a\\\";b\\\\\"              ; 0000\n"
        "        retlw   '\\''                   ; 0005\n",
        Format::Source);
    for (const std::string_view line : {"dt ", "retlw"}) {
        SCOPED_TRACE(line);
        const int at = LineWith(doc, line);
        const std::string_view text = doc.Line(static_cast<std::size_t>(at));
        const std::size_t comment = text.rfind("; ");
        for (const Token& token : doc.Tokens(static_cast<std::size_t>(at))) {
            if (token.role == Role::Comment) {
                EXPECT_GE(token.start, comment) << text.substr(token.start, token.length);
            }
        }
        EXPECT_EQ(RoleAt(doc, static_cast<std::size_t>(at), comment + 2), Role::Address);
        // the quoted text is one token from its opening quote to its closing one
        const std::size_t open = text.find_first_of("\"'");
        const std::size_t close = text.find_last_of("\"'", comment);
        bool whole = false;
        for (const Token& token : doc.Tokens(static_cast<std::size_t>(at))) {
            whole = whole || (token.start == open && token.start + token.length == close + 1);
        }
        EXPECT_TRUE(whole) << text;
    }
    EXPECT_EQ(doc.LineOfAddress(5), LineWith(doc, "retlw"));
}

TEST(BrowseDocument, ClicksLeadToLabelsJumpTargetsAndCrossReferencedWords) {
    const Document doc = Document::Parse(ReadData("blink.asm"), Format::Source);
    const int call = LineWith(doc, "call    function_0200");
    const int function = LineWith(doc, "function_0200:");
    EXPECT_EQ(doc.TargetAt(call, ColumnOf(doc, call, "function_0200") + 3), function);
    EXPECT_EQ(doc.TargetAt(call, ColumnOf(doc, call, "call")), -1);
    EXPECT_EQ(doc.TargetAt(function, ColumnOf(doc, function, "000B")), call);
    EXPECT_EQ(doc.TargetAt(function, 2), -1);  // the definition itself

    const Document dis = Document::Parse(
        "            ORG 0000h\n            GOTO 0x002\n            NOP\nad0002      NOP\n"
        "            ; ??? Duplicate ROM - ad0002\n",
        Format::Classic);
    EXPECT_EQ(dis.TargetAt(1, 18), 3);  // a numeric target
    EXPECT_EQ(dis.TargetAt(4, 35), 3);  // a label in a note
}

// The source's own names of data memory locations are renamed like the user's:
// by address, and the generated name brings the location back.
TEST(BrowseDocument, SourceRamNamesAreDataMemoryLocations) {
    const Document doc = Document::Parse(
        "; data memory\nram_0A0         EQU     0xA0    ; reads: 1, writes: 1\n\n"
        "        org     0x0000\n        incf    ram_0A0, f              ; 0000\n",
        Format::Source);
    const int incf = LineWith(doc, "incf");
    std::string why;
    const auto target = doc.RenameTargetAt(incf, ColumnOf(doc, incf, "ram_0A0") + 2, &why);
    ASSERT_TRUE(target.has_value()) << why;
    EXPECT_EQ(target->kind, RenameTarget::Kind::Ram);
    EXPECT_EQ(target->address, 0xA0u);
    EXPECT_EQ(doc.GeneratedName(*target), "ram_0A0");
    EXPECT_EQ(doc.CheckName(*target, "ram_0A0"), "");
    EXPECT_NE(doc.CheckName(*target, "ram_0A1"), "");
    EXPECT_EQ(doc.CheckName(*target, "counter"), "");
    const Document renamed = Document::Parse(
        doc.Renamed({.names = {{"ram_0A0", "counter"}}, .locations = {}}), Format::Source);
    EXPECT_EQ(renamed.Line(1), "counter         EQU     0xA0    ; reads: 1, writes: 1");
    EXPECT_EQ(renamed.Line(LineWith(renamed, "incf")),
              "        incf    counter, f              ; 0000");
}

TEST(BrowseDocument, RenamingKeepsTheCommentColumnAndNamesNumberedLocations) {
    const Document doc = Document::Parse(ReadData("blink.asm"), Format::Source);
    const Renames renames{.names = {{"function_0200", "digits"}}, .locations = {{0x0C, "counter"}}};
    const Document renamed = Document::Parse(doc.Renamed(renames), Format::Source);
    EXPECT_EQ(renamed.Line(LineWith(renamed, "call")), "        call    digits          ; 000B");
    EXPECT_EQ(renamed.Line(LineWith(renamed, "digits:")),
              "digits:  ; called from 000B; jumped to from 0016");
    EXPECT_EQ(renamed.Line(LineWith(renamed, "incf")), "        incf    counter, f      ; 000D");
    // a source with EQU lines gets a data memory section under them
    const int equ = LineWith(renamed, "counter ");
    EXPECT_EQ(renamed.Line(equ), "counter         EQU     0x0C");
    EXPECT_EQ(renamed.Line(equ - 1), "; data memory");
    EXPECT_EQ(renamed.Line(equ - 2), "");
    EXPECT_EQ(renamed.Line(equ - 3).substr(0, 4), "INTF");
    EXPECT_EQ(renamed.LineCount(), doc.LineCount() + 3);
    EXPECT_GE(renamed.FindLabel("digits"), 0);
    EXPECT_EQ(renamed.Labels()[renamed.FindLabel("digits")].refs.size(), 2u);

    // without EQU lines, named locations get a section of their own before the code
    const Document plain = Document::Parse(ReadData("plain.asm"), Format::Source);
    Document::Insertions insertions;
    const Document named =
        Document::Parse(plain.Renamed({.names = {}, .locations = {{0x0C, "counter"}}}, &insertions),
                        Format::Source);
    const int org = LineWith(plain, "org     0x0000");
    EXPECT_EQ(insertions.before, (std::map<std::size_t, std::size_t>{{org, 3}}));
    EXPECT_EQ(insertions.Moved(org - 1), static_cast<std::size_t>(org - 1));
    EXPECT_EQ(insertions.Moved(org), static_cast<std::size_t>(org + 3));
    EXPECT_EQ(named.Line(org), "; data memory");
    EXPECT_EQ(named.Line(org + 1), "counter         EQU     0x0C");
    EXPECT_EQ(named.Line(org + 3), "        org     0x0000");
    EXPECT_EQ(named.Line(LineWith(named, "clrf    counter")),
              "        clrf    counter                 ; 0006");
    // ... and further names go into that section by address
    const Document three = Document::Parse(
        named.Renamed({.names = {}, .locations = {{0x0D, "flags"}, {0x0B, "total"}}}),
        Format::Source);
    EXPECT_EQ(three.Line(org + 1), "total           EQU     0x0B");
    EXPECT_EQ(three.Line(org + 2), "counter         EQU     0x0C");
    EXPECT_EQ(three.Line(org + 3), "flags           EQU     0x0D");

    // a long name in the classic label column still leaves a blank before the mnemonic
    const Document dis = Document::Parse(ReadData("blink.dis"), Format::Classic);
    const Document disRenamed = Document::Parse(
        dis.Renamed({.names = {{"ad0007", "show_next_digit"}}, .locations = {}}), Format::Classic);
    EXPECT_EQ(disRenamed.Line(LineWith(disRenamed, "MOVF 0x0C,w")), "show_next_digit MOVF 0x0C,w");
    EXPECT_EQ(disRenamed.Line(LineWith(disRenamed, "GOTO show")),
              "            GOTO show_next_digit");
    // a name right after a comma
    const Document bitRenamed = Document::Parse(
        dis.Renamed({.names = {{"RP0", "bank_bit"}}, .locations = {}}), Format::Classic);
    EXPECT_EQ(bitRenamed.Line(LineWith(bitRenamed, "BSF STATUS,")),
              "            BSF STATUS,bank_bit");
}

TEST(BrowseDocument, RenameTargetsAndNameChecks) {
    Document doc = Document::Parse(ReadData("blink.asm"), Format::Source);
    std::string why;
    const int clrf = LineWith(doc, "clrf    0x0C");
    const auto location = doc.RenameTargetAt(clrf, ColumnOf(doc, clrf, "0x0C"), &why);
    ASSERT_TRUE(location);
    EXPECT_EQ(location->kind, RenameTarget::Kind::Ram);
    EXPECT_EQ(location->address, 0x0Cu);
    const int label = LineWith(doc, "label_0009:");
    const auto target = doc.RenameTargetAt(label, 3, &why);
    ASSERT_TRUE(target);
    EXPECT_EQ(target->kind, RenameTarget::Kind::Label);
    EXPECT_EQ(target->address, 9u);
    const int portb = LineWith(doc, "clrf    PORTB");
    EXPECT_FALSE(doc.RenameTargetAt(portb, ColumnOf(doc, portb, "PORTB"), &why));
    EXPECT_NE(why.find("PORTB"), std::string::npos);
    doc.SetUserLocations({{"PORTB", 6}});  // a name the user gave is the user's to change
    EXPECT_TRUE(doc.RenameTargetAt(portb, ColumnOf(doc, portb, "PORTB"), &why));

    const struct {
        std::string_view name;
        bool allowed;
    } names[] = {
        {"main_loop", true},   {"_x1", true},
        {"label_0009", true},  // its own generated name
        {"label_0010", false}, {"function_0009", false},
        {"ad0009", false},     {"9lives", false},
        {"two words", false},  {"", false},
        {"movwf", false},      {"ORG", false},
        {"W", false},          {"status", false},
        {"label_000A", false}, {std::string_view("a234567890123456789012345678901234"), false},
    };
    for (const auto& [name, allowed] : names) {
        EXPECT_EQ(doc.CheckName(*target, name).empty(), allowed) << name;
    }
}

TEST(BrowseDocument, KnowsWhatTolvekWroteAndWhatASourceWasMadeFrom) {
    struct Case {
        const char* text;
        Format format;
        bool recognised;
        const char* input;
        const char* part;
    };
    const std::string blink = ReadData("blink.asm");
    const std::string plain = ReadData("plain.asm");
    const std::string classic = ReadData("blink.dis");
    const Case cases[] = {
        {blink.c_str(), Format::Source, true, "blink.hex", "16F84A"},
        {plain.c_str(), Format::Source, true, "blink.hex", "16f84a"},
        {"; Source reconstructed by tolvek from my.hex for the PIC16F84A\n"
         "        processor 16f84a\n",
         Format::Source, true, "my.hex", "16f84a"},
        {classic.c_str(), Format::Classic, true, "", "PIC16F84"},
        // a hand-written source, and a hex image named as a listing
        {"        processor 16f84a\n        movlw 1\n        end\n", Format::Source, false, "",
         "16f84a"},
        {"; my notes\n        processor 16f84a\n", Format::Source, false, "", "16f84a"},
        {":10000000A001062083160620831205282008080078\n", Format::Classic, false, "", ""},
        {";\n; notes\n;\n         LIST   P=PIC16F84\n", Format::Classic, false, "", "PIC16F84"},
    };
    for (const Case& c : cases) {
        const Document doc = Document::Parse(c.text, c.format);
        std::string why;
        EXPECT_EQ(doc.Recognised(&why), c.recognised) << c.text;
        EXPECT_EQ(why.empty(), c.recognised) << c.text;
        EXPECT_EQ(doc.SourceOrigin().input, c.input) << c.text;
        EXPECT_EQ(doc.SourceOrigin().part, c.part) << c.text;
    }
}

}  // namespace
}  // namespace tolvek::browse
