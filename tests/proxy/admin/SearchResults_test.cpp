// The worker's full-text search over the cache files.
#include "proxy/admin/SearchResults.h"

#include "tests/proxy/admin/AdminTestSupport.h"

namespace {

using namespace admintest;

class SearchResultsTest : public AdminFixture {
protected:
    // The ids in URL order and the directory, as the server sends them.
    void ids_of_cache(Str& directory, std::vector<uint32_t>& ids) {
        ASSERT_EQ(cache->get_all_ids(directory, ids), 0);
    }
    // The URLs listed for a phrase.
    std::vector<std::string> found(const std::string& phrase) {
        Str directory;
        std::vector<uint32_t> ids;
        ids_of_cache(directory, ids);
        AdminPage page(0);
        search_matches(page, directory, ids, phrase.c_str());
        std::string s = text(page.content());
        std::vector<std::string> urls;
        const std::string start = "<A HREF=\"";
        for (size_t at = s.find(start); at != std::string::npos; at = s.find(start, at + 1)) {
            size_t end = s.find('"', at + start.size());
            urls.push_back(s.substr(at + start.size(), end - at - start.size()));
        }
        return urls;
    }
};

using Urls = std::vector<std::string>;

TEST_F(SearchResultsTest, AllPiecesMustOccurInAnyCaseAndOrder) {
    add("http://h/both", "xx Apple yy BANANA zz");
    add("http://h/reversed", "banana first, then apple");
    add("http://h/only-a", "apple alone");
    add("http://h/only-b", "banana alone");
    EXPECT_EQ(found("apple,banana"), (Urls{"http://h/both", "http://h/reversed"}));
    EXPECT_EQ(found("APPLE"), (Urls{"http://h/both", "http://h/only-a", "http://h/reversed"}));
}

TEST_F(SearchResultsTest, BlanksInPiecesAreSignificant) {
    add("http://h/joined", "the word ab here");
    add("http://h/apart", "the word a b here");
    EXPECT_EQ(found(" b"), (Urls{"http://h/apart"}));
    EXPECT_EQ(found("ab"), (Urls{"http://h/joined"}));
}

TEST_F(SearchResultsTest, OnlyTextDocumentsAreSearched) {
    add("http://h/picture.gif", "GIF89a needle", "image/gif");
    add("http://h/plain.txt", "a needle here", "text/plain");
    add("http://h/untyped", "needle", "");
    add("http://h/app", "needle", "application/octet-stream");
    EXPECT_EQ(found("needle"), (Urls{"http://h/plain.txt"}));
}

TEST_F(SearchResultsTest, MatchesOnlyInTheBodyCount) {
    // The URL and the head are stored before the body; they are not searched.
    add("http://h/needle-in-url", "nothing to see");
    EXPECT_TRUE(found("needle").empty());
    EXPECT_TRUE(found("text/html").empty());
}

TEST_F(SearchResultsTest, EmptyPieceMatchesEveryTextDocument) {
    add("http://h/1", "one");
    add("http://h/2", "two");
    add("http://h/3", "three", "image/png");
    EXPECT_EQ(found("one,"), (Urls{"http://h/1"}));
    EXPECT_EQ(found(","), (Urls{"http://h/1", "http://h/2"}));
}

TEST_F(SearchResultsTest, PhraseIsCutAtEveryComma) {
    std::vector<Str> pieces = phrase_pieces("a, b,,c,");
    ASSERT_EQ(pieces.size(), 5u);
    EXPECT_EQ(text(pieces[0]), "a");
    EXPECT_EQ(text(pieces[1]), " b");
    EXPECT_EQ(text(pieces[2]), "");
    EXPECT_EQ(text(pieces[3]), "c");
    EXPECT_EQ(text(pieces[4]), "");
    EXPECT_EQ(phrase_pieces("").size(), 1u);
}

TEST_F(SearchResultsTest, LargeDocumentsAreSearchedToTheirEnd) {
    std::string body(300000, 'x');
    body.replace(body.size() - 6, 6, "TAIL42");
    body.replace(65530, 12, "ACROSSBLOCKS");
    add("http://h/large", body);
    EXPECT_EQ(found("tail42,acrossblocks"), (Urls{"http://h/large"}));
}

TEST_F(SearchResultsTest, LongUrlHeadsAreRead) {
    std::string url = "http://h/" + std::string(70000, 'u');
    add(url, "findme");
    EXPECT_EQ(found("findme"), (Urls{url}));
}

TEST_F(SearchResultsTest, UnreadableAndDamagedFilesAreSkippedQuietly) {
    uint32_t gone = add("http://h/gone", "needle");
    uint32_t empty = add("http://h/empty", "needle");
    uint32_t damaged = add("http://h/damaged", "needle");
    add("http://h/good", "needle");
    fs::remove(dir.sub("cache/" + std::to_string(gone)));
    write_file(dir.sub("cache/" + std::to_string(empty)), "");
    write_file(dir.sub("cache/" + std::to_string(damaged)), "not a cache file");
    EXPECT_EQ(found("needle"), (Urls{"http://h/good"}));
    EXPECT_FALSE(fail_pending());
}

TEST_F(SearchResultsTest, NothingFoundSaysSo) {
    add("http://h/1", "one");
    Str directory;
    std::vector<uint32_t> ids;
    ids_of_cache(directory, ids);
    AdminPage page(0);
    search_matches(page, directory, ids, "absent");
    EXPECT_EQ(text(page.content()), "No matching documents found.<BR>");
}

TEST_F(SearchResultsTest, ResultPageRepeatsTheFormAndCountsItsLength) {
    add("http://h/<odd>", "needle");
    Str directory, head, body;
    std::vector<uint32_t> ids;
    ids_of_cache(directory, ids);
    ASSERT_EQ(make_search_results(directory, ids, list({"phrase", "needle<"}), 0, head, body), 0);
    std::string b = text(body);
    EXPECT_EQ(text(head), "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                              std::to_string(b.size()) + "\r\n\r\n");
    EXPECT_EQ(b.rfind("<HTML>\n<BODY>\n<CENTER><H1>Quaylo</H1><H1>Text Retrieval</H1>", 0), 0u);
    EXPECT_NE(b.find("value=\"needle&lt;\">"), std::string::npos) << b;
    EXPECT_NE(b.find("<CENTER><H1>Results of last search</H1></CENTER><HR>\n"), std::string::npos);
    EXPECT_NE(b.find("No matching documents found.<BR>"), std::string::npos);
    EXPECT_EQ(b.substr(b.size() - 16), "</BODY></HTML>\r\n");

    ASSERT_EQ(make_search_results(directory, ids, list({"phrase", "needle"}), 0, head, body), 0);
    EXPECT_NE(text(body).find("<A HREF=\"http://h/&lt;odd&gt;\">http://h/&lt;odd&gt;</A><BR>\n"),
              std::string::npos);
}

TEST_F(SearchResultsTest, WrongArgumentsGiveTheErrorPage) {
    Str directory, head, body;
    std::vector<uint32_t> ids;
    ids_of_cache(directory, ids);
    for (auto arguments : {list({"phrase", "x", "extra"}), list({"phrase"}), list({"word", "x"}),
                           list({"phrase", "x", "phrase", "y"})}) {
        ASSERT_EQ(make_search_results(directory, ids, arguments, 0, head, body), 0);
        std::string b = text(body);
        EXPECT_NE(b.find("<H1>Error: invalid parameters for seach</H1>\n"), std::string::npos);
        EXPECT_EQ(b.find("Results of last search"), std::string::npos);
    }
}

TEST_F(SearchResultsTest, ResultsFollowTheLanguage) {
    Str directory, head, body;
    std::vector<uint32_t> ids;
    ids_of_cache(directory, ids);
    ASSERT_EQ(make_search_results(directory, ids, list({"phrase", "x"}), 2, head, body), 0);
    EXPECT_NE(text(body).find("Resultaten van de laatste zoekopdracht"), std::string::npos);
    EXPECT_NE(text(body).find("Quaylo - de cache-proxy van Corvane"), std::string::npos);
}

} // namespace
