// The browser page's engine, natively: which file a run reads, what a listing
// run reports, the source run, and the listing window's ways through a text.
#include "web/Engine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/TempDir.h"

namespace {

using tolvek::InputFormat;
using tolvek::testing::TempDir;
using tolvek::web::Engine;

const std::string kData = TOLVEK_DATA_DIR;
const std::string kBlink = TOLVEK_BLINK;

TEST(WebEngine, RunInputFindsTheLowFileOfAPair) {
    struct Case {
        std::vector<std::string> files;
        InputFormat format;
        std::string input;
    };
    const std::vector<Case> cases = {
        {{"/in/a.hxh", "/in/a.hxl"}, InputFormat::kInhx8s, "/in/a.hxl"},
        {{"/in/a.hxl", "/in/a.hxh"}, InputFormat::kInhx8s, "/in/a.hxl"},
        {{"/in/p.obl", "/in/p.hxh"}, InputFormat::kInhx8s, "/in/p.obl"},
        // no partner among them: the first, and the merge says what is missing
        {{"/in/a.hxl", "/in/b.hxh"}, InputFormat::kInhx8s, "/in/a.hxl"},
        {{"/in/a.hxh"}, InputFormat::kInhx8s, "/in/a.hxh"},
        {{"/in/a.hxh", "/in/a.hxl"}, InputFormat::kInhx8m, "/in/a.hxh"},
        {{}, InputFormat::kInhx8m, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Engine::RunInput(c.files, c.format), c.input) << c.files.size();
    }
}

TEST(WebEngine, ListingRunWritesBesideTheInputAndReportsTheOutcome) {
    TempDir dir;
    dir.Write("blink.hex", tolvek::testing::ReadFileBytes(kBlink));
    Engine engine(kData);
    std::string error;
    ASSERT_TRUE(engine.UseBuiltInChipData(error)) << error;
    ASSERT_FALSE(engine.Chips().empty());
    const auto result = engine.RunListing(dir.Path("blink.hex"), InputFormat::kInhx8m, "16F84A");
    EXPECT_EQ(result.outcome.statusText, "[OK]:  4 records disassembled successfully.");
    EXPECT_FALSE(result.outcome.statusRed);
    EXPECT_EQ(result.outputFile, dir.Path("blink.dis"));
    EXPECT_NE(dir.Read("blink.dis").find("LIST   P=PIC16F84A"), std::string::npos);
}

TEST(WebEngine, AFailedRunShowsNoEarlierListing) {
    TempDir dir;
    dir.Write("prog.hex", ":0200000000\r\n");  // no end-of-file record, short data
    dir.Write("prog.dis", "an earlier listing\r\n");
    Engine engine(kData);
    engine.UseNoChipData();
    const auto result = engine.RunListing(dir.Path("prog.hex"), InputFormat::kInhx8m, "");
    EXPECT_NE(result.outcome.code, tolvek::kResultOk);
    EXPECT_TRUE(result.outcome.statusRed);
    EXPECT_TRUE(result.outcome.lineVisible);
    EXPECT_EQ(result.outputFile, "");
}

TEST(WebEngine, TheInhx32HintFollowsTheFormat) {
    TempDir dir;
    dir.Write("prog.hex", ":020000040000FA\r\n:0400000005280000CF\r\n:00000001FF\r\n");
    Engine engine(kData);
    engine.UseNoChipData();
    const auto asInhx8m = engine.RunListing(dir.Path("prog.hex"), InputFormat::kInhx8m, "");
    EXPECT_EQ(asInhx8m.outcome.code, tolvek::kResultTypeValue);
    EXPECT_TRUE(asInhx8m.inhx32Hint);
    EXPECT_TRUE(asInhx8m.outcome.panelVisible);
    // another record type the INHX8M rules refuse is no sign of INHX32
    dir.Write("other.hex", ":020000020000FC\r\n:00000001FF\r\n");
    const auto other = engine.RunListing(dir.Path("other.hex"), InputFormat::kInhx8m, "");
    EXPECT_EQ(other.outcome.code, tolvek::kResultTypeValue);
    EXPECT_FALSE(other.inhx32Hint);
    const auto asInhx32 = engine.RunListing(dir.Path("prog.hex"), InputFormat::kInhx32, "");
    EXPECT_EQ(asInhx32.outcome.code, tolvek::kResultOk);
    EXPECT_FALSE(asInhx32.inhx32Hint);
}

TEST(WebEngine, ChipDataChoices) {
    TempDir dir;
    dir.Write("mine.txt", "[ONE]\r\n<False,1>\r\n#0,INDF;0\r\n%STATUS,C\r\n[\r\n");
    Engine engine(kData);
    std::string error;
    ASSERT_TRUE(engine.UseChipData(dir.Path("mine.txt"), error)) << error;
    EXPECT_EQ(engine.Chips(), std::vector<std::string>{"ONE"});
    EXPECT_FALSE(engine.UseChipData(dir.Path("missing.txt"), error));
    EXPECT_NE(error.find("missing.txt"), std::string::npos);
    EXPECT_EQ(engine.Chips(), std::vector<std::string>{"ONE"});  // the choice is kept
    engine.UseNoChipData();
    EXPECT_TRUE(engine.Chips().empty());
}

// A source run of the example, opened for viewing, with the user's names.
class WebEngineView : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_.Write("blink.hex", tolvek::testing::ReadFileBytes(kBlink));
        const auto run = engine_.RunSource(dir_.Path("blink.hex"), false, "16F84A", Symbols());
        ASSERT_TRUE(run.written) << run.status;
        EXPECT_EQ(run.status, "[OK]:  27 program words, 27 reached from the vectors.");
        output_ = run.outputFile;
        engine_.Open(output_, Symbols());
    }
    std::string Symbols() const { return Engine::SymbolFileFor(dir_.Path("blink.hex")); }
    int LineOf(const std::string& start) const {
        const auto& view = engine_.View();
        for (std::size_t i = 0; i < view.LineCount(); ++i) {
            if (view.Line(i).substr(0, start.size()) == start) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }

    TempDir dir_;
    Engine engine_{kData};
    std::string output_;
};

