// Load jobs against the test origin server, fetching directly (no proxy).
#include "viewer/loader/CrawlControl.h"

#include "tests/viewer/loader/LoaderTestSupport.h"
#include "testsupport/OriginServer.h"
#include "testsupport/SiteGenerator.h"
#include "viewer/graph/SiteGraph.h"
#include "viewer/loader/LoaderTexts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <thread>

namespace {

// A generated site served by an origin server on a free port.
class ServedSite {
public:
    explicit ServedSite(const SiteShape& shape = SiteShape{30, 3, 2, 1}) : origin_(dir_.Path()) {
        site_ = GenerateSite(dir_.Path(), origin_.port(), shape);
        site_.ApplyTo(origin_);
    }

    const GeneratedSite& Site() const { return site_; }
    OriginServer& Origin() { return origin_; }

    // How often each path was asked for with the method.
    std::map<std::string, int> Asked(const std::string& method) {
        std::map<std::string, int> counts;
        for (const auto& request : origin_.requests())
            if (request.method == method) counts[request.path]++;
        return counts;
    }

    std::set<std::string> Loaded(const std::set<std::string>& among) {
        std::set<std::string> loaded;
        for (const auto& [path, count] : Asked("GET"))
            if (among.count(path)) loaded.insert(path);
        return loaded;
    }

    std::set<std::string> AllPages() const {
        std::vector<std::string> paths = site_.PathsWithinLevels(-1);
        return std::set<std::string>(paths.begin(), paths.end());
    }

private:
    LoaderTempDir dir_;
    OriginServer origin_;
    GeneratedSite site_;
};

// One job and everything it leaves behind.
struct JobRun {
    SiteGraph graph;
    Crawler crawler{graph};
    RecordingProgress progress;
    LoadJobResult result;

    void Run(const LoadSettings& settings) { result = crawler.RunLoadJob(settings, progress, ProxyAddress()); }

    GraphNode* Node(const std::string& url) const { return crawler.NodeForUrl(url); }
    bool Linked(const GraphNode* source, const GraphNode* target) const {
        return source && target && graph.FindEdge(source, target) != nullptr;
    }
};

LoadSettings Settings(const std::string& start, int32_t levels) {
    LoadSettings settings;
    settings.startUrl = start;
    settings.levels = levels;
    settings.answerTimeout = std::chrono::seconds(20);
    return settings;
}

LoadSettings Unlimited(const std::string& start) {
    LoadSettings settings = Settings(start, 0);
    settings.limitLevels = false;
    return settings;
}

std::set<std::string> AsSet(const std::vector<std::string>& paths) {
    return std::set<std::string>(paths.begin(), paths.end());
}

bool AnyMessageSays(const RecordingProgress& progress, const std::string& url, const char* text) {
    for (const std::string& message : progress.Messages())
        if (message.find(url) != std::string::npos && message.find(text) != std::string::npos) return true;
    return false;
}

}  // namespace

TEST(CrawlLevels, LevelZeroLoadsOnlyTheStartPageAndDrawsItsLinks) {
    ServedSite served;
    const GeneratedSite& site = served.Site();
    JobRun job;
    job.Run(Settings(site.StartUrl(), 0));

    EXPECT_EQ(served.Loaded(served.AllPages()), std::set<std::string>{"/"});
    GraphNode* start = job.Node(site.StartUrl());
    ASSERT_NE(start, nullptr);
    EXPECT_EQ(start->kind, NodeKind::Html);
    EXPECT_EQ(start->level, 0);
    EXPECT_TRUE(start->isRoot);
    EXPECT_EQ(job.graph.RootNode(), start);

    GraphNode* frames = job.Node(site.base + site.framesetPath);
    GraphNode* other = job.Node(site.otherBase + site.otherHostPage);
    GraphNode* mail = job.Node(site.mailtoUrl);
    GraphNode* ftp = job.Node(site.ftpUrl);
    ASSERT_TRUE(frames && other && mail && ftp);
    EXPECT_EQ(frames->kind, NodeKind::SameServer);
    EXPECT_EQ(other->kind, NodeKind::OtherServer);
    EXPECT_EQ(mail->kind, NodeKind::Mailto);
    EXPECT_EQ(ftp->kind, NodeKind::Ftp);
    EXPECT_EQ(frames->level, -1);
    for (GraphNode* node : {frames, other, mail, ftp}) EXPECT_TRUE(job.Linked(start, node)) << node->url;
    // Every other node hangs off the start page.
    for (const auto& node : job.graph.Nodes())
        EXPECT_TRUE(node.get() == start || job.Linked(start, node.get())) << node->url;
    EXPECT_EQ(job.result.pagesScanned, 1);
    EXPECT_EQ(job.result.problems, 0);
}

