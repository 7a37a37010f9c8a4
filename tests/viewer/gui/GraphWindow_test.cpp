#include "GraphWindowFixture.h"

#include "viewer/gui/CommandIds.h"
#include "viewer/gui/GuiTexts.h"
#include "viewer/gui/VantlowStatusBar.h"

#include "viewer/graph/GraphFile.h"
#include "viewer/loader/Crawler.h"

#include <QAction>
#include <QClipboard>
#include <QListWidget>
#include <QMenu>
#include <QScrollBar>
#include <QDeadlineTimer>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <fstream>
#include <set>

namespace {

QAction* FindItem(QMenu& menu, int id) {
    for (QAction* action : menu.actions())
        if (!action->isSeparator() && action->data().toInt() == id) return action;
    return nullptr;
}

std::vector<int> ItemIds(QMenu& menu) {
    std::vector<int> ids;
    for (QAction* action : menu.actions()) ids.push_back(action->isSeparator() ? 0 : action->data().toInt());
    return ids;
}

size_t CountUserBends(const GraphEdge& edge) {
    return std::count_if(edge.bends.begin(), edge.bends.end(), [](const BendPoint& b) { return !b.automatic; });
}

}  // namespace

// ---- moving and resizing ---------------------------------------------------------

TEST_F(GraphWindowTest, DraggingANodeMovesItsBoxAndReroutesItsLinks) {
    GraphNode* a = AddNode(1, 100, 100);
    GraphNode* b = AddNode(2, 400, 100);
    GraphEdge* edge = Link(a, b);
    Refresh();
    EdgeEnds before = window->Routing().Ends(*edge);
    EXPECT_EQ(before.startSide, Side::Right);
    EXPECT_EQ(before.endSide, Side::Left);

    Press(Area(), At(140, 115));
    EXPECT_TRUE(window->MovePending());
    EXPECT_EQ(window->MouseModeValue(), GraphWindow::kIdle);
    MoveWithButton(Area(), At(160, 315));
    EXPECT_EQ(window->MouseModeValue(), GraphWindow::kMoving);
    // The box stays until the button is released; only the rubber rectangle moves.
    EXPECT_EQ(a->Box().left, 100);
    EXPECT_EQ(window->DragRect().topLeft(), QPoint(120, 300));
    MoveWithButton(Area(), At(440, 415));
    Release(Area(), At(440, 415));

    EXPECT_EQ(window->MouseModeValue(), GraphWindow::kIdle);
    EXPECT_EQ(a->Box().left, 400);
    EXPECT_EQ(a->Box().top, 400);
    EXPECT_EQ(a->Box().Width(), 80);
    EXPECT_EQ(a->Box().Height(), 30);
    // Now b lies above a: the link leaves a's top and enters b's bottom.
    EdgeEnds after = window->Routing().Ends(*edge);
    EXPECT_EQ(after.startSide, Side::Top);
    EXPECT_EQ(after.endSide, Side::Bottom);
    EXPECT_EQ(after.start, (Point{440, 400}));
    EXPECT_EQ(after.end, (Point{440, 129}));
    EXPECT_TRUE(window->Canvas()->Extent().contains(QRect(400, 400, 80, 30)));
}

TEST_F(GraphWindowTest, AClickWithoutMovingLeavesTheBoxWhereItIs) {
    GraphNode* a = AddNode(1, 100, 100);
    Refresh();
    Press(Area(), At(150, 110));
    Release(Area(), At(150, 110));
    EXPECT_FALSE(window->MovePending());
    EXPECT_EQ(a->Box(), Rectangle(100, 100, 179, 129));
}

TEST_F(GraphWindowTest, ResizingNeverGoesBelowTwentyByTwenty) {
    GraphNode* a = AddNode(1, 100, 100, 80, 40);
    Refresh();
    // The resize zone is the marker-sized square at the bottom-right corner.
    Press(Area(), At(176, 136));
    EXPECT_EQ(window->MouseModeValue(), GraphWindow::kResizing);
    MoveWithButton(Area(), At(220, 180));
    EXPECT_EQ(window->DragRect().size(), QSize(121, 81));
    MoveWithButton(Area(), At(20, 10));
    EXPECT_EQ(window->DragRect().size(), QSize(20, 20));
    Release(Area(), At(20, 10));
    EXPECT_EQ(a->Box().Width(), 20);
    EXPECT_EQ(a->Box().Height(), 20);
    EXPECT_EQ(a->Box().left, 100);
    EXPECT_EQ(a->Box().top, 100);
}

