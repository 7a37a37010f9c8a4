// A graph window: one site graph on a scrollable canvas, with the overview
// and the page index beside it. It draws the graph, answers the mouse (move
// and resize boxes, pin nodes, draw links, bend links, open documents), runs
// the graph commands and the animated relaxation, and keeps the windows
// opened from it ("Show in new window") as its dependents.
#pragma once

#include "viewer/gui/EdgeRouting.h"
#include "viewer/gui/GraphPainter.h"
#include "viewer/gui/ScrollCanvas.h"
#include "viewer/gui/SplitChildWindow.h"

#include "viewer/graph/SiteGraph.h"

#include <QPointer>
#include <QTimer>

#include <atomic>
#include <memory>
#include <unordered_set>

class Crawler;
class GraphWindow;
class GraphWindowHost;
class QMenu;

// The canvas of a graph window: paints and hands the mouse to its window.
class GraphCanvas : public ScrollCanvas {
    Q_OBJECT
public:
    explicit GraphCanvas(GraphWindow& window) : window_(window) {}
    void PaintContent(QPainter& painter, const QRect& area) override;

protected:
    void CanvasMousePress(QMouseEvent* event, QPoint position) override;
    void CanvasMouseMove(QMouseEvent* event, QPoint position) override;
    void CanvasMouseRelease(QMouseEvent* event, QPoint position) override;
    void CanvasMouseDoubleClick(QMouseEvent* event, QPoint position) override;
    void BeforePaint() override;

private:
    GraphWindow& window_;
};

class GraphWindow : public SplitChildWindow {
    Q_OBJECT
public:
    enum MouseMode { kIdle = 0, kMoving = 1, kResizing = 2, kDrawingLink = 3, kDraggingBend = 4 };

    // Boxes never get narrower or lower than this by resizing.
    static constexpr int kMinBoxSize = 20;
    // Animation timer period.
    static constexpr int kAnimationMs = 100;
    // The relaxation visits every pair of nodes per tick; beyond this many
    // nodes a tick would stall the window.
    static constexpr size_t kMaxAnimatedNodes = 5000;
    // Larger graph files are refused before reading.
    static constexpr long long kMaxGraphFileBytes = 16LL * 1024 * 1024;
    // Pointer distance that still hits a link.
    static constexpr int kEdgeTolerance = 3;
    // Dragged boxes stay within this many pixels of the origin.
    static constexpr int kCoordinateLimit = 30000;

    GraphWindow(GraphWindowHost& host, const QString& title, QWidget* parent = nullptr);
    ~GraphWindow() override;

    SiteGraph& Graph() { return graph_; }
    const SiteGraph& Graph() const { return graph_; }
    Crawler& GetCrawler() { return *crawler_; }
    GraphCanvas* Canvas() const { return canvas_; }
    const EdgeRouting& Routing() const { return routing_; }
    const GraphPainter& Painter() const { return painter_; }

    int MouseModeValue() const { return mouseMode_; }
    bool MovePending() const { return movePending_; }
    QRect DragRect() const { return dragRect_; }
    GraphNode* LinkSource() const { return linkSource_; }
    bool Animating() const { return animating_; }
    bool AnimationTimerActive() const { return timer_.isActive(); }
    bool CanExpand() const { return canExpand_; }
    void SetCanExpand(bool canExpand) { canExpand_ = canExpand; }
    bool OverlapDisplay() const { return overlapDisplay_; }
    QSize IconSize() const { return QSize(iconWidth_, iconHeight_); }

    // Sides, slots and automatic bend points anew, then a repaint.
    void RecomputeEdges();
    // The extent from the node boxes, then a repaint.
    void UpdateExtent();
    // While suspended (nested), nothing is painted: the graph is being filled.
    void SuspendPainting(bool suspend);
    bool PaintingSuspended() const { return suspended_ > 0; }
    // Brings the root node (or the first node) into sight.
    void ShowStartNode();

    // The graph commands of the canvas and the node popup (by command id).
    void Command(int id);
    bool StartAnimation();
    void StopAnimation();
    // One relaxation step, as the timer runs it.
    void AnimationTick();
    // The layout, unless animating.
    bool Rearrange();
    bool LoadGraph(const QString& path);
    bool SaveGraph(const QString& path);
    void ClearGraph();
    GraphNode* AddNewNode();
    void SetAllStraight(bool straight);
    void ToggleOverlapDisplay();
    // Starts drawing a link from the node (the next press on a node ends it).
    void StartDrawingLink(GraphNode* source);

    // Popup menus; the node popup remembers its node for NodeCommand.
    std::unique_ptr<QMenu> BuildNodePopup(GraphNode* node);
    std::unique_ptr<QMenu> BuildCanvasPopup();
    void NodeCommand(int id);

    void RemoveNode(GraphNode* node);
    void RemoveWithOutgoing(GraphNode* node);
    GraphWindow* ShowInNewWindow(GraphNode* node);
    void CopyLocation(const GraphNode* node);
    bool OpenInBrowser(const GraphNode* node);

    GraphNode* NodeAt(Point p) const;
    // The first edge whose handle or line is under p; segment gets the
    // polyline segment hit (-1 for a handle).
    GraphEdge* EdgeAt(Point p, int* segment = nullptr, int* handle = nullptr) const;
    bool InMarkerZone(const GraphNode& node, Point p) const;
    bool InResizeZone(const GraphNode& node, Point p) const;

    // Dependent windows: opened from this one with "Show in new window".
    GraphWindow* OwnerWindow() const { return owner_; }
    QList<GraphWindow*> Dependents() const;
    // Closes the window (and its MDI frame); false when it stays open.
    bool CloseWindow();

    // Mouse handling in canvas units (from the canvas).
    void MousePress(QMouseEvent* event, Point p);
    void MouseMove(QMouseEvent* event, Point p);
    void MouseRelease(QMouseEvent* event, Point p);
    void MouseDoubleClick(QMouseEvent* event, Point p);

    // Draws graph and rubber shapes (from the canvas and the overview).
    void PaintGraph(QPainter& painter, const QRect& area);
    // Brings the page index up to date with the graph.
    void RefreshPageIndex();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ShowNodeDescription(const GraphNode* node);
    void UpdateOverlaps();
    void PageIndexActivated(int row);
    void PopupAt(QMouseEvent* event, GraphNode* node);

    GraphWindowHost& host_;
    SiteGraph graph_;
    std::unique_ptr<Crawler> crawler_;
    GraphCanvas* canvas_;
    EdgeRouting routing_;
    GraphPainter painter_;
    QTimer timer_;

    int mouseMode_ = kIdle;
    bool movePending_ = false;
    QPoint grabOffset_;
    GraphNode* dragNode_ = nullptr;
    QRect dragRect_;
    GraphNode* linkSource_ = nullptr;
    QPoint rubberFrom_, rubberTo_;
    GraphEdge* dragEdge_ = nullptr;
    int dragBendIndex_ = -1;
    bool animating_ = false;
    bool canExpand_ = true;
    bool overlapDisplay_ = false;
    int iconWidth_ = 0;
    int iconHeight_ = 0;
    int suspended_ = 0;
    bool hoverStatus_ = false;

    // Set from any thread when nodes are added; the list follows on paint.
    std::atomic<bool> pageIndexDirty_{true};
    std::vector<const GraphNode*> pageIndexNodes_;

    QPointer<GraphWindow> owner_;
    QList<QPointer<GraphWindow>> dependents_;
};
