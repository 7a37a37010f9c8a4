// One test per user journey through a graph window, driven with the mouse
// and the commands, checked on the graph, the files, the status bar and
// what is drawn.
#include "GuiTestSupport.h"

#include "viewer/gui/CommandIds.h"
#include "viewer/gui/GuiTexts.h"
#include "viewer/gui/OverviewPane.h"
#include "viewer/gui/PageText.h"

#include "viewer/loader/Crawler.h"

#include <QApplication>
#include <QSplitter>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QListWidget>
#include <QMenu>
#include <QScrollBar>
#include <QTimer>

namespace {

// Dark pixels on row y from x0 to x1.
int DarkRun(const QImage& image, int y, int x0, int x1) {
    int count = 0;
    for (int x = x0; x <= x1; x++) count += image.pixelColor(x, y).lightness() < 60;
    return count;
}

std::vector<int> Ids(const SiteGraph& graph) {
    std::vector<int> ids;
    for (const auto& node : graph.Nodes()) ids.push_back(node->id);
    return ids;
}

}  // namespace

TEST_F(GraphWindowTest, LoadingSavingAndTheOtherCanvasCommands) {
    AddNode(7, 100, 100);
    CommandWithFile(cmd::kSaveGraph, "saved.zor");
    EXPECT_EQ(prompts.lastFilters, QStringList({"Zorvel Graph (*.zor)", "All Files (*.*)"}));
    EXPECT_EQ(read_file(dir.file("saved.zor")), "n 7 n7 http://site.test/n7.html p 100 100 s 80 30 k 14\n");
    write_file(dir.file("garbage.gra"), "\x01\x02garbage\n\xff\xfe x y z\ne 1\nn\n");
    write_file(dir.file("huge.gra"), std::string(GraphWindow::kMaxGraphFileBytes + 1, '\n'));
    for (auto [name, message] : {std::pair("missing.gra", gui_text::kGraphFileUnreadable),
                                 std::pair("garbage.gra", gui_text::kGraphFileEmpty),
                                 std::pair("huge.gra", gui_text::kGraphFileTooLarge),
                                 std::pair("no/dir/x.gra", gui_text::kGraphFileUnwritable)}) {
        CommandWithFile(name[0] == 'n' ? cmd::kSaveGraph : cmd::kLoadGraph, name);
        EXPECT_EQ(main->StatusText().toStdString(), message + dir.file(name));
    }
    CommandWithFile(cmd::kLoadGraph, "saved.zor");  // adds to the graph that is open
    EXPECT_EQ(prompts.lastTitle, gui_text::kOpenGraphTitle);
    window->Command(cmd::kNewNode);
    const GraphNode& made = *window->Graph().Nodes()[2];
    EXPECT_TRUE(Ids(window->Graph()) == (std::vector<int>{7, 7, 8}) && made.label == "New");
    EXPECT_EQ(made.Box(), Rectangle(200, 200, 250, 250));
    GraphEdge* edge = Link(window->Graph().Nodes()[0].get(), window->Graph().Nodes()[2].get());
    window->Command(cmd::kStraightOn);
    EXPECT_TRUE(edge->straight);
    window->Command(cmd::kStraightOff);
    EXPECT_FALSE(edge->straight);
    window->Canvas()->SetOrigin(QPoint(120, 80));
    window->Command(cmd::kClearGraph);
    EXPECT_TRUE(window->Graph().Nodes().empty() && window->Canvas()->Extent().isEmpty() &&
                window->Canvas()->Origin() == QPoint(0, 0));
}

