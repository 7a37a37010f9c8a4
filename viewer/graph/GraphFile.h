// Graph files ("*.gra", "*.zor"): plain text, one record per line, fields
// separated by single blanks when written and by any white space when read.
//
//   n <id> <label> <url> p <left> <top> s <width> <height> k <kind> [start]
//   e <source id> <target id> [d] {b <x> <y> }
//
// A node line is written with both "p" and "s" (width and height 0 for an
// empty box), then the node's kind (its NodeKind code) and, for the start
// node, "start"; readers of the plain format skip these. An edge line has " d " after the ids when the edge is straight,
// otherwise a single blank, then "b x y " per bend point; automatic bend
// points are not written. Label and url are single tokens: a label holding a
// blank reads back as its first word.
//
// Reading skips lines with an unknown first token and unknown tokens inside a
// record. A node without "p" gets a random position in [0, 500) x [0, 500)
// (y drawn first), without "s" the size 70 x 30; numbers after "p", "s" and
// "b" are read as floating point and truncated toward zero. A "k" followed
// by anything but a kind's code is ignored (of several, the last good one
// counts); without one, the URL's scheme gives the kind where it decides
// it (NodeKindOfUrl). The first "start" becomes the start node of a graph
// that has none. An edge whose
// ends are unknown is dropped; repeated and reverse links merge as
// SiteGraph::AddEdge does. Nodes and edges are added to the graph as it is.
#pragma once

#include "viewer/graph/NodeSizes.h"
#include "viewer/graph/ProgramRandom.h"

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class GraphNode;
class SiteGraph;

// Writes the graph; automatic bend points are removed from the edges first.
// False when the file cannot be written.
bool SaveGraphFile(SiteGraph& graph, const std::string& path);
void WriteGraphText(SiteGraph& graph, std::ostream& out);

// Adds the file's nodes and edges to the graph, then fits every node's size
// to its label. A file that cannot be opened reads as empty (and gives false).
bool LoadGraphFile(SiteGraph& graph, const std::string& path, const NodeMeasure& measure,
                   RandomGenerator& random = ProgramRandom());

// Reads the records of one file, line by line, into a graph.
class GraphFileReader {
public:
    GraphFileReader(SiteGraph& graph, RandomGenerator& random) : graph_(graph), random_(random) {}

    void ReadLine(std::string_view line);
    void ReadAll(std::istream& in);

private:
    void ReadNode(const std::vector<std::string_view>& tokens);
    void ReadEdge(const std::vector<std::string_view>& tokens);
    GraphNode* Resolve(int32_t id) const;

    SiteGraph& graph_;
    RandomGenerator& random_;
    // First node of each id read from this file. Edges resolve here before
    // the rest of the graph, so a file loaded into an open graph links its
    // own nodes even where their ids repeat ones already shown.
    std::unordered_map<int32_t, GraphNode*> fileNodes_;
};
