// Load jobs fetching straight from the test origin server (no proxy).
#include "viewer/loader/CrawlControl.h"

#include "tests/viewer/loader/LoaderTestSupport.h"
#include "testsupport/SiteGenerator.h"
#include "viewer/graph/SiteGraph.h"

namespace {

// One graph, its crawler and the jobs run into it.
struct JobRun {
    SiteGraph graph;
    Crawler crawler{graph};
    RecordingProgress progress;
    LoadJobResult result;

    void Run(const std::string& start, int32_t levels, const std::function<void(LoadSettings&)>& more = {}) {
        LoadSettings settings;
        settings.startUrl = start, settings.levels = levels, settings.limitLevels = levels >= 0;
        settings.answerTimeout = std::chrono::seconds(60);
        if (more) more(settings);
        result = crawler.RunLoadJob(settings, progress, ProxyAddress());
    }
    NodeKind Kind(const std::string& url) const { return Node(url) ? Node(url)->kind : NodeKind(-1); }
    int32_t Level(const std::string& url) const { return Node(url) ? Node(url)->level : -99; }
    bool Linked(const std::string& from, const std::string& to) const {
        return Node(from) && Node(to) && graph.FindEdge(Node(from), Node(to));
    }
    GraphNode* Node(const std::string& url) const { return crawler.NodeForUrl(url); }
};

// The sorted paths the server was asked for with GET, repeats kept.
std::string Gets(const OriginServer& origin) {
    std::multiset<std::string> paths;
    for (const auto& request : origin.requests())
        if (request.method == "GET") paths.insert(request.path);
    std::string text;
    for (const std::string& path : paths) text += (text.empty() ? "" : " ") + path;
    return text;
}

}  // namespace

// A job tells what its start page came to and sums up what it loaded.
TEST(CrawlResult, TheStartPagesOwnResultAndTheSummary) {
    OriginServer origin;
    origin.set("/ok.html", OriginServer::document("<a href=x.html>x</a><img src=p.gif>"));
    origin.set("/p.gif", OriginServer::document("GIF89a", "image/gif"));
    const std::pair<std::string, std::string> cases[] = {
        {"/ok.html", "|Documents loaded: 2 (HTML pages: 1, other documents: 1). Links drawn but not followed: 1."
                     " Problems: 0."},
        {"/missing.html", "The start page could not be loaded: Status: 404 Not Found.|Documents loaded: 0 (HTML "
                          "pages: 0, other documents: 0). Links drawn but not followed: 0. Problems: 1."},
    };
    for (const auto& [path, told] : cases) {
        JobRun job;
        job.Run(origin.url(path), 0, [](LoadSettings& settings) { settings.loadPictures = true; });
        EXPECT_EQ(StartFailure(job.result) + "|" + LoadSummary(job.result, job.graph), told) << path;
    }
}

TEST(CrawlLevels, EachLevelLimitLoadsExactlyThePagesWithinItOnce) {
    TempDir dir;
    OriginServer origin(dir.path());
    GeneratedSite site = GenerateSite(dir.path(), origin.port(), SiteShape{30, 3, 2, 1});
    site.ApplyTo(origin);
    std::vector<std::string> all = site.PathsWithinLevels(-1);
    ASSERT_GE(site.MaxDepth(), 3);
    for (int levels = -1; levels <= site.MaxDepth(); levels++) {
        SCOPED_TRACE("levels " + std::to_string(levels));
        origin.clear_log();
        JobRun job;
        job.Run(site.StartUrl(), levels);
        std::multiset<std::string> expected, asked;
        for (const std::string& path : site.PathsWithinLevels(levels)) expected.insert({"GET " + path, "HEAD " + path});
        for (const auto& request : origin.requests())
            if (std::count(all.begin(), all.end(), request.path)) asked.insert(request.method + " " + request.path);
        EXPECT_EQ(asked, expected);  // each page checked and loaded once
        EXPECT_EQ(static_cast<size_t>(job.result.pagesScanned) * 2 + job.result.problems, expected.size());
        EXPECT_EQ(job.Level(site.StartUrl()), levels < 0 ? LoadSettings::kUnlimitedLevels : levels);
        EXPECT_TRUE(job.result.startLoaded);
    }

    // One level: how the links of the start page are drawn, and a second job into the same graph.
    JobRun job;
    origin.clear_log();
    job.Run(site.StartUrl(), 1);
    const std::string start = site.StartUrl(), frames = site.base + site.framesetPath;
    const std::string left = site.base + "/frames/left.html";
    EXPECT_EQ(job.graph.RootNode(), job.Node(start));
    const std::map<std::string, std::pair<NodeKind, int32_t>> expected = {
        {frames, {NodeKind::Html, 0}},
        {left, {NodeKind::Html, 0}},  // a frame does not use up a level
        {site.base + "/frames/more.html", {NodeKind::SameServer, -1}},
        {site.base + site.zipPath, {NodeKind::Zip, 0}},  // checked, not loaded
        {site.base + "/missing-root.html", {NodeKind::NotFound, 0}},
        {site.otherBase + site.otherHostPage, {NodeKind::OtherServer, -1}},
        {site.mailtoUrl, {NodeKind::Mailto, -1}},
        {site.ftpUrl, {NodeKind::Ftp, -1}},
    };
    for (const auto& [url, kind] : expected) {
        EXPECT_EQ(job.Kind(url), kind.first) << url;
        EXPECT_EQ(job.Level(url), kind.second) << url;
        EXPECT_TRUE(job.Linked(url == left ? frames : url.find("/frames/") != url.npos ? left : start, url)) << url;
    }
    EXPECT_EQ(origin.request_count(site.zipPath) + origin.request_count(site.otherHostPage), 1u);  // the zip's HEAD
    for (const auto& [from, to] : site.redirects) {  // "dN" answers 302 with "dN/": loaded with the link's levels
        if (from.rfind('/') != 0) continue;
        EXPECT_EQ(std::to_string(int(job.Kind(site.base + from))) + std::to_string(int(job.Kind(to))), "1314") << from;
        EXPECT_EQ(job.Level(to), 0) << to;
        EXPECT_TRUE(job.Linked(site.base + from, to)) << to;
    }
    const std::string& info = job.Node(start)->info;
    EXPECT_EQ(info.substr(0, info.find("\r\n")), "Directory 0 & \xDC" "bersicht <0>");
    EXPECT_TRUE(info.find("\r\n" + start + "\r\n") != info.npos && info.find("Content-Type: text/html") != info.npos);
    const size_t nodes = job.graph.Nodes().size();
    const int32_t maxId = job.graph.MaxNodeId();
    job.Run(site.StartUrl(), 0);
    EXPECT_EQ(std::make_pair(job.graph.Nodes().size(), job.graph.MaxNodeId()), std::make_pair(nodes, maxId));
    EXPECT_EQ(job.Level(frames), -1);
}

