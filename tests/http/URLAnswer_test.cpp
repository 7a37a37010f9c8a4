#include "http/URLAnswer.h"

#include "foundation/BufStream.h"
#include "foundation/Fail.h"
#include "foundation/FileStream.h"
#include "foundation/ObjectStream.h"
#include "http/URLRequest.h"
#include "tests/http/MemoryStream.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <random>
#include <string>
#include <unistd.h>

namespace {

const char DATE[] = "Sun, 06 Nov 1994 08:49:37 GMT";

URLAnswer parse(const std::string& head) {
    URLAnswer a;
    a.from_Str(Str(head.data(), static_cast<uint32_t>(head.size())));
    return a;
}

std::string s(const Str& text) { return std::string(text.data(), text.length()); }

std::string le32(uint32_t v) {
    std::string out;
    for (int i = 0; i < 4; i++) out += static_cast<char>((v >> (8 * i)) & 0xff);
    return out;
}
std::string str_field(const std::string& text) { return le32(static_cast<uint32_t>(text.size())) + text; }
std::string date_field(const GMTdate& d) {
    return le32(d.year) + le32(d.month) + le32(d.day) + le32(d.weekday) + le32(d.hour) +
           le32(d.minute) + le32(d.second) + le32(d.fail ? 1 : 0);
}

// An answer with every field set.
URLAnswer full_answer() {
    return parse(std::string("HTTP/1.1 301 Moved  Permanently\r\n") +
                 "Location: http://h/new/ extra\r\n" +
                 "Server: Test/1.0 (Unix)\r\n" +
                 "Allow: GET, HEAD\r\n" +
                 "Content-Encoding: gzip\r\n" +
                 "Content-Length: 1234\r\n" +
                 "Content-Type: text/html; charset=utf-8\r\n" +
                 "Date: " + DATE + "\r\n" +
                 "Expires: Monday, 07-Nov-94 08:49:37 GMT\r\n" +
                 "Last-Modified: Sat Nov  5 08:49:37 1994\r\n" +
                 "X-Cache: miss\r\nSet-Cookie: a=b; path=/\r\n\r\n");
}

void expect_same_head(const URLAnswer& a, const URLAnswer& b) {
    EXPECT_EQ(s(a.version), s(b.version));
    EXPECT_EQ(a.errorcode, b.errorcode);
    EXPECT_EQ(s(a.reason), s(b.reason));
    EXPECT_EQ(s(a.location), s(b.location));
    EXPECT_EQ(s(a.server), s(b.server));
    EXPECT_EQ(s(a.allow), s(b.allow));
    EXPECT_EQ(s(a.content_encoding), s(b.content_encoding));
    EXPECT_EQ(a.content_length, b.content_length);
    EXPECT_EQ(s(a.content_type), s(b.content_type));
    EXPECT_EQ(s(a.date.to_Str()), s(b.date.to_Str()));
    EXPECT_EQ(s(a.expires.to_Str()), s(b.expires.to_Str()));
    EXPECT_EQ(s(a.last_modified.to_Str()), s(b.last_modified.to_Str()));
    EXPECT_EQ(s(a.unknown), s(b.unknown));
}

} // namespace

// ---- parsing --------------------------------------------------------------------

TEST(URLAnswerParse, ReasonKeepsItsLeadingBlankAndIsWrittenBackWithTwo) {
    URLAnswer a = parse("HTTP/1.0 200 OK\r\n\r\n");
    EXPECT_EQ(a.invalid, 0);
    EXPECT_EQ(s(a.version), "HTTP/1.0");
    EXPECT_EQ(a.errorcode, 200);
    EXPECT_EQ(s(a.reason), " OK");
    EXPECT_EQ(s(a.to_Str()), "HTTP/1.0 200  OK\r\n\r\n");
}

TEST(URLAnswerParse, StatusLineWithoutReasonOrCode) {
    URLAnswer a = parse("HTTP/1.1 404\r\n\r\n");
    EXPECT_EQ(a.invalid, 0);
    EXPECT_EQ(a.errorcode, 404);
    EXPECT_EQ(s(a.reason), "");
    URLAnswer b = parse("HTTP/1.0\n\n");
    EXPECT_EQ(b.invalid, 0);
    EXPECT_EQ(b.errorcode, 0);
}

