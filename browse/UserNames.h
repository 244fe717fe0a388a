// What the user's names do to a listing or source on view: the names of a
// symbol file put into it, and one rename with the symbol file kept in step.
// The listing window and the browser page both work through these.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "base/SymbolFile.h"
#include "browse/Document.h"

namespace tolvek::browse {

// What reading the names found besides them.
struct NamesRead {
    bool tolveks = true;               // the file starts with the header line
    std::optional<SymbolFault> fault;  // the first faulty line
};

// The document with a symbol file's names put in: each label entry renames the
// label at its address where the name is allowed there, each data memory entry
// names its location (and gives it the name's EQU line). A file that is not
// Tolvek's gives no names unless the user named it (anyFile).
Document WithUserNames(Document document, std::string_view symbols, bool anyFile, NamesRead* read);

struct RenameOutcome {
    std::string error;                // why nothing was renamed; empty when it was
    bool changed = false;             // false when the name was the target's already
    std::string name;                 // the new name, trimmed
    std::string symbols;              // the symbol file's text with the new name in it
    Document document;                // the renamed document, when changed
    Document::Insertions insertions;  // where its lines moved
};

// Renames the label or data memory location at the column of the line to name.
// A name that is the generated one takes the entry out of the symbol file.
RenameOutcome RenameAt(const Document& document, std::size_t line, std::size_t column,
                       std::string_view name, std::string_view symbols);

}  // namespace tolvek::browse