TEST(CrawlRules, ComputersDirectoriesPicturesAndRedirects) {
    OriginServer origin;
    const std::string other = "http://localhost:" + std::to_string(origin.port()), start = origin.url("/d/");
    const std::string page = "<a href=../up.html>u</a><a href=sub/down.html>d</a><img src=/pic.gif><a href=/moved>m</a>"
                             "<a href=/cut>c</a><a href=gopher://h/1>g</a><a href=javascript:void(0)>j</a>"
                             "<a href=news:c.x>n</a><img src=ftp://h/p.gif>";
    origin.set("/d/", OriginServer::document(page + "<a href=" + other + "/o1.html>o</a>"));
    origin.set("/d/sub/down.html", OriginServer::document("<a href=/d/>back</a><img src=/pic.gif>"));
    origin.set("/o1.html", OriginServer::document("<a href=o2.html>o2</a>"));
    origin.set("/o2.html", OriginServer::document("<a href=o3.html>o3</a>"));
    for (const char* page : {"/up.html", "/away.html"}) origin.set(page, OriginServer::document("leaf"));
    origin.set("/pic.gif", OriginServer::document("GIF89a", "image/gif"));
    origin.set("/cut", OriginServer::raw("HTTP/1.0 200 OK\r\n"));
    origin.set("/moved", OriginServer::redirect(other + "/away.html", 301));
    origin.set("/start", OriginServer::redirect(other + "/o2.html", 302));
    const std::string pages = "/d/ /d/sub/down.html";
    struct Case {
        std::string start;
        int32_t levels;
        std::function<void(LoadSettings&)> settings;
        std::string gets, node;  // what was loaded, and a node only drawn
        NodeKind kind;
    } cases[] = {
        {start.substr(7), 0, {}, "/d/", origin.url("/up.html"), NodeKind::SameServer},  // typed without a scheme
        {start, 5, {}, pages + " /up.html", other + "/away.html", NodeKind::OtherServer},
        {start, 5, [](LoadSettings& s) { s.leaveStartDirectory = false; }, pages, origin.url("/up.html"),
         NodeKind::SameServer},
        {start, 5, [](LoadSettings& s) { s.followOtherComputers = true; }, pages + " /o1.html /up.html",
         other + "/o2.html", NodeKind::SameServer},
        {start, 5, [](LoadSettings& s) { s.followOtherComputers = s.limitOtherComputers = true, s.otherLevels = 1; },
         "/away.html " + pages + " /o1.html /o2.html /up.html", origin.url("/moved"), NodeKind::Moved},
        {start, 5, [](LoadSettings& s) { s.loadPictures = true; }, pages + " /pic.gif /up.html", origin.url("/pic.gif"),
         NodeKind(-1)},  // a shared picture is loaded once, without a check, and gets no node
        {origin.url("/start"), 1, {}, "/o2.html", origin.url("/start"), NodeKind::Found},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start + " " + std::to_string(&c - cases));
        origin.clear_log();
        JobRun job;
        job.Run(c.start, c.levels, c.settings);
        EXPECT_EQ(Gets(origin), c.gets);
        EXPECT_EQ(job.Kind(c.node), c.kind);
        EXPECT_EQ(origin.request_count("/pic.gif"), c.gets.find("pic") != std::string::npos ? 1u : 0u);
    }
    JobRun job;  // a broken answer ends its item, the job goes on; other schemes are drawn by their kind
    job.Run(start, 1);
    const std::string cut = origin.url("/cut");
    EXPECT_EQ(job.Kind(cut), NodeKind::ServerError);
    EXPECT_NE(job.Node(cut)->info.find(loader_text::kAnswerNotUnderstood), std::string::npos) << job.Node(cut)->info;
    ASSERT_EQ(job.progress.messages.size(), 1u);
    const std::string says = cut + ": UrlLoadJob::ReadAnswer() " + loader_text::kAnswerNotUnderstood;
    EXPECT_EQ(job.progress.messages[0].rfind(says, 0), 0u) << job.progress.messages[0];
    EXPECT_EQ(std::to_string(int(job.Kind("gopher://h/1"))) + std::to_string(int(job.Kind("news:c.x"))) +
                  std::to_string(int(job.Kind("javascript:void(0)"))), "567");
}

