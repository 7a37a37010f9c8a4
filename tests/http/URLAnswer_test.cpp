#include "http/URLAnswer.h"

#include "foundation/ObjectStream.h"
#include "http/URLRequest.h"
#include "tests/foundation/Expect.h"
#include "tests/foundation/MemoryStream.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string FULL = "HTTP/1.1 301 Moved  Permanently\r\nLocation: http://h/new/ extra\r\n"
                         "Server: Test/1.0 (Unix)\r\nAllow: GET, HEAD\r\nContent-Encoding: gzip\r\n"
                         "Content-Length: 1234\r\nContent-Type: text/html; charset=utf-8\r\n"
                         "Date: Sun, 06 Nov 1994 08:49:37 GMT\r\nExpires: Monday, 07-Nov-94 08:49:37 GMT\r\n"
                         "Last-Modified: Sat Nov  5 08:49:37 1994\r\nX-Cache: miss\r\nSet-Cookie: a=b; path=/\r\n\r\n";
const std::string FULL_WRITTEN =
    "HTTP/1.0 301  Moved  Permanently\r\nLocation: http://h/new/\r\nServer: Test/1.0\r\nAllow:  GET, HEAD\r\n"
    "Content-Encoding: gzip\r\nContent-Length: 1234\r\nContent-Type: text/html;\r\n"
    "Date: Sun, 06 Nov 1994 08:49:37 GMT\r\nExpires: Mon, 07 Nov 1994 08:49:37 GMT\r\n"
    "Last-Modified: Sat, 05 Nov 1994 08:49:37 GMT\r\nX-Cache: miss\r\nSet-Cookie: a=b; path=/\r\n\r\n";


URLAnswer parse(const std::string& head) {
    URLAnswer a;
    a.from_Str(Str(head.data(), uint32_t(head.size())));
    return a;
}

URLAnswer error_page(const char* request_head) {
    URLRequest request;
    request.from_Str(Str(request_head));
    URLAnswer a;
    a.make_error(request);
    return a;
}

TEST(URLAnswer, ReadsTheFieldsItUsesAndWritesTheHeadAsHttp10) {
    for (auto [head, result] : {
             std::pair{std::string("HTTP/1.0 200 OK\r\n\r\n"), std::string("HTTP/1.0 200  OK\r\n\r\n")},
             {"http/1.0 200 OK\r\n\r\n", "HTTP/1.0 200  OK\r\n\r\n"}, {"HTTP/1.1 404\r\n\r\n", "HTTP/1.0 404 \r\n\r\n"},
             {"HTTP/1.0\n\n", "HTTP/1.0 0 \r\n\r\n"}, {FULL, FULL_WRITTEN},
             {"HTTP/1.0 200 OK\r\nCONTENT-length: 5\r\nx-MiXed:\tv\r\n\r\n",
              "HTTP/1.0 200  OK\r\nContent-Length: 5\r\nx-MiXed:\tv\r\n\r\n"},
             {"HTTP/1.0 200 OK\r\nno colon here\r\n:\r\nContent-Type:text/html\r\nDate: yesterday\r\n"
              "Expires: 0\r\nServer: s\r\n\r\n",
              "HTTP/1.0 200  OK\r\nServer: s\r\n\r\n"},
             // No status line: an HTTP/0.9 server sends the document at once.
             {"", ""}, {"\r\n", ""}, {"HTTP/0.9 200 OK\r\n\r\n", ""}, {"<html><body>hi</body></html>\n", ""},
             {"HTTP 200 OK\r\n\r\n", ""}, {"HTTP/\r\n\r\n", ""}}) {
        URLAnswer a = parse(head);
        EXPECT_EQ(a.invalid, result.empty()) << head;
        if (!result.empty()) { EXPECT_EQ(to_std(a.to_Str()), result) << head; }
    }
    const std::string ok = "HTTP/1.0 200 OK\r\n";
    for (auto [head, fault] : {std::pair{ok + "X: a\rSet-Cookie: b\r\n\r\n", HeadFault::CONTROL_IN_HEADER},
                               {"HTTP/1.0 200 O\x01K\r\n\r\n", HeadFault::CONTROL_IN_HEADER},
                               {ok + "Content-Length: 5abc\r\n\r\n", HeadFault::CONTENT_LENGTH},
                               {ok + "Content-Length: 4294967301\r\n\r\n", HeadFault::CONTENT_LENGTH},
                               {ok + "Content-Length: 5\r\nContent-Length: 7\r\n\r\n", HeadFault::CONFLICTING_LENGTHS},
                               {ok + "Content-Length: 7\r\nContent-Length: 7\r\nX:\t\xe4\r\n\n\r\n", HeadFault::NONE}})
        EXPECT_EQ(std::pair(parse(head).invalid, parse(head).fault), std::pair(0, fault)) << head;
    URLAnswer a = parse(FULL);
    EXPECT_EQ(to_std(a.version) + "|" + to_std(a.reason), "HTTP/1.1| Moved  Permanently");
    EXPECT_EQ(a.content_length, 1234u);
    a.body = "kept";
    a.from_Str(Str("HTTP/1.0 204 No Content\r\n\r\n")); // nothing of the earlier head stays
    EXPECT_EQ(to_std(a.to_Str()), "HTTP/1.0 204  No Content\r\n\r\n");
    EXPECT_EQ(to_std(a.body), "kept");
}

