// The admin pages as the server's handler answers them: the page of every
// path, the admin rule, the frame, the options form and its use, the help
// files, the cache pages, the texts per language, and escaping of whatever
// comes from outside.
#include "proxy/admin/AdminDispatch.h"

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
    for (const std::string& item : items) out.append(Str(item.data(), uint32_t(item.size())));
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
        EXPECT_TRUE(body.size() > footer.size() && body.substr(body.size() - footer.size()) == footer)
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
    for (auto [name, value] : {std::pair{"offline", "1"}, {"maxcon", "7"}, {"timeout", "90"},
                               {"socksuser", "\"><b>"}, {"proxyhost", "gate.example"}})
        ASSERT_EQ(options.set.set(name, value), 0);
    const char* const rows[][3] = {
        {"mode.htm", "Mode:", "<input name=\"offline\" type=radio value=1 checked>Offline "
                              "<input name=\"offline\" type=radio value=0>Online "},
        {"language.htm", "Language:",
         "<input name=\"language\" type=radio value=\"english\" checked>English <input name="
         "\"language\" type=radio value=\"deutsch\">Deutsch <input name=\"language\" type=radio "
         "value=\"dutch\">Dutch "},
        {"maxcon.htm", "Max. concurrent connections:",
         "<input name=\"maxcon\" type=range min=1 max=100 value=7>"},
        {"remprox.htm", "Remote proxy used:",
         "<input name=\"proxyhost\" type=text size=32 value=\"gate.example\">"},
        {"remport.htm", "Remote proxy port:",
         "<input name=\"proxyport\" type=range min=1 max=65535 value=8080>"},
        {"sockshst.htm", "SOCKS server:", "<input name=\"sockshost\" type=text size=32 value=\"\">"},
        {"socksprt.htm", "SOCKS port:",
         "<input name=\"socksport\" type=range min=1 max=65535 value=1080>"},
        {"socksusr.htm", "SOCKS user-name:",
         "<input name=\"socksuser\" type=text size=32 value=\"&quot;&gt;&lt;b&gt;\">"},
        {"timeout.htm", "Network timeout:",
         "<input name=\"timeout\" type=range min=1 max=65535 value=90> seconds"},
        {"updtime.htm", "Document update time:",
         "<input name=\"updtime\" type=range min=0 max=360000 value=36000>"},
        {"cachesiz.htm", "Maximum size of cache:",
         "<input name=\"cachesize\" type=range min=8 max=2000000 value=4096>kB"},
        {"entrysiz.htm", "Size limit for cached files:",
         "<input name=\"entrysize\" type=range min=2 max=2000000 value=500>"},
        {"cachefil.htm", "Maximum files in cache:",
         "<input name=\"cachefiles\" type=range min=2 max=2000000 value=10000>"},
    };
    std::string form = "<FORM method=get action=\"http://quaylo/options\">" + header("Options") +
                       "<SMALL>\n" + message0(MSG_OPTIONS_INTRO) +
                       "</SMALL><HR><P><INPUT TYPE=SUBMIT VALUE=\"Change Options\"> <INPUT "
                       "TYPE=RESET value=\"Reset form to current options\"></P><TABLE>\n";
    for (const auto& [help, label, input] : rows)
        form += std::string("<TR><TD><A HREF=\"http://quaylo/help?") + help + "\">" + label +
                "</A><TD>" + input + "\n";
    form += "</TABLE>\n<HR><P>" + message0(MSG_RELOAD_NOTICE) + "</P>\n</FORM>\n";
    EXPECT_EQ(page("/options", {}, false), form);
}

