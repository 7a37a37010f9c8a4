// Layout of site-like graphs (a link tree plus cross links) and single steps
// of the relaxation. Targets: 10,000 nodes laid out in under 1 s, 100,000 in
// under 10 s, one relaxation step of 1,000 nodes in under 20 ms.
#include "viewer/graph/GraphLayout.h"
#include "viewer/graph/NodeSizes.h"
#include "viewer/graph/ProgramRandom.h"
#include "viewer/graph/Relaxation.h"
#include "viewer/graph/SiteGraph.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

int RandomBelow(RandomGenerator& random, int bound) {
    return static_cast<int>(((static_cast<int64_t>(random.Next()) << 15) | random.Next()) % bound);
}

// Pages link to a handful of children (a tree from the start page), and
// about half as many links again go across: back to pages near the top, or
// sideways to pages nearby.
std::unique_ptr<SiteGraph> MakeSite(int nodes) {
    auto graph = std::make_unique<SiteGraph>();
    RandomGenerator random(2024);
    int32_t counter = 0;
    std::vector<GraphNode*> pages;
    pages.reserve(nodes);
    for (int i = 0; i < nodes; ++i) {
        std::string path = "/section" + std::to_string(i % 37) + "/page" + std::to_string(i) + ".html";
        pages.push_back(graph->CreateUrlNode("http://site" + path, path, i > 0, counter));
        if (i > 0) graph->LinkUrlNodes(pages[RandomBelow(random, i) / 2 + (i - 1) / 2], pages[i]);
    }
    for (int i = 0; i < nodes / 2; ++i) {
        GraphNode* from = pages[RandomBelow(random, nodes)];
        int near = std::max(0, static_cast<int>(from->id) - 1 - 50);
        GraphNode* to = random.Next() % 2 ? pages[RandomBelow(random, std::min(nodes, 20))]
                                          : pages[near + RandomBelow(random, std::min(100, nodes - near))];
        graph->LinkUrlNodes(from, to);
    }
    FitNodeSizes(*graph, HeadlessNodeMeasure());
    return graph;
}

void BM_GraphLayout(benchmark::State& state) {
    auto graph = MakeSite(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        bool ok = LayoutSiteGraph(*graph);
        benchmark::DoNotOptimize(ok);
    }
    state.counters["nodes"] = static_cast<double>(graph->Nodes().size());
    state.counters["edges"] = static_cast<double>(graph->Edges().size());
}
BENCHMARK(BM_GraphLayout)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_RelaxationStep(benchmark::State& state) {
    auto graph = MakeSite(static_cast<int>(state.range(0)));
    LayoutSiteGraph(*graph);
    RandomGenerator random;
    for (auto _ : state) RelaxationStep(*graph, random);
    state.counters["nodes"] = static_cast<double>(graph->Nodes().size());
}
BENCHMARK(BM_RelaxationStep)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
