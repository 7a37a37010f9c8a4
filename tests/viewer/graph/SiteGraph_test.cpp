#include "viewer/graph/GraphAlgorithms.h"
#include "viewer/graph/NodeKind.h"
#include "viewer/graph/SiteGraph.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

namespace {

GraphNode* Add(SiteGraph& graph, int32_t id) {
    std::string name = std::to_string(id);
    return graph.AddNode(std::make_unique<GraphNode>(id, "n" + name, "http://h/" + name, Rectangle({0, 0}, {70, 30})));
}

// Nodes with these ids, and the links "a>b" between node numbers ("a=b": offered both ways).
std::vector<GraphNode*> Build(SiteGraph& graph, const std::vector<int32_t>& ids, const std::string& links) {
    std::vector<GraphNode*> nodes;
    for (int32_t id : ids) nodes.push_back(Add(graph, id));
    for (size_t at = 0; at + 3 <= links.size(); at += 4) {
        GraphNode *a = nodes[links[at] - '0'], *b = nodes[links[at + 2] - '0'];
        graph.AddEdge(std::make_unique<GraphEdge>(a, b));
        if (links[at + 1] == '=') graph.AddEdge(std::make_unique<GraphEdge>(b, a));
    }
    return nodes;
}

// The edges as "a>b" between node numbers, "*" for bothWays, "h" for highlighted;
// each edge must be listed once at both ends and found by its direction.
std::string Describe(const SiteGraph& graph) {
    std::string text;
    auto number = [&](const GraphNode* node) {
        return std::to_string(std::find_if(graph.Nodes().begin(), graph.Nodes().end(), [&](auto& n) { return n.get() == node; }) - graph.Nodes().begin());
    };
    size_t listed = 0, ends = 0;
    for (const auto& node : graph.Nodes()) listed += node->edges.size();
    for (const auto& edge : graph.Edges()) {
        text += (text.empty() ? "" : " ") + number(edge->source) + ">" + number(edge->target) +
                (edge->bothWays ? "*" : "") + (edge->highlighted ? "h" : "");
        ends += edge->source == edge->target ? 1 : 2;
        if (graph.FindEdge(edge->source, edge->target) != edge.get()) text += "!";
        if (std::count(edge->target->edges.begin(), edge->target->edges.end(), edge.get()) != 1) text += "!";
    }
    return listed == ends ? text : text + " (edge lists differ)";
}

}  // namespace

TEST(SiteGraph, OfferedLinksMergeByDirection) {
    const std::tuple<std::vector<int32_t>, const char*, const char*> cases[] = {  // ids, links offered, edges
        {{3, 7}, "0>1 0>1", "0>1"}, {{3, 7}, "0>1 1>0", "0>1*"}, {{1}, "0>0 0>0", "0>0"},
        {{1, 2, 65538, 0, 65536}, "0>1 0>2 3>0 4>0", "0>1 0>2 3>0 4>0"},  // ids beyond 16 bits
        {{1, 2, 1, 2}, "0>1 3>2", "0>1 3>2"},                              // nodes sharing ids
    };
    for (const auto& [ids, links, edges] : cases) {
        SiteGraph graph;
        Build(graph, ids, links);
        EXPECT_EQ(Describe(graph), edges) << links;
    }
    SiteGraph graph;
    auto nodes = Build(graph, {1, 2}, "");
    EXPECT_TRUE(!graph.AddEdge(nullptr) && !graph.AddEdge(std::make_unique<GraphEdge>(nodes[0], nullptr)));
    EXPECT_TRUE(!graph.LinkUrlNodes(nodes[0], nodes[0]) && graph.LinkUrlNodes(nodes[0], nodes[1]));
    EXPECT_EQ(Describe(graph), "0>1");
}

TEST(SiteGraph, RemovingANodeDropsExactlyItsEdgesAndTheLinkCanBeMadeAgain) {
    SiteGraph graph;
    auto nodes = Build(graph, {1, 2, 3}, "0>1 1>2 2>0");
    graph.RemoveNode(nodes[1]);
    EXPECT_EQ(Describe(graph), "1>0");
    ASSERT_NE(graph.LinkUrlNodes(nodes[0], Add(graph, 2)), nullptr);
    EXPECT_EQ(Describe(graph), "1>0 0>2");
    int32_t counter = 0;
    graph.RemoveNode(graph.CreateUrlNode("http://h/", "/", false, counter));
    EXPECT_EQ(graph.RootNode(), nullptr);
}

TEST(SiteGraph, UrlNodesCountIdsOnFromMaxNodeIdAndTheStartUrlIsTheRoot) {
    SiteGraph graph;
    std::string listed;
    graph.listWindow = [&](const GraphNode& node) { listed += node.url + " "; };
    int32_t counter = graph.MaxNodeId();
    GraphNode* start = graph.CreateUrlNode("http://h/", "/", false, counter);
    GraphNode* page = graph.CreateUrlNode("http://h/dir/page.html", "/dir/page.html", true, counter);
    EXPECT_TRUE(start->isRoot && !page->isRoot && graph.RootNode() == start && page->Box() == Rectangle({0, 0}, {70, 30}));
    Build(graph, {40, -2}, "");
    counter = graph.MaxNodeId();  // a new job
    graph.CreateUrlNode("http://h/b", "/b", true, counter);
    counter = INT32_MAX - 1;  // the top of the range hands out its last id again
    graph.CreateUrlNode("http://h/c", "/c", true, counter);
    graph.CreateUrlNode("http://h/d", "/d", true, counter);
    std::string made;
    for (const auto& node : graph.Nodes()) made += std::to_string(node->id) + " " + node->label + ",";
    EXPECT_EQ(made, "1 /,2 page,40 n40,-2 n-2,41 b,2147483647 c,2147483647 d,");
    EXPECT_EQ(listed, "http://h/ http://h/dir/page.html http://h/40 http://h/-2 http://h/b http://h/c http://h/d ");
}

