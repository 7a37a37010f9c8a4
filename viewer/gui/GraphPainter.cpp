#include "viewer/gui/GraphPainter.h"

#include "viewer/graph/SiteGraph.h"
#include "viewer/gui/PageText.h"

#include <QFontMetrics>
#include <QPainter>

#include <cmath>

namespace {

QPen CosmeticPen(const QColor& colour, int width = 0) {
    QPen pen(colour);
    pen.setWidth(width);
    pen.setCosmetic(true);
    return pen;
}

QColor NodeFill(const SiteGraph& graph, const GraphNode& node) {
    if (&node == graph.RootNode()) return palette::kLightRed;
    if (node.isRoot) return palette::kLightGrey;
    return palette::kWhite;
}

QColor EdgeColour(const GraphEdge& edge) {
    if (edge.highlighted) return palette::kGrey;
    if (edge.target->kind == NodeKind::OtherServer || edge.target->kind == NodeKind::SameServer)
        return palette::kWhite;
    return palette::kPen;
}

void DrawArrowhead(QPainter& painter, QPointF p, QPointF q) {
    QPolygonF triangle;
    if (ArrowheadPolygon(p, q, triangle)) painter.drawPolygon(triangle);
}

}  // namespace

bool ArrowheadPolygon(QPointF p, QPointF q, QPolygonF& triangle) {
    double vx = q.x() - p.x(), vy = q.y() - p.y();
    double length = std::sqrt(vx * vx + vy * vy);
    if (length == 0) return false;
    QPointF u(vx / length, vy / length);
    QPointF normal(-u.y(), u.x());
    QPointF base = q - kArrowLength * u;
    triangle = QPolygonF({q, base + kArrowHalfWidth * normal, base - kArrowHalfWidth * normal});
    return true;
}

QRect BoxRect(const GraphNode& node) {
    const Rectangle& box = node.Box();
    return QRect(box.left, box.top, std::max(1, box.Width()), std::max(1, box.Height()));
}

QRect GraphExtent(const SiteGraph& graph) {
    QRect extent;
    for (const auto& node : graph.Nodes()) extent = extent.united(BoxRect(*node));
    for (const auto& edge : graph.Edges())
        for (const BendPoint& bend : edge->bends) extent = extent.united(QRect(bend.x - 3, bend.y - 3, 7, 7));
    return extent;
}

GraphPainter::GraphPainter(const NodeIcons& icons) : icons_(icons), font_(CanvasFont()) {}

QFont GraphPainter::CanvasFont() {
    // Ten points at the usual 96 dots per inch, fixed in pixels so that the
    // window, its overview and exported pictures measure labels alike.
    QFont font("Arial");
    font.setPixelSize(13);
    return font;
}

NodeMeasure GraphPainter::Measure() const {
    NodeMeasure measure;
    QFontMetrics metrics(font_);
    measure.textWidth = [metrics](const std::string& text) {
        return static_cast<int32_t>(metrics.horizontalAdvance(PageText(text)));
    };
    QSize icon = icons_.IconSize();
    measure.icon = Size{icon.width(), icon.height()};
    return measure;
}

void GraphPainter::Paint(QPainter& painter, const SiteGraph& graph, const EdgeRouting& routing,
                         const QRect& area) const {
    painter.save();
    painter.setFont(font_);
    for (const auto& edge : graph.Edges()) DrawEdge(painter, *edge, routing);
    for (const auto& node : graph.Nodes())
        if (BoxRect(*node).intersects(area)) DrawNode(painter, graph, *node);
    painter.restore();
}

void GraphPainter::DrawNode(QPainter& painter, const SiteGraph& graph, const GraphNode& node) const {
    QRect box = BoxRect(node);
    painter.setPen(CosmeticPen(palette::kPen));
    painter.setBrush(NodeFill(graph, node));
    painter.drawRect(box.adjusted(0, 0, -1, -1));

    // Label at the right, icon at the left, each 5 % of the free room in.
    QString label = PageText(node.label);
    QFontMetrics metrics(painter.font());
    int tw = metrics.horizontalAdvance(label);
    int th = metrics.height();
    double freeW = box.width() - tw;
    double freeH = box.height() - th;
    int textX = static_cast<int>(box.right() + 1 - tw - freeW * 0.05);
    int textY = static_cast<int>(box.top() + freeH * 0.5);
    painter.drawText(QPoint(textX, textY + metrics.ascent()), label);
    painter.drawImage(QPoint(static_cast<int>(box.left() + freeW * 0.05), box.top() + 1),
                      icons_.Icon(static_cast<int>(node.kind)));

    if (node.marked) {
        painter.setBrush(palette::kPen);
        painter.drawEllipse(QRect(box.left(), box.top(), node.markerDiameter, node.markerDiameter));
    }
    if (overlaps_.count(&node)) {
        painter.setPen(CosmeticPen(palette::kLightRed, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(box.adjusted(-2, -2, 1, 1));
    }
    if (&node == found_) {
        painter.setPen(CosmeticPen(palette::kGrey, 3));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(box.adjusted(-4, -4, 3, 3));
    }
}

void GraphPainter::DrawEdge(QPainter& painter, const GraphEdge& edge, const EdgeRouting& routing) const {
    QColor colour = EdgeColour(edge);
    painter.setPen(CosmeticPen(colour));
    painter.setBrush(colour);
    std::vector<Point> points = routing.Polyline(edge);
    auto at = [&](size_t i) { return QPointF(points[i].x, points[i].y); };

    if (edge.straight) {
        painter.drawLine(at(0), at(1));
    } else {
        for (size_t i = 0; i + 1 < points.size(); i++) {
            painter.drawLine(at(i), at(i + 1));
            DrawArrowhead(painter, at(i), at(i + 1));
            if (edge.bothWays) DrawArrowhead(painter, at(i + 1), at(i));
        }
        for (const BendPoint& bend : edge.bends) {
            painter.drawLine(bend.x - 3, bend.y - 3, bend.x + 3, bend.y + 3);
            painter.drawLine(bend.x - 3, bend.y + 3, bend.x + 3, bend.y - 3);
            if (!bend.automatic) {
                painter.setBrush(Qt::NoBrush);
                painter.drawRect(bend.x - 3, bend.y - 3, 6, 6);
                painter.setBrush(colour);
            }
        }
    }
    if (edge.straight || edge.bends.empty()) {
        QPointF first = at(0), last = at(points.size() - 1);
        QPointF middle((first.x() + last.x()) / 2, (first.y() + last.y()) / 2);
        painter.drawPoint(middle.toPoint());
    }
}
