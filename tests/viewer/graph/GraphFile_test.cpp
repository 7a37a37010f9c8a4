#include "viewer/graph/GraphFile.h"

#include "tests/viewer/graph/TempDir.h"
#include "viewer/graph/SiteGraph.h"

#include <gtest/gtest.h>

#include <climits>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Label widths 10 pixels a character; a 20 x 18 icon.
NodeMeasure TestMeasure() { return NodeMeasure::Fixed(10, {20, 18}); }

GraphNode* AddNode(SiteGraph& graph, int32_t id, const std::string& label, Rectangle box) {
    return graph.AddNode(std::make_unique<GraphNode>(id, label, "http://h/" + label, box));
}

GraphEdge* AddEdge(SiteGraph& graph, GraphNode* source, GraphNode* target) {
    return graph.AddEdge(std::make_unique<GraphEdge>(source, target));
}

// Reads text without fitting sizes afterwards, so stored sizes stay visible.
void ReadText(SiteGraph& graph, const std::string& text, RandomGenerator& random) {
    std::istringstream in(text);
    GraphFileReader(graph, random).ReadAll(in);
}

void ReadText(SiteGraph& graph, const std::string& text) {
    RandomGenerator random;
    ReadText(graph, text, random);
}

std::string WriteText(SiteGraph& graph) {
    std::ostringstream out;
    WriteGraphText(graph, out);
    return out.str();
}

}  // namespace

TEST(SaveGraphFile, WritesNodeLinesThenEdgeLines) {
    TempDir dir;
    SiteGraph graph;
    GraphNode* a = AddNode(graph, 3, "start", Rectangle({10, -20}, {70, 30}));
    GraphNode* b = AddNode(graph, 7, "next", Rectangle({100, 200}, {0, 0}));
    AddEdge(graph, a, b);
    ASSERT_TRUE(SaveGraphFile(graph, dir.File("g.gra")));
    EXPECT_EQ(ReadWholeFile(dir.File("g.gra")),
              "n 3 start http://h/start p 10 -20 s 70 30\n"
              "n 7 next http://h/next p 100 200 s 0 0\n"
              "e 3 7 \n");
}

TEST(SaveGraphFile, StraightEdgesAndBendPointsAreWrittenInOrder) {
    SiteGraph graph;
    GraphNode* a = AddNode(graph, 3, "a", Rectangle({0, 0}, {70, 30}));
    GraphNode* b = AddNode(graph, 7, "b", Rectangle({0, 0}, {70, 30}));
    GraphNode* c = AddNode(graph, 9, "c", Rectangle({0, 0}, {70, 30}));
    GraphEdge* ab = AddEdge(graph, a, b);
    ab->straight = true;
    GraphEdge* bc = AddEdge(graph, b, c);
    bc->bends = {{10, 20, false}, {-5, 6, false}};
    std::string text = WriteText(graph);
    EXPECT_NE(text.find("\ne 3 7 d \ne 7 9 b 10 20 b -5 6 \n"), std::string::npos) << text;
}

TEST(SaveGraphFile, AutomaticBendPointsAreDroppedFromFileAndEdge) {
    SiteGraph graph;
    GraphNode* a = AddNode(graph, 1, "a", Rectangle({0, 0}, {70, 30}));
    GraphNode* b = AddNode(graph, 2, "b", Rectangle({0, 0}, {70, 30}));
    GraphEdge* edge = AddEdge(graph, a, b);
    edge->bends = {{1, 1, true}, {5, 6, false}, {2, 2, true}};
    std::string text = WriteText(graph);
    EXPECT_NE(text.find("e 1 2 b 5 6 \n"), std::string::npos) << text;
    ASSERT_EQ(edge->bends.size(), 1u);
    EXPECT_EQ(edge->bends[0].x, 5);
}

TEST(SaveGraphFile, UnwritablePathGivesFalse) {
    TempDir dir;
    SiteGraph graph;
    AddNode(graph, 1, "a", Rectangle({0, 0}, {70, 30}));
    EXPECT_FALSE(SaveGraphFile(graph, dir.File("missing/g.gra")));
}

