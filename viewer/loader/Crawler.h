// The crawler of one graph window: the URL dictionary and the set of queued
// embedded objects, shared by every load job run into that window, so that
// nodes carry over from one job to the next.
#pragma once

#include "viewer/loader/LoadProgress.h"
#include "viewer/loader/LoadSettings.h"
#include "viewer/loader/ProxyAddress.h"
#include "viewer/loader/SiteUrl.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>

class GraphNode;
class SiteGraph;

struct LoadJobResult {
    int documentsChecked = 0;  // HEAD answers received
    int documentsLoaded = 0;   // GET answers received (pages and embedded objects)
    int pagesScanned = 0;      // HTML pages whose links were read
    int problems = 0;          // messages posted
    bool stopped = false;      // told to stop before the end
    bool limitReached = false; // the most documents a job may load were loaded
    bool startLoaded = false;  // the start page was loaded (or redirected on)
    std::string startResult;   // its status line or why it failed
    // What the loaded documents take in the proxy's cache: each is a file of
    // its head and body, counted in whole 4 KB disk blocks as the proxy does.
    uint64_t cacheBytes = 0;
    uint64_t largestDocument = 0; // head and body bytes of the largest one
    std::string cacheAdvice;      // when the proxy's cache cannot hold the job: what to raise
};

// What a job came to, in one line: documents loaded (pages and others),
// links drawn but not followed, problems.
std::string LoadSummary(const LoadJobResult& result, const SiteGraph& graph);
// "The start page could not be loaded: " and why; empty when it was.
std::string StartFailure(const LoadJobResult& result);

class Crawler {
public:
    // Documents in progress at once.
    static constexpr int kMaxActive = 12;

    explicit Crawler(SiteGraph& graph) : graph_(graph) {}
    Crawler(const Crawler&) = delete;
    Crawler& operator=(const Crawler&) = delete;

    // Runs one job into the graph until it ends or is told to stop; posts
    // the end to progress.
    LoadJobResult RunLoadJob(const LoadSettings& settings, LoadProgress& progress, const ProxyAddress& proxy);

    SiteGraph& Graph() { return graph_; }
    // The choices of the last job run into this graph (null before the
    // first): a further job into the window starts from them.
    const LoadSettings* LastSettings() const { return hasRun_ ? &lastSettings_ : nullptr; }

    // The node of a URL (full text, compared without case), or null.
    GraphNode* NodeForUrl(const std::string& urlText) const;
    // A new node for the URL, entered in the dictionary; without a referrer
    // it becomes the graph's root.
    GraphNode* CreateUrlNode(const SiteUrl& url, bool hasReferrer);
    // The window removed the node: its URL no longer has one.
    void ForgetNode(const GraphNode* node);
    // Enters the URL in the set of queued embedded objects; false when it
    // was there already.
    bool MarkEmbeddedQueued(const std::string& urlText);

    // Every node to level -1 and the id counter to the graph's largest id.
    void PrepareJob();

    static std::string Key(const std::string& urlText);
    // The text a node of the URL carries: an invalid address keeps the
    // reference it was made from, so that each bad link is a node of its own.
    static std::string NodeText(const SiteUrl& url) { return url.Valid() ? url.Text() : url.Reference(); }

private:
    SiteGraph& graph_;
    std::unordered_map<std::string, GraphNode*> urlNodes_;
    std::unordered_set<std::string> embeddedQueued_;
    int32_t idCounter_ = 0;
    LoadSettings lastSettings_;
    bool hasRun_ = false;
};
