#include "viewer/graph/EdgeRouting.h"

#include "viewer/graph/SiteGraph.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

Point Centre(const GraphNode& node) {
    return node.Box().Center();
}

// Right and bottom as drawn: an empty dimension has no extent.
int32_t Right(const Rectangle& box) {
    return box.IsWidthEmpty() ? box.left : box.right;
}
int32_t Bottom(const Rectangle& box) {
    return box.IsHeightEmpty() ? box.top : box.bottom;
}

Point Outward(Side side, int distance) {
    switch (side) {
    case Side::Top: return {0, -distance};
    case Side::Bottom: return {0, distance};
    case Side::Left: return {-distance, 0};
    case Side::Right: return {distance, 0};
    case Side::None: break;
    }
    return {0, 0};
}

Point Plus(Point a, Point b) {
    return {a.x + b.x, a.y + b.y};
}

// True when p lies strictly in front of the side at port.
bool InFront(Side side, Point port, Point p) {
    switch (side) {
    case Side::Top: return p.y < port.y;
    case Side::Bottom: return p.y > port.y;
    case Side::Left: return p.x < port.x;
    case Side::Right: return p.x > port.x;
    case Side::None: return true;
    }
    return true;
}

struct EndRef {
    GraphEdge* edge;
    bool atSource;
    Point toward;
    size_t order;  // edge list position, for a stable order on ties
};

struct SideKey {
    const GraphNode* node;
    Side side;
    bool operator==(const SideKey&) const = default;
};
struct SideKeyHash {
    size_t operator()(const SideKey& key) const {
        return std::hash<const void*>()(key.node) * 31 + static_cast<size_t>(key.side);
    }
};

// Clockwise along the side: top left to right, right top to bottom, bottom
// right to left, left bottom to top.
bool ClockwiseBefore(Side side, const EndRef& a, const EndRef& b) {
    int64_t ka = 0, kb = 0;
    switch (side) {
    case Side::Top: ka = a.toward.x; kb = b.toward.x; break;
    case Side::Right: ka = a.toward.y; kb = b.toward.y; break;
    case Side::Bottom: ka = -int64_t(a.toward.x); kb = -int64_t(b.toward.x); break;
    case Side::Left: ka = -int64_t(a.toward.y); kb = -int64_t(b.toward.y); break;
    case Side::None: break;
    }
    if (ka != kb) return ka < kb;
    if (a.order != b.order) return a.order < b.order;
    return a.atSource && !b.atSource;
}

}  // namespace

Point PortPoint(const Rectangle& box, Side side, int k, int n) {
    int64_t w = box.Width();
    int64_t h = box.Height();
    switch (side) {
    case Side::Top: return {static_cast<int32_t>(box.left + (k + 1) * w / (n + 1)), box.top};
    case Side::Bottom: return {static_cast<int32_t>(box.left + (n - k) * w / (n + 1)), Bottom(box)};
    case Side::Left: return {box.left, static_cast<int32_t>(box.top + (n - k) * h / (n + 1))};
    case Side::Right: return {Right(box), static_cast<int32_t>(box.top + (k + 1) * h / (n + 1))};
    case Side::None: break;
    }
    return box.Center();
}

Side FacingSide(const Rectangle& box, Point toward) {
    Point centre = box.Center();
    double dx = double(toward.x) - centre.x;
    double dy = double(toward.y) - centre.y;
    if (dx == 0 && dy == 0) return Side::None;
    double w = std::max(1, box.Width());
    double h = std::max(1, box.Height());
    if (std::fabs(dx) / w >= std::fabs(dy) / h) return dx > 0 ? Side::Right : Side::Left;
    return dy > 0 ? Side::Bottom : Side::Top;
}

void DropAutomaticBends(SiteGraph& graph) {
    for (const auto& edge : graph.Edges())
        std::erase_if(edge->bends, [](const BendPoint& bend) { return bend.automatic; });
}

