#include "viewer/graph/GraphAlgorithms.h"

#include "viewer/graph/SiteGraph.h"

#include <memory>
#include <unordered_map>
#include <unordered_set>

std::vector<GraphNode*> OutgoingClosure(GraphNode& start) {
    std::vector<GraphNode*> reached{&start};
    std::unordered_set<GraphNode*> seen{&start};
    // A node's edge list holds its incoming links too: their target is the node itself.
    for (size_t i = 0; i < reached.size(); i++)
        for (GraphEdge* edge : reached[i]->edges)
            if (!edge->bothWays && edge->target != reached[i] && seen.insert(edge->target).second)
                reached.push_back(edge->target);
    return reached;
}

GraphNode* CopyNeighbourhood(const GraphNode& centre, SiteGraph& into) {
    std::unordered_map<const GraphNode*, GraphNode*> copies;
    auto copy = [&](const GraphNode& original) {
        auto made = std::make_unique<GraphNode>(into.MaxNodeId() + 1, original.label, original.url,
                                                Rectangle(10, 10, 30, 30));
        made->info = original.info;
        made->kind = original.kind;
        made->level = 0;
        return copies[&original] = into.AddNode(std::move(made));
    };
    GraphNode* centreCopy = copy(centre);
    centreCopy->isRoot = true;
    centreCopy->level = centre.level >= 1 ? 1 : 0;
    for (const GraphEdge* edge : centre.edges) {
        const GraphNode* other = edge->source == &centre ? edge->target : edge->source;
        if (!copies.count(other)) copy(*other);
    }
    for (const GraphEdge* edge : centre.edges) {
        GraphEdge* added = into.AddEdge(std::make_unique<GraphEdge>(copies[edge->source], copies[edge->target]));
        if (added) {
            added->bothWays = added->bothWays || edge->bothWays;
            added->highlighted = edge->highlighted;
        }
    }
    return centreCopy;
}
