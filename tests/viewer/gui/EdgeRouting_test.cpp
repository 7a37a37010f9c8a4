#include "GuiTestSupport.h"

#include "viewer/gui/EdgeRouting.h"
#include "viewer/gui/GraphPainter.h"

#include "viewer/graph/GraphFile.h"
#include "viewer/graph/SiteGraph.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace {

GraphNode* Add(SiteGraph& graph, int id, int left, int top, int width = 80, int height = 30) {
    return graph.AddNode(std::make_unique<GraphNode>(id, "n", "u", Rectangle(Point{left, top}, Size{width, height})));
}

GraphEdge* Link(SiteGraph& graph, GraphNode* a, GraphNode* b) {
    return graph.AddEdge(std::make_unique<GraphEdge>(a, b));
}

double Distance(QPointF a, QPointF b) {
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

}  // namespace

TEST(EdgeRoutingTest, PortsFollowTheSlotFormulaOnEachSide) {
    Rectangle box(100, 200, 199, 259);  // 100 x 60
    EXPECT_EQ(PortPoint(box, Side::Top, 0, 1), (Point{150, 200}));
    EXPECT_EQ(PortPoint(box, Side::Top, 0, 3), (Point{125, 200}));
    EXPECT_EQ(PortPoint(box, Side::Top, 2, 3), (Point{175, 200}));
    EXPECT_EQ(PortPoint(box, Side::Bottom, 0, 3), (Point{175, 259}));
    EXPECT_EQ(PortPoint(box, Side::Bottom, 2, 3), (Point{125, 259}));
    EXPECT_EQ(PortPoint(box, Side::Left, 0, 2), (Point{100, 240}));
    EXPECT_EQ(PortPoint(box, Side::Left, 1, 2), (Point{100, 220}));
    EXPECT_EQ(PortPoint(box, Side::Right, 0, 2), (Point{199, 220}));
    EXPECT_EQ(PortPoint(box, Side::Right, 1, 2), (Point{199, 240}));
    EXPECT_EQ(PortPoint(box, Side::None, 0, 1), box.Center());
}

TEST(EdgeRoutingTest, SidesFaceTheOtherEndAndWideBoxesPreferTopAndBottom) {
    Rectangle wide(0, 0, 299, 29);  // centre (149, 14)
    EXPECT_EQ(FacingSide(wide, {400, 14}), Side::Right);
    EXPECT_EQ(FacingSide(wide, {-100, 20}), Side::Left);
    EXPECT_EQ(FacingSide(wide, {250, 100}), Side::Bottom);  // 101/300 < 86/30
    EXPECT_EQ(FacingSide(wide, {149, -50}), Side::Top);
    EXPECT_EQ(FacingSide(wide, {149, 14}), Side::None);
}

TEST(EdgeRoutingTest, EndsOnOneSideGetTheirOwnSlotsInClockwiseOrder) {
    SiteGraph graph;
    GraphNode* hub = Add(graph, 1, 200, 100, 120, 30);
    GraphNode* left = Add(graph, 2, 0, 400);
    GraphNode* middle = Add(graph, 3, 220, 400);
    GraphNode* right = Add(graph, 4, 450, 400);
    // Added out of order: the slots still follow the targets from right to left
    // (clockwise along the bottom side).
    GraphEdge* toMiddle = Link(graph, hub, middle);
    GraphEdge* toRight = Link(graph, hub, right);
    GraphEdge* toLeft = Link(graph, hub, left);
    EdgeRouting routing;
    routing.Recompute(graph);
    for (GraphEdge* edge : {toMiddle, toRight, toLeft}) {
        EXPECT_EQ(routing.Ends(*edge).startSide, Side::Bottom);
        EXPECT_EQ(routing.Ends(*edge).endSide, Side::Top);
        EXPECT_EQ(routing.Ends(*edge).start.y, 129);
    }
    EXPECT_EQ(routing.Ends(*toRight).start.x, 200 + 3 * 120 / 4);
    EXPECT_EQ(routing.Ends(*toMiddle).start.x, 200 + 2 * 120 / 4);
    EXPECT_EQ(routing.Ends(*toLeft).start.x, 200 + 1 * 120 / 4);
    // Straight from port to port: no automatic points.
    EXPECT_TRUE(toMiddle->bends.empty());
}

TEST(EdgeRoutingTest, UserBendPointsStayInOrderAndSteerTheSides) {
    SiteGraph graph;
    GraphNode* a = Add(graph, 1, 0, 0);
    GraphNode* b = Add(graph, 2, 300, 0);
    GraphEdge* edge = Link(graph, a, b);
    edge->bends = {{40, 200, false}, {340, 200, false}};
    EdgeRouting routing;
    routing.Recompute(graph);
    ASSERT_EQ(edge->bends.size(), 2u);
    EXPECT_EQ(edge->bends[0].x, 40);
    EXPECT_EQ(edge->bends[1].x, 340);
    EXPECT_EQ(routing.Ends(*edge).startSide, Side::Bottom);
    EXPECT_EQ(routing.Ends(*edge).endSide, Side::Bottom);
    std::vector<Point> line = routing.Polyline(*edge);
    ASSERT_EQ(line.size(), 4u);
    EXPECT_EQ(line[1], (Point{40, 200}));
    EXPECT_EQ(line[3], routing.Ends(*edge).end);
}

