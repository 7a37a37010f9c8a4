// The admin pages as the server's handler answers them: the page of every
// path, the admin rule, the frame, the options form and its use, the help
// files, the cache pages, export and import through a second cache, the
// texts per language, and escaping of whatever comes from outside.
#include "proxy/admin/AdminDispatch.h"

#include "foundation/InterNetServer.h"
#include "http/HtmlEscape.h"
#include "proxy/admin/AdminPage.h"
#include "proxy/admin/AdminToken.h"
#include "proxy/language/GuardTexts.h"
#include "proxy/language/LanguageTable.h"
#include "testsupport/CacheFixture.h"

#include <arpa/inet.h>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

const std::string HTML_HEAD = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n\r\n";
const std::string BODY_START = "<HTML>\n<BODY>\n";
const std::string TOKEN(64, 'c');
const std::string TOKEN_INPUT = "<input type=hidden name=\"token\" value=\"" + TOKEN + "\">";
const std::string REFUSAL = "<HR><H2>Unauthorized access:</H2><P>Your IP-address does not have "
                            "administrative permissions</P><HR>";

std::string header(const std::string& title) {
    return "<CENTER><H1>Quaylo</H1><H1>" + title + "</H1><HR></CENTER>\n";
}

class AdminPagesTest : public CacheFixture {
protected:
    // The answer to "path?query" as the worker hands it over: the query cut
    // at "&" into words, "name=value" giving both. An admin sends a token
    // (the right one unless told otherwise; none when it is empty).
    AdminAnswer ask(std::string request, bool admin = true, const std::string& token = TOKEN) {
        size_t mark = request.find('?');
        if (admin && !token.empty())
            request = mark == std::string::npos ? request + "?token=" + token
                                                : request.insert(mark + 1, "token=" + token + "&");
        size_t query = std::min(request.find('?'), request.size());
        ArgList arguments;
        for (size_t at = query; at < request.size();) {
            size_t end = std::min(request.find('&', at + 1), request.size());
            std::string word = request.substr(at + 1, end - at - 1);
            size_t equals = word.find('=');
            arguments.append(word.substr(0, equals).c_str());
            if (equals != std::string::npos) arguments.append(word.substr(equals + 1).c_str());
            at = end;
        }
        std::vector<uint32_t> admins = {0, loopback_address()}; // 0: a word that did not resolve
        AdminSite site{options, *cache, admins, Str(HELP_SOURCE_DIR "/harbord"), [] { return 3; },
                       TOKEN.c_str()};
        StderrCapture quiet;
        return dispatch_admin_request(site, request.substr(0, query).c_str(), arguments,
                                      admin ? loopback_address() : inet_addr("10.0.0.2"));
    }
    // The content of a framed page; checks the head, the start and the footer.
    std::string page(const std::string& request, bool admin = true,
                     const std::string& token = TOKEN) {
        AdminAnswer answer = ask(request, admin, token);
        std::string body = text(answer.body);
        std::string footer = "<HR><CENTER><SMALL><EM>" +
                             std::string(message(MSG_FOOTER_NOTICE, options.language.index())) +
                             "</EM><SMALL></CENTER></BODY></HTML>\r\n";
        EXPECT_EQ(answer.kind, AdminAnswer::PAGE) << request;
        EXPECT_EQ(text(answer.head), HTML_HEAD) << request;
        EXPECT_EQ(body.rfind(BODY_START, 0), 0u) << request;
        EXPECT_TRUE(body.size() > footer.size() &&
                    body.substr(body.size() - footer.size()) == footer)
            << request << body;
        return body.substr(BODY_START.size(), body.size() - footer.size() - BODY_START.size());
    }
    std::string message0(uint32_t number) { return message(number, 0); }
};

TEST_F(AdminPagesTest, MenuAndInvalidPathsForEveryone) {
    const std::string menu =
        "<CENTER><H2>Welcome to Corvane's</H2>\n<H1>Quaylo</H1>Release 1.0\n<HR></CENTER>\n"
        "<H3>Browse through the <A HREF=\"http://quaylo/help?help.htm\">help documents</A></H3>\n"
        "<H3>Examine or change the <A HREF=\"http://quaylo/options\">Options</A></H3>\n"
        "<H3>Explore the current cache <A HREF=\"http://quaylo/inventory\">inventory</A></H3>\n"
        "<H3>View the usage <A HREF=\"http://quaylo/statistics\">Statistics</A></H3>\n"
        "<H3><A HREF=\"http://quaylo/export\">Export</A> cached documents</H3>\n"
        "<H3><A HREF=\"http://quaylo/import1\">Import</A> from a directory</H3>\n"
        "<H3>Try a <A HREF=\"http://quaylo/search\">Text Retrieval</A></H3>\n"
        "<H3><A HREF=\"http://quaylo/help?https.htm\">Reading HTTPS sites offline</A></H3>\n"
        "<H3>Contact Corvane for <A HREF=\"http://www.corvane.example/\">news or "
        "feed-back</A></H3>\n";
    EXPECT_EQ(page(""), menu);
    EXPECT_EQ(page("/", false), menu);
    for (std::string path : {"/foo<b>\"", "/Options", "/options/", "/inventory.TXT", "//"})
        EXPECT_EQ(page(path + "?offline=1"),
                  "<HR><H2>Invalid path specified: '" + text(html_escape(path.c_str())) +
                      "'</H2><P>Request <A HREF=\"http://quaylo/\">http://quaylo/</A>for a menu "
                      "of things you can do with this server.</P><HR>\n");
    EXPECT_EQ(options.offline.value(), 0);
}

