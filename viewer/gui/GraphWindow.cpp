#include "viewer/gui/GraphWindow.h"

#include "viewer/gui/CommandIds.h"
#include "viewer/gui/GraphWindowHost.h"
#include "viewer/gui/GuiTexts.h"
#include "viewer/gui/Icons.h"
#include "viewer/gui/Overlaps.h"
#include "viewer/gui/OverviewPane.h"
#include "viewer/gui/UserPrompts.h"

#include "viewer/graph/GraphFile.h"
#include "viewer/graph/GraphLayout.h"
#include "viewer/graph/NodeSizes.h"
#include "viewer/graph/Relaxation.h"
#include "viewer/loader/Crawler.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileInfo>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <unordered_map>

namespace {

Point ToPoint(QPoint p) {
    return Point{p.x(), p.y()};
}

QPoint ToQPoint(Point p) {
    return QPoint(p.x, p.y);
}

int ClampCoordinate(int value) {
    return std::clamp(value, -GraphWindow::kCoordinateLimit, GraphWindow::kCoordinateLimit);
}

bool Expandable(NodeKind kind) {
    switch (kind) {
    case NodeKind::Other:
    case NodeKind::OtherServer:
    case NodeKind::SameServer:
    case NodeKind::ServerError:
    case NodeKind::ClientError:
        return true;
    default:
        return false;
    }
}

QAction* AddItem(QMenu& menu, const char* text, int id, bool enabled) {
    QAction* action = menu.addAction(text);
    action->setData(id);
    action->setEnabled(enabled);
    return action;
}

}  // namespace

// ---- canvas -----------------------------------------------------------------

void GraphCanvas::PaintContent(QPainter& painter, const QRect& area) {
    window_.PaintGraph(painter, area);
}

void GraphCanvas::CanvasMousePress(QMouseEvent* event, QPoint position) {
    window_.MousePress(event, ToPoint(position));
}

void GraphCanvas::CanvasMouseMove(QMouseEvent* event, QPoint position) {
    window_.MouseMove(event, ToPoint(position));
}

void GraphCanvas::CanvasMouseRelease(QMouseEvent* event, QPoint position) {
    window_.MouseRelease(event, ToPoint(position));
}

void GraphCanvas::CanvasMouseDoubleClick(QMouseEvent* event, QPoint position) {
    window_.MouseDoubleClick(event, ToPoint(position));
}

void GraphCanvas::BeforePaint() {
    if (!window_.PaintingSuspended()) window_.RefreshPageIndex();
}

// ---- window -----------------------------------------------------------------