TEST(CrawlProgress, TwelveDocumentsAreInProgressAtOnceAndAStopKeepsWhatWasFound) {
    OriginServer origin;
    OriginServer::Answer held = OriginServer::document("held");
    held.held = true;
    std::string page;
    for (int i = 0; i < 30; i++) {
        page += "<a href=p" + std::to_string(i) + ".html>p</a>";
        origin.set("/p" + std::to_string(i) + ".html", held);
    }
    origin.set("/", OriginServer::document(page));
    JobRun job;
    std::thread stopper([&] {
        EXPECT_TRUE(origin.wait_for_requests(2 + 12, 60000));  // the start page, then twelve checks at once
        job.progress.stop = true;
    });
    job.Run(origin.url("/"), 1);
    stopper.join();
    origin.stop();
    EXPECT_TRUE(job.result.stopped);
    EXPECT_EQ(job.progress.ends, 1);
    EXPECT_EQ(job.progress.mostLinesInUse, LoadProgress::kLines);
    EXPECT_EQ(*std::max_element(job.progress.left.begin(), job.progress.left.end()), 30);
    EXPECT_EQ(job.progress.done, 1);  // the start page; the held checks never finished
    const std::vector<std::string> first(job.progress.lines.begin(), job.progress.lines.begin() + 3);
    EXPECT_EQ(first, (std::vector<std::string>{"Checking " + origin.url("/") + " ...",
                                                "Loading " + origin.url("/") + " ...",
                                                "Checking " + origin.url("/p0.html") + " ..."}));
    EXPECT_EQ(job.graph.Nodes().size(), 1u + 12u);  // what was chosen before the stop stays, with its links
    for (int i = 0; i < 12; i++)
        EXPECT_TRUE(job.Linked(origin.url("/"), origin.url("/p" + std::to_string(i) + ".html"))) << i;
}

// HTTPS pages are asked of the proxy by their absolute https URL and crawled
// like HTTP ones; http://h/ and https://h/ are one computer. Without a proxy
// they are not loaded, and the job says why. A proxy that keeps connections
// open serves the six requests (at most two at a time) on two.
TEST(CrawlHttps, PagesGoThroughTheProxyByTheirHttpsUrlAndTheHostDecidesTheComputer) {
    OriginServer proxy;  // answers absolute URLs by their path, as a proxy would from its cache
    proxy.set("/index.html", OriginServer::document("<a href=page.html>p</a><a href=http://site.test/plain.html>h</a>"
                                                    "<a href=https://other.test/x.html>o</a>"));
    proxy.set("/page.html", OriginServer::document("leaf"));
    proxy.set("/plain.html", OriginServer::document("plain"));
    proxy.set_keep_alive(true);
    JobRun job;
    LoadSettings settings;
    settings.startUrl = "https://site.test/index.html", settings.levels = 1, settings.limitLevels = true;
    job.result = job.crawler.RunLoadJob(settings, job.progress, ProxyAddress{"127.0.0.1", proxy.port()});
    std::multiset<std::string> asked;
    for (const auto& request : proxy.requests()) asked.insert(request.method + " " + request.target);
    EXPECT_EQ(asked, (std::multiset<std::string>{"HEAD https://site.test/index.html", "GET https://site.test/index.html",
                                                 "HEAD https://site.test/page.html", "GET https://site.test/page.html",
                                                 "HEAD http://site.test/plain.html", "GET http://site.test/plain.html"}));
    EXPECT_EQ(job.Kind("https://site.test/index.html"), NodeKind::Html);
    EXPECT_EQ(job.Kind("https://other.test/x.html"), NodeKind::OtherServer);
    EXPECT_TRUE(job.result.startLoaded);
    EXPECT_EQ(proxy.connection_count(), 2u);

    JobRun direct;
    direct.Run("https://site.test/index.html", 1);
    EXPECT_FALSE(direct.result.startLoaded);
    EXPECT_NE(direct.result.startResult.find("through the proxy only"), std::string::npos) << direct.result.startResult;
}
