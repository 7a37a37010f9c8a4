// What the node commands of a graph window act on, worked out on the model:
// the nodes that "Remove this and all outgoing" takes, and the copy of a
// node's neighbourhood that "Show in new window" shows.
#pragma once

#include <vector>

class GraphNode;
class SiteGraph;

// The node and every node reachable from it over links that are not two-way,
// each once, in the order they are reached (the node first).
std::vector<GraphNode*> OutgoingClosure(GraphNode& start);

// Copies the node and each node linked to it (either way) into the graph:
// new ids from the graph's maxNodeId on, box (10, 10)-(30, 30), label, url,
// info and kind of the original. The centre's copy comes first, is a root
// and has level 1 when the centre's level is 1 or more (0 otherwise); the
// others have level 0. Every link of the centre is copied between the
// copies, in its direction, with its bothWays and highlighted flags.
// Returns the centre's copy.
GraphNode* CopyNeighbourhood(const GraphNode& centre, SiteGraph& into);
