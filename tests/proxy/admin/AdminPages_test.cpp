// The admin pages as the server's handler answers them: the page of every
// path, the admin rule, the frame, the options form and its use, the help
// files, the cache pages, export and import through a second cache, the
// texts per language, and escaping of whatever comes from outside.
#include "proxy/admin/AdminDispatch.h"

#include "proxy/admin/AdminPage.h"

#include "foundation/InterNetServer.h"
#include "http/HtmlEscape.h"
#include "proxy/language/LanguageTable.h"
#include "testsupport/CacheFixture.h"

#include <arpa/inet.h>

namespace {

namespace fs = std::filesystem;

const std::string HTML_HEAD = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n\r\n";
const std::string BODY_START = "<HTML>\n<BODY>\n";
const std::string REFUSAL = "<HR><H2>Unauthorized access:</H2><P>Your IP-address does not have "
                            "administrative permissions</P><HR>";

ArgList list(std::initializer_list<std::string> items) {
    ArgList out;
    for (const std::string& item : items)
        out.append(Str(item.data(), uint32_t(item.size())));
    return out;
}

std::string header(const std::string& title) {
    return "<CENTER><H1>Quaylo</H1><H1>" + title + "</H1><HR></CENTER>\n";
}

class AdminPagesTest : public CacheFixture {
protected:
    AdminAnswer ask(const std::string& path, const ArgList& arguments, bool admin = true) {
        std::vector<uint32_t> admins = {0, loopback_address()}; // 0: a word that did not resolve
        AdminSite site{options, *cache, admins, Str(HELP_SOURCE_DIR "/harbord"), [] { return 3; }};
        StderrCapture quiet;
        return dispatch_admin_request(site, path.c_str(), arguments,
                                      admin ? loopback_address() : inet_addr("10.0.0.2"));
    }
    // The content of a framed page; checks the head, the start and the footer.
    std::string page(const std::string& path, const ArgList& arguments = {}, bool admin = true) {
        AdminAnswer answer = ask(path, arguments, admin);
        std::string body = text(answer.body);
        std::string footer = "<HR><CENTER><SMALL><EM>" +
                             std::string(message(MSG_FOOTER_NOTICE, options.language.index())) +
                             "</EM><SMALL></CENTER></BODY></HTML>\r\n";
        EXPECT_EQ(answer.kind, AdminAnswer::PAGE) << path;
        EXPECT_EQ(text(answer.head), HTML_HEAD) << path;
        EXPECT_EQ(body.rfind(BODY_START, 0), 0u) << path;
        EXPECT_TRUE(body.size() > footer.size() &&
                    body.substr(body.size() - footer.size()) == footer)
            << path << body;
        return body.substr(BODY_START.size(), body.size() - footer.size() - BODY_START.size());
    }
    // Two hosts, one with documents in two folders, one with "<" in a URL.
    std::map<std::string, uint32_t> fill() {
        std::map<std::string, uint32_t> ids;
        for (const char* url : {"http://b.example/z.html", "http://a.example/docs/b.html",
                                "http://a.example/", "http://a.example/docs/a.html",
                                "http://a.example:8080/x y.html", "http://b.example/<odd>"})
            ids[url] = store(url, "body");
        return ids;
    }
    std::string message0(uint32_t number) { return message(number, 0); }
    // A closed cache folder as cache_state shows it, opened as an import opens it.
    std::string holds(const std::string& folder) {
        StderrCapture quiet;
        OptionPath path("cachedir", "", folder.c_str(), 0, false);
        ExchangeCache other(path, options.language, options.debug, options.exportdir,
                            options.importdir, false);
        return other.failed() ? fail_take() : cache_state(other.cache(), folder);
    }
};

// Five documents on four hosts, and a head-only one; a case of the exchange
// pages: path, arguments, a part of the page, and the state of the folder
// named last among the arguments (or of the proxy's own cache) afterwards.
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
    struct Case {
        std::string path;
        std::vector<std::string> arguments;
        std::string part, state = "";
    };
    void check(const Case& c) {
        ArgList arguments;
        for (const std::string& word : c.arguments)
            arguments.append(Str(word.c_str()));
        std::string shown = page(c.path, arguments);
        EXPECT_NE(shown.find(c.part), std::string::npos) << c.part << " in " << shown;
        if (c.state.rfind("proxy: ", 0) == 0)
            EXPECT_EQ("proxy: " + state(), c.state);
        else if (!c.state.empty())
            EXPECT_EQ(holds(c.arguments.back()), c.state);
        EXPECT_FALSE(fail_pending());
    }
    // An import takes the documents in the order of their URLs.
    const std::string all = "http://a.example.net/near.html:6 http://a.example/docs/one.html:3 "
                            "http://a.example/index.html:5 http://a.example:8080/port.html:4 "
                            "http://b.example/b.html:1 | - | - | 19";
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
        "<H3>Contact Corvane for <A HREF=\"http://www.corvane.example/\">news or "
        "feed-back</A></H3>\n";
    EXPECT_EQ(page(""), menu);
    EXPECT_EQ(page("/", {}, false), menu);
    for (const char* path : {"/foo<b>\"", "/Options", "/options/", "/inventory.TXT", "//"})
        EXPECT_EQ(page(path, list({"offline", "1"})),
                  "<HR><H2>Invalid path specified: '" + text(html_escape(path)) +
                      "'</H2><P>Request <A HREF=\"http://quaylo/\">http://quaylo/</A>for a menu "
                      "of things you can do with this server.</P><HR>\n");
    EXPECT_EQ(options.offline.value(), 0);
}