TEST_F(GraphWindowTest, ANodeDraggedFarOutsideStaysWithinTheCoordinateLimitAndWidensTheExtent) {
    GraphNode* a = AddNode(1, 100, 100);
    AddNode(2, 300, 300);
    Refresh();
    Press(Area(), At(110, 110));
    MoveWithButton(Area(), QPoint(1000000, 1000000));
    Release(Area(), QPoint(1000000, 1000000));
    EXPECT_LE(a->Box().left, GraphWindow::kCoordinateLimit);
    EXPECT_GT(a->Box().left, 1000);
    EXPECT_TRUE(window->Canvas()->Extent().contains(BoxRect(*a)));
    // The canvas can be scrolled there.
    EXPECT_GE(window->Canvas()->HorizontalBar()->maximum() + window->Canvas()->ViewRect().width(),
              a->Box().right);
}

// ---- links and bend points ----------------------------------------------------------

TEST_F(GraphWindowTest, DrawingALinkAddsExactlyOneEdgeAndTheReverseSetsBothWays) {
    GraphNode* a = AddNode(1, 100, 100);
    GraphNode* b = AddNode(2, 400, 300);
    Refresh();
    Press(Area(), At(150, 115), Qt::LeftButton, Qt::ControlModifier);
    Release(Area(), At(150, 115));
    EXPECT_EQ(window->MouseModeValue(), GraphWindow::kDrawingLink);
    SendMouse(Area(), QEvent::MouseMove, At(300, 250), Qt::NoButton, Qt::NoButton);
    Press(Area(), At(440, 315));
    Release(Area(), At(440, 315));
    EXPECT_EQ(window->MouseModeValue(), GraphWindow::kIdle);
    ASSERT_EQ(window->Graph().Edges().size(), 1u);
    EXPECT_EQ(window->Graph().Edges()[0]->source, a);
    EXPECT_EQ(window->Graph().Edges()[0]->target, b);
    EXPECT_FALSE(window->Graph().Edges()[0]->bothWays);

    // The same link again changes nothing; the reverse one marks the first.
    window->StartDrawingLink(a);
    Press(Area(), At(440, 315));
    EXPECT_EQ(window->Graph().Edges().size(), 1u);
    EXPECT_FALSE(window->Graph().Edges()[0]->bothWays);
    window->StartDrawingLink(b);
    Press(Area(), At(150, 115));
    ASSERT_EQ(window->Graph().Edges().size(), 1u);
    EXPECT_TRUE(window->Graph().Edges()[0]->bothWays);
}

TEST_F(GraphWindowTest, APressOffTheNodesEndsLinkDrawingWithoutALink) {
    GraphNode* a = AddNode(1, 100, 100);
    Refresh();
    window->StartDrawingLink(a);
    Press(Area(), At(600, 600));
    EXPECT_EQ(window->MouseModeValue(), GraphWindow::kIdle);
    EXPECT_TRUE(window->Graph().Edges().empty());
}

TEST_F(GraphWindowTest, ShiftClickInsertsABendPointThatIsSavedWhileAutomaticOnesAreNot) {
    GraphNode* a = AddNode(1, 100, 100);
    GraphNode* b = AddNode(2, 400, 100);
    // Overlapping boxes: c's right side lies beyond d's left side, so the
    // link between them is routed with automatic bend points.
    GraphNode* c = AddNode(3, 100, 400);
    GraphNode* d = AddNode(4, 150, 410);
    GraphEdge* bent = Link(a, b);
    GraphEdge* routed = Link(c, d);
    Refresh();
    ASSERT_EQ(bent->bends.size(), 0u);
    ASSERT_FALSE(routed->bends.empty());
    EXPECT_TRUE(std::all_of(routed->bends.begin(), routed->bends.end(), [](const BendPoint& p) { return p.automatic; }));

    // A plain click on a link is no bend point; Shift-click is.
    Press(Area(), At(300, 115));
    Release(Area(), At(300, 115));
    EXPECT_EQ(bent->bends.size(), 0u);
    Press(Area(), At(300, 115), Qt::LeftButton, Qt::ShiftModifier);
    Release(Area(), At(300, 115));
    ASSERT_EQ(bent->bends.size(), 1u);
    EXPECT_FALSE(bent->bends[0].automatic);
    EXPECT_EQ(bent->bends[0].x, 300);
    EXPECT_EQ(bent->bends[0].y, 115);

    std::string path = dir.File("bent.gra");
    ASSERT_TRUE(window->SaveGraph(QString::fromStdString(path)));
    std::string text = ReadWholeFile(path);
    EXPECT_NE(text.find("e 1 2 b 300 115 \n"), std::string::npos) << text;
    EXPECT_NE(text.find("e 3 4 \n"), std::string::npos) << text;
    // After saving, the window routes again: the automatic points are back.
    EXPECT_FALSE(routed->bends.empty());
    EXPECT_EQ(CountUserBends(*routed), 0u);
}

