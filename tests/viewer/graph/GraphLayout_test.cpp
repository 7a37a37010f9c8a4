#include "viewer/graph/GraphLayout.h"
#include "viewer/graph/LayoutGraphCsr.h"
#include "viewer/graph/Relaxation.h"
#include "viewer/graph/SiteGraph.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>
#include <thread>

namespace {

using Nodes = std::vector<GraphNode*>;
using Links = std::vector<std::pair<int, int>>;

// Nodes centred at the points (or all at (40, 20)), with the links between them.
Nodes Build(SiteGraph& graph, size_t count, const Links& links, const std::vector<Point>& centres = {}) {
    Nodes nodes;
    for (size_t i = 0; i < count; ++i) {
        auto node = std::make_unique<GraphNode>(int32_t(i + 1), "n", "u", Rectangle({5, 5}, {71, 31}));
        if (i < centres.size()) node->CentreAt(centres[i].x, centres[i].y);
        nodes.push_back(graph.AddNode(std::move(node)));
    }
    for (auto [a, b] : links) graph.AddEdge(std::make_unique<GraphEdge>(nodes[a], nodes[b]));
    return nodes;
}

// The CSR of an undirected graph; node numbers are vertex numbers times ten.
LayoutGraphCsr FromLinks(int vertices, const Links& links) {
    std::vector<std::set<int32_t>> neighbours(vertices);
    for (auto [a, b] : links) neighbours[a].insert(b), neighbours[b].insert(a);
    LayoutGraphCsr csr;
    for (int v = 0; v < vertices; ++v) {
        csr.AddVertex(v * 10);
        for (int32_t u : neighbours[v]) csr.AddNeighbour(u);
    }
    return csr;
}

}  // namespace

TEST(GraphLayout, SubsetsAreSplitAsTheirLinksSayAndScaledByTheLargestBox) {
    const std::tuple<const char*, size_t, Links, int, std::function<void(const Nodes&)>> cases[] = {
        // k = ceil(sqrt(n)); scaleX = 2 k maxW, scaleY = 4 k maxH; one node at half of each.
        {"one node", 1, {}, 0, [](const Nodes& n) { EXPECT_EQ(n[0]->Box(), Rectangle({36, 47}, {71, 31})); }},
        {"two unlinked nodes, the second on top", 2, {}, 0, [](const Nodes& n) {
             n[1]->SetSize({200, 50});
             GraphLayout(n).Run();
             EXPECT_EQ((std::vector<double>{n[0]->layoutX, n[0]->layoutY, n[1]->layoutX, n[1]->layoutY}),
                       (std::vector<double>{400, 300, 400, 100}));
             EXPECT_EQ(n[1]->Box().TopLeft(), (Point{300, 75}));
         }},
        {"isolated nodes by list position", 4, {}, 0, [](const Nodes& n) {
             EXPECT_EQ(n[0]->layoutY, n[1]->layoutY);
             EXPECT_EQ(n[2]->layoutY, n[3]->layoutY);
             EXPECT_GT(n[0]->layoutY, n[2]->layoutY);
             EXPECT_TRUE(n[0]->layoutX > n[1]->layoutX && n[2]->layoutX > n[3]->layoutX);
         }},
        {"isolated nodes first, then METIS for the linked ones", 5, {{1, 2}, {2, 4}}, 1, [](const Nodes& n) {
             EXPECT_EQ(n[0]->layoutY, n[3]->layoutY);
             for (int linked : {1, 2, 4}) EXPECT_GT(n[3]->layoutY, n[linked]->layoutY);
         }},
        {"halves turn so that links leaving them stay short", 8,
         {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}, {6, 7}}, -1,
         [](const Nodes& n) { EXPECT_TRUE(n[3]->layoutX == n[4]->layoutX && n[3]->layoutY != n[4]->layoutY); }},
    };
    for (const auto& [name, count, links, metisCalls, check] : cases) {
        SCOPED_TRACE(name);
        SiteGraph graph;
        Nodes n = Build(graph, count + 1, links);
        graph.AddEdge(std::make_unique<GraphEdge>(n[0], n[count]));  // a link out of the list counts for nothing
        GraphNode* outside = n.back();
        n.pop_back();
        GraphLayout layout(n);
        EXPECT_TRUE(layout.Run());
        EXPECT_TRUE(metisCalls < 0 ? layout.MetisCalls() > 0 : layout.MetisCalls() == metisCalls);
        check(n);
        EXPECT_EQ(outside->Box().TopLeft(), (Point{5, 5}));
    }
    SiteGraph graph;
    std::string busy;
    graph.busyPointer = [&](bool on) { busy += on ? "+" : "-"; };
    Build(graph, 3, {{0, 1}, {1, 2}, {2, 0}, {1, 1}});  // a self loop counts for nothing either
    EXPECT_TRUE(LayoutSiteGraph(graph));
    EXPECT_EQ(busy, "+-");
}

