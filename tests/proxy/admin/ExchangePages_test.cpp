// The export and import pages: choosing, the copy through a second cache,
// and bad folders and arguments.
#include "proxy/admin/ExchangePages.h"

#include "proxy/admin/AdminPage.h"
#include "testsupport/CacheFixture.h"

namespace {

namespace fs = std::filesystem;

using PageMaker = void (*)(AdminPage&, RelaisOptions&, Cache&, const ArgList&);

class ExchangePagesTest : public CacheFixture {
protected:
    std::string run(PageMaker maker, const std::vector<std::string>& words) {
        ArgList arguments;
        for (const std::string& word : words) arguments.append(Str(word.c_str()));
        AdminPage page(0);
        StderrCapture quiet;
        maker(page, options, *cache, arguments);
        EXPECT_FALSE(fail_pending());
        return text(page.content());
    }
    // The state of a closed cache folder; "" when it holds no cache.
    std::string holds(const std::string& folder) {
        StderrCapture quiet;
        OptionPath path("cachedir", "", folder.c_str(), 0, false);
        ExchangeCache other(path, options.language, options.debug, options.exportdir,
                            options.importdir, false);
        if (other.failed()) fail_take();
        return other.failed() ? "" : cache_state(other.cache(), folder);
    }
    void fill() {
        for (auto [url, body] : {std::pair{"http://a.example/index.html", "index"},
                                 {"http://a.example/docs/one.html", "one"},
                                 {"http://a.example:8080/port.html", "port"},
                                 {"http://b.example/b.html", "b"},
                                 {"http://a.example.net/near.html", "near!!"}})
            store(url, body);
    }
    // An import takes the documents in the order of their URLs.
    const std::string in_url_order =
        "http://a.example.net/near.html:6 http://a.example/docs/one.html:3 "
        "http://a.example/index.html:5 http://a.example:8080/port.html:4 http://b.example/b.html:1; "
        "waiting; writing; total 19";
    const std::string everything = "http://a.example/index.html:5 http://a.example/docs/one.html:3 "
                                   "http://a.example:8080/port.html:4 http://b.example/b.html:1 "
                                   "http://a.example.net/near.html:6; waiting; writing; total 19";
};

TEST_F(ExchangePagesTest, ExportCopiesTheSelectionIntoASecondCacheFolder) {
    fill();
    write_file(dir.file("plain"), "x");
    const std::string done = "<H1>Export done</H1><P>";
    const std::vector<std::string> cases[][2] = {
        // arguments; the page's text, and what the folder holds afterwards
        {{"host", "a.example", "exdir", dir.file("out")},
         {done + "2 files have been exported into directory '" + dir.file("out") + "'.</P>\n",
          "current http://a.example/docs/one.html:3 http://a.example/index.html:5; waiting; "
          "writing; total 8"}},
        {{"dir", "http://a.example/docs/", "dir", "http://b.example/", "exdir", dir.file("new/dir")},
         {done + "2 files", "current http://a.example/docs/one.html:3 http://b.example/b.html:1; "
                           "waiting; writing; total 4"}},
        {{"host", "b.example"}, // into the exportdir option's folder, checked below
         {done + "1 files have been exported into directory '" + dir.file("exportdir"), ""}},
        {{"exdir", dir.file("none")}, {"<P>Nothing marked for export</P>", ""}},
        {{"host", "a.example", "exdir", dir.file("plain")}, {"<H1>Export failed</H1><PRE>", ""}},
        {{"host", "a.example", "exdir", cachedir() + "/"},
         {"' is the proxy's own cache directory", ""}},
        {{"host", "a.example", "exdir", ""}, {"no directory specified", ""}},
        {{"host"}, {"<H1>Invalid parameters specified</H1>\n<PRE>", ""}},
        {{"color", "red"}, {"unknown parameter 'color'", ""}},
    };
    for (const auto& [arguments, expected] : cases) {
        std::string page = run(do_export, arguments);
        EXPECT_NE(page.find(expected[0]), std::string::npos) << expected[0] << " in " << page;
        if (!expected[1].empty()) EXPECT_EQ(holds(arguments.back()), expected[1]);
    }
    EXPECT_EQ(holds(dir.file("exportdir")), "current http://b.example/b.html:1; waiting; writing; total 1");
    EXPECT_FALSE(fs::exists(dir.file("none")));
    EXPECT_FALSE(fs::exists(cachedir() + "/cachedb"));
    EXPECT_EQ(read_file(dir.file("plain")), "x");
    EXPECT_EQ(state(), "current " + everything);
}

TEST_F(ExchangePagesTest, ImportCopiesFromAnExportedFolderAllAtOnceOrByChoice) {
    fill();
    std::string source = dir.file("source");
    run(do_export, {"dir", "http://", "exdir", source});
    close();
    fs::remove_all(cachedir());
    open();
    fs::create_directories(dir.file("plain"));
    write_file(dir.file("plain/17"), "junk");
    const std::string done = "<H1>Import done</H1><P>";
    struct Case {
        PageMaker maker;
        std::vector<std::string> arguments;
        std::string page, state;
    };
    const Case cases[] = {
        {do_import, {"host", "a.example", "importdir", source},
         done + "2 files have been imported from directory '" + source + "'.</P>\n",
         "current http://a.example/docs/one.html:3 http://a.example/index.html:5; waiting; writing; "
         "total 8"},
        {do_import, {"importdir", source}, "<P>Nothing marked for import</P>", ""},
        {import_selection_page, {"importdir", source, "all", "1"}, done + "5 files",
         "current " + in_url_order},
        {import_selection_page, {"importdir", dir.file("missing"), "all", "1"},
         "<H1>Import failed</H1><PRE>", ""},
        {import_selection_page, {"importdir", dir.file("plain"), "all", "1"},
         "<H1>Import failed</H1><PRE>", ""},
        {import_selection_page, {"importdir", cachedir(), "all", "1"}, "own cache directory", ""},
        {do_import, {"host", "a.example", "importdir", dir.file("plain/17")},
         "<H1>Import failed</H1><PRE>", ""},
        {do_import, {"host", "a.example", "importdir", ""}, "<H1>Import failed</H1><PRE>", ""},
        {import_selection_page, {"importdir", dir.file("plain"), "all", "0"},
         "<H1>Invalid parameters specified</H1>\n<PRE>", ""},
        {import_selection_page, {"all", "maybe"}, "'maybe' is invalid for 'all', valid: 1 0", ""},
        {import_selection_page, {"importdir"}, "<H1>Invalid parameters specified</H1>\n<PRE>", ""},
        {import_selection_page, {"x", "y"}, "unknown parameter 'x'", ""},
    };
    for (const Case& c : cases) {
        std::string page = run(c.maker, c.arguments);
        EXPECT_NE(page.find(c.page), std::string::npos) << c.page << " in " << page;
        if (!c.state.empty()) EXPECT_EQ(state(), c.state);
    }
    EXPECT_EQ(read_file(dir.file("plain/17")), "junk");
    // Importing again replaces the copies; the source keeps its cachedb.
    uint32_t first = cache->find_url("http://b.example/b.html")->current->id;
    EXPECT_NE(run(do_import, {"host", "b.example", "importdir", source}).find(done + "1 files"),
              std::string::npos);
    EXPECT_NE(cache->find_url("http://b.example/b.html")->current->id, first);
    EXPECT_EQ(cache->current().count(), 5u);
    EXPECT_EQ(holds(source), "current " + in_url_order);
}

TEST_F(ExchangePagesTest, ChoosingPagesListHostsAndTheirFolders) {
    fill();
    std::string source = dir.file("source");
    run(do_export, {"dir", "http://", "exdir", source});
    std::string hosts = run(import_selection_page, {"importdir", source, "all", "0"});
    EXPECT_EQ(hosts.rfind("<FORM method=get action=\"http://quaylo/do_import\"><CENTER><H1>Quaylo</H1>"
                          "<H1>Import</H1><HR></CENTER>\n<SMALL>This page allows you to either",
                          0),
              0u) << hosts;
    for (const std::string& part :
         {"<P>from cache-directory '" + source + "'</P>\n<input type=hidden name=\"importdir\" "
          "value=\"" + source + "\">\n",
          "<input type=checkbox name=\"host\" value=\"a.example\"> <A HREF=\"http://quaylo/import2?"
          "importdir=" + text(query_encode(source.c_str())) + "&amp;all=0&amp;url=http%3a//a.example/"
          "docs/one.html\">a.example</A><BR>\n",
          std::string("<HR><P><INPUT TYPE=SUBMIT VALUE=\"Import\"> <INPUT TYPE=RESET value=\"Unselect "
                      "all\"></P>\n</FORM>\n")})
        EXPECT_NE(hosts.find(part), std::string::npos) << part;

    std::string folders = run(import_selection_page, {"importdir", source, "all", "0", "url",
                                                      "http://a.example/docs/one.html"});
    EXPECT_NE(folders.find("<SMALL>This page allows you to choose directories to import"),
              std::string::npos);
    EXPECT_NE(folders.find("<input type=checkbox name=\"dir\" value=\"http://a.example/\"> <TT>/</TT>"
                           "<BR>\n<input type=checkbox name=\"dir\" value=\"http://a.example/docs/\"> "
                           "<TT>&nbsp;&nbsp;/docs/</TT><BR>\n<HR>"),
              std::string::npos) << folders;

    AdminPage exporting(0);
    export_page(exporting, options, *cache, ArgList());
    EXPECT_NE(text(exporting.content()).find(
                  "<input type=checkbox name=\"host\" value=\"a.example\"> <A HREF=\"http://quaylo/"
                  "export?http%3a//a.example/docs/one.html\">a.example</A><BR>\n"),
              std::string::npos);
    EXPECT_NE(text(exporting.content()).find(
                  "<HR><P><INPUT TYPE=SUBMIT VALUE=\"Export\"> to directory&nbsp <input name=\"exdir\" "
                  "type=text size=32 value=\"" + dir.file("exportdir") + "\"><BR>\n<INPUT TYPE=RESET "
                  "value=\"Unselect all\"></FORM>\n"),
              std::string::npos) << text(exporting.content());
    ArgList one;
    one.append("http://a.example/docs/one.html");
    AdminPage one_host(0);
    export_page(one_host, options, *cache, one);
    EXPECT_NE(text(one_host.content()).find("<SMALL>This page allows you to choose directories to "
                                            "export"), std::string::npos);
    EXPECT_NE(text(one_host.content()).find("name=\"dir\" value=\"http://a.example/docs/\">"),
              std::string::npos);

    AdminPage directory(0);
    import_directory_page(directory, options);
    EXPECT_NE(text(directory.content()).find(
                  "<FORM method=get action=\"http://quaylo/import2\"><TABLE>\n<TR><TD><input "
                  "type=radio name=\"all\" value=1 checked>all files\n<TR><TD><input type=radio "
                  "name=\"all\" value=0>selected files\n<TR><TD>from directory&nbsp <input "
                  "name=\"importdir\" type=text size=32 value=\"" + dir.file("importdir") +
                  "\">\n<TR><TD><INPUT TYPE=SUBMIT VALUE=\"Import\">\n</TABLE>\n</FORM>\n"),
              std::string::npos) << text(directory.content());
}

TEST(SameDirectory, ComparesTheFoldersNotTheSpelling) {
    TempDir dir;
    fs::create_directories(dir.file("a"));
    EXPECT_TRUE(same_directory(dir.file("a").c_str(), (dir.file("a") + "/../a/").c_str()));
    EXPECT_FALSE(same_directory(dir.file("a").c_str(), dir.path().c_str()));
    EXPECT_FALSE(same_directory(dir.file("missing").c_str(), dir.file("missing").c_str()));
}

} // namespace