TEST(CrawlLevels, PagesLoadedMatchTheSiteForEachLevelLimit) {
    ServedSite served;
    const GeneratedSite& site = served.Site();
    ASSERT_GE(site.MaxDepth(), 3);
    for (int levels = 1; levels <= site.MaxDepth(); levels++) {
        served.Origin().clear_log();
        JobRun job;
        job.Run(Settings(site.StartUrl(), levels));
        EXPECT_EQ(served.Loaded(served.AllPages()), AsSet(site.PathsWithinLevels(levels))) << "levels " << levels;
        EXPECT_EQ(static_cast<size_t>(job.result.pagesScanned), site.PagesWithinLevels(levels));
    }
}

TEST(CrawlLevels, UnlimitedLevelsLoadEveryPageOnce) {
    ServedSite served;
    const GeneratedSite& site = served.Site();
    JobRun job;
    job.Run(Unlimited(site.StartUrl()));
    EXPECT_EQ(served.Loaded(served.AllPages()), served.AllPages());
    for (const auto& [path, count] : served.Asked("GET")) EXPECT_EQ(count, 1) << path;
    for (const auto& [path, count] : served.Asked("HEAD")) EXPECT_EQ(count, 1) << path;
    EXPECT_EQ(job.result.problems, 0);
    EXPECT_TRUE(job.progress.messages.empty());
    // Comments hide their links.
    for (const auto& node : job.graph.Nodes()) EXPECT_EQ(node->url.find("commented-out"), std::string::npos);
}

TEST(CrawlLevels, FrameSourcesDoNotUseUpALevel) {
    ServedSite served;
    const GeneratedSite& site = served.Site();
    JobRun job;
    job.Run(Settings(site.StartUrl(), 1));
    GraphNode* left = job.Node(site.base + "/frames/left.html");
    GraphNode* more = job.Node(site.base + "/frames/more.html");
    ASSERT_TRUE(left && more);
    EXPECT_EQ(left->kind, NodeKind::Html);
    EXPECT_EQ(left->level, 0);
    EXPECT_EQ(more->kind, NodeKind::SameServer);
    EXPECT_TRUE(job.Linked(job.Node(site.base + site.framesetPath), left));
}



TEST(CrawlAnswers, SlashRedirectIsFollowedWithTheSameLevels) {
    ServedSite served;
    const GeneratedSite& site = served.Site();
    // A redirect linked from the start page: its target is a level-1 page.
    auto onStartPage = std::find_if(site.redirects.begin(), site.redirects.end(),
                                    [](const auto& redirect) { return redirect.first.rfind('/') == 0; });
    ASSERT_NE(onStartPage, site.redirects.end());
    const std::string from = onStartPage->first;
    const std::string to = onStartPage->second;
    ASSERT_EQ(to, site.base + from + "/");
    JobRun job;
    job.Run(Settings(site.StartUrl(), 1));
    GraphNode* redirecting = job.Node(site.base + from);
    GraphNode* target = job.Node(to);
    ASSERT_TRUE(redirecting && target);
    EXPECT_EQ(redirecting->kind, NodeKind::Found);
    EXPECT_EQ(target->kind, NodeKind::Html);
    EXPECT_EQ(target->level, 0);  // the level the redirecting link had
    EXPECT_TRUE(job.Linked(redirecting, target));
    EXPECT_EQ(served.Asked("GET")[from + "/"], 1);
}

TEST(CrawlAnswers, RedirectOfTheStartPageToAnotherHostIsFollowed) {
    OriginServer origin;
    std::string other = "http://localhost:" + std::to_string(origin.port());
    origin.set("/start", OriginServer::redirect(other + "/there.html", 302));
    origin.set("/there.html", OriginServer::document("<a href=next.html>next</a>"));
    JobRun job;
    job.Run(Settings(origin.url("/start"), 0));
    GraphNode* there = job.Node(other + "/there.html");
    ASSERT_NE(there, nullptr);
    EXPECT_EQ(there->kind, NodeKind::Html);
    EXPECT_EQ(job.Node(origin.url("/start"))->kind, NodeKind::Found);
    EXPECT_EQ(job.Node(other + "/next.html")->kind, NodeKind::SameServer);
}