TEST_F(GraphWindowTest, DraggingResizingAndPinningNodes) {
    GraphNode* a = AddNode(1, 100, 100);
    GraphNode* b = AddNode(2, 400, 100);
    Link(a, b);
    Refresh();
    // While moving, the box stays and a rubber rectangle follows the pointer.
    Press(140, 115);
    Drag(160, 315);
    EXPECT_EQ(a->Box().left, 100);
    EXPECT_GT(DarkRun(Picture(), 300, 120, 199), 20);
    Drag(440, 415);
    Release(440, 415);
    EXPECT_EQ(a->Box(), Rectangle({400, 400}, {80, 30}));
    // b lies above a now: the link runs from a's top to b's bottom, its midpoint marked.
    EXPECT_EQ(DarkRun(Picture(), 264, 430, 450), 1);
    EXPECT_EQ(DarkRun(Picture(), 115, 200, 380), 0);
    // The resize zone is the marker-sized square at the bottom-right corner; 20 x 20 at least.
    DragFromTo({476, 426}, {300, 300});
    EXPECT_EQ(a->Box(), Rectangle({400, 400}, {20, 20}));
    // Dragged far outside, a box stops at the coordinate limit and the canvas can follow.
    Press(415, 405);
    QTest::mouseMove(Area(), QPoint(1000000, 1000000));
    QTest::mouseRelease(Area(), Qt::LeftButton, {}, QPoint(1000000, 1000000));
    EXPECT_EQ(a->Box().TopLeft(), (Point{GraphInteraction::kCoordinateLimit, GraphInteraction::kCoordinateLimit}));
    EXPECT_GE(window->Canvas()->HorizontalBar()->maximum() + window->Canvas()->ViewRect().width(), a->Box().right);
    for (bool pinned : {true, false}) {  // the marker zone pins and unpins
        Click(403, 103);
        EXPECT_EQ(b->marked, pinned);
        EXPECT_EQ(Picture().pixelColor(At(401, 105)).lightness() < 60, pinned);
    }
}

TEST_F(GraphWindowTest, DrawingAndBendingLinks) {
    GraphNode* a = AddNode(1, 100, 100);
    GraphNode* b = AddNode(2, 400, 100);
    // Overlapping boxes: the link between them is routed with automatic bend points.
    GraphEdge* routed = Link(AddNode(3, 100, 400), AddNode(4, 150, 410));
    Refresh();
    ASSERT_FALSE(routed->bends.empty());
    window->Canvas()->ZoomBar()->setValue(50);  // the mouse is followed in canvas units at any zoom
    window->Canvas()->SetOrigin({0, 0});        // even, so that every point maps back exactly
    EXPECT_EQ(window->Canvas()->ViewRect().width(), 2 * Area()->width());
    auto drawLink = [&](QPoint from, QPoint to) {  // Ctrl-click the source, then click the target
        Click(from.x(), from.y(), Qt::ControlModifier);
        Hover(Area(), At(300, 250));
        Click(to.x(), to.y());
    };
    drawLink({150, 115}, {440, 115});
    drawLink({150, 115}, {440, 115});
    GraphEdge* link = window->Graph().FindEdge(a, b);
    ASSERT_TRUE(link && !link->bothWays);
    drawLink({440, 115}, {150, 115});
    EXPECT_TRUE(link->bothWays);
    drawLink({150, 115}, {700, 700});  // ends off the nodes: no link
    Click(440, 115);
    EXPECT_EQ(window->Graph().Edges().size(), 2u);
    // A plain click on a link is no bend point; a Shift-click is, and its handle drags it.
    Click(300, 115);
    EXPECT_TRUE(link->bends.empty());
    Click(300, 115, Qt::ShiftModifier);
    ASSERT_EQ(link->bends.size(), 1u);
    DragFromTo({302, 113}, {320, 260});
    EXPECT_EQ(std::pair(link->bends[0].x, link->bends[0].y), std::pair(320, 260));
    CommandWithFile(cmd::kSaveGraph, "bent.zor");
    std::string text = read_file(dir.file("bent.zor"));
    EXPECT_NE(text.find("e 3 4 \ne 1 2 b 320 260 \n"), std::string::npos) << text;
    EXPECT_FALSE(routed->bends.empty());  // routed again after saving
}

// Zooming keeps the middle of the view; zoomed out beyond the graph, the
// graph is shown whole in the middle.
TEST_F(GraphWindowTest, ZoomKeepsTheMiddleOfTheView) {
    AddNode(1, 0, 0);
    AddNode(2, 3000, 2000);
    Refresh();
    ScrollCanvas& canvas = *window->Canvas();
    canvas.ScrollToPoint({1500, 1000});
    auto middle = [&] { return canvas.ViewRect().center(); };
    QPoint before = middle();
    canvas.SetZoom(50);
    EXPECT_LE((middle() - before).manhattanLength(), 2);
    canvas.SetZoom(ScrollCanvas::kMinZoom);
    EXPECT_LE((middle() - canvas.Extent().center()).manhattanLength(), 2);
}

