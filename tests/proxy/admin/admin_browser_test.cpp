// Harbord in a real browser: headless Chromium, with harbord as its proxy,
// opens http://quaylo/, follows the link to the options, submits the form to
// switch the proxy offline and opens the statistics. Each page is checked in
// the DOM the browser built, and kept as a screenshot in
// admin_browser_screenshots/ of the build tree. A page with images loads
// through the proxy, and again from its cache once it is offline.
#include "http/UrlCoding.h"
#include "testsupport/HarbordFixture.h"
#include "testsupport/OriginServer.h"
#include "testsupport/TestCertificates.h"
#include "testsupport/TlsFront.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

using namespace e2e;

namespace {

namespace fs = std::filesystem;

const char SCREENSHOTS[] = "admin_browser_screenshots";

bool has(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

// A 2 x 3 PNG and a 4 x 5 GIF.
const std::string PNG_2X3(
    "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x02\x00\x00"
    "\x00\x03\x08\x02\x00\x00\x00\x36\x88\x49\xd6\x00\x00\x00\x10\x49\x44\x41\x54\x78\x9c\x63"
    "\xf8\xcf\xc0\x00\x44\x0c\x28\x14\x00\x44\xd0\x05\xfb\xa4\xcf\xde\x80\x00\x00\x00\x00\x49"
    "\x45\x4e\x44\xae\x42\x60\x82",
    73);
const std::string GIF_4X5(
    "\x47\x49\x46\x38\x39\x61\x04\x00\x05\x00\x80\x00\x00\x00\x00\xff\xff\xff\xff\x2c\x00\x00"
    "\x00\x00\x04\x00\x05\x00\x00\x02\x0c\x04\x08\x10\x20\x40\x80\x00\x01\x02\x04\x08\x14\x00"
    "\x3b",
    45);

// Once everything has loaded, the page writes the images' sizes into itself,
// so the dumped DOM tells whether the browser really got them.
const std::string PAGE = R"(<!DOCTYPE html>
<html><head><title>Quay side</title></head>
<body><h1>Ships in the harbour</h1>
<img id="a" src="/img/ship.png"> <img id="b" src="/img/boat.gif">
<p id="result">pending</p>
<script>
window.addEventListener('load', function () {
  var a = document.getElementById('a'), b = document.getElementById('b');
  document.getElementById('result').textContent =
    'images ' + a.naturalWidth + 'x' + a.naturalHeight + ' ' + b.naturalWidth + 'x' + b.naturalHeight;
});
</script>
</body></html>
)";

// The attributes of one tag as the browser serialized it (no entities occur in these pages).
std::map<std::string, std::string> attributes(const std::string& tag) {
    std::map<std::string, std::string> found;
    static const std::regex attribute(R"re( ([a-z-]+)(?:="([^"]*)")?)re");
    for (auto it = std::sregex_iterator(tag.begin(), tag.end(), attribute);
         it != std::sregex_iterator(); ++it)
        found[(*it)[1]] = (*it)[2];
    return found;
}

// The href of the first anchor whose text is text.
std::string link_to(const std::string& dom, const std::string& text) {
    static const std::regex anchor(R"re(<a( [^>]*)>([^<]*)</a>)re");
    for (auto it = std::sregex_iterator(dom.begin(), dom.end(), anchor);
         it != std::sregex_iterator(); ++it)
        if ((*it)[2] == text) return attributes((*it)[1])["href"];
    return "";
}

// What submitting the first form loads with one field changed: the action and
// every named field (of radio buttons the checked one).
std::string submission(const std::string& dom, const std::string& name, const std::string& value) {
    std::smatch form;
    if (!std::regex_search(dom, form, std::regex(R"re(<form [^>]*>)re"))) return "";
    std::string url = attributes(form[0].str())["action"];
    static const std::regex input(R"re(<input [^>]*>)re");
    for (auto it = std::sregex_iterator(dom.begin(), dom.end(), input);
         it != std::sregex_iterator(); ++it) {
        std::map<std::string, std::string> a = attributes(it->str());
        if (a["name"].empty() || (a["type"] == "radio" && !a.count("checked"))) continue;
        url +=
            (url.find('?') == std::string::npos ? "?" : "&") + a["name"] + "=" +
            std::string(url_encode(a["name"] == name ? value.c_str() : a["value"].c_str()).c_str());
    }
    return url;
}

class AdminBrowser : public ::testing::Test {
protected:
    void SetUp() override {
        if (!program_exists("chromium")) GTEST_SKIP() << "chromium is not installed";
        fs::create_directories(SCREENSHOTS);
        origin.set("/page.html", OriginServer::document("<p>a page from the origin</p>"));
        ASSERT_TRUE(proxy.running()) << proxy.log();
    }
    // Headless Chromium with harbord (via, else proxy) as its proxy and a fresh
    // profile; with a home, its certificate store is the NSS database there.
    std::string chromium(const std::string& url, const std::vector<std::string>& options,
                         const Harbord* via = nullptr, const std::string& home = "") {
        std::vector<std::string> argv = {
            "env", "HOME=" + (home.empty() ? proxy.dir() : home), "chromium", "--headless", "--no-sandbox",
            "--disable-gpu", "--disable-quic", "--disable-dev-shm-usage",
            "--proxy-server=" + (via ? via : &proxy)->proxy(),
            "--proxy-bypass-list=<-loopback>",
            "--user-data-dir=" + proxy.dir() + "/profile-" + std::to_string(++runs),
            "--disable-background-networking", "--disable-component-update", "--disable-sync",
            "--no-first-run", "--window-size=1024,900"};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.push_back(url);
        return run_command(argv, 120000).out;
    }
    // An NSS database in home that trusts the CA file, as certutil makes it for a user.
    static bool trusting(const TempDir& home, const std::string& ca) {
        fs::create_directories(home.file(".pki/nssdb"));
        const std::string db = "sql:" + home.file(".pki/nssdb");
        return run_command({"certutil", "-N", "-d", db, "--empty-password"}).status == 0 &&
               run_command({"certutil", "-A", "-d", db, "-n", "quaylo-test", "-t", "C,,", "-i", ca}).status == 0;
    }
    // The DOM after loading url, in a browser that has never seen it (a fresh
    // profile, so its own cache is empty).
    std::string dom(const std::string& url) { return chromium(url, {"--dump-dom"}); }
    // Keeps a picture of the page; true when a PNG was written.
    bool screenshot(const std::string& url, const std::string& name) {
        std::string file = fs::absolute(std::string(SCREENSHOTS) + "/" + name + ".png").string();
        fs::remove(file);
        chromium(url, {"--screenshot=" + file});
        return read_text_file(file).rfind("\x89PNG", 0) == 0;
    }

    OriginServer origin;
    Harbord proxy{{"-debug", "1"}};
    int runs = 0;
};
using E2eBrowser = AdminBrowser;

TEST_F(E2eBrowser, PageWithImagesLoadsThroughTheProxyAndAgainFromTheCacheWhenOffline) {
    TempDir site("harbord-site");
    fs::create_directory(site.file("img"));
    write_file(site.file("index.html"), PAGE);
    write_file(site.file("img/ship.png"), PNG_2X3);
    write_file(site.file("img/boat.gif"), GIF_4X5);
    OriginServer files(site.path());
    const std::string url = files.url("/index.html"), loaded = "<p id=\"result\">images 2x3 4x5</p>";
    std::string online = dom(url);
    EXPECT_TRUE(has(online, "Ships in the harbour") && has(online, loaded)) << online;
    // Everything came through the proxy and was stored.
    for (const char* path : {"/index.html", "/img/ship.png", "/img/boat.gif"})
        EXPECT_TRUE(proxy.stored(files.url(path)).valid) << path;

    // Page and images come from the cache.
    ASSERT_TRUE(proxy.set_offline(true));
    size_t before = files.request_count();
    std::string offline = dom(url);
    EXPECT_TRUE(has(offline, "Ships in the harbour") && has(offline, loaded)) << offline;
    EXPECT_EQ(files.request_count(), before);
}

// HTTPS through a tunnel: the test CA is made known to Chromium the way a
// user would, in the NSS database of its home (certutil), not by a flag
// that skips verification.
TEST_F(E2eBrowser, HttpsPageWithImagesLoadsThroughATunnel) {
    if (!program_exists("certutil")) GTEST_SKIP() << "certutil is not installed";
    TempDir site("harbord-site"), home("browser-home");
    fs::create_directories(site.file("img"));
    TestCertificates certificates = TestCertificates::make(home.path());
    ASSERT_EQ(certificates.failure, "");
    ASSERT_TRUE(trusting(home, certificates.ca()));
    write_file(site.file("index.html"), PAGE);
    write_file(site.file("img/ship.png"), PNG_2X3);
    write_file(site.file("img/boat.gif"), GIF_4X5);
    OriginServer files(site.path());
    TlsFront front(certificates.certificate("good"), certificates.key("good"), files.port());
    Harbord tunnels({"-sslports", std::to_string(front.port())});
    std::string page = chromium("https://127.0.0.1:" + std::to_string(front.port()) + "/index.html", {"--dump-dom"},
                                &tunnels, home.path());
    EXPECT_TRUE(has(page, "<p id=\"result\">images 2x3 4x5</p>")) << page << tunnels.log();
    std::set<std::string> asked;  // page and images, each through the tunnel (a favicon maybe too)
    for (const auto& request : files.requests()) asked.insert(request.path);
    for (const char* path : {"/index.html", "/img/ship.png", "/img/boat.gif"}) EXPECT_EQ(asked.count(path), 1u) << path;
    EXPECT_TRUE(tunnels.cache_files().empty());  // a tunnel stores nothing
}

// With interception on, the browser trusts the proxy's own CA (imported from
// http://quaylo/ca.crt) and the HTTPS page and its images are kept: offline
// they load again without a request to the origin. A browser that does not
// trust the CA gets no page.
TEST_F(E2eBrowser, HttpsPageIsKeptByTheProxyAndReadOfflineByABrowserTrustingItsCa) {
    if (!program_exists("certutil")) GTEST_SKIP() << "certutil is not installed";
    TempDir site("harbord-site"), home("browser-home"), stranger("browser-home");
    fs::create_directories(site.file("img"));
    TestCertificates certificates = TestCertificates::make(site.path());
    ASSERT_EQ(certificates.failure, "");
    write_file(site.file("index.html"), PAGE);
    write_file(site.file("img/ship.png"), PNG_2X3);
    write_file(site.file("img/boat.gif"), GIF_4X5);
    OriginServer files(site.path());
    TlsFront front(certificates.certificate("good"), certificates.key("good"), files.port());
    Harbord keeping({"-cafile", certificates.ca(), "-sslports", std::to_string(front.port()), "-sslcache", "1"});
    write_file(home.file("quaylo-ca.crt"), keeping.get("http://quaylo/ca.crt").body);
    ASSERT_TRUE(trusting(home, home.file("quaylo-ca.crt")));
    const std::string base = "https://127.0.0.1:" + std::to_string(front.port()), loaded = "<p id=\"result\">images 2x3 4x5</p>";
    std::string online = chromium(base + "/index.html", {"--dump-dom"}, &keeping, home.path());
    EXPECT_TRUE(has(online, loaded)) << online << keeping.log();
    for (const char* path : {"/index.html", "/img/ship.png", "/img/boat.gif"})
        EXPECT_TRUE(keeping.stored(base + path).valid) << path;

    ASSERT_TRUE(keeping.set_offline(true));
    size_t before = files.request_count();
    std::string offline = chromium(base + "/index.html", {"--dump-dom"}, &keeping, home.path());
    EXPECT_TRUE(has(offline, loaded)) << offline;
    std::string missing = chromium(base + "/never.html", {"--dump-dom"}, &keeping, home.path());
    EXPECT_TRUE(has(missing, "is not cached")) << missing;
    EXPECT_EQ(files.request_count(), before);
    std::string refused = chromium(base + "/index.html", {"--dump-dom"}, &keeping, stranger.path());
    EXPECT_FALSE(has(refused, "Ships in the harbour")) << refused;
}

TEST_F(AdminBrowser, MenuOptionsFormSwitchesOfflineThenStatistics) {
    std::string menu = dom("http://quaylo/");
    EXPECT_TRUE(has(menu, "Welcome to Corvane's")) << menu;
    EXPECT_TRUE(screenshot("http://quaylo/", "1-menu"));
    ASSERT_EQ(link_to(menu, "Options"), "http://quaylo/options") << menu;

    std::string form = dom(link_to(menu, "Options"));
    EXPECT_TRUE(has(form, "You can configure the Quaylo")) << form;
    EXPECT_EQ(link_to(form, "Mode:"), "http://quaylo/help?mode.htm");
    EXPECT_TRUE(screenshot("http://quaylo/options", "2-options"));

    std::string submit = submission(form, "offline", "1");
    ASSERT_TRUE(submit.starts_with("http://quaylo/options?token=" + proxy.token() +
                                   "&offline=1&language=english&maxcon=16"))
        << submit;
    EXPECT_TRUE(has(submit, "&cachefiles=10000")) << submit;
    std::string changed = dom(submit);
    EXPECT_TRUE(has(changed, "Options were changed")) << changed;
    std::smatch offline;
    ASSERT_TRUE(std::regex_search(
        changed, offline, std::regex(R"re(<input name="offline" type="radio" value="1"[^>]*>)re")))
        << changed;
    EXPECT_TRUE(has(offline.str(), "checked")) << offline.str();

    // The proxy is offline now: a page never fetched is not fetched.
    std::string missing = dom(origin.url("/page.html"));
    EXPECT_TRUE(has(missing, "is not cached")) << missing;
    EXPECT_EQ(origin.request_count("/page.html"), 0u);

    std::string statistics = dom("http://quaylo/statistics");
    EXPECT_TRUE(has(statistics, "<h1>Statistics</h1><hr></center>\n<table><tbody><tr><td>Listening on "
                                "port: </td><td>" + std::to_string(proxy.port())))
        << statistics;
    EXPECT_TRUE(screenshot("http://quaylo/statistics", "3-statistics"));
}

// A page of another site sends changes to the proxy: an image whose address
// would send all traffic elsewhere, and a form that submits itself. Nothing
// changes; the form lands on the page asking to confirm, and confirming it in
// the same browser makes the change.
TEST_F(AdminBrowser, AHostilePageChangesNothingButItsChangeCanBeConfirmed) {
    origin.set("/hostile.html",
               OriginServer::document(
                   "<html><body><img src=\"http://quaylo/options?proxyhost=127.0.0.1&proxyport=9\">"
                   "<form id=\"f\" method=\"get\" action=\"http://quaylo/options\"><input "
                   "name=\"language\" value=\"deutsch\"><input name=\"maxcon\" value=\"3\"><input "
                   "name=\"timeout\" value=\"30\"></form><script>window.onload = function () { "
                   "document.getElementById('f').submit(); };</script></body></html>"));
    const std::string setup_file = proxy.dir() + "/harbord.cfg", setup = read_text_file(setup_file);
    std::string landed = chromium(origin.url("/hostile.html"),
                                  {"--virtual-time-budget=10000", "--dump-dom"});
    ASSERT_TRUE(has(landed, "<h1>Please confirm</h1>")) << landed;
    EXPECT_TRUE(eventually([&] {
        std::string log = proxy.log();
        return log.find("refused: /options: no valid token") !=
               log.rfind("refused: /options: no valid token");
    })) << proxy.log(); // the image and the form both reached the proxy
    EXPECT_EQ(read_text_file(setup_file), setup);
    // The cache holds what the browser fetched (the page, maybe its icon), nothing imported.
    for (const CacheFile& file : proxy.cache_files())
        EXPECT_EQ(file.url.rfind(origin.url("/"), 0), 0u) << file.url;
    EXPECT_TRUE(proxy.stored(origin.url("/hostile.html")).valid);
    std::string options = dom("http://quaylo/options");
    for (const char* unchanged : {"name=\"proxyhost\" type=\"text\" size=\"32\" value=\"\"",
                                  "name=\"maxcon\" type=\"range\" min=\"1\" max=\"100\" value=\"16\"",
                                  "Max. concurrent connections:"})
        EXPECT_TRUE(has(options, unchanged)) << unchanged << options;

    std::string confirm = submission(landed, "", "");
    ASSERT_TRUE(confirm.starts_with("http://quaylo/options?token=" + proxy.token() +
                                    "&language=deutsch&maxcon=3&timeout=30"))
        << confirm;
    std::string changed = dom(confirm);
    EXPECT_TRUE(has(changed, "Options were changed") && has(changed, "value=\"deutsch\" checked") &&
                has(changed, "name=\"maxcon\" type=\"range\" min=\"1\" max=\"100\" value=\"3\""))
        << changed;
    EXPECT_NE(read_text_file(setup_file), setup);
}

} // namespace
