#include "viewer/graph/Geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(Rectangle, WidthAndHeightCountBothEdges) {
    Rectangle box(10, 20, 79, 49);
    EXPECT_EQ(box.Width(), 70);
    EXPECT_EQ(box.Height(), 30);
    EXPECT_FALSE(box.IsEmpty());
    Rectangle single(5, 5, 5, 5);
    EXPECT_EQ(single.GetSize(), (Size{1, 1}));
}

TEST(Rectangle, PositionAndSizeGiveInclusiveFarEdges) {
    Rectangle box(Point{10, 20}, Size{70, 30});
    EXPECT_EQ(box.right, 79);
    EXPECT_EQ(box.bottom, 49);
}

TEST(Rectangle, ZeroWidthOrHeightLeavesThatEdgeEmpty) {
    Rectangle box(Point{10, 20}, Size{0, 30});
    EXPECT_EQ(box.right, kRectEmpty);
    EXPECT_TRUE(box.IsWidthEmpty());
    EXPECT_FALSE(box.IsHeightEmpty());
    EXPECT_EQ(box.Width(), 0);
    EXPECT_EQ(box.Height(), 30);
}

TEST(Rectangle, SetPosKeepsSizeAndEmptiness) {
    Rectangle box(Point{10, 20}, Size{70, 0});
    box.SetPos({-100, 300});
    EXPECT_EQ(box.TopLeft(), (Point{-100, 300}));
    EXPECT_EQ(box.Width(), 70);
    EXPECT_EQ(box.right, -31);
    EXPECT_TRUE(box.IsHeightEmpty());
}

TEST(Rectangle, CenterIsIntegerMeanOfEdgesTruncatedTowardZero) {
    EXPECT_EQ(Rectangle(0, 0, 69, 29).Center(), (Point{34, 14}));
    EXPECT_EQ(Rectangle(0, 0, 70, 30).Center(), (Point{35, 15}));
    EXPECT_EQ(Rectangle(-10, -10, -3, -3).Center(), (Point{-6, -6}));  // -13 / 2
}

TEST(Rectangle, CenterOfEmptyDimensionIsItsNearEdge) {
    Rectangle box(Point{40, 50}, Size{0, 0});
    EXPECT_EQ(box.Center(), (Point{40, 50}));
}

TEST(Coordinates, TruncateTowardZeroAndHoldWithinBounds) {
    EXPECT_EQ(TruncateCoord(3.9), 3);
    EXPECT_EQ(TruncateCoord(-3.9), -3);
    EXPECT_EQ(TruncateCoord(std::nan("")), 0);
    EXPECT_EQ(TruncateCoord(1e300), kCoordLimit);
    EXPECT_EQ(TruncateCoord(-std::numeric_limits<double>::infinity()), -kCoordLimit);
    EXPECT_EQ(ClampCoord(int64_t{1} << 40), kCoordLimit);
    EXPECT_EQ(ClampCoord(-(int64_t{1} << 40)), -kCoordLimit);
    EXPECT_EQ(ClampCoord(-12), -12);
}