// Tiling makes windows narrow: the panes give up room so that the canvas
// keeps at least half the width.
TEST_F(GraphWindowTest, NarrowWindowsKeepHalfTheirWidthForTheCanvas) {
    window->ShowOverview(true);
    window->ShowPageIndex(true);
    QApplication::processEvents();
    for (int width : {700, 420, 1200}) {
        window->parentWidget()->resize(width, 500);
        QApplication::processEvents();
        const int all = window->Splitter()->width();
        EXPECT_GE(window->Canvas()->width() * 2, all - 2 * window->Splitter()->handleWidth()) << width;
        EXPECT_TRUE(window->Overview()->isVisible() && window->PageIndex()->isVisible());
    }
}

TEST_F(GraphWindowTest, NodeCommandsRemoveANodeOrEverythingItLinksTo) {
    window->ShowPageIndex(true);
    GraphNode* root = AddNode(1, 100, 100);
    GraphNode* child = AddNode(2, 300, 100, 80, 30, NodeKind::OtherServer);
    GraphNode* parent = AddNode(4, 100, 300);  // links to root: stays
    GraphNode* mutual = AddNode(5, 300, 300);  // two-way link with root: stays
    for (auto [from, to] : {std::pair(root, child), std::pair(child, AddNode(3, 500, 100)), std::pair(parent, root),
                            std::pair(root, mutual), std::pair(mutual, root)})
        Link(from, to);
    GraphNode* crawled = window->GetCrawler().CreateUrlNode(SiteUrl(nullptr, "http://site.test/c.html"), false);
    Link(child, crawled);
    Refresh();
    window->RefreshPageIndex();
    ASSERT_EQ(window->PageIndex()->count(), 6);
    window->PageIndex()->setCurrentRow(2);  // a page picked in the index is framed
    const GraphNode* found = window->Painter().FoundNode();
    ASSERT_TRUE(found && found->url == window->PageIndex()->item(2)->text().toStdString());
    // "Remove this and all outgoing" for an html page, "Expand URL..." for a link not followed.
    const std::tuple<GraphNode*, bool, const char*> popups[] = {
        {root, false, "-RO"}, {child, false, "ER-"}, {root, true, "---"}, {child, true, "---"}};
    for (auto [node, animating, enabled] : popups) {
        if (animating) window->StartAnimation();
        auto menu = window->BuildNodePopup(*node);
        std::string shown = "---";
        for (int i = 0; i < 3; i++) shown[i] = menu->actions()[i < 1 ? 3 : 5 + i]->isEnabled() ? "ERO"[i] : '-';
        EXPECT_EQ(shown, enabled);
        if (animating) window->NodeCommand(*child, cmd::kRemove), window->NodeCommand(*root, cmd::kRemoveOutgoing);
        window->StopAnimation();  // those were refused while animating
    }
    EXPECT_EQ(window->Graph().Nodes().size(), 6u);
    // The other node commands, and the description shown while the pointer is over a node.
    window->NodeCommand(*child, cmd::kCopyLocation);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), child->url);
    std::string expanded;
    main->jobs.expandUrl = [&](GraphWindow* into, const std::string& url) { expanded = into == window ? url : ""; };
    window->NodeCommand(*child, cmd::kExpandUrl);
    EXPECT_EQ(expanded, child->url);
    config.Write("General", "Browser", dir.file("no-such-browser"));
    window->NodeCommand(*child, cmd::kStartBrowser);
    EXPECT_EQ(main->StatusText(), gui_text::kBrowserNotStarted);
    root->info = "Title: Directory 13 & \xDC" "bersicht\r\nSize: 1200";  // "&Uuml;" as the page gave it
    Hover(Area(), At(150, 115));
    EXPECT_EQ(main->StatusText(), QString::fromUtf8("Title: Directory 13 & \u00dcbersicht   Size: 1200"));
    Hover(Area(), At(700, 700));
    EXPECT_TRUE(main->StatusText().isEmpty());
    window->NodeCommand(*crawled, cmd::kRemove);
    EXPECT_EQ(window->Painter().FoundNode(), nullptr);  // a removal may have taken it
    EXPECT_EQ(window->GetCrawler().NodeForUrl("http://site.test/c.html"), nullptr);
    window->NodeCommand(*root, cmd::kRemoveOutgoing);
    EXPECT_EQ(Ids(window->Graph()), (std::vector<int>{4, 5}));
    EXPECT_TRUE(window->Graph().Edges().empty() && parent->edges.empty() && mutual->edges.empty());
    window->RefreshPageIndex();
    ASSERT_EQ(window->PageIndex()->count(), 2);
    EXPECT_EQ(window->PageIndex()->item(1)->text().toStdString(), mutual->url);
}