TEST_F(GraphWindowTest, DraggingABendPointHandleMovesIt) {
    GraphNode* a = AddNode(1, 100, 100);
    GraphNode* b = AddNode(2, 400, 100);
    GraphEdge* edge = Link(a, b);
    edge->bends.push_back({300, 200, false});
    Refresh();
    Press(Area(), At(302, 199));
    EXPECT_EQ(window->MouseModeValue(), GraphWindow::kDraggingBend);
    MoveWithButton(Area(), At(320, 260));
    Release(Area(), At(320, 260));
    EXPECT_EQ(window->MouseModeValue(), GraphWindow::kIdle);
    ASSERT_EQ(edge->bends.size(), 1u);
    EXPECT_EQ(edge->bends[0].x, 320);
    EXPECT_EQ(edge->bends[0].y, 260);
    // Both ends now head for the moved point.
    EXPECT_EQ(window->Routing().Ends(*edge).startSide, Side::Bottom);
}

// ---- marker and animation -----------------------------------------------------------

TEST_F(GraphWindowTest, TheMarkerZoneTogglesTheMarkAndAMarkedNodeStaysPutWhileAnimating) {
    GraphNode* a = AddNode(1, 100, 100);
    GraphNode* b = AddNode(2, 120, 110);  // overlapping: strong push apart
    Link(a, b);
    Refresh();
    Press(Area(), At(103, 103));
    Release(Area(), At(103, 103));
    EXPECT_TRUE(a->marked);
    EXPECT_EQ(window->MouseModeValue(), GraphWindow::kIdle);
    EXPECT_FALSE(window->MovePending());

    ASSERT_TRUE(window->StartAnimation());
    EXPECT_TRUE(window->AnimationTimerActive());
    Rectangle pinned = a->Box();
    Rectangle free = b->Box();
    for (int i = 0; i < 5; i++) window->AnimationTick();
    EXPECT_EQ(a->Box(), pinned);
    EXPECT_NE(b->Box(), free);
    window->StopAnimation();
    EXPECT_FALSE(window->AnimationTimerActive());

    Press(Area(), At(103, 103));
    Release(Area(), At(103, 103));
    EXPECT_FALSE(a->marked);
}

TEST_F(GraphWindowTest, TheAnimationWaitsWhileAMouseOperationRuns) {
    GraphNode* a = AddNode(1, 100, 100);
    GraphNode* b = AddNode(2, 110, 105);
    Link(a, b);
    Refresh();
    window->StartAnimation();
    Press(Area(), At(150, 110));
    MoveWithButton(Area(), At(150, 200));
    ASSERT_EQ(window->MouseModeValue(), GraphWindow::kMoving);
    Rectangle before = b->Box();
    window->AnimationTick();
    EXPECT_EQ(b->Box(), before);
    EXPECT_TRUE(window->AnimationTimerActive());
    Release(Area(), At(150, 200));
    window->AnimationTick();
    EXPECT_NE(b->Box(), before);
    window->StopAnimation();
}

TEST_F(GraphWindowTest, TheAnimationRunsOnItsTimer) {
    GraphNode* a = AddNode(1, 100, 100);
    GraphNode* b = AddNode(2, 105, 100);
    Link(a, b);
    Refresh();
    Rectangle before = b->Box();
    window->StartAnimation();
    QDeadlineTimer deadline(20000);
    while (b->Box() == before && !deadline.hasExpired()) QApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_NE(b->Box(), before);
    window->StopAnimation();
}

// ---- popup menus ---------------------------------------------------------------------