TEST_F(AdminPagesTest, OptionsFormShowsEveryOptionWithItsHelpAndCurrentValue) {
    for (auto [name, value] : {std::pair{"offline", "1"},
                               {"maxcon", "7"},
                               {"timeout", "90"},
                               {"socksuser", "\"><b>"},
                               {"proxyhost", "gate.example"}})
        ASSERT_EQ(options.set.set(name, value), 0);
    // Each input begins with <input name=".
    const char* const rows[][3] = {
        {"mode.htm", "Mode:",
         "offline\" type=radio value=1 checked>Offline <input name=\"offline\" "
         "type=radio value=0>Online "},
        {"language.htm", "Language:",
         "language\" type=radio value=\"english\" checked>English <input name=\"language\" "
         "type=radio value=\"deutsch\">Deutsch <input name=\"language\" type=radio value=\"dutch\">"
         "Dutch "},
        {"maxcon.htm",
         "Max. concurrent connections:", "maxcon\" type=range min=1 max=100 value=7>"},
        {"remprox.htm",
         "Remote proxy used:", "proxyhost\" type=text size=32 value=\"gate.example\">"},
        {"remport.htm", "Remote proxy port:", "proxyport\" type=range min=1 max=65535 value=8080>"},
        {"sockshst.htm", "SOCKS server:", "sockshost\" type=text size=32 value=\"\">"},
        {"socksprt.htm", "SOCKS port:", "socksport\" type=range min=1 max=65535 value=1080>"},
        {"socksusr.htm",
         "SOCKS user-name:", "socksuser\" type=text size=32 value=\"&quot;&gt;&lt;b&gt;\">"},
        {"timeout.htm",
         "Network timeout:", "timeout\" type=range min=1 max=65535 value=90> seconds"},
        {"updtime.htm",
         "Document update time:", "updtime\" type=range min=0 max=360000 value=36000>"},
        {"cachesiz.htm",
         "Maximum size of cache:", "cachesize\" type=range min=8 max=2000000 value=4096>kB"},
        {"entrysiz.htm",
         "Size limit for cached files:", "entrysize\" type=range min=2 max=2000000 value=500>"},
        {"cachefil.htm",
         "Maximum files in cache:", "cachefiles\" type=range min=2 max=2000000 value=10000>"},
    };
    std::string form = "<FORM method=get action=\"http://quaylo/options\">" + header("Options") +
                       "<SMALL>\n" + message0(MSG_OPTIONS_INTRO) +
                       "</SMALL><HR><P><INPUT TYPE=SUBMIT VALUE=\"Change Options\"> <INPUT "
                       "TYPE=RESET value=\"Reset form to current options\"></P><TABLE>\n";
    for (const auto& [help, label, input] : rows)
        form += std::string("<TR><TD><A HREF=\"http://quaylo/help?") + help + "\">" + label +
                "</A><TD><input name=\"" + input + "\n";
    form += "</TABLE>\n<HR><P>" + message0(MSG_RELOAD_NOTICE) + "</P>\n</FORM>\n";
    EXPECT_EQ(page("/options", {}, false), form);
}

