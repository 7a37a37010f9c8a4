// One load job: walks a site from its start URL, at most 12 documents at a
// time. Each document is decided (load it, or only draw it), checked with
// HEAD, loaded with GET when it is an HTML page, and finished: its node gets
// its level, its edge and its description, and its links are queued.
//
// Pages go first-in first-out, so a page is first met with the most levels
// left. A page is loaded once per job; a link found again only adds an edge.
#pragma once

#include "viewer/graph/NodeKind.h"
#include "viewer/loader/Crawler.h"
#include "viewer/loader/LoadItem.h"
#include "viewer/loader/PageScanner.h"
#include "viewer/loader/UrlLoadJob.h"

#include <deque>
#include <memory>
#include <unordered_set>
#include <vector>

class CrawlControl : public LinkSink {
public:
    CrawlControl(Crawler& crawler, const LoadSettings& settings, LoadProgress& progress,
                 const ProxyAddress& proxy);
    CrawlControl(const CrawlControl&) = delete;
    CrawlControl& operator=(const CrawlControl&) = delete;

    LoadJobResult Run();

    void DecideItem(LoadItem& item);
    void ProcessAnswer(LoadItem& item);
    void FinishItem(LoadItem& item);

    void QueueLink(const SiteUrl& url, int32_t levels, int32_t otherLevels, const SiteUrl& referrer,
                   LinkKind kind) override;
    void QueueEmbedded(const SiteUrl& url) override;

private:
    bool Stopping() const { return progress_.StopRequested(); }
    // The job may choose one more document to load.
    bool DocumentAllowed();
    // Room in the queue: with a document limit, no more items wait than could be loaded.
    bool QueueHasRoom() const;
    bool Refused(LoadItem& item);
    void Queue(std::unique_ptr<LoadItem> item);
    void ActivateQueued();
    void StartRequests();
    void CollectAnswers();
    void CompleteFinished();
    void Complete(LoadItem* item);
    void ReportItemsLeft();

    void DecideEmbedded(LoadItem& item);
    void DecidePage(LoadItem& item);
    bool OnOtherComputer(const LoadItem& item) const;
    bool OutsideStartDirectory(const LoadItem& item) const;
    void SkipPage(LoadItem& item);

    void AfterCheck(LoadItem& item);
    void AfterLoad(LoadItem& item);
    void EvaluateStatus(LoadItem& item);
    void QueueRedirect(const LoadItem& item);
    void TakeAnswer(LoadItem& item, UrlConnection& connection);
    void LoadFailed(LoadItem& item, NodeKind kind);
    GraphNode* ReferrerNode(const LoadItem& item) const;

    Crawler& crawler_;
    const LoadSettings& settings_;
    LoadProgress& progress_;
    UrlLoadJob net_;
    SiteUrl startUrl_;

    std::deque<std::unique_ptr<LoadItem>> queue_;
    std::vector<std::unique_ptr<LoadItem>> active_;
    std::vector<int> freeLines_;
    // Nodes chosen for loading in this job.
    std::unordered_set<const GraphNode*> chosen_;
    int32_t documentsChosen_ = 0;
    LoadJobResult result_;
    int lastItemsLeft_ = -1;
    int itemsDone_ = 0;
    int lastItemsDone_ = -1;
};
