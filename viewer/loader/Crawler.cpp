#include "viewer/loader/Crawler.h"

#include "foundation/Str.h"
#include "viewer/graph/SiteGraph.h"
#include "viewer/loader/CrawlControl.h"

#include <algorithm>

std::string Crawler::Key(const std::string& urlText) {
    std::string key(urlText);
    for (char& c : key) c = static_cast<char>(Str::lower(static_cast<unsigned char>(c)));
    return key;
}

GraphNode* Crawler::NodeForUrl(const std::string& urlText) const {
    auto it = urlNodes_.find(Key(urlText));
    return it == urlNodes_.end() ? nullptr : it->second;
}

GraphNode* Crawler::CreateUrlNode(const SiteUrl& url, bool hasReferrer) {
    const std::string text = NodeText(url);
    GraphNode* node = graph_.CreateUrlNode(text, url.Path(), hasReferrer, idCounter_);
    if (node) urlNodes_[Key(text)] = node;
    return node;
}

void Crawler::ForgetNode(const GraphNode* node) {
    for (auto it = urlNodes_.begin(); it != urlNodes_.end();) {
        if (it->second == node)
            it = urlNodes_.erase(it);
        else
            ++it;
    }
}

bool Crawler::MarkEmbeddedQueued(const std::string& urlText) {
    return embeddedQueued_.insert(Key(urlText)).second;
}

void Crawler::PrepareJob() {
    for (const auto& node : graph_.Nodes()) node->level = -1;
    idCounter_ = graph_.MaxNodeId();
}

LoadJobResult Crawler::RunLoadJob(const LoadSettings& settings, LoadProgress& progress,
                                  const ProxyAddress& proxy) {
    PrepareJob();
    lastSettings_ = settings;
    hasRun_ = true;
    CrawlControl job(*this, settings, progress, proxy);
    return job.Run();
}

std::string LoadSummary(const LoadJobResult& result, const SiteGraph& graph) {
    int notFollowed = 0;
    for (const auto& node : graph.Nodes())
        notFollowed += node->kind == NodeKind::OtherServer || node->kind == NodeKind::SameServer;
    int others = std::max(result.documentsLoaded - result.pagesScanned, 0);
    return "Documents loaded: " + std::to_string(result.documentsLoaded) + " (HTML pages: " +
           std::to_string(result.pagesScanned) + ", other documents: " + std::to_string(others) +
           "). Links drawn but not followed: " + std::to_string(notFollowed) +
           ". Problems: " + std::to_string(result.problems) + ".";
}

std::string StartFailure(const LoadJobResult& result) {
    if (result.startLoaded) return std::string();
    std::string why = result.startResult.empty() ? "it was not reached" : result.startResult;
    return "The start page could not be loaded: " + why + ".";
}
