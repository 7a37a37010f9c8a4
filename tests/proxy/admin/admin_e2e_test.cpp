// The admin pages through the real proxy: curl asks harbord for
// http://quaylo/... as a browser would, from an admin address and, with
// `admins` set elsewhere, from an address that is not an admin.
#include "proxy/language/LanguageTable.h"
#include "testsupport/HarbordFixture.h"
#include "testsupport/OriginServer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace e2e;

namespace {

namespace fs = std::filesystem;

const std::string FOOTER = "<HR><CENTER><SMALL><EM>Quaylo - the caching proxy of Corvane</EM>";
const std::string REFUSAL =
    "<HR><H2>Unauthorized access:</H2><P>Your IP-address does not have administrative "
    "permissions</P><HR>";

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string make_dir(const std::string& pattern) {
    std::string path = "/tmp/" + pattern + "-XXXXXX";
    std::vector<char> buffer(path.begin(), path.end());
    buffer.push_back('\0');
    return ::mkdtemp(buffer.data()) ? std::string(buffer.data()) : std::string();
}

class AdminE2e : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(origin.listening());
        origin.set("/index.html", OriginServer::document("<p>Apple and BANANA</p>"));
        origin.set("/fruit/apple.html", OriginServer::document("only apple here"));
        origin.set("/fruit/both.txt", OriginServer::document("banana, then apple", "text/plain"));
        origin.set("/img/apple.gif", OriginServer::document("GIF89a apple banana", "image/gif"));
        OriginServer::Answer gone = OriginServer::status(404, "Not Found");
        origin.set("/gone.html", gone);
    }
    void TearDown() override {
        std::error_code ignored;
        for (const std::string& d : dirs) fs::remove_all(d, ignored);
    }
    std::string temp_dir() {
        dirs.push_back(make_dir("admin-e2e"));
        return dirs.back();
    }
    // Fetches the documents through the proxy until they are all in the cache.
    void fill(const Harbord& proxy, const std::vector<std::string>& paths) {
        for (const std::string& path : paths) {
            HttpResult r = proxy.curl(origin.url(path));
            ASSERT_TRUE(r.answered) << path;
        }
        ASSERT_TRUE(eventually([&] {
            std::string list = proxy.curl("http://quaylo/inventory.txt").body;
            for (const std::string& path : paths)
                if (!contains(list, origin.url(path))) return false;
            return true;
        }));
    }
    std::string host() const { return "127.0.0.1:" + std::to_string(origin.port()); }

    OriginServer origin;
    std::vector<std::string> dirs;
};

TEST_F(AdminE2e, EveryPathAnswersAnAdmin) {
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    fill(proxy, {"/index.html"});
    std::string exported = temp_dir();
    struct Case {
        std::string path;
        std::string marker;
    };
    const Case cases[] = {
        {"/", "<H1>Quaylo</H1>Release "},
        {"", "<H1>Quaylo</H1>Release "},
        {"/options", "<FORM method=get action=\"http://quaylo/options\">"},
        {"/inventory.txt", origin.url("/index.html") + "\n"},
        {"/inventory", ">" + host() + "</A><BR>"},
        {"/inventory?http%3a//" + host() + "/index.html", "Details</A>"},
        {"/details?1", "<H1>Cache Entry Details</H1>"},
        {"/users", "<TD>127.0.0.1<TD>"},
        {"/statistics", "<TD>Listening on port: <TD>" + std::to_string(proxy.port())},
        {"/help?mode.htm", "<TITLE>Quaylo - Mode</TITLE>"},
        {"/help", "<TITLE>Quaylo - Help</TITLE>"},
        {"/search", "<H1>Text Retrieval</H1>"},
        {"/search?phrase=apple", "Results of last search"},
        {"/export", "name=\"host\" value=\"" + host() + "\""},
        {"/do_export?host=" + host() + "&exdir=" + exported, "<H1>Export done</H1><P>1 files"},
        {"/import1", "<H1>Import</H1>"},
        {"/import2?importdir=" + exported + "&all=0", "name=\"host\" value=\"" + host() + "\""},
        {"/do_import?importdir=" + exported, "Nothing marked for import"},
        {"/foo", "<HR><H2>Invalid path specified: '/foo'</H2>"},
    };
    for (const Case& c : cases) {
        HttpResult r = proxy.curl("http://quaylo" + c.path);
        EXPECT_EQ(r.status, 200) << c.path;
        EXPECT_TRUE(contains(r.body, c.marker)) << c.path << "\n" << r.body;
        EXPECT_FALSE(contains(r.body, "Unauthorized access")) << c.path;
    }
    EXPECT_TRUE(contains(proxy.curl("http://quaylo/statistics").body, FOOTER));
    EXPECT_FALSE(contains(proxy.curl("http://quaylo/help").body, FOOTER));
}