TEST(CrawlAnswers, RedirectToAnotherHostWithoutLevelsThereIsOnlyDrawn) {
    OriginServer origin;
    std::string other = "http://localhost:" + std::to_string(origin.port());
    origin.set("/", OriginServer::document("<a href=/moved>moved</a>"));
    origin.set("/moved", OriginServer::redirect(other + "/away.html", 301));
    origin.set("/away.html", OriginServer::document("away"));
    JobRun job;
    job.Run(Settings(origin.url("/"), 2));
    GraphNode* away = job.Node(other + "/away.html");
    ASSERT_NE(away, nullptr);
    EXPECT_EQ(away->kind, NodeKind::OtherServer);
    EXPECT_EQ(job.Node(origin.url("/moved"))->kind, NodeKind::Moved);
    EXPECT_EQ(origin.request_count("/away.html"), 0u);
}


TEST(CrawlHosts, OtherComputerLevelsLimitHowFarALinkThereIsFollowed) {
    OriginServer origin;
    std::string other = "http://localhost:" + std::to_string(origin.port());
    origin.set("/", OriginServer::document("<a href=" + other + "/o1.html>o1</a>"));
    origin.set("/o1.html", OriginServer::document("<a href=o2.html>o2</a>"));
    origin.set("/o2.html", OriginServer::document("<a href=o3.html>o3</a>"));
    LoadSettings settings = Settings(origin.url("/"), 5);
    settings.followOtherComputers = true;
    settings.limitOtherComputers = true;
    settings.otherLevels = 1;
    JobRun job;
    job.Run(settings);
    EXPECT_EQ(job.Node(other + "/o1.html")->level, 1);
    EXPECT_EQ(job.Node(other + "/o2.html")->level, 0);
    EXPECT_EQ(job.Node(other + "/o3.html")->kind, NodeKind::SameServer);
    EXPECT_EQ(origin.request_count("/o3.html"), 0u);
}

TEST(CrawlHosts, StayingInTheStartDirectoryLeavesParentsUnloaded) {
    OriginServer origin;
    origin.set("/d/", OriginServer::document("<a href=../up.html>up</a><a href=sub/down.html>down</a>"));
    origin.set("/up.html", OriginServer::document("up"));
    origin.set("/d/sub/down.html", OriginServer::document("down"));
    LoadSettings settings = Settings(origin.url("/d/"), 3);
    settings.leaveStartDirectory = false;
    JobRun job;
    job.Run(settings);
    EXPECT_EQ(job.Node(origin.url("/up.html"))->kind, NodeKind::SameServer);
    EXPECT_EQ(job.Node(origin.url("/d/sub/down.html"))->kind, NodeKind::Html);
    EXPECT_EQ(origin.request_count("/up.html"), 0u);
}

TEST(CrawlPictures, SharedPictureIsQueuedOnce) {
    ServedSite served;
    const GeneratedSite& site = served.Site();
    LoadSettings settings = Unlimited(site.StartUrl());
    settings.loadPictures = true;
    JobRun job;
    job.Run(settings);
    auto gets = served.Asked("GET");
    EXPECT_EQ(gets[site.sharedPicture], 1);
    for (const std::string& picture : site.pictures) EXPECT_EQ(gets[picture], 1) << picture;
    EXPECT_EQ(served.Asked("HEAD").count(site.sharedPicture), 0u);  // embedded objects are loaded at once
    EXPECT_EQ(job.Node(site.base + site.sharedPicture), nullptr);   // and get no node
}


TEST(CrawlNodes, LoadedPageDescribesItselfWithItsDecodedTitle) {
    ServedSite served;
    const GeneratedSite& site = served.Site();
    JobRun job;
    job.Run(Settings(site.StartUrl(), 0));
    const std::string& info = job.Node(site.StartUrl())->info;
    EXPECT_EQ(info.substr(0, info.find("\r\n")), "Directory 0 & \xDC" "bersicht <0>");
    EXPECT_NE(info.find("\r\n" + site.StartUrl() + "\r\n"), std::string::npos);
    EXPECT_NE(info.find("Content-Type: text/html"), std::string::npos);
}

TEST(CrawlNodes, StartUrlWithoutSchemeGetsHttp) {
    OriginServer origin;
    origin.set("/", OriginServer::document("<title>t</title>"));
    JobRun job;
    job.Run(Settings("127.0.0.1:" + std::to_string(origin.port()) + "/", 0));
    ASSERT_NE(job.Node(origin.url("/")), nullptr);
    EXPECT_EQ(job.Node(origin.url("/"))->kind, NodeKind::Html);
}