TEST_F(AdminPagesTest, OptionsFormShowsEveryOptionWithItsHelpAndCurrentValue) {
    page("/options?offline=1&maxcon=7&timeout=90&socksuser=\"><b>&proxyhost=gate.example&sslcache=1");
    // Help file, label and the input after its "<input name=\"".
    const char* const rows[] = {
        "mode.htm|Mode:|offline\" type=radio value=1 checked>Offline <input name=\"offline\" "
        "type=radio value=0>Online ",
        "language.htm|Language:|language\" type=radio value=\"english\" checked>English <input "
        "name=\"language\" type=radio value=\"deutsch\">Deutsch <input name=\"language\" "
        "type=radio value=\"dutch\">Dutch ",
        "maxcon.htm|Max. concurrent connections:|maxcon\" type=range min=1 max=100 value=7>",
        "remprox.htm|Remote proxy used:|proxyhost\" type=text size=32 value=\"gate.example\">",
        "remport.htm|Remote proxy port:|proxyport\" type=range min=1 max=65535 value=8080>",
        "sockshst.htm|SOCKS server:|sockshost\" type=text size=32 value=\"\">",
        "socksprt.htm|SOCKS port:|socksport\" type=range min=1 max=65535 value=1080>",
        "socksusr.htm|SOCKS user-name:|socksuser\" type=text size=32 "
        "value=\"&quot;&gt;&lt;b&gt;\">",
        "timeout.htm|Network timeout:|timeout\" type=range min=1 max=65535 value=90> seconds",
        "updtime.htm|Document update time:|updtime\" type=range min=0 max=360000 value=36000>",
        "cachesiz.htm|Maximum size of cache:|cachesize\" type=range min=8 max=2000000 "
        "value=4096>kB",
        "entrysiz.htm|Size limit for cached files:|entrysize\" type=range min=2 max=2000000 "
        "value=500>",
        "cachefil.htm|Maximum files in cache:|cachefiles\" type=range min=2 max=2000000 "
        "value=10000>",
        "sslcache.htm|HTTPS pages:|sslcache\" type=radio value=1 checked>On <input name=\"sslcache\" "
        "type=radio value=0>Off ",
        "sslhosts.htm|HTTPS hosts:|sslhosts\" type=text size=32 value=\"\">",
    };
    std::string form = "<FORM method=get action=\"http://quaylo/options\">" + header("Options") +
                       "<SMALL>\n" + message0(MSG_OPTIONS_INTRO) +
                       "</SMALL><HR><P><INPUT TYPE=SUBMIT VALUE=\"Change Options\"> <INPUT "
                       "TYPE=RESET value=\"Reset form to current options\"></P><TABLE>\n";
    for (std::string row : rows) {
        size_t label = row.find('|'), input = row.find('|', label + 1);
        form += "<TR><TD><A HREF=\"http://quaylo/help?" + row.substr(0, label) + "\">" +
                row.substr(label + 1, input - label - 1) + "</A><TD><input name=\"" +
                row.substr(input + 1) + "\n";
    }
    form += "</TABLE>\n<HR><P>" + message0(MSG_RELOAD_NOTICE) + "</P>\n</FORM>\n";
    EXPECT_EQ(page("/options", false), form);
}

