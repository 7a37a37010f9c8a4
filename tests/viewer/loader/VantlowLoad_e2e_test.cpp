// End to end: `vantlow --load` of this build against the test origin server,
// through a harbord of this build on free loopback ports.
#include "tests/viewer/loader/LoaderTestSupport.h"
#include "testsupport/HarbordFixture.h"
#include "testsupport/SiteGenerator.h"
#include "testsupport/TestCertificates.h"
#include "testsupport/TlsFront.h"

#include <csignal>
#include <filesystem>
#include <sstream>

namespace {

using Words = std::vector<std::string>;

// Runs vantlow (or a copy) with its state below dir; its process id goes to
// dir/pid, its standard error to dir/err, its graph file is dir/g.gra.
e2e::CommandResult Vantlow(const TempDir& dir, const Words& args, const std::string& program = VANTLOW_BIN) {
    Words argv = {"sh", "-c", "cd \"$0\" && echo $$ > pid && export XDG_STATE_HOME=\"$0/state\" && exec \"$@\" 2> err",
                  dir.path(), program, "--output", dir.file("g.gra")};
    argv.insert(argv.end(), args.begin(), args.end());
    return e2e::run_command(argv, 180000);
}

// The pages listed (--list: "kind level url") as loaded HTML.
std::set<std::string> HtmlLoaded(const std::string& list) {
    std::set<std::string> urls;
    std::istringstream in(list);
    int kind, level;
    for (std::string url; in >> kind >> level >> url;)
        if (kind == 14 && level >= 0) urls.insert(url);
    return urls;
}

}  // namespace

TEST(VantlowLoad, ASiteLoadedThroughHarbordCanBeLoadedAgainOfflineFromItsCache) {
    TempDir dir, online, offline;
    OriginServer origin(dir.path());
    GeneratedSite site = GenerateSite(dir.path(), origin.port(), SiteShape{30, 3, 2, 1});
    site.ApplyTo(origin);
    e2e::Harbord harbord;
    std::set<std::string> pages;
    for (const std::string& path : site.PathsWithinLevels(-1)) pages.insert(site.base + path);
    const Words job = {"--load", site.StartUrl(), "--unlimited-levels", "--list", "--proxy", harbord.proxy()};
    e2e::CommandResult run = Vantlow(online, job);
    const std::string log = read_file(online.file("err")), n = std::to_string(pages.size());
    ASSERT_EQ(run.status, 0) << log;
    EXPECT_EQ(HtmlLoaded(run.out), pages);
    const std::string summary = "Documents loaded: " + n + ", HTML pages: " + n + ", nodes: " +
                                std::to_string(std::count(run.out.begin(), run.out.end(), '\n')) + ", edges: ";
    for (const std::string& line : {summary, std::string(", problems: 0\n"), "Loading " + site.StartUrl() + " ...\n"})
        EXPECT_NE(log.find(line), std::string::npos) << log;

    origin.stop();  // from now on only the cache can answer
    Words offlineJob = job;
    offlineJob.push_back("--offline");
    run = Vantlow(offline, offlineJob);
    EXPECT_EQ(run.status, 0) << read_file(offline.file("err"));
    EXPECT_EQ(HtmlLoaded(run.out), pages);
    for (const std::string& path : site.PathsWithinLevels(-1)) {
        e2e::HttpResult page = harbord.curl(site.base + path);
        EXPECT_EQ(page.body, read_file(dir.path() + path + (path.back() == '/' ? "index.html" : ""))) << path;
    }
}

