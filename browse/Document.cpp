#include "browse/Document.h"

#include <algorithm>
#include <cstdio>

#include "browse/Scan.h"
#include "isa/Isa.h"

namespace tolvek::browse {

Format FormatOfPath(std::string_view path) {
    return path.size() >= 4 && EqualNoCase(path.substr(path.size() - 4), ".asm") ? Format::Source
                                                                                 : Format::Classic;
}

bool IsIdentifier(std::string_view name) {
    return !name.empty() && name.size() <= 32 && IsIdentStart(name[0]) &&
           std::all_of(name.begin(), name.end(), IsIdentChar);
}

void Document::ScanLine(std::size_t line, LineScan& scan) const {
    browse::ScanLine(Line(line), format_, scan);
}

Role Document::RoleOf(const LineScan& scan, const LinePiece& piece) const {
    switch (piece.type) {
        case PieceType::LabelDef:
            return Role::Label;
        case PieceType::Word:
            return scan.op != nullptr ? Role::Mnemonic
                   : scan.directive   ? Role::Directive
                                      : Role::Plain;
        case PieceType::Number:
            return Role::Number;
        case PieceType::Punct:
            return Role::Plain;
        case PieceType::Comment:
            return Role::Comment;
        case PieceType::OwnAddress:
        case PieceType::XrefAddress:
            return Role::Address;
        case PieceType::NoteText:
            return Role::Note;
        case PieceType::EquName:
        case PieceType::Ident:
        case PieceType::NoteIdent:
            break;
    }
    const std::string name(scan.TextOf(piece));
    if (piece.type != PieceType::EquName && labelIndex_.count(name) != 0) {
        return Role::Label;
    }
    if (const auto it = names_.find(name); it != names_.end()) {
        return it->second.role;
    }
    if (piece.type == PieceType::Ident && scan.op != nullptr) {
        if (piece.operand == 0 && (FileForm(scan.op->form) || scan.op->form == isa::Form::Tris)) {
            return Role::Register;
        }
        if (piece.operand == 1 && scan.op->form == isa::Form::FileBit) {
            return Role::Bit;
        }
    }
    return piece.type == PieceType::NoteIdent ? Role::Note : Role::Plain;
}

// ---- parsing

// An operand of an instruction that may name a label or an EQU name, as the
// first reading of its line found it.
struct Document::OperandUse {
    std::uint32_t at = 0;  // in text_
    std::uint32_t length = 0;
    unsigned address = 0;  // of its word
    const OpInfo* op = nullptr;
    PieceType type = PieceType::Ident;
    std::int8_t operand = 0;
};

Document Document::Parse(std::string text, Format format) {
    Document doc;
    doc.format_ = format;
    // LF line ends only, so that columns and lines match what a text view shows
    if (const std::size_t cr = text.find('\r'); cr != std::string::npos) {
        text.erase(std::remove(text.begin() + static_cast<long>(cr), text.end(), '\r'), text.end());
    }
    doc.text_ = std::move(text);
    const std::string& all = doc.text_;
    std::size_t lineEnds = 0;
    for (std::size_t at = all.find('\n'); at != std::string::npos; at = all.find('\n', at + 1)) {
        ++lineEnds;
    }
    doc.lines_.reserve(lineEnds + 1);
    std::size_t begin = 0;
    while (begin < all.size()) {
        std::size_t end = all.find('\n', begin);
        if (end == std::string::npos) {
            end = all.size();
        }
        doc.lines_.push_back(
            {static_cast<std::uint32_t>(begin), static_cast<std::uint32_t>(end), -1});
        begin = end + 1;
    }
    std::vector<OperandUse> uses;
    doc.FindAddressesAndLabels(uses);
    doc.FindReferences(uses);
    return doc;
}

std::string_view Document::Line(std::size_t index) const {
    const LineInfo& line = lines_[index];
    return std::string_view(text_).substr(line.begin, line.end - line.begin);
}

int Document::AddressOf(std::size_t line) const {
    return line < lines_.size() ? lines_[line].address : -1;
}

void Document::FindAddressesAndLabels(std::vector<OperandUse>& uses) {
    LineScan scan;
    long counter = -1;
    std::vector<int> pending;  // labels waiting for the word they stand on
    Role sectionRole = Role::Register;
    std::string lowered;  // a comment's text in lower case, kept between lines
    const auto lower = [&lowered](std::string_view text) -> const std::string& {
        lowered.assign(text);
        for (char& c : lowered) {
            c = Lower(c);
        }
        return lowered;
    };
    for (std::size_t index = 0; index < lines_.size(); ++index) {
        ScanLine(index, scan);
        if (scan.commentOnly && scan.commentStart < scan.text.size()) {
            // a header's section heading says what the EQU lines under it name
            const std::string& heading = lower(scan.text.substr(scan.commentStart));
            if (heading.find("bits") != std::string::npos) {
                sectionRole = Role::Bit;
            } else if (heading.find("register") != std::string::npos ||
                       heading.find("data memory") != std::string::npos) {
                sectionRole = Role::Register;
            }
        }
        if (scan.equName >= 0) {
            NameInfo info{sectionRole, -1, static_cast<std::uint32_t>(index)};
            for (const LinePiece& piece : scan.pieces) {
                if (piece.type == PieceType::Number) {
                    info.value = NumberValue(scan.TextOf(piece));
                    break;
                }
            }
            names_.emplace(std::string(scan.TextOf(scan.pieces[scan.equName])), info);
        }
        if (scan.labelDef >= 0) {
            const std::string name(scan.TextOf(scan.pieces[scan.labelDef]));
            if (labelIndex_.emplace(name, static_cast<int>(labels_.size())).second) {
                pending.push_back(static_cast<int>(labels_.size()));
                labels_.push_back({name, -1, index, false, {}});
            }
        }
        int address = -1;
        if (format_ == Format::Source) {
            if (scan.word >= 0) {
                address = scan.ownAddress;
            }
        } else {
            const std::string_view word = scan.WordText();
            if (scan.directive && EqualNoCase(word, "org")) {
                counter = -1;
                for (const LinePiece& piece : scan.pieces) {
                    if (piece.type == PieceType::Number) {
                        counter = NumberValue(scan.TextOf(piece));
                        break;
                    }
                }
            } else if (scan.directive && EqualNoCase(word, "end")) {
                counter = -1;
            } else if (scan.op != nullptr) {
                // a label names its word's address: unprogrammed words leave gaps
                // that the listing does not show, so counting alone can drift
                if (scan.labelDef >= 0) {
                    const std::string_view name = scan.TextOf(scan.pieces[scan.labelDef]);
                    if (IsClassicLabel(name)) {
                        counter = FourHex(name.substr(2));
                    }
                }
                if (counter >= 0) {
                    address = static_cast<int>(counter++);
                }
            }
        }
        if (address >= 0) {
            lines_[index].address = address;
            byAddress_.emplace_back(static_cast<unsigned>(address),
                                    static_cast<std::uint32_t>(index));
            for (const int label : pending) {
                labels_[label].address = address;
            }
            pending.clear();
            for (const LinePiece& piece : scan.pieces) {
                if (scan.op != nullptr && piece.operand >= 0 &&
                    (piece.type == PieceType::Ident ||
                     (piece.type == PieceType::Number && TargetFlow(scan.op->flow)))) {
                    uses.push_back({lines_[index].begin + piece.start, piece.length,
                                    static_cast<unsigned>(address), scan.op, piece.type,
                                    piece.operand});
                }
            }
        }
        if (scan.xref && scan.labelDef >= 0) {
            Label& label =
                labels_[labelIndex_[std::string(scan.TextOf(scan.pieces[scan.labelDef]))]];
            RefKind kind = RefKind::Jump;
            for (const LinePiece& piece : scan.pieces) {
                const std::string_view text = scan.TextOf(piece);
                if (piece.type == PieceType::NoteText) {
                    const auto called = lower(text).rfind("called from");
                    const auto jumped = lowered.rfind("jumped to from");
                    if (called != std::string::npos || jumped != std::string::npos) {
                        kind = called != std::string::npos &&
                                       (jumped == std::string::npos || called > jumped)
                                   ? RefKind::Call
                                   : RefKind::Jump;
                    }
                } else if (piece.type == PieceType::XrefAddress) {
                    label.refs.push_back({FourHex(text), kind});
                }
            }
        }
    }
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        if (labels_[i].address >= 0) {
            labelByAddress_.emplace(static_cast<unsigned>(labels_[i].address), static_cast<int>(i));
        }
    }
}

