#include "viewer/graph/NodeSizes.h"

#include "viewer/graph/SiteGraph.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

GraphNode* AddNode(SiteGraph& graph, const std::string& label, Point at) {
    return graph.AddNode(std::make_unique<GraphNode>(1, label, "u", Rectangle(at, {70, 30})));
}

}  // namespace

TEST(FitNodeSizes, WidthIsIconPlusLabelAndHeightIsIconPlusTwo) {
    SiteGraph graph;
    GraphNode* node = AddNode(graph, "abcdefghij", {0, 0});
    FitNodeSizes(graph, NodeMeasure::Fixed(7, {20, 16}));
    EXPECT_EQ(node->Box().Width(), 24 + 70);
    EXPECT_EQ(node->Box().Height(), 18);
}

TEST(FitNodeSizes, ShortLabelsAreAsWideAsTheSampleText) {
    SiteGraph graph;
    GraphNode* shortLabel = AddNode(graph, "ab", {0, 0});
    GraphNode* emptyLabel = AddNode(graph, "", {0, 0});
    FitNodeSizes(graph, NodeMeasure::Fixed(7, {20, 16}));
    EXPECT_EQ(shortLabel->Box().Width(), 24 + 7 * 5);
    EXPECT_EQ(emptyLabel->Box().Width(), 24 + 7 * 5);
}

TEST(FitNodeSizes, WidthIsTruncated) {
    SiteGraph graph;
    GraphNode* node = AddNode(graph, "hallo", {0, 0});
    FitNodeSizes(graph, NodeMeasure::Fixed(1, {13, 0}));  // 13 x 1.2 = 15.6
    EXPECT_EQ(node->Box().Width(), 15 + 5);
    EXPECT_EQ(node->Box().Height(), 2);
}

TEST(FitNodeSizes, TextIsMeasuredByTheCallersFunction) {
    SiteGraph graph;
    GraphNode* node = AddNode(graph, "wide", {0, 0});
    std::vector<std::string> measured;
    NodeMeasure measure{[&](const std::string& text) {
                            measured.push_back(text);
                            return text == "wide" ? 100 : 1;
                        },
                        {10, 10}};
    FitNodeSizes(graph, measure);
    EXPECT_EQ(node->Box().Width(), 12 + 100);
    EXPECT_NE(std::find(measured.begin(), measured.end(), kNodeSampleText), measured.end());
}

TEST(FitNodeSizes, BoxKeepsItsTopLeftCornerAndCentreFollows) {
    SiteGraph graph;
    GraphNode* node = AddNode(graph, "abc", {-40, 77});
    FitNodeSizes(graph, NodeMeasure::Fixed(10, {20, 19}));
    EXPECT_EQ(node->Box().TopLeft(), (Point{-40, 77}));
    EXPECT_EQ(node->centreX, node->Box().Center().x);
    EXPECT_EQ(node->centreY, node->Box().Center().y);
}