TEST(ReadGraphFile, NodeWithoutPositionDrawsYFirstThenX) {
    SiteGraph graph;
    RandomGenerator random(1);
    ReadText(graph, "n 1 a u\nn 2 b v s 10 10\n", random);
    RandomGenerator expected(1);
    ASSERT_EQ(graph.Nodes().size(), 2u);
    for (const auto& node : graph.Nodes()) {
        int y = expected.Next() % 500;
        int x = expected.Next() % 500;
        ASSERT_NE(x, y);  // so the order of the draws shows
        EXPECT_EQ(node->Box().TopLeft(), (Point{x, y}));
    }
}

TEST(ReadGraphFile, RandomPositionsStayBelowFiveHundred) {
    SiteGraph graph;
    RandomGenerator random(99);
    std::string text;
    for (int id = 1; id <= 300; ++id) text += "n " + std::to_string(id) + " l u\n";
    ReadText(graph, text, random);
    ASSERT_EQ(graph.Nodes().size(), 300u);
    for (const auto& node : graph.Nodes()) {
        Point at = node->Box().TopLeft();
        EXPECT_GE(at.x, 0);
        EXPECT_LT(at.x, 500);
        EXPECT_GE(at.y, 0);
        EXPECT_LT(at.y, 500);
    }
}

TEST(ReadGraphFile, NodeWithoutSizeIs70By30UntilFitted) {
    SiteGraph graph;
    ReadText(graph, "n 1 a u p 5 6\n");
    ASSERT_EQ(graph.Nodes().size(), 1u);
    EXPECT_EQ(graph.Nodes()[0]->Box(), Rectangle({5, 6}, {70, 30}));
}

TEST(ReadGraphFile, NumbersAreReadAsFloatingPointAndTruncatedTowardZero) {
    SiteGraph graph;
    ReadText(graph, "n 1 a u p 12.9 -3.7 s 40.5 2e1\nn 2 b v\ne 1 2 b 1.9 -1.9 b 1e2 .5\n");
    ASSERT_EQ(graph.Nodes().size(), 2u);
    EXPECT_EQ(graph.Nodes()[0]->Box(), Rectangle({12, -3}, {40, 20}));
    ASSERT_EQ(graph.Edges().size(), 1u);
    const auto& bends = graph.Edges()[0]->bends;
    ASSERT_EQ(bends.size(), 2u);
    EXPECT_EQ(bends[0].x, 1);
    EXPECT_EQ(bends[0].y, -1);
    EXPECT_EQ(bends[1].x, 100);
    EXPECT_EQ(bends[1].y, 0);
    EXPECT_FALSE(bends[0].automatic);
}

TEST(ReadGraphFile, AnyWhiteSpaceSeparatesFieldsIncludingCarriageReturns) {
    SiteGraph graph;
    ReadText(graph, "  n\t4  lab\turl p 1 2 s 3 4\r\n\r\ne 4 4 d\r\n");
    ASSERT_EQ(graph.Nodes().size(), 1u);
    EXPECT_EQ(graph.Nodes()[0]->label, "lab");
    EXPECT_EQ(graph.Nodes()[0]->url, "url");
    EXPECT_EQ(graph.Nodes()[0]->Box(), Rectangle({1, 2}, {3, 4}));
    ASSERT_EQ(graph.Edges().size(), 1u);
    EXPECT_TRUE(graph.Edges()[0]->straight);
}

TEST(ReadGraphFile, LabelHoldingABlankReadsBackAsItsFirstWord) {
    SiteGraph graph;
    AddNode(graph, 1, "two words", Rectangle({30, 40}, {70, 30}));
    SiteGraph copy;
    ReadText(copy, WriteText(graph));
    ASSERT_EQ(copy.Nodes().size(), 1u);
    EXPECT_EQ(copy.Nodes()[0]->label, "two");
    EXPECT_EQ(copy.Nodes()[0]->url, "words");
    EXPECT_EQ(copy.Nodes()[0]->Box(), Rectangle({30, 40}, {70, 30}));  // p and s still found
}

