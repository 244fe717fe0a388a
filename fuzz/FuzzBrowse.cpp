// Fuzz target: the listing window's reading of a listing or source, over
// arbitrary bytes.
//
// The first byte chooses the format (bit 0) and a column, and through it the
// line to click on at that column and to rename at; the rest is the text.
// Properties: every token and target stays inside the text, a rename is
// accepted only for a name that passes the checks, and the renamed text holds
// the new name.
//
// Every line is read when the document is parsed; the questions of single
// lines are asked of one, and the renamed text is not parsed again, so that an
// input costs one reading of its document. Most of an input's cost is
// libFuzzer's bookkeeping of each branch the input took, so asking more lines
// of the same document bought little: any line is reached through the column.
#include <string>
#include <string_view>

#include "browse/Document.h"
#include "fuzz/FuzzSupport.h"

using tolvek::browse::Document;
using tolvek::browse::Format;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const Format format = (data[0] & 1) != 0 ? Format::Source : Format::Classic;
    const std::size_t column = data[0] >> 1;
    const Document doc =
        Document::Parse(std::string(reinterpret_cast<const char*>(data) + 1, size - 1), format);
    const int lines = static_cast<int>(doc.LineCount());
    if (doc.LineCount() != 0) {
        const std::size_t line = column % doc.LineCount();
        const std::string_view shown = doc.Line(line);
        for (const tolvek::browse::Token& token : doc.Tokens(line)) {
            TOLVEK_FUZZ_CHECK(token.length > 0 && token.start + token.length <= shown.size());
        }
        const int target = doc.TargetAt(line, column);
        TOLVEK_FUZZ_CHECK(target >= -1 && target < lines);
        std::string why;
        if (const auto rename = doc.RenameTargetAt(line, column, &why)) {
            const std::string name = "fuzz_name";
            if (doc.CheckName(*rename, name).empty()) {
                tolvek::browse::Renames renames;
                if (rename->name.empty()) {
                    renames.locations.emplace(rename->address, name);
                } else {
                    renames.names.emplace(rename->name, name);
                }
                TOLVEK_FUZZ_CHECK(doc.Renamed(renames).find(name) != std::string::npos);
            }
        } else {
            TOLVEK_FUZZ_CHECK(!why.empty());
        }
    }
    for (const tolvek::browse::Label& label : doc.Labels()) {
        TOLVEK_FUZZ_CHECK(label.line < doc.LineCount());
        TOLVEK_FUZZ_CHECK(label.address < 0 ||
                          doc.LineOfAddress(static_cast<unsigned>(label.address)) >= 0);
    }

    return 0;
}
