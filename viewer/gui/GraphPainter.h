// Drawing a site graph: edges first, then nodes, each in list order. The
// graph window draws through it on its canvas, the overview pane draws
// through the canvas, and the picture export draws through it on an image,
// so every picture of a graph looks the same.
#pragma once

#include "viewer/gui/Icons.h"

#include "viewer/graph/EdgeRouting.h"
#include "viewer/graph/NodeSizes.h"

#include <QColor>
#include <QFont>
#include <QPolygonF>
#include <QRect>

#include <unordered_set>

class GraphEdge;
class GraphNode;
class QPainter;
class SiteGraph;

// The toolkit's colour numbers as this program draws them.
namespace palette {
const QColor kGrey(0x80, 0x80, 0x80);        // 7
const QColor kLightGrey(0xC0, 0xC0, 0xC0);   // 8
const QColor kLightRed(0xFF, 0x00, 0x00);    // 12
const QColor kWhite(0xFF, 0xFF, 0xFF);       // 15
const QColor kPen(0x00, 0x00, 0x00);         // the current pen
}  // namespace palette

// Arrowheads are this long and twice kArrowHalfWidth wide.
constexpr double kArrowLength = 12.0;
constexpr double kArrowHalfWidth = 6.0;

// The filled triangle at q of the segment p to q; false (and nothing) when p = q.
bool ArrowheadPolygon(QPointF p, QPointF q, QPolygonF& triangle);

class GraphPainter {
public:
    explicit GraphPainter(const NodeIcons& icons);

    // "Arial", 10 points (13 pixels), drawn without a background.
    static QFont CanvasFont();
    // Text widths in the canvas font and the icon size of kind 0.
    NodeMeasure Measure() const;

    // Nodes whose boxes overlap another box are outlined in light red.
    void SetOverlapMarks(std::unordered_set<const GraphNode*> nodes) { overlaps_ = std::move(nodes); }
    // The node picked in the page index is framed in grey; null for none.
    void SetFoundNode(const GraphNode* node) { found_ = node; }
    const GraphNode* FoundNode() const { return found_; }

    // Draws what touches area (canvas units) with the painter as it is set.
    void Paint(QPainter& painter, const SiteGraph& graph, const EdgeRouting& routing, const QRect& area) const;
    void DrawNode(QPainter& painter, const SiteGraph& graph, const GraphNode& node) const;
    void DrawEdge(QPainter& painter, const GraphEdge& edge, const EdgeRouting& routing) const;

private:
    const NodeIcons& icons_;
    QFont font_;
    std::unordered_set<const GraphNode*> overlaps_;
    const GraphNode* found_ = nullptr;
};

// The node's box as a QRect (an empty dimension is 1 pixel).
QRect BoxRect(const GraphNode& node);
// The union of all node boxes and bend points; empty for an empty graph.
QRect GraphExtent(const SiteGraph& graph);