TEST(ReadGraphFile, RepeatedAndReverseEdgesMerge) {
    SiteGraph graph;
    ReadText(graph, "n 1 a u\nn 2 b v\ne 1 2\ne 1 2 d\ne 2 1 b 3 3\n");
    ASSERT_EQ(graph.Edges().size(), 1u);
    const GraphEdge& edge = *graph.Edges()[0];
    EXPECT_EQ(edge.source->id, 1);
    EXPECT_TRUE(edge.bothWays);
    EXPECT_FALSE(edge.straight);
    EXPECT_TRUE(edge.bends.empty());
}

TEST(ReadGraphFile, UnknownRecordsAndTokensAreSkipped) {
    SiteGraph graph;
    ReadText(graph, "x 1 a u\n# n 2 a u\nnode 3 a u\nN 4 a u\n"
                    "n 5 a u q 1 p 7 8 zz s 9 10 extra\nn 6 b v\ne 5 6 zz d q b 1 2 9\n");
    ASSERT_EQ(graph.Nodes().size(), 2u);
    EXPECT_EQ(graph.Nodes()[0]->id, 5);
    EXPECT_EQ(graph.Nodes()[0]->Box(), Rectangle({7, 8}, {9, 10}));
    ASSERT_EQ(graph.Edges().size(), 1u);
    EXPECT_TRUE(graph.Edges()[0]->straight);
    ASSERT_EQ(graph.Edges()[0]->bends.size(), 1u);
    EXPECT_EQ(graph.Edges()[0]->bends[0].x, 1);
}

TEST(ReadGraphFile, RecordsWithMissingFieldsAddNothing) {
    SiteGraph graph;
    ReadText(graph, "n\nn 1\nn 1 a\ne\ne 1\n\n   \n");
    EXPECT_TRUE(graph.Nodes().empty());
    EXPECT_TRUE(graph.Edges().empty());
    EXPECT_EQ(graph.MaxNodeId(), 0);
}

TEST(ReadGraphFile, IncompletePairsAreIgnored) {
    SiteGraph graph;
    RandomGenerator random(5);
    ReadText(graph, "n 1 a u s 11 12 p 5\nn 2 b v\ne 1 2 b 4\n", random);
    ASSERT_EQ(graph.Nodes().size(), 2u);
    RandomGenerator expected(5);
    int y = expected.Next() % 500;
    int x = expected.Next() % 500;
    EXPECT_EQ(graph.Nodes()[0]->Box(), Rectangle({x, y}, {11, 12}));
    ASSERT_EQ(graph.Edges().size(), 1u);
    EXPECT_TRUE(graph.Edges()[0]->bends.empty());
}

TEST(ReadGraphFile, NonNumericAndHugeNumbersAreHeld) {
    SiteGraph graph;
    ReadText(graph,
             "n abc a u p foo 1e999 s -5 1e400\n"
             "n 99999999999 b v p -1e999 1e-999 s nan inf\n"
             "n -99999999999 c w\n"
             "n 12abc d x p 3x 4y\n");
    ASSERT_EQ(graph.Nodes().size(), 4u);
    const auto& nodes = graph.Nodes();
    EXPECT_EQ(nodes[0]->id, 0);
    EXPECT_EQ(nodes[0]->Box().TopLeft(), (Point{0, kCoordLimit}));
    EXPECT_EQ(nodes[0]->Box().Width(), 0);
    EXPECT_EQ(nodes[0]->Box().Height(), kCoordLimit);
    EXPECT_EQ(nodes[1]->id, INT32_MAX);
    EXPECT_EQ(nodes[1]->Box().TopLeft(), (Point{-kCoordLimit, 0}));
    EXPECT_EQ(nodes[1]->Box().Width(), 0);
    EXPECT_EQ(nodes[1]->Box().Height(), kCoordLimit);
    EXPECT_EQ(nodes[2]->id, INT32_MIN);
    EXPECT_EQ(nodes[3]->id, 12);
    EXPECT_EQ(nodes[3]->Box().TopLeft(), (Point{3, 4}));
    EXPECT_EQ(graph.MaxNodeId(), INT32_MAX);
}