TEST_F(AdminPagesTest, OptionsChangeOnlyForAnAdminByBareNamesAndAreSavedAtOnce) {
    ASSERT_EQ(options.set.save(dir.file("harbord.cfg").c_str()), 0);
    std::string refused = page("/options", list({"offline", "1"}), false);
    EXPECT_EQ(refused.rfind(REFUSAL + "<FORM method=get", 0), 0u) << refused;
    std::string changed = page("/options", list({"offline", "1", "updtime", "1234"}));
    EXPECT_EQ(changed.rfind("<HR><H2>Options were changed</H2><P>See below for active settings"
                            "</P><HR>\n<FORM method=get",
                            0),
              0u)
        << changed;
    EXPECT_NE(changed.find("name=\"offline\" type=radio value=1 checked>"), std::string::npos);
    RelaisOptions reread;
    StderrCapture quiet;
    ASSERT_EQ(reread.set.load(dir.file("harbord.cfg").c_str()), 0);
    EXPECT_EQ(reread.updtime.value(), 1234);
    reread.set.set_modified(false);
    // The failure in the page, escaped; a name with the command line's "-" is unknown here.
    for (const ArgList& arguments : {list({"maxcon", "<9999>"}), list({"-offline", "0"})}) {
        std::string shown = page("/options", arguments);
        EXPECT_EQ(shown.rfind("<HR><H2>Invalid parameters specified:</H2>\n<P>", 0), 0u) << shown;
        EXPECT_NE(shown.find("</P><HR>\n<FORM"), std::string::npos) << shown;
        EXPECT_TRUE(shown.find("cannot set option 'maxcon'") != std::string::npos ||
                    shown.find("unknown option '-offline'") != std::string::npos)
            << shown;
        EXPECT_EQ(shown.find("<9999>"), std::string::npos);
    }
    EXPECT_TRUE(options.maxcon.value() == 16 && options.offline.value() == 1 && !fail_pending());
}

TEST_F(AdminPagesTest, HelpSendsAPlainFileOfTheLanguageFolderAsItIs) {
    auto help = [&](const ArgList& arguments) {
        AdminAnswer answer = ask("/help", arguments);
        EXPECT_EQ(text(answer.head), HTML_HEAD);
        return text(answer.body);
    };
    const std::string source = HELP_SOURCE_DIR;
    EXPECT_EQ(help({}), read_file(source + "/help_e/help.htm"));
    for (const char* name : {"../help_e/mode.htm", "..", "/etc/passwd", "sub/mode.htm", "", ".",
                             "<img src=x>", "nosuch.htm"})
        EXPECT_EQ(help(list({name})), BODY_START + "<H3>Error: unable to open file '" + source +
                                          "/help_e/" + text(html_escape(name)) + "'</H3>" +
                                          "</BODY></HTML>\r\n")
            << name;
    // Every row of the options form links a help page that exists in every language.
    for (const char* language : {"english", "deutsch", "dutch"}) {
        ASSERT_EQ(options.set.set("language", language), 0);
        std::string form = page("/options");
        for (size_t at = form.find("help?"); at != std::string::npos;
             at = form.find("help?", at + 1))
            EXPECT_EQ(
                help(list({form.substr(at + 5, form.find('"', at) - at - 5)})).rfind("<HTML>", 0),
                0u)
                << language << " " << form.substr(at, 20);
    }
    EXPECT_EQ(help(list({"mode.htm"})), read_file(source + "/help_nl/mode.htm"));
    EXPECT_FALSE(fail_pending());
}

