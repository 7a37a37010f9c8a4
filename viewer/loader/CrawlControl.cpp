#include "viewer/loader/CrawlControl.h"

#include "foundation/Fail.h"
#include "viewer/graph/NodeKind.h"
#include "viewer/graph/SiteGraph.h"
#include "viewer/loader/LoaderTexts.h"
#include "viewer/loader/NodeInfo.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr char kHttp[] = "http";
constexpr char kHttps[] = "https";

// The schemes whose documents are loaded (through the proxy).
bool IsWebScheme(const std::string& scheme) {
    return scheme == kHttp || scheme == kHttps;
}
// The proxy's own pages: a link there may change the proxy, so the crawler
// only draws it (its own mode switch does not go through the crawl).
constexpr char kAdminHost[] = "quaylo";
constexpr uint64_t kDiskBlock = 4096;

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool IsHtml(const std::string& contentType) {
    return Lower(contentType).find("html") != std::string::npos;
}

int32_t AddOne(int32_t value) {
    return value < INT32_MAX ? value + 1 : value;
}

// Kind of a document that is drawn but not loaded, by its scheme.
NodeKind KindOfScheme(const std::string& scheme, bool otherComputer) {
    if (IsWebScheme(scheme)) return otherComputer ? NodeKind::OtherServer : NodeKind::SameServer;
    return NodeKindOfScheme(scheme);
}

NodeKind KindOfStatus(int32_t status) {
    if (status == 301) return NodeKind::Moved;
    if (status == 302) return NodeKind::Found;
    if (status >= 300 && status < 400) return NodeKind::Moved;
    if (status == 401 || status == 403) return NodeKind::Unauthorized;
    if (status == 404) return NodeKind::NotFound;
    if (status >= 400 && status < 500) return NodeKind::ClientError;
    if (status == 501) return NodeKind::ClientError;
    return NodeKind::ServerError;
}

bool IsAdminHost(const SiteUrl& url) {
    return Lower(url.Host()) == kAdminHost;
}

std::string StatusLine(const char* verb, const SiteUrl& url) {
    return verb + url.Text() + loader_text::kEllipsis;
}

}  // namespace

CrawlControl::CrawlControl(Crawler& crawler, const LoadSettings& settings, LoadProgress& progress,
                           const ProxyAddress& proxy)
    : crawler_(crawler), settings_(settings), progress_(progress),
      net_(proxy, [&progress] { return progress.StopRequested(); }) {
    net_.SetAnswerTimeout(settings.answerTimeout);
    net_.SetDocumentDeadline(settings.documentDeadline);
    for (int line = LoadProgress::kLines - 1; line >= 0; line--) freeLines_.push_back(line);
}

LoadJobResult CrawlControl::Run() {
    startUrl_ = SiteUrl(nullptr, settings_.StartUrlText());
    auto start = std::make_unique<LoadItem>();
    start->url = startUrl_;
    start->levels = settings_.EffectiveLevels();
    start->otherLevels = settings_.EffectiveOtherLevels();
    start->startItem = true;
    Queue(std::move(start));

    while ((!queue_.empty() || !active_.empty()) && !Stopping()) {
        ActivateQueued();
        StartRequests();
        if (Stopping()) break;
        net_.RunConnections();
        CollectAnswers();
        ReportItemsLeft();
    }
    result_.stopped = Stopping() && (!queue_.empty() || !active_.empty());
    for (const auto& item : active_)
        if (item->progressLine >= 0) progress_.SetLine(item->progressLine, std::string());
    queue_.clear();
    active_.clear();
    net_.CloseIdleConnections();
    progress_.End();
    return result_;
}

void CrawlControl::Queue(std::unique_ptr<LoadItem> item) {
    queue_.push_back(std::move(item));
}

void CrawlControl::ReportItemsLeft() {
    int left = static_cast<int>(queue_.size() + active_.size());
    if (itemsDone_ != lastItemsDone_) progress_.ItemsDone(lastItemsDone_ = itemsDone_);
    if (left == lastItemsLeft_) return;
    lastItemsLeft_ = left;
    progress_.ItemsLeft(left);
}

