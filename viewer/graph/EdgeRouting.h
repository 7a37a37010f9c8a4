// Where the links of a graph meet their boxes. Each end of a link gets a side
// of its node's box and a slot among the link ends on that side; the end
// point follows from the side, the slot and the number of ends there:
//
//   top     (left + (k + 1) W / (n + 1), top)
//   bottom  (left + (n - k) W / (n + 1), bottom)
//   left    (left, top + (n - k) H / (n + 1))
//   right   (right, top + (k + 1) H / (n + 1))
//
// so slot 0 is the first end going clockwise round the box.
//
// Routing:
// - A side faces the point the link heads for: the first bend point (or the
//   other box's centre) from the source, the last bend point (or the source's
//   centre) from the target. The side is picked by the larger of |dx| / W and
//   |dy| / H, so a wide box takes more links on its top and bottom.
// - The ends on one side are ordered by where their links head for, clockwise,
//   so links leaving one side never cross each other there.
// - A link without bend points of the user's runs straight from port to port
//   when that line leaves the source side outwards and enters the target
//   side from outside. Otherwise two automatic bend points, 12 pixels out in
//   front of each port, make it leave and enter square to the box. A link from
//   a node to itself leaves on the right, loops over the top-right corner and
//   comes back on the top.
// - User bend points are kept as they are and in their order; automatic ones
//   are thrown away and made anew on every recomputation.
#pragma once

#include "viewer/graph/Geometry.h"

#include <unordered_map>
#include <vector>

class GraphEdge;
class SiteGraph;

enum class Side { None, Top, Bottom, Left, Right };

struct EdgeEnds {
    Point start;
    Point end;
    Side startSide = Side::None;
    Side endSide = Side::None;
};

// The end point of slot k of n on a side of the box (the centre for None).
Point PortPoint(const Rectangle& box, Side side, int k, int n);
// The side of the box that faces the point; None when the point is the centre.
Side FacingSide(const Rectangle& box, Point toward);

// Distance from the auto bend points to their port.
constexpr int kStubLength = 12;

class EdgeRouting {
public:
    // Sides, slots and automatic bend points of every edge of the graph.
    void Recompute(SiteGraph& graph);
    void Clear() { ends_.clear(); }

    // The ends of a routed edge; the box centres for one not routed yet.
    EdgeEnds Ends(const GraphEdge& edge) const;
    // The points the edge is drawn through: start, bend points, end; for a
    // straight edge the two box centres.
    std::vector<Point> Polyline(const GraphEdge& edge) const;

private:
    std::unordered_map<const GraphEdge*, EdgeEnds> ends_;
};

// Index i of the first segment (points i to i + 1) within tolerance of p, or -1.
int SegmentUnder(const std::vector<Point>& polyline, Point p, int tolerance);
// Index of the user's bend point whose 7 x 7 handle holds p, or -1.
int HandleUnder(const GraphEdge& edge, Point p);
// Drops the automatic bend points of every edge (before writing a file).
void DropAutomaticBends(SiteGraph& graph);