TEST_F(GraphWindowTest, TheNodePopupListsItsItemsInOrder) {
    GraphNode* page = AddNode(1, 100, 100);
    auto menu = window->BuildNodePopup(page);
    std::vector<int> expected = {cmd::kStartBrowser, cmd::kCopyLocation, 0, cmd::kExpandUrl, cmd::kShowInNewWindow,
                                 0, cmd::kRemove, cmd::kRemoveOutgoing};
    EXPECT_EQ(ItemIds(*menu), expected);
    QStringList texts;
    for (QAction* action : menu->actions())
        if (!action->isSeparator()) texts << action->text();
    EXPECT_EQ(texts, QStringList({"Start browser", "Copy location", "Expand URL...", "Show in new window", "Remove",
                                  "Remove this and all outgoing"}));
    EXPECT_EQ(window->LinkSource(), page);
}

TEST_F(GraphWindowTest, PopupEnablingFollowsTheKindAndTheAnimation) {
    GraphNode* html = AddNode(1, 100, 100, 80, 30, NodeKind::Html);
    GraphNode* foreign = AddNode(2, 300, 100, 80, 30, NodeKind::OtherServer);
    auto htmlMenu = window->BuildNodePopup(html);
    EXPECT_TRUE(FindItem(*htmlMenu, cmd::kRemoveOutgoing)->isEnabled());
    EXPECT_FALSE(FindItem(*htmlMenu, cmd::kExpandUrl)->isEnabled());
    auto foreignMenu = window->BuildNodePopup(foreign);
    EXPECT_FALSE(FindItem(*foreignMenu, cmd::kRemoveOutgoing)->isEnabled());
    EXPECT_TRUE(FindItem(*foreignMenu, cmd::kExpandUrl)->isEnabled());
    for (NodeKind kind : {NodeKind::Other, NodeKind::SameServer, NodeKind::ServerError, NodeKind::ClientError}) {
        foreign->kind = kind;
        auto menu = window->BuildNodePopup(foreign);
        EXPECT_TRUE(FindItem(*menu, cmd::kExpandUrl)->isEnabled()) << static_cast<int>(kind);
        EXPECT_FALSE(FindItem(*menu, cmd::kRemoveOutgoing)->isEnabled()) << static_cast<int>(kind);
    }

    window->StartAnimation();
    auto animating = window->BuildNodePopup(foreign);
    EXPECT_TRUE(FindItem(*animating, cmd::kStartBrowser)->isEnabled());
    EXPECT_TRUE(FindItem(*animating, cmd::kCopyLocation)->isEnabled());
    EXPECT_TRUE(FindItem(*animating, cmd::kShowInNewWindow)->isEnabled());
    EXPECT_FALSE(FindItem(*animating, cmd::kExpandUrl)->isEnabled());
    EXPECT_FALSE(FindItem(*animating, cmd::kRemove)->isEnabled());
    auto animatingHtml = window->BuildNodePopup(html);
    EXPECT_FALSE(FindItem(*animatingHtml, cmd::kRemoveOutgoing)->isEnabled());
    // Refused even when asked for directly.
    window->NodeCommand(cmd::kRemoveOutgoing);
    window->BuildNodePopup(foreign);
    window->NodeCommand(cmd::kRemove);
    EXPECT_EQ(window->Graph().Nodes().size(), 2u);
    window->StopAnimation();

    window->SetCanExpand(false);
    foreign->kind = NodeKind::OtherServer;
    auto noExpand = window->BuildNodePopup(foreign);
    EXPECT_FALSE(FindItem(*noExpand, cmd::kExpandUrl)->isEnabled());
}

TEST_F(GraphWindowTest, ExpandUrlHandsTheNodesUrlToTheWizard) {
    GraphNode* foreign = AddNode(1, 100, 100, 80, 30, NodeKind::OtherServer);
    std::string expanded;
    GraphWindow* into = nullptr;
    main->jobs.expandUrl = [&](GraphWindow* w, const std::string& url) {
        into = w;
        expanded = url;
    };
    window->BuildNodePopup(foreign);
    window->NodeCommand(cmd::kExpandUrl);
    EXPECT_EQ(into, window);
    EXPECT_EQ(expanded, foreign->url);
}