TEST(CrawlNodes, SecondJobKeepsNodesAndLoadsAgain) {
    ServedSite served;
    const GeneratedSite& site = served.Site();
    JobRun job;
    job.Run(Settings(site.StartUrl(), 1));
    size_t nodes = job.graph.Nodes().size();
    int32_t maxId = job.graph.MaxNodeId();
    job.Run(Settings(site.StartUrl(), 0));
    EXPECT_EQ(job.graph.Nodes().size(), nodes);
    EXPECT_EQ(job.graph.MaxNodeId(), maxId);
    EXPECT_EQ(job.Node(site.StartUrl())->level, 0);
    // Pages loaded only by the first job are back at level -1.
    EXPECT_EQ(job.Node(site.base + site.framesetPath)->level, -1);
    EXPECT_EQ(served.Asked("GET")["/"], 2);
}

TEST(CrawlProgress, LinesShowEachRequestAndAtMostTwelveAreInUse) {
    OriginServer origin;
    std::string page;
    for (int i = 0; i < 30; i++) {
        page += "<a href=p" + std::to_string(i) + ".html>p</a>";
        OriginServer::Answer slow = OriginServer::document("slow " + std::to_string(i));
        slow.delay_ms = 100;
        origin.set("/p" + std::to_string(i) + ".html", slow);
    }
    origin.set("/", OriginServer::document(page));
    JobRun job;
    job.Run(Settings(origin.url("/"), 1));
    EXPECT_EQ(job.progress.badLines, 0);
    EXPECT_EQ(job.progress.mostLinesInUse, LoadProgress::kLines);
    EXPECT_EQ(job.progress.ends, 1);
    ASSERT_FALSE(job.progress.left.empty());
    EXPECT_EQ(job.progress.left.back(), 0);
    EXPECT_EQ(*std::max_element(job.progress.left.begin(), job.progress.left.end()), 30);
    auto has = [&](const std::string& line) {
        return std::find(job.progress.lines.begin(), job.progress.lines.end(), line) != job.progress.lines.end();
    };
    EXPECT_TRUE(has("Checking " + origin.url("/") + " ..."));
    EXPECT_TRUE(has("Loading " + origin.url("/") + " ..."));
    EXPECT_TRUE(has("Checking " + origin.url("/p7.html") + " ..."));
}

TEST(CrawlBadInput, EveryBrokenAnswerEndsItsItemAndTheJobGoesOn) {
    OriginServer origin;
    const std::string closedPort = std::to_string(UnusedPort());
    struct Broken {
        std::string path;
        OriginServer::Answer answer;
        const char* text;
    };
    OriginServer::Answer silent = OriginServer::document("late");
    silent.delay_ms = 60000;
    std::vector<Broken> broken = {
        {"/no-head-end", OriginServer::raw("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n"),
         loader_text::kAnswerNotUnderstood},
        {"/head-too-long", OriginServer::raw("HTTP/1.0 200 OK\r\nX: " + std::string(9000, 'x') + "\r\n\r\n"),
         loader_text::kHeadTooLong},
        {"/too-much-body", OriginServer::raw("HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nfour"),
         loader_text::kBodyTooLong},
        {"/closes-at-once", OriginServer::raw(""), loader_text::kReceiveFailed},
        {"/never-answers", silent, loader_text::kNoConnection},
    };
    std::string start;
    for (const Broken& b : broken) {
        origin.set(b.path, b.answer);
        start += "<a href=" + b.path + ">x</a>\n";
    }
    start += "<a href=\"http://" + std::string(kUnresolvableHost) + "/\">nowhere</a>\n";
    start += "<a href=\"http://127.0.0.1:" + closedPort + "/\">closed</a>\n";
    start += "<a href=\"gopher://127.0.0.1/1\">gopher</a><a href=\"javascript:void(0)\">js</a>\n";
    start += "<a href=\"news:comp.lang\">news</a>\n";
    start += "<a href=/good.html>good</a>\n";
    origin.set("/good.html", OriginServer::document("<a href=/after.html>after</a>"));
    origin.set("/after.html", OriginServer::document("after"));
    origin.set("/", OriginServer::document(start));

    LoadSettings settings = Settings(origin.url("/"), 2);
    settings.answerTimeout = std::chrono::milliseconds(500);
    settings.followOtherComputers = true;
    JobRun job;
    job.Run(settings);

    for (const Broken& b : broken) {
        GraphNode* node = job.Node(origin.url(b.path));
        ASSERT_NE(node, nullptr) << b.path;
        EXPECT_EQ(node->kind, NodeKind::ServerError) << b.path;
        EXPECT_TRUE(AnyMessageSays(job.progress, origin.url(b.path), b.text)) << b.path;
        EXPECT_NE(node->info.find(b.text), std::string::npos) << b.path << ": " << node->info;
    }
    const std::string nowhere = std::string("http://") + kUnresolvableHost + "/";
    EXPECT_EQ(job.Node(nowhere)->kind, NodeKind::ServerError);
    EXPECT_TRUE(AnyMessageSays(job.progress, nowhere, loader_text::kContactFailed));
    const std::string closed = "http://127.0.0.1:" + closedPort + "/";
    EXPECT_EQ(job.Node(closed)->kind, NodeKind::ServerError);
    EXPECT_TRUE(AnyMessageSays(job.progress, closed, loader_text::kContactFailed));
    EXPECT_EQ(job.Node("gopher://127.0.0.1/1")->kind, NodeKind::Gopher);
    EXPECT_EQ(job.Node("javascript:void(0)")->kind, NodeKind::OtherScheme);
    EXPECT_EQ(job.Node("news:comp.lang")->kind, NodeKind::News);
    EXPECT_EQ(job.Node(origin.url("/after.html"))->kind, NodeKind::Html);
    EXPECT_EQ(job.result.problems, static_cast<int>(broken.size()) + 2);
    EXPECT_EQ(job.progress.ends, 1);
    origin.stop();
}