void Document::FindReferences(const std::vector<OperandUse>& uses) {
    for (const OperandUse& use : uses) {
        const std::string_view text = std::string_view(text_).substr(use.at, use.length);
        int label = -1;
        if (use.type == PieceType::Ident) {
            const std::string name(text);
            if (const auto it = labelIndex_.find(name); it != labelIndex_.end()) {
                label = it->second;
            } else if (const auto known = names_.find(name); known != names_.end()) {
                // EQU names used in an operand's place tell what they name
                if (use.operand == 1 && use.op->form == isa::Form::FileBit) {
                    known->second.role = Role::Bit;
                } else if (use.operand == 0 && FileForm(use.op->form)) {
                    known->second.role = Role::Register;
                }
            }
        } else {
            const long value = NumberValue(text);
            label = value < 0 ? -1 : LabelAtAddress(static_cast<unsigned>(value));
        }
        if (label >= 0) {
            labels_[label].refs.push_back({use.address, KindOf(use.op->flow)});
        }
    }
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        Label& label = labels_[i];
        auto& refs = label.refs;
        std::sort(refs.begin(), refs.end(), [](const Reference& a, const Reference& b) {
            return a.from != b.from ? a.from < b.from : a.kind < b.kind;
        });
        refs.erase(
            std::unique(refs.begin(), refs.end(),
                        [](const Reference& a, const Reference& b) { return a.from == b.from; }),
            refs.end());
        label.function = label.name.rfind("function_", 0) == 0 ||
                         std::any_of(refs.begin(), refs.end(),
                                     [](const Reference& r) { return r.kind == RefKind::Call; });
        if (label.address >= 0) {
            byAddress_.emplace_back(static_cast<unsigned>(label.address),
                                    static_cast<std::uint32_t>(label.line));
        }
    }
    // by address, then by line: a label stands above its word, so a jump to an
    // address shows the label
    std::sort(byAddress_.begin(), byAddress_.end());
}