TEST_F(AdminPagesTest, OptionsChangeOnlyForAnAdminAndAreSavedAtOnce) {
    ASSERT_EQ(options.set.save(dir.file("harbord.cfg").c_str()), 0);
    std::string refused = page("/options", list({"offline", "1"}), false);
    EXPECT_EQ(refused.rfind(REFUSAL + "<FORM method=get", 0), 0u) << refused;
    EXPECT_EQ(options.offline.value(), 0);

    std::string changed = page("/options", list({"offline", "1", "updtime", "1234"}));
    EXPECT_EQ(changed.rfind("<HR><H2>Options were changed</H2><P>See below for active settings"
                            "</P><HR>\n<FORM method=get",
                            0),
              0u) << changed;
    EXPECT_NE(changed.find("<input name=\"offline\" type=radio value=1 checked>"), std::string::npos);
    RelaisOptions reread;
    StderrCapture quiet;
    ASSERT_EQ(reread.set.load(dir.file("harbord.cfg").c_str()), 0);
    EXPECT_EQ(reread.updtime.value(), 1234);
    reread.set.set_modified(false);

    // Rejected: the failure in the page, escaped; names with the command line's "-" are unknown.
    const std::pair<ArgList, std::string> rejected[] = {
        {list({"maxcon", "<9999>"}), "cannot set option 'maxcon'"},
        {list({"-offline", "0"}), "unknown option '-offline'"},
        {list({"offline"}), "missing parameter for option 'offline'"},
    };
    for (const auto& [arguments, reason] : rejected) {
        std::string shown = page("/options", arguments);
        EXPECT_EQ(shown.rfind("<HR><H2>Invalid parameters specified:</H2>\n<P>", 0), 0u) << shown;
        EXPECT_NE(shown.find(reason), std::string::npos) << shown;
        EXPECT_NE(shown.find("</P><HR>\n<FORM"), std::string::npos) << shown;
        EXPECT_EQ(shown.find("<9999>"), std::string::npos);
    }
    EXPECT_EQ(options.maxcon.value(), 16);
    EXPECT_EQ(options.offline.value(), 1);
    EXPECT_FALSE(fail_pending());
}

TEST_F(AdminPagesTest, HelpSendsAPlainFileOfTheLanguageFolderAsItIs) {
    auto help = [&](const ArgList& arguments) {
        AdminAnswer answer = ask("/help", arguments);
        EXPECT_EQ(text(answer.head), HTML_HEAD);
        return text(answer.body);
    };
    const std::string source = HELP_SOURCE_DIR;
    EXPECT_EQ(help({}), read_file(source + "/help_e/help.htm"));
    EXPECT_EQ(help(list({"mode.htm"})), read_file(source + "/help_e/mode.htm"));
    for (const char* name : {"../help_e/mode.htm", "..", "/etc/passwd", "sub/mode.htm", "", ".",
                             "<img src=x>", "nosuch.htm"})
        EXPECT_EQ(help(list({name})), BODY_START + "<H3>Error: unable to open file '" + source +
                                          "/help_e/" + text(html_escape(name)) + "'</H3>" +
                                          "</BODY></HTML>\r\n") << name;
    ASSERT_EQ(options.set.set("language", "dutch"), 0);
    EXPECT_EQ(help(list({"mode.htm"})), read_file(source + "/help_nl/mode.htm"));
    EXPECT_FALSE(fail_pending());
}

