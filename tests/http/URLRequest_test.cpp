#include "http/URLRequest.h"

#include "foundation/Fail.h"
#include "foundation/ObjectStream.h"
#include "tests/http/MemoryStream.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

const char DATE[] = "Sun, 06 Nov 1994 08:49:37 GMT";

URLRequest parse(const std::string& head) {
    URLRequest r;
    r.from_Str(Str(head.data(), static_cast<uint32_t>(head.size())));
    return r;
}

std::string s(const Str& text) { return std::string(text.data(), text.length()); }

std::vector<std::string> list(const ArgList& args) {
    std::vector<std::string> out;
    for (ArgList::Node* n = args.first(); n; n = n->next) out.push_back(s(n->value));
    return out;
}

void expect_parse_failure(const std::string& head, const std::string& message) {
    SCOPED_TRACE(head);
    URLRequest r = parse(head);
    EXPECT_EQ(r.invalid, 1);
    EXPECT_EQ(r.errorcode, 501);
    EXPECT_EQ(s(r.errormsg), message);
}

} // namespace

// ---- URL splitting -------------------------------------------------------

TEST(URLRequestSplit, UrlWithoutPathGetsSlashAndPort80) {
    URLRequest r = parse("GET http://host HTTP/1.0\r\n\r\n");
    EXPECT_EQ(r.invalid, 0);
    EXPECT_EQ(r.errorcode, 200);
    EXPECT_EQ(s(r.host), "host");
    EXPECT_EQ(s(r.path), "/");
    EXPECT_EQ(r.port, 80);
    EXPECT_EQ(s(r.query), "");
    EXPECT_EQ(r.args.count(), 0u);
}

TEST(URLRequestSplit, HostPortPathQueryAndDecodedArgs) {
    URLRequest r = parse("GET http://Host:8080/a/b?x=1&y=a+b HTTP/1.0\r\n\r\n");
    EXPECT_EQ(r.invalid, 0);
    EXPECT_EQ(s(r.uri), "http://Host:8080/a/b?x=1&y=a+b");
    EXPECT_EQ(s(r.host), "Host");
    EXPECT_EQ(r.port, 8080);
    EXPECT_EQ(s(r.path), "/a/b");
    EXPECT_EQ(s(r.query), "x=1&y=a+b");
    EXPECT_EQ(list(r.args), (std::vector<std::string>{"x", "1", "y", "a b"}));
    EXPECT_EQ(s(r.query_suffix()), "?x=1&y=a+b");
}

TEST(URLRequestSplit, QueryDirectlyAfterTheHostIsSplitOffFirst) {
    URLRequest r = parse("GET http://h?x=/y HTTP/1.0\r\n\r\n");
    EXPECT_EQ(s(r.host), "h");
    EXPECT_EQ(s(r.path), "/");
    EXPECT_EQ(s(r.query), "x=/y");
    EXPECT_EQ(list(r.args), (std::vector<std::string>{"x", "/y"}));
}

TEST(URLRequestSplit, PortIsTakenAlsoWhenThePathIsMissing) {
    URLRequest r = parse("GET http://h:8081 HTTP/1.0\r\n\r\n");
    EXPECT_EQ(s(r.host), "h");
    EXPECT_EQ(r.port, 8081);
    EXPECT_EQ(s(r.path), "/");
}

TEST(URLRequestSplit, PortIsReadAsDigitsUpToTheFirstOther) {
    URLRequest r;
    r.uri = "http://h:81x/p";
    EXPECT_EQ(r.split_url(), 0);
    EXPECT_EQ(s(r.host), "h");
    EXPECT_EQ(r.port, 81);
    EXPECT_EQ(s(r.path), "/p");
}

TEST(URLRequestSplit, SplitUrlOnItsOwnResetsQueryAndArgs) {
    URLRequest r = parse("GET http://h/p?a=1 HTTP/1.0\r\n\r\n");
    r.uri = "http://other/q";
    EXPECT_EQ(r.split_url(), 0);
    EXPECT_EQ(s(r.host), "other");
    EXPECT_EQ(s(r.path), "/q");
    EXPECT_EQ(s(r.query), "");
    EXPECT_EQ(r.args.count(), 0u);
    EXPECT_EQ(s(r.query_suffix()), "");
}