TEST_F(GraphWindowTest, ARightClickOnTheCanvasOpensTheCanvasMenuWithTheOverlapItemChecked) {
    AddNode(1, 100, 100);
    AddNode(2, 150, 110);
    Refresh();
    window->Command(cmd::kOverlapDisplay);
    EXPECT_TRUE(window->OverlapDisplay());
    EXPECT_EQ(main->StatusText(), "Overlapping nodes: 2, crossing links: 0");

    bool sawChecked = false;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        QAction* overlaps = FindItem(*menu, cmd::kOverlapDisplay);
        sawChecked = overlaps && overlaps->isChecked();
        // Choosing the item switches the display off.
        menu->setActiveAction(overlaps);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    Press(Area(), At(600, 500), Qt::RightButton);
    EXPECT_TRUE(sawChecked);
    EXPECT_FALSE(window->OverlapDisplay());
}

// ---- node actions ---------------------------------------------------------------------

TEST_F(GraphWindowTest, RemoveTakesExactlyTheTouchingEdgesAndTheLinkCanBeMadeAgain) {
    GraphNode* a = AddNode(1, 100, 100);
    GraphNode* b = AddNode(2, 300, 100);
    GraphNode* c = AddNode(3, 100, 300);
    GraphNode* d = AddNode(4, 300, 300);
    Link(a, b);
    Link(c, b);
    Link(b, d);
    GraphEdge* keep = Link(a, c);
    Refresh();
    window->Graph().Edges();
    window->BuildNodePopup(b);
    window->NodeCommand(cmd::kRemove);
    ASSERT_EQ(window->Graph().Nodes().size(), 3u);
    ASSERT_EQ(window->Graph().Edges().size(), 1u);
    EXPECT_EQ(window->Graph().Edges()[0].get(), keep);
    EXPECT_EQ(a->edges.size(), 1u);
    EXPECT_EQ(c->edges.size(), 1u);
    EXPECT_TRUE(d->edges.empty());
    EXPECT_EQ(window->LinkSource(), nullptr);

    GraphNode* again = AddNode(5, 300, 100);
    EXPECT_NE(Link(a, again), nullptr);
    EXPECT_EQ(window->Graph().Edges().size(), 2u);
}

TEST_F(GraphWindowTest, RemovedNodesLeaveThePageIndexAndTheCrawlersDictionary) {
    window->ShowPageIndex(true);
    GraphNode* a = AddNode(1, 100, 100);
    GraphNode* b = AddNode(2, 300, 100);
    Refresh();
    window->RefreshPageIndex();
    ASSERT_EQ(window->PageIndex()->count(), 2);
    EXPECT_EQ(window->PageIndex()->item(1)->text().toStdString(), b->url);
    SiteUrl url(nullptr, "http://site.test/start.html");
    GraphNode* crawled = window->GetCrawler().CreateUrlNode(url, false);
    ASSERT_EQ(window->GetCrawler().NodeForUrl("http://site.test/start.html"), crawled);
    window->RefreshPageIndex();
    EXPECT_EQ(window->PageIndex()->count(), 3);

    window->RemoveNode(crawled);
    window->RemoveNode(a);
    window->RefreshPageIndex();
    EXPECT_EQ(window->GetCrawler().NodeForUrl("http://site.test/start.html"), nullptr);
    ASSERT_EQ(window->PageIndex()->count(), 1);
    EXPECT_EQ(window->PageIndex()->item(0)->text().toStdString(), b->url);
}

TEST_F(GraphWindowTest, RemoveThisAndAllOutgoingFollowsOneWayLinksOnly) {
    GraphNode* root = AddNode(1, 100, 100);
    GraphNode* child = AddNode(2, 300, 100);
    GraphNode* grandchild = AddNode(3, 500, 100);
    GraphNode* parent = AddNode(4, 100, 300);    // links to root: stays
    GraphNode* mutual = AddNode(5, 300, 300);    // two-way link with root: stays
    Link(root, child);
    Link(child, grandchild);
    Link(parent, root);
    Link(root, mutual);
    Link(mutual, root);
    Refresh();
    window->BuildNodePopup(root);
    window->NodeCommand(cmd::kRemoveOutgoing);
    std::vector<int> left;
    for (const auto& node : window->Graph().Nodes()) left.push_back(node->id);
    EXPECT_EQ(left, (std::vector<int>{4, 5}));
    EXPECT_TRUE(window->Graph().Edges().empty());
    EXPECT_TRUE(parent->edges.empty());
    EXPECT_TRUE(mutual->edges.empty());
}

TEST_F(GraphWindowTest, CopyLocationPutsTheUrlOnTheClipboard) {
    GraphNode* a = AddNode(1, 100, 100);
    window->BuildNodePopup(a);
    window->NodeCommand(cmd::kCopyLocation);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), a->url);
}

