#include "viewer/graph/GraphLayout.h"

#include "viewer/graph/SiteGraph.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

std::vector<GraphNode*> AddNodes(SiteGraph& graph, int count, Size size = {70, 30}) {
    std::vector<GraphNode*> nodes;
    for (int i = 0; i < count; ++i) {
        int32_t id = graph.MaxNodeId() + 1;
        nodes.push_back(graph.AddNode(
            std::make_unique<GraphNode>(id, "n" + std::to_string(id), "u", Rectangle({5, 5}, size))));
    }
    return nodes;
}

void Link(SiteGraph& graph, GraphNode* a, GraphNode* b) { graph.LinkUrlNodes(a, b); }

std::vector<GraphNode*> AllNodes(const SiteGraph& graph) {
    std::vector<GraphNode*> nodes;
    for (const auto& node : graph.Nodes()) nodes.push_back(node.get());
    return nodes;
}

}  // namespace

TEST(GraphLayout, SingleNodeIsCentredAtMaxWidthAndTwiceMaxHeight) {
    SiteGraph graph;
    GraphNode* node = AddNodes(graph, 1, {71, 31})[0];
    GraphLayout layout(AllNodes(graph));
    EXPECT_TRUE(layout.Run());
    // k = 1: scaleX = 2 x 71, scaleY = 4 x 31, and the node sits at half of each.
    EXPECT_EQ(node->layoutX, 71.0);
    EXPECT_EQ(node->layoutY, 62.0);
    EXPECT_EQ(node->Box().Center(), (Point{71, 62}));
    EXPECT_EQ(node->Box().GetSize(), (Size{71, 31}));
    EXPECT_EQ(node->centreX, 71.0);
    EXPECT_EQ(node->centreY, 62.0);
    EXPECT_EQ(layout.MetisCalls(), 0);
}

TEST(GraphLayout, TwoUnlinkedNodesStandOneAboveTheOtherWithTheSecondOnTop) {
    SiteGraph graph;
    auto nodes = AddNodes(graph, 2);
    GraphLayout(AllNodes(graph)).Run();
    // k = ceil(sqrt(2)) = 2: scaleY = 4 x 2 x 30; the nodes lie at +-0.25 of it.
    double scaleY = 4 * 2 * 30;
    EXPECT_EQ(nodes[0]->layoutX, nodes[1]->layoutX);
    EXPECT_EQ(nodes[0]->layoutY, 0.75 * scaleY);
    EXPECT_EQ(nodes[1]->layoutY, 0.25 * scaleY);
    EXPECT_EQ(nodes[0]->layoutY - nodes[1]->layoutY, scaleY / 2);
    EXPECT_LT(nodes[1]->Box().top, nodes[0]->Box().top);
}

TEST(GraphLayout, BoxesScaleWithTheLargestNode) {
    SiteGraph graph;
    auto nodes = AddNodes(graph, 2);
    nodes[1]->SetSize({200, 50});
    GraphLayout(AllNodes(graph)).Run();
    double scaleX = 2 * 2 * 200;
    double scaleY = 4 * 2 * 50;
    EXPECT_EQ(nodes[0]->layoutX, scaleX / 2);
    EXPECT_EQ(nodes[0]->layoutY, 0.75 * scaleY);
}

TEST(GraphLayout, IsolatedNodesAreSplitByListPositionWithoutMetis) {
    SiteGraph graph;
    auto n = AddNodes(graph, 4);
    GraphLayout layout(AllNodes(graph));
    layout.Run();
    EXPECT_EQ(layout.MetisCalls(), 0);
    // First half below the second, each pair then side by side.
    EXPECT_EQ(n[0]->layoutY, n[1]->layoutY);
    EXPECT_EQ(n[2]->layoutY, n[3]->layoutY);
    EXPECT_GT(n[0]->layoutY, n[2]->layoutY);
    EXPECT_GT(n[0]->layoutX, n[1]->layoutX);
    EXPECT_GT(n[2]->layoutX, n[3]->layoutX);
}

TEST(GraphLayout, MixedSubsetPutsIsolatedNodesIntoTheFirstPartWithoutMetis) {
    SiteGraph graph;
    auto n = AddNodes(graph, 5);
    Link(graph, n[1], n[2]);
    Link(graph, n[2], n[4]);
    GraphLayout layout(AllNodes(graph));
    layout.Run();
    EXPECT_EQ(layout.MetisCalls(), 1);  // only for the linked three
    // Isolated 0 and 3 form the first part, which ends up below the linked ones.
    EXPECT_GT(n[0]->layoutY, n[1]->layoutY);
    EXPECT_GT(n[3]->layoutY, n[1]->layoutY);
    EXPECT_GT(n[3]->layoutY, n[2]->layoutY);
    EXPECT_GT(n[3]->layoutY, n[4]->layoutY);
    EXPECT_EQ(n[0]->layoutY, n[3]->layoutY);
}

