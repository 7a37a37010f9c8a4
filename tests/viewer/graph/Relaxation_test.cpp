#include "viewer/graph/Relaxation.h"

#include "viewer/graph/SiteGraph.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

GraphNode* AddNodeCentredAt(SiteGraph& graph, int32_t x, int32_t y, Size size = {71, 31}) {
    int32_t id = graph.MaxNodeId() + 1;
    auto node = std::make_unique<GraphNode>(id, "n" + std::to_string(id), "u", Rectangle({0, 0}, size));
    node->CentreAt(x, y);
    return graph.AddNode(std::move(node));
}

// A few dozen nodes scattered over the canvas, densely linked.
std::vector<GraphNode*> Scatter(SiteGraph& graph, int count, RandomGenerator& random) {
    std::vector<GraphNode*> nodes;
    for (int i = 0; i < count; ++i)
        nodes.push_back(AddNodeCentredAt(graph, random.Next() % 5001, random.Next() % 5001));
    for (int i = 0; i < count * 3; ++i)
        graph.LinkUrlNodes(nodes[random.Next() % count], nodes[random.Next() % count]);
    return nodes;
}

}  // namespace

TEST(RelaxationStep, MarkedNodeDoesNotMoveHoweverStrongTheForces) {
    SiteGraph graph;
    GraphNode* pinned = AddNodeCentredAt(graph, 1000, 1000, {70, 30});
    pinned->marked = true;
    GraphNode* far = AddNodeCentredAt(graph, 4000, 4000);
    GraphNode* same = AddNodeCentredAt(graph, 1000, 1000);
    graph.LinkUrlNodes(pinned, far);
    Rectangle box = pinned->Box();
    double centreX = pinned->centreX, centreY = pinned->centreY;
    RandomGenerator random;
    for (int step = 0; step < 20; ++step) RelaxationStep(graph, random);
    EXPECT_EQ(pinned->Box(), box);
    EXPECT_EQ(pinned->centreX, centreX);
    EXPECT_EQ(pinned->centreY, centreY);
    EXPECT_EQ(pinned->dx, 0.0);
    EXPECT_EQ(pinned->dy, 0.0);
    EXPECT_NE(far->centreX, 4000.0);  // the others do move
    EXPECT_NE(same->centreX, 1000.0);
}

TEST(RelaxationStep, TwoNodesOnTheSameSpotArePushedApart) {
    SiteGraph graph;
    GraphNode* a = AddNodeCentredAt(graph, 2000, 2000);
    GraphNode* b = AddNodeCentredAt(graph, 2000, 2000);
    RandomGenerator random;
    RelaxationStep(graph, random);
    auto distance = [&] { return std::hypot(a->centreX - b->centreX, a->centreY - b->centreY); };
    EXPECT_GT(distance(), 0.0);
    // Once apart, the ordinary repulsion takes over.
    for (int step = 0; step < 4; ++step) RelaxationStep(graph, random);
    EXPECT_GT(distance(), 4.0);
    EXPECT_NE(a->Box(), b->Box());
}

TEST(RelaxationStep, NearbyUnlinkedNodesPushEachOtherTwoPixelsApart) {
    SiteGraph graph;
    GraphNode* a = AddNodeCentredAt(graph, 1000, 1000);
    GraphNode* b = AddNodeCentredAt(graph, 1050, 1000);
    RandomGenerator random;
    RelaxationStep(graph, random);
    EXPECT_DOUBLE_EQ(a->centreX, 998.0);
    EXPECT_DOUBLE_EQ(b->centreX, 1052.0);
    EXPECT_DOUBLE_EQ(a->centreY, 1000.0);
    EXPECT_DOUBLE_EQ(a->dx, -1.0);  // half the velocity is kept
}

TEST(RelaxationStep, LongLinksPullTheirEndsTogetherAtMostFivePixelsAStep) {
    SiteGraph graph;
    GraphNode* a = AddNodeCentredAt(graph, 1000, 2000);
    GraphNode* b = AddNodeCentredAt(graph, 3000, 2000);
    graph.LinkUrlNodes(a, b);
    RandomGenerator random;
    RelaxationStep(graph, random);
    EXPECT_DOUBLE_EQ(a->centreX, 1005.0);
    EXPECT_DOUBLE_EQ(b->centreX, 2995.0);
    EXPECT_DOUBLE_EQ(a->centreY, 2000.0);
}

