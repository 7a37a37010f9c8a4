#include "viewer/graph/SiteGraph.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

namespace {

GraphNode* AddNodeWithId(SiteGraph& graph, int32_t id) {
    return graph.AddNode(std::make_unique<GraphNode>(id, "n" + std::to_string(id), "http://h/" + std::to_string(id),
                                                     Rectangle({0, 0}, {70, 30})));
}

GraphEdge* Offer(SiteGraph& graph, GraphNode* source, GraphNode* target) {
    return graph.AddEdge(std::make_unique<GraphEdge>(source, target));
}

bool Lists(const GraphNode* node, const GraphEdge* edge) {
    return std::count(node->edges.begin(), node->edges.end(), edge) == 1;
}

}  // namespace

TEST(SiteGraphNodes, MaxNodeIdFollowsTheLargestIdEverAdded) {
    SiteGraph graph;
    EXPECT_EQ(graph.MaxNodeId(), 0);
    AddNodeWithId(graph, 5);
    AddNodeWithId(graph, 3);
    AddNodeWithId(graph, -2);
    EXPECT_EQ(graph.MaxNodeId(), 5);
    AddNodeWithId(graph, 9);
    EXPECT_EQ(graph.MaxNodeId(), 9);
    ASSERT_EQ(graph.Nodes().size(), 4u);
    EXPECT_EQ(graph.Nodes()[1]->id, 3);  // insertion order kept
}

TEST(SiteGraphNodes, AddedNodesAreEnteredInTheListWindow) {
    SiteGraph graph;
    std::vector<std::string> listed;
    graph.listWindow = [&](const GraphNode& node) { listed.push_back(node.url); };
    AddNodeWithId(graph, 1);
    AddNodeWithId(graph, 2);
    EXPECT_EQ(listed, (std::vector<std::string>{"http://h/1", "http://h/2"}));
}

TEST(SiteGraphNodes, FindNodeReturnsTheFirstNodeWithTheId) {
    SiteGraph graph;
    AddNodeWithId(graph, 4);
    GraphNode* first = AddNodeWithId(graph, 7);
    AddNodeWithId(graph, 7);
    EXPECT_EQ(graph.FindNode(7), first);
    EXPECT_EQ(graph.FindNode(8), nullptr);
}

TEST(SiteGraphNodes, NodeCentreFollowsItsBox) {
    GraphNode node(1, "a", "u", Rectangle({10, 20}, {71, 31}));
    EXPECT_EQ(node.centreX, 45.0);
    EXPECT_EQ(node.centreY, 35.0);
    node.MoveTo({100, 200});
    EXPECT_EQ(node.centreX, 135.0);
    node.CentreAt(500, 600);
    EXPECT_EQ(node.Box().TopLeft(), (Point{465, 585}));
    EXPECT_EQ(node.centreX, 500.0);
    EXPECT_EQ(node.centreY, 600.0);
}

TEST(SiteGraphEdges, SameLinkTwiceKeepsOneEdgeWithoutBothWays) {
    SiteGraph graph;
    GraphNode* a = AddNodeWithId(graph, 3);
    GraphNode* b = AddNodeWithId(graph, 7);
    GraphEdge* first = Offer(graph, a, b);
    EXPECT_EQ(Offer(graph, a, b), first);
    ASSERT_EQ(graph.Edges().size(), 1u);
    EXPECT_FALSE(first->bothWays);
    EXPECT_EQ(a->edges.size(), 1u);
    EXPECT_EQ(b->edges.size(), 1u);
}

TEST(SiteGraphEdges, ReverseLinkMarksTheExistingEdgeBothWays) {
    SiteGraph graph;
    GraphNode* a = AddNodeWithId(graph, 3);
    GraphNode* b = AddNodeWithId(graph, 7);
    GraphEdge* first = Offer(graph, a, b);
    EXPECT_EQ(Offer(graph, b, a), first);
    ASSERT_EQ(graph.Edges().size(), 1u);
    EXPECT_TRUE(first->bothWays);
    EXPECT_EQ(first->source, a);
    EXPECT_EQ(first->target, b);
    EXPECT_EQ(graph.FindEdge(b, a), nullptr);
}

TEST(SiteGraphEdges, AcceptedEdgeIsListedAtBothEndsAndIndexed) {
    SiteGraph graph;
    GraphNode* a = AddNodeWithId(graph, 1);
    GraphNode* b = AddNodeWithId(graph, 2);
    GraphNode* c = AddNodeWithId(graph, 3);
    GraphEdge* ab = Offer(graph, a, b);
    GraphEdge* cb = Offer(graph, c, b);
    EXPECT_TRUE(Lists(a, ab));
    EXPECT_TRUE(Lists(b, ab));
    EXPECT_TRUE(Lists(b, cb));
    EXPECT_TRUE(Lists(c, cb));
    EXPECT_EQ(graph.FindEdge(a, b), ab);
    EXPECT_EQ(graph.FindEdge(c, b), cb);
    EXPECT_EQ(ab->preferredLength, kPreferredEdgeLength);
    EXPECT_FALSE(ab->straight);
}

