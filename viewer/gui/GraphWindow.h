// A graph window: one site graph on a scrollable canvas, with the overview
// and the page index beside it. It draws the graph, answers the mouse (move
// and resize boxes, pin nodes, draw links, bend links, open documents), runs
// the graph commands and the animated relaxation, and keeps the windows
// opened from it ("Show in new window") as its dependents.
#pragma once

#include "viewer/gui/GraphInteraction.h"
#include "viewer/gui/GraphPainter.h"
#include "viewer/gui/ScrollCanvas.h"
#include "viewer/gui/SplitChildWindow.h"

#include "viewer/graph/EdgeRouting.h"
#include "viewer/graph/SiteGraph.h"

#include <QPointer>
#include <QTimer>

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

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
    // Animation timer period.
    static constexpr int kAnimationMs = 100;
    // The relaxation visits every pair of nodes per tick; beyond this many
    // nodes a tick would stall the window.
    static constexpr size_t kMaxAnimatedNodes = 5000;
    // Larger graph files are refused before reading.
    static constexpr long long kMaxGraphFileBytes = 16LL * 1024 * 1024;
    // Pointer distance that still hits a link.
    static constexpr int kEdgeTolerance = 3;

    GraphWindow(GraphWindowHost& host, const QString& title, QWidget* parent = nullptr);
    ~GraphWindow() override;

    SiteGraph& Graph() { return graph_; }
    const SiteGraph& Graph() const { return graph_; }
    Crawler& GetCrawler() { return *crawler_; }
    GraphCanvas* Canvas() const { return canvas_; }
    const GraphPainter& Painter() const { return painter_; }

    bool Animating() const { return animating_; }
    // "Expand URL..." and "Add another Net location" load into this window.
    bool CanExpand() const { return canExpand_; }

    // After the graph changed: edge geometry and extent anew, then a repaint.
    void RepaintAfterEdit();
    // While suspended (nested), nothing is painted: the graph is being filled.
    void SuspendPainting(bool suspend);
    bool PaintingSuspended() const { return suspended_ > 0; }
    // Brings the root node (or the first node) into sight.
    void ShowStartNode();

    // The graph commands of the canvas popup (by command id).
    void Command(int id);
    bool StartAnimation();
    void StopAnimation();
    // One relaxation step, as the timer runs it.
    void AnimationTick();
    // The layout, unless animating.
    bool Rearrange();
    // Loading into an empty window and saving make the graph count as saved.
    bool LoadGraph(const QString& path);
    bool SaveGraph(const QString& path);
    // The graph holds nodes, links or places its file does not (or it has
    // no file at all).
    bool Unsaved() const;

    // The node popup and its commands (by command id).
    std::unique_ptr<QMenu> BuildNodePopup(const GraphNode& node) const;
    void NodeCommand(GraphNode& node, int id);
    // The node's neighbourhood in a new dependent window.
    GraphWindow* ShowInNewWindow(const GraphNode& node);

    // The window this one was opened from with "Show in new window".
    GraphWindow* OwnerWindow() const { return owner_; }
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
    // What a graph file would keep of the graph (not the sizes fitted to
    // the labels), as a hash.
    size_t Fingerprint() const;
    void RecomputeEdges();
    void UpdateExtent();
    void ClearGraph();
    void AddNewNode();
    void SetAllStraight(bool straight);
    void ToggleOverlapDisplay();
    void UpdateOverlaps();
    std::unique_ptr<QMenu> BuildCanvasPopup() const;
    void PopupAt(QMouseEvent* event, GraphNode* node);

    void RemoveNodes(const std::vector<GraphNode*>& nodes);
    void CopyLocation(const GraphNode& node);
    bool OpenInBrowser(const GraphNode& node);

    GraphNode* NodeAt(Point p) const;
    // The first edge whose handle or line is under p; segment gets the
    // polyline segment hit (-1 for a handle), handle the bend point (or -1).
    GraphEdge* EdgeAt(Point p, int* segment = nullptr, int* handle = nullptr) const;
    void PressOnEdge(Point p, bool insertBend);
    void PressOnNode(GraphNode& node, Point p, Qt::KeyboardModifiers modifiers);
    void Hover(Point p);
    void ShowNodeDescription(const GraphNode* node);
    void PageIndexActivated(int row);
    QList<GraphWindow*> Dependents() const;

    GraphWindowHost& host_;
    SiteGraph graph_;
    std::unique_ptr<Crawler> crawler_;
    GraphCanvas* canvas_;
    EdgeRouting routing_;
    GraphPainter painter_;
    QTimer timer_;
    GraphInteraction interaction_;

    bool animating_ = false;
    bool canExpand_ = true;
    bool overlapDisplay_ = false;
    int suspended_ = 0;
    bool hoverStatus_ = false;

    // Set from any thread when nodes are added; the list follows on paint.
    std::atomic<bool> pageIndexDirty_{true};
    std::vector<const GraphNode*> pageIndexNodes_;

    QPointer<GraphWindow> owner_;
    std::optional<size_t> savedFingerprint_; // of the graph as its file holds it
    QList<QPointer<GraphWindow>> dependents_;
};