TEST_F(GraphWindowTest, ShowingANeighbourhoodAndClosingTheDependentWindows) {
    GraphNode* centre = AddNode(10, 100, 100, 80, 30, NodeKind::OtherServer);
    centre->level = 3;
    Link(centre, AddNode(20, 300, 100, 80, 30, NodeKind::Image));
    QPointer<GraphWindow> shown = window->ShowInNewWindow(*centre);
    EXPECT_TRUE(shown->windowTitle().toStdString() == centre->url && Ids(shown->Graph()) == (std::vector<int>{1, 2}));
    const GraphNode& copy = *shown->Graph().Nodes()[0];
    EXPECT_EQ(copy.Box().Height(), shown->Painter().Measure().icon.height + 2);  // sized and laid out
    EXPECT_NE(copy.Box().TopLeft(), shown->Graph().Nodes()[1]->Box().TopLeft());
    // Shown whole, with room to the window's edges.
    EXPECT_TRUE(shown->Canvas()->ViewRect().contains(GraphExtent(shown->Graph()).adjusted(-10, -10, 10, 10)));
    EXPECT_FALSE(shown->BuildNodePopup(copy)->actions()[3]->isEnabled());  // no "Expand URL..." there
    // From a dependent, the next window depends on the first window too; a dependent closes without a question.
    QPointer<GraphWindow> further = shown->ShowInNewWindow(copy);
    EXPECT_EQ(further->OwnerWindow(), window);
    EXPECT_TRUE(further->CloseWindow());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(!further && prompts.asked.isEmpty());
    EXPECT_FALSE(window->CloseWindow());
    EXPECT_EQ(prompts.asked, QStringList{gui_text::kCloseDependents});
    QPointer<GraphWindow> owner = window;
    prompts.answers = {true};
    owner->StartAnimation();
    EXPECT_TRUE(owner->CloseWindow());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(owner || shown);
    EXPECT_TRUE(main->GraphWindows().isEmpty() && main->StatusText().isEmpty());
}

TEST_F(GraphWindowTest, TheAnimationMovesFreeNodesOnItsTimerWaitsForTheMouseAndStops) {
    std::string record = dir.file("args.txt");
    WriteRecorder(dir.file("browser.sh"), record);
    prompts.browserCommandToEnter = dir.file("browser.sh");  // asked for once, with the information first
    GraphNode* a = AddNode(1, 100, 100);
    GraphNode* b = AddNode(2, 120, 110);  // overlapping: a strong push apart
    Link(a, b);
    a->marked = true;
    Refresh();
    Rectangle pinned = a->Box(), free = b->Box();
    ASSERT_TRUE(window->StartAnimation());
    QDeadlineTimer deadline(20000);
    while (b->Box() == free && !deadline.hasExpired()) QApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_TRUE(b->Box() != free && a->Box() == pinned);
    QTest::mouseDClick(Area(), Qt::LeftButton, {}, At(140, 115));  // opens the browser, animation or not
    QTest::mouseRelease(Area(), Qt::LeftButton, {}, At(140, 115));
    EXPECT_EQ(WaitForRecord(record), a->url + "\nEND\n");
    EXPECT_EQ(prompts.informed, QStringList{gui_text::kConfigureBrowser});
    Press(140, 115);
    Drag(300, 300);
    Rectangle held = b->Box();
    window->AnimationTick();
    EXPECT_EQ(b->Box(), held);
    Release(300, 300);
    window->AnimationTick();
    EXPECT_NE(b->Box(), held);
    EXPECT_FALSE(window->Rearrange());
    window->StopAnimation();
    held = b->Box();
    window->AnimationTick();
    EXPECT_EQ(b->Box(), held);
    EXPECT_TRUE(window->Rearrange() && a->Box().TopLeft() != b->Box().TopLeft());
    for (int i = 3; i <= int(GraphWindow::kMaxAnimatedNodes) + 1; i++) AddNode(i, 0, 0, 9, 9);
    EXPECT_FALSE(window->StartAnimation() || window->Animating());
    EXPECT_EQ(main->StatusText(), gui_text::kTooManyNodesToAnimate);
}

