#include "viewer/gui/Overlaps.h"

#include "viewer/gui/GraphPainter.h"

#include "viewer/graph/EdgeRouting.h"
#include "viewer/graph/SiteGraph.h"

#include <algorithm>

namespace {

struct Segment {
    Point a, b;
    const GraphEdge* edge;
};

int64_t Cross(Point o, Point a, Point b) {
    return int64_t(a.x - o.x) * (b.y - o.y) - int64_t(a.y - o.y) * (b.x - o.x);
}

// Proper crossings only: segments that merely touch at an end (links
// sharing a node or a port) do not count.
bool Crosses(const Segment& s, const Segment& t) {
    int64_t d1 = Cross(s.a, s.b, t.a), d2 = Cross(s.a, s.b, t.b);
    int64_t d3 = Cross(t.a, t.b, s.a), d4 = Cross(t.a, t.b, s.b);
    return ((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0));
}

}  // namespace

OverlapReport FindOverlaps(const SiteGraph& graph, const EdgeRouting& routing) {
    OverlapReport report;
    const auto& nodes = graph.Nodes();
    for (size_t i = 0; i < nodes.size(); i++) {
        QRect a = BoxRect(*nodes[i]);
        for (size_t j = i + 1; j < nodes.size(); j++)
            if (a.intersects(BoxRect(*nodes[j]))) {
                report.overlapping.insert(nodes[i].get());
                report.overlapping.insert(nodes[j].get());
            }
    }
    std::vector<Segment> segments;
    for (const auto& edge : graph.Edges()) {
        std::vector<Point> points = routing.Polyline(*edge);
        for (size_t i = 0; i + 1 < points.size(); i++) segments.push_back({points[i], points[i + 1], edge.get()});
    }
    for (size_t i = 0; i < segments.size(); i++)
        for (size_t j = i + 1; j < segments.size(); j++)
            if (segments[i].edge != segments[j].edge && Crosses(segments[i], segments[j])) report.crossings++;
    return report;
}