TEST_F(AdminPagesTest, OptionsChangeOnlyForAnAdminByBareNamesAndAreSavedAtOnce) {
    ASSERT_EQ(options.set.save(dir.file("harbord.cfg").c_str()), 0);
    std::string refused = page("/options?offline=1", false);
    EXPECT_EQ(refused.rfind(REFUSAL + "<FORM method=get", 0), 0u) << refused;
    std::string changed = page("/options?offline=1&updtime=1234");
    EXPECT_EQ(changed.find("<HR><H2>Options were changed</H2><P>See below for active settings</P>"
                           "<HR>\n<FORM method=get"),
              0u);
    EXPECT_NE(changed.find("name=\"offline\" type=radio value=1 checked>"), std::string::npos);
    RelaisOptions reread;
    StderrCapture quiet;
    ASSERT_EQ(reread.set.load(dir.file("harbord.cfg").c_str()), 0);
    EXPECT_EQ(reread.updtime.value(), 1234);
    reread.set.set_modified(false);
    // Only the form's options, and a request changes all of them or none: the
    // failure in the page, escaped. A name with the command line's "-" is
    // none of the form's.
    const std::string web_only = "' can be changed only on the command line or in the setup file";
    for (const auto& [request, failure] : std::initializer_list<std::pair<std::string, std::string>>{
             {"maxcon=<9999>", "cannot set option 'maxcon'"},
             {"-offline=0", "'-offline" + web_only},
             {"offline=0&maxcon=5&cachedir=/", "'cachedir" + web_only},
             {"port=81", "'port" + web_only},
             {"iport=81", "'iport" + web_only},
             {"admins=10.0.0.2", "'admins" + web_only},
             {"exportdir=/", "'exportdir" + web_only},
             {"importdir=/", "'importdir" + web_only},
             {"debug=1", "'debug" + web_only},
             {"nosuch=1", "'nosuch" + web_only},
             {"maxcon=5&proxyhost=127.0.0.1&proxyport=8080",
              "remote proxy '127.0.0.1:8080' is this proxy itself"},
             {"offline=0&proxyhost=localhost&proxyport=8080", "'localhost:8080' is this proxy"},
             {"proxyhost=0.0.0.0&proxyport=8080", "'0.0.0.0:8080' is this proxy"}}) {
        std::string shown = page("/options?" + request);
        EXPECT_EQ(shown.rfind("<HR><H2>Invalid parameters specified:</H2>\n<P>", 0), 0u) << shown;
        EXPECT_NE(shown.find(text(html_escape(failure.c_str()))), std::string::npos) << shown;
        EXPECT_NE(shown.find("</P><HR>\n<FORM"), std::string::npos) << shown;
        EXPECT_EQ(shown.find("<9999>"), std::string::npos);
    }
    EXPECT_TRUE(options.maxcon.value() == 16 && options.offline.value() == 1 &&
                options.proxyhost.value().empty() && options.cachedir.value() == cachedir().c_str() &&
                !fail_pending());
    // Another port on this machine is another program.
    page("/options?proxyhost=127.0.0.1&proxyport=9");
    EXPECT_EQ(options.proxyport.value(), 9);
}

TEST_F(AdminPagesTest, HelpSendsAPlainFileOfTheLanguageFolderAsItIs) {
    auto help = [&](const std::string& name) {
        AdminAnswer answer = ask(name.empty() ? "/help" : "/help?" + name);
        EXPECT_EQ(text(answer.head), HTML_HEAD);
        return text(answer.body);
    };
    const std::string source = HELP_SOURCE_DIR;
    EXPECT_EQ(help(""), read_file(source + "/help_e/help.htm"));
    for (std::string name :
         {"../help_e/mode.htm", "..", "/etc/passwd", "sub/mode.htm", ".", "<img>", "nosuch.htm"})
        EXPECT_EQ(help(name), BODY_START + "<H3>Error: unable to open file '" + source +
                                  "/help_e/" + text(html_escape(name.c_str())) + "'</H3>" +
                                  "</BODY></HTML>\r\n")
            << name;
    // Every row of the options form links a help page that exists in every language.
    for (const char* language : {"english", "deutsch", "dutch"}) {
        ASSERT_EQ(options.set.set("language", language), 0);
        std::string form = page("/options");
        for (size_t at = form.find("help?"); at != std::string::npos; at = form.find("help?", ++at))
            EXPECT_EQ(help(form.substr(at + 5, form.find('"', at) - at - 5)).rfind("<HTML>", 0), 0u)
                << language << " " << form.substr(at, 20);
    }
    EXPECT_EQ(help("mode.htm"), read_file(source + "/help_nl/mode.htm"));
    EXPECT_FALSE(fail_pending());
}

