#include "viewer/graph/GraphAlgorithms.h"
#include "viewer/graph/NodeKind.h"
#include "viewer/graph/NodeSizes.h"
#include "viewer/graph/ProgramRandom.h"
#include "viewer/graph/SiteGraph.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

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
        for (size_t i = 0; i < graph.Nodes().size(); i++)
            if (graph.Nodes()[i].get() == node) return std::to_string(i);
        return std::string("?");
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

TEST(SiteGraph, NodesKeepTheirOrderAndMaxNodeIdFollowsTheLargestId) {
    SiteGraph graph;
    std::string listed;
    graph.listWindow = [&](const GraphNode& node) { listed += node.url + " "; };
    Build(graph, {5, 3, -2, 3, 9}, "");
    EXPECT_EQ(graph.MaxNodeId(), 9);
    EXPECT_EQ(graph.FindNode(3), graph.Nodes()[1].get());  // the first of two
    EXPECT_EQ(graph.FindNode(8), nullptr);
    EXPECT_EQ(listed, "http://h/5 http://h/3 http://h/-2 http://h/3 http://h/9 ");
    EXPECT_EQ(graph.AddNode(nullptr), nullptr);
}

TEST(SiteGraph, OfferedLinksMergeByDirection) {
    const std::tuple<const char*, std::vector<int32_t>, const char*, const char*> cases[] = {
        {"the same link twice", {3, 7}, "0>1 0>1", "0>1"},
        {"the reverse link", {3, 7}, "0>1 1>0", "0>1*"},
        {"a self loop", {1}, "0>0 0>0", "0>0"},
        {"ids beyond 16 bits", {1, 2, 65538, 0, 65536}, "0>1 0>2 3>0 4>0", "0>1 0>2 3>0 4>0"},
        {"nodes sharing ids", {1, 2, 1, 2}, "0>1 3>2", "0>1 3>2"},
    };
    for (const auto& [name, ids, links, edges] : cases) {
        SiteGraph graph;
        Build(graph, ids, links);
        EXPECT_EQ(Describe(graph), edges) << name;
        EXPECT_EQ(graph.Edges().front()->preferredLength, 150.0);
    }
    SiteGraph graph;
    auto nodes = Build(graph, {1, 2}, "");
    EXPECT_EQ(graph.AddEdge(nullptr), nullptr);
    EXPECT_EQ(graph.AddEdge(std::make_unique<GraphEdge>(nodes[0], nullptr)), nullptr);
    EXPECT_EQ(graph.LinkUrlNodes(nodes[0], nodes[0]), nullptr);
    EXPECT_NE(graph.LinkUrlNodes(nodes[0], nodes[1]), nullptr);
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
    graph.Clear();
    EXPECT_TRUE(graph.Nodes().empty() && graph.Edges().empty());
}

TEST(SiteGraph, UrlNodesCountIdsOnFromMaxNodeIdAndTheStartUrlIsTheRoot) {
    SiteGraph graph;
    int32_t counter = graph.MaxNodeId();
    GraphNode* start = graph.CreateUrlNode("http://h/", "/", false, counter);
    GraphNode* page = graph.CreateUrlNode("http://h/dir/page.html", "/dir/page.html", true, counter);
    EXPECT_EQ(std::pair(start->id, page->id), std::pair(1, 2));
    EXPECT_TRUE(start->isRoot && !page->isRoot);
    EXPECT_EQ(graph.RootNode(), start);
    EXPECT_EQ(page->Box(), Rectangle({0, 0}, {70, 30}));
    EXPECT_EQ(page->label + " " + page->url, "page http://h/dir/page.html");
    Add(graph, 40);
    counter = graph.MaxNodeId();  // a new job
    EXPECT_EQ(graph.CreateUrlNode("http://h/b", "/b", true, counter)->id, 41);
    counter = INT32_MAX - 1;  // the top of the range hands out its last id again
    graph.CreateUrlNode("http://h/c", "/c", true, counter);
    EXPECT_EQ(graph.CreateUrlNode("http://h/d", "/d", true, counter)->id, INT32_MAX);
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
    RandomGenerator random;
    int drawn[] = {random.Next(), random.Next(), random.Next(), random.Next()};
    EXPECT_EQ(std::vector<int>(drawn, drawn + 4), (std::vector<int>{41, 18467, 6334, 26500}));
}

