#include "browse/UserNames.h"

#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tolvek::browse {

namespace {

std::unordered_map<std::string, unsigned> UserLocations(const std::vector<SymbolEntry>& entries) {
    std::unordered_map<std::string, unsigned> locations;
    for (const SymbolEntry& entry : entries) {
        if (entry.kind == SymbolKind::Ram) {
            locations.emplace(entry.text, entry.address);
        }
    }
    return locations;
}

std::string_view Trimmed(std::string_view text) {
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && space(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && space(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

Document WithUserNames(Document document, std::string_view symbols, bool anyFile, NamesRead* read) {
    SymbolFile parsed = ReadSymbolFile(symbols);
    if (read != nullptr) {
        read->tolveks = parsed.header;
        read->fault.reset();
        if (!parsed.faults.empty()) {
            read->fault = parsed.faults.front();
        }
    }
    if (!parsed.header && !anyFile) {
        parsed.entries.clear();
    }
    Renames renames;
    std::set<std::string> given;
    for (const SymbolEntry& entry : parsed.entries) {
        if (entry.kind == SymbolKind::Ram) {
            if (given.insert(entry.text).second) {
                renames.locations.emplace(entry.address, entry.text);
            }
            continue;
        }
        if (entry.kind != SymbolKind::Label) {
            continue;
        }
        const int label = document.LabelAtAddress(entry.address);
        if (label < 0) {
            continue;
        }
        const Label& old = document.Labels()[static_cast<std::size_t>(label)];
        const RenameTarget target{RenameTarget::Kind::Label, entry.address, old.name};
        if (old.name != entry.text && document.CheckName(target, entry.text).empty() &&
            given.insert(entry.text).second) {
            renames.names.emplace(old.name, entry.text);
        }
    }
    if (!renames.names.empty() || !renames.locations.empty()) {
        const Format format = document.GetFormat();
        document = Document::Parse(document.Renamed(renames), format);
    }
    document.SetUserLocations(UserLocations(parsed.entries));
    return document;
}

RenameOutcome RenameAt(const Document& document, std::size_t line, std::size_t column,
                       std::string_view name, std::string_view symbols) {
    RenameOutcome outcome;
    const std::optional<RenameTarget> target =
        document.RenameTargetAt(line, column, &outcome.error);
    if (!target) {
        return outcome;
    }
    outcome.error.clear();
    outcome.name = std::string(Trimmed(name));
    outcome.error = document.CheckName(*target, outcome.name);
    if (!outcome.error.empty() || outcome.name == target->name) {
        outcome.symbols = std::string(symbols);
        return outcome;
    }
    const bool generated = outcome.name == document.GeneratedName(*target);
    const auto kind =
        target->kind == RenameTarget::Kind::Label ? SymbolKind::Label : SymbolKind::Ram;
    outcome.symbols =
        UpdateSymbolFile(symbols, kind, target->address,
                         generated ? std::nullopt : std::optional<std::string_view>(outcome.name));
    Renames renames;
    if (target->name.empty()) {
        renames.locations.emplace(target->address, outcome.name);
    } else {
        renames.names.emplace(target->name, outcome.name);
    }
    outcome.document =
        Document::Parse(document.Renamed(renames, &outcome.insertions), document.GetFormat());
    outcome.document.SetUserLocations(UserLocations(ReadSymbolFile(outcome.symbols).entries));
    outcome.changed = true;
    return outcome;
}

}  // namespace tolvek::browse
