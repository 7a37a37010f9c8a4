// The graph of one graph window: documents as nodes, hyperlinks as directed
// edges, both in insertion order (the file order and the layout's vertex
// order). The graph owns its nodes and edges.
#pragma once

#include "viewer/graph/GraphNode.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

// Key of the edge index: an edge in its own direction. Keyed by the nodes
// themselves rather than by packed ids, so ids above 16 bits and nodes that
// share an id (a file loaded into an open graph) never merge unrelated links.
struct EdgeKey {
    const GraphNode* source;
    const GraphNode* target;
    friend bool operator==(const EdgeKey&, const EdgeKey&) = default;
};

struct EdgeKeyHash {
    size_t operator()(const EdgeKey& key) const;
};

// Label of a URL's node, from the URL's path: its last name without the
// extension, cut to 11 characters and "..." when longer than 12.
std::string UrlNodeLabel(const std::string& path);

class SiteGraph {
public:
    SiteGraph() = default;
    SiteGraph(const SiteGraph&) = delete;
    SiteGraph& operator=(const SiteGraph&) = delete;

    // Appends the node; maxNodeId follows the largest id. Null is ignored.
    GraphNode* AddNode(std::unique_ptr<GraphNode> node);
    // Appends the edge unless the same link exists (the new edge is dropped)
    // or the reverse one does (that one gets bothWays, the new one is
    // dropped). Returns the edge that stands for the link; null for null.
    GraphEdge* AddEdge(std::unique_ptr<GraphEdge> edge);
    // Destroys the node and every edge that touches it.
    void RemoveNode(GraphNode* node);
    // Destroys every node and edge.
    void Clear();

    // First node in list order with that id.
    GraphNode* FindNode(int32_t id) const;
    GraphEdge* FindEdge(const GraphNode* source, const GraphNode* target) const;

    // A node for a URL met by the crawler: label from the path, size 70 x 30
    // at (0, 0), the next id of the crawler's counter (which each job starts
    // at maxNodeId). The start URL of a job (no referrer) becomes the root.
    GraphNode* CreateUrlNode(const std::string& url, const std::string& path, bool hasReferrer,
                             int32_t& idCounter);
    // Offers a link between two different nodes.
    GraphEdge* LinkUrlNodes(GraphNode* source, GraphNode* target);

    const std::vector<std::unique_ptr<GraphNode>>& Nodes() const { return nodes_; }
    const std::vector<std::unique_ptr<GraphEdge>>& Edges() const { return edges_; }
    int32_t MaxNodeId() const { return maxNodeId_; }
    GraphNode* RootNode() const { return rootNode_; }
    // Makes node (one of the graph's, or null) the start node drawn as such.
    void SetRootNode(GraphNode* node);

    // Window-side hooks; the model works without them.
    // Enters an added node's URL in the window's list panel.
    std::function<void(const GraphNode&)> listWindow;
    // Shows (true) and hides (false) the busy pointer around long operations.
    std::function<void(bool)> busyPointer;

private:
    void UnlinkEdge(GraphEdge* edge);

    std::vector<std::unique_ptr<GraphNode>> nodes_;
    std::vector<std::unique_ptr<GraphEdge>> edges_;
    std::unordered_map<EdgeKey, GraphEdge*, EdgeKeyHash> edgeIndex_;
    int32_t maxNodeId_ = 0;
    GraphNode* rootNode_ = nullptr;
};

// Shows the busy pointer of a graph's window for as long as it lives.
class BusyPointer {
public:
    explicit BusyPointer(const std::function<void(bool)>& hook);
    ~BusyPointer();
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;

private:
    const std::function<void(bool)>& hook_;
};