TEST(ReadGraphFile, EdgesToUnknownIdsAreDropped) {
    SiteGraph graph;
    ReadText(graph, "n 1 a u\nn 2 b v\ne 1 3\ne 3 1\ne x 2\ne 1 2\n");
    ASSERT_EQ(graph.Edges().size(), 1u);
    EXPECT_EQ(graph.Edges()[0]->target->id, 2);
}

TEST(ReadGraphFile, EdgesOfADuplicateIdGoToItsFirstNode) {
    SiteGraph graph;
    ReadText(graph, "n 1 first u\nn 1 second v\nn 2 b w\ne 2 1\n");
    ASSERT_EQ(graph.Nodes().size(), 3u);
    ASSERT_EQ(graph.Edges().size(), 1u);
    EXPECT_EQ(graph.Edges()[0]->target->label, "first");
}

TEST(ReadGraphFile, BinaryGarbageDoesNotStopTheLinesAfterIt) {
    std::string text;
    RandomGenerator random(3);
    for (int i = 0; i < 5000; ++i) text += static_cast<char>(random.Next() & 0xFF);
    text += std::string("\0\xff\x01 n", 5);
    text += "\nn 4242 good http://h/good p 1 2\n";
    SiteGraph graph;
    ReadText(graph, text);
    GraphNode* good = graph.FindNode(4242);
    ASSERT_NE(good, nullptr);
    EXPECT_EQ(good->label, "good");
    EXPECT_EQ(good->Box().TopLeft(), (Point{1, 2}));
}

TEST(LoadGraphFile, StoredSizesGiveWayToFittedOnesWhilePositionsStay) {
    TempDir dir;
    WriteWholeFile(dir.File("g.gra"), "n 1 abcdefgh u p 100 200 s 5 5\nn 2 ab v p -7 8\n");
    SiteGraph graph;
    RandomGenerator random;
    ASSERT_TRUE(LoadGraphFile(graph, dir.File("g.gra"), TestMeasure(), random));
    ASSERT_EQ(graph.Nodes().size(), 2u);
    // 20 x 1.2 + max(label, "hallo") at 10 pixels a character; icon height + 2.
    EXPECT_EQ(graph.Nodes()[0]->Box(), Rectangle({100, 200}, {24 + 80, 20}));
    EXPECT_EQ(graph.Nodes()[1]->Box(), Rectangle({-7, 8}, {24 + 50, 20}));
}

TEST(LoadGraphFile, LoadingIntoAnOpenGraphAddsToItAndRaisesMaxNodeId) {
    TempDir dir;
    WriteWholeFile(dir.File("g.gra"), "n 5 e u p 0 0\nn 9 f v p 0 0\ne 5 9\n");
    SiteGraph graph;
    GraphNode* a = AddNode(graph, 1, "a", Rectangle({0, 0}, {70, 30}));
    GraphNode* b = AddNode(graph, 2, "b", Rectangle({0, 0}, {70, 30}));
    AddEdge(graph, a, b);
    RandomGenerator random;
    ASSERT_TRUE(LoadGraphFile(graph, dir.File("g.gra"), TestMeasure(), random));
    ASSERT_EQ(graph.Nodes().size(), 4u);
    EXPECT_EQ(graph.Nodes()[0].get(), a);
    EXPECT_EQ(graph.Nodes()[2]->id, 5);
    EXPECT_EQ(graph.MaxNodeId(), 9);
    ASSERT_EQ(graph.Edges().size(), 2u);
    EXPECT_EQ(graph.Edges()[1]->source->id, 5);
}

