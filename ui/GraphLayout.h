// Lays a directed graph out with Graphviz's dot: boxes of given sizes in
// ranks from the top, and edges as Bezier curves around them. Coordinates are
// in the caller's units (one unit is one of Graphviz's points), y down.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tolvek::ui {

struct LayoutPoint {
    double x = 0;
    double y = 0;
};

struct LayoutEdgeIn {
    std::size_t from = 0;
    std::size_t to = 0;
    // False: the edge does not pull its head below its tail (a loop's way back).
    bool ranks = true;
};

struct LayoutIn {
    std::vector<LayoutPoint> sizes;  // width and height of each node
    std::vector<LayoutEdgeIn> edges;
    // Nodes kept on the top rank, such as a function's entry.
    std::vector<std::size_t> top;
    double nodeGap = 24;  // between nodes of a rank
    double rankGap = 32;  // between ranks
};

struct LaidEdge {
    // A cubic Bezier spline: the start, then three points for each piece.
    std::vector<LayoutPoint> curve;
    // Where the arrowhead's tip lies when the curve stops short of the node.
    std::optional<LayoutPoint> tip;
};

struct Layout {
    LayoutPoint size;                  // of the whole picture
    std::vector<LayoutPoint> centres;  // of the nodes
    std::vector<LaidEdge> edges;       // in the order given
};

// Nothing, with the reason in *error, when Graphviz fails.
std::optional<Layout> LayOut(const LayoutIn& graph, std::string* error = nullptr);

}  // namespace tolvek::ui
