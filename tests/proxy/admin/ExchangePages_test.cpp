// The export and import pages: selection, the copy with a second cache, and
// bad directories and arguments.
#include "proxy/admin/ExchangePages.h"

#include "proxy/admin/CachePages.h"
#include "tests/proxy/admin/AdminTestSupport.h"

namespace {

using namespace admintest;

class ExchangePagesTest : public AdminFixture {
protected:
    std::string run(void (*page_maker)(AdminPage&, RelaisOptions&, Cache&, const ArgList&),
                    const ArgList& arguments) {
        QuietStderr quiet;
        AdminPage page(0);
        page_maker(page, options, *cache, arguments);
        return text(page.content());
    }
    std::vector<std::string> numbered_files(const std::string& folder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            std::string name = entry.path().filename().string();
            if (name.find_first_not_of("0123456789") == std::string::npos) names.push_back(name);
        }
        return names;
    }
    // The URLs held by a cache directory that was closed (has its cachedb).
    std::vector<std::string> urls_in(const std::string& folder) {
        QuietStderr quiet;
        OptionPath path("cachedir", "", folder.c_str(), 0, false);
        ExchangeCache other(path, options.language, options.debug, options.exportdir,
                            options.importdir, false);
        std::vector<std::string> urls;
        if (other.failed()) {
            fail_take();
            return urls;
        }
        for (const auto& [url, node] : other.cache().urls()) urls.push_back(text(url));
        return urls;
    }
    void fill() {
        add("http://a.example/index.html", "A index");
        add("http://a.example/docs/one.html", "A one");
        add("http://a.example:8080/port.html", "port");
        add("http://b.example/b.html", "B");
        add("http://a.example.net/near.html", "near");
    }
};

using Urls = std::vector<std::string>;

TEST_F(ExchangePagesTest, ExportIntoAnEmptyDirectoryCreatesFilesAndCachedb) {
    fill();
    std::string target = dir.sub("out");
    fs::create_directories(target);
    std::string page = run(do_export, list({"host", "a.example", "exdir", target.c_str()}));
    EXPECT_NE(page.find("<H1>Export done</H1><P>2 files have been exported into directory '" +
                        target + "'.</P>\n"),
              std::string::npos)
        << page;
    EXPECT_EQ(numbered_files(target).size(), 2u);
    EXPECT_TRUE(fs::exists(target + "/cachedb"));
    EXPECT_EQ(urls_in(target),
              (Urls{"http://a.example/docs/one.html", "http://a.example/index.html"}));
    // The proxy's own cache still holds everything.
    EXPECT_EQ(cache->urls().size(), 5u);
}

TEST_F(ExchangePagesTest, ExportCreatesAMissingDirectoryAndTakesDirectories) {
    fill();
    std::string target = dir.sub("new/deeper");
    std::string page = run(do_export, list({"dir", "http://a.example/docs/", "dir",
                                            "http://b.example/", "exdir", target.c_str()}));
    EXPECT_NE(page.find("<H1>Export done</H1><P>2 files"), std::string::npos) << page;
    EXPECT_EQ(urls_in(target), (Urls{"http://a.example/docs/one.html", "http://b.example/b.html"}));
}

TEST_F(ExchangePagesTest, ExportWithoutSelectionCopiesNothing) {
    fill();
    std::string target = dir.sub("out");
    std::string page = run(do_export, list({"exdir", target.c_str()}));
    EXPECT_NE(page.find("<P>Nothing marked for export</P>"), std::string::npos) << page;
    EXPECT_FALSE(fs::exists(target));
}

TEST_F(ExchangePagesTest, ExportUsesTheExportdirOptionByDefault) {
    fill();
    std::string page = run(do_export, list({"host", "b.example"}));
    EXPECT_NE(page.find("1 files have been exported into directory '" + dir.sub("export")),
              std::string::npos)
        << page;
    EXPECT_EQ(urls_in(dir.sub("export")), (Urls{"http://b.example/b.html"}));
}

TEST_F(ExchangePagesTest, ExportIntoAFileOrTheOwnCacheFails) {
    fill();
    write_file(dir.sub("plain"), "x");
    std::string page = run(do_export, list({"host", "a.example", "exdir", dir.sub("plain").c_str()}));
    EXPECT_NE(page.find("<H1>Export failed</H1><PRE>"), std::string::npos) << page;

    page = run(do_export, list({"host", "a.example", "exdir", dir.sub("cache/").c_str()}));
    EXPECT_NE(page.find("<H1>Export failed</H1><PRE>"), std::string::npos) << page;
    EXPECT_NE(page.find("own cache directory"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.sub("cache/cachedb")));
    EXPECT_EQ(numbered_files(dir.sub("cache")).size(), 5u);
    EXPECT_FALSE(fail_pending());
}