TEST(RelaxationStep, LinkAtItsPreferredLengthStaysPut) {
    SiteGraph graph;
    GraphNode* a = AddNodeCentredAt(graph, 1000, 1000);
    GraphNode* b = AddNodeCentredAt(graph, 1090, 1120);  // 150 pixels apart
    graph.LinkUrlNodes(a, b);
    RandomGenerator random;
    RelaxationStep(graph, random);
    EXPECT_DOUBLE_EQ(a->centreX, 1000.0);
    EXPECT_DOUBLE_EQ(b->centreY, 1120.0);
    EXPECT_EQ(a->Box().Center(), (Point{1000, 1000}));
}

TEST(RelaxationStep, VelocityIsHalvedAfterEveryStep) {
    SiteGraph graph;
    GraphNode* node = AddNodeCentredAt(graph, 1000, 1000);
    node->dx = 4.0;
    node->dy = -12.0;
    RandomGenerator random;
    RelaxationStep(graph, random);
    EXPECT_DOUBLE_EQ(node->centreX, 1004.0);
    EXPECT_DOUBLE_EQ(node->centreY, 995.0);  // clamped to five pixels
    EXPECT_DOUBLE_EQ(node->dx, 2.0);
    EXPECT_DOUBLE_EQ(node->dy, -6.0);
    RelaxationStep(graph, random);
    EXPECT_DOUBLE_EQ(node->centreX, 1006.0);
    EXPECT_DOUBLE_EQ(node->centreY, 990.0);
}

TEST(RelaxationStep, NoCentreLeavesTheCanvasAndNoStepMovesMoreThanFivePixels) {
    SiteGraph graph;
    RandomGenerator random(7);
    auto nodes = Scatter(graph, 60, random);
    // Crowd some nodes into the corners, where the pushes point outward.
    AddNodeCentredAt(graph, 0, 0);
    AddNodeCentredAt(graph, 2, 1);
    AddNodeCentredAt(graph, 5000, 5000);
    AddNodeCentredAt(graph, 4999, 4998);
    for (int step = 0; step < 40; ++step) {
        std::vector<std::pair<double, double>> before;
        for (const auto& node : graph.Nodes()) before.push_back({node->centreX, node->centreY});
        RelaxationStep(graph, random);
        for (size_t i = 0; i < graph.Nodes().size(); ++i) {
            const GraphNode& node = *graph.Nodes()[i];
            ASSERT_GE(node.centreX, 0.0);
            ASSERT_LE(node.centreX, 5000.0);
            ASSERT_GE(node.centreY, 0.0);
            ASSERT_LE(node.centreY, 5000.0);
            ASSERT_LE(std::abs(node.centreX - before[i].first), 5.0);
            ASSERT_LE(std::abs(node.centreY - before[i].second), 5.0);
            // The box follows the truncated centre.
            ASSERT_EQ(node.Box().left, static_cast<int32_t>(node.centreX) - node.Box().Width() / 2);
            ASSERT_EQ(node.Box().top, static_cast<int32_t>(node.centreY) - node.Box().Height() / 2);
        }
    }
}

TEST(RelaxationStep, ZeroLengthLinksCauseNoNaN) {
    SiteGraph graph;
    GraphNode* a = AddNodeCentredAt(graph, 300, 300);
    GraphNode* b = AddNodeCentredAt(graph, 300, 300);
    GraphNode* c = AddNodeCentredAt(graph, 300, 300);
    graph.LinkUrlNodes(a, b);
    graph.LinkUrlNodes(b, c);
    graph.AddEdge(std::make_unique<GraphEdge>(c, c));  // a self-loop has length 0 too
    RandomGenerator random;
    for (int step = 0; step < 50; ++step) RelaxationStep(graph, random);
    for (const auto& node : graph.Nodes()) {
        EXPECT_TRUE(std::isfinite(node->centreX));
        EXPECT_TRUE(std::isfinite(node->centreY));
        EXPECT_TRUE(std::isfinite(node->dx));
        EXPECT_TRUE(std::isfinite(node->dy));
    }
    // The linked nodes have come apart and their springs act again.
    EXPECT_GT(std::hypot(a->centreX - b->centreX, a->centreY - b->centreY), 10.0);
}

TEST(RelaxationStep, ForcesDoNotDependOnTheOrderOfTheNodes) {
    // Forces are summed from the positions before the step, so two mirror
    // images stay mirror images.
    SiteGraph graph;
    GraphNode* a = AddNodeCentredAt(graph, 1000, 1000);
    GraphNode* b = AddNodeCentredAt(graph, 1040, 1000);
    GraphNode* c = AddNodeCentredAt(graph, 1080, 1000);
    graph.LinkUrlNodes(a, b);
    graph.LinkUrlNodes(c, b);
    RandomGenerator random;
    RelaxationStep(graph, random);
    EXPECT_DOUBLE_EQ(1040.0 - a->centreX, c->centreX - 1040.0);
    EXPECT_DOUBLE_EQ(b->centreX, 1040.0);
}