TEST(ShippedHelpFiles, EveryOptionHasItsPageInEveryLanguageLinkedFromTheOverview) {
    const char* const pages[][2] = {
        {"mode.htm", ""},         {"language.htm", ""},        {"maxcon.htm", "1 to 100"},
        {"remprox.htm", ""},      {"remport.htm", "1 to 65535"}, {"sockshst.htm", ""},
        {"socksprt.htm", "1 to 65535"}, {"socksusr.htm", ""},  {"timeout.htm", "1 to 3600"},
        {"updtime.htm", "0 to 360000"}, {"cachesiz.htm", "8 to 2000000"},
        {"entrysiz.htm", "2 to 2000000"}, {"cachefil.htm", "2 to 2000000"}};
    for (const char* folder : {"/help_e/", "/help_d/", "/help_nl/"}) {
        std::string overview = read_file(HELP_SOURCE_DIR + std::string(folder) + "help.htm");
        for (const auto& [name, range] : pages) {
            std::string page = read_file(HELP_SOURCE_DIR + std::string(folder) + name);
            SCOPED_TRACE(std::string(folder) + name);
            EXPECT_EQ(page.rfind("<HTML>", 0), 0u);
            EXPECT_NE(page.find("<TITLE>Quaylo - "), std::string::npos);
            EXPECT_NE(page.find("</BODY></HTML>"), std::string::npos);
            EXPECT_NE(page.find("http://quaylo/help?help.htm"), std::string::npos);
            EXPECT_NE(overview.find(std::string("http://quaylo/help?") + name), std::string::npos);
            if (std::string(folder) == "/help_e/") EXPECT_NE(page.find(range), std::string::npos);
            for (char c : page + overview) ASSERT_LT(static_cast<unsigned char>(c), 0x80);
        }
    }
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
    EXPECT_EQ(page("/inventory", list({"http://a.example/"})),
              header("inventory") + "<SMALL>" + message0(MSG_HOST_DOCUMENTS_INTRO) + "</SMALL><HR>" +
                  "<H2>Cached URLs for host <A HREF=\"http://a.example\">http://a.example</A>:</H2>\n"
                  "<BR><TT><B>/</B></TT><BR>\n" + details("http://a.example/") +
                  "&nbsp;&nbsp;<A HREF=\"http://a.example/\">/</A></TT><BR>\n"
                  "<BR><TT><B>/docs/</B></TT><BR>\n" + details("http://a.example/docs/a.html") +
                  "&nbsp;&nbsp;&nbsp;&nbsp;<A HREF=\"http://a.example/docs/a.html\">/docs/a.html</A>"
                  "</TT><BR>\n" + details("http://a.example/docs/b.html") +
                  "&nbsp;&nbsp;&nbsp;&nbsp;<A HREF=\"http://a.example/docs/b.html\">/docs/b.html</A>"
                  "</TT><BR>\n");
    for (const ArgList& arguments : {list({"http://a.example/<x>"}), list({"http://a.example/", "x"})})
        EXPECT_EQ(page("/inventory", arguments),
                  header("inventory") + "<P>invalid URL '" +
                      text(html_escape(arguments.first()->value)) + "' specified</P>\n");

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
              header("Statistics") + "<TABLE><TR><TD>Listening on port: <TD>8080\n"
              "<TR><TD>Current client connections: <TD>3\n<TR><TD>Cache directory: <TD>" +
                  cachedir() + "\n<TR><TD>Number of cached files: <TD>7\n"
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
                  text(cache->users().at(inet_addr("10.1.2.3")).lastconnect.to_Str()) + "\n</TABLE>");
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
             "<TR><TD>ID Number:<TD>" + std::to_string(ok) + "\n<TR><TD>Bytes cached:<TD>5\n"
             "<TR><TD>HTTP Version: <TD>HTTP/1.0\n<TR><TD>Content-Type:<TD>text/html\n"
             "<TR><TD>Content-Length:<TD>5\n</TABLE>\n"},
        {std::to_string(error),
         start + "<A HREF=\"http://a.example/missing\">http://a.example/missing</A>" + updated +
             "<TR><TD>ID Number:<TD>" + std::to_string(error) + "\n<TR><TD>Bytes cached:<TD>4\n"
             "<TR><TD>Error code:<TD>404\n<TR><TD>Error message:<TD> Not &lt;Found&gt;\n"
             "<TR><TD>HTTP Version: <TD>HTTP/1.0\n<TR><TD>Content-Type:<TD>unknown\n"
             "<TR><TD>Content-Length:<TD>unknown\n</TABLE>\n"},
        {std::to_string(deleted),
         start + "<A HREF=\"http://a.example/x\">http://a.example/x</A>\n<TR><TD>Last update:<TD>" +
             text(date_of(800000000).to_Str()) + "\n<TR><TD>ID Number:<TD>" +
             std::to_string(deleted) + "\n<TR><TD>Bytes cached:<TD>1\n</TABLE>\n<P>" +
             message0(MSG_CANNOT_OPEN_CACHE_FILE) + "</P>\n"},
        {"4242", header("Cache Entry Details") + "<P>Error: cache-entry with id '4242' doesn't exist</P>"},
        {"abc", header("Cache Entry Details") + "<P>Error: cache-entry with id '0' doesn't exist</P>"},
    };
    for (const auto& [id, expected] : cases) EXPECT_EQ(page("/details", list({id})), expected);
    EXPECT_EQ(page("/details"), header("Cache Entry Details") + "<P>Error: Need ID argument</P>\n");
    EXPECT_FALSE(fail_pending());
}

