#include "viewer/graph/GraphFile.h"

#include "testsupport/TempDir.h"
#include "viewer/graph/SiteGraph.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// What was read: a line per node ("id label url left,top wxh") and edge
// ("e source target", "d" when straight, "*" for bothWays, "b x,y" per bend).
void ReadInto(SiteGraph& graph, const std::string& text) {
    RandomGenerator random(1);
    std::istringstream in(text);
    GraphFileReader(graph, random).ReadAll(in);
}

std::string Read(const std::string& text) {
    SiteGraph graph;
    ReadInto(graph, text);
    std::ostringstream out;
    for (const auto& node : graph.Nodes())
        out << node->id << ' ' << node->label << ' ' << node->url << ' ' << node->Box().left << ',' << node->Box().top
            << ' ' << node->Box().Width() << 'x' << node->Box().Height() << '\n';
    for (const auto& edge : graph.Edges()) {
        out << "e " << edge->source->label << ' ' << edge->target->label << (edge->straight ? " d" : "")
            << (edge->bothWays ? " *" : "");
        for (const BendPoint& bend : edge->bends) out << " b " << bend.x << ',' << bend.y << (bend.automatic ? "a" : "");
        out << '\n';
    }
    return out.str();
}

}  // namespace

TEST(GraphFile, WritesNodeLinesThenEdgeLinesWithoutAutomaticBends) {
    SiteGraph graph;
    auto add = [&](int32_t id, const std::string& label, Rectangle box) {
        return graph.AddNode(std::make_unique<GraphNode>(id, label, "http://h/" + label, box));
    };
    GraphNode* a = add(3, "start", Rectangle({10, -20}, {70, 30}));
    GraphNode* b = add(7, "next", Rectangle({100, 200}, {0, 0}));
    GraphNode* c = add(9, "two words", Rectangle({1, 2}, {3, 4}));
    graph.LinkUrlNodes(a, b);
    graph.LinkUrlNodes(b, c)->straight = true;
    GraphEdge* bent = graph.LinkUrlNodes(c, a);
    bent->bends = {{1, 1, true}, {10, 20, false}, {2, 2, true}, {-5, 6, false}};
    TempDir dir("viewer-graph");
    ASSERT_TRUE(SaveGraphFile(graph, dir.file("g.gra")));
    EXPECT_EQ(read_file(dir.file("g.gra")),
              "n 3 start http://h/start p 10 -20 s 70 30 k 0\nn 7 next http://h/next p 100 200 s 0 0 k 0\n"
              "n 9 two words http://h/two words p 1 2 s 3 4 k 0\ne 3 7 \ne 7 9 d \ne 9 3 b 10 20 b -5 6 \n");
    EXPECT_EQ(bent->bends.size(), 2u);  // the automatic ones are gone from the edge too
    EXPECT_FALSE(SaveGraphFile(graph, dir.file("missing/g.gra")));
}

TEST(GraphFile, ReadsGoodAndBadLines) {
    const std::pair<std::string, const char*> cases[] = {
        // No position: random, y drawn first; no size: 70 x 30.
        {"n 1 a u\nn 2 b v s 10 10\n", "1 a u 467,41 70x30\n2 b v 0,334 10x10\n"},
        // Numbers as floating point, truncated toward zero.
        {"n 1 a u p 12.9 -3.7 s 40.5 2e1\nn 2 b v p 0 0\ne 1 2 b 1.9 -1.9 b 1e2 .5\n",
         "1 a u 12,-3 40x20\n2 b v 0,0 70x30\ne a b b 1,-1 b 100,0\n"},
        {"  n\t4  lab\turl p 1 2 s 3 4\r\n\r\ne 4 4 d\r\n", "4 lab url 1,2 3x4\ne lab lab d\n"},  // any white space
        {"n 1 two words p 30 40 s 70 30\n", "1 two words 30,40 70x30\n"},  // a label is one word
        {"n 1 a u p 0 0\nn 2 b v p 0 0\ne 1 2\ne 1 2 d\ne 2 1 b 3 3\n", "1 a u 0,0 70x30\n2 b v 0,0 70x30\ne a b *\n"},
        // Unknown records and tokens are skipped, so are records with fields missing and incomplete pairs.
        {"x 1 a u\n# n 2 a u\nnode 3 a u\nN 4 a u\nn 5 a u q 1 p 7 8 zz s 9 10 extra\nn 6 b v p 0 0\ne 5 6 zz d q b 1 2 9\n",
         "5 a u 7,8 9x10\n6 b v 0,0 70x30\ne a b d b 1,2\n"},
        {"n\nn 1\nn 1 a\ne\ne 1\n\n   \n", ""},
        {"n 1 a u s 11 12 p 5\nn 2 b v p 0 0\ne 1 2 b 4\n", "1 a u 467,41 11x12\n2 b v 0,0 70x30\ne a b\n"},
        // Non-numeric and huge numbers are held.
        {"n abc a u p foo 1e999 s -5 1e400\nn 99999999999 b v p -1e999 1e-999 s nan inf\nn -99999999999 c w p 0 0\n"
         "n 12abc d x p 3x 4y\n",
         "0 a u 0,268435456 0x268435456\n2147483647 b v -268435456,0 0x268435456\n-2147483648 c w 0,0 70x30\n"
         "12 d x 3,4 70x30\n"},
        // Links to unknown ids are dropped; a repeated id links its first node.
        {"n 1 a u p 0 0\nn 2 b v p 0 0\ne 1 3\ne 3 1\ne x 2\ne 1 2\n", "1 a u 0,0 70x30\n2 b v 0,0 70x30\ne a b\n"},
        {"n 1 a u p 0 0\nn 1 b v p 0 0\ne 1 1\n", "1 a u 0,0 70x30\n1 b v 0,0 70x30\ne a a\n"},
        // Binary garbage does not stop the lines after it.
        {std::string("\x7f" "ELF\x02\x01\x01\x00\xff\x01 n\n", 13) + "n 42 good u p 1 2\n", "42 good u 1,2 70x30\n"},
    };
    for (const auto& [text, read] : cases) EXPECT_EQ(Read(text), read) << text;
}