TEST(URLAnswer, ErrorPageShowsCodeAndEscapedReason) {
    URLAnswer a = error_page("GET /index.html HTTP/1.0\r\n\r\n");
    const std::string body = "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML 3.0//EN\" \"html.dtd\">\n<HTML>\n"
                             "<HEAD><TITLE>Request Failed</TITLE></HEAD>\n<BODY><H1>Errorcode 501</H1>\n"
                             "      <H1>Reason: no protocol specified</H1>\n</BODY></HTML>\n";
    EXPECT_EQ(a.invalid, 0);
    EXPECT_EQ(to_std(a.body), body);
    EXPECT_EQ(to_std(a.to_Str()), "HTTP/1.0 501 no protocol specified\r\nContent-Length: " +
                                 std::to_string(body.size()) + "\r\nContent-Type: text/html\r\n\r\n");
    URLRequest refused;
    refused.errormsg = "unsupported method '<script>\"x\"&amp;' used"; // markup in a reason
    URLAnswer escaped;
    escaped.make_error(refused);
    expect_all({SAME(to_std(escaped.body).find("<H1>Reason: unsupported method '&lt;script&gt;&quot;x&quot;&amp;amp;' "
                                          "used</H1>") != std::string::npos, true),
                SAME(to_std(escaped.body).find("<script>"), std::string::npos),
                SAME(escaped.reason, "unsupported method '<script>\"x\"&amp;' used")}); // the status line is no HTML
}

TEST(URLAnswer, StoredFormIsTheMagicAndTheHeadFieldsInOrder) {
    fail_take();
    URLAnswer full = parse(FULL), page = error_page("get http://h/ HTTP/1.0\r\n\r\n");
    full.body = "not stored";
    MemoryWriteable out;
    BinaryDrain drain(out);
    drain << full << page;
    std::string dates;
    for (uint32_t v : {1994u, 10u, 6u, 0u, 8u, 49u, 37u, 0u, 1994u, 10u, 7u, 1u, 8u, 49u, 37u, 0u, 1994u,
                       10u, 5u, 6u, 8u, 49u, 37u, 0u})
        dates += le32(v);
    const std::string stored = std::string("\x01\x4d\x41\x55", 4) + framed("HTTP/1.1") + le32(301) +
                               framed(" Moved  Permanently") + framed("http://h/new/") + framed("Test/1.0") +
                               framed(" GET, HEAD") + framed("gzip") + le32(1234) + framed("text/html;") +
                               dates + framed("X-Cache: miss\r\nSet-Cookie: a=b; path=/\r\n");
    ASSERT_EQ(out.bytes.substr(0, stored.size()), stored);

    MemoryReadable in(out.bytes), wrong(std::string("\x01\x4d\x41\x56", 4) + stored.substr(4));
    MemoryWriteable broken(10);
    BinarySource source(in), wrong_source(wrong);
    BinaryDrain broken_drain(broken);
    URLAnswer back[2], a;
    const std::string unreadable = "ObjectSource >> URLAnswer unable to read instance, reason:\r\n";
    a.invalid = 0;
    expect_all({SAME((source >> back[0] >> back[1], source.error()), 0), SAME(back[0].invalid + back[1].invalid, 0),
                SAME(to_std(back[0].to_Str()) + to_std(back[0].version), FULL_WRITTEN + "HTTP/1.1"),
                SAME(back[1].to_Str(), page.to_Str()), SAME(back[1].body, ""), // the body is not stored
                SAME((wrong_source >> a, a.invalid), 1), SAME(wrong.position, 4), // nothing read after the magic
                SAME(fail_take(), unreadable + " ObjectSource >> URLAnswer got invalid data from stream\r\n"),
                SAME((broken_drain << full, std::string(fail_take()).substr(0, 60)),
                     "ObjectDrain << URLAnswer unable to write instance, reason:\r\n")});
    for (size_t cut = 0; cut < stored.size(); cut++) {
        MemoryReadable short_in(stored.substr(0, cut));
        BinarySource short_source(short_in);
        short_source >> a;
        ASSERT_EQ(a.invalid, 1) << cut;
        ASSERT_EQ(std::string(fail_take()).substr(0, unreadable.size()), unreadable) << cut;
    }
}

TEST(URLAnswer, TextDumpShowsEveryFieldAndTheBodyLength) {
    URLAnswer a = parse(FULL);
    a.body = "12345";
    MemoryWriteable out;
    TextDrain drain(out);
    drain << a;
    EXPECT_EQ(out.bytes, "{\n URLAnswer:\n magic = 1430342913\n version = HTTP/1.1\n errorcode = 301\n"
                         " reason =  Moved  Permanently\n location = http://h/new/\n server = Test/1.0\n"
                         " allow =  GET, HEAD\n content_encoding = gzip\n content_length = 1234\n"
                         " content_type = text/html;\n date = Sun, 06 Nov 1994 08:49:37 GMT\n"
                         " expires = Mon, 07 Nov 1994 08:49:37 GMT\n"
                         " last_modified = Sat, 05 Nov 1994 08:49:37 GMT\n"
                         " unknown = X-Cache: miss\r\nSet-Cookie: a=b; path=/\r\n\n body.length() = 5\n}\n");
}

} // namespace