TEST_F(AdminPagesTest, SearchFormHereTheSearchItselfInTheWorker) {
    EXPECT_EQ(page("/search", {}, false),
              header("Text Retrieval") + "<SMALL>\n" + message0(MSG_SEARCH_INTRO) + "</SMALL><HR>"
              "<FORM method=get action=\"http://quaylo/search\">Search phrase: <input "
              "name=\"phrase\" type=text size=32 value=\"\"><BR><INPUT TYPE=SUBMIT VALUE=\"Start "
              "Search\"> <INPUT TYPE=RESET value=\"Clear entry field\"></FORM>\n");
    for (const ArgList& arguments : {list({"phrase", "x"}), list({"phrase", "x", "extra"})}) {
        AdminAnswer answer = ask("/search", arguments, false);
        EXPECT_EQ(answer.kind, AdminAnswer::SEARCH);
        EXPECT_TRUE(answer.head.empty() && answer.body.empty());
    }
}

TEST_F(AdminPagesTest, ChangingPagesAreRefusedToOthersAndGarbageBreaksNoPage) {
    fill();
    std::string target = dir.file("out");
    for (const auto& [path, arguments] :
         {std::pair{"/do_export", list({"host", "a.example", "exdir", target})},
          {"/do_import", list({"host", "a.example", "importdir", target})},
          {"/import2", list({"importdir", target, "all", "1"})}})
        EXPECT_EQ(page(path, arguments, false), REFUSAL) << path;
    EXPECT_FALSE(fs::exists(target));

    std::string huge(100000, '%'), binary("a\0b\xff\n<\"", 7);
    for (const char* path : {"/", "/options", "/inventory.txt", "/inventory", "/details", "/users",
                             "/statistics", "/help", "/export", "/do_export", "/do_import",
                             "/import1", "/import2"})
        for (const ArgList& arguments : {list({huge}), list({binary, huge, "x"})}) {
            AdminAnswer answer = ask(path, arguments);
            EXPECT_EQ(answer.kind, AdminAnswer::PAGE) << path;
            EXPECT_EQ(text(answer.head).rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << path;
            EXPECT_EQ(text(answer.body).find("<\""), std::string::npos) << path;
        }
    EXPECT_EQ(cache->urls().size(), 6u);
    EXPECT_FALSE(fail_pending());
}

TEST_F(AdminPagesTest, EveryTextComesFromTheSlotOfTheLanguage) {
    fill();
    const std::pair<const char*, std::vector<uint32_t>> pages[] = {
        {"/", {MSG_WELCOME, MSG_BROWSE_THE, MSG_HELP_DOCUMENTS, MSG_EXAMINE_THE, MSG_OPTIONS,
               MSG_EXPLORE_CACHE, MSG_VIEW_USAGE, MSG_STATISTICS, MSG_CACHED_DOCUMENTS,
               MSG_FROM_A_DIRECTORY, MSG_TRY_A, MSG_TEXT_RETRIEVAL, MSG_CONTACT, MSG_NEWS}},
        {"/options", {MSG_OPTIONS_INTRO, MSG_CHANGE_OPTIONS, MSG_RESET_FORM, MSG_MODE, MSG_LANGUAGE,
                      MSG_MAXCON, MSG_PROXYHOST, MSG_PROXYPORT, MSG_SOCKSHOST, MSG_SOCKSPORT,
                      MSG_SOCKSUSER, MSG_TIMEOUT, MSG_UPDTIME, MSG_CACHESIZE, MSG_ENTRYSIZE,
                      MSG_CACHEFILES, MSG_RELOAD_NOTICE}},
        {"/statistics", {MSG_LISTENING_PORT, MSG_CLIENT_CONNECTIONS, MSG_CACHE_DIRECTORY,
                         MSG_CACHED_FILES, MSG_FILES_TO_UPDATE, MSG_INCOMING_FILES, MSG_TOTAL_SIZE,
                         MSG_ACCESSES}},
        {"/inventory", {MSG_INVENTORY_INTRO}},
        {"/search", {MSG_SEARCH_INTRO, MSG_SEARCH_PHRASE, MSG_START_SEARCH, MSG_CLEAR_ENTRY}},
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
    EXPECT_NE(page("/options", list({"offline", "1"})).find(message(MSG_SEE_BELOW, 2)),
              std::string::npos);
}

} // namespace
