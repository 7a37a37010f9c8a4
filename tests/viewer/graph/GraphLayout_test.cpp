#include "viewer/graph/GraphLayout.h"
#include "viewer/graph/LayoutGraphCsr.h"
#include "viewer/graph/Relaxation.h"
#include "viewer/graph/SiteGraph.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <set>
#include <thread>

namespace {

using Nodes = std::vector<GraphNode*>;

Nodes AddNodes(SiteGraph& graph, int count, Size size = {70, 30}) {
    Nodes nodes;
    for (int i = 0; i < count; ++i)
        nodes.push_back(graph.AddNode(std::make_unique<GraphNode>(i + 1, "n", "u", Rectangle({5, 5}, size))));
    return nodes;
}

Nodes All(const SiteGraph& graph) {
    Nodes nodes;
    for (const auto& node : graph.Nodes()) nodes.push_back(node.get());
    return nodes;
}

// The CSR of an undirected graph; node numbers are vertex numbers times ten.
LayoutGraphCsr FromLinks(int vertices, const std::vector<std::pair<int, int>>& links) {
    std::vector<std::vector<int32_t>> neighbours(vertices);
    for (auto [a, b] : links) {
        neighbours[a].push_back(b);
        neighbours[b].push_back(a);
    }
    LayoutGraphCsr csr;
    for (int v = 0; v < vertices; ++v) {
        csr.AddVertex(v * 10);
        std::sort(neighbours[v].begin(), neighbours[v].end());
        for (int32_t u : neighbours[v]) csr.AddNeighbour(u);
    }
    return csr;
}

GraphNode* CentredAt(SiteGraph& graph, int32_t x, int32_t y) {
    auto node = std::make_unique<GraphNode>(int32_t(graph.Nodes().size() + 1), "n", "u", Rectangle({0, 0}, {71, 31}));
    node->CentreAt(x, y);
    return graph.AddNode(std::move(node));
}

}  // namespace

TEST(GraphLayout, SmallGraphsLandWhereTheScaleSays) {
    // k = ceil(sqrt(n)); scaleX = 2 k maxW, scaleY = 4 k maxH; one node sits at
    // half of each, two unlinked ones at +-0.25 of scaleY, the second on top.
    SiteGraph one;
    GraphNode* single = AddNodes(one, 1, {71, 31})[0];
    GraphLayout layout(All(one));
    EXPECT_TRUE(layout.Run());
    EXPECT_EQ(layout.MetisCalls(), 0);
    EXPECT_EQ(single->layoutX, 71.0);
    EXPECT_EQ(single->layoutY, 62.0);
    EXPECT_EQ(single->Box(), Rectangle({36, 47}, {71, 31}));
    EXPECT_EQ(single->centreY, 62.0);

    SiteGraph two;
    Nodes n = AddNodes(two, 2);
    n[1]->SetSize({200, 50});
    GraphLayout(All(two)).Run();
    EXPECT_EQ(n[0]->layoutX, 400.0);
    EXPECT_EQ(n[1]->layoutX, 400.0);
    EXPECT_EQ(n[0]->layoutY, 300.0);
    EXPECT_EQ(n[1]->layoutY, 100.0);
    EXPECT_EQ(n[1]->Box().TopLeft(), (Point{300, 75}));
}