void CrawlControl::ActivateQueued() {
    while (static_cast<int>(active_.size()) < Crawler::kMaxActive && !queue_.empty()) {
        std::unique_ptr<LoadItem> owned = std::move(queue_.front());
        queue_.pop_front();
        LoadItem* item = owned.get();
        if (!freeLines_.empty()) {
            item->progressLine = freeLines_.back();
            freeLines_.pop_back();
        }
        active_.push_back(std::move(owned));
        DecideItem(*item);
        ProcessAnswer(*item);
        if (item->phase == LoadItem::Phase::Finished) Complete(item);
        ReportItemsLeft();
    }
}

void CrawlControl::StartRequests() {
    for (const auto& held : active_) {
        LoadItem& item = *held;
        if (item.connection || (!item.checkPending && !item.loadPending)) continue;
        const bool check = item.checkPending;
        item.checkPending = false;
        item.loadPending = false;
        item.connection = check ? net_.RequestCheck(item.url, &item) : net_.RequestLoad(item.url, &item);
        // Pages are read up to the scan limit; nobody reads an embedded object's body.
        if (item.connection && !check) item.connection->answer = AnswerCollector(kPageSizeLimit, !item.embedded);
        if (item.connection) {
            if (item.progressLine >= 0)
                progress_.SetLine(item.progressLine,
                                  StatusLine(check ? loader_text::kChecking : loader_text::kLoading, item.url));
            continue;
        }
        // The request could not even be made: a failed request like any other.
        item.failure = fail_take();
        ProcessAnswer(item);
    }
    CompleteFinished();
}

void CrawlControl::CollectAnswers() {
    for (const auto& held : active_) {
        LoadItem& item = *held;
        UrlConnection* connection = item.connection;
        if (!connection || !connection->Finished()) continue;
        const bool done = connection->state == UrlConnection::State::Done;
        if (item.phase == LoadItem::Phase::Checking) {
            item.checkOk = done;
        } else if (item.phase == LoadItem::Phase::Loading) {
            item.loadOk = done;
            item.checkOk = done;
        }
        TakeAnswer(item, *connection);
        net_.Release(connection);
        item.connection = nullptr;
        ProcessAnswer(item);
    }
    CompleteFinished();
}

void CrawlControl::CompleteFinished() {
    std::vector<LoadItem*> finished;
    for (const auto& item : active_)
        if (item->phase == LoadItem::Phase::Finished && !item->connection) finished.push_back(item.get());
    for (LoadItem* item : finished) Complete(item);
}

void CrawlControl::Complete(LoadItem* item) {
    FinishItem(*item);
    itemsDone_++;
    auto it = std::find_if(active_.begin(), active_.end(), [item](const auto& held) { return held.get() == item; });
    if (it != active_.end()) active_.erase(it);
}

void CrawlControl::TakeAnswer(LoadItem& item, UrlConnection& connection) {
    if (connection.state != UrlConnection::State::Done) {
        item.failure = connection.failure;
        return;
    }
    const URLAnswer& head = connection.answer.Head();
    item.answered = true;
    item.failure.clear();
    item.status = head.errorcode;
    item.reason.assign(head.reason.data(), head.reason.length());
    item.location.assign(head.location.data(), head.location.length());
    item.contentType.assign(head.content_type.data(), head.content_type.length());
    item.contentLength = head.content_length;
    item.lastModified = head.last_modified.specified() ? std::string(head.last_modified.to_Str().c_str()) : "";
    item.body = connection.answer.TakeBody();
    if (connection.cut) {
        result_.problems++;
        progress_.AddMessage(item.url.Text() + ": " + loader_text::kPageCut);
    }
    if (item.phase == LoadItem::Phase::Checking) result_.documentsChecked++;
    if (item.phase == LoadItem::Phase::Loading) {
        result_.documentsLoaded++;
        result_.cacheBytes += (connection.answer.Received() / kDiskBlock + 1) * kDiskBlock;
        result_.largestDocument = std::max<uint64_t>(result_.largestDocument, connection.answer.Received());
    }
}