TEST(URLRequestSplit, QueryPairsAndLoneElements) {
    URLRequest r;
    r.path = "/p?a=1&flag";
    r.split_query();
    EXPECT_EQ(s(r.path), "/p");
    EXPECT_EQ(list(r.args), (std::vector<std::string>{"a", "1", "flag"}));

    r.path = "/p?=&b=%41%42";
    r.split_query();
    EXPECT_EQ(list(r.args), (std::vector<std::string>{"", "", "b", "AB"}));

    // A name runs up to the next "=", "&" included.
    r.path = "/p?a&b=c";
    r.split_query();
    EXPECT_EQ(list(r.args), (std::vector<std::string>{"a&b", "c"}));

    r.path = "/p?x=1&";
    r.split_query();
    EXPECT_EQ(s(r.query), "x=1&");
    EXPECT_EQ(list(r.args), (std::vector<std::string>{"x", "1"}));

    r.path = "/p?";
    r.split_query();
    EXPECT_EQ(s(r.path), "/p");
    EXPECT_EQ(r.args.count(), 0u);
}

// ---- failures ---------------------------------------------------------------

TEST(URLRequestFailure, MethodIsCaseSensitive) {
    expect_parse_failure("get http://h/ HTTP/1.0\r\n\r\n", "unsupported method 'get' used");
    expect_parse_failure("PUT http://h/ HTTP/1.0\r\n\r\n", "unsupported method 'PUT' used");
    expect_parse_failure("", "unsupported method '' used");
}

TEST(URLRequestFailure, SchemeMustBeHttpWithDoubleSlash) {
    expect_parse_failure("GET /index.html HTTP/1.0\r\n\r\n", "no protocol specified");
    expect_parse_failure("GET ftp://h/ HTTP/1.0\r\n\r\n", "protocol 'ftp' not supported");
    expect_parse_failure("GET FTP://h/ HTTP/1.0\r\n\r\n", "protocol 'ftp' not supported");
    expect_parse_failure("GET HTTP:h/ HTTP/1.0\r\n\r\n", "protocol 'http' not supported");
    expect_parse_failure("HEAD\r\n\r\n", "no protocol specified");
}

TEST(URLRequestFailure, SchemeCaseIsIgnoredWhenReceived) {
    URLRequest r = parse("GET HTTP://h/ HTTP/1.0\r\n\r\n");
    EXPECT_EQ(r.invalid, 0);
    EXPECT_EQ(s(r.host), "h");
}

TEST(URLRequestFailure, HeaderNameMustEndInAColonAndHaveTwoCharacters) {
    expect_parse_failure("GET http://h/ HTTP/1.0\r\nAccept:text/html\r\n\r\n",
                         "invalid header-line found in request");
    expect_parse_failure("GET http://h/ HTTP/1.0\r\n: x\r\n\r\n",
                         "invalid header-line found in request");
    expect_parse_failure("GET http://h/ HTTP/1.0\r\nAccept text/html\r\n\r\n",
                         "invalid header-line found in request");
}

TEST(URLRequestFailure, FieldsParsedBeforeTheFailureStay) {
    URLRequest r = parse("POST http://h/ HTTP/1.0\r\nFrom: me@x\r\nX-A: 1\r\nbad\r\nFrom: late\r\n\r\n");
    EXPECT_EQ(r.invalid, 1);
    EXPECT_EQ(s(r.from), "me@x");
    EXPECT_EQ(s(r.unknown), "X-A: 1\r\n");
    EXPECT_EQ(s(r.host), "h");
}

TEST(URLRequestFailure, BadDatesFailTheParse) {
    expect_parse_failure("GET http://h/ HTTP/1.0\r\nDate: yesterday\r\n\r\n",
                         "invalid date found in header-line");
    expect_parse_failure("GET http://h/ HTTP/1.0\r\nIf-Modified-Since: Sun, 06 Nov 1994 24:00:00 GMT\r\n\r\n",
                         "invalid date found in header-line");
}