GraphWindow::GraphWindow(GraphWindowHost& host, const QString& title, QWidget* parent)
    : SplitChildWindow(new GraphCanvas(*this), parent),
      host_(host),
      crawler_(std::make_unique<Crawler>(graph_)),
      canvas_(static_cast<GraphCanvas*>(SplitChildWindow::Canvas())),
      painter_(host.Icons()) {
    setWindowTitle(title);
    setWindowIcon(WindowIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    QSize icon = host_.Icons().IconSize();
    iconWidth_ = icon.width();
    iconHeight_ = icon.height();

    timer_.setSingleShot(true);
    timer_.setInterval(kAnimationMs);
    connect(&timer_, &QTimer::timeout, this, &GraphWindow::AnimationTick);

    // Nodes may be added by a load job's thread: only mark the list stale.
    graph_.listWindow = [this](const GraphNode&) { pageIndexDirty_ = true; };
    graph_.busyPointer = [](bool on) {
        if (on)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    };
    connect(PageIndex(), &QListWidget::currentRowChanged, this, &GraphWindow::PageIndexActivated);
}

GraphWindow::~GraphWindow() {
    timer_.stop();
    // The crawler refers to the graph's nodes: it goes first.
    crawler_.reset();
}

// ---- geometry, extent, painting ---------------------------------------------

void GraphWindow::RecomputeEdges() {
    routing_.Recompute(graph_);
    if (overlapDisplay_) UpdateOverlaps();
    canvas_->DrawArea()->update();
    Overview()->update();
}

void GraphWindow::UpdateExtent() {
    canvas_->SetExtent(GraphExtent(graph_));
}

void GraphWindow::SuspendPainting(bool suspend) {
    suspended_ += suspend ? 1 : -1;
    if (suspended_ < 0) suspended_ = 0;
    if (suspended_ == 0) {
        pageIndexDirty_ = true;
        canvas_->DrawArea()->update();
    }
}

void GraphWindow::ShowStartNode() {
    GraphNode* start = graph_.RootNode();
    if (!start && !graph_.Nodes().empty()) start = graph_.Nodes().front().get();
    if (start) canvas_->ScrollToPoint(ToQPoint(start->Box().Center()));
}

void GraphWindow::PaintGraph(QPainter& painter, const QRect& area) {
    if (suspended_ > 0) return;
    painter_.Paint(painter, graph_, routing_, area);

    // Rubber shapes of a mouse operation in progress.
    QPen rubber(Qt::black);
    rubber.setCosmetic(true);
    rubber.setStyle(Qt::DashLine);
    painter.setPen(rubber);
    painter.setBrush(Qt::NoBrush);
    if (mouseMode_ == kMoving || mouseMode_ == kResizing) painter.drawRect(dragRect_.adjusted(0, 0, -1, -1));
    if (mouseMode_ == kDrawingLink) painter.drawLine(rubberFrom_, rubberTo_);
}

void GraphWindow::RefreshPageIndex() {
    if (!pageIndexDirty_.exchange(false)) return;
    QListWidget* list = PageIndex();
    std::vector<const GraphNode*> nodes;
    nodes.reserve(graph_.Nodes().size());
    for (const auto& node : graph_.Nodes()) nodes.push_back(node.get());
    // New nodes are appended; anything else (a removal) rebuilds the list.
    bool prefix = nodes.size() >= pageIndexNodes_.size() &&
                  std::equal(pageIndexNodes_.begin(), pageIndexNodes_.end(), nodes.begin());
    QSignalBlocker block(list);
    if (!prefix) {
        list->clear();
        pageIndexNodes_.clear();
    }
    for (size_t i = pageIndexNodes_.size(); i < nodes.size(); i++)
        list->addItem(QString::fromStdString(nodes[i]->url));
    pageIndexNodes_ = std::move(nodes);
}

void GraphWindow::PageIndexActivated(int row) {
    if (row < 0 || row >= static_cast<int>(pageIndexNodes_.size())) return;
    const GraphNode* wanted = pageIndexNodes_[row];
    for (const auto& node : graph_.Nodes())
        if (node.get() == wanted) {
            canvas_->ScrollToPoint(ToQPoint(node->Box().Center()));
            ShowNodeDescription(node.get());
            return;
        }
}

// ---- hit tests ----------------------------------------------------------------

GraphNode* GraphWindow::NodeAt(Point p) const {
    for (const auto& node : graph_.Nodes())
        if (BoxRect(*node).contains(ToQPoint(p))) return node.get();
    return nullptr;
}

bool GraphWindow::InMarkerZone(const GraphNode& node, Point p) const {
    QRect box = BoxRect(node);
    return QRect(box.left(), box.top(), node.markerDiameter, node.markerDiameter).contains(ToQPoint(p));
}

bool GraphWindow::InResizeZone(const GraphNode& node, Point p) const {
    QRect box = BoxRect(node);
    int d = node.markerDiameter;
    return QRect(box.right() - d + 1, box.bottom() - d + 1, d, d).contains(ToQPoint(p));
}

GraphEdge* GraphWindow::EdgeAt(Point p, int* segment, int* handle) const {
    for (const auto& edge : graph_.Edges()) {
        int bend = HandleUnder(*edge, p);
        int hit = bend >= 0 ? -1 : SegmentUnder(routing_.Polyline(*edge), p, kEdgeTolerance);
        if (bend >= 0 || hit >= 0) {
            if (segment) *segment = hit;
            if (handle) *handle = bend;
            return edge.get();
        }
    }
    return nullptr;
}

// ---- mouse ---------------------------------------------------------------------

void GraphWindow::ShowNodeDescription(const GraphNode* node) {
    QString text;
    if (node) {
        text = QString::fromStdString(node->info.empty() ? node->url : node->info);
        text.replace("\r\n", "   ");
        text.replace('\n', "   ");
    }
    host_.ShowStatus(text);
    hoverStatus_ = node != nullptr;
}

void GraphWindow::StartDrawingLink(GraphNode* source) {
    if (!source) return;
    linkSource_ = source;
    mouseMode_ = kDrawingLink;
    rubberFrom_ = ToQPoint(source->Box().Center());
    rubberTo_ = rubberFrom_;
    canvas_->DrawArea()->update();
}

void GraphWindow::MousePress(QMouseEvent* event, Point p) {
    if (mouseMode_ == kDrawingLink) {
        GraphNode* target = NodeAt(p);
        if (target && linkSource_) graph_.AddEdge(std::make_unique<GraphEdge>(linkSource_, target));
        mouseMode_ = kIdle;
        RecomputeEdges();
        UpdateExtent();
        return;
    }
    if (mouseMode_ != kIdle) return;

    GraphNode* node = NodeAt(p);
    if (event->button() == Qt::RightButton) {
        if (node) {
            PopupAt(event, node);
        } else if (!EdgeAt(p)) {
            PopupAt(event, nullptr);
        }
        return;
    }

    if (!node) {
        int segment = -1, handle = -1;
        GraphEdge* edge = EdgeAt(p, &segment, &handle);
        if (!edge) return;
        if (event->modifiers() & Qt::ShiftModifier) {
            if (segment < 0 || edge->straight) return;
            int at = std::min<int>(segment, static_cast<int>(edge->bends.size()));
            edge->bends.insert(edge->bends.begin() + at, BendPoint{p.x, p.y, false});
            RecomputeEdges();
            UpdateExtent();
        } else if (handle >= 0) {
            dragEdge_ = edge;
            dragBendIndex_ = handle;
            mouseMode_ = kDraggingBend;
        }
        return;
    }

    if (InMarkerZone(*node, p)) {
        node->marked = !node->marked;
        canvas_->DrawArea()->update();
        return;
    }
    if (InResizeZone(*node, p)) {
        dragNode_ = node;
        dragRect_ = BoxRect(*node);
        mouseMode_ = kResizing;
        return;
    }
    if (event->modifiers() & Qt::ControlModifier) {
        StartDrawingLink(node);
        return;
    }
    ShowNodeDescription(node);
    hoverStatus_ = false;  // a clicked description stays
    dragNode_ = node;
    dragRect_ = BoxRect(*node);
    grabOffset_ = QPoint(p.x - dragRect_.left(), p.y - dragRect_.top());
    movePending_ = true;
}

void GraphWindow::MouseMove(QMouseEvent*, Point p) {
    QPoint at = ToQPoint(p);
    if (movePending_) {
        movePending_ = false;
        mouseMode_ = kMoving;
    }
    switch (mouseMode_) {
    case kIdle: {
        GraphNode* node = NodeAt(p);
        QWidget* area = canvas_->DrawArea();
        if (node && InMarkerZone(*node, p))
            area->setCursor(PinCursor());
        else if (node && InResizeZone(*node, p))
            area->setCursor(Qt::SizeFDiagCursor);
        else
            area->unsetCursor();
        if (node)
            ShowNodeDescription(node);
        else if (hoverStatus_)
            ShowNodeDescription(nullptr);
        return;
    }
    case kMoving:
        dragRect_.moveTopLeft(QPoint(ClampCoordinate(at.x() - grabOffset_.x()),
                                     ClampCoordinate(at.y() - grabOffset_.y())));
        break;
    case kResizing:
        dragRect_.setRight(std::max(ClampCoordinate(at.x()), dragRect_.left() + kMinBoxSize - 1));
        dragRect_.setBottom(std::max(ClampCoordinate(at.y()), dragRect_.top() + kMinBoxSize - 1));
        break;
    case kDrawingLink:
        rubberTo_ = at;
        break;
    case kDraggingBend:
        if (dragEdge_ && dragBendIndex_ >= 0 && dragBendIndex_ < static_cast<int>(dragEdge_->bends.size())) {
            dragEdge_->bends[dragBendIndex_].x = ClampCoordinate(at.x());
            dragEdge_->bends[dragBendIndex_].y = ClampCoordinate(at.y());
        }
        break;
    }
    canvas_->DrawArea()->update();
}

void GraphWindow::MouseRelease(QMouseEvent*, Point) {
    movePending_ = false;
    if (mouseMode_ != kMoving && mouseMode_ != kResizing && mouseMode_ != kDraggingBend) return;
    if ((mouseMode_ == kMoving || mouseMode_ == kResizing) && dragNode_) {
        QRect r = dragRect_.normalized();
        dragNode_->SetBox(Rectangle(r.left(), r.top(), r.right(), r.bottom()));
    }
    mouseMode_ = kIdle;
    dragNode_ = nullptr;
    dragEdge_ = nullptr;
    dragBendIndex_ = -1;
    RecomputeEdges();
    UpdateExtent();
}

void GraphWindow::MouseDoubleClick(QMouseEvent* event, Point p) {
    if (event->button() == Qt::RightButton || mouseMode_ != kIdle) {
        MousePress(event, p);
        return;
    }
    GraphNode* node = NodeAt(p);
    if (node) {
        movePending_ = false;
        OpenInBrowser(node);
        return;
    }
    MousePress(event, p);
}

void GraphWindow::PopupAt(QMouseEvent* event, GraphNode* node) {
    std::unique_ptr<QMenu> menu = node ? BuildNodePopup(node) : BuildCanvasPopup();
    QPointer<GraphWindow> self(this);
    QAction* chosen = menu->exec(event->globalPosition().toPoint());
    if (!self || !chosen) return;
    int id = chosen->data().toInt();
    if (node)
        NodeCommand(id);
    else
        Command(id);
}

// ---- popup menus ----------------------------------------------------------------

std::unique_ptr<QMenu> GraphWindow::BuildNodePopup(GraphNode* node) {
    linkSource_ = node;
    auto menu = std::make_unique<QMenu>();
    bool expandable = Expandable(node->kind);
    AddItem(*menu, gui_text::kStartBrowser, cmd::kStartBrowser, true);
    AddItem(*menu, gui_text::kCopyLocation, cmd::kCopyLocation, true);
    menu->addSeparator();
    AddItem(*menu, gui_text::kExpandUrl, cmd::kExpandUrl, expandable && !animating_ && canExpand_);
    AddItem(*menu, gui_text::kShowInNewWindow, cmd::kShowInNewWindow, true);
    menu->addSeparator();
    AddItem(*menu, gui_text::kRemove, cmd::kRemove, !animating_);
    AddItem(*menu, gui_text::kRemoveOutgoing, cmd::kRemoveOutgoing, !expandable && !animating_);
    return menu;
}

std::unique_ptr<QMenu> GraphWindow::BuildCanvasPopup() {
    auto menu = std::make_unique<QMenu>();
    AddItem(*menu, gui_text::kCanvasLoad, cmd::kLoadGraph, true);
    AddItem(*menu, gui_text::kCanvasSave, cmd::kSaveGraph, true);
    menu->addSeparator();
    AddItem(*menu, gui_text::kCanvasStraightOn, cmd::kStraightOn, true);
    AddItem(*menu, gui_text::kCanvasStraightOff, cmd::kStraightOff, true);
    QAction* overlaps = AddItem(*menu, gui_text::kCanvasOverlaps, cmd::kOverlapDisplay, true);
    overlaps->setCheckable(true);
    overlaps->setChecked(overlapDisplay_);
    menu->addSeparator();
    AddItem(*menu, gui_text::kCanvasNewNode, cmd::kNewNode, true);
    AddItem(*menu, gui_text::kCanvasClear, cmd::kClearGraph, !animating_);
    menu->addSeparator();
    AddItem(*menu, gui_text::kCanvasAnimationOn, cmd::kAnimationOn, !animating_);
    AddItem(*menu, gui_text::kCanvasAnimationOff, cmd::kAnimationOff, animating_);
    AddItem(*menu, gui_text::kCanvasLayout, cmd::kRearrange, !animating_);
    return menu;
}

void GraphWindow::NodeCommand(int id) {
    GraphNode* node = linkSource_;
    if (!node) return;
    // The node must still be in the graph (the menu may have stayed open long).
    bool present = std::any_of(graph_.Nodes().begin(), graph_.Nodes().end(),
                               [node](const auto& held) { return held.get() == node; });
    if (!present) return;
    bool expandable = Expandable(node->kind);
    switch (id) {
    case cmd::kStartBrowser: OpenInBrowser(node); break;
    case cmd::kCopyLocation: CopyLocation(node); break;
    case cmd::kExpandUrl:
        if (expandable && !animating_ && canExpand_) host_.ExpandUrl(this, node->url);
        break;
    case cmd::kShowInNewWindow: ShowInNewWindow(node); break;
    case cmd::kRemove:
        if (!animating_) RemoveNode(node);
        break;
    case cmd::kRemoveOutgoing:
        if (!expandable && !animating_) RemoveWithOutgoing(node);
        break;
    default: break;
    }
}

// ---- node actions ----------------------------------------------------------------

bool GraphWindow::OpenInBrowser(const GraphNode* node) {
    if (!node) return false;
    bool started = host_.StartBrowser(this, node->url);
    if (!started) host_.ShowStatus(gui_text::kBrowserNotStarted);
    return started;
}

void GraphWindow::CopyLocation(const GraphNode* node) {
    if (node) QGuiApplication::clipboard()->setText(QString::fromStdString(node->url));
}

void GraphWindow::RemoveNode(GraphNode* node) {
    if (!node) return;
    if (linkSource_ == node) linkSource_ = nullptr;
    if (dragNode_ == node) dragNode_ = nullptr;
    dragEdge_ = nullptr;
    crawler_->ForgetNode(node);
    graph_.RemoveNode(node);
    pageIndexDirty_ = true;
    RecomputeEdges();
    UpdateExtent();
}

void GraphWindow::RemoveWithOutgoing(GraphNode* node) {
    if (!node) return;
    std::vector<GraphNode*> doomed{node};
    std::unordered_set<GraphNode*> seen{node};
    // Everything reachable over links that are not two-way.
    for (size_t i = 0; i < doomed.size(); i++)
        for (GraphEdge* edge : doomed[i]->edges)
            if (!edge->bothWays && edge->target != doomed[i] && seen.insert(edge->target).second)
                doomed.push_back(edge->target);
    for (GraphNode* gone : doomed) {
        if (linkSource_ == gone) linkSource_ = nullptr;
        crawler_->ForgetNode(gone);
        graph_.RemoveNode(gone);
    }
    dragNode_ = nullptr;
    dragEdge_ = nullptr;
    pageIndexDirty_ = true;
    RecomputeEdges();
    UpdateExtent();
}

GraphWindow* GraphWindow::ShowInNewWindow(GraphNode* node) {
    if (!node) return nullptr;
    GraphWindow* window = host_.OpenGraphWindow(QString::fromStdString(node->url));
    if (!window) return nullptr;
    SiteGraph& graph = window->Graph();
    std::unordered_map<const GraphNode*, GraphNode*> copies;
    auto copy = [&](const GraphNode* original) {
        auto made = std::make_unique<GraphNode>(graph.MaxNodeId() + 1, original->label, original->url,
                                                Rectangle(10, 10, 30, 30));
        made->info = original->info;
        made->kind = original->kind;
        made->level = 0;
        GraphNode* added = graph.AddNode(std::move(made));
        copies[original] = added;
        return added;
    };
    GraphNode* centre = copy(node);
    centre->isRoot = true;
    centre->level = node->level >= 1 ? 1 : 0;
    for (const GraphEdge* edge : node->edges) {
        const GraphNode* other = edge->source == node ? edge->target : edge->source;
        if (!copies.count(other)) copy(other);
    }
    for (const GraphEdge* edge : node->edges) {
        GraphEdge* added = graph.AddEdge(std::make_unique<GraphEdge>(copies[edge->source], copies[edge->target]));
        if (added) {
            added->bothWays = added->bothWays || edge->bothWays;
            added->highlighted = edge->highlighted;
        }
    }
    FitNodeSizes(graph, window->Painter().Measure());
    LayoutSiteGraph(graph);
    window->SetCanExpand(false);
    window->RecomputeEdges();
    window->UpdateExtent();
    window->ShowStartNode();

    GraphWindow* owner = owner_ ? owner_.data() : this;
    window->owner_ = owner;
    owner->dependents_.append(window);
    return window;
}

// ---- commands --------------------------------------------------------------------

void GraphWindow::Command(int id) {
    QStringList filters{gui_text::kZorvelFilter, gui_text::kAllFilesFilter};
    switch (id) {
    case cmd::kLoadGraph: {
        QString path = host_.Prompts().OpenFileName(this, gui_text::kOpenGraphTitle, filters);
        if (!path.isEmpty()) LoadGraph(path);
        break;
    }
    case cmd::kSaveGraph: {
        QString path = host_.Prompts().SaveFileName(this, gui_text::kSaveGraphTitle, filters);
        if (!path.isEmpty()) SaveGraph(path);
        break;
    }
    case cmd::kStraightOn: SetAllStraight(true); break;
    case cmd::kStraightOff: SetAllStraight(false); break;
    case cmd::kOverlapDisplay: ToggleOverlapDisplay(); break;
    case cmd::kNewNode: AddNewNode(); break;
    case cmd::kClearGraph: ClearGraph(); break;
    case cmd::kAnimationOn: StartAnimation(); break;
    case cmd::kAnimationOff: StopAnimation(); break;
    case cmd::kRearrange: Rearrange(); break;
    default: NodeCommand(id); break;
    }
}

bool GraphWindow::StartAnimation() {
    if (animating_) return true;
    if (graph_.Nodes().size() > kMaxAnimatedNodes) {
        host_.ShowStatus(gui_text::kTooManyNodesToAnimate);
        return false;
    }
    animating_ = true;
    timer_.start();
    host_.GraphWindowChanged(this);
    return true;
}

void GraphWindow::StopAnimation() {
    bool was = animating_;
    animating_ = false;
    timer_.stop();
    RecomputeEdges();
    if (was) host_.GraphWindowChanged(this);
}

void GraphWindow::AnimationTick() {
    if (!animating_) return;
    if (mouseMode_ == kIdle && !movePending_ && suspended_ == 0) {
        RelaxationStep(graph_);
        routing_.Recompute(graph_);
        if (overlapDisplay_) UpdateOverlaps();
        UpdateExtent();
        Overview()->update();
    }
    timer_.start();
}

bool GraphWindow::Rearrange() {
    if (animating_) return false;
    if (!LayoutSiteGraph(graph_)) host_.ShowStatus(gui_text::kLayoutFailed);
    RecomputeEdges();
    UpdateExtent();
    return true;
}

bool GraphWindow::LoadGraph(const QString& path) {
    QFileInfo file(path);
    if (!file.exists() || !file.isFile() || !file.isReadable()) {
        host_.ShowStatus(gui_text::kGraphFileUnreadable + path);
        return false;
    }
    if (file.size() > kMaxGraphFileBytes) {
        host_.ShowStatus(gui_text::kGraphFileTooLarge + path);
        return false;
    }
    size_t before = graph_.Nodes().size();
    if (!LoadGraphFile(graph_, path.toStdString(), painter_.Measure())) {
        host_.ShowStatus(gui_text::kGraphFileUnreadable + path);
        return false;
    }
    if (graph_.Nodes().size() == before) host_.ShowStatus(gui_text::kGraphFileEmpty + path);
    pageIndexDirty_ = true;
    RecomputeEdges();
    UpdateExtent();
    return graph_.Nodes().size() > before;
}

bool GraphWindow::SaveGraph(const QString& path) {
    bool saved = SaveGraphFile(graph_, path.toStdString());
    if (!saved) host_.ShowStatus(gui_text::kGraphFileUnwritable + path);
    RecomputeEdges();
    return saved;
}

void GraphWindow::ClearGraph() {
    linkSource_ = nullptr;
    dragNode_ = nullptr;
    dragEdge_ = nullptr;
    for (const auto& node : graph_.Nodes()) crawler_->ForgetNode(node.get());
    graph_.Clear();
    routing_.Clear();
    pageIndexDirty_ = true;
    canvas_->SetOrigin(QPoint(0, 0));
    UpdateExtent();
}

GraphNode* GraphWindow::AddNewNode() {
    auto node = std::make_unique<GraphNode>(graph_.MaxNodeId() + 1, gui_text::kNewNodeLabel, std::string(),
                                            Rectangle(200, 200, 250, 250));
    GraphNode* added = graph_.AddNode(std::move(node));
    UpdateExtent();
    return added;
}

void GraphWindow::SetAllStraight(bool straight) {
    for (const auto& edge : graph_.Edges()) edge->straight = straight;
    RecomputeEdges();
}

void GraphWindow::ToggleOverlapDisplay() {
    overlapDisplay_ = !overlapDisplay_;
    if (overlapDisplay_) {
        UpdateOverlaps();
    } else {
        painter_.SetOverlapMarks({});
        host_.ShowStatus(QString());
    }
    canvas_->DrawArea()->update();
}

void GraphWindow::UpdateOverlaps() {
    OverlapReport report = FindOverlaps(graph_, routing_);
    host_.ShowStatus(QString(gui_text::kOverlapReport).arg(report.overlapping.size()).arg(report.crossings));
    painter_.SetOverlapMarks(std::move(report.overlapping));
}

// ---- dependents and closing -------------------------------------------------------

QList<GraphWindow*> GraphWindow::Dependents() const {
    QList<GraphWindow*> alive;
    for (const QPointer<GraphWindow>& window : dependents_)
        if (window) alive.append(window.data());
    return alive;
}

bool GraphWindow::CloseWindow() {
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget())) return frame->close();
    return close();
}

void GraphWindow::closeEvent(QCloseEvent* event) {
    QList<GraphWindow*> dependents = Dependents();
    if (!dependents.isEmpty()) {
        if (!host_.Prompts().AskYesNo(this, gui_text::kCloseDependents)) {
            event->ignore();
            return;
        }
        dependents_.clear();
        for (GraphWindow* window : dependents) window->CloseWindow();
    }
    StopAnimation();
    host_.ShowStatus(QString());
    event->accept();
}
