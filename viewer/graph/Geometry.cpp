#include "viewer/graph/Geometry.h"

#include <climits>
#include <cmath>

int32_t ClampCoord(int64_t value) {
    if (value > kCoordLimit) return kCoordLimit;
    if (value < -kCoordLimit) return -kCoordLimit;
    return static_cast<int32_t>(value);
}

int32_t TruncateCoord(double value) {
    if (std::isnan(value)) return 0;
    if (value >= kCoordLimit) return kCoordLimit;
    if (value <= -kCoordLimit) return -kCoordLimit;
    return static_cast<int32_t>(value);  // truncates toward zero
}

// Edges and extents may reach past kCoordLimit (a box at the limit still has
// its size); they only need to stay within 32 bits.
static int32_t ClampToInt32(int64_t value) {
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

// Far edge of a span that starts at `from` and is `length` pixels long.
static int32_t FarEdge(int32_t from, int32_t length) {
    if (length == 0) return kRectEmpty;
    return ClampToInt32(int64_t{from} + length - 1);
}

static int32_t Extent(int32_t from, int32_t to) {
    if (to == kRectEmpty) return 0;
    return ClampToInt32(int64_t{to} - from + 1);
}

static int32_t Middle(int32_t from, int32_t to) {
    if (to == kRectEmpty) return from;
    return static_cast<int32_t>((int64_t{from} + to) / 2);
}

Rectangle::Rectangle(Point topLeft, Size size)
    : left(topLeft.x), top(topLeft.y),
      right(FarEdge(topLeft.x, size.width)), bottom(FarEdge(topLeft.y, size.height)) {}

int32_t Rectangle::Width() const { return Extent(left, right); }

int32_t Rectangle::Height() const { return Extent(top, bottom); }

Point Rectangle::Center() const { return {Middle(left, right), Middle(top, bottom)}; }

void Rectangle::SetPos(Point topLeft) {
    Size size = GetSize();
    left = topLeft.x;
    top = topLeft.y;
    SetSize(size);
}

void Rectangle::SetSize(Size size) {
    right = FarEdge(left, size.width);
    bottom = FarEdge(top, size.height);
}