int Document::LineOfAddress(unsigned address, bool nearest) const {
    const auto it = std::lower_bound(byAddress_.begin(), byAddress_.end(), address,
                                     [](const auto& entry, unsigned a) { return entry.first < a; });
    if (it == byAddress_.end() || (it->first != address && !nearest)) {
        return -1;
    }
    return static_cast<int>(it->second);
}

int Document::LineOfWord(unsigned address) const {
    auto it = std::lower_bound(byAddress_.begin(), byAddress_.end(), address,
                               [](const auto& entry, unsigned a) { return entry.first < a; });
    for (; it != byAddress_.end() && it->first == address; ++it) {
        if (lines_[it->second].address >= 0) {
            return static_cast<int>(it->second);
        }
    }
    return -1;
}

int Document::FindLabel(std::string_view name) const {
    const auto it = labelIndex_.find(std::string(name));
    return it == labelIndex_.end() ? -1 : it->second;
}

int Document::LabelAtAddress(unsigned address) const {
    const auto it = labelByAddress_.find(address);
    return it == labelByAddress_.end() ? -1 : it->second;
}

int Document::LabelBefore(std::size_t line) const {
    const auto it =
        std::upper_bound(labels_.begin(), labels_.end(), line,
                         [](std::size_t l, const Label& label) { return l < label.line; });
    return it == labels_.begin() ? -1 : static_cast<int>(it - labels_.begin()) - 1;
}

std::vector<Token> Document::Tokens(std::size_t line) const {
    LineScan scan;
    ScanLine(line, scan);
    std::vector<Token> tokens;
    tokens.reserve(scan.pieces.size());
    for (const LinePiece& piece : scan.pieces) {
        const Role role = RoleOf(scan, piece);
        const bool link =
            piece.type == PieceType::XrefAddress ||
            (role == Role::Label && piece.type != PieceType::LabelDef) ||
            (piece.type == PieceType::Number && scan.op != nullptr && TargetFlow(scan.op->flow));
        tokens.push_back({piece.start, piece.length, role, link});
    }
    return tokens;
}

int Document::TargetAt(std::size_t line, std::size_t column) const {
    if (line >= lines_.size()) {
        return -1;
    }
    LineScan scan;
    ScanLine(line, scan);
    for (const LinePiece& piece : scan.pieces) {
        if (column < piece.start || column >= piece.start + piece.length) {
            continue;
        }
        const std::string_view text = scan.TextOf(piece);
        switch (piece.type) {
            case PieceType::Ident:
            case PieceType::NoteIdent: {
                const int label = FindLabel(text);
                return label < 0 ? -1 : static_cast<int>(labels_[label].line);
            }
            case PieceType::Number: {
                const long value = NumberValue(text);
                return scan.op != nullptr && TargetFlow(scan.op->flow) && value >= 0
                           ? LineOfAddress(static_cast<unsigned>(value))
                           : -1;
            }
            case PieceType::XrefAddress:
                return LineOfAddress(FourHex(text));
            default:
                return -1;
        }
    }
    return -1;
}