TEST(GraphLayout, SubsetsAreSplitAsTheirLinksSay) {
    struct Case {
        const char* name;
        int count;
        std::vector<std::pair<int, int>> links;
        int metisCalls;  // -1: at least one
        std::function<void(const Nodes&)> check;
    };
    const Case cases[] = {
        {"isolated nodes by list position", 4, {}, 0,
         [](const Nodes& n) {
             EXPECT_EQ(n[0]->layoutY, n[1]->layoutY);
             EXPECT_EQ(n[2]->layoutY, n[3]->layoutY);
             EXPECT_GT(n[0]->layoutY, n[2]->layoutY);
             EXPECT_GT(n[0]->layoutX, n[1]->layoutX);
             EXPECT_GT(n[2]->layoutX, n[3]->layoutX);
         }},
        {"isolated nodes first, then METIS for the linked ones", 5, {{1, 2}, {2, 4}}, 1,
         [](const Nodes& n) {
             EXPECT_EQ(n[0]->layoutY, n[3]->layoutY);
             for (int linked : {1, 2, 4}) EXPECT_GT(n[3]->layoutY, n[linked]->layoutY);
         }},
        {"two linked nodes never reach METIS", 2, {{0, 1}}, 0,
         [](const Nodes& n) { EXPECT_NE(n[0]->layoutY, n[1]->layoutY); }},
        {"METIS parts two interleaved triangles", 6, {{0, 2}, {2, 4}, {4, 0}, {1, 3}, {3, 5}, {5, 1}, {4, 5}}, 3,
         [](const Nodes& n) {
             double evenLow = std::min({n[0]->layoutY, n[2]->layoutY, n[4]->layoutY});
             double evenHigh = std::max({n[0]->layoutY, n[2]->layoutY, n[4]->layoutY});
             double oddLow = std::min({n[1]->layoutY, n[3]->layoutY, n[5]->layoutY});
             double oddHigh = std::max({n[1]->layoutY, n[3]->layoutY, n[5]->layoutY});
             EXPECT_TRUE(evenHigh < oddLow || oddHigh < evenLow);
         }},
        {"halves turn so that links leaving them stay short", 8, {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}, {6, 7}},
         -1,
         [](const Nodes& n) {
             EXPECT_EQ(n[3]->layoutX, n[4]->layoutX);
             EXPECT_NE(n[3]->layoutY, n[4]->layoutY);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SiteGraph graph;
        Nodes n = AddNodes(graph, c.count);
        for (auto [a, b] : c.links) graph.LinkUrlNodes(n[a], n[b]);
        GraphLayout layout(n);
        EXPECT_TRUE(layout.Run());
        if (c.metisCalls >= 0)
            EXPECT_EQ(layout.MetisCalls(), c.metisCalls);
        else
            EXPECT_GT(layout.MetisCalls(), 0);
        c.check(n);
    }
}

TEST(GraphLayout, EveryNodeOfASiteGetsItsOwnPlaceAndOnlyListedNodesMove) {
    SiteGraph graph;
    Nodes n = AddNodes(graph, 301);
    for (int i = 1; i < 300; ++i) graph.LinkUrlNodes(n[(i - 1) / 4], n[i]);  // a tree
    for (int i = 0; i + 37 < 300; i += 7) graph.LinkUrlNodes(n[i + 37], n[i]);
    graph.AddEdge(std::make_unique<GraphEdge>(n[5], n[5]));  // a self loop counts for nothing
    graph.LinkUrlNodes(n[3], n[300]);                         // a link out of the list neither
    std::vector<bool> busy;
    graph.busyPointer = [&](bool on) { busy.push_back(on); };
    GraphLayout layout(Nodes(n.begin(), n.begin() + 300));
    EXPECT_TRUE(layout.Run(graph.busyPointer));
    EXPECT_EQ(busy, (std::vector<bool>{true, false}));
    EXPECT_GT(layout.MetisCalls(), 0);
    std::set<std::pair<int32_t, int32_t>> centres;
    for (int i = 0; i < 300; ++i) {
        centres.insert({n[i]->Box().Center().x, n[i]->Box().Center().y});
        EXPECT_GT(n[i]->layoutX, 0.0);
        EXPECT_LT(n[i]->layoutX, 2 * 18 * 70);  // k = ceil(sqrt(300)) = 18
        EXPECT_LT(n[i]->layoutY, 4 * 18 * 30);
    }
    EXPECT_EQ(centres.size(), 300u);
    EXPECT_EQ(n[300]->Box().TopLeft(), (Point{5, 5}));
    EXPECT_TRUE(LayoutSiteGraph(graph));
    EXPECT_NE(n[300]->Box().TopLeft(), (Point{5, 5}));
}

TEST(PartitionInTwo, CutsAtTheSingleLinkBetweenTwoTriangles) {
    LayoutGraphCsr csr = FromLinks(6, {{0, 1}, {1, 2}, {0, 2}, {3, 4}, {4, 5}, {3, 5}, {2, 3}});
    EXPECT_EQ(csr.xadj, (std::vector<int32_t>{0, 2, 4, 7, 10, 12, 14}));
    GraphPartition partition;
    ASSERT_TRUE(PartitionInTwo(csr, partition));
    EXPECT_EQ(partition.edgecut, 1);
    int side = partition.part[0];
    EXPECT_EQ(partition.part, (std::vector<int32_t>{side, side, side, 1 - side, 1 - side, 1 - side}));
    EXPECT_EQ(partition.nodes[side], (std::vector<int32_t>{0, 10, 20}));
    EXPECT_EQ(partition.nodes[1 - side], (std::vector<int32_t>{30, 40, 50}));
}

TEST(PartitionInTwo, InputMetisWouldRejectIsNeverPassedOn) {
    auto edit = [](LayoutGraphCsr csr, const std::function<void(LayoutGraphCsr&)>& change) {
        change(csr);
        return csr;
    };
    LayoutGraphCsr path = FromLinks(3, {{0, 1}, {1, 2}});
    const std::pair<const char*, LayoutGraphCsr> cases[] = {
        {"no vertex", LayoutGraphCsr()},
        {"one vertex", edit(LayoutGraphCsr(), [](LayoutGraphCsr& c) { c.AddVertex(0); })},
        {"a self loop", edit(path, [](LayoutGraphCsr& c) { c.adjncy[0] = 0; })},
        {"a one-way link", edit(path, [](LayoutGraphCsr& c) { c.adjncy[3] = 0; })},
        {"a repeated neighbour", edit(FromLinks(2, {{0, 1}, {0, 1}}), [](LayoutGraphCsr&) {})},
        {"a vertex without links", FromLinks(3, {{0, 1}})},
        {"a neighbour out of range", edit(path, [](LayoutGraphCsr& c) { c.adjncy[1] = 7; })},
    };
    for (const auto& [name, csr] : cases) {
        GraphPartition partition;
        partition.part = {5};
        EXPECT_FALSE(PartitionInTwo(csr, partition)) << name;
        EXPECT_TRUE(partition.part.empty()) << name;
    }
}

TEST(PartitionInTwo, CallsFromManyThreadsAgreeWithASingleCall) {
    std::vector<std::pair<int, int>> ring;
    for (int v = 0; v < 300; ++v) ring.push_back({v, (v + 1) % 300});
    LayoutGraphCsr csr = FromLinks(300, ring);
    GraphPartition reference;
    ASSERT_TRUE(PartitionInTwo(csr, reference));
    EXPECT_EQ(reference.edgecut, 2);
    std::vector<std::vector<int32_t>> results(4);
    std::vector<std::thread> threads;
    for (auto& result : results)
        threads.emplace_back([&csr, &result] {
            for (int round = 0; round < 10; ++round) {
                GraphPartition partition;
                if (!PartitionInTwo(csr, partition)) return;
                result = partition.part;
            }
        });
    for (auto& thread : threads) thread.join();
    for (const auto& result : results) EXPECT_EQ(result, reference.part);
}

TEST(RelaxationStep, OneStepMovesNodesByTheForces) {
    struct Case {
        const char* name;
        std::vector<Point> centres;
        std::vector<std::pair<int, int>> links;
        double startDx, startDy;  // of node 0
        std::vector<std::pair<double, double>> after;
        double dxAfter;  // of node 0: half its velocity is kept
    };
    const Case cases[] = {
        {"nearby nodes push two pixels apart", {{1000, 1000}, {1050, 1000}}, {}, 0, 0,
         {{998, 1000}, {1052, 1000}}, -1},
        {"a long link pulls at most five pixels", {{1000, 2000}, {2500, 2000}}, {{0, 1}}, 0, 0,
         {{1005, 2000}, {2495, 2000}}, 225},
        {"a link of its preferred length stays", {{1000, 1000}, {1090, 1120}}, {{0, 1}}, 0, 0,
         {{1000, 1000}, {1090, 1120}}, 0},
        {"a lone node keeps half its velocity", {{1000, 1000}}, {}, 4, -12, {{1004, 995}}, 2},
        {"mirror images stay mirror images", {{1000, 1000}, {1040, 1000}, {1080, 1000}}, {{0, 1}, {2, 1}}, 0, 0,
         {{995, 1000}, {1040, 1000}, {1085, 1000}}, -(110.0 / 120 * 40 + 2) / 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SiteGraph graph;
        Nodes n;
        for (Point at : c.centres) n.push_back(CentredAt(graph, at.x, at.y));
        for (auto [a, b] : c.links) graph.LinkUrlNodes(n[a], n[b]);
        n[0]->dx = c.startDx;
        n[0]->dy = c.startDy;
        RandomGenerator random;
        RelaxationStep(graph, random);
        for (size_t i = 0; i < n.size(); i++) {
            EXPECT_DOUBLE_EQ(n[i]->centreX, c.after[i].first) << i;
            EXPECT_DOUBLE_EQ(n[i]->centreY, c.after[i].second) << i;
        }
        EXPECT_DOUBLE_EQ(n[0]->dx, c.dxAfter);
    }
}

TEST(RelaxationStep, PinnedNodesStayAndTheRestStaysOnTheCanvas) {
    SiteGraph graph;
    RandomGenerator random(7);
    for (int i = 0; i < 60; ++i) CentredAt(graph, random.Next() % 5001, random.Next() % 5001);
    Nodes n = All(graph);
    for (int i = 0; i < 180; ++i) graph.LinkUrlNodes(n[random.Next() % 60], n[random.Next() % 60]);
    // Crowds in the corners, where the pushes point outward; three on one spot
    // with zero-length links and a self loop; a pinned node among them.
    for (Point at : {Point{0, 0}, Point{2, 1}, Point{5000, 5000}, Point{4999, 4998}, Point{300, 300},
                     Point{300, 300}, Point{300, 300}})
        n.push_back(CentredAt(graph, at.x, at.y));
    graph.LinkUrlNodes(n[64], n[65]);
    graph.LinkUrlNodes(n[65], n[66]);
    graph.AddEdge(std::make_unique<GraphEdge>(n[66], n[66]));
    n[64]->marked = true;
    Rectangle pinned = n[64]->Box();
    for (int step = 0; step < 40; ++step) {
        std::vector<std::pair<double, double>> before;
        for (GraphNode* node : n) before.push_back({node->centreX, node->centreY});
        RelaxationStep(graph, random);
        for (size_t i = 0; i < n.size(); ++i) {
            const GraphNode& node = *n[i];
            ASSERT_TRUE(node.centreX >= 0.0 && node.centreX <= 5000.0 && node.centreY >= 0.0 && node.centreY <= 5000.0);
            ASSERT_LE(std::abs(node.centreX - before[i].first), 5.0);
            ASSERT_LE(std::abs(node.centreY - before[i].second), 5.0);
            ASSERT_EQ(node.Box().left, static_cast<int32_t>(node.centreX) - node.Box().Width() / 2);
            ASSERT_EQ(node.Box().top, static_cast<int32_t>(node.centreY) - node.Box().Height() / 2);
        }
    }
    EXPECT_EQ(n[64]->Box(), pinned);
    EXPECT_EQ(n[64]->dx, 0.0);
    EXPECT_GT(std::hypot(n[65]->centreX - n[66]->centreX, n[65]->centreY - n[66]->centreY), 10.0);
}