TEST(GraphLayout, TwoLinkedNodesAreNeverGivenToMetis) {
    SiteGraph graph;
    auto n = AddNodes(graph, 2);
    Link(graph, n[0], n[1]);
    GraphLayout layout(AllNodes(graph));
    EXPECT_TRUE(layout.Run());
    EXPECT_EQ(layout.MetisCalls(), 0);
    EXPECT_NE(n[0]->layoutY, n[1]->layoutY);
}

TEST(GraphLayout, ConnectedSubsetIsSplitByMetisBetweenTwoTriangles) {
    SiteGraph graph;
    auto n = AddNodes(graph, 6);
    // Interleaved in the list, so a split by position would mix them.
    std::vector<GraphNode*> first{n[0], n[2], n[4]};
    std::vector<GraphNode*> second{n[1], n[3], n[5]};
    for (auto* triangle : {&first, &second}) {
        Link(graph, (*triangle)[0], (*triangle)[1]);
        Link(graph, (*triangle)[1], (*triangle)[2]);
        Link(graph, (*triangle)[2], (*triangle)[0]);
    }
    Link(graph, n[4], n[5]);
    GraphLayout layout(AllNodes(graph));
    EXPECT_TRUE(layout.Run());
    EXPECT_GE(layout.MetisCalls(), 1);
    auto ys = [](const std::vector<GraphNode*>& nodes) {
        std::vector<double> values;
        for (auto* node : nodes) values.push_back(node->layoutY);
        return std::make_pair(*std::min_element(values.begin(), values.end()),
                              *std::max_element(values.begin(), values.end()));
    };
    auto [firstLow, firstHigh] = ys(first);
    auto [secondLow, secondHigh] = ys(second);
    EXPECT_TRUE(firstHigh < secondLow || secondHigh < firstLow);
}

TEST(GraphLayout, HalvesAreTurnedSoThatLinksLeavingThemStayShort) {
    // A path 0-1-...-7 is cut in the middle; when the lower half is split
    // sideways, its end next to node 3 must land on node 3's side.
    SiteGraph graph;
    auto n = AddNodes(graph, 8);
    for (int i = 0; i + 1 < 8; ++i) Link(graph, n[i], n[i + 1]);
    GraphLayout layout(AllNodes(graph));
    EXPECT_TRUE(layout.Run());
    EXPECT_EQ(n[3]->layoutX, n[4]->layoutX);
    EXPECT_NE(n[3]->layoutY, n[4]->layoutY);
}

TEST(GraphLayout, EveryNodeOfASiteGetsItsOwnPlace) {
    SiteGraph graph;
    auto n = AddNodes(graph, 300);
    for (int i = 1; i < 300; ++i) Link(graph, n[(i - 1) / 4], n[i]);  // a tree
    for (int i = 0; i + 37 < 300; i += 7) Link(graph, n[i + 37], n[i]);  // cross links
    Link(graph, n[5], n[5]);  // a self-loop counts for nothing
    GraphLayout layout(AllNodes(graph));
    EXPECT_TRUE(layout.Run());
    EXPECT_GT(layout.MetisCalls(), 0);
    std::set<std::pair<int32_t, int32_t>> centres;
    double limitX = 2 * 18 * 70, limitY = 4 * 18 * 30;  // k = ceil(sqrt(300)) = 18
    for (GraphNode* node : n) {
        centres.insert({node->Box().Center().x, node->Box().Center().y});
        EXPECT_GT(node->layoutX, 0.0);
        EXPECT_LT(node->layoutX, limitX);
        EXPECT_GT(node->layoutY, 0.0);
        EXPECT_LT(node->layoutY, limitY);
    }
    EXPECT_EQ(centres.size(), n.size());
}

TEST(GraphLayout, LinksToNodesOutsideTheListAreIgnored) {
    SiteGraph graph;
    auto n = AddNodes(graph, 3);
    Link(graph, n[0], n[2]);
    Link(graph, n[1], n[2]);
    GraphLayout layout({n[0], n[1]});
    EXPECT_TRUE(layout.Run());
    EXPECT_EQ(layout.MetisCalls(), 0);
    EXPECT_EQ(n[2]->Box().TopLeft(), (Point{5, 5}));  // not laid out
    EXPECT_LT(n[1]->layoutY, n[0]->layoutY);
}

TEST(LayoutSiteGraph, RunsOverAllNodesUnderTheBusyPointer) {
    SiteGraph graph;
    auto n = AddNodes(graph, 3);
    std::vector<bool> calls;
    graph.busyPointer = [&](bool busy) { calls.push_back(busy); };
    EXPECT_TRUE(LayoutSiteGraph(graph));
    EXPECT_EQ(calls, (std::vector<bool>{true, false}));
    EXPECT_NE(n[0]->Box().TopLeft(), n[2]->Box().TopLeft());
}