TEST(PartitionInTwo, CutsTwoTrianglesApartAndNeverPassesInputMetisWouldReject) {
    GraphPartition partition;
    ASSERT_TRUE(PartitionInTwo(FromLinks(6, {{0, 1}, {1, 2}, {0, 2}, {3, 4}, {4, 5}, {3, 5}, {2, 3}}), partition));
    EXPECT_EQ(partition.edgecut, 1);
    int side = partition.part[0];
    EXPECT_EQ(partition.part, (std::vector<int32_t>{side, side, side, 1 - side, 1 - side, 1 - side}));
    EXPECT_EQ(partition.nodes[side], (std::vector<int32_t>{0, 10, 20}));

    auto edited = [](LayoutGraphCsr csr, size_t at, int32_t vertex) { return csr.adjncy[at] = vertex, csr; };
    LayoutGraphCsr path = FromLinks(3, {{0, 1}, {1, 2}}), one;
    one.AddVertex(0);
    LayoutGraphCsr repeated = FromLinks(2, {{0, 1}});
    repeated.AddNeighbour(0);
    const std::pair<const char*, LayoutGraphCsr> rejected[] = {
        {"no vertex", LayoutGraphCsr()}, {"one vertex", one}, {"a self loop", edited(path, 0, 0)},
        {"a one-way link", edited(path, 3, 0)}, {"a repeated neighbour", repeated},
        {"a vertex without links", FromLinks(3, {{0, 1}})}, {"a neighbour out of range", edited(path, 1, 7)},
    };
    for (const auto& [name, csr] : rejected) {
        EXPECT_FALSE(PartitionInTwo(csr, partition)) << name;
        EXPECT_TRUE(partition.part.empty()) << name;
    }
}

TEST(PartitionInTwo, CallsFromManyThreadsAgreeWithASingleCall) {
    Links ring;
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
                if (PartitionInTwo(csr, partition)) result = partition.part;
            }
        });
    for (auto& thread : threads) thread.join();
    for (const auto& result : results) EXPECT_EQ(result, reference.part);
}

TEST(RelaxationStep, OneStepMovesNodesByTheForces) {
    const std::tuple<const char*, std::vector<Point>, Links, double, std::vector<double>> cases[] = {
        // centres, links, the first node's velocity before; then x of each centre, the first's velocity
        {"nearby nodes push two pixels apart", {{1000, 1000}, {1050, 1000}}, {}, 0, {998, 1052, -1}},
        {"a long link pulls at most five pixels", {{1000, 2000}, {2500, 2000}}, {{0, 1}}, 0, {1005, 2495, 225}},
        {"a link of its preferred length stays", {{1000, 1000}, {1090, 1120}}, {{0, 1}}, 0, {1000, 1090, 0}},
        {"a lone node keeps half its velocity", {{1000, 1000}}, {}, 12, {1005, 6}},
        {"the canvas's edge holds a node", {{0, 1000}}, {}, -12, {0, -6}},
        {"mirror images stay mirror images", {{1000, 1000}, {1040, 1000}, {1080, 1000}}, {{0, 1}, {2, 1}}, 0,
         {995, 1040, 1085, -(110.0 / 120 * 40 + 2) / 2}},
    };
    for (const auto& [name, centres, links, velocity, after] : cases) {
        SCOPED_TRACE(name);
        SiteGraph graph;
        Nodes n = Build(graph, centres.size(), links, centres);
        n[0]->dx = velocity;
        RandomGenerator random;
        RelaxationStep(graph, random);
        for (size_t i = 0; i < n.size(); i++) {
            EXPECT_DOUBLE_EQ(n[i]->centreX, after[i]);
            EXPECT_DOUBLE_EQ(n[i]->centreY, centres[i].y);
        }
        EXPECT_DOUBLE_EQ(n[0]->dx, after.back());
    }
}

TEST(RelaxationStep, NodesOnOneSpotArePushedApartAndPinnedNodesStay) {
    SiteGraph graph;
    Nodes n = Build(graph, 3, {{0, 1}, {1, 2}, {2, 2}}, {{300, 300}, {300, 300}, {300, 300}});
    n[0]->marked = true;
    Rectangle pinned = n[0]->Box();
    RandomGenerator random;
    for (int step = 0; step < 40; ++step) RelaxationStep(graph, random);
    EXPECT_EQ(n[0]->Box(), pinned);
    EXPECT_GT(std::hypot(n[1]->centreX - n[2]->centreX, n[1]->centreY - n[2]->centreY), 10.0);
}