TEST_F(AdminPagesTest, CachePagesShowWhatTheCacheHolds) {
    EXPECT_EQ(page("/inventory"), header("inventory") + "<SMALL>" + message0(MSG_INVENTORY_INTRO) +
                                      "</SMALL><HR><P>There are currently no cache entries.</P>");
    std::map<std::string, uint32_t> ids = fill();
    store({"http://c.example/head", "", 1, true});
    EXPECT_EQ(page("/inventory"),
              header("inventory") + "<SMALL>" + message0(MSG_INVENTORY_INTRO) + "</SMALL><HR>" +
                  "<A HREF=\"http://quaylo/inventory?http%3a//a.example/\">a.example</A><BR>\n"
                  "<A HREF=\"http://quaylo/inventory?http%3a//a.example%3a8080/x+y.html\">"
                  "a.example:8080</A><BR>\n"
                  "<A HREF=\"http://quaylo/inventory?http%3a//b.example/%3codd%3e\">b.example</A>"
                  "<BR>\n<A HREF=\"http://quaylo/inventory?http%3a//c.example/head\">c.example</A>"
                  "<BR>\n");
    auto details = [&](const char* url) {
        return "<A HREF=\"http://quaylo/details?" + std::to_string(ids[url]) + "\">Details</A><TT>";
    };
    EXPECT_EQ(
        page("/inventory", list({"http://a.example/"})),
        header("inventory") + "<SMALL>" + message0(MSG_HOST_DOCUMENTS_INTRO) + "</SMALL><HR>" +
            "<H2>Cached URLs for host <A HREF=\"http://a.example\">http://a.example</A>:</H2>\n"
            "<BR><TT><B>/</B></TT><BR>\n" +
            details("http://a.example/") +
            "&nbsp;&nbsp;<A HREF=\"http://a.example/\">/</A></TT><BR>\n"
            "<BR><TT><B>/docs/</B></TT><BR>\n" +
            details("http://a.example/docs/a.html") +
            "&nbsp;&nbsp;&nbsp;&nbsp;<A HREF=\"http://a.example/docs/a.html\">/docs/a.html</A>"
            "</TT><BR>\n" +
            details("http://a.example/docs/b.html") +
            "&nbsp;&nbsp;&nbsp;&nbsp;<A HREF=\"http://a.example/docs/b.html\">/docs/b.html</A>"
            "</TT><BR>\n");
    for (const ArgList& arguments :
         {list({"http://a.example/<x>"}), list({"http://a.example/", "x"})})
        EXPECT_EQ(page("/inventory", arguments), header("inventory") + "<P>invalid URL '" +
                                                     text(html_escape(arguments.first()->value)) +
                                                     "' specified</P>\n");

    AdminAnswer plain = ask("/inventory.txt", {}, false);
    EXPECT_EQ(text(plain.head), "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n\r\n");
    EXPECT_EQ(text(plain.body), "http://a.example/\nhttp://a.example/docs/a.html\n"
                                "http://a.example/docs/b.html\nhttp://a.example:8080/x y.html\n"
                                "http://b.example/<odd>\nhttp://b.example/z.html\n");

    Str file;
    uint32_t writing = 0;
    cache->get_write_lock("http://d.example/", date_of(1), false, 200, file, writing);
    read("http://a.example/");
    EXPECT_EQ(page("/statistics", {}, false),
              header("Statistics") +
                  "<TABLE><TR><TD>Listening on port: <TD>8080\n"
                  "<TR><TD>Current client connections: <TD>3\n<TR><TD>Cache directory: <TD>" +
                  cachedir() +
                  "\n<TR><TD>Number of cached files: <TD>7\n"
                  "<TR><TD>Number of files to update: <TD>0\n<TR><TD>Number of incoming files: "
                  "<TD>1\n<TR><TD>Total size of cached files: <TD>0kB\n"
                  "<TR><TD>Number of accesses: <TD>1\n</TABLE>");

    ASSERT_EQ(cache->register_user(loopback_address()), 0);
    ASSERT_EQ(cache->register_user(inet_addr("10.1.2.3")), 0);
    // In the order of the addresses as the socket layer delivers them.
    EXPECT_EQ(page("/users"),
              "<CENTER><H1>Quaylo</H1><H1>Users</H1><HR></CENTER>\n<TABLE BORDER><TR><TD>IP "
              "address<TD>last connect\n<TR><TD>127.0.0.1<TD>" +
                  text(cache->users().at(loopback_address()).lastconnect.to_Str()) +
                  "\n<TR><TD>10.1.2.3<TD>" +
                  text(cache->users().at(inet_addr("10.1.2.3")).lastconnect.to_Str()) +
                  "\n</TABLE>");
}