std::optional<RenameTarget> Document::RenameTargetAt(std::size_t line, std::size_t column,
                                                     std::string* why) const {
    auto refuse = [why](std::string reason) -> std::optional<RenameTarget> {
        if (why != nullptr) {
            *why = std::move(reason);
        }
        return std::nullopt;
    };
    if (line >= lines_.size()) {
        return refuse("There is nothing to rename here.");
    }
    LineScan scan;
    ScanLine(line, scan);
    for (const LinePiece& piece : scan.pieces) {
        if (column < piece.start || column > piece.start + piece.length) {
            continue;
        }
        const std::string name(scan.TextOf(piece));
        switch (piece.type) {
            case PieceType::LabelDef:
            case PieceType::Ident:
            case PieceType::NoteIdent:
            case PieceType::EquName: {
                if (const int label = FindLabel(name);
                    label >= 0 && piece.type != PieceType::EquName) {
                    if (labels_[label].address < 0) {
                        return refuse("No word follows the label " + name + ".");
                    }
                    return RenameTarget{RenameTarget::Kind::Label,
                                        static_cast<unsigned>(labels_[label].address), name};
                }
                if (const auto it = userLocations_.find(name); it != userLocations_.end()) {
                    return RenameTarget{RenameTarget::Kind::Ram, it->second, name};
                }
                if (const long ram = SourceRamAddress(name);
                    ram >= 0 && format_ == Format::Source && names_.count(name) != 0) {
                    return RenameTarget{RenameTarget::Kind::Ram, static_cast<unsigned>(ram), name};
                }
                if (names_.count(name) != 0) {
                    return refuse(name +
                                  " is the chip's own name; only labels and data memory "
                                  "locations can be renamed.");
                }
                break;
            }
            case PieceType::Number: {
                const long value = NumberValue(name);
                if (scan.op != nullptr && piece.operand == 0 && FileForm(scan.op->form) &&
                    value >= 0) {
                    return RenameTarget{RenameTarget::Kind::Ram, static_cast<unsigned>(value), {}};
                }
                break;
            }
            default:
                break;
        }
    }
    return refuse("Put the cursor on a label or on a data memory location to rename it.");
}

std::string Document::GeneratedName(const RenameTarget& target) const {
    if (target.kind == RenameTarget::Kind::Ram) {
        // a location the source named itself gets that name back
        return SourceRamAddress(target.name) >= 0 ? target.name : std::string();
    }
    if (format_ == Format::Classic) {
        return HexText("ad%04X", target.address);
    }
    const int label = LabelAtAddress(target.address);
    const bool function = label >= 0 && labels_[label].function;
    return HexText(function ? "function_%04X" : "label_%04X", target.address);
}

bool Document::IsKnownName(std::string_view name, std::string_view except) const {
    auto clash = [&](std::string_view other) {
        return other != except && EqualNoCase(other, name);
    };
    return std::any_of(labels_.begin(), labels_.end(),
                       [&](const Label& l) { return clash(l.name); }) ||
           std::any_of(names_.begin(), names_.end(),
                       [&](const auto& n) { return clash(n.first); }) ||
           std::any_of(userLocations_.begin(), userLocations_.end(),
                       [&](const auto& n) { return clash(n.first); });
}

std::string Document::CheckName(const RenameTarget& target, std::string_view name) const {
    std::string quoted = "\"";
    quoted.append(name);
    quoted += '"';
    if (!IsIdentifier(name)) {
        return "A name starts with a letter or '_' and holds only letters, digits and '_', at "
               "most 32 characters.";
    }
    if (name == target.name || name == GeneratedName(target)) {
        return {};
    }
    if (IsClassicLabel(name) || IsSourceLabel(name) || SourceRamAddress(name) >= 0) {
        return quoted + " has the form of the disassembler's own labels.";
    }
    if (FindOp(name) != nullptr || IsDirective(name) || EqualNoCase(name, "w") ||
        EqualNoCase(name, "f")) {
        return quoted + " is an instruction or a directive.";
    }
    if (IsKnownName(name, target.name)) {
        return quoted + " is already in use.";
    }
    return {};
}