TEST(EdgeRoutingTest, BacktrackingAndSelfLinksGetAutomaticPointsThatAreNeverWritten) {
    SiteGraph graph;
    GraphNode* a = Add(graph, 1, 100, 100);
    GraphNode* b = Add(graph, 2, 150, 110);  // overlaps a
    GraphEdge* back = Link(graph, a, b);
    GraphEdge* self = Link(graph, a, a);
    EdgeRouting routing;
    routing.Recompute(graph);
    ASSERT_EQ(back->bends.size(), 2u);
    EXPECT_TRUE(back->bends[0].automatic && back->bends[1].automatic);
    EXPECT_EQ(back->bends[0].x, routing.Ends(*back).start.x + kStubLength);
    EXPECT_EQ(back->bends[1].x, routing.Ends(*back).end.x - kStubLength);
    ASSERT_EQ(self->bends.size(), 3u);
    EXPECT_EQ(routing.Ends(*self).startSide, Side::Right);
    EXPECT_EQ(routing.Ends(*self).endSide, Side::Top);

    // Recomputing does not pile up points.
    routing.Recompute(graph);
    EXPECT_EQ(back->bends.size(), 2u);
    EXPECT_EQ(self->bends.size(), 3u);

    std::ostringstream text;
    WriteGraphText(graph, text);
    EXPECT_EQ(text.str().find(" b "), std::string::npos) << text.str();
}

TEST(EdgeRoutingTest, HitTestsFindSegmentsAndHandles) {
    std::vector<Point> line = {{0, 0}, {100, 0}, {100, 100}};
    EXPECT_EQ(SegmentUnder(line, {50, 2}, 3), 0);
    EXPECT_EQ(SegmentUnder(line, {103, 50}, 3), 1);
    EXPECT_EQ(SegmentUnder(line, {50, 5}, 3), -1);
    EXPECT_EQ(SegmentUnder({{5, 5}, {5, 5}}, {6, 6}, 3), 0);

    SiteGraph graph;
    GraphNode* a = Add(graph, 1, 0, 0);
    GraphNode* b = Add(graph, 2, 300, 0);
    GraphEdge* edge = Link(graph, a, b);
    edge->bends = {{150, 100, true}, {200, 100, false}};
    EXPECT_EQ(HandleUnder(*edge, {203, 97}), 1);
    EXPECT_EQ(HandleUnder(*edge, {204, 100}), -1);
    EXPECT_EQ(HandleUnder(*edge, {150, 100}), -1);  // automatic points have no handle
}

TEST(ArrowheadTest, IsTwelvePixelsLongAndTwelveWide) {
    QPolygonF triangle;
    ASSERT_TRUE(ArrowheadPolygon(QPointF(0, 0), QPointF(100, 0), triangle));
    ASSERT_EQ(triangle.size(), 3);
    EXPECT_EQ(triangle[0], QPointF(100, 0));
    EXPECT_EQ(triangle[1], QPointF(88, 6));
    EXPECT_EQ(triangle[2], QPointF(88, -6));

    // Any direction: the tip at q, the base 12 back, 12 wide.
    ASSERT_TRUE(ArrowheadPolygon(QPointF(10, 10), QPointF(40, 50), triangle));
    QPointF base = (triangle[1] + triangle[2]) / 2;
    EXPECT_NEAR(Distance(triangle[0], base), 12.0, 1e-9);
    EXPECT_NEAR(Distance(triangle[1], triangle[2]), 12.0, 1e-9);
    EXPECT_EQ(triangle[0], QPointF(40, 50));
}

TEST(ArrowheadTest, AZeroLengthSegmentGetsNone) {
    QPolygonF triangle;
    EXPECT_FALSE(ArrowheadPolygon(QPointF(5, 5), QPointF(5, 5), triangle));
    EXPECT_TRUE(triangle.isEmpty());
}

TEST(ArrowheadTest, TheDrawnHeadCoversTwelveByTwelvePixels) {
    // A lone segment from (10, 50) to (80, 50), drawn alone on white.
    SiteGraph graph;
    GraphNode* a = Add(graph, 1, -100, 40, 20, 20);
    GraphNode* b = Add(graph, 2, 200, 40, 20, 20);
    GraphEdge* edge = Link(graph, a, b);
    edge->bends = {{10, 50, false}, {80, 50, false}};
    EdgeRouting routing;
    routing.Recompute(graph);
    NodeIcons icons;
    GraphPainter painter(icons);
    QImage image(100, 100, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setClipRect(QRect(15, 30, 66, 40));  // just the head at (80, 50)
    painter.DrawEdge(p, *edge, routing);
    p.end();
    int minX = 100, maxX = -1, minY = 100, maxY = -1;
    for (int y = 30; y < 70; y++)
        for (int x = 60; x <= 80; x++)
            if (image.pixelColor(x, y) != Qt::white && (y != 50 || x > 68)) {
                minX = std::min(minX, x), maxX = std::max(maxX, x);
                minY = std::min(minY, y), maxY = std::max(maxY, y);
            }
    EXPECT_NEAR(maxX - minX + 1, 12, 1);
    EXPECT_NEAR(maxY - minY + 1, 12, 1);
    EXPECT_EQ(maxX, 80);
}