TEST_F(GraphWindowTest, ShowInNewWindowCopiesTheNeighbourhoodWithNewIds) {
    GraphNode* centre = AddNode(10, 100, 100, 80, 30, NodeKind::Html);
    centre->level = 3;
    centre->info = "Title: centre";
    GraphNode* out = AddNode(20, 300, 100, 80, 30, NodeKind::Image);
    GraphNode* in = AddNode(30, 100, 300, 80, 30, NodeKind::Text);
    GraphNode* far = AddNode(40, 500, 100);
    GraphEdge* outLink = Link(centre, out);
    outLink->highlighted = true;
    Link(in, centre);
    Link(centre, in);  // in both directions
    Link(out, far);
    Refresh();

    GraphWindow* shown = window->ShowInNewWindow(centre);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->windowTitle().toStdString(), centre->url);
    EXPECT_FALSE(shown->CanExpand());
    const SiteGraph& graph = shown->Graph();
    ASSERT_EQ(graph.Nodes().size(), 3u);
    std::vector<int> ids;
    for (const auto& node : graph.Nodes()) ids.push_back(node->id);
    EXPECT_EQ(ids, (std::vector<int>{1, 2, 3}));
    const GraphNode& copy = *graph.Nodes()[0];
    EXPECT_EQ(copy.url, centre->url);
    EXPECT_EQ(copy.label, centre->label);
    EXPECT_EQ(copy.info, centre->info);
    EXPECT_EQ(copy.kind, NodeKind::Html);
    EXPECT_TRUE(copy.isRoot);
    EXPECT_EQ(copy.level, 1);
    EXPECT_EQ(graph.Nodes()[1]->url, out->url);
    EXPECT_EQ(graph.Nodes()[1]->kind, NodeKind::Image);
    EXPECT_EQ(graph.Nodes()[1]->level, 0);
    EXPECT_FALSE(graph.Nodes()[1]->isRoot);
    ASSERT_EQ(graph.Edges().size(), 2u);
    EXPECT_EQ(graph.Edges()[0]->source, &copy);
    EXPECT_EQ(graph.Edges()[0]->target, graph.Nodes()[1].get());
    EXPECT_TRUE(graph.Edges()[0]->highlighted);
    EXPECT_TRUE(graph.Edges()[1]->bothWays);
    // Sized and laid out: the boxes no longer sit on (10, 10)-(30, 30).
    EXPECT_NE(copy.Box(), Rectangle(10, 10, 30, 30));
    EXPECT_EQ(copy.Box().Height(), shown->IconSize().height() + 2);

    EXPECT_EQ(shown->OwnerWindow(), window);
    EXPECT_EQ(window->Dependents(), QList<GraphWindow*>{shown});
    // From a dependent, the next window depends on the first window too.
    GraphWindow* further = shown->ShowInNewWindow(shown->Graph().Nodes()[1].get());
    ASSERT_NE(further, nullptr);
    EXPECT_EQ(further->OwnerWindow(), window);
    EXPECT_EQ(window->Dependents().size(), 2);
    EXPECT_TRUE(shown->Dependents().isEmpty());
}

TEST_F(GraphWindowTest, ClosingAWindowWithDependentsAsksAndClosesThemOnYes) {
    GraphNode* a = AddNode(1, 100, 100);
    GraphNode* b = AddNode(2, 300, 100);
    Link(a, b);
    Refresh();
    QPointer<GraphWindow> dependent = window->ShowInNewWindow(a);
    QPointer<GraphWindow> owner = window;
    ASSERT_EQ(main->GraphWindows().size(), 2);

    prompts.answers = {false};
    EXPECT_FALSE(owner->CloseWindow());
    ASSERT_EQ(prompts.asked.size(), 1);
    EXPECT_EQ(prompts.asked[0], gui_text::kCloseDependents);
    QApplication::processEvents();
    EXPECT_TRUE(owner && dependent);
    EXPECT_EQ(main->GraphWindows().size(), 2);

    // A dependent closes on its own without a question.
    prompts.answers = {true};
    owner->StartAnimation();
    EXPECT_TRUE(owner->CloseWindow());
    EXPECT_EQ(prompts.asked.size(), 2);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(owner);
    EXPECT_FALSE(dependent);
    EXPECT_TRUE(main->GraphWindows().isEmpty());
    EXPECT_TRUE(main->StatusText().isEmpty());
}

