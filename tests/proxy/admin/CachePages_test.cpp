// The cache browsing pages on a real cache: statistics, host list,
// inventory, plain inventory, details, users and the search form.
#include "proxy/admin/CachePages.h"

#include "foundation/InterNetServer.h"
#include "proxy/language/LanguageTable.h"
#include "tests/proxy/admin/AdminTestSupport.h"

#include <arpa/inet.h>

namespace {

using namespace admintest;

class CachePagesTest : public AdminFixture {
protected:
    std::string inventory(const ArgList& arguments, uint32_t language = 0) {
        AdminPage page(language);
        inventory_page(page, *cache, arguments);
        return text(page.content());
    }
    std::string details(const ArgList& arguments) {
        AdminPage page(0);
        details_page(page, *cache, arguments);
        return text(page.content());
    }
};

TEST_F(CachePagesTest, StatisticsShowServerAndCacheFigures) {
    add("http://a.example/1", std::string(3000, 'x'));
    add("http://a.example/2", std::string(2000, 'y'));
    GMTdate date;
    Str file;
    uint32_t writing = 0;
    cache->get_write_lock("http://a.example/3", date, false, 200, file, writing);
    ASSERT_NE(writing, 0u);

    AdminPage page(0);
    ServerFigures server{8123, 3, "/some/<dir>"};
    statistics_page(page, server, *cache);
    std::string s = text(page.content());
    EXPECT_EQ(s.rfind("<CENTER><H1>Quaylo</H1><H1>Statistics</H1><HR></CENTER>\n<TABLE>", 0), 0u)
        << s;
    EXPECT_NE(s.find("<TR><TD>Listening on port: <TD>8123\n"), std::string::npos) << s;
    EXPECT_NE(s.find("<TR><TD>Current client connections: <TD>3\n"), std::string::npos);
    EXPECT_NE(s.find("<TR><TD>Cache directory: <TD>/some/&lt;dir&gt;\n"), std::string::npos);
    EXPECT_NE(s.find("<TR><TD>Number of cached files: <TD>2\n"), std::string::npos);
    EXPECT_NE(s.find("<TR><TD>Number of files to update: <TD>0\n"), std::string::npos);
    EXPECT_NE(s.find("<TR><TD>Number of incoming files: <TD>1\n"), std::string::npos);
    EXPECT_NE(s.find("<TR><TD>Total size of cached files: <TD>4kB\n"), std::string::npos);
    EXPECT_NE(s.find("<TR><TD>Number of accesses: <TD>0\n"), std::string::npos);
    EXPECT_EQ(s.substr(s.size() - 8), "</TABLE>");
    cache->release_write_lock(writing, 0);
}

TEST_F(CachePagesTest, EmptyCacheShowsNoEntries) {
    std::string page = inventory(list({}));
    EXPECT_NE(page.find("<SMALL>This page shows a list of all servers"), std::string::npos);
    EXPECT_NE(page.find("<P>There are currently no cache entries.</P>"), std::string::npos);
}

TEST_F(CachePagesTest, HostListHasOneLinkPerHostToItsFirstUrl) {
    add("http://b.example/z.html", "z");
    add("http://a.example:8080/x y.html", "x");
    add("http://b.example/a.html", "a");
    add("http://a.example/", "root");
    AdminPage page(0);
    host_list(page, *cache, "inventory", false);
    EXPECT_EQ(text(page.content()),
              "<A HREF=\"http://quaylo/inventory?http%3a//a.example/\">a.example</A><BR>\n"
              "<A HREF=\"http://quaylo/inventory?http%3a//a.example%3a8080/x+y.html\">"
              "a.example:8080</A><BR>\n"
              "<A HREF=\"http://quaylo/inventory?http%3a//b.example/a.html\">b.example</A><BR>\n");
}

TEST_F(CachePagesTest, HostListWithCheckboxes) {
    add("http://a.example/", "root");
    AdminPage page(0);
    host_list(page, *cache, "export", true);
    EXPECT_EQ(text(page.content()),
              "<input type=checkbox name=\"host\" value=\"a.example\"> "
              "<A HREF=\"http://quaylo/export?http%3a//a.example/\">a.example</A><BR>\n");
}

TEST_F(CachePagesTest, HostPageListsEveryDocumentOfTheHostOnceInUrlOrder) {
    uint32_t root = add("http://a.example/", "r");
    uint32_t deep = add("http://a.example/docs/b.html", "b");
    uint32_t first = add("http://a.example/docs/a.html", "a");
    add("http://b.example/other.html", "o");
    add("http://a.example.net/near.html", "n");
    std::string page = inventory(list({"http://a.example/"}));
    EXPECT_NE(page.find("<SMALL>This page has links to all documents"), std::string::npos);
    EXPECT_NE(page.find("<H2>Cached URLs for host <A HREF=\"http://a.example\">http://a.example"
                        "</A>:</H2>\n"),
              std::string::npos)
        << page;
    size_t r = page.find("<A HREF=\"http://quaylo/details?" + std::to_string(root) + "\">Details</A>");
    size_t a = page.find("<A HREF=\"http://quaylo/details?" + std::to_string(first) + "\">Details</A>");
    size_t b = page.find("<A HREF=\"http://quaylo/details?" + std::to_string(deep) + "\">Details</A>");
    ASSERT_NE(r, std::string::npos) << page;
    ASSERT_NE(a, std::string::npos);
    ASSERT_NE(b, std::string::npos);
    EXPECT_LT(r, a);
    EXPECT_LT(a, b);
    EXPECT_NE(page.find("<A HREF=\"http://a.example/docs/a.html\">/docs/a.html</A></TT><BR>\n"),
              std::string::npos);
    EXPECT_EQ(count_of(page, ">Details</A>"), 3u);
    EXPECT_EQ(page.find("other.html"), std::string::npos);
    EXPECT_EQ(page.find("near.html"), std::string::npos);
    EXPECT_EQ(count_of(page, "<B>/docs/</B>"), 1u);
}

TEST_F(CachePagesTest, UnknownUrlArgumentIsQuotedEscaped) {
    add("http://a.example/", "r");
    std::string page = inventory(list({"http://a.example/<x>"}));
    EXPECT_NE(page.find("<P>invalid URL 'http://a.example/&lt;x&gt;' specified</P>\n"),
              std::string::npos)
        << page;
    page = inventory(list({"http://a.example/", "extra"}));
    EXPECT_NE(page.find("<P>invalid URL 'http://a.example/' specified</P>\n"), std::string::npos);
}

TEST_F(CachePagesTest, PlainInventoryListsUrlsWithoutHeadOnlyEntries) {
    add("http://b.example/", "b");
    add("http://a.example/", "a");
    Document head;
    head.url = "http://c.example/head";
    head.headeronly = true;
    ASSERT_NE(store(*cache, head), 0u);
    AdminPage page(0);
    inventory_text(page, *cache);
    EXPECT_EQ(page.form(), AdminPage::RAW);
    EXPECT_STREQ(page.content_type(), "text/plain");
    EXPECT_EQ(text(page.content()), "http://a.example/\nhttp://b.example/\n");
}

TEST_F(CachePagesTest, DetailsShowTheEntryAndItsAnswerHead) {
    uint32_t id = add("http://a.example/page.html", "12345");
    std::string page = details(list({std::to_string(id).c_str()}));
    EXPECT_EQ(page.rfind("<CENTER><H1>Quaylo</H1><H1>Cache Entry Details</H1><HR></CENTER>\n"
                         "<TABLE>\n<TR><TD>URL<TD><A HREF=\"http://a.example/page.html\">"
                         "http://a.example/page.html</A>\n<TR><TD>Last update:<TD>",
                         0),
              0u)
        << page;
    EXPECT_NE(page.find("<TR><TD>ID Number:<TD>" + std::to_string(id) + "\n"), std::string::npos);
    EXPECT_NE(page.find("<TR><TD>Bytes cached:<TD>5\n"), std::string::npos);
    EXPECT_EQ(page.find("Error code:"), std::string::npos);
    EXPECT_EQ(page.find("Error message:"), std::string::npos);
    EXPECT_NE(page.find("<TR><TD>HTTP Version: <TD>HTTP/1.0\n"), std::string::npos) << page;
    EXPECT_NE(page.find("<TR><TD>Content-Type:<TD>text/html\n"), std::string::npos);
    EXPECT_NE(page.find("<TR><TD>Content-Length:<TD>5\n"), std::string::npos);
    EXPECT_EQ(page.find("Last Modified:"), std::string::npos);
    EXPECT_EQ(page.substr(page.size() - 9), "</TABLE>\n");
}

TEST_F(CachePagesTest, DetailsOfA404ShowCodeAndReason) {
    Document missing;
    missing.url = "http://a.example/missing";
    missing.status = 404;
    missing.reason = " Not Found";
    missing.content_type = "";
    missing.body = "gone";
    uint32_t id = store(*cache, missing);
    ASSERT_NE(id, 0u);
    std::string page = details(list({std::to_string(id).c_str()}));
    EXPECT_NE(page.find("<TR><TD>Error code:<TD>404\n"), std::string::npos) << page;
    EXPECT_NE(page.find("<TR><TD>Error message:<TD> Not Found\n"), std::string::npos);
    EXPECT_NE(page.find("<TR><TD>Content-Type:<TD>unknown\n"), std::string::npos);
}

TEST_F(CachePagesTest, DetailsOfADeletedFileShowMessage59) {
    uint32_t id = add("http://a.example/deleted", "x");
    fs::remove(dir.sub("cache/" + std::to_string(id)));
    std::string page = details(list({std::to_string(id).c_str()}));
    EXPECT_NE(page.find(std::string("</TABLE>\n<P>") + message(MSG_CANNOT_OPEN_CACHE_FILE, 0) +
                        "</P>\n"),
              std::string::npos)
        << page;
    EXPECT_FALSE(fail_pending());
}

TEST_F(CachePagesTest, DetailsWithoutOrWithUnknownId) {
    EXPECT_NE(details(list({})).find("<P>Error: Need ID argument</P>\n"), std::string::npos);
    EXPECT_NE(details(list({"4242"})).find("<P>Error: cache-entry with id '4242' doesn't exist</P>"),
              std::string::npos);
    EXPECT_NE(details(list({"abc"})).find("<P>Error: cache-entry with id '0' doesn't exist</P>"),
              std::string::npos);
    EXPECT_NE(details(list({"99999999999999999999"})).find("doesn't exist</P>"),
              std::string::npos);
}

TEST_F(CachePagesTest, UsersShowTheLoopbackClientInDottedOrder) {
    ASSERT_EQ(cache->register_user(loopback_address()), 0);
    ASSERT_EQ(cache->register_user(inet_addr("10.1.2.3")), 0);
    AdminPage page(0);
    users_page(page, *cache);
    std::string s = text(page.content());
    EXPECT_EQ(s.rfind("<CENTER><H1>Quaylo</H1><H1>Users</H1><HR></CENTER>\n<TABLE BORDER>"
                      "<TR><TD>IP address<TD>last connect\n",
                      0),
              0u)
        << s;
    EXPECT_NE(s.find("<TR><TD>127.0.0.1<TD>"), std::string::npos) << s;
    EXPECT_NE(s.find("<TR><TD>10.1.2.3<TD>"), std::string::npos) << s;
    EXPECT_NE(s.find(" GMT\n"), std::string::npos);
    EXPECT_EQ(s.substr(s.size() - 8), "</TABLE>");
}

TEST_F(CachePagesTest, SearchFormIsEmptyOrShowsThePhraseEscaped) {
    AdminPage empty(0);
    search_form(empty, Str());
    std::string s = text(empty.content());
    EXPECT_EQ(s.rfind("<CENTER><H1>Quaylo</H1><H1>Text Retrieval</H1><HR></CENTER>\n<SMALL>\n", 0),
              0u);
    EXPECT_NE(s.find("<FORM method=get action=\"http://quaylo/search\">Search phrase: <input "
                     "name=\"phrase\" type=text size=32 value=\"\"><BR>"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("VALUE=\"Start Search\">"), std::string::npos);
    EXPECT_NE(s.find("value=\"Clear entry field\"></FORM>\n"), std::string::npos);

    AdminPage filled(0);
    search_form(filled, "\"a\",<b>");
    EXPECT_NE(text(filled.content()).find("value=\"&quot;a&quot;,&lt;b&gt;\">"),
              std::string::npos);
}

TEST(CachePageHelpers, HostAndPathOfUrls) {
    EXPECT_EQ(text(host_of("http://a.example:81/x/y")), "a.example:81");
    EXPECT_EQ(text(host_of("http://a.example")), "a.example");
    EXPECT_EQ(text(host_of("http:/")), "");
    EXPECT_EQ(text(path_of("http://a.example/x/y?q=/z")), "/x/y?q=/z");
    EXPECT_EQ(text(path_of("http://a.example")), "/");
    EXPECT_EQ(text(directory_of("/x/y?q=/z")), "/x/");
    EXPECT_EQ(text(dotted_address(inet_addr("192.168.0.77"))), "192.168.0.77");
    EXPECT_EQ(text(query_encode("http://a b/~x?y=1&z")), "http%3a//a+b/%7ex%3fy%3d1%26z");
}

} // namespace