TEST_F(ExchangePagesTest, BadExportArguments) {
    for (auto arguments : {list({"host"}), list({"color", "red"}), list({"exdir", ""})}) {
        std::string page = run(do_export, arguments);
        EXPECT_TRUE(page.find("<H1>Invalid parameters specified</H1>\n<PRE>") != std::string::npos ||
                    page.find("<P>Nothing marked for export</P>") != std::string::npos)
            << page;
    }
    std::string page = run(do_export, list({"host", "a.example", "exdir", ""}));
    EXPECT_NE(page.find("no directory specified"), std::string::npos) << page;
}

TEST_F(ExchangePagesTest, HostSelectionDoesNotTakeSimilarHosts) {
    fill();
    std::string target = dir.sub("out");
    run(do_export, list({"host", "a.example", "exdir", target.c_str()}));
    for (const std::string& url : urls_in(target)) {
        EXPECT_EQ(url.find("8080"), std::string::npos);
        EXPECT_EQ(url.find(".net"), std::string::npos);
    }
}

class ImportTest : public ExchangePagesTest {
protected:
    // An export directory with the documents of fill(), then an empty cache.
    void SetUp() override {
        ExchangePagesTest::SetUp();
        fill();
        source = dir.sub("source");
        run(do_export, list({"dir", "http://", "exdir", source.c_str()}));
        ASSERT_EQ(urls_in(source).size(), 5u);
        close_cache();
        fs::remove_all(dir.sub("cache"));
        open_cache();
        ASSERT_TRUE(cache->urls().empty());
    }
    std::string source;
};

TEST_F(ImportTest, ImportAllAtOnceMakesEveryDocumentAvailable) {
    std::string page =
        run(import_selection_page, list({"importdir", source.c_str(), "all", "1"}));
    EXPECT_NE(page.find("<H1>Import done</H1><P>5 files have been imported from directory '" +
                        source + "'.</P>\n"),
              std::string::npos)
        << page;
    ASSERT_EQ(cache->urls().size(), 5u);
    const UrlNode* node = cache->find_url("http://b.example/b.html");
    ASSERT_TRUE(node && node->current);
    EXPECT_EQ(read_file(text(cache->file_name(node->current->id))).find("B"),
              read_file(text(cache->file_name(node->current->id))).size() - 1);
    // The source keeps its cachedb, written anew on closing.
    EXPECT_TRUE(fs::exists(source + "/cachedb"));
}

TEST_F(ImportTest, SelectionFormListsTheSourceHosts) {
    std::string page =
        run(import_selection_page, list({"importdir", source.c_str(), "all", "0"}));
    EXPECT_NE(page.find("<FORM method=get action=\"http://quaylo/do_import\">"), std::string::npos);
    EXPECT_NE(page.find("<input type=hidden name=\"importdir\" value=\"" + source + "\">"),
              std::string::npos)
        << page;
    EXPECT_NE(page.find("<input type=checkbox name=\"host\" value=\"b.example\"> "),
              std::string::npos);
    EXPECT_NE(page.find("http://quaylo/import2?importdir="), std::string::npos);
    EXPECT_TRUE(cache->urls().empty());
}

TEST_F(ImportTest, HostDirectoriesOfTheSourceCanBeChosen) {
    std::string page = run(import_selection_page,
                           list({"importdir", source.c_str(), "all", "0", "url",
                                 "http://a.example/docs/one.html"}));
    EXPECT_NE(page.find("<input type=checkbox name=\"dir\" value=\"http://a.example/\">"),
              std::string::npos)
        << page;
    EXPECT_NE(page.find("<input type=checkbox name=\"dir\" value=\"http://a.example/docs/\">"),
              std::string::npos);
    EXPECT_EQ(page.find("8080"), std::string::npos);
}

TEST_F(ImportTest, DoImportCopiesTheChosenHostOnly) {
    std::string page =
        run(do_import, list({"host", "a.example", "importdir", source.c_str()}));
    EXPECT_NE(page.find("<H1>Import done</H1><P>2 files have been imported"), std::string::npos)
        << page;
    EXPECT_TRUE(cache->find_url("http://a.example/index.html"));
    EXPECT_TRUE(cache->find_url("http://a.example/docs/one.html"));
    EXPECT_FALSE(cache->find_url("http://b.example/b.html"));
    EXPECT_FALSE(cache->find_url("http://a.example:8080/port.html"));
}

TEST_F(ImportTest, ImportingAgainReplacesTheCopies) {
    run(do_import, list({"host", "b.example", "importdir", source.c_str()}));
    uint32_t first = cache->find_url("http://b.example/b.html")->current->id;
    std::string page = run(do_import, list({"host", "b.example", "importdir", source.c_str()}));
    EXPECT_NE(page.find("<P>1 files have been imported"), std::string::npos) << page;
    EXPECT_NE(cache->find_url("http://b.example/b.html")->current->id, first);
    EXPECT_EQ(cache->current().count(), 1u);
}

