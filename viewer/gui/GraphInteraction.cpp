#include "viewer/gui/GraphInteraction.h"

#include "viewer/gui/GraphPainter.h"

#include "viewer/graph/SiteGraph.h"

#include <QPainter>

#include <algorithm>

namespace {

int ClampCoordinate(int value) {
    return std::clamp(value, -GraphInteraction::kCoordinateLimit, GraphInteraction::kCoordinateLimit);
}

}  // namespace

NodeRef::NodeRef(const GraphNode* node) : id_(node ? node->id : 0), node_(node) {}

GraphNode* NodeRef::Find(const SiteGraph& graph) const {
    if (!node_) return nullptr;
    for (const auto& node : graph.Nodes())
        if (node->id == id_ && node.get() == node_) return node.get();
    return nullptr;
}

void GraphInteraction::PressBody(const GraphNode& node, QPoint at) {
    node_ = NodeRef(&node);
    dragRect_ = BoxRect(node);
    grabOffset_ = at - dragRect_.topLeft();
    movePending_ = true;
}

void GraphInteraction::StartResize(const GraphNode& node) {
    node_ = NodeRef(&node);
    dragRect_ = BoxRect(node);
    mode_ = Mode::Resizing;
}

void GraphInteraction::StartLink(const GraphNode& source) {
    node_ = NodeRef(&source);
    Point centre = source.Box().Center();
    rubberFrom_ = rubberTo_ = QPoint(centre.x, centre.y);
    mode_ = Mode::DrawingLink;
}

void GraphInteraction::StartBendDrag(const GraphEdge& edge, int bend) {
    edgeSource_ = NodeRef(edge.source);
    edgeTarget_ = NodeRef(edge.target);
    bend_ = bend;
    mode_ = Mode::DraggingBend;
}

bool GraphInteraction::Follow(const SiteGraph& graph, QPoint at) {
    if (movePending_) {
        movePending_ = false;
        mode_ = Mode::Moving;
    }
    switch (mode_) {
    case Mode::Idle: return false;
    case Mode::Moving:
        dragRect_.moveTopLeft(
            QPoint(ClampCoordinate(at.x() - grabOffset_.x()), ClampCoordinate(at.y() - grabOffset_.y())));
        break;
    case Mode::Resizing:
        dragRect_.setRight(std::max(ClampCoordinate(at.x()), dragRect_.left() + kMinBoxSize - 1));
        dragRect_.setBottom(std::max(ClampCoordinate(at.y()), dragRect_.top() + kMinBoxSize - 1));
        break;
    case Mode::DrawingLink: rubberTo_ = at; break;
    case Mode::DraggingBend: {
        GraphNode* source = edgeSource_.Find(graph);
        GraphNode* target = edgeTarget_.Find(graph);
        GraphEdge* edge = source && target ? graph.FindEdge(source, target) : nullptr;
        if (edge && bend_ >= 0 && bend_ < static_cast<int>(edge->bends.size())) {
            edge->bends[bend_].x = ClampCoordinate(at.x());
            edge->bends[bend_].y = ClampCoordinate(at.y());
        }
        break;
    }
    }
    return true;
}

bool GraphInteraction::Finish(const SiteGraph& graph) {
    movePending_ = false;
    if (mode_ != Mode::Moving && mode_ != Mode::Resizing && mode_ != Mode::DraggingBend) return false;
    GraphNode* node = node_.Find(graph);
    if (node && mode_ != Mode::DraggingBend) {
        QRect r = dragRect_.normalized();
        node->SetBox(Rectangle(r.left(), r.top(), r.right(), r.bottom()));
    }
    *this = GraphInteraction();
    return true;
}

GraphNode* GraphInteraction::EndLink(const SiteGraph& graph) {
    GraphNode* source = node_.Find(graph);
    *this = GraphInteraction();
    return source;
}

void GraphInteraction::PaintRubber(QPainter& painter) const {
    QPen rubber(Qt::black);
    rubber.setCosmetic(true);
    rubber.setStyle(Qt::DashLine);
    painter.setPen(rubber);
    painter.setBrush(Qt::NoBrush);
    if (mode_ == Mode::Moving || mode_ == Mode::Resizing) painter.drawRect(dragRect_.adjusted(0, 0, -1, -1));
    if (mode_ == Mode::DrawingLink) painter.drawLine(rubberFrom_, rubberTo_);
}