TEST(URLRequestFailure, ParsingLeavesNoFailureReport) {
    parse("get http://h/ HTTP/1.0\r\n\r\n");
    parse("GET ftp://h/ HTTP/1.0\r\n\r\n");
    parse("GET http://h/ HTTP/1.0\r\nbad\r\n\r\n");
    EXPECT_STREQ(fail_take(), "");
}

// ---- header lines -------------------------------------------------------------

TEST(URLRequestHeaders, Http09AndMissingVersionReadNoHeaderLines) {
    for (const char* head : {"GET http://h/ HTTP/0.9\r\nbad line\r\nX: y\r\n\r\n",
                             "GET http://h/\r\nAccept:text/html\r\n\r\n"}) {
        SCOPED_TRACE(head);
        URLRequest r = parse(head);
        EXPECT_EQ(r.invalid, 0);
        EXPECT_EQ(r.errorcode, 200);
        EXPECT_EQ(s(r.unknown), "");
    }
    EXPECT_EQ(s(parse("GET http://h/ HTTP/0.9\r\n").version), "HTTP/0.9");
    EXPECT_EQ(s(parse("GET http://h/").version), "");
}

TEST(URLRequestHeaders, UnknownLinesKeepTheNameAsReceived) {
    URLRequest r = parse("GET http://h/ HTTP/1.0\r\nHOST: x\r\nuser-AGENT:\tTest/1  (x)\r\nEmpty:\r\n\r\n");
    EXPECT_EQ(r.invalid, 0);
    EXPECT_EQ(s(r.unknown), "HOST: x\r\nuser-AGENT:\tTest/1  (x)\r\nEmpty:\r\n");
}

TEST(URLRequestHeaders, BareLineFeedsAndEndOfTextEndTheHead) {
    URLRequest r = parse("GET http://h/ HTTP/1.0\nX-A: 1\nX-B: 2");
    EXPECT_EQ(r.invalid, 0);
    EXPECT_EQ(s(r.unknown), "X-A: 1\r\nX-B: 2\r\n");

    URLRequest body_follows = parse("GET http://h/ HTTP/1.0\r\nX-A: 1\r\n\r\nnot: a header\r\n");
    EXPECT_EQ(s(body_follows.unknown), "X-A: 1\r\n");
}

TEST(URLRequestHeaders, InterpretedFieldsAndNameCaseIgnored) {
    URLRequest r = parse(std::string("POST http://h/ HTTP/1.0\r\n") +
                         "DATE: " + DATE + "\r\n" +
                         "from: a@b c\r\n" +
                         "Content-length: 12abc\r\n" +
                         "CONTENT-TYPE: text/plain; charset=x\r\n" +
                         "Authorization: Basic  dXNlcg==\r\n\r\n");
    EXPECT_EQ(r.invalid, 0);
    EXPECT_TRUE(r.date.to_Str() == DATE);
    EXPECT_EQ(s(r.from), "a@b");
    EXPECT_EQ(r.content_length, 12u);
    EXPECT_EQ(s(r.content_type), "text/plain;");
    EXPECT_EQ(s(r.authorization), " Basic  dXNlcg==");
    EXPECT_EQ(s(r.unknown), "");
    EXPECT_FALSE(r.if_modified_since.specified());
}

TEST(URLRequestHeaders, PragmaNoCacheIsAFlagVantlowIsDroppedOthersForwarded) {
    URLRequest r = parse("GET http://h/ HTTP/1.0\r\nPragma: no-cache\r\nPragma: Vantlow\r\n"
                         "Pragma:  foo  bar\r\nPRAGMA: NO-CACHE\r\n\r\n");
    EXPECT_EQ(r.invalid, 0);
    EXPECT_EQ(r.no_cache, 1);
    EXPECT_EQ(s(r.unknown), "Pragma: foo  bar\r\nPRAGMA: NO-CACHE\r\n");
    std::string out = s(r.to_server_Str());
    EXPECT_NE(out.find("Pragma: no-cache\r\n"), std::string::npos);
    EXPECT_EQ(out.find("Vantlow"), std::string::npos);

    URLRequest plain = parse("GET http://h/ HTTP/1.0\r\nPragma: Vantlow\r\n\r\n");
    EXPECT_EQ(plain.no_cache, 0);
    EXPECT_EQ(s(plain.unknown), "");
}

