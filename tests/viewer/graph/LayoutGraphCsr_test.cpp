#include "viewer/graph/LayoutGraphCsr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <utility>
#include <vector>

namespace {

// Builds the CSR of an undirected graph given as links; node numbers are
// the vertex numbers times ten, to tell them apart.
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

std::vector<std::pair<int, int>> Ring(int n) {
    std::vector<std::pair<int, int>> links;
    for (int v = 0; v < n; ++v) links.push_back({v, (v + 1) % n});
    return links;
}

}  // namespace

TEST(LayoutGraphCsr, AdjacencyIsStoredVertexByVertex) {
    LayoutGraphCsr csr = FromLinks(3, {{0, 1}, {1, 2}});
    EXPECT_EQ(csr.VertexCount(), 3);
    EXPECT_EQ(csr.xadj, (std::vector<int32_t>{0, 1, 3, 4}));
    EXPECT_EQ(csr.adjncy, (std::vector<int32_t>{1, 0, 2, 1}));
    EXPECT_TRUE(csr.IsValid());
}

TEST(PartitionInTwo, TwoTrianglesJoinedByOneLinkAreCutAtThatLink) {
    LayoutGraphCsr csr = FromLinks(6, {{0, 1}, {1, 2}, {0, 2}, {3, 4}, {4, 5}, {3, 5}, {2, 3}});
    GraphPartition partition;
    ASSERT_TRUE(PartitionInTwo(csr, partition));
    EXPECT_EQ(partition.edgecut, 1);
    ASSERT_EQ(partition.part.size(), 6u);
    EXPECT_EQ(partition.part[0], partition.part[1]);
    EXPECT_EQ(partition.part[1], partition.part[2]);
    EXPECT_EQ(partition.part[3], partition.part[4]);
    EXPECT_EQ(partition.part[4], partition.part[5]);
    EXPECT_NE(partition.part[0], partition.part[3]);
    // Node lists hold the caller's numbers, in vertex order.
    int side = partition.part[0];
    EXPECT_EQ(partition.nodes[side], (std::vector<int32_t>{0, 10, 20}));
    EXPECT_EQ(partition.nodes[1 - side], (std::vector<int32_t>{30, 40, 50}));
}

TEST(PartitionInTwo, InputMetisWouldRejectIsNeverPassedOn) {
    GraphPartition partition;

    LayoutGraphCsr empty;
    EXPECT_FALSE(empty.IsValid());
    EXPECT_FALSE(PartitionInTwo(empty, partition));

    LayoutGraphCsr single;
    single.AddVertex(0);
    EXPECT_FALSE(PartitionInTwo(single, partition));

    LayoutGraphCsr selfLoop = FromLinks(3, {{0, 1}, {1, 2}});
    selfLoop.adjncy[0] = 0;  // vertex 0 lists itself
    EXPECT_FALSE(PartitionInTwo(selfLoop, partition));

    LayoutGraphCsr oneWay;
    oneWay.AddVertex(0);
    oneWay.AddNeighbour(1);
    oneWay.AddVertex(1);
    oneWay.AddNeighbour(2);
    oneWay.AddVertex(2);
    oneWay.AddNeighbour(1);
    EXPECT_FALSE(PartitionInTwo(oneWay, partition));

    LayoutGraphCsr repeated;
    repeated.AddVertex(0);
    repeated.AddNeighbour(1);
    repeated.AddNeighbour(1);
    repeated.AddVertex(1);
    repeated.AddNeighbour(0);
    repeated.AddNeighbour(0);
    EXPECT_FALSE(PartitionInTwo(repeated, partition));

    LayoutGraphCsr lonely = FromLinks(3, {{0, 1}});  // vertex 2 has no link
    EXPECT_FALSE(PartitionInTwo(lonely, partition));

    LayoutGraphCsr outOfRange = FromLinks(2, {{0, 1}});
    outOfRange.adjncy[1] = 7;
    EXPECT_FALSE(PartitionInTwo(outOfRange, partition));

    EXPECT_TRUE(partition.part.empty());
}

TEST(PartitionInTwo, CallsFromManyThreadsAgreeWithASingleCall) {
    LayoutGraphCsr csr = FromLinks(300, Ring(300));
    GraphPartition reference;
    ASSERT_TRUE(PartitionInTwo(csr, reference));
    EXPECT_EQ(reference.edgecut, 2);

    std::vector<std::vector<int32_t>> results(4);
    std::vector<std::thread> threads;
    for (auto& result : results) {
        threads.emplace_back([&csr, &result] {
            for (int round = 0; round < 10; ++round) {
                GraphPartition partition;
                if (!PartitionInTwo(csr, partition)) return;
                result = partition.part;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (const auto& result : results) EXPECT_EQ(result, reference.part);
}