GraphNode* CrawlControl::ReferrerNode(const LoadItem& item) const {
    return item.referrer ? crawler_.NodeForUrl(item.referrer->Text()) : nullptr;
}

// --- deciding -----------------------------------------------------------

void CrawlControl::DecideItem(LoadItem& item) {
    if (item.decided) return;
    item.decided = true;
    if (item.embedded)
        DecideEmbedded(item);
    else
        DecidePage(item);
}

void CrawlControl::DecideEmbedded(LoadItem& item) {
    if (IsWebScheme(item.url.Scheme()) && !IsAdminHost(item.url) && !Stopping() && !Refused(item) &&
        DocumentAllowed())
        item.loadWanted = true;
    else
        item.skip = true;
}

bool CrawlControl::DocumentAllowed() {
    if (settings_.maxDocuments > 0 && documentsChosen_ >= settings_.maxDocuments) {
        result_.limitReached = true;
        return false;
    }
    documentsChosen_++;
    return true;
}

// Some items in the queue will be skipped (other computers, mailto...), so it
// may hold a few more than could still be loaded, but never without bound.
bool CrawlControl::QueueHasRoom() const {
    if (settings_.maxDocuments <= 0) return true;
    constexpr int64_t kSlack = 1000;
    return static_cast<int64_t>(queue_.size()) <
           static_cast<int64_t>(settings_.maxDocuments) - documentsChosen_ + kSlack;
}

// Addresses that cannot be requested at all, with the reason posted.
bool CrawlControl::Refused(LoadItem& item) {
    const char* why = nullptr;
    if (item.url.HostIsIpv6())
        why = loader_text::kNoIpv6;
    else if (RequestUrlText(item.url.Text()).size() > kUrlLengthLimit)
        why = loader_text::kUrlTooLong;
    if (!why) return false;
    result_.problems++;
    progress_.AddMessage(item.url.Text().substr(0, 200) + ": " + why);
    return true;
}

bool CrawlControl::OnOtherComputer(const LoadItem& item) const {
    return item.referrer && item.referrer->Host() != item.url.Host();
}

bool CrawlControl::OutsideStartDirectory(const LoadItem& item) const {
    if (!item.referrer) return false;
    return Lower(item.url.Directory()).rfind(Lower(startUrl_.Directory()), 0) != 0;
}

void CrawlControl::DecidePage(LoadItem& item) {
    if (!item.url.Valid()) {
        result_.problems++;
        progress_.AddMessage(Crawler::NodeText(item.url) + ": " + loader_text::kUrlNotValid);
    }
    item.node = crawler_.NodeForUrl(Crawler::NodeText(item.url));
    item.nodeExisted = item.node != nullptr;
    if (!item.node) item.node = crawler_.CreateUrlNode(item.url, item.referrer.has_value());

    const bool other = OnOtherComputer(item);
    bool load = item.levels >= 0 && item.url.Valid() && IsWebScheme(item.url.Scheme()) && !IsAdminHost(item.url) &&
                !Stopping();
    bool refused = false;
    if (load && !item.redirected) {
        if (other && !settings_.followOtherComputers) load = false;
        if (OutsideStartDirectory(item) && !settings_.leaveStartDirectory) load = false;
    }
    if (load && item.nodeExisted && item.referrer) {
        const GraphNode& node = *item.node;
        const bool drawnOnly = node.kind == NodeKind::Other || node.kind == NodeKind::OtherServer ||
                               node.kind == NodeKind::SameServer;
        // Loaded in this job with as many levels or more, or met in an
        // earlier job as something that is not worth another try.
        if ((node.level == -1 && !drawnOnly) || node.level >= item.levels) load = false;
    }
    if (load && chosen_.count(item.node)) load = false;
    if (load && Refused(item)) {
        load = false;
        refused = true;
    }
    if (load && !DocumentAllowed()) load = false;

    if (!load) {
        if (refused)
            item.node->kind = NodeKind::ServerError;
        else if (!item.url.Valid())
            item.node->kind = NodeKind::OtherScheme;  // what a bad address is drawn as
        else if (!item.nodeExisted)
            item.node->kind = KindOfScheme(item.url.Scheme(), other);
        SkipPage(item);
        return;
    }
    chosen_.insert(item.node);
    item.loadWanted = true;
    // The link is drawn at once, so that a job stopped before the item
    // finishes still shows where its node came from.
    if (GraphNode* referrer = ReferrerNode(item)) crawler_.Graph().LinkUrlNodes(referrer, item.node);
}

