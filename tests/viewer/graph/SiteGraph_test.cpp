#include "viewer/graph/GraphAlgorithms.h"
#include "viewer/graph/NodeKind.h"
#include "viewer/graph/ProgramRandom.h"
#include "viewer/graph/SiteGraph.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

namespace {

GraphNode* Add(SiteGraph& graph, int32_t id) {
    std::string name = std::to_string(id);
    return graph.AddNode(std::make_unique<GraphNode>(id, "n" + name, "http://h/" + name, Rectangle({0, 0}, {70, 30})));
}

// Builds nodes with these ids and offers links written "a>b" (node numbers
// in the list), "a=b" for a link offered both ways.
std::vector<GraphNode*> Build(SiteGraph& graph, const std::vector<int32_t>& ids, const std::string& links) {
    std::vector<GraphNode*> nodes;
    for (int32_t id : ids) nodes.push_back(Add(graph, id));
    for (size_t at = 0; at + 3 <= links.size(); at += 4) {
        GraphNode* a = nodes[links[at] - '0'];
        GraphNode* b = nodes[links[at + 2] - '0'];
        graph.AddEdge(std::make_unique<GraphEdge>(a, b));
        if (links[at + 1] == '=') graph.AddEdge(std::make_unique<GraphEdge>(b, a));
    }
    return nodes;
}

// The edges as "a>b" with node numbers, "*" for bothWays, "h" for highlighted.
std::string Describe(const SiteGraph& graph) {
    std::string text;
    auto number = [&](const GraphNode* node) {
        for (size_t i = 0; i < graph.Nodes().size(); i++)
            if (graph.Nodes()[i].get() == node) return std::to_string(i);
        return std::string("?");
    };
    for (const auto& edge : graph.Edges())
        text += (text.empty() ? "" : " ") + number(edge->source) + ">" + number(edge->target) +
                (edge->bothWays ? "*" : "") + (edge->highlighted ? "h" : "");
    return text;
}

}  // namespace

TEST(SiteGraph, NodesKeepTheirOrderAndMaxNodeIdFollowsTheLargestId) {
    SiteGraph graph;
    std::vector<std::string> listed;
    graph.listWindow = [&](const GraphNode& node) { listed.push_back(node.url); };
    Build(graph, {5, 3, -2, 3, 9}, "");
    EXPECT_EQ(graph.MaxNodeId(), 9);
    EXPECT_EQ(graph.FindNode(3), graph.Nodes()[1].get());  // the first of two
    EXPECT_EQ(graph.FindNode(8), nullptr);
    EXPECT_EQ(listed, (std::vector<std::string>{"http://h/5", "http://h/3", "http://h/-2", "http://h/3", "http://h/9"}));
    EXPECT_EQ(graph.AddNode(nullptr), nullptr);
}

