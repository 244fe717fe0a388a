#include "browse/Graph.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "browse/Scan.h"

namespace tolvek::browse {

namespace {

// The most entries of a jump table after a write to PCL: ADDWF PCL reaches 256 words.
constexpr std::size_t kLargestTable = 256;
// How many nearby entries and labels FunctionOf tries before it gives up.
constexpr int kNearbyTries = 16;

// The entries of a jump table: a GOTO, BRA or RETLW each.
bool TableEntry(isa::Flow flow) {
    return flow == isa::Flow::Goto || flow == isa::Flow::Branch || flow == isa::Flow::ReturnLiteral;
}

// The vector a comment line stands for, or empty.
std::string_view VectorNote(std::string_view comment) {
    for (const std::string_view note : {"reset vector", "interrupt vector", "program start"}) {
        if (StartsNoCase(comment, note)) {
            return note;
        }
    }
    return {};
}

std::string_view TrimLeft(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    return text;
}

std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// Whether the instruction writes PCL: a jump the program computes.
bool WritesPcl(const LineScan& scan) {
    const isa::Form form = scan.op->form;
    if (form != isa::Form::File && form != isa::Form::FileDest) {
        return false;
    }
    bool pcl = false;
    bool toFile = form == isa::Form::File;
    for (const LinePiece& piece : scan.pieces) {
        const std::string_view text = scan.TextOf(piece);
        if (piece.operand == 0 && piece.type == PieceType::Ident) {
            pcl = EqualNoCase(text, "PCL");
        } else if (piece.operand == 0 && piece.type == PieceType::Number) {
            const long value = NumberValue(text);
            pcl = value >= 0 && (value & 0x7F) == 2;
        } else if (piece.operand == 1 &&
                   (piece.type == PieceType::Ident || piece.type == PieceType::Number)) {
            toFile = EqualNoCase(text, "f") || NumberValue(text) == 1;
        }
    }
    return pcl && toFile;
}

}  // namespace

int FunctionGraph::BlockOf(unsigned address) const {
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (!blocks[i].outside && blocks[i].first <= address && address <= blocks[i].last) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int CallGraph::NodeOf(unsigned entry) const {
    const auto it =
        std::lower_bound(nodes.begin(), nodes.end(), entry,
                         [](const CallNode& node, unsigned a) { return node.entry < a; });
    return it != nodes.end() && it->entry == entry ? static_cast<int>(it - nodes.begin()) : -1;
}

ProgramFlow::ProgramFlow(const Document& document) {
    LineScan scan;
    std::string_view vectorNext;
    for (std::size_t line = 0; line < document.LineCount(); ++line) {
        ScanLine(document.Line(line), document.GetFormat(), scan);
        if (scan.commentOnly && scan.commentStart < scan.text.size()) {
            if (const std::string_view note =
                    VectorNote(TrimLeft(scan.text.substr(scan.commentStart + 1)));
                !note.empty()) {
                vectorNext = note;
            }
        }
        const int address = document.AddressOf(line);
        if (address < 0) {
            continue;
        }
        if (!vectorNext.empty()) {
            roots_.push_back(static_cast<unsigned>(address));
            vectors_.emplace(static_cast<unsigned>(address), vectorNext);
            vectorNext = {};
        }
        Word word;
        word.address = static_cast<unsigned>(address);
        word.line = static_cast<std::uint32_t>(line);
        word.code = scan.op != nullptr;
        if (word.code) {
            word.flow = scan.op->flow;
            word.computed = word.flow == isa::Flow::BranchW || WritesPcl(scan);
            if (TargetFlow(word.flow)) {
                for (const LinePiece& piece : scan.pieces) {
                    if (piece.operand != 0) {
                        continue;
                    }
                    if (piece.type == PieceType::Ident) {
                        const int label = document.FindLabel(scan.TextOf(piece));
                        word.target = label < 0 ? -1 : document.Labels()[label].address;
                    } else if (piece.type == PieceType::Number) {
                        const long value = NumberValue(scan.TextOf(piece));
                        word.target = value < 0 || value > 0xFFFF ? -1 : static_cast<int>(value);
                    }
                    break;
                }
            }
        }
        words_.push_back(word);
    }
    std::stable_sort(words_.begin(), words_.end(),
                     [](const Word& a, const Word& b) { return a.address < b.address; });
    // a word written twice counts once, as its first line says
    words_.erase(std::unique(words_.begin(), words_.end(),
                             [](const Word& a, const Word& b) { return a.address == b.address; }),
                 words_.end());
    if (roots_.empty() && !words_.empty()) {
        roots_.push_back(words_.front().address);
    }
    std::sort(roots_.begin(), roots_.end());
    roots_.erase(std::unique(roots_.begin(), roots_.end()), roots_.end());
    entries_ = roots_;
    for (const Word& word : words_) {
        if (word.code && word.flow == isa::Flow::Call && word.target >= 0 &&
            IndexOf(static_cast<unsigned>(word.target)) >= 0) {
            entries_.push_back(static_cast<unsigned>(word.target));
        }
    }
    std::sort(entries_.begin(), entries_.end());
    entries_.erase(std::unique(entries_.begin(), entries_.end()), entries_.end());
    for (const Label& label : document.Labels()) {
        if (label.address >= 0) {
            labels_.push_back(static_cast<unsigned>(label.address));
        }
    }
    std::sort(labels_.begin(), labels_.end());
}

long ProgramFlow::IndexOf(unsigned address) const {
    const auto it = std::lower_bound(words_.begin(), words_.end(), address,
                                     [](const Word& word, unsigned a) { return word.address < a; });
    return it != words_.end() && it->address == address ? it - words_.begin() : -1;
}

bool ProgramFlow::IsEntry(unsigned address) const {
    return std::binary_search(entries_.begin(), entries_.end(), address);
}

void ProgramFlow::Successors(std::size_t index, std::vector<Step>& out) const {
    out.clear();
    const Word& word = words_[index];
    if (!word.code) {
        return;
    }
    auto add = [&](unsigned address, EdgeKind kind) {
        if (IndexOf(address) >= 0) {
            out.push_back({address, kind});
        }
    };
    if (word.computed) {
        for (std::size_t next = index + 1; next < words_.size() && next - index <= kLargestTable &&
                                           words_[next].address == word.address + (next - index) &&
                                           words_[next].code && TableEntry(words_[next].flow);
             ++next) {
            out.push_back({words_[next].address, EdgeKind::Computed});
        }
        return;
    }
    switch (word.flow) {
        case isa::Flow::Next:
        case isa::Flow::Call:
        case isa::Flow::CallW:
            add(word.address + 1, EdgeKind::Next);
            break;
        case isa::Flow::Skip:
            add(word.address + 1, EdgeKind::SkipNotTaken);
            add(word.address + 2, EdgeKind::SkipTaken);
            break;
        case isa::Flow::Goto:
        case isa::Flow::Branch:
            if (word.target >= 0) {
                add(static_cast<unsigned>(word.target), EdgeKind::Jump);
            }
            break;
        case isa::Flow::BranchW:  // computed, handled above
        case isa::Flow::Return:
        case isa::Flow::ReturnLiteral:
        case isa::Flow::ReturnInterrupt:
        case isa::Flow::Reset:
            break;
    }
}

std::vector<std::size_t> ProgramFlow::Body(unsigned entry) const {
    std::vector<std::size_t> body;
    const long start = IndexOf(entry);
    if (start < 0) {
        return body;
    }
    std::vector<bool> seen(words_.size(), false);
    std::vector<std::size_t> todo{static_cast<std::size_t>(start)};
    seen[static_cast<std::size_t>(start)] = true;
    std::vector<Step> steps;
    while (!todo.empty()) {
        const std::size_t index = todo.back();
        todo.pop_back();
        body.push_back(index);
        Successors(index, steps);
        for (const Step& step : steps) {
            if (step.address != entry && IsEntry(step.address)) {
                continue;  // into another function
            }
            const auto next = static_cast<std::size_t>(IndexOf(step.address));
            if (!seen[next]) {
                seen[next] = true;
                todo.push_back(next);
            }
        }
    }
    std::sort(body.begin(), body.end());
    return body;
}

long ProgramFlow::FunctionOf(unsigned address) const {
    const long index = IndexOf(address);
    if (index < 0) {
        return -1;
    }
    const auto reaches = [&](unsigned entry) {
        const std::vector<std::size_t> body = Body(entry);
        return std::binary_search(body.begin(), body.end(), static_cast<std::size_t>(index));
    };
    for (const std::vector<unsigned>* starts : {&entries_, &labels_}) {
        auto it = std::upper_bound(starts->begin(), starts->end(), address);
        for (int tries = 0; it != starts->begin() && tries < kNearbyTries; ++tries) {
            --it;
            if (reaches(*it)) {
                return *it;
            }
        }
    }
    return address;
}

FunctionGraph ProgramFlow::Function(unsigned entry) const {
    FunctionGraph graph;
    graph.entry = entry;
    const std::vector<std::size_t> body = Body(entry);
    if (body.empty()) {
        return graph;
    }
    // A word starts a block unless its only way in is running on from the word before.
    std::vector<int> blockOf(words_.size(), -1);
    std::vector<std::uint8_t> ways(words_.size(), 0);  // 0, 1 from the word before, 2 more
    std::vector<Step> steps;
    for (const std::size_t index : body) {
        blockOf[index] = -2;  // in the body
    }
    for (const std::size_t index : body) {
        Successors(index, steps);
        for (const Step& step : steps) {
            const long next = IndexOf(step.address);
            if (blockOf[static_cast<std::size_t>(next)] == -1) {
                continue;
            }
            const bool runOn =
                step.kind == EdgeKind::Next && step.address == words_[index].address + 1;
            std::uint8_t& way = ways[static_cast<std::size_t>(next)];
            way = way == 0 && runOn ? 1 : 2;
        }
    }
    for (const std::size_t index : body) {
        const Word& word = words_[index];
        if (word.address == entry || ways[index] != 1 || graph.blocks.empty()) {
            graph.blocks.push_back({word.address, word.address, {}, false});
        }
        Block& block = graph.blocks.back();
        block.last = word.address;
        block.lines.push_back(word.line);
    }
    // the entry's block first
    const auto entryBlock = std::find_if(graph.blocks.begin(), graph.blocks.end(),
                                         [&](const Block& b) { return b.first == entry; });
    std::rotate(graph.blocks.begin(), entryBlock, entryBlock + 1);
    for (std::size_t b = 0; b < graph.blocks.size(); ++b) {
        for (unsigned a = graph.blocks[b].first;; ++a) {
            blockOf[static_cast<std::size_t>(IndexOf(a))] = static_cast<int>(b);
            if (a == graph.blocks[b].last) {
                break;
            }
        }
    }
    std::map<unsigned, std::size_t> outside;
    const std::size_t inside = graph.blocks.size();
    for (std::size_t b = 0; b < inside; ++b) {
        Successors(static_cast<std::size_t>(IndexOf(graph.blocks[b].last)), steps);
        for (const Step& step : steps) {
            const int to = blockOf[static_cast<std::size_t>(IndexOf(step.address))];
            std::size_t target = 0;
            if (to >= 0) {
                target = static_cast<std::size_t>(to);
            } else {
                auto [it, added] = outside.emplace(step.address, graph.blocks.size());
                if (added) {
                    graph.blocks.push_back({step.address, step.address, {}, true});
                }
                target = it->second;
            }
            graph.edges.push_back({b, target, step.kind, false});
        }
    }
    // Loops: depth first from the entry, an edge to a block still on the path is a back edge.
    std::vector<std::vector<std::size_t>> out(graph.blocks.size());
    for (std::size_t e = 0; e < graph.edges.size(); ++e) {
        out[graph.edges[e].from].push_back(e);
    }
    std::vector<std::uint8_t> state(graph.blocks.size(), 0);        // 1 on the path, 2 done
    std::vector<std::pair<std::size_t, std::size_t>> path{{0, 0}};  // block, next edge
    state[0] = 1;
    while (!path.empty()) {
        auto& [block, next] = path.back();
        if (next == out[block].size()) {
            state[block] = 2;
            path.pop_back();
            continue;
        }
        BlockEdge& edge = graph.edges[out[block][next++]];
        if (state[edge.to] == 1) {
            edge.back = true;
        } else if (state[edge.to] == 0) {
            state[edge.to] = 1;
            path.emplace_back(edge.to, 0);
        }
    }
    return graph;
}

CallGraph ProgramFlow::Calls() const {
    CallGraph graph;
    for (const unsigned entry : entries_) {
        const bool root = std::binary_search(roots_.begin(), roots_.end(), entry);
        const auto vector = vectors_.find(entry);
        graph.nodes.push_back(
            {entry, root, vector == vectors_.end() ? std::string() : vector->second, false});
    }
    std::map<std::tuple<std::size_t, std::size_t, bool>, unsigned> edges;
    std::vector<Step> steps;
    for (std::size_t from = 0; from < graph.nodes.size(); ++from) {
        const unsigned entry = graph.nodes[from].entry;
        for (const std::size_t index : Body(entry)) {
            const Word& word = words_[index];
            if (word.code && word.flow == isa::Flow::Call && word.target >= 0) {
                const int to = graph.NodeOf(static_cast<unsigned>(word.target));
                if (to >= 0) {
                    ++edges[{from, static_cast<std::size_t>(to), false}];
                }
            }
            Successors(index, steps);
            for (const Step& step : steps) {
                if (step.address != entry && IsEntry(step.address)) {
                    ++edges[{from, static_cast<std::size_t>(graph.NodeOf(step.address)), true}];
                }
            }
        }
    }
    for (const auto& [key, count] : edges) {
        graph.edges.push_back({std::get<0>(key), std::get<1>(key), count, std::get<2>(key)});
    }
    // what the vectors reach
    std::vector<std::vector<std::size_t>> out(graph.nodes.size());
    for (const CallEdge& edge : graph.edges) {
        out[edge.from].push_back(edge.to);
    }
    std::vector<std::size_t> todo;
    for (std::size_t n = 0; n < graph.nodes.size(); ++n) {
        if (graph.nodes[n].root) {
            graph.nodes[n].reached = true;
            todo.push_back(n);
        }
    }
    while (!todo.empty()) {
        const std::size_t n = todo.back();
        todo.pop_back();
        for (const std::size_t to : out[n]) {
            if (!graph.nodes[to].reached) {
                graph.nodes[to].reached = true;
                todo.push_back(to);
            }
        }
    }
    return graph;
}

std::string BlockLineText(const Document& document, std::size_t line) {
    LineScan scan;
    ScanLine(document.Line(line), document.GetFormat(), scan);
    if (scan.word < 0) {
        return std::string(TrimRight(TrimLeft(scan.text)));
    }
    const std::size_t start = scan.pieces[static_cast<std::size_t>(scan.word)].start;
    std::string text(TrimRight(scan.text.substr(start, scan.commentStart - start)));
    if (scan.commentStart < scan.text.size()) {
        std::string_view comment = TrimLeft(scan.text.substr(scan.commentStart + 1));
        if (scan.ownAddress >= 0) {
            comment = TrimLeft(comment.substr(std::min<std::size_t>(4, comment.size())));
        }
        comment = TrimRight(comment);
        constexpr std::size_t kLongest = 40;
        if (!comment.empty()) {
            text += "  ; ";
            if (comment.size() > kLongest) {
                text.append(comment.substr(0, kLongest - 3));
                text += "...";
            } else {
                text.append(comment);
            }
        }
    }
    return text;
}

}  // namespace tolvek::browse