void CrawlControl::SkipPage(LoadItem& item) {
    if (GraphNode* referrer = ReferrerNode(item)) crawler_.Graph().LinkUrlNodes(referrer, item.node);
    if (item.node && item.node->info.empty()) item.node->info = Crawler::NodeText(item.url);
    item.skip = true;
}

// --- answers ------------------------------------------------------------

void CrawlControl::ProcessAnswer(LoadItem& item) {
    if (item.skip) {
        item.phase = LoadItem::Phase::Finished;
        return;
    }
    switch (item.phase) {
    case LoadItem::Phase::New:
        if (item.embedded) {
            item.phase = LoadItem::Phase::Loading;
            item.loadPending = true;
        } else {
            item.phase = LoadItem::Phase::Checking;
            item.checkPending = true;
        }
        return;
    case LoadItem::Phase::Checking:
        AfterCheck(item);
        return;
    case LoadItem::Phase::Loading:
        AfterLoad(item);
        return;
    case LoadItem::Phase::Finished:
        return;
    }
}

void CrawlControl::AfterCheck(LoadItem& item) {
    item.phase = LoadItem::Phase::Finished;
    if (!item.checkOk) {
        LoadFailed(item, NodeKind::ServerError);
        return;
    }
    // A server that does not take HEAD still serves the document to a GET.
    if ((item.status == 405 || item.status == 501) && !item.headRefused) {
        item.headRefused = true;
        item.phase = LoadItem::Phase::Loading;
        item.loadPending = true;
        return;
    }
    EvaluateStatus(item);
    if (item.status <= 300 && item.isHtml) {
        item.phase = LoadItem::Phase::Loading;
        item.loadPending = true;
    }
}

void CrawlControl::AfterLoad(LoadItem& item) {
    item.phase = LoadItem::Phase::Finished;
    if (item.embedded) {
        // A picture that could not be loaded is no problem of the job.
        if (item.loadOk && (item.status == 301 || item.status == 302)) QueueRedirect(item);
        return;
    }
    if (!item.loadOk) {
        LoadFailed(item, NodeKind::ServerError);
        return;
    }
    if (item.headRefused) EvaluateStatus(item);
}

void CrawlControl::LoadFailed(LoadItem& item, NodeKind kind) {
    if (item.node) item.node->kind = kind;
    if (item.failure.empty()) return;
    result_.problems++;
    progress_.AddMessage(item.url.Text() + ": " + OneLine(item.failure));
}

void CrawlControl::EvaluateStatus(LoadItem& item) {
    if (item.status <= 300) {
        item.node->kind = NodeKindOfContentType(item.contentType);
        item.isHtml = IsHtml(item.contentType);
        return;
    }
    if (item.status == 301 || item.status == 302) QueueRedirect(item);
    item.node->kind = KindOfStatus(item.status);
}