TEST(CrawlBadInput, MalformedAndHugePagesAreScannedToTheirEnd) {
    OriginServer origin;
    std::string huge = "<a href=/h1.html>";
    huge += std::string(10 * 1024 * 1024, 'x');
    huge += "<a href=/h2.html>";
    std::string nul = "<a href=/n1.html>" + std::string(2, '\0') + "<a href=/n2.html>";
    std::string attribute = "<a href=\"/" + std::string(100000, 'a') + ".html\"><a href=/long-after.html>";
    std::string unclosed = "<a href=/u1.html><!-- never closed <a href=/hidden.html>";
    std::string start = "<a href=/huge.html><a href=/nul.html><a href=/attribute.html><a href=/unclosed.html>"
                        "<a href=/unclosed-tag.html>";
    origin.set("/", OriginServer::document(start));
    origin.set("/huge.html", OriginServer::document(huge));
    origin.set("/nul.html", OriginServer::document(nul));
    origin.set("/attribute.html", OriginServer::document(attribute));
    origin.set("/unclosed.html", OriginServer::document(unclosed));
    origin.set("/unclosed-tag.html", OriginServer::document("<a href=/t1.html><a href=/t2.html"));
    JobRun job;
    job.Run(Settings(origin.url("/"), 1));
    for (const char* path : {"/h1.html", "/h2.html", "/n1.html", "/n2.html", "/long-after.html", "/u1.html",
                             "/t1.html"})
        EXPECT_NE(job.Node(origin.url(path)), nullptr) << path;
    EXPECT_NE(job.Node(origin.url("/" + std::string(100000, 'a') + ".html")), nullptr);
    EXPECT_EQ(job.Node(origin.url("/hidden.html")), nullptr);
    EXPECT_EQ(job.Node(origin.url("/t2.html")), nullptr);
    EXPECT_EQ(job.Node(origin.url("/huge.html"))->kind, NodeKind::Html);
    EXPECT_EQ(job.result.problems, 0);
}

TEST(CrawlStop, StopEndsTheJobWithWhatItHas) {
    OriginServer origin;
    OriginServer::Answer silent = OriginServer::document("late");
    silent.delay_ms = 60000;
    origin.set("/", OriginServer::document("<a href=/slow1.html>1</a><a href=/slow2.html>2</a>"));
    origin.set("/slow1.html", silent);
    origin.set("/slow2.html", silent);
    JobRun job;
    std::thread stopper([&] {
        origin.wait_for_requests(4, 20000);  // HEAD and GET of the start page, then both HEADs
        job.progress.stop = true;
    });
    job.Run(Settings(origin.url("/"), 2));
    stopper.join();
    EXPECT_TRUE(job.result.stopped);
    EXPECT_EQ(job.progress.ends, 1);
    EXPECT_EQ(job.graph.Nodes().size(), 3u);
    EXPECT_EQ(job.Node(origin.url("/"))->kind, NodeKind::Html);
    origin.stop();
}