TEST(SiteGraphEdges, NullEdgesAndEdgesWithoutEndsAreIgnored) {
    SiteGraph graph;
    GraphNode* a = AddNodeWithId(graph, 1);
    EXPECT_EQ(graph.AddEdge(nullptr), nullptr);
    EXPECT_EQ(Offer(graph, a, nullptr), nullptr);
    EXPECT_EQ(Offer(graph, nullptr, a), nullptr);
    EXPECT_TRUE(graph.Edges().empty());
    EXPECT_TRUE(a->edges.empty());
}

TEST(SiteGraphEdges, IdsBeyondSixteenBitsKeepTheirLinksApart) {
    // Packing ids into 16 bits each would make these pairs collide.
    SiteGraph graph;
    GraphNode* n0 = AddNodeWithId(graph, 0);
    GraphNode* n1 = AddNodeWithId(graph, 1);
    GraphNode* n2 = AddNodeWithId(graph, 2);
    GraphNode* n65538 = AddNodeWithId(graph, 65538);
    GraphNode* n65536 = AddNodeWithId(graph, 65536);
    Offer(graph, n1, n2);
    Offer(graph, n1, n65538);
    Offer(graph, n0, n1);
    Offer(graph, n65536, n1);
    EXPECT_EQ(graph.Edges().size(), 4u);
    for (const auto& edge : graph.Edges()) EXPECT_FALSE(edge->bothWays);
}

TEST(SiteGraphEdges, NodesSharingAnIdKeepTheirOwnLinks) {
    SiteGraph graph;
    GraphNode* a = AddNodeWithId(graph, 1);
    GraphNode* b = AddNodeWithId(graph, 2);
    GraphNode* otherA = AddNodeWithId(graph, 1);
    GraphNode* otherB = AddNodeWithId(graph, 2);
    Offer(graph, a, b);
    Offer(graph, otherB, otherA);
    ASSERT_EQ(graph.Edges().size(), 2u);
    EXPECT_FALSE(graph.Edges()[0]->bothWays);
    EXPECT_EQ(graph.Edges()[1]->source, otherB);
}

TEST(SiteGraphEdges, LinkUrlNodesOfANodeWithItselfAddsNothing) {
    SiteGraph graph;
    GraphNode* a = AddNodeWithId(graph, 1);
    GraphNode* b = AddNodeWithId(graph, 2);
    EXPECT_EQ(graph.LinkUrlNodes(a, a), nullptr);
    EXPECT_TRUE(graph.Edges().empty());
    EXPECT_TRUE(a->edges.empty());
    GraphEdge* edge = graph.LinkUrlNodes(a, b);
    ASSERT_NE(edge, nullptr);
    EXPECT_EQ(edge->source, a);
    EXPECT_EQ(edge->target, b);
}

TEST(SiteGraphEdges, SelfLoopIsListedOnceAtItsNode) {
    SiteGraph graph;
    GraphNode* a = AddNodeWithId(graph, 1);
    GraphEdge* loop = Offer(graph, a, a);
    ASSERT_NE(loop, nullptr);
    EXPECT_EQ(a->edges.size(), 1u);
    EXPECT_EQ(Offer(graph, a, a), loop);
    EXPECT_FALSE(loop->bothWays);
}

TEST(SiteGraphRemoval, RemovingANodeDropsExactlyTheEdgesThatTouchIt) {
    SiteGraph graph;
    GraphNode* a = AddNodeWithId(graph, 1);
    GraphNode* b = AddNodeWithId(graph, 2);
    GraphNode* c = AddNodeWithId(graph, 3);
    GraphEdge* ab = Offer(graph, a, b);
    Offer(graph, b, c);
    GraphEdge* ca = Offer(graph, c, a);
    graph.RemoveNode(b);
    ASSERT_EQ(graph.Nodes().size(), 2u);
    ASSERT_EQ(graph.Edges().size(), 1u);
    EXPECT_EQ(graph.Edges()[0].get(), ca);
    EXPECT_EQ(a->edges, std::vector<GraphEdge*>{ca});
    EXPECT_EQ(c->edges, std::vector<GraphEdge*>{ca});
    EXPECT_EQ(graph.FindEdge(a, b), nullptr);
    (void)ab;

    // The same link between new nodes is accepted again.
    GraphNode* again = AddNodeWithId(graph, 2);
    GraphEdge* relinked = Offer(graph, a, again);
    ASSERT_NE(relinked, nullptr);
    EXPECT_EQ(graph.Edges().size(), 2u);
    EXPECT_FALSE(relinked->bothWays);
}

TEST(SiteGraphRemoval, ClearEmptiesBothListsAndTheIndex) {
    SiteGraph graph;
    int32_t counter = 0;
    GraphNode* a = graph.CreateUrlNode("http://h/", "/", false, counter);
    GraphNode* b = graph.CreateUrlNode("http://h/x", "/x", true, counter);
    graph.LinkUrlNodes(a, b);
    graph.Clear();
    EXPECT_TRUE(graph.Nodes().empty());
    EXPECT_TRUE(graph.Edges().empty());
    EXPECT_EQ(graph.RootNode(), nullptr);
}