// Kinds and the start mark read back as written; files without them get
// kinds from the URL's scheme, and bad kind tokens are ignored.
TEST(GraphFile, KindsAndTheStartNodeSurviveAndOlderFilesGetKindsFromTheirScheme) {
    SiteGraph written;
    int32_t ids = 0;
    for (auto [url, kind] : {std::pair{"http://h/", NodeKind::Html}, {"http://h/a.gif", NodeKind::Image},
                             {"mailto:k@h", NodeKind::Mailto}, {"http://h/x", NodeKind::NotFound}})
        written.CreateUrlNode(url, "start", ids > 0, ids)->kind = kind;
    std::ostringstream text;
    WriteGraphText(written, text);
    const std::pair<std::string, std::string> cases[] = {
        {text.str(), "14* 17 4 10"},
        {"n 1 a http://h/\nn 2 b mailto:x\nn 3 c FTP://h/f\nn 4 d news:g\nn 5 e javascript:go()\n"
         "n 6 f gopher://h/\nn 7 g https://h/\nn 8 h no-scheme\n", "0 4 3 6 7 5 0 0"},
        {"n 1 k http://h/ k 99\nn 2 start mailto:x k -1 start\nn 3 c u k 15 k 17\nn 4 d u k 14 k x\n"
         "n 5 e u k 1e1 start\nn 6 f u k\n", "0 4* 17 14 0 0"},
    };
    for (const auto& [file, kinds] : cases) {
        SiteGraph graph;
        ReadInto(graph, file);
        std::string read;
        for (const auto& node : graph.Nodes())
            read += (read.empty() ? "" : " ") + std::to_string(static_cast<int>(node->kind)) +
                    (node.get() == graph.RootNode() && node->isRoot ? "*" : "");
        EXPECT_EQ(read, kinds) << file;
    }
}

TEST(GraphFile, LoadingAddsToTheOpenGraphAndFitsTheSizes) {
    TempDir dir("viewer-graph");
    write_file(dir.file("g.gra"), "n 1 abcdefgh u p 100 200 s 5 5\nn 2 ab v p -7 8\ne 1 2\ne 3 1\n");
    SiteGraph graph;
    GraphNode* shown = graph.AddNode(std::make_unique<GraphNode>(1, "x", "u", Rectangle({0, 0}, {70, 30})));
    GraphNode* shown3 = graph.AddNode(std::make_unique<GraphNode>(3, "y", "u", Rectangle({0, 0}, {70, 30})));
    std::string busy;
    graph.busyPointer = [&](bool on) { busy += on ? std::to_string(graph.Nodes().size()) : "-"; };
    // Labels 10 pixels a character; a 20 x 18 icon.
    ASSERT_TRUE(LoadGraphFile(graph, dir.file("g.gra"), NodeMeasure::Fixed(10, {20, 18})));
    EXPECT_EQ(busy, "2-");  // the busy pointer is shown before the first line is read
    ASSERT_TRUE(graph.Nodes().size() == 4 && graph.MaxNodeId() == 3);
    // 20 x 1.2 + the wider of label and "hallo"; the icon's height + 2.
    EXPECT_EQ(graph.Nodes()[2]->Box(), Rectangle({100, 200}, {24 + 80, 20}));
    EXPECT_EQ(graph.Nodes()[3]->Box(), Rectangle({-7, 8}, {24 + 50, 20}));
    // The file's own nodes link first; an id the file lacks is found among those shown.
    ASSERT_EQ(graph.Edges().size(), 2u);
    EXPECT_TRUE(graph.Edges()[0]->source == graph.Nodes()[2].get() && graph.Edges()[1]->source == shown3);
    EXPECT_TRUE(shown->edges.empty() && shown->Box().Height() == 20);
    EXPECT_TRUE(!LoadGraphFile(graph, dir.file("none.gra"), HeadlessNodeMeasure()) && graph.Nodes().size() == 4);
}