TEST(SiteGraph, UrlNodeLabelsAndKindsComeFromPathsAndContentTypes) {
    const std::pair<const char*, const char*> labels[] = {
        {"/a/b/index", "index"}, {"/x", "x"}, {"/", "/"}, {"/docs/", "docs"}, {"/a/docs/", "docs"}, {"/a//", "/"},
        {"//", "/"}, {"docs/", ""}, {"someone@example.org", ""}, {"", ""}, {"/dir/page.html", "page"},
        {"/pack.tar.gz", "pack.tar"}, {"/.htaccess", ".htaccess"}, {"/a.b", "a"}, {"/v1.2/readme", "readme"},
        {"/x.cgi?q=1", "x.cgi?q=1"}, {"/search?x=1.5", "search?x=1"}, {"/dir.d/", "dir.d"},
        {"/abcdefghijkl", "abcdefghijkl"}, {"/abcdefghijklm", "abcdefghijk..."},
        {"/averyveryverylongname.html", "averyveryve..."}, {"/abcdefghijkl.html", "abcdefghijkl"},
    };
    for (auto [path, label] : labels) EXPECT_EQ(UrlNodeLabel(path), label) << path;
    const std::pair<const char*, NodeKind> kinds[] = {
        {"audio/mpeg", NodeKind::Audio}, {"text/html; charset=x", NodeKind::Html}, {"text/htmlx", NodeKind::Html},
        {"text/htm", NodeKind::Text}, {"image/gif", NodeKind::Image}, {"video/mpeg", NodeKind::Video},
        {"application/zip", NodeKind::Zip}, {"application/zipped", NodeKind::Zip},
        {"application/x-zip", NodeKind::Application}, {"", NodeKind::Other}, {"multipart/mixed", NodeKind::Other},
        {" text/html", NodeKind::Other}, {"audio", NodeKind::Other},
    };
    for (auto [type, kind] : kinds) EXPECT_EQ(NodeKindOfContentType(type), kind) << type;
}

TEST(GraphAlgorithms, OutgoingClosureFollowsOneWayLinksOnly) {
    const std::pair<const char*, std::vector<int32_t>> cases[] = {  // links, ids reached from id 1
        {"", {1}}, {"0>1 1>2", {1, 2, 3}}, {"3>0 0>1", {1, 2}}, {"0=1 0>2 2=3", {1, 3}},
        {"0>1 1>2 2>0 0>0", {1, 2, 3}}, {"0>2 0>1 2>3", {1, 3, 2, 4}},
    };
    for (const auto& [links, reached] : cases) {
        SiteGraph graph;
        auto nodes = Build(graph, {1, 2, 3, 4}, links);
        std::vector<int32_t> ids;
        for (GraphNode* node : OutgoingClosure(*nodes[0])) ids.push_back(node->id);
        EXPECT_EQ(ids, reached) << links;
    }
}

TEST(GraphAlgorithms, NeighbourhoodCopiesGetNewIdsAndKeepTheCentresLinks) {
    const std::tuple<const char*, int32_t, const char*, const char*> cases[] = {
        // links, the centre's level; the copies as "id label level", "root" for the first; their edges
        {"", 3, "7 n10 1 root", ""},
        {"0>1 2>0 0=3 1>2", 1, "7 n10 1 root|8 n20 0|9 n30 0|10 n40 0", "1>2h 3>1 1>4*"},
        {"0>0 0>2", 0, "7 n10 0 root|8 n30 0", "1>1h 1>2"},
        {"1>0", -1, "7 n10 0 root|8 n20 0", "2>1h"},
    };
    for (const auto& [links, level, copies, edges] : cases) {
        SiteGraph graph;
        auto nodes = Build(graph, {10, 20, 30, 40}, links);
        nodes[0]->level = level;
        nodes[0]->info = "Title: centre";
        nodes[0]->kind = NodeKind::Html;
        if (!graph.Edges().empty()) graph.Edges().front()->highlighted = true;
        SiteGraph copy;
        Add(copy, 6);  // node 0 of the copy graph
        GraphNode* centre = CopyNeighbourhood(*nodes[0], copy);
        std::string made;
        for (size_t i = 1; i < copy.Nodes().size(); i++) {
            const GraphNode& node = *copy.Nodes()[i];
            made += (i > 1 ? "|" : "") + std::to_string(node.id) + " " + node.label + " " + std::to_string(node.level) +
                    (node.isRoot ? " root" : "") + (node.Box() == Rectangle(10, 10, 30, 30) ? "" : " moved");
        }
        EXPECT_EQ(made, copies) << links;
        EXPECT_EQ(Describe(copy), edges) << links;
        EXPECT_EQ(centre->url + " " + centre->info + " " + std::to_string(int(centre->kind)), "http://h/10 Title: centre 14");
    }
}
