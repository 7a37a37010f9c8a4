#include "viewer/graph/GraphLayout.h"

#include "viewer/graph/LayoutGraphCsr.h"
#include "viewer/graph/SiteGraph.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <utility>

GraphLayout::GraphLayout(std::vector<GraphNode*> nodes)
    : nodes_(std::move(nodes)), x_(nodes_.size(), 0.0), y_(nodes_.size(), 0.0), mark_(nodes_.size(), 0),
      vertexOf_(nodes_.size(), 0) {
    std::unordered_map<const GraphNode*, int32_t> number;
    number.reserve(nodes_.size());
    for (size_t i = 0; i < nodes_.size(); ++i) number[nodes_[i]] = static_cast<int32_t>(i);

    // Collect each link from both of its ends, so the lists are symmetric
    // whatever state the nodes' edge lists are in.
    std::vector<std::vector<int32_t>> neighbours(nodes_.size());
    for (GraphNode* node : nodes_) {
        for (const GraphEdge* edge : node->edges) {
            if (edge->source == edge->target) continue;
            auto source = number.find(edge->source);
            auto target = number.find(edge->target);
            if (source == number.end() || target == number.end()) continue;
            neighbours[source->second].push_back(target->second);
            neighbours[target->second].push_back(source->second);
        }
    }
    linkStart_.reserve(nodes_.size() + 1);
    linkStart_.push_back(0);
    for (auto& list : neighbours) {
        std::sort(list.begin(), list.end());
        list.erase(std::unique(list.begin(), list.end()), list.end());
        links_.insert(links_.end(), list.begin(), list.end());
        linkStart_.push_back(static_cast<int32_t>(links_.size()));
    }
}

bool GraphLayout::Run(const std::function<void(bool)>& busyPointer) {
    BusyPointer busy(busyPointer);
    std::fill(x_.begin(), x_.end(), 0.0);
    std::fill(y_.begin(), y_.end(), 0.0);
    metisCalls_ = 0;
    metisFailed_ = false;
    Subset all(nodes_.size());
    for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int32_t>(i);
    Split(all, Axis::Vertical, 0, 0);
    PlaceBoxes();
    return !metisFailed_;
}

void GraphLayout::MarkSubset(const Subset& subset) {
    if (++markStamp_ == 0) {  // the stamp wrapped: old marks could match again
        std::fill(mark_.begin(), mark_.end(), 0);
        markStamp_ = 1;
    }
    for (int32_t node : subset) mark_[node] = markStamp_;
}

void GraphLayout::Split(const Subset& subset, Axis axis, int xLevel, int yLevel) {
    if (subset.size() < 2) return;
    MarkSubset(subset);
    Subset first, second;
    ChooseParts(subset, first, second);
    int& level = axis == Axis::Vertical ? yLevel : xLevel;
    Arrange(subset, first, second, axis, level);
    ++level;
    if (subset.size() == 2) return;
    Axis next = axis == Axis::Vertical ? Axis::Horizontal : Axis::Vertical;
    if (first.size() > 1) Split(first, next, xLevel, yLevel);
    if (second.size() > 1) Split(second, next, xLevel, yLevel);
}

namespace {

// First half of the list and the rest.
void SplitByPosition(const std::vector<int32_t>& subset, std::vector<int32_t>& first,
                     std::vector<int32_t>& second) {
    size_t half = subset.size() / 2;
    first.assign(subset.begin(), subset.begin() + static_cast<std::ptrdiff_t>(half));
    second.assign(subset.begin() + static_cast<std::ptrdiff_t>(half), subset.end());
}

}  // namespace

// The subset must be marked.
void GraphLayout::ChooseParts(const Subset& subset, Subset& first, Subset& second) {
    if (subset.size() == 2) {
        first = {subset[0]};
        second = {subset[1]};
        return;
    }
    Subset isolated, linked;
    for (int32_t node : subset) {
        bool hasLink = std::any_of(links_.begin() + linkStart_[node], links_.begin() + linkStart_[node + 1],
                                   [&](int32_t other) { return InSubset(other); });
        (hasLink ? linked : isolated).push_back(node);
    }
    if (linked.empty()) {
        SplitByPosition(subset, first, second);
    } else if (isolated.empty()) {
        if (!PartitionWithMetis(subset, first, second)) SplitByPosition(subset, first, second);
    } else {
        first = std::move(isolated);
        second = std::move(linked);
    }
}