TEST_F(AdminPagesTest, DetailsShowTheEntryAndTheAnswerHeadOfItsFile) {
    Document found{"http://a.example/page.html", "12345", 784111777};
    found.content_length = 5;
    Document missing{"http://a.example/missing", "gone", 784111777};
    missing.status = 404;
    missing.reason = " Not <Found>";
    missing.type = "";
    uint32_t ok = store(found), error = store(missing), deleted = store("http://a.example/x", "x");
    fs::remove(file(deleted));
    const std::string start = header("Cache Entry Details") + "<TABLE>\n<TR><TD>URL<TD>";
    const std::string updated = "\n<TR><TD>Last update:<TD>Sun, 06 Nov 1994 08:49:37 GMT\n";
    const std::pair<std::string, std::string> cases[] = {
        {std::to_string(ok),
         start + "<A HREF=\"http://a.example/page.html\">http://a.example/page.html</A>" + updated +
             "<TR><TD>ID Number:<TD>" + std::to_string(ok) +
             "\n<TR><TD>Bytes cached:<TD>5\n"
             "<TR><TD>HTTP Version: <TD>HTTP/1.0\n<TR><TD>Content-Type:<TD>text/html\n"
             "<TR><TD>Content-Length:<TD>5\n</TABLE>\n"},
        {std::to_string(error),
         start + "<A HREF=\"http://a.example/missing\">http://a.example/missing</A>" + updated +
             "<TR><TD>ID Number:<TD>" + std::to_string(error) +
             "\n<TR><TD>Bytes cached:<TD>4\n"
             "<TR><TD>Error code:<TD>404\n<TR><TD>Error message:<TD> Not &lt;Found&gt;\n"
             "<TR><TD>HTTP Version: <TD>HTTP/1.0\n<TR><TD>Content-Type:<TD>unknown\n"
             "<TR><TD>Content-Length:<TD>unknown\n</TABLE>\n"},
        {std::to_string(deleted),
         start + "<A HREF=\"http://a.example/x\">http://a.example/x</A>\n<TR><TD>Last update:<TD>" +
             text(date_of(800000000).to_Str()) + "\n<TR><TD>ID Number:<TD>" +
             std::to_string(deleted) + "\n<TR><TD>Bytes cached:<TD>1\n</TABLE>\n<P>" +
             message0(MSG_CANNOT_OPEN_CACHE_FILE) + "</P>\n"},
        {"4242",
         header("Cache Entry Details") + "<P>Error: cache-entry with id '4242' doesn't exist</P>"},
        {"abc",
         header("Cache Entry Details") + "<P>Error: cache-entry with id '0' doesn't exist</P>"},
    };
    for (const auto& [id, expected] : cases)
        EXPECT_EQ(page("/details", list({id})), expected);
    EXPECT_EQ(page("/details"), header("Cache Entry Details") + "<P>Error: Need ID argument</P>\n");
    EXPECT_FALSE(fail_pending());
}

TEST_F(AdminPagesTest, SearchFormHereTheSearchItselfInTheWorkerChangesOnlyForAnAdmin) {
    EXPECT_EQ(
        page("/search", {}, false),
        header("Text Retrieval") + "<SMALL>\n" + message0(MSG_SEARCH_INTRO) +
            "</SMALL><HR>"
            "<FORM method=get action=\"http://quaylo/search\">Search phrase: <input "
            "name=\"phrase\" type=text size=32 value=\"\"><BR><INPUT TYPE=SUBMIT VALUE=\"Start "
            "Search\"> <INPUT TYPE=RESET value=\"Clear entry field\"></FORM>\n");
    for (const ArgList& arguments : {list({"phrase", "x"}), list({"phrase", "x", "extra"})}) {
        AdminAnswer answer = ask("/search", arguments, false);
        EXPECT_EQ(answer.kind, AdminAnswer::SEARCH);
        EXPECT_TRUE(answer.head.empty() && answer.body.empty());
    }
    fill();
    std::string target = dir.file("out");
    for (const auto& [path, arguments] :
         {std::pair{"/do_export", list({"host", "a.example", "exdir", target})},
          {"/do_import", list({"host", "a.example", "importdir", target})},
          {"/import2", list({"importdir", target, "all", "1"})}})
        EXPECT_EQ(page(path, arguments, false), REFUSAL) << path;
    EXPECT_FALSE(fs::exists(target));
}