TEST_F(AdminPagesTest, CachePagesShowWhatTheCacheHolds) {
    const std::string intro = header("inventory") + "<SMALL>" + message0(MSG_INVENTORY_INTRO);
    EXPECT_EQ(page("/inventory"),
              intro + "</SMALL><HR><P>There are currently no cache entries.</P>");
    std::map<std::string, uint32_t> ids;
    for (const char* url : {"http://b.example/z.html", "http://a.example/docs/b.html",
                            "http://a.example/", "http://a.example/docs/a.html",
                            "http://a.example:8080/x y.html", "http://b.example/<odd>"})
        ids[url] = store(url, "body");
    store({"http://c.example/head", "", 1, true});
    const std::string link = "<A HREF=\"http://quaylo/inventory?http%3a//";
    EXPECT_EQ(page("/inventory"), intro + "</SMALL><HR>" + link +
                                      "a.example/\">a.example</A><BR>\n" + link +
                                      "a.example%3a8080/x+y.html\">a.example:8080</A><BR>\n" +
                                      link + "b.example/%3codd%3e\">b.example</A><BR>\n" + link +
                                      "c.example/head\">c.example</A><BR>\n");
    // The documents of a host by folder, each with its details link and its path.
    std::string documents = header("inventory") + "<SMALL>" + message0(MSG_HOST_DOCUMENTS_INTRO) +
                            "</SMALL><HR><H2>Cached URLs for host <A HREF=\"http://a.example\">"
                            "http://a.example</A>:</H2>\n";
    for (std::string path : {"/", "/docs/a.html", "/docs/b.html"}) {
        if (path != "/docs/b.html")
            documents += "<BR><TT><B>" + path.substr(0, path.rfind('/') + 1) + "</B></TT><BR>\n";
        documents += "<A HREF=\"http://quaylo/details?" +
                     std::to_string(ids["http://a.example" + path]) +
                     "\">Details</A><TT>&nbsp;&nbsp;" + (path.size() > 1 ? "&nbsp;&nbsp;" : "") +
                     "<A HREF=\"http://a.example" + path + "\">" + path + "</A></TT><BR>\n";
    }
    EXPECT_EQ(page("/inventory?http://a.example/"), documents);
    for (std::string request : {"http://a.example/<x>", "http://a.example/&x"})
        EXPECT_EQ(page("/inventory?" + request),
                  header("inventory") + "<P>invalid URL '" +
                      text(html_escape(request.substr(0, request.find('&')).c_str())) +
                      "' specified</P>\n");

    AdminAnswer plain = ask("/inventory.txt", false);
    EXPECT_EQ(text(plain.head), "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n\r\n");
    EXPECT_EQ(text(plain.body), "http://a.example/\nhttp://a.example/docs/a.html\n"
                                "http://a.example/docs/b.html\nhttp://a.example:8080/x y.html\n"
                                "http://b.example/<odd>\nhttp://b.example/z.html\n");

    CacheLock writing;
    cache->get_write_lock("http://d.example/", date_of(1), false, 200, SHARED, writing.file,
                          writing.id);
    read("http://a.example/");
    EXPECT_EQ(page("/statistics", false),
              header("Statistics") +
                  "<TABLE><TR><TD>Listening on port: <TD>8080\n"
                  "<TR><TD>Current client connections: <TD>3\n<TR><TD>Cache directory: <TD>" +
                  cachedir() +
                  "\n<TR><TD>Number of cached files: <TD>7\n"
                  "<TR><TD>Number of files to update: <TD>0\n<TR><TD>Number of incoming files: "
                  "<TD>1\n<TR><TD>Total size of cached files: <TD>" +
                  std::to_string(cache->totalbytes() / 1024) +
                  "kB\n<TR><TD>Number of accesses: <TD>1\n</TABLE>");
    // What the seven files take on disk, a page each at least, not their bodies.
    EXPECT_GE(cache->totalbytes(), 7u * 4096);

    // The users in the order of their addresses as the socket layer delivers them.
    std::string users = "<CENTER><H1>Quaylo</H1><H1>Users</H1><HR></CENTER>\n<TABLE BORDER><TR><TD>"
                        "IP address<TD>last connect\n";
    for (const char* address : {"127.0.0.1", "10.1.2.3"}) {
        ASSERT_EQ(cache->register_user(inet_addr(address)), 0);
        users += std::string("<TR><TD>") + address + "<TD>" +
                 text(cache->users().at(inet_addr(address)).lastconnect.to_Str()) + "\n";
    }
    EXPECT_EQ(page("/users"), users + "</TABLE>");
}

TEST_F(AdminPagesTest, DetailsShowTheEntryAndTheAnswerHeadOfItsFile) {
    Document found{"http://a.example/page.html", "12345", 784111777}, missing = found;
    found.content_length = 5;
    missing.url = "http://a.example/missing";
    missing.status = 404;
    missing.reason = " Not <Found>";
    missing.type = "";
    uint32_t ok = store(found), error = store(missing), deleted = store("http://a.example/x", "x");
    fs::remove(file(deleted));
    auto entry = [](const std::string& url, uint32_t id, const char* date, const char* bytes) {
        return header("Cache Entry Details") + "<TABLE>\n<TR><TD>URL<TD><A HREF=\"" + url + "\">" +
               url + "</A>\n<TR><TD>Last update:<TD>" + date + "\n<TR><TD>ID Number:<TD>" +
               std::to_string(id) + "\n<TR><TD>Bytes cached:<TD>" + bytes + "\n";
    };
    const char* date = "Sun, 06 Nov 1994 08:49:37 GMT";
    const std::pair<std::string, std::string> cases[] = {
        {std::to_string(ok), entry(found.url, ok, date, "5") +
                                 "<TR><TD>HTTP Version: <TD>HTTP/1.0\n<TR><TD>Content-Type:<TD>"
                                 "text/html\n<TR><TD>Content-Length:<TD>5\n</TABLE>\n"},
        {std::to_string(error),
         entry(missing.url, error, date, "5") +
             "<TR><TD>Error code:<TD>404\n<TR><TD>Error message:<TD> Not &lt;Found&gt;\n"
             "<TR><TD>HTTP Version: <TD>HTTP/1.0\n<TR><TD>Content-Type:<TD>unknown\n"
             "<TR><TD>Content-Length:<TD>unknown\n</TABLE>\n"},
        {std::to_string(deleted),
         entry("http://a.example/x", deleted, text(date_of(800000000).to_Str()).c_str(), "1") +
             "</TABLE>\n<P>" + message0(MSG_CANNOT_OPEN_CACHE_FILE) + "</P>\n"},
        {"4242",
         header("Cache Entry Details") + "<P>Error: cache-entry with id '4242' doesn't exist</P>"},
        {"abc",
         header("Cache Entry Details") + "<P>Error: cache-entry with id '0' doesn't exist</P>"},
    };
    for (const auto& [id, expected] : cases)
        EXPECT_EQ(page("/details?" + id), expected);
    EXPECT_EQ(page("/details"), header("Cache Entry Details") + "<P>Error: Need ID argument</P>\n");
    EXPECT_FALSE(fail_pending());
}

