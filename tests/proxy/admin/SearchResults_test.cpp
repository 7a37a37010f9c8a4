// The worker's full-text search over the cache files, and its result page.
#include "proxy/admin/SearchResults.h"

#include "proxy/admin/AdminPage.h"
#include "testsupport/CacheFixture.h"

#include <sstream>

namespace {

class SearchResultsTest : public CacheFixture {
protected:
    void SetUp() override {
        CacheFixture::SetUp();
        std::string large(300000, 'x');
        large.replace(large.size() - 6, 6, "TAIL42");
        large.replace(65530, 12, "ACROSSBLOCKS");
        const char* const documents[][3] = {
            {"http://h/both", "xx Apple yy BANANA zz", "text/html"},
            {"http://h/reversed", "banana first, then apple", "text/html"},
            {"http://h/only-a", "apple alone", "text/html"},
            {"http://h/apart", "the word a b here", "text/plain"},
            {"http://h/joined", "the word ab here", "text/plain"},
            {"http://h/picture.gif", "GIF89a needle", "image/gif"},
            {"http://h/no-slash", "needle", "text"},
            {"http://h/needle-in-url", "nothing to see", "text/html"},
            {"http://h/<odd>", "needle", "text/html"},
            {"http://h/large", large.c_str(), "text/html"},
            {long_url.c_str(), "findme", "text/html"}};
        for (const auto& [url, body, type] : documents) {
            Document doc{url, body};
            doc.type = type;
            store(doc);
        }
        // Files that cannot be read are skipped quietly.
        std::filesystem::remove(file(store("http://h/gone", "needle")));
        write_file(file(store("http://h/empty", "needle")), "");
        write_file(file(store("http://h/damaged", "needle")), "not a cache file");
    }
    std::string search(const std::string& phrase) {
        Str directory;
        std::vector<uint32_t> ids;
        EXPECT_EQ(cache->get_all_ids(directory, ids, 1), 0);
        AdminPage page(0);
        search_matches(page, directory, ids, phrase.c_str());
        return text(page.content());
    }
    std::string found(std::initializer_list<std::string> urls) {
        std::string page;
        for (const std::string& url : urls)
            page += "<A HREF=\"" + url + "\">" + url + "</A><BR>\n";
        return page;
    }
    const std::string long_url = "http://h/" + std::string(70000, 'u');
};

TEST_F(SearchResultsTest, ListsTheTextDocumentsWhoseBodyHoldsEveryPieceInAnyCase) {
    const std::pair<std::string, std::string> cases[] = {
        {"apple,banana", found({"http://h/both", "http://h/reversed"})},
        {"APPLE", found({"http://h/both", "http://h/only-a", "http://h/reversed"})},
        {"apple,", found({"http://h/both", "http://h/only-a", "http://h/reversed"})},
        {" b", found({"http://h/apart", "http://h/both"})},
        {"ab", found({"http://h/joined"})},
        {"needle", found({"http://h/&lt;odd&gt;"})},
        {"text/html", "No matching documents found.<BR>"},
        {"tail42,acrossblocks", found({"http://h/large"})},
        {"findme", found({long_url})},
        {"absent", "No matching documents found.<BR>"},
    };
    for (const auto& [phrase, expected] : cases)
        EXPECT_EQ(search(phrase), expected) << phrase;
    EXPECT_FALSE(fail_pending());
    std::vector<std::string> pieces;
    for (const Str& piece : phrase_pieces("a, b,,c,"))
        pieces.push_back(text(piece));
    EXPECT_EQ(pieces, (std::vector<std::string>{"a", " b", "", "c", ""}));
}

TEST_F(SearchResultsTest, ResultPageRepeatsTheFormCountsItsLengthAndRefusesOtherArguments) {
    Str directory, head, body;
    std::vector<uint32_t> ids;
    ASSERT_EQ(cache->get_all_ids(directory, ids, 1), 0);
    auto results = [&](const std::string& words, uint32_t language = 0) {
        ArgList arguments;
        std::istringstream in(words);
        for (std::string word; in >> word;)
            arguments.append(word.c_str());
        EXPECT_EQ(make_search_results(directory, ids, arguments, language, head, body), 0);
        EXPECT_EQ(text(head), "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                                  std::to_string(body.length()) + "\r\n\r\n");
        return text(body);
    };
    const std::string end = "<HR><CENTER><SMALL><EM>Quaylo - the caching proxy of Corvane</EM>"
                            "<SMALL></CENTER></BODY></HTML>\r\n";
    std::string page = results("phrase needle<");
    EXPECT_EQ(page.rfind("<HTML>\n<BODY>\n<CENTER><H1>Quaylo</H1><H1>Text Retrieval</H1>", 0), 0u);
    EXPECT_NE(page.find("value=\"needle&lt;\"><BR>"), std::string::npos) << page;
    EXPECT_NE(page.find("<CENTER><H1>Results of last search</H1></CENTER><HR>\nNo matching "
                        "documents found.<BR>" +
                        end),
              std::string::npos)
        << page;
    EXPECT_NE(results("phrase x", 2).find("Resultaten van de laatste zoekopdracht"),
              std::string::npos);
    for (const char* words : {"phrase x extra", "phrase", "word x", "phrase x phrase y"})
        EXPECT_EQ(results(words),
                  "<HTML>\n<BODY>\n<H1>Error: invalid parameters for seach</H1>\n" + end);
}

} // namespace