TEST_F(GraphWindowTest, PaintingShowsFillsArrowheadsAndOverlapsAndWaitsWhileSuspended) {
    GraphNode* a = window->GetCrawler().CreateUrlNode(SiteUrl(nullptr, "http://site.test/"), false);
    a->SetBox(Rectangle({0, 0}, {200, 100}));  // the start node of the job
    GraphNode* b = AddNode(2, 0, 300, 200, 100);
    b->isRoot = true;  // the start node of an earlier job
    Link(a, b)->bends = {{500, 50, false}, {500, 350, false}};
    AddNode(3, 100, 500);
    AddNode(4, 150, 510);  // overlaps 3
    Refresh();
    window->SuspendPainting(true);  // nothing is drawn while the graph is being filled
    EXPECT_EQ(Picture().pixelColor(100, 50), ScrollCanvas::BackgroundColour());
    window->SuspendPainting(false);
    QImage picture = Picture();
    EXPECT_EQ(picture.pixelColor(At(100, 50)), palette::kLightRed);
    EXPECT_EQ(picture.pixelColor(At(100, 350)), palette::kLightGrey);
    EXPECT_EQ(picture.pixelColor(At(120, 525)), palette::kWhite);
    // The arrowhead at the end of the middle segment is 12 wide; the segment itself 1.
    EXPECT_NEAR(DarkRun(picture, 338, 480, 520), 12, 1);
    EXPECT_EQ(DarkRun(picture, 200, 480, 520), 1);
    QPolygonF triangle;
    EXPECT_FALSE(ArrowheadPolygon(QPointF(5, 5), QPointF(5, 5), triangle));  // none on a segment of length 0
    // The overview shows the whole graph; a press there brings that part into view, within the extent.
    window->ShowOverview(true);
    QApplication::processEvents();
    QTransform toPane = window->Overview()->DocumentTransform();
    QTest::mouseClick(window->Overview(), Qt::LeftButton, {}, toPane.map(QPointF(500, 600)).toPoint());
    QRect view = window->Canvas()->ViewRect();
    EXPECT_TRUE(view.contains(500, 600) && window->Canvas()->Extent().contains(view.topLeft()));
    QImage overview = window->Overview()->grab().toImage();  // the view drawn inverted
    EXPECT_NE(overview.pixelColor(toPane.map(QPointF(view.center())).toPoint()), overview.pixelColor(toPane.map(QPointF(60, 60)).toPoint()));
    // The overlap display, switched from the canvas menu, outlines overlapping boxes.
    for (bool on : {true, false}) {
        bool wasChecked = on;
        QTimer::singleShot(0, [&wasChecked] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            wasChecked = menu->actions()[5]->isChecked();
            menu->setActiveAction(menu->actions()[5]);
            QTest::keyClick(menu, Qt::Key_Return);
        });
        QTest::mouseClick(Area(), Qt::RightButton, {}, At(700, 700));
        EXPECT_EQ(wasChecked, !on);
        EXPECT_EQ(main->StatusText(), on ? "Overlapping nodes: 2, crossing links: 0" : "");
        EXPECT_EQ(Picture().pixelColor(At(98, 510)) == palette::kLightRed, on);
    }
}

// Page bytes as the windows show them: UTF-8 where they are UTF-8, else
// Windows-1252; cut at a limit without splitting a character.
TEST(PageText, Utf8StaysWindows1252IsReadAsSuchAndLongTextsAreCut) {
    const std::tuple<std::string, qsizetype, QString> cases[] = {
        {"plain", -1, "plain"},
        {"\xC3\x9C" "ber", -1, QString::fromUtf8("\u00dcber")},
        {"\xDC" "ber \x80 \x93q\x94 \x81", -1, QString::fromUtf8("\u00dcber \u20ac \u201cq\u201d \u0081")},
        {std::string(100000, 'x'), 10, "xxxxxxx..."},
        {"ab\xF0\x9F\x98\x80" "cdef", 6, "ab..."},  // the emoji's pair is not split
    };
    for (const auto& [bytes, limit, shown] : cases) EXPECT_EQ(PageText(bytes, limit), shown) << bytes.substr(0, 20);
}
