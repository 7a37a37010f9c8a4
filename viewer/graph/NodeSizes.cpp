#include "viewer/graph/NodeSizes.h"

#include "viewer/graph/SiteGraph.h"

#include <algorithm>

namespace {

constexpr int32_t kHeadlessCharWidth = 6;
constexpr Size kHeadlessIcon{28, 28};
constexpr double kIconSpacing = 1.2;  // the icon's width plus a margin of a fifth
constexpr int32_t kIconFrame = 2;

}  // namespace

NodeMeasure NodeMeasure::Fixed(int32_t charWidth, Size icon) {
    return NodeMeasure{
        [charWidth](const std::string& text) {
            return ClampCoord(static_cast<int64_t>(text.size()) * charWidth);
        },
        icon};
}

NodeMeasure HeadlessNodeMeasure() { return NodeMeasure::Fixed(kHeadlessCharWidth, kHeadlessIcon); }

void FitNodeSizes(SiteGraph& graph, const NodeMeasure& measure) {
    auto textWidth = [&](const std::string& text) { return measure.textWidth ? measure.textWidth(text) : 0; };
    int32_t sampleWidth = textWidth(kNodeSampleText);
    int32_t height = ClampCoord(int64_t{measure.icon.height} + kIconFrame);
    for (const auto& node : graph.Nodes()) {
        int32_t text = std::max(textWidth(node->label), sampleWidth);
        int32_t width = TruncateCoord(measure.icon.width * kIconSpacing + text);
        node->SetSize({width, height});
    }
}