std::size_t Document::Insertions::Moved(std::size_t line) const {
    std::size_t moved = line;
    for (const auto& [at, count] : before) {
        if (at <= line) {
            moved += count;
        }
    }
    return moved;
}

std::map<std::size_t, std::vector<std::string>> Document::EquLines(
    const std::vector<std::pair<unsigned, std::string>>& equs) const {
    std::map<std::size_t, std::vector<std::string>> before;
    if (equs.empty()) {
        return before;
    }
    std::vector<long> equValue(lines_.size(), -2);  // -2: no EQU line
    std::size_t lastEqu = lines_.size();
    for (const auto& [name, info] : names_) {
        equValue[info.line] = info.value;
        if (lastEqu == lines_.size() || info.line > lastEqu) {
            lastEqu = info.line;
        }
    }
    // in the layout of the last EQU line
    std::size_t column = format_ == Format::Classic ? 13 : 16;
    std::string keyword = format_ == Format::Classic ? "EQU " : "EQU     ";
    LineScan scan;
    if (lastEqu < lines_.size()) {
        ScanLine(lastEqu, scan);
        if (scan.word >= 0) {
            const LinePiece& word = scan.pieces[static_cast<std::size_t>(scan.word)];
            column = word.start;
            std::size_t value = word.start + word.length;
            while (value < scan.text.size() && scan.text[value] == ' ') {
                ++value;
            }
            keyword = std::string(scan.text.substr(word.start, value - word.start));
        }
    }
    auto equLine = [&](unsigned address, const std::string& name) {
        std::string line = name;
        line.append(column > line.size() ? column - line.size() : 1, ' ');
        line += keyword;
        line += HexText(format_ == Format::Classic ? "0x%04X"
                        : address > 0xFF           ? "0x%03X"
                                                   : "0x%02X",
                        address);
        return line;
    };
    // The source keeps the user's locations in a section of their own, by address:
    // after a line that holds only the comment "data memory" (a line of blanks
    // and a comment needs no reading of its words)
    std::size_t heading = 0;
    while (heading < lines_.size()) {
        std::string_view text = Line(heading);
        while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
            text.remove_prefix(1);
        }
        if (!text.empty() && text.front() == ';') {
            text.remove_prefix(1);
            while (!text.empty() && text.front() == ' ') {
                text.remove_prefix(1);
            }
            if (EqualNoCase(text, "data memory")) {
                break;
            }
        }
        ++heading;
    }
    if (heading < lines_.size()) {
        std::size_t end = heading + 1;
        while (end < lines_.size() && equValue[end] != -2) {
            ++end;
        }
        for (const auto& [address, name] : equs) {
            std::size_t at = heading + 1;
            while (at < end && equValue[at] <= static_cast<long>(address)) {
                ++at;
            }
            before[at].push_back(equLine(address, name));
        }
        return before;
    }
    std::vector<std::string> section;
    std::size_t at = lastEqu + 1;
    if (lastEqu < lines_.size()) {
        if (format_ == Format::Source) {
            section = {"", "; data memory"};
        }
    } else {
        // no EQU lines: before the first org or word
        for (at = 0; at < lines_.size(); ++at) {
            ScanLine(at, scan);
            if (lines_[at].address >= 0 || scan.labelDef >= 0 ||
                (scan.directive && EqualNoCase(scan.WordText(), "org"))) {
                break;
            }
        }
        if (format_ == Format::Source) {
            section = {"; data memory"};
        }
    }
    for (const auto& [address, name] : equs) {
        section.push_back(equLine(address, name));
    }
    if (lastEqu == lines_.size() && format_ == Format::Source) {
        section.emplace_back();
    }
    before[at] = std::move(section);
    return before;
}