// An HTTPS site (a TLS front before the origin) loads through harbord page
// for page as the same site does over plain HTTP, and reads back offline.
TEST(VantlowLoad, AnHttpsSiteLoadsLikeItsHttpTwinAndAgainOfflineFromTheCache) {
    TempDir dir, certificates_dir, plain, secure, offline;
    TestCertificates certificates = TestCertificates::make(certificates_dir.path());
    ASSERT_EQ(certificates.failure, "");
    OriginServer origin(dir.path());
    GeneratedSite http = GenerateSite(dir.path(), origin.port(), SiteShape{30, 3, 2, 1});
    http.ApplyTo(origin);
    TlsFront front(certificates.certificate("good"), certificates.key("good"), origin.port());
    SiteShape shape{30, 3, 2, 1};
    shape.scheme = "https";
    e2e::Harbord harbord({"-cafile", certificates.ca(), "-sslports", std::to_string(front.port())});
    auto loaded = [&](const TempDir& into, const GeneratedSite& site, const Words& more = {}) {
        Words job = {"--load", site.StartUrl(), "--levels", "2", "--list", "--proxy", harbord.proxy()};
        job.insert(job.end(), more.begin(), more.end());
        e2e::CommandResult run = Vantlow(into, job);
        EXPECT_EQ(run.status, 0) << read_file(into.file("err"));
        std::set<std::string> paths;  // without scheme, host and port
        for (const std::string& url : HtmlLoaded(run.out)) {
            EXPECT_EQ(url.substr(0, url.find(':')), site.base.substr(0, site.base.find(':'))) << url;
            paths.insert(url.substr(url.find('/', url.find("://") + 3)));
        }
        return paths;
    };
    std::set<std::string> expected;
    for (const std::string& path : http.PathsWithinLevels(2)) expected.insert(path);
    EXPECT_EQ(loaded(plain, http), expected);
    GeneratedSite https = GenerateSite(dir.path(), front.port(), shape);  // the same pages, https links
    https.ApplyTo(origin);
    EXPECT_EQ(loaded(secure, https), expected);
    origin.stop();
    EXPECT_EQ(loaded(offline, https, {"--offline"}), expected);
}

