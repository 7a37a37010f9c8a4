#include "viewer/graph/EdgeRouting.h"

#include "viewer/graph/SiteGraph.h"

#include <gtest/gtest.h>

namespace {

GraphNode* Add(SiteGraph& graph, int left, int top, int width = 80, int height = 30) {
    return graph.AddNode(std::make_unique<GraphNode>(int32_t(graph.Nodes().size() + 1), "n", "u",
                                                     Rectangle(Point{left, top}, Size{width, height})));
}

GraphEdge* Link(SiteGraph& graph, GraphNode* a, GraphNode* b) {
    return graph.AddEdge(std::make_unique<GraphEdge>(a, b));
}

}  // namespace

TEST(EdgeRouting, SidesFaceTheOtherEndAndWideBoxesTakeMoreLinksOnTopAndBottom) {
    Rectangle wide(0, 0, 299, 29);  // centre (149, 14)
    const std::pair<Point, Side> facing[] = {{{400, 14}, Side::Right}, {{-100, 20}, Side::Left},
                                             {{250, 100}, Side::Bottom}, {{149, -50}, Side::Top},
                                             {{149, 14}, Side::None}};
    for (auto [toward, side] : facing) EXPECT_EQ(FacingSide(wide, toward), side) << toward.x << "," << toward.y;
    // Slot k of n on each side of a 100 x 60 box, counted clockwise round it.
    Rectangle box(100, 200, 199, 259);
    EXPECT_EQ((std::vector<Point>{PortPoint(box, Side::Top, 2, 3), PortPoint(box, Side::Right, 1, 2),
                                  PortPoint(box, Side::Bottom, 2, 3), PortPoint(box, Side::Left, 1, 2),
                                  PortPoint(box, Side::None, 0, 1)}),
              (std::vector<Point>{{175, 200}, {199, 240}, {125, 259}, {100, 220}, {149, 229}}));
}

TEST(EdgeRouting, EndsTakeSlotsClockwiseAndFollowTheUsersBendPoints) {
    SiteGraph graph;
    GraphNode* hub = Add(graph, 200, 100, 120, 30);
    GraphNode* middle = Add(graph, 220, 400);
    // Added out of order: the slots on hub's bottom follow the targets from right to left.
    GraphEdge* toMiddle = Link(graph, hub, middle);
    GraphEdge* toRight = Link(graph, hub, Add(graph, 450, 400));
    GraphEdge* toLeft = Link(graph, hub, Add(graph, 0, 400));
    GraphEdge* bent = Link(graph, Add(graph, 0, 700), Add(graph, 300, 700));
    bent->bends = {{40, 900, false}, {340, 900, false}};
    EdgeRouting routing;
    routing.Recompute(graph);
    for (auto [edge, slot] : {std::pair(toRight, 3), std::pair(toMiddle, 2), std::pair(toLeft, 1)}) {
        EdgeEnds ends = routing.Ends(*edge);
        EXPECT_EQ(std::pair(ends.startSide, ends.endSide), std::pair(Side::Bottom, Side::Top));
        EXPECT_EQ(ends.start, (Point{200 + slot * 120 / 4, 129}));
        EXPECT_TRUE(edge->bends.empty());  // straight from port to port
    }
    EXPECT_EQ(routing.Polyline(*bent), (std::vector<Point>{{40, 729}, {40, 900}, {340, 900}, {340, 729}}));
    toMiddle->straight = true;
    EXPECT_EQ(routing.Polyline(*toMiddle), (std::vector<Point>{hub->Box().Center(), middle->Box().Center()}));
}

TEST(EdgeRouting, BacktrackingAndSelfLinksGetAutomaticPointsThatAreMadeAnewEachTime) {
    SiteGraph graph;
    GraphNode* a = Add(graph, 100, 100);
    GraphEdge* back = Link(graph, a, Add(graph, 150, 110));  // overlapping boxes
    GraphEdge* self = Link(graph, a, a);
    EdgeRouting routing;
    for (int pass = 0; pass < 2; pass++) {
        routing.Recompute(graph);
        EdgeEnds ends = routing.Ends(*back);
        ASSERT_EQ(back->bends.size(), 2u);
        EXPECT_TRUE(back->bends[0].automatic && back->bends[1].automatic && self->bends.size() == 3);
        EXPECT_EQ(std::pair(back->bends[0].x, back->bends[1].x), std::pair(ends.start.x + kStubLength, ends.end.x - kStubLength));
        EXPECT_EQ(std::pair(routing.Ends(*self).startSide, routing.Ends(*self).endSide), std::pair(Side::Right, Side::Top));
    }
    DropAutomaticBends(graph);
    EXPECT_TRUE(back->bends.empty() && self->bends.empty());
    routing.Clear();
    EXPECT_EQ(routing.Ends(*back).start, a->Box().Center());
}
