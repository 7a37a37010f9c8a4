// Fitting node boxes to their labels. The text measuring and the icon size
// come from the caller: the window passes its canvas font and the icon of
// kind Other; tests and headless callers pass a fixed measure.
#pragma once

#include "viewer/graph/Geometry.h"

#include <cstdint>
#include <functional>
#include <string>

class SiteGraph;

// Every box is at least as wide as this sample text.
constexpr char kNodeSampleText[] = "hallo";

struct NodeMeasure {
    std::function<int32_t(const std::string&)> textWidth;  // pixels
    Size icon;

    // Every byte `charWidth` pixels wide.
    static NodeMeasure Fixed(int32_t charWidth, Size icon);
};

// The measure of callers without a window: 6 pixels a character, a 28 x 28
// icon (so nodes stay 30 pixels high).
NodeMeasure HeadlessNodeMeasure();

// width = truncate(icon width x 1.2 + the wider of label and sample text),
// height = icon height + 2; every box keeps its top-left corner.
void FitNodeSizes(SiteGraph& graph, const NodeMeasure& measure);
