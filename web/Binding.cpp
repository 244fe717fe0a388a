// The page's way into the engine: the functions of Engine as JavaScript sees
// them, plain values and arrays in and out.
#include <emscripten/bind.h>
#include <emscripten/val.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "web/Engine.h"

using emscripten::val;

namespace {

// The chip data and the device data lie in the page's file system here.
constexpr const char* kDataDirectory = "/data";

std::unique_ptr<tolvek::web::Engine> engine;
tolvek::browse::Document::Insertions lastMoves;

tolvek::web::Engine& Get() {
    if (!engine) {
        // the runtime starts with a mask that takes every permission away, so
        // the files a run writes could not be read back: the usual one instead
        umask(022);
        engine = std::make_unique<tolvek::web::Engine>(kDataDirectory);
    }
    return *engine;
}

val Strings(const std::vector<std::string>& items) {
    val array = val::array();
    for (const std::string& item : items) {
        array.call<void>("push", item);
    }
    return array;
}

tolvek::InputFormat FormatOf(int format) {
    switch (format) {
        case 1:
            return tolvek::InputFormat::kInhx8s;
        case 2:
            return tolvek::InputFormat::kInhx32;
        default:
            return tolvek::InputFormat::kInhx8m;
    }
}

std::string UseBuiltInChipData() {
    std::string error;
    Get().UseBuiltInChipData(error);
    return error;
}

std::string UseChipData(const std::string& path) {
    std::string error;
    Get().UseChipData(path, error);
    return error;
}

void UseNoChipData() {
    Get().UseNoChipData();
}

val Chips() {
    return Strings(Get().Chips());
}

val Parts() {
    std::string error;
    val result = val::object();
    result.set("names", Strings(Get().Parts(error)));
    result.set("error", error);
    return result;
}

std::string RunInput(val files, int format) {
    std::vector<std::string> names;
    const unsigned count = files["length"].as<unsigned>();
    for (unsigned i = 0; i < count; ++i) {
        names.push_back(files[i].as<std::string>());
    }
    return tolvek::web::Engine::RunInput(names, FormatOf(format));
}

std::string SymbolFileFor(const std::string& input) {
    return tolvek::web::Engine::SymbolFileFor(input);
}

val RunListing(const std::string& input, int format, const std::string& chip) {
    const tolvek::web::ListingResult run = Get().RunListing(input, FormatOf(format), chip);
    const tolvek::Outcome& outcome = run.outcome;
    val result = val::object();
    result.set("code", outcome.code);
    result.set("status", outcome.statusText);
    result.set("statusRed", outcome.statusRed);
    result.set("panel", outcome.panelVisible);
    result.set("lineVisible", outcome.lineVisible);
    result.set("lineNumber", outcome.lineNumber);
    result.set("line", outcome.line);
    val legend = val::array();
    for (std::size_t i = 0; i < tolvek::kLegendTexts.size(); ++i) {
        val field = val::object();
        field.set("text", std::string(tolvek::kLegendTexts[i]));
        field.set("red", outcome.colors.red[i]);
        legend.call<void>("push", field);
    }
    result.set("legend", legend);
    result.set("inhx32Hint", run.inhx32Hint);
    result.set("output", run.outputFile);
    result.set("chipMessages", run.chipMessages);
    return result;
}

val RunSource(const std::string& input, bool split, const std::string& part,
              const std::string& symbols) {
    const tolvek::web::SourceResult run = Get().RunSource(input, split, part, symbols);
    val result = val::object();
    result.set("written", run.written);
    result.set("status", run.status);
    result.set("output", run.outputFile);
    return result;
}

std::string Open(const std::string& path, const std::string& symbols) {
    return Get().Open(path, symbols);
}

// The text on view, LF line ends, as bytes: the page reads one character a byte.
val Text() {
    const std::string& text = Get().View().Text();
    return val(emscripten::typed_memory_view(text.size(), text.data()));
}

int LineCount() {
    return static_cast<int>(Get().View().LineCount());
}

// The word address of every line, -1 where a line has none.
val Addresses() {
    const tolvek::browse::Document& view = Get().View();
    val array = val::global("Int32Array").new_(view.LineCount());
    for (std::size_t i = 0; i < view.LineCount(); ++i) {
        array.set(i, view.AddressOf(i));
    }
    return array;
}

// Four numbers a piece of the line: start, length, role and whether it links.
val Tokens(int line) {
    std::vector<unsigned> flat;
    if (line >= 0 && static_cast<std::size_t>(line) < Get().View().LineCount()) {
        for (const tolvek::browse::Token& token : Get().View().Tokens(line)) {
            flat.insert(flat.end(), {token.start, token.length, static_cast<unsigned>(token.role),
                                     token.link ? 1U : 0U});
        }
    }
    val array = val::global("Uint32Array").new_(flat.size());
    for (std::size_t i = 0; i < flat.size(); ++i) {
        array.set(i, flat[i]);
    }
    return array;
}

val Labels() {
    val array = val::array();
    for (const tolvek::browse::Label& label : Get().View().Labels()) {
        val item = val::object();
        item.set("name", label.name);
        item.set("address", label.address);
        item.set("line", static_cast<int>(label.line));
        item.set("function", label.function);
        item.set("uses", static_cast<int>(label.refs.size()));
        array.call<void>("push", item);
    }
    return array;
}

int LabelBefore(int line) {
    return line < 0 ? -1 : Get().View().LabelBefore(static_cast<std::size_t>(line));
}

val References(int label) {
    val array = val::array();
    for (const tolvek::web::Reference& ref : Get().References(label)) {
        val item = val::object();
        item.set("from", ref.from);
        item.set("kind", std::string(ref.kind == tolvek::browse::RefKind::Call   ? "call"
                                     : ref.kind == tolvek::browse::RefKind::Jump ? "jump"
                                                                                 : "use"));
        item.set("line", ref.line);
        item.set("instruction", ref.instruction);
        array.call<void>("push", item);
    }
    return array;
}

int TargetAt(int line, int column) {
    if (line < 0 || column < 0) {
        return -1;
    }
    return Get().View().TargetAt(static_cast<std::size_t>(line), static_cast<std::size_t>(column));
}

val GoTo(const std::string& text) {
    const tolvek::web::Place place = Get().GoTo(text);
    val result = val::object();
    result.set("line", place.line);
    result.set("status", place.status);
    return result;
}

std::string CursorText(int line) {
    return line < 0 ? std::string() : Get().CursorText(static_cast<std::size_t>(line));
}

val RenameTargetAt(int line, int column) {
    val result = val::object();
    std::string why;
    const auto target = line < 0 || column < 0
                            ? std::nullopt
                            : Get().View().RenameTargetAt(static_cast<std::size_t>(line),
                                                          static_cast<std::size_t>(column), &why);
    result.set("ok", target.has_value());
    result.set("why", why);
    if (target) {
        result.set("label", target->kind == tolvek::browse::RenameTarget::Kind::Label);
        result.set("address", target->address);
        result.set("name", target->name);
    }
    return result;
}

val Rename(int line, int column, const std::string& name, const std::string& symbols) {
    val result = val::object();
    if (line < 0 || column < 0) {
        result.set("error", std::string("Nothing to rename here."));
        return result;
    }
    tolvek::web::Engine::RenameReport report = Get().Rename(
        static_cast<std::size_t>(line), static_cast<std::size_t>(column), name, symbols);
    result.set("error", report.error);
    result.set("status", report.status);
    result.set("changed", report.changed);
    if (report.changed) {
        lastMoves = std::move(report.moved);
    }
    return result;
}

// Where a line of the text before the last rename stands now.
int Moved(int line) {
    return line < 0 ? line : static_cast<int>(lastMoves.Moved(static_cast<std::size_t>(line)));
}

}  // namespace

EMSCRIPTEN_BINDINGS(tolvek) {
    emscripten::function("useBuiltInChipData", &UseBuiltInChipData);
    emscripten::function("useChipData", &UseChipData);
    emscripten::function("useNoChipData", &UseNoChipData);
    emscripten::function("chips", &Chips);
    emscripten::function("parts", &Parts);
    emscripten::function("runInput", &RunInput);
    emscripten::function("symbolFileFor", &SymbolFileFor);
    emscripten::function("runListing", &RunListing);
    emscripten::function("runSource", &RunSource);
    emscripten::function("open", &Open);
    emscripten::function("text", &Text);
    emscripten::function("lineCount", &LineCount);
    emscripten::function("addresses", &Addresses);
    emscripten::function("tokens", &Tokens);
    emscripten::function("labels", &Labels);
    emscripten::function("labelBefore", &LabelBefore);
    emscripten::function("references", &References);
    emscripten::function("targetAt", &TargetAt);
    emscripten::function("goTo", &GoTo);
    emscripten::function("cursorText", &CursorText);
    emscripten::function("renameTargetAt", &RenameTargetAt);
    emscripten::function("rename", &Rename);
    emscripten::function("moved", &Moved);
}
