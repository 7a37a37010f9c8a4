// The admin pages in a real browser: headless Chromium, with harbord as its
// proxy, opens http://quaylo/, follows the link to the options, submits the
// form to switch the proxy offline and opens the statistics. Each page is
// checked in the DOM the browser built, and kept as a screenshot in
// admin_browser_screenshots/ of the build tree.
#include "http/UrlCoding.h"
#include "testsupport/HarbordFixture.h"
#include "testsupport/OriginServer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

using namespace e2e;

namespace {

namespace fs = std::filesystem;

const char SCREENSHOTS[] = "admin_browser_screenshots";

bool has(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

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
        ASSERT_TRUE(origin.listening());
        origin.set("/page.html", OriginServer::document("<p>a page from the origin</p>"));
        ASSERT_TRUE(proxy.running()) << proxy.log();
    }
    // Headless Chromium with harbord as its proxy and a fresh profile.
    std::string chromium(const std::string& url, const std::vector<std::string>& options) {
        std::vector<std::string> argv = {
            "chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
            "--disable-dev-shm-usage", "--proxy-server=" + proxy.proxy(),
            "--proxy-bypass-list=<-loopback>",
            "--user-data-dir=" + proxy.dir() + "/profile-" + std::to_string(++runs),
            "--disable-background-networking", "--disable-component-update", "--disable-sync",
            "--no-first-run", "--window-size=1024,900"};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.push_back(url);
        return run_command(argv, 120000).out;
    }
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
