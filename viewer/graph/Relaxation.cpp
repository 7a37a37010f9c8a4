#include "viewer/graph/Relaxation.h"

#include "viewer/graph/SiteGraph.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr double kSpringStiffness = 3.0;        // a spring closes a third of its error per step
constexpr double kRepulsionRange2 = 10000.0;   // squared distance below which nodes repel
constexpr double kRepulsionStep = 2.0;         // length of the summed push
constexpr double kMaxStep = 5.0;               // pixels per axis and step
constexpr double kCanvasLow = 0.0;
constexpr double kCanvasHigh = 5000.0;

// Pull or push both ends of every link towards its preferred length.
void AddSpringForces(const SiteGraph& graph) {
    for (const auto& edge : graph.Edges()) {
        GraphNode& from = *edge->source;
        GraphNode& to = *edge->target;
        double vx = to.centreX - from.centreX;
        double vy = to.centreY - from.centreY;
        double len = std::sqrt(vx * vx + vy * vy);
        // Ends on the same spot have no direction to pull in; the repulsion
        // separates them, and the spring acts again from the next step.
        if (!(len > 0.0)) continue;
        double f = (edge->preferredLength - len) / (len * kSpringStiffness);
        to.dx += f * vx;
        to.dy += f * vy;
        from.dx -= f * vx;
        from.dy -= f * vy;
    }
}

// Sum up the pushes from all nodes nearby; nodes on the very same spot get a
// small random push. Each node then moves a fixed distance away from the crowd.
void AddRepulsionForces(const SiteGraph& graph, RandomGenerator& random) {
    const auto& nodes = graph.Nodes();
    size_t n = nodes.size();
    std::vector<double> cx(n), cy(n);
    for (size_t i = 0; i < n; ++i) {
        cx[i] = nodes[i]->centreX;
        cy[i] = nodes[i]->centreY;
    }
    for (size_t a = 0; a < n; ++a) {
        double sx = 0.0, sy = 0.0;
        for (size_t b = 0; b < n; ++b) {
            if (b == a) continue;
            double vx = cx[a] - cx[b];
            double vy = cy[a] - cy[b];
            double len2 = vx * vx + vy * vy;
            if (len2 == 0.0) {
                sx += static_cast<double>(random.Next()) / RandomGenerator::kMax;
                sy += static_cast<double>(random.Next()) / RandomGenerator::kMax;
            } else if (len2 < kRepulsionRange2) {
                sx += vx / len2;
                sy += vy / len2;
            }
        }
        double dlen = sx * sx + sy * sy;
        if (dlen > 0.0) {
            dlen = std::sqrt(dlen) / kRepulsionStep;
            nodes[a]->dx += sx / dlen;
            nodes[a]->dy += sy / dlen;
        }
    }
}

double Clamp(double value, double low, double high) {
    if (!std::isfinite(value)) return value > 0 ? high : (value < 0 ? low : 0.0);
    return std::clamp(value, low, high);
}

void MoveNodes(const SiteGraph& graph) {
    for (const auto& node : graph.Nodes()) {
        if (node->marked) {
            // Pinned: its box stays exactly where the user put it.
            node->dx = node->dy = 0.0;
            continue;
        }
        node->centreX = Clamp(node->centreX + Clamp(node->dx, -kMaxStep, kMaxStep), kCanvasLow, kCanvasHigh);
        node->centreY = Clamp(node->centreY + Clamp(node->dy, -kMaxStep, kMaxStep), kCanvasLow, kCanvasHigh);
        node->dx *= 0.5;
        node->dy *= 0.5;
        node->FollowCentre();
    }
}

}  // namespace

void RelaxationStep(SiteGraph& graph, RandomGenerator& random) {
    AddSpringForces(graph);
    AddRepulsionForces(graph, random);
    MoveNodes(graph);
}