TEST_F(AdminPagesTest, SearchFormHereTheSearchItselfInTheWorkerChangesOnlyForAnAdmin) {
    EXPECT_EQ(
        page("/search", false),
        header("Text Retrieval") + "<SMALL>\n" + message0(MSG_SEARCH_INTRO) +
            "</SMALL><HR><FORM method=get action=\"http://quaylo/search\">Search phrase: "
            "<input name=\"phrase\" type=text size=32 value=\"\"><BR><INPUT TYPE=SUBMIT "
            "VALUE=\"Start Search\"> <INPUT TYPE=RESET value=\"Clear entry field\"></FORM>\n");
    for (const char* request : {"/search?phrase=x", "/search?phrase=x&extra"}) {
        AdminAnswer answer = ask(request, false);
        EXPECT_TRUE(answer.kind == AdminAnswer::SEARCH && answer.head.empty() &&
                    answer.body.empty());
    }
    store("http://a.example/", "a");
    std::string target = dir.file("out");
    for (std::string request :
         {"/do_export?host=a.example&exdir=", "/do_import?host=a.example&importdir=",
          "/import2?all=1&importdir="})
        EXPECT_EQ(page(request + target, false), REFUSAL) << request;
    EXPECT_FALSE(fs::exists(target));
}

// Five documents on four hosts, and a head-only one.
class ExchangeTest : public AdminPagesTest {
protected:
    void SetUp() override {
        AdminPagesTest::SetUp();
        for (auto [url, body] : {std::pair{"http://a.example/index.html", "index"},
                                 {"http://a.example/docs/one.html", "one"},
                                 {"http://a.example:8080/port.html", "port"},
                                 {"http://b.example/b.html", "b"},
                                 {"http://a.example.net/near.html", "near!!"}})
            store(url, body);
        store({"http://b.example/head", "", 1, true});
    }
    // The page asks for contains part; afterwards, with a state given, the
    // proxy's cache ("proxy: ") or the folder named last in the request holds it.
    void check(const std::string& request, const std::string& part, const std::string& state = "") {
        std::string shown = page(request);
        EXPECT_NE(shown.find(part), std::string::npos) << part << " in " << shown;
        EXPECT_EQ(state.empty()               ? ""
                  : state.rfind("proxy: ", 0) ? holds(request.substr(request.rfind('=') + 1))
                                              : "proxy: " + this->state(),
                  state);
        EXPECT_FALSE(fail_pending());
    }
    // A closed cache folder, opened again as an import opens it.
    std::string holds(const std::string& folder) {
        StderrCapture quiet;
        OptionPath path("cachedir", "", folder.c_str(), 0, false);
        ExchangeCache other(path, options.language, options.debug, options.exportdir,
                            options.importdir, false);
        return other.failed() ? fail_take() : cache_state(other.cache(), folder);
    }
    // An import takes the documents in the order of their URLs.
    const std::string all = "http://a.example.net/near.html:6 http://a.example/docs/one.html:3 "
                            "http://a.example/index.html:5 http://a.example:8080/port.html:4 "
                            "http://b.example/b.html:1 | - | - | 19";
};