TEST_F(ExchangeTest, ExportChoosesHostsOrFoldersAndCopiesThemIntoASecondCacheFolder) {
    write_file(dir.file("plain"), "x");
    const std::string done = "<H1>Export done</H1><P>", go = "<INPUT TYPE=SUBMIT VALUE=\"Export\">";
    const Case cases[] = {
        {"/export",
         {},
         "<input type=checkbox name=\"host\" value=\"a.example\"> <A HREF=\"http://"
         "quaylo/export?http%3a//a.example/docs/one.html\">a.example</A><BR>\n"},
        {"/export",
         {},
         "<HR><P>" + go +
             " to directory&nbsp <input name=\"exdir\" type=text size=32 "
             "value=\"" +
             dir.file("exportdir") +
             "\"><BR>\n<INPUT TYPE=RESET "
             "value=\"Unselect all\"></FORM>\n"},
        {"/export",
         {"http://a.example/docs/one.html"},
         "<SMALL>This page allows you to choose directories to export all available documents "
         "from.<BR> Please notice that sub-directories of selected directories are exported as "
         "well.</SMALL><HR><input type=checkbox name=\"dir\" value=\"http://a.example/\"> "
         "<TT>/</TT>"
         "<BR>\n<input type=checkbox name=\"dir\" value=\"http://a.example/docs/\"> "
         "<TT>&nbsp;&nbsp;/docs/</TT><BR>\n<HR><P>" +
             go},
        {"/export", {"http://no.example/"}, "<P>invalid URL 'http://no.example/' specified</P>\n"},
        {"/export", {"<a>", "b"}, "<P>invalid URL '&lt;a&gt;' specified</P>\n"},
        {"/do_export",
         {"host", "a.example", "exdir", dir.file("out")},
         done + "2 files have been exported into directory '" + dir.file("out") + "'.</P>\n",
         "http://a.example/docs/one.html:3 http://a.example/index.html:5 | - | - | 8"},
        {"/do_export",
         {"dir", "http://a.example/docs/", "dir", "http://b.example/", "exdir", dir.file("a/b")},
         done + "2 files",
         "http://a.example/docs/one.html:3 http://b.example/b.html:1 | - | - | 4"},
        {"/do_export",
         {"host", "b.example", "exdir", dir.file("exportdir")},
         done + "1 files",
         "http://b.example/b.html:1 | - | - | 1"},
        {"/do_export",
         {"host", "a.example"},
         done + "2 files have been exported into directory '" + dir.file("exportdir") + "'.</P>\n"},
        {"/do_export", {"exdir", dir.file("none")}, "<P>Nothing marked for export</P>"},
        {"/do_export",
         {"host", "a.example", "exdir", dir.file("plain")},
         "<H1>Export failed</H1><PRE>"},
        {"/do_export",
         {"host", "a.example", "exdir", cachedir() + "/"},
         "' is the proxy's own cache "
         "directory"},
        {"/do_export", {"host", "a.example", "exdir", ""}, "no directory specified"},
        {"/do_export", {"host"}, "<H1>Invalid parameters specified</H1>\n<PRE>"},
        {"/do_export", {"color", "red"}, "unknown parameter 'color'"},
    };
    for (const Case& c : cases)
        check(c);
    EXPECT_FALSE(fs::exists(dir.file("none")) || fs::exists(cachedir() + "/cachedb"));
    EXPECT_EQ(read_file(dir.file("plain")), "x");
    // A copy that fails ends the export; the documents copied before it stay.
    fs::remove(file(cache->find_url("http://b.example/b.html")->current->id));
    check({"/do_export",
           {"dir", "http://", "exdir", dir.file("cut")},
           "<H1>Export failed</H1><PRE>ExchangePages::do_export copying failed, reason:\r\n "
           "Cache::import unable to read file from source-cache",
           all.substr(0, all.find(" http://b.example")) + " | - | - | 18"});
}