TEST(VantlowLoad, ExitCodesForHelpWrongArgumentsAndAStopSignalThatStillWritesTheGraph) {
    e2e::CommandResult help = e2e::run_command({VANTLOW_BIN, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--load URL --output FILE.gra"), std::string::npos) << help.out;
    EXPECT_EQ(e2e::run_command({VANTLOW_BIN, "--load", "x"}).status, 2);
    OriginServer slow;
    OriginServer::Answer held = OriginServer::document("late");
    held.held = true;
    slow.set("/", OriginServer::document("<a href=slow1.html>1</a><a href=slow2.html>2</a>"));
    slow.set("/slow1.html", held);
    slow.set("/slow2.html", held);
    for (int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        slow.clear_log();
        TempDir dir;
        std::thread stopper([&] {
            EXPECT_TRUE(slow.wait_for_requests(4, 60000));  // the start page, then both checks
            ::kill(std::stoi(read_file(dir.file("pid"))), signal);
        });
        e2e::CommandResult run = Vantlow(dir, {"--load", slow.url("/"), "--direct", "--levels", "3", "--list"});
        stopper.join();
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(read_file(dir.file("err")).find("Loading was stopped on request."), std::string::npos);
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 3);
        EXPECT_NE(read_file(dir.file("g.gra")).find("\ne 1 2 "), std::string::npos) << read_file(dir.file("g.gra"));
    }
    slow.stop();
}

TEST(VantlowLoad, AMissingProxyIsStartedFromBesideVantlow) {
    // A copy of vantlow with a harbord beside it that runs the real proxy on ports of this test.
    TempDir dir;
    OriginServer origin;
    origin.set("/", OriginServer::document("<title>t</title>"));
    const std::string port = std::to_string(e2e::free_port());
    std::filesystem::copy_file(VANTLOW_BIN, dir.file("vantlow"));
    std::filesystem::copy_file(HARBORD_BIN, dir.file("harbord.real"));
    write_file(dir.file(".quaylo-build-tree"), "");  // copies of the build tree's programs
    const std::string script = "#!/bin/sh\necho \"started with: $*\"\necho $$ > proxy.pid\nexec ./harbord.real \"$@\"";
    write_file(dir.file("harbord"), script + " -iport " + std::to_string(e2e::free_port()) + " -cachedir cache\n");
    std::filesystem::permissions(dir.file("harbord"), std::filesystem::perms::owner_all);
    e2e::CommandResult run =
        Vantlow(dir, {"--load", origin.url("/"), "--levels", "0", "--proxy", "127.0.0.1:" + port}, dir.file("vantlow"));
    EXPECT_EQ(run.status, 0) << read_file(dir.file("err"));
    const std::string log = read_file(dir.file("state/vantlow/harbord.log"));
    EXPECT_NE(log.find("started with: -port " + port + "\n"), std::string::npos) << log;
    EXPECT_GT(origin.request_count("/"), 0u);  // through the proxy it started
    const pid_t proxy = static_cast<pid_t>(std::stol("0" + read_file(dir.file("proxy.pid"))));
    ASSERT_GT(proxy, 0);
    ::kill(proxy, SIGTERM);
    EXPECT_TRUE(e2e::eventually([&] { return ::kill(proxy, 0) != 0; }, 30000));
}

// A crawl larger than the proxy's cache loses its early documents: the job
// says so, names the values that would hold it and ends with status 1; with
// the named values the same site fits and reads back offline whole. A start
// page that cannot be reached is a failed job too.
TEST(VantlowLoad, AJobLargerThanTheProxysCacheOrWithoutItsStartPageSaysSo) {
    TempDir dir, small, fitted, offline;
    OriginServer origin(dir.path());
    GeneratedSite site = GenerateSite(dir.path(), origin.port(), SiteShape{30, 3, 2, 1});
    site.ApplyTo(origin);
    const std::string pages = std::to_string(site.PathsWithinLevels(-1).size());
    e2e::Harbord harbord({"-cachesize", "8", "-cachefiles", "10"});
    const Words job = {"--load", site.StartUrl(), "--unlimited-levels", "--list", "--proxy", harbord.proxy()};
    e2e::CommandResult run = Vantlow(small, job);
    std::string log = read_file(small.file("err"));
    EXPECT_EQ(run.status, 1) << log;
    EXPECT_NE(log.find("it keeps at most 8 kB in 10 documents of at most 500 kB each, while the job loaded " + pages +
                       " documents taking "), std::string::npos) << log;
    // The values named leave room beyond what the job needs.
    auto named = [&log](const std::string& before) {
        size_t at = log.find(before);
        return at == std::string::npos ? 0 : std::stoi(log.substr(at + before.size()));
    };
    const int needKB = named("taking "), size = named("Raise cachesize to "), files = named("cachefiles to ");
    EXPECT_GT(needKB, 8);
    EXPECT_GT(size, needKB);
    EXPECT_GT(files, std::stoi(pages));
    EXPECT_EQ(log.find("entrysize to"), std::string::npos) << log;
    ASSERT_EQ(harbord.stop(), 0);
    ASSERT_TRUE(harbord.start({"-cachesize", std::to_string(size), "-cachefiles", std::to_string(files)}));
    run = Vantlow(fitted, job);
    log = read_file(fitted.file("err"));
    EXPECT_EQ(run.status, 0) << log;
    EXPECT_EQ(log.find("too small"), std::string::npos) << log;
    origin.stop();
    Words offlineJob = job;
    offlineJob.push_back("--offline");
    run = Vantlow(offline, offlineJob);
    EXPECT_EQ(run.status, 0) << read_file(offline.file("err"));
    EXPECT_EQ(std::to_string(HtmlLoaded(run.out).size()), pages) << run.out << read_file(offline.file("err"));

    // A start page whose server refuses the connection fails the job, though the proxy answers.
    TempDir refused;
    const std::string closed = "http://127.0.0.1:" + std::to_string(e2e::free_port()) + "/";
    run = Vantlow(refused, {"--load", closed, "--proxy", harbord.proxy()});
    log = read_file(refused.file("err"));
    EXPECT_EQ(run.status, 1) << log;
    EXPECT_NE(log.find("The start page could not be loaded: Status: 5"), std::string::npos) << log;
    EXPECT_NE(log.find("Documents loaded: 1 (HTML pages: 0, other documents: 1). Links drawn but not followed: 0. "
                       "Problems: 1."), std::string::npos) << log;
}