TEST(URLRequestHeaders, IfModifiedSinceIgnoresALengthParameter) {
    URLRequest r = parse(std::string("GET http://h/ HTTP/1.0\r\nIf-Modified-Since: ") + DATE +
                         "; length=1234\r\n\r\n");
    EXPECT_EQ(r.invalid, 0);
    EXPECT_TRUE(r.if_modified_since.to_Str() == DATE);
}

TEST(URLRequestHeaders, ReparsingStartsFromAnEmptyRecord) {
    URLRequest r = parse("GET http://h/?a=1 HTTP/1.0\r\nX-A: 1\r\nPragma: no-cache\r\n\r\n");
    r.body = "kept";
    r.from_Str(Str("HEAD http://g/ HTTP/1.0\r\nX-B: 2\r\n\r\n"));
    EXPECT_EQ(s(r.unknown), "X-B: 2\r\n");
    EXPECT_EQ(r.no_cache, 0);
    EXPECT_EQ(r.args.count(), 0u);
    EXPECT_EQ(s(r.body), "kept");
}

// ---- writing --------------------------------------------------------------------

TEST(URLRequestWrite, ServerAndProxyFormsByteForByte) {
    URLRequest r = parse(std::string("GET http://www.x.org:8000/a/b?q=1&r=a+b HTTP/1.1\r\n") +
                         "User-Agent: T/1\r\n" +
                         "If-Modified-Since: Sunday, 06-Nov-94 08:49:37 GMT\r\n" +
                         "Date: " + DATE + "\r\n" +
                         "From: me@x\r\n" +
                         "Authorization: Basic abc\r\n" +
                         "Pragma: no-cache\r\n" +
                         "Accept: */*\r\n\r\n");
    ASSERT_EQ(r.invalid, 0);
    const std::string fields = std::string("Host: www.x.org:8000\r\n") +
                               "If-Modified-Since: " + DATE + "\r\n" +
                               "From: me@x\r\n" +
                               "Authorization:  Basic abc\r\n" +
                               "Pragma: no-cache\r\n" +
                               "User-Agent: T/1\r\nAccept: */*\r\n" +
                               "\r\n";
    EXPECT_EQ(s(r.to_server_Str()), "GET /a/b?q=1&r=a+b HTTP/1.0\r\n" + fields);
    EXPECT_EQ(s(r.to_proxy_Str()), "GET http://www.x.org:8000/a/b?q=1&r=a+b HTTP/1.0\r\n" + fields);
}

TEST(URLRequestWrite, MinimalRequestGetsOnlyHostAndTheEmptyLine) {
    URLRequest r = parse("HEAD http://h HTTP/0.9\r\n\r\n");
    EXPECT_EQ(s(r.to_server_Str()), "HEAD / HTTP/1.0\r\nHost: h\r\n\r\n");
    EXPECT_EQ(s(r.to_proxy_Str()), "HEAD http://h HTTP/1.0\r\nHost: h\r\n\r\n");
}

TEST(URLRequestWrite, HostLineAddedWithPortUnlessItIs80) {
    EXPECT_EQ(s(parse("GET http://Www.X.org/ HTTP/1.0\r\n\r\n").to_server_Str()),
              "GET / HTTP/1.0\r\nHost: Www.X.org\r\n\r\n");
    EXPECT_EQ(s(parse("GET http://h:80/ HTTP/1.0\r\n\r\n").to_server_Str()),
              "GET / HTTP/1.0\r\nHost: h\r\n\r\n");
    EXPECT_EQ(s(parse("GET http://h:8080/ HTTP/1.0\r\n\r\n").to_proxy_Str()),
              "GET http://h:8080/ HTTP/1.0\r\nHost: h:8080\r\n\r\n");
}

TEST(URLRequestWrite, HostLineFromTheClientIsForwardedUnchanged) {
    URLRequest r = parse("GET http://h:8080/ HTTP/1.0\r\nX-A: 1\r\nhOsT:  virtual.example\r\n\r\n");
    EXPECT_TRUE(r.has_host_line());
    EXPECT_EQ(s(r.to_server_Str()),
              "GET / HTTP/1.0\r\nX-A: 1\r\nhOsT:  virtual.example\r\n\r\n");
    EXPECT_EQ(s(r.to_proxy_Str()),
              "GET http://h:8080/ HTTP/1.0\r\nX-A: 1\r\nhOsT:  virtual.example\r\n\r\n");
}

