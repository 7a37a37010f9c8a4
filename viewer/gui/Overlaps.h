// The overlap display: which node boxes overlap another box, and how many
// pairs of links cross, as a measure of how readable a layout is.
#pragma once

#include <unordered_set>

class EdgeRouting;
class GraphNode;
class SiteGraph;

struct OverlapReport {
    std::unordered_set<const GraphNode*> overlapping;
    int crossings = 0;  // pairs of segments of different links that cross
};

OverlapReport FindOverlaps(const SiteGraph& graph, const EdgeRouting& routing);