TEST(URLAnswerParse, NoStatusLineLeavesTheAnswerInvalid) {
    // An HTTP/0.9 server sends the document at once, without a status line.
    for (const char* text : {"", "\r\n", "HTTP/0.9 200 OK\r\n\r\n", "<html><body>hi</body></html>\n",
                             "HTTP 200 OK\r\n\r\n", "HTTP/\r\n\r\n"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(parse(text).invalid, 1);
    }
    EXPECT_EQ(parse("http/1.0 200 OK\r\n\r\n").invalid, 0);
}

TEST(URLAnswerParse, InterpretedFieldsTakeTheirWord) {
    URLAnswer a = full_answer();
    EXPECT_EQ(a.invalid, 0);
    EXPECT_EQ(s(a.version), "HTTP/1.1");
    EXPECT_EQ(a.errorcode, 301);
    EXPECT_EQ(s(a.reason), " Moved  Permanently");
    EXPECT_EQ(s(a.location), "http://h/new/");
    EXPECT_EQ(s(a.server), "Test/1.0");
    EXPECT_EQ(s(a.allow), " GET, HEAD");
    EXPECT_EQ(s(a.content_encoding), "gzip");
    EXPECT_EQ(a.content_length, 1234u);
    EXPECT_EQ(s(a.content_type), "text/html;");
    EXPECT_EQ(s(a.date.to_Str()), DATE);
    EXPECT_EQ(s(a.expires.to_Str()), "Mon, 07 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(s(a.last_modified.to_Str()), "Sat, 05 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(s(a.unknown), "X-Cache: miss\r\nSet-Cookie: a=b; path=/\r\n");
}

TEST(URLAnswerParse, HeaderNamesAreMatchedWithoutCaseButKeptInUnknown) {
    URLAnswer a = parse("HTTP/1.0 200 OK\r\nCONTENT-length: 5\r\nx-MiXed:\tv\r\n\r\n");
    EXPECT_EQ(a.content_length, 5u);
    EXPECT_EQ(s(a.unknown), "x-MiXed:\tv\r\n");
}

TEST(URLAnswerParse, BadLinesAreSkippedAndBadDatesStayUnspecified) {
    URLAnswer a = parse("HTTP/1.0 200 OK\r\nno colon here\r\n:\r\nContent-Type:text/html\r\n"
                        "Date: yesterday\r\nExpires: 0\r\nServer: s\r\n\r\n");
    EXPECT_EQ(a.invalid, 0);
    EXPECT_FALSE(a.date.specified());
    EXPECT_FALSE(a.expires.specified());
    EXPECT_EQ(s(a.content_type), "");
    EXPECT_EQ(s(a.server), "s");
    EXPECT_EQ(s(a.unknown), "");
    EXPECT_STREQ(fail_take(), "");
}

TEST(URLAnswerParse, ReparsingStartsFromAnEmptyHeadButKeepsTheBody) {
    URLAnswer a = full_answer();
    a.body = "text";
    a.from_Str(Str("HTTP/1.0 204 No Content\r\n\r\n"));
    EXPECT_EQ(a.content_length, 0u);
    EXPECT_EQ(s(a.unknown), "");
    EXPECT_FALSE(a.date.specified());
    EXPECT_EQ(s(a.location), "");
    EXPECT_EQ(s(a.body), "text");
}

// ---- writing --------------------------------------------------------------------

TEST(URLAnswerWrite, HeadInFixedOrderAlwaysAsHttp10) {
    EXPECT_EQ(s(full_answer().to_Str()),
              std::string("HTTP/1.0 301  Moved  Permanently\r\n") +
                  "Location: http://h/new/\r\n" +
                  "Server: Test/1.0\r\n" +
                  "Allow:  GET, HEAD\r\n" +
                  "Content-Encoding: gzip\r\n" +
                  "Content-Length: 1234\r\n" +
                  "Content-Type: text/html;\r\n" +
                  "Date: " + DATE + "\r\n" +
                  "Expires: Mon, 07 Nov 1994 08:49:37 GMT\r\n" +
                  "Last-Modified: Sat, 05 Nov 1994 08:49:37 GMT\r\n" +
                  "X-Cache: miss\r\nSet-Cookie: a=b; path=/\r\n" +
                  "\r\n");
}

TEST(URLAnswerWrite, EmptyFieldsZeroLengthAndUnspecifiedDatesAreLeftOut) {
    URLAnswer a;
    a.errorcode = 304;
    a.reason = " Not Modified";
    EXPECT_EQ(s(a.to_Str()), "HTTP/1.0 304  Not Modified\r\n\r\n");
}

// ---- error pages --------------------------------------------------------------------

TEST(URLAnswerError, SixLinePageWithCodeAndReason) {
    URLRequest request;
    request.from_Str(Str("GET /index.html HTTP/1.0\r\n\r\n"));
    ASSERT_EQ(request.invalid, 1);
    URLAnswer a;
    a.make_error(request);
    a.version = "http/1.0";
    const std::string body =
        "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML 3.0//EN\" \"html.dtd\">\n"
        "<HTML>\n"
        "<HEAD><TITLE>Request Failed</TITLE></HEAD>\n"
        "<BODY><H1>Errorcode 501</H1>\n"
        "      <H1>Reason: no protocol specified</H1>\n"
        "</BODY></HTML>\n";
    EXPECT_EQ(a.invalid, 0);
    EXPECT_EQ(a.errorcode, 501);
    EXPECT_EQ(s(a.reason), "no protocol specified");
    EXPECT_EQ(s(a.content_type), "text/html");
    EXPECT_EQ(s(a.body), body);
    EXPECT_EQ(a.content_length, body.size());
    EXPECT_EQ(s(a.to_Str()), "HTTP/1.0 501 no protocol specified\r\nContent-Length: " +
                                 std::to_string(body.size()) +
                                 "\r\nContent-Type: text/html\r\n\r\n");
}

TEST(URLAnswerError, TextsFromTheRequestAreHtmlEscapedInThePage) {
    URLRequest request;
    request.from_Str(Str("<script>\"x\"&amp; http://h/ HTTP/1.0\r\n\r\n"));
    ASSERT_EQ(request.invalid, 1);
    URLAnswer a;
    a.make_error(request);
    EXPECT_NE(s(a.body).find("<H1>Reason: unsupported method '&lt;script&gt;&quot;x&quot;&amp;amp;' used</H1>"),
              std::string::npos)
        << s(a.body);
    EXPECT_EQ(s(a.body).find("<script>"), std::string::npos);
    // The status line is not HTML and carries the text as it is.
    EXPECT_EQ(s(a.reason), "unsupported method '<script>\"x\"&amp;' used");
}

// ---- binary form ---------------------------------------------------------------------

TEST(URLAnswerStream, BinaryFormHasTheMagicAndTheFieldsInOrder) {
    URLAnswer a = full_answer();
    a.body = "not stored";
    MemoryWriteable out;
    BinaryDrain drain(out);
    drain << a;
    EXPECT_EQ(drain.error(), 0);
    std::string expected = le32(0x55414D01) + str_field("HTTP/1.1") + le32(301) +
                           str_field(" Moved  Permanently") + str_field("http://h/new/") +
                           str_field("Test/1.0") + str_field(" GET, HEAD") + str_field("gzip") +
                           le32(1234) + str_field("text/html;") + date_field(a.date) +
                           date_field(a.expires) + date_field(a.last_modified) +
                           str_field("X-Cache: miss\r\nSet-Cookie: a=b; path=/\r\n");
    EXPECT_EQ(out.bytes, expected);
    EXPECT_EQ(out.bytes.substr(0, 4), std::string("\x01\x4d\x41\x55", 4));
}

TEST(URLAnswerStream, RoundTripThroughBufferedFiles) {
    char path_template[] = "/tmp/urlanswer_testXXXXXX";
    int fd = mkstemp(path_template);
    ASSERT_GE(fd, 0);
    close(fd);
    Str path(path_template);

    URLAnswer written = full_answer();
    URLAnswer error_page;
    URLRequest bad;
    bad.from_Str(Str("get http://h/ HTTP/1.0\r\n\r\n"));
    error_page.make_error(bad);
    {
        OFileStream file(path, O_CREAT | O_TRUNC);
        ASSERT_FALSE(file.open_failed());
        BufWriteable buffer(file);
        BinaryDrain drain(buffer);
        drain << written << error_page << Str("http://h/new/");
        EXPECT_EQ(drain.error(), 0);
    }
    URLAnswer read[2];
    Str url;
    {
        IFileStream file(path);
        ASSERT_FALSE(file.open_failed());
        BufReadable buffer(file);
        BinarySource source(buffer);
        source >> read[0] >> read[1] >> url;
        EXPECT_EQ(source.error(), 0);
    }
    unlink(path_template);
    fail_take(); // the buffered reader's end-of-file report
    EXPECT_EQ(read[0].invalid, 0);
    EXPECT_EQ(read[1].invalid, 0);
    expect_same_head(read[0], written);
    expect_same_head(read[1], error_page);
    EXPECT_EQ(s(read[1].body), ""); // the body is not part of the stored form
    EXPECT_EQ(s(url), "http://h/new/");
}

TEST(URLAnswerStream, WrongMagicIsRejected) {
    MemoryWriteable out;
    BinaryDrain drain(out);
    drain << full_answer();
    out.bytes[3] = 0x56;

    MemoryReadable in(out.bytes);
    BinarySource source(in);
    URLAnswer a;
    a.invalid = 0;
    source >> a;
    EXPECT_EQ(a.invalid, 1);
    EXPECT_NE(source.error(), 0);
    EXPECT_EQ(in.position, 4u); // nothing after the magic number is read
    EXPECT_EQ(std::string(fail_take()),
              "ObjectSource >> URLAnswer unable to read instance, reason:\r\n"
              " ObjectSource >> URLAnswer got invalid data from stream\r\n");
}

TEST(URLAnswerStream, EveryTruncationIsReportedAndLeavesTheAnswerInvalid) {
    MemoryWriteable out;
    BinaryDrain drain(out);
    drain << full_answer();
    for (size_t cut = 0; cut < out.bytes.size(); cut++) {
        MemoryReadable in(out.bytes.substr(0, cut));
        BinarySource source(in);
        URLAnswer a;
        source >> a;
        ASSERT_EQ(a.invalid, 1) << cut;
        ASSERT_NE(source.error(), 0) << cut;
        std::string report = fail_take();
        ASSERT_EQ(report.rfind("ObjectSource >> URLAnswer unable to read instance, reason:\r\n", 0), 0u)
            << cut << ": " << report;
    }
}

TEST(URLAnswerStream, FailingDrainIsReported) {
    BrokenWriteable out;
    BinaryDrain drain(out);
    drain << full_answer();
    std::string report = fail_take();
    EXPECT_EQ(report.rfind("ObjectDrain << URLAnswer unable to write instance, reason:\r\n", 0), 0u)
        << report;
}

TEST(URLAnswerStream, TextDumpShowsFieldsAndBodyLength) {
    URLAnswer a = full_answer();
    a.body = "12345";
    MemoryWriteable out;
    TextDrain drain(out);
    drain << a;
    const char* lines[] = {"URLAnswer:\n", "magic = 1430342913\n", "version = HTTP/1.1\n",
                           "errorcode = 301\n", "reason =  Moved  Permanently\n",
                           "location = http://h/new/\n", "server = Test/1.0\n",
                           "allow =  GET, HEAD\n", "content_encoding = gzip\n",
                           "content_length = 1234\n", "content_type = text/html;\n",
                           "date = Sun, 06 Nov 1994 08:49:37 GMT\n",
                           "expires = Mon, 07 Nov 1994 08:49:37 GMT\n",
                           "last_modified = Sat, 05 Nov 1994 08:49:37 GMT\n",
                           "unknown = X-Cache: miss\r\n", "body.length() = 5\n"};
    size_t at = 0;
    for (const char* line : lines) {
        size_t found = out.bytes.find(line, at);
        ASSERT_NE(found, std::string::npos) << line << " in\n" << out.bytes;
        at = found + 1;
    }
    EXPECT_STREQ(fail_take(), "");
}

// ---- robustness --------------------------------------------------------------------

TEST(URLAnswerRobustness, RandomAndTruncatedHeadsNeverCrash) {
    const std::string seed = s(full_answer().to_Str()) + "body";
    const std::string alphabet = "HTP/1.0 2345 OK:\r\n\tContent-LgthDaExpis,GMTSunNov";
    std::mt19937 random(1430342913);
    int valid = 0;
    for (int i = 0; i < 4000; i++) {
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
            head = "HTTP/1.0 ";
            for (int k = random() % 300; k > 0; k--) head += alphabet[random() % alphabet.size()];
            break;
        default:
            for (int k = random() % 300; k > 0; k--) head += static_cast<char>(random() % 256);
        }
        URLAnswer a = parse(head);
        if (a.invalid == 0) valid++;
        a.to_Str();
    }
    EXPECT_GT(valid, 0);
    EXPECT_STREQ(fail_take(), "");
}