TEST(URLRequestWrite, OnlyAHeaderNamedHostCountsAsHostLine) {
    URLRequest r = parse("GET http://h/ HTTP/1.0\r\nHost-Name: x\r\nX-Host: y\r\nX: Host: z\r\n\r\n");
    EXPECT_FALSE(r.has_host_line());
    EXPECT_EQ(s(r.to_server_Str()),
              "GET / HTTP/1.0\r\nHost: h\r\nHost-Name: x\r\nX-Host: y\r\nX: Host: z\r\n\r\n");
}

TEST(URLRequestWrite, PostKeepsTheReceivedContentLengthAndAppendsTheBody) {
    URLRequest r = parse("POST http://h/f HTTP/1.0\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                         "Content-Length: 10\r\n\r\n");
    ASSERT_EQ(r.invalid, 0);
    r.body = "a=1";
    EXPECT_EQ(s(r.to_server_Str()),
              "POST /f HTTP/1.0\r\nHost: h\r\nContent-Type: application/x-www-form-urlencoded\r\n"
              "Content-Length: 10\r\n\r\na=1\r\n");
}

TEST(URLRequestWrite, PostWithoutLengthWritesZeroAndGetNeverWritesOne) {
    URLRequest post = parse("POST http://h/ HTTP/1.0\r\n\r\n");
    EXPECT_EQ(s(post.to_server_Str()), "POST / HTTP/1.0\r\nHost: h\r\nContent-Length: 0\r\n\r\n\r\n");
    URLRequest get = parse("GET http://h/ HTTP/1.0\r\nContent-Length: 5\r\n\r\n");
    get.body = "abcde";
    EXPECT_EQ(s(get.to_server_Str()), "GET / HTTP/1.0\r\nHost: h\r\n\r\n");
}

TEST(URLRequestWrite, CopyKeepsEveryFieldIncludingUnspecifiedDates) {
    URLRequest r = parse(std::string("GET http://h:81/p?a=b HTTP/1.0\r\nDate: ") + DATE +
                         "\r\nX: y\r\n\r\n");
    URLRequest copy(r);
    URLRequest assigned;
    assigned = r;
    for (const URLRequest* c : {&copy, &assigned}) {
        EXPECT_EQ(s(c->to_server_Str()), s(r.to_server_Str()));
        EXPECT_EQ(list(c->args), list(r.args));
        EXPECT_TRUE(c->date.to_Str() == DATE);
        EXPECT_FALSE(c->if_modified_since.specified());
        EXPECT_EQ(c->port, 81);
        EXPECT_EQ(c->invalid, 0);
    }
}

// ---- text dump --------------------------------------------------------------

TEST(URLRequestDump, TextDumpListsEveryFieldInOrder) {
    URLRequest r = parse("POST http://h:81/p?a=b HTTP/1.0\r\nContent-Length: 7\r\nX: y\r\n\r\n");
    r.body = "abc";
    MemoryWriteable out;
    TextDrain drain(out);
    drain << r;
    EXPECT_STREQ(fail_take(), "");
    const char* lines[] = {"URLRequest:\n", "method = POST\n", "uri = http://h:81/p?a=b\n",
                           "host = h\n", "port = 81\n", "path = /p\n", "query = a=b\n",
                           "args = \n", "'a'\n", "'b'\n", "version = HTTP/1.0\n",
                           "unknown = X: y\r\n\n", "date = date-not-specified\n", "from = \n",
                           "if_modified_since = date-not-specified\n", "content_type = \n",
                           "authorization = \n", "content_length = 7\n", "no_cache = false\n",
                           "errorcode = 200\n", "errormsg = \n", "body.length = 3\n"};
    size_t at = 0;
    for (const char* line : lines) {
        size_t found = out.bytes.find(line, at);
        ASSERT_NE(found, std::string::npos) << line << " in\n" << out.bytes;
        at = found + 1;
    }
    EXPECT_EQ(out.bytes.find("abc"), std::string::npos); // the body itself is not dumped
}

TEST(URLRequestDump, FailingDrainIsReported) {
    BrokenWriteable out(20); // the block opens, then the target fails
    TextDrain drain(out);
    drain << parse("GET http://h/ HTTP/1.0\r\n\r\n");
    std::string report = fail_take();
    EXPECT_EQ(report.rfind("ObjectDrain << URLRequest unable to write instance, reason:\r\n", 0), 0u)
        << report;
}

// ---- requests built by the site loader -------------------------------------------

TEST(URLRequestBuilt, GetCarriesAcceptAndVantlowPragmaAndRebuildsTheQuery) {
    URLRequest r(Str("GET"), Str("http://h/a/b?x=1&y=a+b"), Str(), Str());
    EXPECT_EQ(r.invalid, 0);
    EXPECT_STREQ(fail_take(), "");
    EXPECT_EQ(s(r.host), "h");
    EXPECT_EQ(r.port, 80);
    EXPECT_EQ(s(r.path), "/a/b");
    EXPECT_EQ(s(r.query), "");
    EXPECT_EQ(list(r.args), (std::vector<std::string>{"x", "1", "y", "a b"}));
    EXPECT_EQ(s(r.version), "http/1.0");
    EXPECT_EQ(s(r.unknown), "Accept: */*\r\nPragma: Vantlow\r\n");
    EXPECT_EQ(s(r.to_server_Str()),
              "GET /a/b?x=1&y=a+b HTTP/1.0\r\nHost: h\r\nAccept: */*\r\nPragma: Vantlow\r\n\r\n");
    EXPECT_EQ(s(r.to_proxy_Str()),
              "GET http://h/a/b?x=1&y=a+b HTTP/1.0\r\nHost: h\r\nAccept: */*\r\nPragma: Vantlow\r\n\r\n");
}

TEST(URLRequestBuilt, RebuiltQueryIsUrlEncodedAndKeepsAnOddElement) {
    URLRequest r(Str("HEAD"), Str("http://h:8080/s?q=a%2Fb+c%7e&flag"), Str(), Str());
    ASSERT_EQ(r.invalid, 0);
    EXPECT_EQ(list(r.args), (std::vector<std::string>{"q", "a/b c~", "flag"}));
    EXPECT_EQ(s(r.to_server_Str()).substr(0, 39), "HEAD /s?q=a%2fb+c~&flag HTTP/1.0\r\nHost:");
    EXPECT_NE(s(r.to_server_Str()).find("Host: h:8080\r\n"), std::string::npos);
}

TEST(URLRequestBuilt, UrlWithoutPathHasNoArgumentsAndTakesItsPort) {
    URLRequest r(Str("GET"), Str("http://h:81"), Str(), Str());
    ASSERT_EQ(r.invalid, 0);
    EXPECT_EQ(s(r.host), "h");
    EXPECT_EQ(r.port, 81);
    EXPECT_EQ(s(r.path), "/");
    EXPECT_EQ(r.args.count(), 0u);
    EXPECT_EQ(s(r.to_server_Str()).substr(0, 16), "GET / HTTP/1.0\r\n");
}

TEST(URLRequestBuilt, QueryDirectlyAfterTheHostEndsTheHost) {
    URLRequest r(Str("GET"), Str("http://h?x=/y"), Str(), Str());
    ASSERT_EQ(r.invalid, 0);
    EXPECT_EQ(s(r.host), "h");
    EXPECT_EQ(s(r.path), "/");
    EXPECT_EQ(list(r.args), (std::vector<std::string>{"x", "/y"}));
}

TEST(URLRequestBuilt, PostSetsContentLengthFromTheBody) {
    URLRequest r(Str("POST"), Str("http://h/f"), Str("a=1&b=2"), Str("application/x-www-form-urlencoded"));
    ASSERT_EQ(r.invalid, 0);
    EXPECT_EQ(r.content_length, 7u);
    EXPECT_EQ(s(r.to_server_Str()),
              "POST /f HTTP/1.0\r\nHost: h\r\nContent-Type: application/x-www-form-urlencoded\r\n"
              "Content-Length: 7\r\nAccept: */*\r\nPragma: Vantlow\r\n\r\na=1&b=2\r\n");
}

TEST(URLRequestBuilt, WritesNoAuthorizationLine) {
    URLRequest r(Str("GET"), Str("http://h/"), Str(), Str());
    r.authorization = " Basic abc";
    EXPECT_EQ(s(r.to_server_Str()).find("Authorization"), std::string::npos);
}

TEST(URLRequestBuilt, FailuresAreReportedUnderTheConstructor) {
    struct Case {
        const char* method;
        const char* url;
        const char* report;
    } cases[] = {
        {"get", "http://h/", "URLRequest: unsupported method 'get' used\r\n"},
        {"GET", "HTTP://h/", "URLRequest: protocol 'HTTP' not supported\r\n"},
        {"GET", "ftp://h/", "URLRequest: protocol 'ftp' not supported\r\n"},
        {"GET", "http:h/", "URLRequest: protocol 'http' not supported\r\n"},
        {"GET", "index.html", "URLRequest: no protocol specified\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        URLRequest r{Str(c.method), Str(c.url), Str(), Str()};
        EXPECT_EQ(r.invalid, 1);
        EXPECT_STREQ(fail_take(), c.report);
    }
}

TEST(URLRequestBuilt, ProxyReadsTheBuiltRequestAndDropsTheVantlowPragma) {
    URLRequest built(Str("GET"), Str("http://h:81/p?a=b"), Str(), Str());
    URLRequest received;
    received.from_Str(built.to_proxy_Str());
    ASSERT_EQ(received.invalid, 0);
    EXPECT_EQ(s(received.uri), "http://h:81/p?a=b");
    EXPECT_EQ(s(received.unknown), "Host: h:81\r\nAccept: */*\r\n");
    EXPECT_EQ(s(received.to_server_Str()),
              "GET /p?a=b HTTP/1.0\r\nHost: h:81\r\nAccept: */*\r\n\r\n");
}

// ---- robustness -------------------------------------------------------------------

TEST(URLRequestRobustness, RandomAndTruncatedHeadsNeverCrash) {
    const std::string seeds[] = {
        "GET http://Host:8080/a/b?x=1&y=a+b HTTP/1.0\r\nHost: h\r\nPragma: no-cache\r\n"
        "If-Modified-Since: Sun, 06 Nov 1994 08:49:37 GMT; length=12\r\n\r\n",
        "POST http://h/f HTTP/1.0\r\nContent-Length: 4294967299\r\nAuthorization: x\r\n"
        "Date: Sunday, 06-Nov-94 08:49:37 GMT\r\nFrom: a\r\nContent-Type: t\r\n\r\n",
        "HEAD http://h?%4g=%2&%%=+ HTTP/0.9\r\n",
    };
    const std::string alphabet = "GETPOSHAD htp:/?=&%+4gx:\r\n\"\tHost-Cnel0123";
    std::mt19937 random(80808);
    int valid = 0;
    for (int i = 0; i < 4000; i++) {
        const std::string& seed = seeds[i % 3];
        std::string head;
        switch (i % 4) {
        case 0:
            head = seed.substr(0, random() % (seed.size() + 1));
            break;
        case 1:
            head = seed;
            for (int k = random() % 6; k >= 0; k--)
                head[random() % head.size()] = static_cast<char>(random() % 256);
            break;
        case 2:
            head = "GET http://";
            for (int k = random() % 300; k > 0; k--) head += alphabet[random() % alphabet.size()];
            break;
        default:
            for (int k = random() % 300; k > 0; k--) head += static_cast<char>(random() % 256);
        }
        URLRequest r = parse(head);
        if (r.invalid == 0) {
            valid++;
            EXPECT_EQ(r.errorcode, 200);
            EXPECT_EQ(s(r.path).substr(0, 1), "/") << head;
        } else {
            EXPECT_EQ(r.errorcode, 501);
            EXPECT_FALSE(r.errormsg.empty()) << head;
        }
        r.to_server_Str();
        r.to_proxy_Str();
        URLRequest built(Str("GET"), Str(head.data(), static_cast<uint32_t>(head.size())), Str(),
                         Str());
        built.to_server_Str();
        fail_take();
    }
    EXPECT_GT(valid, 0);
}
