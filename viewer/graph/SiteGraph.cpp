#include "viewer/graph/SiteGraph.h"

#include <algorithm>
#include <climits>
#include <unordered_set>
#include <utility>

namespace {

constexpr size_t kLabelKeep = 12;   // labels up to this length stay whole
constexpr size_t kLabelCut = 11;    // longer ones keep this many characters
constexpr char kLabelEllipsis[] = "...";

// The last name of a path: the text after the last "/", or for a path that
// ends in "/" the directory name before it ("/" for "/" and for "...//").
std::string LastName(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return "";
    if (slash + 1 < path.size()) return path.substr(slash + 1);
    if (path == "/") return "/";
    if (slash == 0) return "";
    size_t before = path.rfind('/', slash - 1);
    if (before == std::string::npos) return "";
    if (before + 1 == slash) return "/";
    return path.substr(before + 1, slash - before - 1);
}

// The extension: from the last "." to the end, when no "/" or "?" follows it.
size_t ExtensionLength(const std::string& path) {
    size_t mark = path.find_last_of("./?");
    if (mark == std::string::npos || path[mark] != '.') return 0;
    return path.size() - mark;
}

}  // namespace

size_t EdgeKeyHash::operator()(const EdgeKey& key) const {
    std::hash<const GraphNode*> hash;
    size_t seed = hash(key.source);
    return seed ^ (hash(key.target) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
}

std::string UrlNodeLabel(const std::string& path) {
    std::string label = LastName(path);
    size_t extension = ExtensionLength(path);
    if (extension > 0 && extension < label.size()) label.resize(label.size() - extension);
    if (label.size() > kLabelKeep) {
        label.resize(kLabelCut);
        label += kLabelEllipsis;
    }
    return label;
}

GraphNode* SiteGraph::AddNode(std::unique_ptr<GraphNode> node) {
    if (!node) return nullptr;
    GraphNode* added = node.get();
    nodes_.push_back(std::move(node));
    if (added->id >= maxNodeId_) maxNodeId_ = added->id;
    if (listWindow) listWindow(*added);
    return added;
}

GraphEdge* SiteGraph::AddEdge(std::unique_ptr<GraphEdge> edge) {
    if (!edge || !edge->source || !edge->target) return nullptr;
    if (GraphEdge* same = FindEdge(edge->source, edge->target)) return same;
    if (GraphEdge* reverse = FindEdge(edge->target, edge->source)) {
        reverse->bothWays = true;
        return reverse;
    }
    GraphEdge* added = edge.get();
    edges_.push_back(std::move(edge));
    added->source->edges.push_back(added);
    if (added->target != added->source) added->target->edges.push_back(added);
    edgeIndex_.emplace(EdgeKey{added->source, added->target}, added);
    return added;
}

void SiteGraph::UnlinkEdge(GraphEdge* edge) {
    edgeIndex_.erase(EdgeKey{edge->source, edge->target});
    std::erase(edge->source->edges, edge);
    std::erase(edge->target->edges, edge);
}

void SiteGraph::RemoveNode(GraphNode* node) {
    if (!node) return;
    std::unordered_set<GraphEdge*> doomed(node->edges.begin(), node->edges.end());
    for (GraphEdge* edge : doomed) UnlinkEdge(edge);
    std::erase_if(edges_, [&](const std::unique_ptr<GraphEdge>& edge) { return doomed.count(edge.get()) > 0; });
    if (rootNode_ == node) rootNode_ = nullptr;
    std::erase_if(nodes_, [&](const std::unique_ptr<GraphNode>& held) { return held.get() == node; });
}

void SiteGraph::Clear() {
    edgeIndex_.clear();
    edges_.clear();
    rootNode_ = nullptr;
    nodes_.clear();
}

void SiteGraph::SetRootNode(GraphNode* node) {
    if (rootNode_) rootNode_->isRoot = false;
    rootNode_ = node;
    if (node) node->isRoot = true;
}

GraphNode* SiteGraph::FindNode(int32_t id) const {
    for (const auto& node : nodes_)
        if (node->id == id) return node.get();
    return nullptr;
}

GraphEdge* SiteGraph::FindEdge(const GraphNode* source, const GraphNode* target) const {
    auto found = edgeIndex_.find(EdgeKey{source, target});
    return found == edgeIndex_.end() ? nullptr : found->second;
}

GraphNode* SiteGraph::CreateUrlNode(const std::string& url, const std::string& path, bool hasReferrer,
                                    int32_t& idCounter) {
    // A counter at the top of the range hands out its last id again rather than overflow.
    if (idCounter < INT32_MAX) ++idCounter;
    auto node = std::make_unique<GraphNode>(idCounter, UrlNodeLabel(path), url,
                                            Rectangle({0, 0}, {kDefaultNodeWidth, kDefaultNodeHeight}));
    if (!hasReferrer) {
        node->isRoot = true;
        rootNode_ = node.get();
    }
    return AddNode(std::move(node));
}

GraphEdge* SiteGraph::LinkUrlNodes(GraphNode* source, GraphNode* target) {
    if (!source || !target || source == target) return nullptr;
    return AddEdge(std::make_unique<GraphEdge>(source, target));
}

BusyPointer::BusyPointer(const std::function<void(bool)>& hook) : hook_(hook) {
    if (hook_) hook_(true);
}

BusyPointer::~BusyPointer() {
    if (hook_) hook_(false);
}
