#include "viewer/gui/GraphWindow.h"

#include "viewer/gui/CommandIds.h"
#include "viewer/gui/GraphWindowHost.h"
#include "viewer/gui/GuiTexts.h"
#include "viewer/gui/Icons.h"
#include "viewer/gui/Overlaps.h"
#include "viewer/gui/OverviewPane.h"
#include "viewer/gui/PageText.h"
#include "viewer/gui/UserPrompts.h"

#include "viewer/graph/GraphAlgorithms.h"
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

namespace {

// Page texts are cut for the status bar and window titles: a title of any
// length leaves them usable.
constexpr qsizetype kStatusLimit = 500;
constexpr qsizetype kTitleLimit = 200;
constexpr int kExtentMargin = 20;

Point ToPoint(QPoint p) {
    return Point{p.x(), p.y()};
}

QPoint ToQPoint(Point p) {
    return QPoint(p.x, p.y);
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

void GraphWindow::RepaintAfterEdit() {
    // The node found in the page index may be gone.
    painter_.SetFoundNode(nullptr);
    RecomputeEdges();
    UpdateExtent();
}

void GraphWindow::RecomputeEdges() {
    routing_.Recompute(graph_);
    if (overlapDisplay_) UpdateOverlaps();
    canvas_->DrawArea()->update();
    Overview()->update();
}

void GraphWindow::UpdateExtent() {
    // Room around the graph, so that no box sits on the window's edge.
    QRect extent = GraphExtent(graph_);
    if (!extent.isEmpty()) extent.adjust(-kExtentMargin, -kExtentMargin, kExtentMargin, kExtentMargin);
    canvas_->SetExtent(extent);
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
    interaction_.PaintRubber(painter);
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
        list->addItem(PageText(nodes[i]->url));
    pageIndexNodes_ = std::move(nodes);
}

void GraphWindow::PageIndexActivated(int row) {
    if (row < 0 || row >= static_cast<int>(pageIndexNodes_.size())) return;
    const GraphNode* wanted = pageIndexNodes_[row];
    for (const auto& node : graph_.Nodes())
        if (node.get() == wanted) {
            painter_.SetFoundNode(node.get());
            canvas_->ScrollToPoint(ToQPoint(node->Box().Center()));
            canvas_->DrawArea()->update();
            ShowNodeDescription(node.get());
            return;
        }
}

// ---- hit tests ----------------------------------------------------------------

namespace {

QRect MarkerZone(const GraphNode& node) {
    QRect box = BoxRect(node);
    return QRect(box.left(), box.top(), node.markerDiameter, node.markerDiameter);
}

QRect ResizeZone(const GraphNode& node) {
    QRect box = BoxRect(node);
    int d = node.markerDiameter;
    return QRect(box.right() - d + 1, box.bottom() - d + 1, d, d);
}

}  // namespace

GraphNode* GraphWindow::NodeAt(Point p) const {
    for (const auto& node : graph_.Nodes())
        if (BoxRect(*node).contains(ToQPoint(p))) return node.get();
    return nullptr;
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
        text = PageText(node->info.empty() ? node->url : node->info, kStatusLimit);
        text.replace("\r\n", "   ");
        text.replace('\n', "   ");
    }
    host_.ShowStatus(text);
    hoverStatus_ = node != nullptr;
}

void GraphWindow::MousePress(QMouseEvent* event, Point p) {
    if (interaction_.CurrentMode() == GraphInteraction::Mode::DrawingLink) {
        GraphNode* source = interaction_.EndLink(graph_);
        GraphNode* target = NodeAt(p);
        if (source && target) graph_.AddEdge(std::make_unique<GraphEdge>(source, target));
        RepaintAfterEdit();
        return;
    }
    if (interaction_.CurrentMode() != GraphInteraction::Mode::Idle) return;

    GraphNode* node = NodeAt(p);
    if (event->button() == Qt::RightButton) {
        // A right click on a link opens nothing.
        if (node || !EdgeAt(p)) PopupAt(event, node);
    } else if (node) {
        PressOnNode(*node, p, event->modifiers());
    } else {
        PressOnEdge(p, event->modifiers() & Qt::ShiftModifier);
    }
}

void GraphWindow::PressOnEdge(Point p, bool insertBend) {
    int segment = -1, handle = -1;
    GraphEdge* edge = EdgeAt(p, &segment, &handle);
    if (!edge) return;
    if (insertBend) {
        if (segment < 0 || edge->straight) return;
        int at = std::min<int>(segment, static_cast<int>(edge->bends.size()));
        edge->bends.insert(edge->bends.begin() + at, BendPoint{p.x, p.y, false});
        RepaintAfterEdit();
    } else if (handle >= 0) {
        interaction_.StartBendDrag(*edge, handle);
    }
}

void GraphWindow::PressOnNode(GraphNode& node, Point p, Qt::KeyboardModifiers modifiers) {
    QPoint at = ToQPoint(p);
    if (MarkerZone(node).contains(at)) {
        node.marked = !node.marked;
        canvas_->DrawArea()->update();
    } else if (ResizeZone(node).contains(at)) {
        interaction_.StartResize(node);
    } else if (modifiers & Qt::ControlModifier) {
        interaction_.StartLink(node);
        canvas_->DrawArea()->update();
    } else {
        ShowNodeDescription(&node);
        hoverStatus_ = false;  // a clicked description stays
        interaction_.PressBody(node, at);
    }
}

void GraphWindow::MouseMove(QMouseEvent*, Point p) {
    if (interaction_.Follow(graph_, ToQPoint(p)))
        canvas_->DrawArea()->update();
    else
        Hover(p);
}

// The pointer follows the zone under it; the status bar describes the node.
void GraphWindow::Hover(Point p) {
    GraphNode* node = NodeAt(p);
    QWidget* area = canvas_->DrawArea();
    if (node && MarkerZone(*node).contains(ToQPoint(p)))
        area->setCursor(PinCursor());
    else if (node && ResizeZone(*node).contains(ToQPoint(p)))
        area->setCursor(Qt::SizeFDiagCursor);
    else
        area->unsetCursor();
    if (node)
        ShowNodeDescription(node);
    else if (hoverStatus_)
        ShowNodeDescription(nullptr);
}

void GraphWindow::MouseRelease(QMouseEvent*, Point) {
    if (interaction_.Finish(graph_)) RepaintAfterEdit();
}

void GraphWindow::MouseDoubleClick(QMouseEvent* event, Point p) {
    GraphNode* node = NodeAt(p);
    if (event->button() == Qt::RightButton || interaction_.CurrentMode() != GraphInteraction::Mode::Idle || !node) {
        MousePress(event, p);
        return;
    }
    interaction_.DropPendingMove();
    OpenInBrowser(*node);
}

void GraphWindow::PopupAt(QMouseEvent* event, GraphNode* node) {
    std::unique_ptr<QMenu> menu = node ? BuildNodePopup(*node) : BuildCanvasPopup();
    NodeRef popupNode(node);
    QPointer<GraphWindow> self(this);
    QAction* chosen = menu->exec(event->globalPosition().toPoint());
    if (!self || !chosen) return;
    int id = chosen->data().toInt();
    if (!node) {
        Command(id);
    } else if (GraphNode* still = popupNode.Find(graph_)) {
        // The node may have gone while the menu was open.
        NodeCommand(*still, id);
    }
}

// ---- popup menus ----------------------------------------------------------------

std::unique_ptr<QMenu> GraphWindow::BuildNodePopup(const GraphNode& node) const {
    auto menu = std::make_unique<QMenu>();
    bool expandable = Expandable(node.kind);
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

std::unique_ptr<QMenu> GraphWindow::BuildCanvasPopup() const {
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

void GraphWindow::NodeCommand(GraphNode& node, int id) {
    bool expandable = Expandable(node.kind);
    switch (id) {
    case cmd::kStartBrowser: OpenInBrowser(node); break;
    case cmd::kCopyLocation: CopyLocation(node); break;
    case cmd::kExpandUrl:
        if (expandable && !animating_ && canExpand_) host_.ExpandUrl(this, node.url);
        break;
    case cmd::kShowInNewWindow: ShowInNewWindow(node); break;
    case cmd::kRemove:
        if (!animating_) RemoveNodes({&node});
        break;
    case cmd::kRemoveOutgoing:
        if (!expandable && !animating_) RemoveNodes(OutgoingClosure(node));
        break;
    default: break;
    }
}

// ---- node actions ----------------------------------------------------------------

bool GraphWindow::OpenInBrowser(const GraphNode& node) {
    bool started = host_.StartBrowser(this, node.url);
    if (!started) host_.ShowStatus(gui_text::kBrowserNotStarted);
    return started;
}

void GraphWindow::CopyLocation(const GraphNode& node) {
    QGuiApplication::clipboard()->setText(PageText(node.url));
}

// The nodes leave the crawler's dictionary, the page index and the graph
// with every edge that touches them.
void GraphWindow::RemoveNodes(const std::vector<GraphNode*>& nodes) {
    for (GraphNode* gone : nodes) {
        crawler_->ForgetNode(gone);
        graph_.RemoveNode(gone);
    }
    pageIndexDirty_ = true;
    RepaintAfterEdit();
}

GraphWindow* GraphWindow::ShowInNewWindow(const GraphNode& node) {
    GraphWindow* window = host_.OpenGraphWindow(PageText(node.url, kTitleLimit));
    if (!window) return nullptr;
    CopyNeighbourhood(node, window->graph_);
    FitNodeSizes(window->graph_, window->painter_.Measure());
    LayoutSiteGraph(window->graph_);
    window->canExpand_ = false;
    window->RepaintAfterEdit();
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
    default: break;
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
    if (!interaction_.Busy() && suspended_ == 0) {
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
    RepaintAfterEdit();
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
    // A file read into an empty window is what the window shows.
    if (before == 0) savedFingerprint_ = Fingerprint();
    pageIndexDirty_ = true;
    RepaintAfterEdit();
    return graph_.Nodes().size() > before;
}

bool GraphWindow::SaveGraph(const QString& path) {
    bool saved = SaveGraphFile(graph_, path.toStdString());
    if (!saved) host_.ShowStatus(gui_text::kGraphFileUnwritable + path);
    RecomputeEdges();
    if (saved) savedFingerprint_ = Fingerprint();
    return saved;
}

bool GraphWindow::Unsaved() const {
    if (graph_.Nodes().empty()) return false;
    return !savedFingerprint_ || *savedFingerprint_ != Fingerprint();
}

size_t GraphWindow::Fingerprint() const {
    std::string kept;
    for (const auto& node : graph_.Nodes())
        kept += std::to_string(node->id) + ' ' + node->label + ' ' + node->url + ' ' +
                std::to_string(node->Box().left) + ' ' + std::to_string(node->Box().top) + ' ' +
                std::to_string(static_cast<int>(node->kind)) + (node->isRoot ? "*\n" : "\n");
    for (const auto& edge : graph_.Edges()) {
        kept += std::to_string(edge->source->id) + '>' + std::to_string(edge->target->id) + (edge->straight ? "d" : "");
        for (const BendPoint& bend : edge->bends)
            if (!bend.automatic) kept += ' ' + std::to_string(bend.x) + ',' + std::to_string(bend.y);
        kept += '\n';
    }
    return std::hash<std::string>()(kept);
}

void GraphWindow::ClearGraph() {
    painter_.SetFoundNode(nullptr);
    for (const auto& node : graph_.Nodes()) crawler_->ForgetNode(node.get());
    graph_.Clear();
    routing_.Clear();
    pageIndexDirty_ = true;
    canvas_->SetOrigin(QPoint(0, 0));
    UpdateExtent();
}

void GraphWindow::AddNewNode() {
    graph_.AddNode(std::make_unique<GraphNode>(graph_.MaxNodeId() + 1, gui_text::kNewNodeLabel, std::string(),
                                               Rectangle(200, 200, 250, 250)));
    UpdateExtent();
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
