// A real browser through the proxy: headless Chromium loads a page with
// images from the test origin through harbord, then shows the same page from
// the cache once the proxy has been switched offline.
#include "testsupport/HarbordFixture.h"
#include "testsupport/OriginServer.h"
#include "testsupport/TestCertificates.h"
#include "testsupport/TlsFront.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

using namespace e2e;

namespace {

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

const char EXPECTED_RESULT[] = "<p id=\"result\">images 2x3 4x5</p>";

// The DOM after loading url through the proxy, in a browser that has never
// seen it (a fresh profile, so its own cache is empty). With a home, the
// browser's certificate store is the NSS database there.
std::string dump_dom(const Harbord& proxy, const std::string& url, const std::string& home = "") {
    static int runs = 0;
    return run_command({"env", "HOME=" + (home.empty() ? proxy.dir() : home), "chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                        "--disable-dev-shm-usage", "--proxy-server=" + proxy.proxy(),
                        "--proxy-bypass-list=<-loopback>",
                        "--user-data-dir=" + proxy.dir() + "/profile-" + std::to_string(++runs),
                        "--disable-background-networking", "--disable-component-update",
                        "--disable-sync", "--no-first-run", "--dump-dom", url},
                       120000)
        .out;
}

TEST(E2eBrowser, PageWithImagesLoadsThroughTheProxyAndAgainFromTheCacheWhenOffline) {
    if (!program_exists("chromium")) GTEST_SKIP() << "chromium is not installed";
    TempDir site("harbord-site");
    std::filesystem::create_directory(site.file("img"));
    write_file(site.file("index.html"), PAGE);
    write_file(site.file("img/ship.png"), PNG_2X3);
    write_file(site.file("img/boat.gif"), GIF_4X5);
    OriginServer origin(site.path());
    ASSERT_TRUE(origin.listening());
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::string url = origin.url("/index.html");

    std::string online = dump_dom(proxy, url);
    EXPECT_NE(online.find("Ships in the harbour"), std::string::npos) << online;
    EXPECT_NE(online.find(EXPECTED_RESULT), std::string::npos) << online;
    // Everything came through the proxy and was stored.
    for (const char* path : {"/index.html", "/img/ship.png", "/img/boat.gif"})
        EXPECT_TRUE(proxy.stored(origin.url(path)).valid) << path;

    ASSERT_TRUE(proxy.set_offline(true));
    size_t before = origin.request_count();
    std::string offline = dump_dom(proxy, url);
    EXPECT_NE(offline.find("Ships in the harbour"), std::string::npos) << offline;
    EXPECT_NE(offline.find(EXPECTED_RESULT), std::string::npos) << offline;
    // Page and images came from the cache.
    EXPECT_EQ(origin.request_count(), before);

    // And a page that was never loaded shows the offline page.
    std::string missing = dump_dom(proxy, origin.url("/elsewhere.html"));
    EXPECT_NE(missing.find("is not cached"), std::string::npos) << missing;
    EXPECT_NE(missing.find("http://quaylo/options?offline=0"), std::string::npos) << missing;
}

// HTTPS through a tunnel: the test CA is made known to Chromium the way a
// user would, in the NSS database of its home (certutil), not by a flag
// that skips verification.
TEST(E2eBrowser, HttpsPageWithImagesLoadsThroughATunnel) {
    if (!program_exists("chromium") || !program_exists("certutil")) GTEST_SKIP() << "chromium or certutil missing";
    TempDir site("harbord-site"), home("browser-home");
    std::filesystem::create_directories(site.file("img"));
    std::filesystem::create_directories(home.file(".pki/nssdb"));
    TestCertificates certificates = TestCertificates::make(home.file(".pki"));
    ASSERT_EQ(certificates.failure, "");
    const std::string db = "sql:" + home.file(".pki/nssdb");
    ASSERT_EQ(run_command({"certutil", "-N", "-d", db, "--empty-password"}).status, 0);
    ASSERT_EQ(run_command({"certutil", "-A", "-d", db, "-n", "quaylo-test", "-t", "C,,", "-i", certificates.ca()}).status, 0);
    write_file(site.file("index.html"), PAGE);
    write_file(site.file("img/ship.png"), PNG_2X3);
    write_file(site.file("img/boat.gif"), GIF_4X5);
    OriginServer origin(site.path());
    TlsFront front(certificates.certificate("good"), certificates.key("good"), origin.port());
    Harbord proxy({"-sslports", std::to_string(front.port())});
    std::string page = dump_dom(proxy, "https://127.0.0.1:" + std::to_string(front.port()) + "/index.html", home.path());
    EXPECT_NE(page.find(EXPECTED_RESULT), std::string::npos) << page << proxy.log();
    std::set<std::string> asked;  // page and images, each through the tunnel (a favicon maybe too)
    for (const auto& request : origin.requests()) asked.insert(request.path);
    for (const char* path : {"/index.html", "/img/ship.png", "/img/boat.gif"}) EXPECT_EQ(asked.count(path), 1u) << path;
}

} // namespace