TEST(SiteGraph, RectanglesFollowTheToolkitsRulesAndBoxesFitTheirLabels) {
    const std::tuple<Rectangle, Rectangle, Point> boxes[] = {  // box, its edges, its centre
        {Rectangle({10, 20}, {70, 30}), Rectangle(10, 20, 79, 49), {44, 34}},
        {Rectangle(-10, -10, -3, -3), Rectangle({-10, -10}, {8, 8}), {-6, -6}},
        {Rectangle({10, 20}, {0, 30}), Rectangle(10, 20, kRectEmpty, 49), {10, 34}},
        {Rectangle({40, 50}, {0, 0}), Rectangle(40, 50, kRectEmpty, kRectEmpty), {40, 50}},
    };
    for (auto [box, edges, centre] : boxes) {
        EXPECT_EQ(box, edges);
        EXPECT_EQ(box.Center(), centre);
        Rectangle moved = box;
        moved.SetPos({-100, 300});
        EXPECT_EQ(moved, Rectangle({-100, 300}, box.GetSize()));
    }
    EXPECT_EQ((std::vector<int32_t>{TruncateCoord(-3.9), TruncateCoord(3.9), TruncateCoord(std::nan("")),
                                    TruncateCoord(1e300), ClampCoord(-(int64_t{1} << 40)), ClampCoord(-12)}),
              (std::vector<int32_t>{-3, 3, 0, kCoordLimit, -kCoordLimit, -12}));

    const std::tuple<const char*, int32_t, Size, Size> fits[] = {
        {"abcdefghij", 7, {20, 16}, {24 + 70, 18}}, {"ab", 7, {20, 16}, {24 + 35, 18}},  // "hallo" at least
        {"hallo", 1, {13, 0}, {15 + 5, 2}},                                           // 15.6 truncated
    };
    for (auto [label, charWidth, icon, size] : fits) {
        SiteGraph graph;
        GraphNode* node = graph.AddNode(std::make_unique<GraphNode>(1, label, "u", Rectangle({-40, 77}, {70, 30})));
        FitNodeSizes(graph, NodeMeasure::Fixed(charWidth, icon));
        EXPECT_EQ(node->Box(), Rectangle({-40, 77}, size)) << label;
        EXPECT_EQ(node->centreX, node->Box().Center().x);
    }
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
    const std::tuple<const char*, int32_t, std::vector<std::string>, const char*, int32_t> cases[] = {
        // links, the centre's level, labels of the copies, their edges (node 0 was there before), copied level
        {"", 3, {"n10"}, "", 1},
        {"0>1 2>0 0=3 1>2", 1, {"n10", "n20", "n30", "n40"}, "1>2h 3>1 1>4*", 1},
        {"0>0 0>2", 0, {"n10", "n30"}, "1>1h 1>2", 0},
        {"1>0", -1, {"n10", "n20"}, "2>1h", 0},
    };
    for (const auto& [links, level, labels, edges, copiedLevel] : cases) {
        SCOPED_TRACE(links);
        SiteGraph graph;
        auto nodes = Build(graph, {10, 20, 30, 40}, links);
        nodes[0]->level = level;
        nodes[0]->info = "Title: centre";
        nodes[0]->kind = NodeKind::Html;
        if (!graph.Edges().empty()) graph.Edges().front()->highlighted = true;
        SiteGraph copy;
        Add(copy, 6);
        GraphNode* centre = CopyNeighbourhood(*nodes[0], copy);
        ASSERT_EQ(copy.Nodes().size(), labels.size() + 1);
        for (size_t i = 0; i < labels.size(); i++) {
            const GraphNode& made = *copy.Nodes()[i + 1];
            EXPECT_EQ(made.label + " " + std::to_string(made.id), labels[i] + " " + std::to_string(7 + i));
            EXPECT_EQ(made.Box(), Rectangle(10, 10, 30, 30));
            EXPECT_EQ(made.isRoot, i == 0);
            EXPECT_EQ(made.level, i == 0 ? copiedLevel : 0);
        }
        EXPECT_EQ(centre->url + " " + centre->info, "http://h/10 Title: centre");
        EXPECT_EQ(centre->kind, NodeKind::Html);
        EXPECT_EQ(Describe(copy), edges);
    }
}