std::string Document::Renamed(const Renames& renames, Insertions* insertions) const {
    std::string out;
    out.reserve(text_.size() + 64 * renames.locations.size());
    // The EQU lines that named locations need, and where they go.
    std::vector<std::pair<unsigned, std::string>> equs;
    for (const auto& [address, name] : renames.locations) {
        if (names_.count(name) == 0) {
            equs.emplace_back(address, name);
        }
    }
    const auto before = EquLines(equs);
    if (insertions != nullptr) {
        insertions->before.clear();
        for (const auto& [at, lines] : before) {
            insertions->before[at] = lines.size();
        }
    }
    auto insertHere = [&](std::size_t index) {
        if (const auto it = before.find(index); it != before.end()) {
            for (const std::string& line : it->second) {
                out += line;
                out += '\n';
            }
        }
    };

    LineScan scan;
    for (std::size_t index = 0; index < lines_.size(); ++index) {
        if (index > 0) {
            out += '\n';
        }
        insertHere(index);
        ScanLine(index, scan);
        const std::string_view line = scan.text;
        // How much longer the line has grown; the next run of blanks before more
        // text takes it back, so that the comment column stays where it was.
        long grown = 0;
        auto copy = [&](std::size_t from, std::size_t to) {
            for (std::size_t i = from; i < to;) {
                std::size_t blanks = i;
                while (blanks < to && line[blanks] == ' ') {
                    ++blanks;
                }
                const long run = static_cast<long>(blanks - i);
                if (grown != 0 && run >= 2 && blanks < line.size()) {
                    const long kept = std::max(1L, run - grown);
                    out.append(static_cast<std::size_t>(kept), ' ');
                    grown -= run - kept;
                    i = blanks;
                } else if (blanks > i) {
                    out.append(line.substr(i, blanks - i));
                    i = blanks;
                } else {
                    // the text up to the next blank, at once
                    const std::size_t next = std::min(line.find(' ', i), to);
                    out.append(line.substr(i, next - i));
                    i = next;
                }
            }
        };
        std::size_t copied = 0;
        for (const LinePiece& piece : scan.pieces) {
            const std::string_view text = scan.TextOf(piece);
            const std::string* replacement = nullptr;
            switch (piece.type) {
                case PieceType::LabelDef:
                case PieceType::EquName:
                case PieceType::Ident:
                case PieceType::NoteIdent:
                    if (const auto it = renames.names.find(std::string(text));
                        it != renames.names.end()) {
                        replacement = &it->second;
                    }
                    break;
                case PieceType::Number:
                    if (scan.op != nullptr && piece.operand == 0 && FileForm(scan.op->form)) {
                        const long value = NumberValue(text);
                        if (const auto it = renames.locations.find(static_cast<unsigned>(value));
                            value >= 0 && it != renames.locations.end()) {
                            replacement = &it->second;
                        }
                    }
                    break;
                default:
                    break;
            }
            if (replacement == nullptr) {
                continue;
            }
            copy(copied, piece.start);
            out += *replacement;
            // a label alone on its line keeps its two blanks before the comment
            if (piece.type != PieceType::LabelDef || scan.word >= 0) {
                grown += static_cast<long>(replacement->size()) - static_cast<long>(text.size());
            }
            copied = piece.start + piece.length;
        }
        copy(copied, line.size());
    }
    if (!text_.empty() && text_.back() == '\n') {
        out += '\n';
    }
    if (before.count(lines_.size()) != 0) {
        if (!out.empty() && out.back() != '\n') {
            out += '\n';
        }
        insertHere(lines_.size());
    }
    return out;
}

namespace {

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// The first word after `keyword` and blanks, or an empty text.
std::string_view WordAfter(std::string_view text, std::size_t keyword) {
    std::string_view rest = Trimmed(text.substr(keyword));
    const std::size_t end = rest.find_first_of(" \t;");
    return rest.substr(0, end);
}

// The header lines a source or listing states what it is in.
constexpr std::size_t kHeaderLines = 40;

}  // namespace

Document::Origin Document::SourceOrigin() const {
    Origin origin;
    const std::size_t count = std::min(lines_.size(), kHeaderLines);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view line = Trimmed(Line(i));
        if (format_ == Format::Source && i == 0 && line.starts_with("; ")) {
            // "; NAME: the reconstructed source for ..." or "; Reconstructed source of NAME"
            constexpr std::string_view kFrom = "; Source reconstructed by tolvek from ";
            if (line.starts_with(kFrom)) {
                const std::string_view rest = line.substr(kFrom.size());
                origin.input = std::string(rest.substr(0, rest.rfind(" for the ")));
            } else if (const std::size_t colon = line.find(": the reconstructed source");
                       colon != std::string_view::npos) {
                origin.input = std::string(line.substr(2, colon - 2));
            } else if (StartsNoCase(line, "; reconstructed source of ")) {
                origin.input = std::string(Trimmed(line.substr(26)));
            }
        } else if (format_ == Format::Source && StartsNoCase(line, "processor ")) {
            origin.part = std::string(WordAfter(line, 10));
        } else if (format_ == Format::Classic && StartsNoCase(line, "list")) {
            if (const std::size_t p = line.find("P="); p != std::string_view::npos) {
                origin.part = std::string(WordAfter(line, p + 2));
            }
        }
        if (!origin.part.empty()) {
            break;
        }
    }
    return origin;
}

