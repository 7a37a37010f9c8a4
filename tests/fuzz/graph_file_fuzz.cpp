// Feeds arbitrary bytes to the graph file reader, line by line, then checks
// what a window would do next: fit sizes, write the graph back, lay it out
// and run the relaxation. Writing what was read and reading it again must
// give the same text whenever the file's ids were unique.
#include "viewer/graph/GraphFile.h"
#include "viewer/graph/GraphLayout.h"
#include "viewer/graph/NodeSizes.h"
#include "viewer/graph/Relaxation.h"
#include "viewer/graph/SiteGraph.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>
#include <unordered_set>

namespace {

// Layout and relaxation cost more than reading; keep them to small graphs.
constexpr size_t kMaxNodesToLayOut = 200;

void ReadLines(SiteGraph& graph, std::string_view text, RandomGenerator& random) {
    GraphFileReader reader(graph, random);
    while (!text.empty()) {
        size_t end = text.find('\n');
        reader.ReadLine(text.substr(0, end));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
}

std::string Written(SiteGraph& graph) {
    std::ostringstream out;
    WriteGraphText(graph, out);
    return out.str();
}

bool IdsAreUnique(const SiteGraph& graph) {
    std::unordered_set<int32_t> ids;
    for (const auto& node : graph.Nodes())
        if (!ids.insert(node->id).second) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    RandomGenerator random(1);
    SiteGraph graph;
    ReadLines(graph, text, random);
    FitNodeSizes(graph, HeadlessNodeMeasure());

    std::string first = Written(graph);
    if (IdsAreUnique(graph)) {
        SiteGraph again;
        ReadLines(again, first, random);
        FitNodeSizes(again, HeadlessNodeMeasure());
        if (Written(again) != first) std::abort();
    }

    if (graph.Nodes().size() <= kMaxNodesToLayOut) {
        LayoutSiteGraph(graph);
        for (int step = 0; step < 3; ++step) RelaxationStep(graph, random);
        for (const auto& node : graph.Nodes())
            if (!std::isfinite(node->centreX) || !std::isfinite(node->centreY)) std::abort();
    }
    return 0;
}