namespace {

using EndsOfEdges = std::unordered_map<const GraphEdge*, EdgeEnds>;
using EndsOnSides = std::unordered_map<SideKey, std::vector<EndRef>, SideKeyHash>;

// Every end of a bent link heads for its neighbouring point and takes the
// side of its box that faces it; straight links stay centre to centre.
EndsOnSides AssignSides(const SiteGraph& graph, EndsOfEdges& ends) {
    EndsOnSides sides;
    size_t order = 0;
    for (const auto& owned : graph.Edges()) {
        GraphEdge* edge = owned.get();
        EdgeEnds& at = ends[edge];
        const GraphNode& source = *edge->source;
        const GraphNode& target = *edge->target;
        at.start = Centre(source);
        at.end = Centre(target);
        if (!edge->straight) {
            Point fromSource, fromTarget;
            if (&source == &target && edge->bends.empty()) {
                at.startSide = Side::Right;
                at.endSide = Side::Top;
                fromSource = {Right(source.Box()) + 1, source.Box().top};
                fromTarget = fromSource;
            } else {
                fromSource = edge->bends.empty() ? Centre(target) : Point{edge->bends.front().x, edge->bends.front().y};
                fromTarget = edge->bends.empty() ? Centre(source) : Point{edge->bends.back().x, edge->bends.back().y};
                at.startSide = FacingSide(source.Box(), fromSource);
                at.endSide = FacingSide(target.Box(), fromTarget);
            }
            if (at.startSide != Side::None) sides[{&source, at.startSide}].push_back({edge, true, fromSource, order});
            if (at.endSide != Side::None) sides[{&target, at.endSide}].push_back({edge, false, fromTarget, order});
        }
        order++;
    }
    return sides;
}

// The clockwise order of the ends on each side gives each end its port.
void AssignSlots(EndsOnSides& sides, EndsOfEdges& ends) {
    for (auto& [key, refs] : sides) {
        std::sort(refs.begin(), refs.end(),
                  [side = key.side](const EndRef& a, const EndRef& b) { return ClockwiseBefore(side, a, b); });
        int n = static_cast<int>(refs.size());
        for (int k = 0; k < n; k++) {
            EdgeEnds& at = ends[refs[k].edge];
            Point port = PortPoint(key.node->Box(), key.side, k, n);
            (refs[k].atSource ? at.start : at.end) = port;
        }
    }
}

// Links the user has not bent leave and enter square to their boxes where a
// straight line from port to port would not.
void AddAutomaticBends(const SiteGraph& graph, const EndsOfEdges& ends) {
    for (const auto& owned : graph.Edges()) {
        GraphEdge* edge = owned.get();
        if (edge->straight || !edge->bends.empty()) continue;
        const EdgeEnds& at = ends.at(edge);
        if (at.startSide == Side::None || at.endSide == Side::None) continue;
        Point out = Plus(at.start, Outward(at.startSide, kStubLength));
        Point in = Plus(at.end, Outward(at.endSide, kStubLength));
        if (edge->source == edge->target) {
            edge->bends.push_back({out.x, out.y, true});
            edge->bends.push_back({out.x, in.y, true});
            edge->bends.push_back({in.x, in.y, true});
        } else if (!InFront(at.startSide, at.start, at.end) || !InFront(at.endSide, at.end, at.start)) {
            edge->bends.push_back({out.x, out.y, true});
            edge->bends.push_back({in.x, in.y, true});
        }
    }
}

}  // namespace

void EdgeRouting::Recompute(SiteGraph& graph) {
    ends_.clear();
    DropAutomaticBends(graph);
    EndsOnSides sides = AssignSides(graph, ends_);
    AssignSlots(sides, ends_);
    AddAutomaticBends(graph, ends_);
}

EdgeEnds EdgeRouting::Ends(const GraphEdge& edge) const {
    auto found = ends_.find(&edge);
    if (found != ends_.end() && !edge.straight) return found->second;
    EdgeEnds ends;
    ends.start = Centre(*edge.source);
    ends.end = Centre(*edge.target);
    return ends;
}

std::vector<Point> EdgeRouting::Polyline(const GraphEdge& edge) const {
    EdgeEnds ends = Ends(edge);
    std::vector<Point> points;
    points.push_back(ends.start);
    if (!edge.straight)
        for (const BendPoint& bend : edge.bends) points.push_back({bend.x, bend.y});
    points.push_back(ends.end);
    return points;
}

int SegmentUnder(const std::vector<Point>& polyline, Point p, int tolerance) {
    for (size_t i = 0; i + 1 < polyline.size(); i++) {
        double ax = polyline[i].x, ay = polyline[i].y;
        double bx = polyline[i + 1].x, by = polyline[i + 1].y;
        double vx = bx - ax, vy = by - ay;
        double length2 = vx * vx + vy * vy;
        double t = length2 > 0 ? ((p.x - ax) * vx + (p.y - ay) * vy) / length2 : 0.0;
        t = std::clamp(t, 0.0, 1.0);
        double cx = ax + t * vx - p.x, cy = ay + t * vy - p.y;
        if (cx * cx + cy * cy <= double(tolerance) * tolerance) return static_cast<int>(i);
    }
    return -1;
}

int HandleUnder(const GraphEdge& edge, Point p) {
    if (edge.straight) return -1;
    for (size_t i = 0; i < edge.bends.size(); i++) {
        const BendPoint& bend = edge.bends[i];
        if (bend.automatic) continue;
        if (std::abs(p.x - bend.x) <= 3 && std::abs(p.y - bend.y) <= 3) return static_cast<int>(i);
    }
    return -1;
}
