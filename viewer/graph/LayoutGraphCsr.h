// The layout's way into METIS: a subset of nodes in compressed adjacency
// form, cut in two by METIS's recursive bisection.
#pragma once

#include <cstdint>
#include <vector>

// Vertices are numbered from 0 in the subset's order. Every link appears in
// the lists of both its ends, once each; no vertex lists itself.
struct LayoutGraphCsr {
    std::vector<int32_t> xadj{0};  // xadj[v + 1] - xadj[v] = degree of vertex v
    std::vector<int32_t> adjncy;   // neighbour vertex numbers, vertex by vertex
    std::vector<int32_t> nodeOfVertex;  // the caller's number of each vertex's node

    int32_t VertexCount() const { return static_cast<int32_t>(xadj.size()) - 1; }

    // Starts a vertex; its neighbours follow with AddNeighbour.
    void AddVertex(int32_t node);
    void AddNeighbour(int32_t vertex);

    // True when METIS accepts the graph: at least two vertices, each with a
    // neighbour; neighbour lists in range, strictly ascending, without the
    // vertex itself; every link listed from both ends.
    bool IsValid() const;
};

struct GraphPartition {
    int32_t edgecut = 0;
    std::vector<int32_t> part;      // 0 or 1 per vertex
    std::vector<int32_t> nodes[2];  // the caller's node numbers per part, in vertex order
};

// Cuts the graph in two with METIS. Every call in the process goes through
// here, one at a time: METIS is not thread-safe. Input it would reject is
// never passed on; false for such input and for any METIS failure.
bool PartitionInTwo(const LayoutGraphCsr& graph, GraphPartition& result);