TEST_F(AdminE2e, NonAdminReadsButChangesNothing) {
    Harbord proxy({"-admins", "10.9.9.9"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    fill(proxy, {"/index.html"});
    std::string target = temp_dir() + "/export";

    HttpResult options = proxy.curl("http://quaylo/options?offline=1");
    EXPECT_EQ(options.status, 200);
    EXPECT_TRUE(contains(options.body, REFUSAL + "<FORM method=get")) << options.body;
    EXPECT_TRUE(contains(options.body, "value=0 checked>Online"));
    // Still online: an uncached document is fetched, not refused.
    HttpResult fetched = proxy.curl(origin.url("/fruit/apple.html"));
    EXPECT_EQ(fetched.status, 200);
    EXPECT_EQ(fetched.body, "only apple here");

    const std::vector<std::string> changing = {
        "/do_export?host=" + host() + "&exdir=" + target,
        "/import2?importdir=" + target + "&all=1",
        "/do_import?host=" + host() + "&importdir=" + target};
    for (const std::string& path : changing) {
        HttpResult r = proxy.curl("http://quaylo" + path);
        EXPECT_EQ(r.status, 200) << path;
        EXPECT_TRUE(contains(r.body, REFUSAL)) << path << r.body;
    }
    EXPECT_FALSE(fs::exists(target));

    const std::vector<std::string> reading = {
        "/",       "/options", "/inventory", "/inventory.txt",        "/users",    "/statistics",
        "/help",   "/search",  "/export",    "/search?phrase=apple", "/details?1", "/import1"};
    for (const std::string& path : reading) {
        HttpResult r = proxy.curl("http://quaylo" + path);
        EXPECT_EQ(r.status, 200) << path;
        EXPECT_FALSE(contains(r.body, "Unauthorized access")) << path;
    }
}

TEST_F(AdminE2e, OfflineSwitchChangesTheModeOfTheNextRequest) {
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    HttpResult on = proxy.curl("http://quaylo/options?offline=1");
    EXPECT_TRUE(contains(on.body, "<H2>Options were changed</H2>")) << on.body;
    EXPECT_TRUE(contains(on.body, "value=1 checked>Offline"));

    HttpResult missing = proxy.curl(origin.url("/index.html"));
    EXPECT_EQ(missing.status, 501);
    EXPECT_TRUE(contains(missing.body, "is not cached")) << missing.body;
    EXPECT_EQ(origin.request_count("/index.html"), 0u);

    proxy.curl("http://quaylo/options?offline=0");
    HttpResult fetched = proxy.curl(origin.url("/index.html"));
    EXPECT_EQ(fetched.status, 200);
    EXPECT_EQ(origin.request_count("/index.html"), 1u);
}

TEST_F(AdminE2e, OptionsFromTheFormAppearOnThePageAndInTheSetupFile) {
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    HttpResult r = proxy.curl("http://quaylo/options?offline=0&language=english&maxcon=7"
                              "&proxyhost=&proxyport=3128&sockshost=&socksport=1080&socksuser=ann"
                              "&timeout=45&updtime=600&cachesize=8192&entrysize=64&cachefiles=99");
    EXPECT_TRUE(contains(r.body, "Options were changed")) << r.body;
    std::string form = proxy.curl("http://quaylo/options").body;
    for (const char* shown : {"name=\"maxcon\" type=range min=1 max=100 value=7>",
                              "name=\"proxyport\" type=range min=1 max=65535 value=3128>",
                              "name=\"socksuser\" type=text size=32 value=\"ann\">",
                              "name=\"timeout\" type=range min=1 max=65535 value=45>",
                              "name=\"updtime\" type=range min=0 max=360000 value=600>",
                              "name=\"cachesize\" type=range min=8 max=2000000 value=8192>",
                              "name=\"entrysize\" type=range min=2 max=2000000 value=64>",
                              "name=\"cachefiles\" type=range min=2 max=2000000 value=99>"})
        EXPECT_TRUE(contains(form, shown)) << shown;

    // The setup file holds them at once, as pairs of length-prefixed strings.
    auto pair = [](const std::string& name, const std::string& value) {
        std::string bytes;
        for (const std::string& s : {name, value}) {
            uint32_t n = uint32_t(s.size());
            bytes.append(reinterpret_cast<const char*>(&n), 4);
            bytes += s;
        }
        return bytes;
    };
    std::string setup = read_text_file(proxy.dir() + "/harbord.cfg");
    EXPECT_TRUE(contains(setup, pair("maxcon", "7")));
    EXPECT_TRUE(contains(setup, pair("socksuser", "ann")));
    EXPECT_TRUE(contains(setup, pair("updtime", "600")));

    // And the next start uses them.
    ASSERT_EQ(proxy.stop(), 0);
    ASSERT_TRUE(proxy.start());
    EXPECT_TRUE(contains(proxy.curl("http://quaylo/options").body, "value=7>"));
}

TEST_F(AdminE2e, RejectedOptionValueIsReportedAndKept) {
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    HttpResult r = proxy.curl("http://quaylo/options?maxcon=500");
    EXPECT_TRUE(contains(r.body, "<H2>Invalid parameters specified:</H2>")) << r.body;
    EXPECT_TRUE(contains(r.body, "value 500 is out of range"));
    EXPECT_TRUE(contains(r.body, "name=\"maxcon\" type=range min=1 max=100 value=16>"));
}

TEST_F(AdminE2e, DutchPagesAndConsoleTexts) {
    Harbord proxy({"-language", "dutch"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    EXPECT_TRUE(contains(proxy.log(), message(MSG_READY, 2))) << proxy.log();
    EXPECT_TRUE(contains(proxy.log(), message(MSG_READING_CACHE, 2)));
    struct Case {
        std::string path;
        uint32_t text;
    };
    const Case cases[] = {
        {"/", MSG_WELCOME},           {"/", MSG_FOOTER_NOTICE},
        {"/options", MSG_OPTIONS_INTRO}, {"/options", MSG_SOCKSUSER},
        {"/inventory", MSG_NO_ENTRIES}, {"/statistics", MSG_TOTAL_SIZE},
        {"/search", MSG_SEARCH_INTRO}, {"/search?phrase=x", MSG_LAST_SEARCH_RESULTS},
        {"/export", MSG_EXPORT_HOSTS_INTRO}, {"/import1", MSG_IMPORT_DIRECTORY_INTRO},
        {"/details?5", MSG_ENTRY_DETAILS}, {"/nope", MSG_INVALID_PATH},
    };
    for (const Case& c : cases) {
        std::string body = proxy.curl("http://quaylo" + c.path).body;
        EXPECT_TRUE(contains(body, message(c.text, 2))) << c.path << "\n" << body;
        EXPECT_FALSE(contains(body, message(c.text, 0))) << c.path;
    }
    EXPECT_TRUE(contains(proxy.curl("http://quaylo/help?mode.htm").body, "<TITLE>Quaylo - Stand"));
    proxy.curl("http://quaylo/options?offline=1");
    EXPECT_TRUE(contains(proxy.curl(origin.url("/x.html")).body, message(MSG_ERROR_TITLE, 2)));
    ASSERT_EQ(proxy.stop(), 0);
    EXPECT_TRUE(contains(proxy.log(), message(MSG_SHUTTING_DOWN, 2)));
}

TEST_F(AdminE2e, SearchListsOnlyTextDocumentsHoldingEveryPiece) {
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    fill(proxy, {"/index.html", "/fruit/apple.html", "/fruit/both.txt", "/img/apple.gif"});
    auto search = [&](const std::string& query) {
        return proxy.curl("http://quaylo/search?" + query).body;
    };
    std::string both = search("phrase=apple%2Cbanana");
    EXPECT_TRUE(contains(both, ">" + origin.url("/index.html") + "</A><BR>")) << both;
    EXPECT_TRUE(contains(both, ">" + origin.url("/fruit/both.txt") + "</A><BR>"));
    EXPECT_FALSE(contains(both, origin.url("/fruit/apple.html")));
    EXPECT_FALSE(contains(both, origin.url("/img/apple.gif")));
    EXPECT_TRUE(contains(both, "value=\"apple,banana\">"));

    std::string any_case = search("phrase=APPLE");
    EXPECT_TRUE(contains(any_case, origin.url("/fruit/apple.html")));
    EXPECT_FALSE(contains(any_case, origin.url("/img/apple.gif")));

    // " banana" occurs only after a blank.
    std::string blank = search("phrase=+banana");
    EXPECT_TRUE(contains(blank, origin.url("/index.html")));
    EXPECT_TRUE(contains(blank, origin.url("/fruit/both.txt")) == false);
    EXPECT_TRUE(contains(search("phrase=nothing-like-this"), "No matching documents found.<BR>"));

    HttpResult extra = proxy.curl("http://quaylo/search?phrase=apple&more=1");
    EXPECT_EQ(extra.status, 200);
    EXPECT_TRUE(contains(extra.body, "<H1>Error: invalid parameters for seach</H1>"));
    EXPECT_EQ(extra.header("Content-Length"), std::to_string(extra.body.size()));
}

TEST_F(AdminE2e, UsersShowTheLoopbackClientInItsUsualOrder) {
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::string users = proxy.curl("http://quaylo/users").body;
    EXPECT_TRUE(contains(users, "<TR><TD>IP address<TD>last connect\n<TR><TD>127.0.0.1<TD>"))
        << users;
    EXPECT_FALSE(contains(users, "1.0.0.127"));
}

TEST_F(AdminE2e, DetailsOfAnErrorEntryAndOfALostFile) {
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    EXPECT_TRUE(contains(proxy.curl("http://quaylo/inventory").body,
                         message(MSG_NO_ENTRIES, 0)));
    fill(proxy, {"/gone.html", "/index.html"});
    std::vector<CacheFile> gone = proxy.cache_files_for(origin.url("/gone.html"));
    ASSERT_EQ(gone.size(), 1u);
    std::string details = proxy.curl("http://quaylo/details?" + std::to_string(gone[0].id)).body;
    EXPECT_TRUE(contains(details, "<TR><TD>Error code:<TD>404\n")) << details;
    EXPECT_TRUE(contains(details, "<TR><TD>Error message:<TD>")) << details;
    EXPECT_TRUE(contains(details, "Not Found\n"));

    std::vector<CacheFile> kept = proxy.cache_files_for(origin.url("/index.html"));
    ASSERT_EQ(kept.size(), 1u);
    fs::remove(kept[0].path);
    details = proxy.curl("http://quaylo/details?" + std::to_string(kept[0].id)).body;
    EXPECT_TRUE(contains(details, message(MSG_CANNOT_OPEN_CACHE_FILE, 0))) << details;
}

TEST_F(AdminE2e, ExportedDocumentsImportedAllAtOnceAreServedOffline) {
    std::string exported = temp_dir() + "/export";
    {
        Harbord first;
        ASSERT_TRUE(first.running()) << first.log();
        fill(first, {"/index.html", "/fruit/both.txt"});
        HttpResult r = first.curl("http://quaylo/do_export?host=" + host() + "&exdir=" + exported);
        EXPECT_TRUE(contains(r.body, "<H1>Export done</H1><P>2 files have been exported into "
                                     "directory '" + exported + "'.</P>"))
            << r.body;
    }
    size_t numbered = 0;
    for (const auto& entry : fs::directory_iterator(exported))
        if (entry.path().filename().string().find_first_not_of("0123456789") == std::string::npos)
            numbered++;
    EXPECT_EQ(numbered, 2u);
    EXPECT_TRUE(fs::exists(exported + "/cachedb"));

    Harbord second;
    ASSERT_TRUE(second.running()) << second.log();
    HttpResult r = second.curl("http://quaylo/import2?importdir=" + exported + "&all=1");
    EXPECT_TRUE(contains(r.body, "<H1>Import done</H1><P>2 files have been imported")) << r.body;
    second.curl("http://quaylo/options?offline=1");
    size_t before = origin.request_count();
    EXPECT_EQ(second.curl(origin.url("/index.html")).body, "<p>Apple and BANANA</p>");
    EXPECT_EQ(second.curl(origin.url("/fruit/both.txt")).body, "banana, then apple");
    EXPECT_EQ(origin.request_count(), before);
}

TEST_F(AdminE2e, ImportOfAChosenHostThroughTheSelectionForm) {
    OriginServer other;
    ASSERT_TRUE(other.listening());
    other.set("/other.html", OriginServer::document("from the other host"));
    std::string exported = temp_dir() + "/export";
    {
        Harbord first;
        ASSERT_TRUE(first.running()) << first.log();
        fill(first, {"/index.html"});
        first.curl(other.url("/other.html"));
        ASSERT_TRUE(eventually([&] {
            return contains(first.curl("http://quaylo/inventory.txt").body, other.url("/other.html"));
        }));
        first.curl("http://quaylo/do_export?dir=http://&exdir=" + exported);
    }
    Harbord second;
    ASSERT_TRUE(second.running()) << second.log();
    std::string form = second.curl("http://quaylo/import2?importdir=" + exported + "&all=0").body;
    EXPECT_TRUE(contains(form, "<FORM method=get action=\"http://quaylo/do_import\">")) << form;
    EXPECT_TRUE(contains(form, "name=\"host\" value=\"" + host() + "\""));
    std::string other_host = "127.0.0.1:" + std::to_string(other.port());
    EXPECT_TRUE(contains(form, "name=\"host\" value=\"" + other_host + "\""));

    HttpResult r = second.curl("http://quaylo/do_import?importdir=" + exported + "&host=" + host());
    EXPECT_TRUE(contains(r.body, "<P>1 files have been imported")) << r.body;
    second.curl("http://quaylo/options?offline=1");
    EXPECT_EQ(second.curl(origin.url("/index.html")).body, "<p>Apple and BANANA</p>");
    EXPECT_EQ(second.curl(other.url("/other.html")).status, 501);
}

TEST_F(AdminE2e, BadInputGetsItsPageAndTheCacheStaysUsable) {
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    fill(proxy, {"/index.html"});
    std::string junk = temp_dir();
    ::mkdir((junk + "/plain").c_str(), 0755);
    write_text_file(junk + "/plain/12", "not a cache file");
    std::string huge(6000, 'A');
    struct Case {
        std::string path;
        std::string marker;
    };
    const Case cases[] = {
        {"/nothing/here", "Invalid path specified: '/nothing/here'"},
        {"/details?abc", "cache-entry with id '0' doesn't exist"},
        {"/details?99999999999", "doesn't exist"},
        {"/details", "Error: Need ID argument"},
        {"/inventory?%zz%00%ff" + huge, "invalid URL '"},
        {"/inventory?a=b&c=d", "invalid URL 'a' specified"},
        {"/help?..%2fharbord.cfg", "<H3>Error: unable to open file '"},
        {"/help?%2fetc%2fpasswd", "<H3>Error: unable to open file '"},
        {"/search?phrase", "invalid parameters for seach"},
        {"/search?" + huge, "invalid parameters for seach"},
        {"/do_export?host", "<H1>Invalid parameters specified</H1>"},
        {"/do_export?color=red", "<H1>Invalid parameters specified</H1>"},
        {"/do_export", "Nothing marked for export"},
        {"/do_export?host=" + host() + "&exdir=" + junk + "/plain/12", "<H1>Export failed</H1>"},
        {"/do_export?host=" + host() + "&exdir=" + proxy.cachedir(), "own cache directory"},
        {"/import2?importdir=" + junk + "/missing&all=1", "<H1>Import failed</H1>"},
        {"/import2?importdir=" + junk + "/plain&all=0", "<H1>Invalid parameters specified</H1>"},
        {"/import2?all=2", "<H1>Invalid parameters specified</H1>"},
        {"/do_import?host=x&importdir=" + junk + "/plain", "<H1>Import failed</H1>"},
        {"/options?" + huge + "=1", "Invalid parameters specified:"},
        {"/options?offline=%3Cb%3E", "&lt;b&gt;"},
    };
    for (const Case& c : cases) {
        HttpResult r = proxy.curl("http://quaylo" + c.path);
        EXPECT_EQ(r.status, 200) << c.path;
        EXPECT_TRUE(contains(r.body, c.marker)) << c.path << "\n" << r.body;
        EXPECT_FALSE(contains(r.body, "<b>")) << c.path;
    }
    EXPECT_EQ(read_text_file(junk + "/plain/12"), "not a cache file");
    // The proxy still serves its cache and stores new documents.
    proxy.curl("http://quaylo/options?offline=1");
    EXPECT_EQ(proxy.curl(origin.url("/index.html")).body, "<p>Apple and BANANA</p>");
    proxy.curl("http://quaylo/options?offline=0");
    fill(proxy, {"/fruit/apple.html"});
    ASSERT_EQ(proxy.stop(), 0);
    size_t entries = 0;
    EXPECT_EQ(check_cachedb(proxy.cachedir(), &entries), "");
    EXPECT_EQ(entries, 2u);
}

} // namespace
