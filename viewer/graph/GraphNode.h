// Nodes and edges of a site graph: a document and a hyperlink between two of
// them. The graph owns both; they refer to each other without owning.
#pragma once

#include "viewer/graph/Geometry.h"
#include "viewer/graph/NodeKind.h"

#include <cstdint>
#include <string>
#include <vector>

class GraphEdge;

// Size of a node before its label has been measured.
constexpr int32_t kDefaultNodeWidth = 70;
constexpr int32_t kDefaultNodeHeight = 30;

class GraphNode {
public:
    GraphNode() = default;
    GraphNode(int32_t id, std::string label, std::string url, const Rectangle& box);
    GraphNode(const GraphNode&) = delete;
    GraphNode& operator=(const GraphNode&) = delete;

    // The box on the canvas. Every change below puts centreX and centreY on
    // the box's centre, so the relaxation starts from where the node is drawn.
    const Rectangle& Box() const { return box_; }
    void SetBox(const Rectangle& box);
    void MoveTo(Point topLeft);
    void SetSize(Size size);
    // Places the box so that left = x - width / 2 and top = y - height / 2.
    void CentreAt(int32_t x, int32_t y);
    // Places the box on (truncated) centreX and centreY, leaving them as they
    // are: the relaxation keeps its fractional movement.
    void FollowCentre();

    int32_t id = 0;
    std::string label;  // short display text
    std::string url;    // full URL of the document
    std::string info;   // lines joined by CR LF that describe the loaded document
    bool isRoot = false;
    int16_t markerDiameter = 10;
    bool marked = false;  // the user's pin: the relaxation leaves the node alone
    int32_t level = -1;   // remaining levels of the item that loaded it; -1: not loaded in this job
    NodeKind kind = NodeKind::Other;
    std::vector<GraphEdge*> edges;  // every edge with this node as source or target

    double layoutX = 0.0;  // working coordinates of the layout
    double layoutY = 0.0;
    double centreX = 0.0;  // relaxation state
    double centreY = 0.0;
    double dx = 0.0;
    double dy = 0.0;

private:
    void CentreFollowsBox();

    Rectangle box_;
};

struct BendPoint {
    int32_t x = 0;
    int32_t y = 0;
    // Set for points the edge routing inserts itself: drawn without a handle
    // and never written to a graph file.
    bool automatic = false;
};

constexpr double kPreferredEdgeLength = 150.0;

class GraphEdge {
public:
    GraphEdge(GraphNode* source, GraphNode* target) : source(source), target(target) {}
    GraphEdge(const GraphEdge&) = delete;
    GraphEdge& operator=(const GraphEdge&) = delete;

    GraphNode* source;  // the page that holds the link
    GraphNode* target;
    double preferredLength = kPreferredEdgeLength;
    bool straight = false;     // one line between the box centres, no arrowheads, no bends
    bool highlighted = false;
    bool bothWays = false;     // the reverse link was offered too
    std::vector<BendPoint> bends;
};
