// One-shot placement by recursive bisection. The node set is split in two
// again and again (by METIS where every node of a subset has a link inside
// it), the halves put side by side along alternating axes, each time in the
// order that keeps the links shorter. Coordinates stay inside (-0.5, 0.5)
// until they are scaled to the canvas by ceil(sqrt(n)) and the largest box.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

class GraphNode;
class SiteGraph;

class GraphLayout {
public:
    // Lays out these nodes, in this order; links count where both ends are among them.
    explicit GraphLayout(std::vector<GraphNode*> nodes);

    // Places every node's box (its centre follows). False when METIS refused
    // a subset; that subset was then split by list position instead.
    bool Run(const std::function<void(bool)>& busyPointer = {});

    int MetisCalls() const { return metisCalls_; }

private:
    enum class Axis { Vertical, Horizontal };
    using Subset = std::vector<int32_t>;  // node numbers in list order

    void Split(const Subset& subset, Axis axis, int xLevel, int yLevel);
    void ChooseParts(const Subset& subset, Subset& first, Subset& second);
    bool PartitionWithMetis(const Subset& subset, Subset& first, Subset& second);
    void Arrange(const Subset& subset, const Subset& first, const Subset& second, Axis axis, int level);
    double OutwardLinkLength(const Subset& subset) const;
    void MarkSubset(const Subset& subset);
    bool InSubset(int32_t node) const { return mark_[node] == markStamp_; }
    void PlaceBoxes();

    std::vector<GraphNode*> nodes_;
    // Links between listed nodes, each in the list of both ends, no repeats.
    std::vector<int32_t> linkStart_;
    std::vector<int32_t> links_;
    std::vector<double> x_;
    std::vector<double> y_;
    std::vector<uint32_t> mark_;
    uint32_t markStamp_ = 0;
    std::vector<int32_t> vertexOf_;  // METIS vertex number of each node of the subset at hand
    int metisCalls_ = 0;
    bool metisFailed_ = false;
};

// The layout command: every node of the graph, under its busy pointer.
bool LayoutSiteGraph(SiteGraph& graph);
