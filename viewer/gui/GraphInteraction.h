// The mouse operation in progress on a graph window's canvas: moving or
// resizing a box, drawing a link, dragging a bend point. It refers to the
// nodes and the edge involved by id and looks them up in the graph at every
// step, so a node removed meanwhile simply ends the operation.
#pragma once

#include <QPoint>
#include <QRect>

#include <cstdint>

class GraphEdge;
class GraphNode;
class QPainter;
class SiteGraph;

// A node by its id. Ids repeat after a file is loaded into an open graph,
// so the node's address tells such twins apart; it is compared, never
// followed, so a removed node is simply not found.
class NodeRef {
public:
    NodeRef() = default;
    explicit NodeRef(const GraphNode* node);

    // The node in the graph, or null when it is gone.
    GraphNode* Find(const SiteGraph& graph) const;

private:
    int32_t id_ = 0;
    const GraphNode* node_ = nullptr;
};

class GraphInteraction {
public:
    enum class Mode { Idle, Moving, Resizing, DrawingLink, DraggingBend };

    // Boxes never get narrower or lower than this by resizing.
    static constexpr int kMinBoxSize = 20;
    // Dragged boxes and bend points stay within this many pixels of the origin.
    static constexpr int kCoordinateLimit = 30000;

    Mode CurrentMode() const { return mode_; }
    // A press may still become a move, or an operation runs: the animation waits.
    bool Busy() const { return mode_ != Mode::Idle || movePending_; }

    // A press in a node's body: the first move of the pointer starts moving it.
    void PressBody(const GraphNode& node, QPoint at);
    // A double click is no move.
    void DropPendingMove() { movePending_ = false; }
    void StartResize(const GraphNode& node);
    void StartLink(const GraphNode& source);
    void StartBendDrag(const GraphEdge& edge, int bend);

    // Follows the pointer: a pending move starts, the rubber shapes or the
    // bend point follow. False when idle (nothing follows the pointer).
    bool Follow(const SiteGraph& graph, QPoint at);
    // Ends moving, resizing or dragging a bend point; a moved or resized box
    // takes the rubber rectangle. False when no such operation ran.
    bool Finish(const SiteGraph& graph);
    // Ends drawing a link: its source, or null when it is gone.
    GraphNode* EndLink(const SiteGraph& graph);

    // The rubber rectangle or line of the operation, if any.
    void PaintRubber(QPainter& painter) const;

private:
    Mode mode_ = Mode::Idle;
    bool movePending_ = false;
    NodeRef node_;  // moved, resized, or the source of the link
    QPoint grabOffset_;
    QRect dragRect_;
    QPoint rubberFrom_, rubberTo_;
    NodeRef edgeSource_, edgeTarget_;  // the edge whose bend point is dragged
    int bend_ = -1;
};