bool Document::Recognised(std::string* why) const {
    const Origin origin = SourceOrigin();
    if (format_ == Format::Source) {
        if (!origin.input.empty() && !origin.part.empty()) {
            return true;
        }
        if (why != nullptr) {
            *why =
                "it does not begin as a source made by Tolvek does (a first line naming the "
                "image, then a processor line)";
        }
        return false;
    }
    if (lines_.size() > 1 && Trimmed(Line(0)) == ";" && Trimmed(Line(1)).starts_with("; *******") &&
        !origin.part.empty()) {
        return true;
    }
    if (why != nullptr) {
        *why =
            "it does not begin as a listing made by Tolvek does (its banner, then a LIST "
            "line naming the chip)";
    }
    return false;
}

namespace {

bool IsWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

std::string_view Document::WordAt(std::size_t line, std::size_t column) const {
    if (line >= lines_.size()) {
        return {};
    }
    const std::string_view text = Line(line);
    std::size_t begin = std::min(column, text.size());
    std::size_t end = begin;
    while (begin > 0 && IsWordChar(text[begin - 1])) {
        --begin;
    }
    while (end < text.size() && IsWordChar(text[end])) {
        ++end;
    }
    return text.substr(begin, end - begin);
}

std::vector<std::pair<std::size_t, std::size_t>> Document::Occurrences(std::string_view word,
                                                                       std::size_t limit) const {
    std::vector<std::pair<std::size_t, std::size_t>> found;
    if (word.empty()) {
        return found;
    }
    std::size_t line = 0;
    for (std::size_t at = text_.find(word); at != std::string::npos && found.size() < limit;
         at = text_.find(word, at + 1)) {
        const std::size_t end = at + word.size();
        if ((at > 0 && IsWordChar(text_[at - 1])) ||
            (end < text_.size() && IsWordChar(text_[end]))) {
            continue;
        }
        while (line + 1 < lines_.size() && lines_[line + 1].begin <= at) {
            ++line;
        }
        found.emplace_back(line, at - lines_[line].begin);
    }
    return found;
}

long Document::LocationOf(std::string_view name) const {
    if (const auto user = userLocations_.find(std::string(name)); user != userLocations_.end()) {
        return user->second;
    }
    const auto it = names_.find(std::string(name));
    return it != names_.end() && it->second.role == Role::Register ? it->second.value : -1;
}

std::string Document::NameOfLocation(unsigned address) const {
    const std::pair<const std::string, NameInfo>* best = nullptr;
    for (const auto& entry : names_) {
        if (entry.second.role == Role::Register &&
            entry.second.value == static_cast<long>(address) &&
            (best == nullptr || entry.second.line < best->second.line)) {
            best = &entry;
        }
    }
    return best != nullptr ? best->first : std::string();
}

std::string Document::Commented(const std::map<unsigned, std::string>& comments,
                                const std::map<unsigned, std::string>& shown) const {
    std::string out;
    out.reserve(text_.size());
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        std::string_view line = Line(i);
        const int address = lines_[i].address;
        if (address >= 0) {
            if (const auto old = shown.find(static_cast<unsigned>(address)); old != shown.end()) {
                const std::string suffix = "  ; " + old->second;
                if (line.ends_with(suffix)) {
                    line.remove_suffix(suffix.size());
                }
            }
        }
        out.append(line);
        if (address >= 0) {
            if (const auto c = comments.find(static_cast<unsigned>(address)); c != comments.end()) {
                out += "  ; ";
                out += c->second;
            }
        }
        out += '\n';
    }
    return out;
}

int Document::WordAddressOf(std::size_t line) const {
    if (line >= lines_.size()) {
        return -1;
    }
    if (lines_[line].address >= 0) {
        return lines_[line].address;
    }
    const int label = LabelBefore(line);
    return label >= 0 && labels_[static_cast<std::size_t>(label)].line == line
               ? labels_[static_cast<std::size_t>(label)].address
               : -1;
}

}  // namespace tolvek::browse