TEST(SiteGraph, OfferedLinksMergeByDirection) {
    struct Case {
        const char* name;
        std::vector<int32_t> ids;
        const char* links;
        const char* edges;
    };
    const Case cases[] = {
        {"one link", {3, 7}, "0>1", "0>1"},
        {"the same link twice", {3, 7}, "0>1 0>1", "0>1"},
        {"the reverse link", {3, 7}, "0>1 1>0", "0>1*"},
        {"a self loop", {1}, "0>0 0>0", "0>0"},
        {"ids beyond 16 bits", {1, 2, 65538, 0, 65536}, "0>1 0>2 3>0 4>0", "0>1 0>2 3>0 4>0"},
        {"nodes sharing ids", {1, 2, 1, 2}, "0>1 3>2", "0>1 3>2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SiteGraph graph;
        Build(graph, c.ids, c.links);
        EXPECT_EQ(Describe(graph), c.edges);
        size_t listed = 0, expected = 0;
        for (const auto& node : graph.Nodes()) listed += node->edges.size();
        for (const auto& edge : graph.Edges()) {
            expected += edge->source == edge->target ? 1 : 2;
            EXPECT_EQ(graph.FindEdge(edge->source, edge->target), edge.get());
            EXPECT_EQ(std::count(edge->target->edges.begin(), edge->target->edges.end(), edge.get()), 1);
            EXPECT_EQ(edge->preferredLength, 150.0);
        }
        EXPECT_EQ(listed, expected);
    }
    SiteGraph graph;
    auto nodes = Build(graph, {1, 2}, "");
    EXPECT_EQ(graph.AddEdge(nullptr), nullptr);
    EXPECT_EQ(graph.AddEdge(std::make_unique<GraphEdge>(nodes[0], nullptr)), nullptr);
    EXPECT_EQ(graph.LinkUrlNodes(nodes[0], nodes[0]), nullptr);
    EXPECT_TRUE(graph.Edges().empty());
    EXPECT_EQ(Describe(graph), "");
    EXPECT_NE(graph.LinkUrlNodes(nodes[0], nodes[1]), nullptr);
}

TEST(SiteGraph, RemovingANodeDropsExactlyItsEdgesAndTheLinkCanBeMadeAgain) {
    SiteGraph graph;
    auto nodes = Build(graph, {1, 2, 3}, "0>1 1>2 2>0");
    graph.RemoveNode(nodes[1]);
    EXPECT_EQ(Describe(graph), "1>0");
    EXPECT_EQ(nodes[0]->edges.size(), 1u);
    EXPECT_EQ(nodes[2]->edges.size(), 1u);
    GraphNode* again = Add(graph, 2);
    ASSERT_NE(graph.LinkUrlNodes(nodes[0], again), nullptr);
    EXPECT_EQ(Describe(graph), "1>0 0>2");
    int32_t counter = 0;
    GraphNode* root = graph.CreateUrlNode("http://h/", "/", false, counter);
    graph.RemoveNode(root);
    EXPECT_EQ(graph.RootNode(), nullptr);
    graph.Clear();
    EXPECT_TRUE(graph.Nodes().empty() && graph.Edges().empty());
}

TEST(SiteGraph, UrlNodesCountIdsOnFromMaxNodeIdAndTheStartUrlIsTheRoot) {
    SiteGraph graph;
    std::vector<std::string> listed;
    graph.listWindow = [&](const GraphNode& node) { listed.push_back(node.url); };
    int32_t counter = graph.MaxNodeId();
    GraphNode* start = graph.CreateUrlNode("http://h/", "/", false, counter);
    GraphNode* page = graph.CreateUrlNode("http://h/dir/page.html", "/dir/page.html", true, counter);
    EXPECT_EQ(start->id, 1);
    EXPECT_EQ(page->id, 2);
    EXPECT_TRUE(start->isRoot);
    EXPECT_FALSE(page->isRoot);
    EXPECT_EQ(graph.RootNode(), start);
    EXPECT_EQ(page->Box(), Rectangle({0, 0}, {70, 30}));
    EXPECT_EQ(page->label, "page");
    EXPECT_EQ(listed, (std::vector<std::string>{"http://h/", "http://h/dir/page.html"}));
    Add(graph, 40);
    counter = graph.MaxNodeId();  // a new job
    EXPECT_EQ(graph.CreateUrlNode("http://h/b", "/b", true, counter)->id, 41);
    counter = INT32_MAX - 1;  // the top of the range hands out its last id again
    EXPECT_EQ(graph.CreateUrlNode("http://h/c", "/c", true, counter)->id, INT32_MAX);
    EXPECT_EQ(graph.CreateUrlNode("http://h/d", "/d", true, counter)->id, INT32_MAX);
}

TEST(SiteGraph, UrlNodeLabelsComeFromThePath) {
    const std::pair<const char*, const char*> cases[] = {
        {"/a/b/index", "index"},       {"/x", "x"},
        {"/", "/"},                    {"/docs/", "docs"},
        {"/a/docs/", "docs"},          {"/a//", "/"},
        {"//", "/"},                   {"docs/", ""},
        {"someone@example.org", ""},   {"", ""},
        {"/dir/page.html", "page"},    {"/pack.tar.gz", "pack.tar"},
        {"/.htaccess", ".htaccess"},   {"/a.b", "a"},
        {"/v1.2/readme", "readme"},    {"/x.cgi?q=1", "x.cgi?q=1"},
        {"/search?x=1.5", "search?x=1"}, {"/dir.d/", "dir.d"},
        {"/abcdefghijkl", "abcdefghijkl"}, {"/abcdefghijklm", "abcdefghijk..."},
        {"/averyveryverylongname.html", "averyveryve..."}, {"/abcdefghijkl.html", "abcdefghijkl"},
    };
    for (auto [path, label] : cases) EXPECT_EQ(UrlNodeLabel(path), label) << path;
}

TEST(NodeKind, ContentTypesMapByTheFirstMatchingPrefix) {
    const std::pair<const char*, NodeKind> cases[] = {
        {"audio/mpeg", NodeKind::Audio},       {"text/html; charset=x", NodeKind::Html},
        {"text/htmlx", NodeKind::Html},        {"text/htm", NodeKind::Text},
        {"text/plain", NodeKind::Text},        {"image/gif", NodeKind::Image},
        {"video/mpeg", NodeKind::Video},       {"application/zip", NodeKind::Zip},
        {"application/zipped", NodeKind::Zip}, {"application/x-zip", NodeKind::Application},
        {"application/pdf", NodeKind::Application}, {"", NodeKind::Other},
        {"multipart/mixed", NodeKind::Other},  {" text/html", NodeKind::Other},
        {"audio", NodeKind::Other},
    };
    for (auto [type, kind] : cases) EXPECT_EQ(NodeKindOfContentType(type), kind) << type;
}

TEST(RandomGenerator, FollowsTheClassicSequenceAndRestartsWithItsSeed) {
    RandomGenerator random;
    std::vector<int> drawn;
    for (int i = 0; i < 4; i++) drawn.push_back(random.Next());
    EXPECT_EQ(drawn, (std::vector<int>{41, 18467, 6334, 26500}));
    random.Seed(1);
    EXPECT_EQ(random.Next(), 41);
}

TEST(GraphAlgorithms, OutgoingClosureFollowsOneWayLinksOnly) {
    struct Case {
        const char* name;
        const char* links;
        std::vector<int32_t> reached;  // ids, in order, from the node with id 1
    };
    const Case cases[] = {
        {"a lone node", "", {1}},
        {"a chain", "0>1 1>2", {1, 2, 3}},
        {"links into the start are not followed", "3>0 0>1", {1, 2}},
        {"two-way links are not followed", "0=1 0>2 2=3", {1, 3}},
        {"a cycle comes back without repeats", "0>1 1>2 2>0 0>0", {1, 2, 3}},
        {"breadth first", "0>2 0>1 2>3", {1, 3, 2, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SiteGraph graph;
        auto nodes = Build(graph, {1, 2, 3, 4}, c.links);
        std::vector<int32_t> reached;
        for (GraphNode* node : OutgoingClosure(*nodes[0])) reached.push_back(node->id);
        EXPECT_EQ(reached, c.reached);
    }
}

TEST(GraphAlgorithms, NeighbourhoodCopiesGetNewIdsAndKeepTheCentresLinks) {
    struct Case {
        const char* name;
        const char* links;
        int32_t centreLevel;
        std::vector<std::string> labels;  // of the copies, in order
        const char* edges;  // node 0 of the copy graph is the one there before
        int32_t copiedLevel;
    };
    const Case cases[] = {
        {"no links", "", 3, {"n10"}, "", 1},
        {"out, in and both ways", "0>1 2>0 0=3 1>2", 1, {"n10", "n20", "n30", "n40"}, "1>2h 3>1 1>4*", 1},
        {"a self loop and a level of 0", "0>0 0>2", 0, {"n10", "n30"}, "1>1h 1>2", 0},
        {"not loaded in this job", "1>0", -1, {"n10", "n20"}, "2>1h", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SiteGraph graph;
        auto nodes = Build(graph, {10, 20, 30, 40}, c.links);
        nodes[0]->level = c.centreLevel;
        nodes[0]->info = "Title: centre";
        nodes[0]->kind = NodeKind::Html;
        if (!graph.Edges().empty()) graph.Edges().front()->highlighted = true;
        SiteGraph copy;
        Add(copy, 6);
        GraphNode* centre = CopyNeighbourhood(*nodes[0], copy);
        ASSERT_EQ(copy.Nodes().size(), c.labels.size() + 1);
        EXPECT_EQ(centre, copy.Nodes()[1].get());
        for (size_t i = 0; i < c.labels.size(); i++) {
            const GraphNode& made = *copy.Nodes()[i + 1];
            EXPECT_EQ(made.id, int32_t(7 + i));
            EXPECT_EQ(made.label, c.labels[i]);
            EXPECT_EQ(made.Box(), Rectangle(10, 10, 30, 30));
            EXPECT_EQ(made.isRoot, i == 0);
            EXPECT_EQ(made.level, i == 0 ? c.copiedLevel : 0);
        }
        EXPECT_EQ(centre->url, "http://h/10");
        EXPECT_EQ(centre->info, "Title: centre");
        EXPECT_EQ(centre->kind, NodeKind::Html);
        EXPECT_EQ(Describe(copy), c.edges);
    }
}
