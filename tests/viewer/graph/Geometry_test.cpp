#include "viewer/graph/Geometry.h"
#include "viewer/graph/NodeSizes.h"
#include "viewer/graph/SiteGraph.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(Rectangle, EdgesSizesAndCentresFollowTheToolkitsRules) {
    struct Case {
        const char* name;
        Rectangle box;
        int32_t right, bottom, width, height;
        Point centre;
    };
    const Case cases[] = {
        {"from position and size", Rectangle({10, 20}, {70, 30}), 79, 49, 70, 30, {44, 34}},
        {"a single pixel", Rectangle(5, 5, 5, 5), 5, 5, 1, 1, {5, 5}},
        {"an even span", Rectangle(0, 0, 70, 30), 70, 30, 71, 31, {35, 15}},
        {"negative, truncated toward zero", Rectangle(-10, -10, -3, -3), -3, -3, 8, 8, {-6, -6}},
        {"no width", Rectangle({10, 20}, {0, 30}), kRectEmpty, 49, 0, 30, {10, 34}},
        {"empty", Rectangle({40, 50}, {0, 0}), kRectEmpty, kRectEmpty, 0, 0, {40, 50}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.box.right, c.right);
        EXPECT_EQ(c.box.bottom, c.bottom);
        EXPECT_EQ(c.box.GetSize(), (Size{c.width, c.height}));
        EXPECT_EQ(c.box.Center(), c.centre);
        EXPECT_EQ(c.box.IsEmpty(), c.width == 0 || c.height == 0);
        Rectangle moved = c.box;
        moved.SetPos({-100, 300});
        EXPECT_EQ(moved.TopLeft(), (Point{-100, 300}));
        EXPECT_EQ(moved.GetSize(), c.box.GetSize());
    }
}

TEST(Rectangle, CoordinatesAreTruncatedTowardZeroAndHeldWithinTheLimit) {
    const std::pair<double, int32_t> truncated[] = {
        {3.9, 3}, {-3.9, -3}, {std::nan(""), 0}, {1e300, kCoordLimit},
        {-std::numeric_limits<double>::infinity(), -kCoordLimit},
    };
    for (auto [value, expected] : truncated) EXPECT_EQ(TruncateCoord(value), expected) << value;
    EXPECT_EQ(ClampCoord(int64_t{1} << 40), kCoordLimit);
    EXPECT_EQ(ClampCoord(-(int64_t{1} << 40)), -kCoordLimit);
    EXPECT_EQ(ClampCoord(-12), -12);
}

TEST(GraphNode, TheCentreFollowsTheBox) {
    GraphNode node(1, "a", "u", Rectangle({10, 20}, {71, 31}));
    EXPECT_EQ(node.centreX, 45.0);
    EXPECT_EQ(node.centreY, 35.0);
    node.MoveTo({100, 200});
    EXPECT_EQ(node.centreX, 135.0);
    node.CentreAt(500, 600);
    EXPECT_EQ(node.Box().TopLeft(), (Point{465, 585}));
    EXPECT_EQ(node.centreY, 600.0);
    node.centreX = 700.9;
    node.FollowCentre();
    EXPECT_EQ(node.Box().left, 665);
    EXPECT_EQ(node.centreX, 700.9);  // the fraction is kept for the relaxation
}

TEST(FitNodeSizes, BoxesFitIconAndLabelAndKeepTheirCorner) {
    struct Case {
        const char* label;
        int32_t charWidth;
        Size icon;
        Size expected;
    };
    const Case cases[] = {
        {"abcdefghij", 7, {20, 16}, {24 + 70, 18}},
        {"ab", 7, {20, 16}, {24 + 35, 18}},  // as wide as the sample "hallo"
        {"", 7, {20, 16}, {24 + 35, 18}},
        {"hallo", 1, {13, 0}, {15 + 5, 2}},  // 13 x 1.2 = 15.6, truncated
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        SiteGraph graph;
        GraphNode* node = graph.AddNode(std::make_unique<GraphNode>(1, c.label, "u", Rectangle({-40, 77}, {70, 30})));
        FitNodeSizes(graph, NodeMeasure::Fixed(c.charWidth, c.icon));
        EXPECT_EQ(node->Box().GetSize(), c.expected);
        EXPECT_EQ(node->Box().TopLeft(), (Point{-40, 77}));
        EXPECT_EQ(node->centreX, node->Box().Center().x);
    }
    // The caller's measure decides the width.
    SiteGraph graph;
    GraphNode* node = graph.AddNode(std::make_unique<GraphNode>(1, "wide", "u", Rectangle({0, 0}, {70, 30})));
    FitNodeSizes(graph, NodeMeasure{[](const std::string& text) { return text == "wide" ? 100 : 1; }, {10, 10}});
    EXPECT_EQ(node->Box().Width(), 12 + 100);
    FitNodeSizes(graph, HeadlessNodeMeasure());
    EXPECT_EQ(node->Box().GetSize(), (Size{33 + 30, 30}));
}