void CrawlControl::QueueRedirect(const LoadItem& item) {
    if (item.redirects >= kRedirectLimit) {
        result_.problems++;
        progress_.AddMessage(item.url.Text() + ": " + loader_text::kTooManyRedirects);
        return;
    }
    auto next = std::make_unique<LoadItem>();
    next->redirects = item.redirects + 1;
    next->url = SiteUrl(&item.url, item.location);
    next->levels = item.levels;
    next->otherLevels = item.otherLevels;
    next->redirected = true;
    next->referrer = item.url;
    // Only the same URL with "/" added keeps its levels whatever happens; a
    // redirect to another computer without levels left there is only drawn.
    const bool slashAdded = next->url.Text() == item.url.Text() + "/";
    if (!slashAdded && !item.startItem && next->url.Host() != item.url.Host() && item.otherLevels < 1) {
        next->levels = -1;
        next->otherLevels = -1;
    }
    Queue(std::move(next));
}

// --- finishing ----------------------------------------------------------

void CrawlControl::FinishItem(LoadItem& item) {
    if (item.startItem) {
        // A redirection counts as reached: its target is an item of its own.
        // An error status (the proxy's "not in the cache" too) does not.
        result_.startLoaded = item.failure.empty() && item.status < 400 &&
                              (item.loadOk || (item.status >= 300 && item.status < 400));
        result_.startResult = !item.failure.empty() ? OneLine(item.failure)
                              : item.answered       ? "Status: " + std::to_string(item.status) + item.reason
                                                    : std::string();
        // A failed transfer is posted already; an error answer for the start
        // page fails the whole job, so it is posted too.
        if (!result_.startLoaded && item.failure.empty() && item.answered) {
            result_.problems++;
            progress_.AddMessage(item.url.Text() + ": " + result_.startResult);
        }
    }
    if (item.loadWanted && item.node) item.node->level = item.levels;
    GraphNode* referrer = ReferrerNode(item);
    if (referrer && item.node) crawler_.Graph().LinkUrlNodes(referrer, item.node);

    if (item.node && !item.skip) {
        if (item.loadOk && item.isHtml) {
            PageScan scan = ScanPage(item.body, item.levels - 1, item.otherLevels, item.url, item.node,
                                     settings_.loadPictures, *this);
            result_.pagesScanned++;
            item.node->info = DescribeDocument(item, &scan, item.body);
        } else {
            item.node->info = DescribeDocument(item, nullptr, std::string_view());
        }
    }
    item.body.clear();
    if (item.progressLine >= 0) {
        progress_.SetLine(item.progressLine, std::string());
        freeLines_.push_back(item.progressLine);
        item.progressLine = -1;
    }
}

// --- links found on a page ---------------------------------------------

void CrawlControl::QueueLink(const SiteUrl& url, int32_t levels, int32_t otherLevels, const SiteUrl& referrer,
                             LinkKind kind) {
    if (GraphNode* existing = crawler_.NodeForUrl(Crawler::NodeText(url))) {
        if (GraphNode* page = crawler_.NodeForUrl(referrer.Text())) crawler_.Graph().LinkUrlNodes(page, existing);
        return;
    }
    if (!QueueHasRoom()) {
        result_.limitReached = true;
        return;
    }
    const bool sameComputer = url.Host() == referrer.Host();
    if (kind == LinkKind::Frame) {
        levels = AddOne(levels);
        if (!sameComputer) otherLevels = AddOne(otherLevels);
    }
    if (!sameComputer) {
        levels = std::min(levels, otherLevels);
        otherLevels = levels;
    }
    auto item = std::make_unique<LoadItem>();
    item->url = url;
    item->levels = levels;
    item->otherLevels = otherLevels;
    item->referrer = referrer;
    item->targeted = kind != LinkKind::Plain;
    Queue(std::move(item));
}

void CrawlControl::QueueEmbedded(const SiteUrl& url) {
    if (!QueueHasRoom()) {
        result_.limitReached = true;
        return;
    }
    if (!crawler_.MarkEmbeddedQueued(url.Text())) return;
    auto item = std::make_unique<LoadItem>();
    item->embedded = true;
    item->url = url;
    item->levels = 0;
    item->otherLevels = 0;
    Queue(std::move(item));
}