TEST(LoadGraphFile, FileEdgesLinkTheFilesOwnNodesWhereIdsRepeat) {
    TempDir dir;
    WriteWholeFile(dir.File("g.gra"), "n 1 c u p 0 0\nn 2 d v p 0 0\ne 1 2\ne 3 1\n");
    SiteGraph graph;
    GraphNode* a = AddNode(graph, 1, "a", Rectangle({0, 0}, {70, 30}));
    AddNode(graph, 2, "b", Rectangle({0, 0}, {70, 30}));
    GraphNode* shown3 = AddNode(graph, 3, "x", Rectangle({0, 0}, {70, 30}));
    AddEdge(graph, a, graph.Nodes()[1].get());
    RandomGenerator random;
    ASSERT_TRUE(LoadGraphFile(graph, dir.File("g.gra"), TestMeasure(), random));
    ASSERT_EQ(graph.Edges().size(), 3u);
    EXPECT_EQ(graph.Edges()[1]->source->label, "c");
    EXPECT_EQ(graph.Edges()[1]->target->label, "d");
    EXPECT_FALSE(graph.Edges()[0]->bothWays);
    // An id the file does not define is found among the nodes already shown.
    EXPECT_EQ(graph.Edges()[2]->source, shown3);
    EXPECT_EQ(graph.Edges()[2]->target->label, "c");
}

TEST(LoadGraphFile, MissingFileReadsAsEmpty) {
    TempDir dir;
    SiteGraph graph;
    AddNode(graph, 1, "a", Rectangle({0, 0}, {70, 30}));
    RandomGenerator random;
    EXPECT_FALSE(LoadGraphFile(graph, dir.File("none.gra"), TestMeasure(), random));
    EXPECT_EQ(graph.Nodes().size(), 1u);
    EXPECT_TRUE(graph.Edges().empty());
}

TEST(LoadGraphFile, BusyPointerIsShownWhileReading) {
    TempDir dir;
    WriteWholeFile(dir.File("g.gra"), "n 1 a u\n");
    SiteGraph graph;
    std::vector<bool> calls;
    size_t nodesWhenShown = 99;
    graph.busyPointer = [&](bool busy) {
        calls.push_back(busy);
        if (busy) nodesWhenShown = graph.Nodes().size();
    };
    RandomGenerator random;
    LoadGraphFile(graph, dir.File("g.gra"), TestMeasure(), random);
    EXPECT_EQ(calls, (std::vector<bool>{true, false}));
    EXPECT_EQ(nodesWhenShown, 0u);
}

TEST(LoadGraphFile, SaveLoadSaveGivesTheSameFile) {
    TempDir dir;
    SiteGraph graph;
    int32_t counter = 0;
    GraphNode* root = graph.CreateUrlNode("http://h/", "/", false, counter);
    GraphNode* page = graph.CreateUrlNode("http://h/docs/intro.html", "/docs/intro.html", true, counter);
    GraphNode* far = graph.CreateUrlNode("http://other/averyveryverylongname.html",
                                         "/averyveryverylongname.html", true, counter);
    GraphNode* mail = graph.CreateUrlNode("mailto:someone@h", "/someone@h", true, counter);
    graph.LinkUrlNodes(root, page);
    graph.LinkUrlNodes(page, root);
    graph.LinkUrlNodes(root, far)->straight = true;
    graph.LinkUrlNodes(page, mail)->bends = {{10, 20, false}, {30, 40, true}, {-50, 60, false}};
    root->MoveTo({-10, 5});
    page->MoveTo({300, 400});
    far->MoveTo({2000, 7});
    FitNodeSizes(graph, TestMeasure());
    ASSERT_TRUE(SaveGraphFile(graph, dir.File("first.gra")));

    SiteGraph loaded;
    RandomGenerator random;
    ASSERT_TRUE(LoadGraphFile(loaded, dir.File("first.gra"), TestMeasure(), random));
    ASSERT_TRUE(SaveGraphFile(loaded, dir.File("second.gra")));
    std::string first = ReadWholeFile(dir.File("first.gra"));
    EXPECT_EQ(ReadWholeFile(dir.File("second.gra")), first);
    EXPECT_EQ(loaded.Nodes().size(), 4u);
    EXPECT_EQ(loaded.Edges().size(), 3u);
    EXPECT_NE(first.find("e 2 4 b 10 20 b -50 60 \n"), std::string::npos) << first;
}