TEST_F(GraphWindowTest, ADependentClosesWithoutAQuestion) {
    GraphNode* a = AddNode(1, 100, 100);
    QPointer<GraphWindow> dependent = window->ShowInNewWindow(a);
    EXPECT_TRUE(dependent->CloseWindow());
    EXPECT_TRUE(prompts.asked.isEmpty());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(dependent);
    // The owner then closes without asking either.
    EXPECT_TRUE(window->CloseWindow());
    EXPECT_TRUE(prompts.asked.isEmpty());
}

TEST_F(GraphWindowTest, ADoubleClickOpensTheBrowserEvenWhileAnimating) {
    std::string record = dir.File("args.txt");
    std::string script = dir.File("browser.sh");
    WriteScript(script, "for a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + record + "'; done\necho END >> '" +
                            record + "'\n");
    config.Write("General", "Browser", script);
    GraphNode* a = AddNode(1, 100, 100);
    a->marked = true;  // keeps the node under the pointer while animating
    Refresh();
    window->StartAnimation();
    DoubleClick(Area(), At(150, 115));
    EXPECT_EQ(WaitForFile(record), a->url + "\nEND\n");
    window->StopAnimation();
}

TEST_F(GraphWindowTest, ABrowserThatCannotBeStartedSaysSoInTheStatusBar) {
    config.Write("General", "Browser", dir.File("no-such-browser"));
    GraphNode* a = AddNode(1, 100, 100);
    window->BuildNodePopup(a);
    window->NodeCommand(cmd::kStartBrowser);
    EXPECT_EQ(main->StatusText(), gui_text::kBrowserNotStarted);
}