// The subset must be marked. False when METIS gives no usable cut.
bool GraphLayout::PartitionWithMetis(const Subset& subset, Subset& first, Subset& second) {
    for (size_t v = 0; v < subset.size(); ++v) vertexOf_[subset[v]] = static_cast<int32_t>(v);

    LayoutGraphCsr csr;
    csr.nodeOfVertex.reserve(subset.size());
    for (int32_t node : subset) {
        csr.AddVertex(node);
        // The link lists are ascending by node number and so is the subset,
        // so every vertex's neighbours come out ascending too.
        for (int32_t e = linkStart_[node]; e < linkStart_[node + 1]; ++e)
            if (InSubset(links_[e])) csr.AddNeighbour(vertexOf_[links_[e]]);
    }

    ++metisCalls_;
    GraphPartition partition;
    if (!PartitionInTwo(csr, partition)) {
        metisFailed_ = true;
        return false;
    }
    // A cut with an empty side would split the same subset for ever.
    if (partition.nodes[0].empty() || partition.nodes[1].empty()) return false;
    first = std::move(partition.nodes[0]);
    second = std::move(partition.nodes[1]);
    return true;
}

// Length of the links that leave the subset: the only ones whose length
// depends on which half lies on which side (links inside the subset keep
// their length when the halves swap). The subset must be marked.
double GraphLayout::OutwardLinkLength(const Subset& subset) const {
    double length = 0.0;
    for (int32_t node : subset) {
        for (int32_t e = linkStart_[node]; e < linkStart_[node + 1]; ++e) {
            int32_t other = links_[e];
            if (InSubset(other)) continue;
            double dx = x_[node] - x_[other];
            double dy = y_[node] - y_[other];
            length += std::sqrt(dx * dx + dy * dy);
        }
    }
    return length;
}

// Puts the halves on either side of the subset's common coordinate on the
// axis, in the order with the shorter links; a tie keeps the second half first.
void GraphLayout::Arrange(const Subset& subset, const Subset& first, const Subset& second, Axis axis,
                          int level) {
    std::vector<double>& coordinate = axis == Axis::Vertical ? y_ : x_;
    double centre = coordinate[subset.front()];
    double offset = std::ldexp(1.0, -(level + 1)) * 0.5;
    auto place = [&](double firstAt, double secondAt) {
        for (int32_t node : first) coordinate[node] = firstAt;
        for (int32_t node : second) coordinate[node] = secondAt;
    };
    place(centre - offset, centre + offset);
    double costA = OutwardLinkLength(subset);
    place(centre + offset, centre - offset);
    double costB = OutwardLinkLength(subset);
    if (costB > costA) place(centre - offset, centre + offset);
}

void GraphLayout::PlaceBoxes() {
    int64_t maxW = 0;
    int64_t maxH = 0;
    for (const GraphNode* node : nodes_) {
        maxW = std::max<int64_t>(maxW, node->Box().Width());
        maxH = std::max<int64_t>(maxH, node->Box().Height());
    }
    auto k = static_cast<int64_t>(std::ceil(std::sqrt(static_cast<double>(nodes_.size()))));
    auto scaleX = static_cast<double>(2 * k * maxW);
    auto scaleY = static_cast<double>(4 * k * maxH);
    for (size_t i = 0; i < nodes_.size(); ++i) {
        GraphNode* node = nodes_[i];
        node->layoutX = x_[i] * scaleX + scaleX * 0.5;
        node->layoutY = y_[i] * scaleY + scaleY * 0.5;
        node->CentreAt(TruncateCoord(node->layoutX), TruncateCoord(node->layoutY));
    }
}

bool LayoutSiteGraph(SiteGraph& graph) {
    std::vector<GraphNode*> nodes;
    nodes.reserve(graph.Nodes().size());
    for (const auto& node : graph.Nodes()) nodes.push_back(node.get());
    return GraphLayout(std::move(nodes)).Run(graph.busyPointer);
}
