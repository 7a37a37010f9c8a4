#include "viewer/graph/LayoutGraphCsr.h"

#include <metis.h>

#include <algorithm>
#include <mutex>

void LayoutGraphCsr::AddVertex(int32_t node) {
    xadj.push_back(static_cast<int32_t>(adjncy.size()));
    nodeOfVertex.push_back(node);
}

void LayoutGraphCsr::AddNeighbour(int32_t vertex) {
    adjncy.push_back(vertex);
    xadj.back() = static_cast<int32_t>(adjncy.size());
}

bool LayoutGraphCsr::IsValid() const {
    int32_t n = VertexCount();
    if (n < 2 || xadj.front() != 0 || xadj.back() != static_cast<int32_t>(adjncy.size())) return false;
    if (nodeOfVertex.size() != static_cast<size_t>(n)) return false;
    for (int32_t v = 0; v < n; ++v) {
        if (xadj[v + 1] <= xadj[v]) return false;  // no neighbour, or lists out of order
        for (int32_t e = xadj[v]; e < xadj[v + 1]; ++e) {
            int32_t u = adjncy[e];
            if (u < 0 || u >= n || u == v) return false;
            if (e > xadj[v] && adjncy[e - 1] >= u) return false;
            if (!std::binary_search(adjncy.begin() + xadj[u], adjncy.begin() + xadj[u + 1], v)) return false;
        }
    }
    return true;
}

namespace {

std::mutex metisMutex;

}  // namespace

bool PartitionInTwo(const LayoutGraphCsr& graph, GraphPartition& result) {
    result = GraphPartition{};
    if (!graph.IsValid()) return false;

    // METIS may scribble on its input; it gets copies in its own index type.
    std::vector<idx_t> xadj(graph.xadj.begin(), graph.xadj.end());
    std::vector<idx_t> adjncy(graph.adjncy.begin(), graph.adjncy.end());
    std::vector<idx_t> part(graph.nodeOfVertex.size(), 0);
    idx_t vertices = graph.VertexCount();
    idx_t constraints = 1;
    idx_t parts = 2;
    idx_t edgecut = 0;
    idx_t options[METIS_NOPTIONS];
    int status;
    {
        std::lock_guard<std::mutex> lock(metisMutex);
        METIS_SetDefaultOptions(options);
        options[METIS_OPTION_NUMBERING] = 0;
        status = METIS_PartGraphRecursive(&vertices, &constraints, xadj.data(), adjncy.data(), nullptr,
                                          nullptr, nullptr, &parts, nullptr, nullptr, options, &edgecut,
                                          part.data());
    }
    if (status != METIS_OK) return false;

    result.edgecut = static_cast<int32_t>(edgecut);
    result.part.reserve(part.size());
    for (size_t v = 0; v < part.size(); ++v) {
        if (part[v] != 0 && part[v] != 1) return false;
        result.part.push_back(static_cast<int32_t>(part[v]));
        result.nodes[part[v]].push_back(graph.nodeOfVertex[v]);
    }
    return true;
}