TEST_F(GraphWindowTest, ClickingANodeShowsItsDescriptionAndHoveringOffClearsIt) {
    GraphNode* a = AddNode(1, 100, 100);
    a->info = "Title: Home\r\nSize: 1200";
    Refresh();
    SendMouse(Area(), QEvent::MouseMove, At(150, 115), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(main->StatusText(), "Title: Home   Size: 1200");
    SendMouse(Area(), QEvent::MouseMove, At(600, 600), Qt::NoButton, Qt::NoButton);
    EXPECT_TRUE(main->StatusText().isEmpty());
    main->ShowStatus("kept");
    SendMouse(Area(), QEvent::MouseMove, At(610, 600), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(main->StatusText(), "kept");
}

// ---- canvas commands --------------------------------------------------------------------

TEST_F(GraphWindowTest, StraightOnAndOffSwitchEveryEdge) {
    GraphNode* a = AddNode(1, 100, 100);
    GraphNode* b = AddNode(2, 300, 100);
    GraphNode* c = AddNode(3, 300, 300);
    GraphEdge* ab = Link(a, b);
    GraphEdge* bc = Link(b, c);
    Refresh();
    window->Command(cmd::kStraightOn);
    EXPECT_TRUE(ab->straight && bc->straight);
    // A straight link runs between the box centres.
    EXPECT_EQ(window->Routing().Ends(*ab).start, a->Box().Center());
    EXPECT_EQ(window->Routing().Ends(*ab).end, b->Box().Center());
    window->Command(cmd::kStraightOff);
    EXPECT_FALSE(ab->straight || bc->straight);
    EXPECT_EQ(window->Routing().Ends(*ab).startSide, Side::Right);
}

TEST_F(GraphWindowTest, NewNodeAndClear) {
    AddNode(7, 100, 100);
    window->Command(cmd::kNewNode);
    ASSERT_EQ(window->Graph().Nodes().size(), 2u);
    const GraphNode& made = *window->Graph().Nodes()[1];
    EXPECT_EQ(made.id, 8);
    EXPECT_EQ(made.label, "New");
    EXPECT_EQ(made.Box(), Rectangle(200, 200, 250, 250));
    EXPECT_TRUE(window->Canvas()->Extent().contains(QRect(200, 200, 51, 51)));

    window->Canvas()->SetOrigin(QPoint(120, 80));
    window->Command(cmd::kClearGraph);
    EXPECT_TRUE(window->Graph().Nodes().empty());
    EXPECT_TRUE(window->Graph().Edges().empty());
    EXPECT_EQ(window->Canvas()->Origin(), QPoint(0, 0));
    EXPECT_TRUE(window->Canvas()->Extent().isEmpty());
}

TEST_F(GraphWindowTest, LayoutPlacesEveryNodeAndIsRefusedWhileAnimating) {
    for (int i = 1; i <= 6; i++) AddNode(i, 100, 100);
    for (int i = 2; i <= 6; i++) Link(window->Graph().Nodes()[0].get(), window->Graph().Nodes()[i - 1].get());
    Refresh();
    window->StartAnimation();
    EXPECT_FALSE(window->Rearrange());
    window->StopAnimation();
    window->Command(cmd::kRearrange);
    std::set<std::pair<int, int>> places;
    for (const auto& node : window->Graph().Nodes()) places.insert({node->Box().left, node->Box().top});
    EXPECT_EQ(places.size(), 6u);
}

TEST_F(GraphWindowTest, LoadAndSaveThroughTheCanvasCommandsUseZorvelFilters) {
    AddNode(1, 100, 100);
    prompts.fileName = QString::fromStdString(dir.File("saved.zor"));
    window->Command(cmd::kSaveGraph);
    EXPECT_EQ(prompts.lastTitle, gui_text::kSaveGraphTitle);
    EXPECT_EQ(prompts.lastFilters, QStringList({"Zorvel Graph (*.zor)", "All Files (*.*)"}));
    EXPECT_EQ(ReadWholeFile(dir.File("saved.zor")), "n 1 n1 http://site.test/n1.html p 100 100 s 80 30\n");

    window->Command(cmd::kLoadGraph);
    EXPECT_EQ(prompts.lastTitle, gui_text::kOpenGraphTitle);
    // Loading adds to the graph that is open.
    EXPECT_EQ(window->Graph().Nodes().size(), 2u);
}

TEST_F(GraphWindowTest, BadGraphFilesLeaveAMessageAndTheGraphAsItWas) {
    AddNode(1, 100, 100);
    EXPECT_FALSE(window->LoadGraph(QString::fromStdString(dir.File("missing.gra"))));
    EXPECT_TRUE(main->StatusText().startsWith(gui_text::kGraphFileUnreadable));

    WriteWholeFile(dir.File("garbage.gra"), "\x01\x02garbage\n\xff\xfe x y z\ne 1\nn\n");
    EXPECT_FALSE(window->LoadGraph(QString::fromStdString(dir.File("garbage.gra"))));
    EXPECT_TRUE(main->StatusText().startsWith(gui_text::kGraphFileEmpty));

    {
        std::ofstream huge(dir.File("huge.gra"));
        std::string line = "n 1 label http://site.test/x p 1 1 s 70 30\n";
        for (long long written = 0; written <= GraphWindow::kMaxGraphFileBytes; written += line.size()) huge << line;
    }
    EXPECT_FALSE(window->LoadGraph(QString::fromStdString(dir.File("huge.gra"))));
    EXPECT_TRUE(main->StatusText().startsWith(gui_text::kGraphFileTooLarge));
    EXPECT_EQ(window->Graph().Nodes().size(), 1u);

    EXPECT_FALSE(window->SaveGraph(QString::fromStdString(dir.File("no/such/dir/x.gra"))));
    EXPECT_TRUE(main->StatusText().startsWith(gui_text::kGraphFileUnwritable));
}

TEST_F(GraphWindowTest, TooManyNodesForTheAnimationAreRefusedWithAMessage) {
    for (size_t i = 0; i <= GraphWindow::kMaxAnimatedNodes; i++)
        window->Graph().AddNode(std::make_unique<GraphNode>(static_cast<int>(i + 1), "x", "u", Rectangle(0, 0, 9, 9)));
    EXPECT_FALSE(window->StartAnimation());
    EXPECT_FALSE(window->Animating());
    EXPECT_EQ(main->StatusText(), gui_text::kTooManyNodesToAnimate);
}

TEST_F(GraphWindowTest, NothingIsPaintedWhilePaintingIsSuspended) {
    AddNode(1, 0, 0, 200, 100);
    Refresh();
    window->SuspendPainting(true);
    QImage suspended = Area()->grab().toImage();
    window->SuspendPainting(false);
    QImage shown = Area()->grab().toImage();
    EXPECT_EQ(suspended.pixelColor(100, 50), ScrollCanvas::BackgroundColour());
    EXPECT_EQ(shown.pixelColor(100, 50), palette::kWhite);
}