TEST_F(ExchangeTest, ImportFromAnExportedFolderAllAtOnceOrByChoice) {
    std::string source = dir.file("source");
    check({"/do_export", {"dir", "http://", "exdir", source}, "5 files", all});
    close();
    fs::remove_all(cachedir());
    open();
    fs::create_directories(dir.file("plain"));
    write_file(dir.file("plain/17"), "junk");
    const std::string done = "<H1>Import done</H1><P>",
                      bad = "<H1>Invalid parameters specified</H1>";
    const Case cases[] = {
        {"/import1",
         {},
         "<FORM method=get action=\"http://quaylo/import2\"><TABLE>\n<TR><TD><input "
         "type=radio name=\"all\" value=1 checked>all files\n<TR><TD><input "
         "type=radio name=\"all\" value=0>selected files\n<TR><TD>from "
         "directory&nbsp <input name=\"importdir\" type=text size=32 value=\"" +
             dir.file("importdir") +
             "\">\n<TR><TD><INPUT TYPE=SUBMIT "
             "VALUE=\"Import\">\n</TABLE>\n</FORM>\n"},
        {"/import2",
         {"importdir", source, "all", "0"},
         "<P>from cache-directory '" + source +
             "'</P>\n<input type=hidden name=\"importdir\" value=\"" + source +
             "\">\n<input type=checkbox name=\"host\" value=\"a.example.net\"> <A HREF=\""
             "http://quaylo/import2?importdir=" +
             text(query_encode(source.c_str())) +
             "&amp;all=0&amp;url=http%3a//a.example.net/near.html\">a.example.net</A><BR>\n"},
        {"/import2",
         {"importdir", source, "all", "0", "url", "http://a.example/docs/one.html"},
         "<input type=checkbox name=\"dir\" value=\"http://a.example/docs/\"> "
         "<TT>&nbsp;&nbsp;/docs/"
         "</TT><BR>\n<HR><P><INPUT TYPE=SUBMIT VALUE=\"Import\"> <INPUT TYPE=RESET "
         "value=\"Unselect "
         "all\"></P>\n</FORM>\n"},
        {"/do_import",
         {"host", "a.example", "importdir", source},
         done + "2 files have been imported from directory '" + source + "'.</P>\n",
         "proxy: http://a.example/docs/one.html:3 http://a.example/index.html:5 | - | - | 8"},
        {"/do_import", {"importdir", source}, "<P>Nothing marked for import</P>"},
        {"/import2", {"importdir", source, "all", "1"}, done + "5 files", "proxy: " + all},
        {"/do_import", {"host", "b.example", "importdir", source}, done + "1 files"},
        {"/import2", {"importdir", dir.file("missing"), "all", "1"}, "<H1>Import failed</H1>"},
        {"/import2", {"importdir", dir.file("plain"), "all", "1"}, "<H1>Import failed</H1>"},
        {"/import2", {"importdir", cachedir(), "all", "1"}, "own cache directory"},
        {"/do_import", {"host", "a", "importdir", dir.file("plain/17")}, "<H1>Import failed</H1>"},
        {"/do_import", {"host", "a.example", "importdir", ""}, "<H1>Import failed</H1><PRE>"},
        {"/do_import", {"host"}, bad},
        {"/import2", {"importdir", dir.file("plain"), "all", "0"}, bad + "\n<PRE>"},
        {"/import2", {"all", "maybe"}, "'maybe' is invalid for 'all', valid: 1 0"},
        {"/import2", {"importdir"}, bad},
        {"/import2", {"x", "y"}, "unknown parameter 'x'"},
    };
    for (const Case& c : cases)
        check(c);
    EXPECT_EQ(read_file(dir.file("plain/17")), "junk");
    // The import replaced a copy; the source is as it was.
    EXPECT_EQ(text(cache->current().last()->url), "http://b.example/b.html");
    EXPECT_EQ(holds(source), all);
    // A version in progress stays, and with it its current one while the proxy's limits apply.
    Str file;
    uint32_t id = 0;
    cache->get_write_lock("http://a.example/index.html", date_of(1), false, 200, file, id);
    write_cache_file(text(file), {"http://a.example/index.html", "writing"});
    ASSERT_EQ(options.set.set("cachefiles", "3"), 0);
    check({"/import2",
           {"importdir", source, "all", "1"},
           done,
           "proxy: http://a.example/index.html:5 http://a.example:8080/port.html:4 "
           "http://b.example/b.html:1 | - | http://a.example/index.html:0r1 | 10"});
}

TEST_F(AdminPagesTest, EveryTextComesFromTheSlotOfTheLanguage) {
    const std::pair<const char*, std::vector<uint32_t>> pages[] = {
        {"/",
         {MSG_WELCOME, MSG_BROWSE_THE, MSG_EXAMINE_THE, MSG_EXPLORE_CACHE, MSG_VIEW_USAGE,
          MSG_TRY_A, MSG_TEXT_RETRIEVAL, MSG_CONTACT, MSG_NEWS}},
        {"/options",
         {MSG_OPTIONS_INTRO, MSG_CHANGE_OPTIONS, MSG_MODE, MSG_SOCKSUSER, MSG_CACHEFILES}},
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
    EXPECT_NE(page("/options", list({"offline", "1"}), false).find(message(MSG_NOT_ADMIN, 2)),
              std::string::npos);
}

} // namespace