TEST_F(ExchangeTest, ExportChoosesHostsOrFoldersAndCopiesThemIntoASecondCacheFolder) {
    write_file(dir.file("plain"), "x");
    const std::string done = "<H1>Export done</H1><P>", go = "<INPUT TYPE=SUBMIT VALUE=\"Export\">";
    check("/export", "<input type=checkbox name=\"host\" value=\"a.example\"> <A HREF=\"http://"
                     "quaylo/export?http%3a//a.example/docs/one.html\">a.example</A><BR>\n");
    check("/export", "<HR><P>" + go +
                         " to directory&nbsp <input name=\"exdir\" type=text size=32 "
                         "value=\"" +
                         dir.file("exportdir") +
                         "\"><BR>\n<INPUT TYPE=RESET value=\""
                         "Unselect all\"></FORM>\n");
    check("/export?http://a.example/docs/one.html",
          message0(MSG_EXPORT_DIRECTORIES_INTRO) +
              "</SMALL><HR><input type=checkbox name=\"dir\" "
              "value=\"http://a.example/\"> <TT>/</TT><BR>\n<input type=checkbox name=\"dir\" "
              "value=\"http://a.example/docs/\"> <TT>&nbsp;&nbsp;/docs/</TT><BR>\n<HR><P>" +
              go);
    check("/export?http://no.example/", "<P>invalid URL 'http://no.example/' specified</P>\n");
    check("/export?<a>&b", "<P>invalid URL '&lt;a&gt;' specified</P>\n");
    check("/do_export?host=a.example&exdir=" + dir.file("out"),
          done + "2 files have been exported into directory '" + dir.file("out") + "'.</P>\n",
          "http://a.example/docs/one.html:3 http://a.example/index.html:5 | - | - | 8");
    check("/do_export?dir=http://a.example/docs/&dir=http://b.example/&exdir=" + dir.file("ab"),
          done + "2 files",
          "http://a.example/docs/one.html:3 http://b.example/b.html:1 | - | - | 4");
    check("/do_export?host=b.example", // into the folder of the exportdir option
          done + "1 files have been exported into directory '" + dir.file("exportdir") +
              "'.</P>\n");
    EXPECT_EQ(holds(dir.file("exportdir")), "http://b.example/b.html:1 | - | - | 1");
    for (const auto& [request, part] :
         {std::pair{"exdir=" + dir.file("none"), "<P>Nothing marked for export</P>"},
          {"host=a.example&exdir=" + dir.file("plain"), "<H1>Export failed</H1><PRE>"},
          {"host=a.example&exdir=" + cachedir() + "/", "' is the proxy's own cache directory"},
          {"host=a.example&exdir=", "no directory specified"},
          {"host", "<H1>Invalid parameters specified</H1>\n<PRE>"},
          {"color=red", "unknown parameter 'color'"}})
        check("/do_export?" + request, part);
    EXPECT_TRUE(!fs::exists(dir.file("none")) && !fs::exists(cachedir() + "/cachedb") &&
                read_file(dir.file("plain")) == "x");
    // A copy that fails ends the export; the documents copied before it stay.
    fs::remove(file(cache->find_url("http://b.example/b.html")->current->id));
    check("/do_export?dir=http://&exdir=" + dir.file("cut"),
          "<H1>Export failed</H1><PRE>ExchangePages::do_export copying failed, reason:\r\n "
          "Cache::import unable to read file from source-cache",
          all.substr(0, all.find(" http://b.example")) + " | - | - | 18");
}

// An https site is a site of its own in the lists, the inventory and the
// export, beside the plain host of the same name.
TEST_F(ExchangeTest, HttpsSitesAreListedInventoriedAndExportedApartFromTheirHost) {
    store("https://a.example/s/secure.html", "secure");
    check("/export", "<input type=checkbox name=\"host\" value=\"https://a.example\"> <A HREF=\"http://"
                     "quaylo/export?https%3a//a.example/s/secure.html\">https://a.example</A><BR>\n");
    check("/inventory?https://a.example/s/secure.html",
          "<A HREF=\"https://a.example\">https://a.example</A>:</H2>\n<BR><TT><B>/s/</B></TT><BR>\n");
    check("/do_export?host=https://a.example&exdir=" + dir.file("secure"), "1 files have been exported",
          "https://a.example/s/secure.html:6 | - | - | 6");
}