TEST(CreateUrlNode, IdsOfAFreshGraphStartAtOneAndCountOnFromMaxNodeId) {
    SiteGraph graph;
    int32_t counter = graph.MaxNodeId();
    EXPECT_EQ(graph.CreateUrlNode("http://h/", "/", false, counter)->id, 1);
    EXPECT_EQ(graph.CreateUrlNode("http://h/a", "/a", true, counter)->id, 2);
    AddNodeWithId(graph, 40);
    counter = graph.MaxNodeId();  // a new job
    EXPECT_EQ(graph.CreateUrlNode("http://h/b", "/b", true, counter)->id, 41);
    EXPECT_EQ(graph.MaxNodeId(), 41);
}

TEST(CreateUrlNode, CounterAtTheTopOfTheRangeDoesNotOverflow) {
    SiteGraph graph;
    int32_t counter = INT32_MAX - 1;
    EXPECT_EQ(graph.CreateUrlNode("http://h/a", "/a", true, counter)->id, INT32_MAX);
    EXPECT_EQ(graph.CreateUrlNode("http://h/b", "/b", true, counter)->id, INT32_MAX);
}

TEST(CreateUrlNode, NodeGetsDefaultBoxUrlAndLabel) {
    SiteGraph graph;
    int32_t counter = 0;
    std::vector<std::string> listed;
    graph.listWindow = [&](const GraphNode& node) { listed.push_back(node.url); };
    GraphNode* node = graph.CreateUrlNode("http://h/dir/page.html", "/dir/page.html", true, counter);
    EXPECT_EQ(node->Box(), Rectangle({0, 0}, {70, 30}));
    EXPECT_EQ(node->url, "http://h/dir/page.html");
    EXPECT_EQ(node->label, "page");
    EXPECT_FALSE(node->isRoot);
    EXPECT_EQ(graph.RootNode(), nullptr);
    EXPECT_EQ(listed, std::vector<std::string>{"http://h/dir/page.html"});
}

TEST(CreateUrlNode, StartUrlWithoutReferrerBecomesTheRoot) {
    SiteGraph graph;
    int32_t counter = 0;
    GraphNode* start = graph.CreateUrlNode("http://h/", "/", false, counter);
    GraphNode* other = graph.CreateUrlNode("http://h/a", "/a", true, counter);
    EXPECT_TRUE(start->isRoot);
    EXPECT_FALSE(other->isRoot);
    EXPECT_EQ(graph.RootNode(), start);
}

TEST(UrlNodeLabel, NameIsTheTextAfterTheLastSlash) {
    EXPECT_EQ(UrlNodeLabel("/a/b/index"), "index");
    EXPECT_EQ(UrlNodeLabel("/x"), "x");
}

TEST(UrlNodeLabel, PathsEndingInSlashNameTheirDirectory) {
    EXPECT_EQ(UrlNodeLabel("/"), "/");
    EXPECT_EQ(UrlNodeLabel("/docs/"), "docs");
    EXPECT_EQ(UrlNodeLabel("/a/docs/"), "docs");
    EXPECT_EQ(UrlNodeLabel("/a//"), "/");
    EXPECT_EQ(UrlNodeLabel("//"), "/");
    EXPECT_EQ(UrlNodeLabel("docs/"), "");
}

TEST(UrlNodeLabel, PathWithoutSlashGivesAnEmptyLabel) {
    EXPECT_EQ(UrlNodeLabel("someone@example.org"), "");
    EXPECT_EQ(UrlNodeLabel(""), "");
}

TEST(UrlNodeLabel, ExtensionIsRemovedWhenShorterThanTheName) {
    EXPECT_EQ(UrlNodeLabel("/dir/page.html"), "page");
    EXPECT_EQ(UrlNodeLabel("/pack.tar.gz"), "pack.tar");
    EXPECT_EQ(UrlNodeLabel("/.htaccess"), ".htaccess");  // as long as the name
    EXPECT_EQ(UrlNodeLabel("/a.b"), "a");
}

TEST(UrlNodeLabel, ExtensionCountsOnlyWhenNoSlashOrQuestionMarkFollowsTheDot) {
    EXPECT_EQ(UrlNodeLabel("/v1.2/readme"), "readme");
    EXPECT_EQ(UrlNodeLabel("/x.cgi?q=1"), "x.cgi?q=1");
    EXPECT_EQ(UrlNodeLabel("/search?x=1.5"), "search?x=1");
    EXPECT_EQ(UrlNodeLabel("/dir.d/"), "dir.d");
}

TEST(UrlNodeLabel, TwelveCharactersAreKeptThirteenAreCut) {
    EXPECT_EQ(UrlNodeLabel("/abcdefghijkl"), "abcdefghijkl");
    EXPECT_EQ(UrlNodeLabel("/abcdefghijklm"), "abcdefghijk...");
    EXPECT_EQ(UrlNodeLabel("/averyveryverylongname.html"), "averyveryve...");
    EXPECT_EQ(UrlNodeLabel("/abcdefghijkl.html"), "abcdefghijkl");
}