TEST_F(ImportTest, NothingMarkedForImport) {
    std::string page = run(do_import, list({"importdir", source.c_str()}));
    EXPECT_NE(page.find("<P>Nothing marked for import</P>"), std::string::npos);
    EXPECT_TRUE(cache->urls().empty());
}

TEST_F(ImportTest, DirectoriesThatAreNoCacheFailAndLeaveTheCacheUsable) {
    add("http://kept.example/", "kept");
    fs::create_directories(dir.sub("plain"));
    write_file(dir.sub("plain/17"), "junk");
    for (std::string bad : {dir.sub("missing"), dir.sub("plain"), dir.sub("plain/17"), std::string("")}) {
        std::string page = run(do_import, list({"host", "a.example", "importdir", bad.c_str()}));
        EXPECT_NE(page.find("<H1>Import failed</H1><PRE>"), std::string::npos) << bad << page;
        page = run(import_selection_page, list({"importdir", bad.c_str(), "all", "1"}));
        EXPECT_NE(page.find("<H1>Import failed</H1><PRE>"), std::string::npos) << bad << page;
        page = run(import_selection_page, list({"importdir", bad.c_str(), "all", "0"}));
        EXPECT_NE(page.find("<H1>Invalid parameters specified</H1>\n<PRE>"), std::string::npos)
            << bad << page;
    }
    EXPECT_EQ(read_file(dir.sub("plain/17")), "junk");
    EXPECT_EQ(cache->urls().size(), 1u);
    EXPECT_EQ(add("http://more.example/", "more") != 0, true);
    EXPECT_FALSE(fail_pending());
}

TEST_F(ImportTest, ImportFromTheOwnCacheIsRefused) {
    add("http://kept.example/", "kept");
    std::string page = run(import_selection_page,
                           list({"importdir", dir.sub("cache").c_str(), "all", "1"}));
    EXPECT_NE(page.find("<H1>Import failed</H1>"), std::string::npos) << page;
    EXPECT_EQ(cache->urls().size(), 1u);
}

TEST_F(ImportTest, BadSelectionArguments) {
    for (auto arguments : {list({"importdir"}), list({"all", "maybe"}), list({"x", "y"})}) {
        std::string page = run(import_selection_page, arguments);
        EXPECT_NE(page.find("<H1>Invalid parameters specified</H1>\n<PRE>"), std::string::npos)
            << page;
    }
}

TEST_F(ExchangePagesTest, ExportPageListsHostsAndDirectories) {
    fill();
    AdminPage hosts(0);
    export_page(hosts, options, *cache, list({}));
    std::string page = text(hosts.content());
    EXPECT_EQ(page.rfind("<FORM method=get action=\"http://quaylo/do_export\">", 0), 0u) << page;
    EXPECT_NE(page.find("<input type=checkbox name=\"host\" value=\"a.example\"> <A HREF=\"http://"
                        "quaylo/export?http%3a//a.example/docs/one.html\">a.example</A><BR>\n"),
              std::string::npos)
        << page;
    EXPECT_NE(page.find("VALUE=\"Export\"> to directory&nbsp <input name=\"exdir\" type=text "
                        "size=32 value=\"" +
                        dir.sub("export") + "\"><BR>\n"),
              std::string::npos)
        << page;
    EXPECT_NE(page.find("value=\"Unselect all\"></FORM>\n"), std::string::npos);

    AdminPage directories(0);
    export_page(directories, options, *cache, list({"http://a.example/docs/one.html"}));
    page = text(directories.content());
    EXPECT_NE(page.find("<SMALL>This page allows you to choose directories to export"),
              std::string::npos);
    EXPECT_NE(page.find("name=\"dir\" value=\"http://a.example/docs/\">"), std::string::npos);
}

TEST_F(ExchangePagesTest, ImportDirectoryPageOffersAllOrSelected) {
    AdminPage page(0);
    import_directory_page(page, options);
    std::string s = text(page.content());
    EXPECT_NE(s.find("<FORM method=get action=\"http://quaylo/import2\"><TABLE>\n"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("<input type=radio name=\"all\" value=1 checked>all files"), std::string::npos);
    EXPECT_NE(s.find("<input type=radio name=\"all\" value=0>selected files"), std::string::npos);
    EXPECT_NE(s.find("from directory&nbsp <input name=\"importdir\" type=text size=32 value=\"" +
                     dir.sub("import") + "\">"),
              std::string::npos);
    EXPECT_NE(s.find("VALUE=\"Import\">\n</TABLE>\n</FORM>\n"), std::string::npos);
}

TEST(SameDirectory, ComparesTheDirectoriesNotTheSpelling) {
    TempDir dir;
    fs::create_directories(dir.sub("a"));
    EXPECT_TRUE(same_directory(dir.sub("a").c_str(), (dir.sub("a") + "/../a/").c_str()));
    EXPECT_FALSE(same_directory(dir.sub("a").c_str(), dir.path.c_str()));
    EXPECT_FALSE(same_directory(dir.sub("missing").c_str(), dir.sub("missing").c_str()));
}

} // namespace
