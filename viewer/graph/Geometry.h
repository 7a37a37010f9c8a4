// Canvas geometry in pixels, with the toolkit's rectangle rules: a rectangle
// keeps its four edges, and a right or bottom edge holding kRectEmpty means
// width or height 0 (a node's box exists before its size is known).
// Otherwise width = right - left + 1 and height = bottom - top + 1.
#pragma once

#include <cstdint>

constexpr int32_t kRectEmpty = -32767;

// Coordinates that come from files or from the layout's scaling are held
// within +-kCoordLimit, so sums of a few of them never overflow.
constexpr int32_t kCoordLimit = 1 << 28;

// Clamps to +-kCoordLimit.
int32_t ClampCoord(int64_t value);
// Truncates toward zero and clamps; NaN gives 0.
int32_t TruncateCoord(double value);

struct Point {
    int32_t x = 0;
    int32_t y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    int32_t width = 0;
    int32_t height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rectangle {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = kRectEmpty;
    int32_t bottom = kRectEmpty;

    Rectangle() = default;  // at (0, 0), empty
    Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom)
        : left(left), top(top), right(right), bottom(bottom) {}
    // A width or height of 0 leaves that edge empty.
    Rectangle(Point topLeft, Size size);

    bool IsWidthEmpty() const { return right == kRectEmpty; }
    bool IsHeightEmpty() const { return bottom == kRectEmpty; }
    bool IsEmpty() const { return IsWidthEmpty() || IsHeightEmpty(); }

    int32_t Width() const;
    int32_t Height() const;
    Size GetSize() const { return {Width(), Height()}; }
    Point TopLeft() const { return {left, top}; }
    // ((left + right) / 2, (top + bottom) / 2) in integer arithmetic; an
    // empty dimension has its centre at its left or top edge.
    Point Center() const;

    // Moves the top-left corner, keeping the size.
    void SetPos(Point topLeft);
    // Keeps the top-left corner.
    void SetSize(Size size);

    friend bool operator==(const Rectangle&, const Rectangle&) = default;
};
