#include "viewer/graph/GraphNode.h"

#include <utility>

GraphNode::GraphNode(int32_t id, std::string label, std::string url, const Rectangle& box)
    : id(id), label(std::move(label)), url(std::move(url)) {
    SetBox(box);
}

void GraphNode::SetBox(const Rectangle& box) {
    box_ = box;
    CentreFollowsBox();
}

void GraphNode::MoveTo(Point topLeft) {
    box_.SetPos(topLeft);
    CentreFollowsBox();
}

void GraphNode::SetSize(Size size) {
    box_.SetSize(size);
    CentreFollowsBox();
}

void GraphNode::CentreAt(int32_t x, int32_t y) {
    MoveTo({ClampCoord(int64_t{x} - box_.Width() / 2), ClampCoord(int64_t{y} - box_.Height() / 2)});
}

void GraphNode::FollowCentre() {
    int32_t x = TruncateCoord(centreX);
    int32_t y = TruncateCoord(centreY);
    box_.SetPos({ClampCoord(int64_t{x} - box_.Width() / 2), ClampCoord(int64_t{y} - box_.Height() / 2)});
}

void GraphNode::CentreFollowsBox() {
    Point centre = box_.Center();
    centreX = centre.x;
    centreY = centre.y;
}
