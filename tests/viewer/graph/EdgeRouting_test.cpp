#include "viewer/graph/EdgeRouting.h"

#include "viewer/graph/GraphFile.h"
#include "viewer/graph/SiteGraph.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

GraphNode* Add(SiteGraph& graph, int left, int top, int width = 80, int height = 30) {
    return graph.AddNode(std::make_unique<GraphNode>(int32_t(graph.Nodes().size() + 1), "n", "u",
                                                     Rectangle(Point{left, top}, Size{width, height})));
}

GraphEdge* Link(SiteGraph& graph, GraphNode* a, GraphNode* b) {
    return graph.AddEdge(std::make_unique<GraphEdge>(a, b));
}

}  // namespace

TEST(EdgeRouting, PortsAndFacingSidesFollowTheBox) {
    Rectangle box(100, 200, 199, 259);  // 100 x 60
    struct Port {
        Side side;
        int k, n;
        Point expected;
    };
    const Port ports[] = {
        {Side::Top, 0, 1, {150, 200}},    {Side::Top, 0, 3, {125, 200}},    {Side::Top, 2, 3, {175, 200}},
        {Side::Bottom, 0, 3, {175, 259}}, {Side::Bottom, 2, 3, {125, 259}}, {Side::Left, 0, 2, {100, 240}},
        {Side::Left, 1, 2, {100, 220}},   {Side::Right, 0, 2, {199, 220}},  {Side::Right, 1, 2, {199, 240}},
        {Side::None, 0, 1, {149, 229}},
    };
    for (const Port& port : ports)
        EXPECT_EQ(PortPoint(box, port.side, port.k, port.n), port.expected) << int(port.side) << port.k << port.n;
    Rectangle wide(0, 0, 299, 29);  // centre (149, 14): a wide box takes more links on top and bottom
    const std::pair<Point, Side> facing[] = {
        {{400, 14}, Side::Right}, {{-100, 20}, Side::Left}, {{250, 100}, Side::Bottom},
        {{149, -50}, Side::Top},  {{149, 14}, Side::None},
    };
    for (auto [toward, side] : facing) EXPECT_EQ(FacingSide(wide, toward), side) << toward.x << "," << toward.y;
}

TEST(EdgeRouting, EndsOnOneSideTakeSlotsInClockwiseOrder) {
    SiteGraph graph;
    GraphNode* hub = Add(graph, 200, 100, 120, 30);
    GraphNode* left = Add(graph, 0, 400);
    GraphNode* middle = Add(graph, 220, 400);
    GraphNode* right = Add(graph, 450, 400);
    // Added out of order: the slots follow the targets from right to left.
    GraphEdge* toMiddle = Link(graph, hub, middle);
    GraphEdge* toRight = Link(graph, hub, right);
    GraphEdge* toLeft = Link(graph, hub, left);
    EdgeRouting routing;
    routing.Recompute(graph);
    const std::pair<GraphEdge*, int> slots[] = {{toRight, 3}, {toMiddle, 2}, {toLeft, 1}};
    for (auto [edge, slot] : slots) {
        EdgeEnds ends = routing.Ends(*edge);
        EXPECT_EQ(ends.startSide, Side::Bottom);
        EXPECT_EQ(ends.endSide, Side::Top);
        EXPECT_EQ(ends.start, (Point{200 + slot * 120 / 4, 129}));
        EXPECT_TRUE(edge->bends.empty());  // straight from port to port
    }
    toMiddle->straight = true;
    EXPECT_EQ(routing.Polyline(*toMiddle), (std::vector<Point>{hub->Box().Center(), middle->Box().Center()}));
}

TEST(EdgeRouting, UserBendPointsStayInOrderAndSteerTheSides) {
    SiteGraph graph;
    GraphNode* a = Add(graph, 0, 0);
    GraphNode* b = Add(graph, 300, 0);
    GraphEdge* edge = Link(graph, a, b);
    edge->bends = {{40, 200, false}, {340, 200, false}};
    EdgeRouting routing;
    routing.Recompute(graph);
    EdgeEnds ends = routing.Ends(*edge);
    EXPECT_EQ(ends.startSide, Side::Bottom);
    EXPECT_EQ(ends.endSide, Side::Bottom);
    EXPECT_EQ(routing.Polyline(*edge), (std::vector<Point>{{40, 29}, {40, 200}, {340, 200}, {340, 29}}));
}

TEST(EdgeRouting, BacktrackingAndSelfLinksGetAutomaticPointsThatAreNeverWritten) {
    SiteGraph graph;
    GraphNode* a = Add(graph, 100, 100);
    GraphNode* b = Add(graph, 150, 110);  // overlaps a
    GraphEdge* back = Link(graph, a, b);
    GraphEdge* self = Link(graph, a, a);
    EdgeRouting routing;
    for (int pass = 0; pass < 2; pass++) {  // recomputing does not pile points up
        routing.Recompute(graph);
        ASSERT_EQ(back->bends.size(), 2u);
        EXPECT_TRUE(back->bends[0].automatic && back->bends[1].automatic);
        EXPECT_EQ(back->bends[0].x, routing.Ends(*back).start.x + kStubLength);
        EXPECT_EQ(back->bends[1].x, routing.Ends(*back).end.x - kStubLength);
        ASSERT_EQ(self->bends.size(), 3u);
        EXPECT_EQ(routing.Ends(*self).startSide, Side::Right);
        EXPECT_EQ(routing.Ends(*self).endSide, Side::Top);
    }
    std::ostringstream text;
    WriteGraphText(graph, text);
    EXPECT_EQ(text.str().find(" b "), std::string::npos) << text.str();
    routing.Clear();
    EXPECT_EQ(routing.Ends(*back).start, a->Box().Center());
}

TEST(EdgeRouting, HitTestsFindSegmentsAndHandles) {
    std::vector<Point> line = {{0, 0}, {100, 0}, {100, 100}};
    const std::pair<Point, int> segments[] = {{{50, 2}, 0}, {{103, 50}, 1}, {{50, 5}, -1}, {{-4, 0}, -1}};
    for (auto [p, expected] : segments) EXPECT_EQ(SegmentUnder(line, p, 3), expected) << p.x << "," << p.y;
    EXPECT_EQ(SegmentUnder({{5, 5}, {5, 5}}, {6, 6}, 3), 0);

    SiteGraph graph;
    GraphEdge* edge = Link(graph, Add(graph, 0, 0), Add(graph, 300, 0));
    edge->bends = {{150, 100, true}, {200, 100, false}};
    EXPECT_EQ(HandleUnder(*edge, {203, 97}), 1);
    EXPECT_EQ(HandleUnder(*edge, {204, 100}), -1);
    EXPECT_EQ(HandleUnder(*edge, {150, 100}), -1);  // automatic points have no handle
    edge->straight = true;
    EXPECT_EQ(HandleUnder(*edge, {200, 100}), -1);
}