TEST_F(ExchangeTest, ImportFromAnExportedFolderAllAtOnceOrByChoice) {
    std::string source = dir.file("source"), in = "importdir=" + dir.file("source");
    check("/do_export?dir=http://&exdir=" + source, "5 files", all);
    close();
    fs::remove_all(cachedir());
    open();
    fs::create_directories(dir.file("plain"));
    write_file(dir.file("plain/17"), "junk");
    const std::string done = "<H1>Import done</H1><P>", failed = "<H1>Import failed</H1><PRE>";
    check("/import1",
          "<FORM method=get action=\"http://quaylo/import2\">" + TOKEN_INPUT +
              "<TABLE>\n<TR><TD><input "
          "type=radio name=\"all\" value=1 checked>all files\n<TR><TD><input type=radio "
          "name=\"all\" value=0>selected files\n<TR><TD>from directory&nbsp <input "
          "name=\"importdir\" type=text size=32 value=\"" +
              dir.file("importdir") +
              "\">\n<TR><TD><INPUT TYPE=SUBMIT VALUE=\"Import\">\n</TABLE>\n</FORM>\n");
    check("/import2?all=0&" + in,
          "<P>from cache-directory '" + source +
              "'</P>\n<input type=hidden name=\"importdir\" "
              "value=\"" +
              source +
              "\">\n<input type=checkbox name=\"host\" value=\"a.example.net\"> "
              "<A HREF=\"http://quaylo/import2?importdir=" +
              text(query_encode(source.c_str())) +
              "&amp;all=0&amp;url=http%3a//a.example.net/near.html\">a.example.net</A><BR>\n");
    check("/import2?all=0&url=http://a.example/docs/one.html&" + in,
          "<input type=checkbox name=\"dir\" value=\"http://a.example/docs/\"> <TT>&nbsp;&nbsp;"
          "/docs/</TT><BR>\n<HR><P><INPUT TYPE=SUBMIT VALUE=\"Import\"> <INPUT TYPE=RESET "
          "value=\"Unselect all\"></P>\n</FORM>\n");
    check("/do_import?host=a.example&" + in,
          done + "2 files have been imported from directory '" + source + "'.</P>\n",
          "proxy: http://a.example/docs/one.html:3 http://a.example/index.html:5 | - | - | 8");
    check("/do_import?" + in, "<P>Nothing marked for import</P>");
    check("/import2?all=1&" + in, done + "5 files", "proxy: " + all);
    check("/do_import?host=b.example&" + in, done + "1 files");
    EXPECT_EQ(text(cache->current().last()->url), "http://b.example/b.html"); // replaced
    EXPECT_EQ(holds(source), all);
    for (const auto& [request, part] :
         {std::pair{"/import2?all=1&importdir=" + dir.file("missing"), failed},
          {"/import2?all=1&importdir=" + dir.file("plain"), failed},
          {"/import2?all=1&importdir=" + cachedir(), failed + "ExchangePages::do_import '"},
          {"/do_import?host=a&importdir=" + dir.file("plain/17"), failed},
          {"/do_import?host=a.example&importdir=", failed},
          {"/do_import?host", "<H1>Invalid parameters specified</H1>\n<PRE>"},
          {"/import2?all=0&importdir=" + dir.file("plain"), "Invalid parameters specified</H1>"},
          {"/import2?all=maybe", "'maybe' is invalid for 'all', valid: 1 0"},
          {"/import2?importdir", "Invalid parameters specified</H1>"},
          {"/import2?x=y", "unknown parameter 'x'"}})
        check(request, part);
    EXPECT_EQ(read_file(dir.file("plain/17")), "junk");
    // A version in progress stays, and with it its current one while the proxy's limits apply.
    CacheLock lock;
    cache->get_write_lock("http://a.example/index.html", date_of(1), false, 200, SHARED, lock.file,
                          lock.id);
    write_cache_file(text(lock.file), {"http://a.example/index.html", "writing"});
    ASSERT_EQ(options.set.set("cachefiles", "3"), 0);
    check("/import2?all=1&" + in, done,
          "proxy: http://a.example/index.html:5 http://a.example:8080/port.html:4 "
          "http://b.example/b.html:1 | - | http://a.example/index.html:0r1 | 10");
}

// Every change of state needs the token: without it, or with a wrong one, an
// admin gets the page asking to confirm, which holds the request and the
// token, and nothing changes; the right token carries the change out. An
// import only reads its source.
TEST_F(ExchangeTest, ChangesOfStateNeedTheTokenElseThePageAsksToConfirm) {
    std::string source = dir.file("source");
    check("/do_export?dir=http://&exdir=" + source, "5 files");
    const std::string cachedb = read_file(source + "/cachedb");
    uint32_t id = cache->find_url("http://b.example/b.html")->current->id;
    const std::pair<std::string, std::string> requests[] = {
        {"/options?offline=1&maxcon=5", "Options were changed"},
        {"/do_export?host=a.example&exdir=" + dir.file("out"), "<H1>Export done"},
        {"/import2?all=1&importdir=" + source, "<H1>Import done"},
        {"/do_import?host=b.example&importdir=" + source, "<H1>Import done"}};
    for (const std::string& token : {std::string(), std::string(64, 'd'), TOKEN}) {
        for (const auto& [request, done] : requests) {
            SCOPED_TRACE(request + " with token '" + token + "'");
            std::string shown = page(request, true, token);
            EXPECT_EQ(shown.find(done) != std::string::npos, token == TOKEN) << shown;
            EXPECT_EQ(shown.rfind(header("Please confirm"), 0) == 0, token != TOKEN) << shown;
        }
        EXPECT_EQ(options.offline.value() == 1 && options.maxcon.value() == 5, token == TOKEN);
        EXPECT_EQ(fs::exists(dir.file("out")), token == TOKEN);
        EXPECT_EQ(cache->find_url("http://b.example/b.html")->current->id != id, token == TOKEN);
    }
    EXPECT_EQ(read_file(source + "/cachedb"), cachedb);
    EXPECT_EQ(page("/options?offline=0&socksuser=<b>&x", true, ""),
              header("Please confirm") + "<P>" + guard_text(GuardText::CONFIRM_EXPLANATION, 0) +
                  "</P>\n<P>Requested change: <TT>/options</TT></P>\n<UL>\n<LI><TT>offline = "
                  "0</TT>\n<LI><TT>socksuser = &lt;b&gt;</TT>\n<LI><TT>x</TT>\n</UL>\n<FORM "
                  "method=get action=\"http://quaylo/options\">" + TOKEN_INPUT +
                  "<input type=hidden name=\"offline\" value=\"0\"><input type=hidden "
                  "name=\"socksuser\" value=\"&lt;b&gt;\"><input type=hidden name=\"x\" "
                  "value=\"\">\n<P><INPUT TYPE=SUBMIT VALUE=\"Confirm\"></P>\n</FORM>\n");
    // Looking changes nothing and needs no token.
    EXPECT_NE(page("/import2?all=0&importdir=" + source, true, "").find("from cache-directory"),
              std::string::npos);
}

