#include "ui/GraphLayout.h"

#include <gvc.h>

#include <cstdio>
#include <memory>

namespace tolvek::ui {

namespace {

constexpr double kPointsPerInch = 72.0;

// The one Graphviz context of the process: loading the plug-ins takes longer
// than laying out a small graph.
GVC_t* Context() {
    static GVC_t* const context = [] {
        agseterr(AGERR);  // warnings are no failures and go nowhere
        return gvContext();
    }();
    return context;
}

// Graphviz takes texts as char*; it copies what it keeps.
char* Text(const char* text) {
    return const_cast<char*>(text);
}

// "n12", "e7": the names Graphviz knows the nodes and edges by.
std::string Name(char kind, std::size_t index) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%c%zu", kind, index);
    return buffer;
}

std::string Inches(double units) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.4f", units / kPointsPerInch);
    return buffer;
}

struct GraphCloser {
    void operator()(Agraph_t* graph) const {
        gvFreeLayout(Context(), graph);
        agclose(graph);
    }
};

}  // namespace

std::optional<Layout> LayOut(const LayoutIn& in, std::string* error) {
    auto fail = [error](std::string why) -> std::optional<Layout> {
        if (error != nullptr) {
            *error = std::move(why);
        }
        return std::nullopt;
    };
    GVC_t* context = Context();
    if (context == nullptr) {
        return fail("Graphviz could not start.");
    }
    std::unique_ptr<Agraph_t, GraphCloser> graph(agopen(Text("g"), Agdirected, nullptr));
    Agraph_t* g = graph.get();
    agattr(g, AGRAPH, Text("nodesep"), Text(Inches(in.nodeGap).c_str()));
    agattr(g, AGRAPH, Text("ranksep"), Text(Inches(in.rankGap).c_str()));
    agattr(g, AGNODE, Text("shape"), Text("box"));
    agattr(g, AGNODE, Text("fixedsize"), Text("true"));
    agattr(g, AGNODE, Text("label"), Text(""));
    Agsym_t* width = agattr(g, AGNODE, Text("width"), Text("1"));
    Agsym_t* height = agattr(g, AGNODE, Text("height"), Text("1"));
    Agsym_t* constraint = agattr(g, AGEDGE, Text("constraint"), Text("true"));

    std::vector<Agnode_t*> nodes;
    nodes.reserve(in.sizes.size());
    for (std::size_t i = 0; i < in.sizes.size(); ++i) {
        const std::string name = Name('n', i);
        Agnode_t* node = agnode(g, Text(name.c_str()), 1);
        agxset(node, width, Text(Inches(in.sizes[i].x).c_str()));
        agxset(node, height, Text(Inches(in.sizes[i].y).c_str()));
        nodes.push_back(node);
    }
    if (!in.top.empty()) {
        Agraph_t* top = agsubg(g, Text("top"), 1);
        agsafeset(top, Text("rank"), Text("min"), Text(""));
        for (const std::size_t n : in.top) {
            if (n < nodes.size()) {
                agsubnode(top, nodes[n], 1);
            }
        }
    }
    std::vector<Agedge_t*> edges;
    edges.reserve(in.edges.size());
    for (std::size_t i = 0; i < in.edges.size(); ++i) {
        const LayoutEdgeIn& edge = in.edges[i];
        if (edge.from >= nodes.size() || edge.to >= nodes.size()) {
            return fail("An edge names a node that is not there.");
        }
        // named, so that two edges between the same nodes stay two
        const std::string name = Name('e', i);
        Agedge_t* e = agedge(g, nodes[edge.from], nodes[edge.to], Text(name.c_str()), 1);
        if (!edge.ranks) {
            agxset(e, constraint, Text("false"));
        }
        edges.push_back(e);
    }
    if (gvLayout(context, g, "dot") != 0) {
        const char* why = aglasterr();
        return fail(why != nullptr ? std::string("Graphviz: ") + why
                                   : std::string("Graphviz could not lay the graph out."));
    }

    Layout layout;
    const boxf box = GD_bb(g);
    const double top = box.UR.y;
    auto point = [&](pointf p) { return LayoutPoint{p.x - box.LL.x, top - p.y}; };
    layout.size = {box.UR.x - box.LL.x, box.UR.y - box.LL.y};
    for (Agnode_t* node : nodes) {
        layout.centres.push_back(point(ND_coord(node)));
    }
    for (Agedge_t* e : edges) {
        LaidEdge laid;
        if (const splines* spline = ED_spl(e); spline != nullptr && spline->size > 0) {
            const bezier& curve = spline->list[0];
            for (int i = 0; i < curve.size; ++i) {
                laid.curve.push_back(point(curve.list[i]));
            }
            if (curve.eflag != 0) {
                laid.tip = point(curve.ep);
            }
        }
        layout.edges.push_back(std::move(laid));
    }
    return layout;
}

}  // namespace tolvek::ui
