// The admin pages through the real proxy: curl asks harbord for
// http://quaylo/... as a browser would, from an admin address and, with
// `admins` set elsewhere, from an address that is not an admin.
#include "testsupport/HarbordFixture.h"
#include "testsupport/OriginServer.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace e2e;

namespace {

namespace fs = std::filesystem;

const std::string REFUSAL = "<HR><H2>Unauthorized access:</H2><P>Your IP-address does not have "
                            "administrative permissions</P><HR>";

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class AdminE2e : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(origin.listening());
        origin.set("/index.html", OriginServer::document("<p>Apple and BANANA</p>"));
        origin.set("/picture.gif", OriginServer::document("GIF89a apple banana", "image/gif"));
    }
    // Fetches the documents through the proxy until they are all cached.
    void fill(const Harbord& proxy) {
        for (const char* path : {"/index.html", "/picture.gif"}) proxy.curl(origin.url(path));
        ASSERT_TRUE(eventually([&] {
            return contains(proxy.curl("http://quaylo/inventory.txt").body, origin.url("/picture.gif"));
        }));
    }
    std::string host() const { return "127.0.0.1:" + std::to_string(origin.port()); }

    OriginServer origin;
    TempDir dir;
};

TEST_F(AdminE2e, EveryPathAnswersAnAdminAndOnlyTheReadingOnesAnyoneElse) {
    Harbord admin, other({"-admins", "10.9.9.9"});
    ASSERT_TRUE(admin.running() && other.running()) << admin.log() << other.log();
    fill(admin);
    fill(other);
    const std::pair<std::string, std::string> cases[] = {
        {"/", "<H1>Quaylo</H1>Release 1.0"},
        {"/options", "<FORM method=get action=\"http://quaylo/options\">"},
        {"/inventory.txt", origin.url("/index.html") + "\n" + origin.url("/picture.gif") + "\n"},
        {"/inventory", ">" + host() + "</A><BR>"},
        {"/inventory?http%3a//" + host() + "/index.html", "Details</A>"},
        {"/details?1", "<H1>Cache Entry Details</H1>"},
        {"/users", "<TR><TD>IP address<TD>last connect\n<TR><TD>127.0.0.1<TD>"},
        {"/statistics", "Number of cached files: <TD>2\n"},
        {"/help?mode.htm", "<TITLE>Quaylo - Mode</TITLE>"},
        {"/search", "<H1>Text Retrieval</H1>"},
        {"/search?phrase=apple%2Cbanana", "Results of last search</H1></CENTER><HR>\n<A HREF"},
        {"/search?phrase=apple&more=1", "<H1>Error: invalid parameters for seach</H1>"},
        {"/export", "name=\"host\" value=\"" + host() + "\""},
        {"/import1", "<H1>Import</H1>"},
        {"/foo", "<HR><H2>Invalid path specified: '/foo'</H2>"},
    };
    for (const Harbord* proxy : {&admin, &other})
        for (const auto& [path, marker] : cases) {
            HttpResult r = proxy->curl("http://quaylo" + path);
            EXPECT_EQ(r.status, 200) << path;
            EXPECT_TRUE(contains(r.body, marker)) << path << "\n" << r.body;
            EXPECT_FALSE(contains(r.body, "Unauthorized access")) << path;
            if (path.rfind("/search?", 0) == 0)
                EXPECT_EQ(r.header("Content-Length"), std::to_string(r.body.size()));
            if (path == "/search?phrase=apple%2Cbanana")
                EXPECT_FALSE(contains(r.body, "picture.gif")) << r.body;
        }
    std::string target = dir.file("export");
    for (const std::string& path : {"/do_export?host=" + host() + "&exdir=" + target,
                                    "/import2?importdir=" + target + "&all=1",
                                    "/do_import?host=" + host() + "&importdir=" + target})
        EXPECT_TRUE(contains(other.curl("http://quaylo" + path).body, REFUSAL)) << path;
    EXPECT_FALSE(fs::exists(target));
    EXPECT_TRUE(contains(admin.curl("http://quaylo/do_export?host=" + host() + "&exdir=" + target).body,
                         "<H1>Export done</H1><P>2 files"));
    EXPECT_TRUE(contains(admin.curl("http://quaylo/import2?importdir=" + target + "&all=0").body,
                         "name=\"host\" value=\"" + host() + "\""));
}

TEST_F(AdminE2e, OnlyAnAdminSwitchesOfflineAndChangesSurviveARestart) {
    Harbord proxy({"-admins", "10.9.9.9"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    HttpResult refused = proxy.curl("http://quaylo/options?offline=1");
    EXPECT_TRUE(contains(refused.body, REFUSAL + "<FORM method=get")) << refused.body;
    EXPECT_EQ(proxy.curl(origin.url("/index.html")).status, 200); // still online
    ASSERT_EQ(proxy.stop(), 0);
    ASSERT_TRUE(proxy.start({"-admins", "127.0.0.1"}));

    HttpResult changed = proxy.curl("http://quaylo/options?offline=1&updtime=600");
    EXPECT_TRUE(contains(changed.body, "<H2>Options were changed</H2>")) << changed.body;
    HttpResult missing = proxy.curl(origin.url("/picture.gif"));
    EXPECT_EQ(missing.status, 501);
    EXPECT_TRUE(contains(missing.body, "is not cached")) << missing.body;
    EXPECT_EQ(origin.request_count("/picture.gif"), 0u);
    // The setup file holds the change at once, and the next start uses it.
    EXPECT_TRUE(contains(read_text_file(proxy.dir() + "/harbord.cfg"),
                         std::string("\x07\0\0\0updtime\x03\0\0\0" "600", 18)));
    ASSERT_EQ(proxy.stop(), 0);
    ASSERT_TRUE(proxy.start());
    std::string form = proxy.curl("http://quaylo/options").body;
    EXPECT_TRUE(contains(form, "name=\"updtime\" type=range min=0 max=360000 value=600>")) << form;
    EXPECT_TRUE(contains(form, "value=1 checked>Offline"));
}

TEST_F(AdminE2e, ExportedDocumentsImportedIntoAnotherProxyAreServedOffline) {
    std::string exported = dir.file("export");
    {
        Harbord first;
        ASSERT_TRUE(first.running()) << first.log();
        fill(first);
        EXPECT_TRUE(contains(first.curl("http://quaylo/do_export?host=" + host() + "&exdir=" +
                                        exported).body,
                             "<H1>Export done</H1><P>2 files have been exported into directory '" +
                                 exported + "'.</P>"));
    }
    Harbord second;
    ASSERT_TRUE(second.running()) << second.log();
    EXPECT_TRUE(contains(second.curl("http://quaylo/import2?importdir=" + exported + "&all=1").body,
                         "<H1>Import done</H1><P>2 files have been imported"));
    ASSERT_TRUE(second.set_offline(true));
    size_t before = origin.request_count();
    EXPECT_EQ(second.curl(origin.url("/index.html")).body, "<p>Apple and BANANA</p>");
    EXPECT_EQ(second.curl(origin.url("/picture.gif")).body, "GIF89a apple banana");
    EXPECT_EQ(origin.request_count(), before);
    ASSERT_EQ(second.stop(), 0);
    size_t entries = 0;
    EXPECT_EQ(check_cachedb(second.cachedir(), &entries), "");
    EXPECT_EQ(entries, 2u);
}

} // namespace