TEST_F(WebEngineView, GoToTakesAddressesAndLabels) {
    struct Case {
        std::string typed;
        std::string lineStart;  // empty: nowhere
        std::string status;
    };
    const std::vector<Case> cases = {
        {"function_0200", "function_0200:", ""},
        {"FUNCTION_0200", "function_0200:", ""},
        {"0x200", "function_0200:", ""},
        {"200h", "function_0200:", ""},
        {"$200", "function_0200:", ""},
        {"  7 ", "label_0007:", ""},
        {"FFFF", "", "No word at FFFF or after it."},
        {"1FF", "function_0200:", "No word at 01FF; the next one is at 0200."},
        {"xyz", "", "\"xyz\" is neither an address nor a label."},
        {"1234567", "", "\"1234567\" is neither an address nor a label."},
    };
    for (const Case& c : cases) {
        const tolvek::web::Place place = engine_.GoTo(c.typed);
        EXPECT_EQ(place.status, c.status) << c.typed;
        if (c.lineStart.empty()) {
            EXPECT_EQ(place.line, -1) << c.typed;
        } else {
            EXPECT_EQ(place.line, LineOf(c.lineStart)) << c.typed;
        }
    }
}

TEST_F(WebEngineView, ReferencesAndCursorText) {
    const int label = engine_.View().FindLabel("label_0007");
    ASSERT_GE(label, 0);
    const auto refs = engine_.References(label);
    ASSERT_EQ(refs.size(), 1U);
    EXPECT_EQ(refs[0].from, 0x000EU);
    EXPECT_EQ(refs[0].instruction, "goto label_0007");
    EXPECT_EQ(refs[0].line, LineOf("        goto    label_0007"));
    EXPECT_EQ(engine_.CursorText(static_cast<std::size_t>(engine_.View().LineOfWord(0x0007))),
              "Address 0007   in label_0007");
    EXPECT_EQ(engine_.CursorText(0), "Line 1");
}

TEST_F(WebEngineView, ARenameIsSavedAndTheNextRunKeepsIt) {
    const int line = LineOf("label_0007:");
    auto report = engine_.Rename(static_cast<std::size_t>(line), 0, " inner ", Symbols());
    ASSERT_EQ(report.error, "");
    EXPECT_TRUE(report.changed);
    EXPECT_EQ(report.status, "Renamed to inner and saved in blink.tolvek.sym.");
    EXPECT_NE(dir_.Read("blink.tolvek.sym").find("label 0x0007 inner"), std::string::npos);
    EXPECT_GE(LineOf("inner:"), 0);
    // a bad name is refused and leaves the file alone
    const std::string saved = dir_.Read("blink.tolvek.sym");
    report = engine_.Rename(static_cast<std::size_t>(LineOf("inner:")), 0, "movlw", Symbols());
    EXPECT_NE(report.error, "");
    EXPECT_FALSE(report.changed);
    EXPECT_EQ(dir_.Read("blink.tolvek.sym"), saved);
    // the next source run reads the names
    const auto run = engine_.RunSource(dir_.Path("blink.hex"), false, "16F84A", Symbols());
    ASSERT_TRUE(run.written) << run.status;
    EXPECT_NE(dir_.Read("blink.asm").find("goto    inner"), std::string::npos);
    // the generated name again takes the entry out
    engine_.Open(run.outputFile, Symbols());
    report = engine_.Rename(static_cast<std::size_t>(LineOf("inner:")), 0, "label_0007", Symbols());
    ASSERT_EQ(report.error, "");
    EXPECT_EQ(dir_.Read("blink.tolvek.sym").find("0x0007"), std::string::npos)
        << dir_.Read("blink.tolvek.sym");
}

TEST_F(WebEngineView, AListingRunShowsTheSavedNames) {
    dir_.Write("blink.tolvek.sym", "label 0x0007 inner\nram 0x00C digit\n");
    Engine engine(kData);
    std::string error;
    ASSERT_TRUE(engine.UseBuiltInChipData(error)) << error;
    const auto run = engine.RunListing(dir_.Path("blink.hex"), InputFormat::kInhx8m, "16F84A");
    ASSERT_EQ(run.outputFile, dir_.Path("blink.dis"));
    const std::string status = engine.Open(run.outputFile, Symbols());
    EXPECT_NE(status.find(" lines, "), std::string::npos) << status;
    EXPECT_GE(engine.View().FindLabel("inner"), 0);
    EXPECT_NE(engine.View().Text().find("digit"), std::string::npos);
    dir_.Write("blink.tolvek.sym", "label 0x0007 inner\nnonsense\n");
    EXPECT_EQ(engine.Open(run.outputFile, Symbols()).rfind("blink.tolvek.sym, line 2: ", 0), 0U);
    EXPECT_GE(engine.View().FindLabel("inner"), 0);
}

}  // namespace