// An export writes only into a new folder made in an existing one, an empty
// folder or an earlier export (whose cachedb must open); nothing else is touched.
TEST_F(ExchangeTest, AnExportGoesOnlyIntoANewOrEmptyFolderOrAnEarlierExport) {
    fs::create_directories(dir.file("empty"));
    fs::create_directories(dir.file("fake"));
    write_file(dir.file("fake/cachedb"), "not a cache");
    fs::create_directories(dir.file("mine"));
    write_file(dir.file("mine/17"), "mine");
    check("/do_export?host=b.example&exdir=" + dir.file("earlier"), "<H1>Export done");
    for (const auto& [target, done] : {std::pair{dir.file("new"), true},
                                       {dir.file("empty"), true},
                                       {dir.file("earlier"), true},
                                       {dir.file("deep/er"), false},
                                       {dir.file("mine"), false},
                                       {dir.file("fake"), false}})
        check("/do_export?host=a.example&exdir=" + target,
              done ? "<H1>Export done</H1><P>2 files" : "<H1>Export failed</H1><PRE>");
    EXPECT_FALSE(fs::exists(dir.file("deep")));
    EXPECT_EQ(read_file(dir.file("mine/17")) + read_file(dir.file("fake/cachedb")),
              "minenot a cache");
    EXPECT_EQ(holds(dir.file("earlier")), "http://b.example/b.html:1 http://a.example/docs/one.html:3 "
                                          "http://a.example/index.html:5 | - | - | 9");
}

// The token lives in a file beside the setup file; a missing or malformed
// one is made anew (mode 0600), a good one kept.
TEST(AdminToken, AFileOfItsOwnKeptOrMadeAnew) {
    TempDir folder("admin-token");
    std::string path = folder.file("harbord.token");
    auto load = [&] { return text(load_admin_token(path.c_str())); };
    std::string first = load();
    EXPECT_TRUE(is_token_text(first.c_str())) << first;
    struct stat status;
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    for (const std::string& kept : {first, first + "\n"}) {
        write_file(path, kept);
        EXPECT_EQ(load(), first);
    }
    std::string upper = first;
    upper[0] = 'A';
    for (const std::string& bad : {std::string(), first.substr(1), first + "0", upper, first + "\r\n"}) {
        write_file(path, bad);
        std::string made = load();
        EXPECT_TRUE(is_token_text(made.c_str()) && made != first && read_file(path) == made) << bad;
    }
    StderrCapture report;
    path = folder.file("missing/harbord.token");
    EXPECT_TRUE(is_token_text(load().c_str()));
    EXPECT_NE(report.text().find("unable to write"), std::string::npos);
}

TEST_F(AdminPagesTest, EveryTextComesFromTheSlotOfTheLanguage) {
    const std::pair<const char*, std::vector<uint32_t>> pages[] = {
        {"/",
         {MSG_WELCOME, MSG_BROWSE_THE, MSG_EXAMINE_THE, MSG_EXPLORE_CACHE, MSG_VIEW_USAGE,
          MSG_TRY_A, MSG_TEXT_RETRIEVAL, MSG_READING_HTTPS, MSG_CONTACT, MSG_NEWS}},
        {"/options",
         {MSG_OPTIONS_INTRO, MSG_CHANGE_OPTIONS, MSG_MODE, MSG_SOCKSUSER, MSG_CACHEFILES, MSG_SSLCACHE,
          MSG_SSLHOSTS}},
        {"/statistics", {MSG_LISTENING_PORT, MSG_CACHE_DIRECTORY, MSG_TOTAL_SIZE, MSG_ACCESSES}},
        {"/inventory", {MSG_INVENTORY_INTRO, MSG_NO_ENTRIES}},
        {"/foo", {MSG_INVALID_PATH, MSG_REQUEST, MSG_FOR_A_MENU}},
    };
    ASSERT_EQ(options.set.set("language", "dutch"), 0);
    for (const auto& [path, texts] : pages) {
        std::string shown = page(path);
        for (uint32_t number : texts) {
            EXPECT_NE(shown.find(message(number, 2)), std::string::npos) << path << " " << number;
            EXPECT_EQ(shown.find(message(number, 0)), std::string::npos) << path << " " << number;
        }
    }
    EXPECT_NE(page("/options").find("value=\"dutch\" checked>"), std::string::npos);
    EXPECT_NE(page("/options?offline=1", false).find(message(MSG_NOT_ADMIN, 2)), std::string::npos);
}

} // namespace
