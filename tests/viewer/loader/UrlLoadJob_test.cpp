// Both fetchers, the load job's connections and get_url, against the same
// answers of the test origin server.
#include "viewer/loader/UrlLoadJob.h"

#include "tests/viewer/loader/LoaderTestSupport.h"
#include "viewer/loader/GetUrl.h"

namespace {

using State = UrlConnection::State;
using namespace loader_text;

UrlConnection* Fetch(UrlLoadJob& job, const std::string& url, const char* method = "GET", size_t limit = SIZE_MAX) {
    UrlConnection* connection = job.RequestCommon(method, SiteUrl(nullptr, url), nullptr);
    if (connection) connection->answer = AnswerCollector(limit);
    while (connection && !connection->Finished()) job.RunConnections();
    return connection;
}

OriginServer::Answer Paced(OriginServer::Answer answer, int delay, size_t dribble = 0, bool length = true) {
    answer.delay_ms = delay;
    answer.dribble_bytes = dribble;
    answer.dribble_ms = 2;
    answer.send_content_length = length;
    return answer;
}

}  // namespace

TEST(Fetching, AnswersAreReadOrRefusedAlikeByBothFetchers) {
    OriginServer origin;
    const std::string fill = "HTTP/1.0 200 OK\r\nX-Fill: ";
    OriginServer::Answer silent = OriginServer::document("never");
    silent.held = true;
    struct Case {
        std::string name;
        OriginServer::Answer answer;
        std::string body;
        const char* failure = nullptr;
        const char* reporter = "UrlLoadJob::ReadAnswer() ";
    } cases[] = {
        {"ordinary", OriginServer::document("<html>hello</html>"), "<html>hello</html>"},
        {"bare line feeds", OriginServer::raw("HTTP/1.0 200 OK\nContent-Type: text/html\n\nbody text"), "body text"},
        {"zero bytes", OriginServer::document(std::string("a\0b\0\0c", 6)), "a b  c"},
        {"no length", Paced(OriginServer::document(std::string(50000, 'x')), 0, 7000, false), std::string(50000, 'x')},
        {"length 0", OriginServer::raw("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 0\r\n\r\nmore"),
         "more"},
        {"after get_url's first wait", Paced(OriginServer::document("soon"), 50), "soon"},
        {"too long", OriginServer::raw("HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\n0123456789"), "", kBodyTooLong},
        {"head of 8192", OriginServer::raw(fill + std::string(8192 - fill.size(), 'f')), "", kAnswerNotUnderstood},
        {"head of 8193", OriginServer::raw(fill + std::string(8193 - fill.size(), 'f')), "", kHeadTooLong},
        {"long head", Paced(OriginServer::raw(fill + std::string(9000, 'f') + "\r\n\r\nbody"), 0, 4000), "",
         kHeadTooLong},
        {"cut head", OriginServer::raw("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n"), "", kAnswerNotUnderstood},
        {"nothing", OriginServer::raw(""), "", kReceiveFailed},
        {"no status line", OriginServer::raw("<html>HTTP/0.9</html>\n\nrest"), "", kAnswerNotUnderstood},
        {"silent", silent, "", kNoConnection, "UrlLoadJob::RunConnections "},
        {"closed port", {}, "", kContactFailed, "UrlLoadJob::Start "},
        {"unknown host", {}, "", kContactFailed, "UrlLoadJob::Start "},
    };
    UrlLoadJob job({}, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        origin.set("/" + std::to_string(&c - cases), c.answer);
        std::string url = c.name == "closed port"    ? "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/"
                          : c.name == "unknown host" ? std::string("http://") + kUnresolvableHost + "/"
                                                     : origin.url("/" + std::to_string(&c - cases));
        job.SetAnswerTimeout(std::chrono::milliseconds(c.name == "silent" ? 300 : 60000));
        UrlConnection* connection = Fetch(job, url);
        FetchedAnswer answer;
        int got = get_url("GET", url, answer, {}, FetchWaits{5, 5, c.name == "silent" ? 50 : 5000});
        std::string report = TakeReport();
        EXPECT_EQ(connection->state, c.failure ? State::Failed : State::Done) << connection->failure;
        EXPECT_EQ(got, c.failure ? 0 : 1) << report;
        if (c.failure) {
            EXPECT_NE(connection->failure.find(c.reporter + std::string(c.failure)), std::string::npos)
                << connection->failure;
            EXPECT_NE(report.find(std::string("get_url() ") + c.failure), std::string::npos) << report;
        } else {
            EXPECT_EQ(connection->answer.Head().errorcode, 200);
            EXPECT_EQ(connection->answer.Body(), c.body);
            EXPECT_EQ(answer.body, c.body);
        }
        job.Release(connection);
    }
    const OriginServer::Request first = origin.requests().front();
    EXPECT_EQ(first.target + " " + first.header("Host") + " " + first.header("Pragma"),
              "/0 127.0.0.1:" + std::to_string(origin.port()) + " Vantlow");
    FetchedAnswer head;
    EXPECT_EQ(get_url("HEAD", origin.url("/0"), head, {}), 1);
    EXPECT_EQ(head.headText.substr(0, 15) + head.body + std::to_string(head.head.content_length), "HTTP/1.0 200 OK18");
    origin.stop();
}

TEST(Fetching, RequestLinesAndRequestsThatCannotBeMade) {
    UrlLoadJob job({}, nullptr);
    UrlConnection* check = job.RequestCheck(SiteUrl(nullptr, "http://www.example.org/x"), nullptr);
    EXPECT_EQ(check->targetHost + ":" + std::to_string(check->targetPort), "www.example.org:80");
    EXPECT_EQ(check->requestText.substr(0, 14), "HEAD /x HTTP/1");
    UrlConnection* load = job.RequestLoad(SiteUrl(nullptr, "http://h/a b\xE4.html"), nullptr);
    EXPECT_EQ(load->requestText.substr(0, load->requestText.find("\r\n")), "GET /a%20b%e4.html HTTP/1.0");
    EXPECT_EQ(job.RequestLoad(SiteUrl(nullptr, "no scheme"), nullptr), nullptr);
    EXPECT_NE(TakeReport().find(std::string("Url-Request ") + kUrlNotValid), std::string::npos);
    EXPECT_EQ(job.RequestLoad(SiteUrl(nullptr, "ftp://h/x"), nullptr), nullptr);
    EXPECT_NE(TakeReport().find(std::string("RequestCommon() ") + kCreatingRequest), std::string::npos);
    FetchedAnswer answer;
    EXPECT_EQ(get_url("GET", "index.html", answer, {}), 0);
    EXPECT_FALSE(fail_pending());
    EXPECT_EQ(get_url("PUT", "http://127.0.0.1/", answer, {}), 0);
    EXPECT_NE(TakeReport().find(std::string("get_url() ") + kCreatingRequest), std::string::npos);
}

// Through a proxy that keeps connections open, a job's requests share them,
// each answer going to its own request; one the proxy closes as the request
// arrives is asked again on a fresh connection, and no failure is told.
TEST(KeptConnections, RequestsShareThemAndOneClosedOnTheWayIsAskedAgain) {
    OriginServer proxy;
    proxy.set_keep_alive(true);
    UrlLoadJob job({"127.0.0.1", proxy.port()}, nullptr);
    job.SetAnswerTimeout(std::chrono::seconds(10));
    auto url = [](int i) { return "http://site.test/" + std::to_string(i); };
    for (int i = 0; i < 14; i++) proxy.set("/" + std::to_string(i), OriginServer::document(url(i)));
    auto batch = [&](int n, const char* method) {  // n requests at once
        std::vector<UrlConnection*> all;
        for (int i = 0; i < n; i++) all.push_back(job.RequestCommon(method, SiteUrl(nullptr, url(i)), nullptr));
        while (std::any_of(all.begin(), all.end(), [](auto* c) { return !c->Finished(); })) job.RunConnections();
        for (int i = 0; i < n; i++) EXPECT_EQ(all[i]->answer.Body() + all[i]->failure, *method == 'G' ? url(i) : "");
        for (UrlConnection* connection : all) job.Release(connection);
    };
    for (const char* method : {"HEAD", "GET", "HEAD", "GET"}) batch(1, method);
    EXPECT_EQ(proxy.connection_count(), 1u);
    batch(14, "GET");  // 1 kept and 13 new connections, of which 12 stay
    EXPECT_EQ(job.IdleConnections(), 12u);
    batch(14, "HEAD");  // 12 kept and 2 new
    EXPECT_EQ(proxy.connection_count(), 16u);
    proxy.set_handler([&proxy](const OriginServer::Request& request, OriginServer::Answer& answer) {
        return answer = proxy.request_count(request.path) > 1 ? OriginServer::document("again") : OriginServer::raw(""), true;
    });
    UrlConnection* again = Fetch(job, "http://site.test/closed");
    EXPECT_EQ(again->answer.Body() + again->failure + TakeReport(), "again");
    EXPECT_EQ(proxy.connection_count(), 17u);
}

// Only an answer that says keep-alive and ends whole by its length leaves its
// connection open; any other is read to its close, as always.
TEST(KeptConnections, OnlyWholeAnswersMarkedKeepAliveLeaveTheirConnectionOpen) {
    OriginServer proxy;  // closes after every raw answer: the next fetch finds a kept one closed
    const std::string kept = "HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: ";
    struct Case {
        std::string name, raw, body;
        size_t idle, limit = SIZE_MAX;
    } cases[] = {
        {"kept", kept + "2\r\n\r\nok", "ok", 1},
        {"other-spelling", "HTTP/1.0 200 OK\r\nproxy-connection: Keep-Alive\r\ncontent-length: 2\r\n\r\nok", "ok", 1},
        {"304", "HTTP/1.0 304 Not Modified\r\nConnection: keep-alive\r\n\r\n", "", 1},
        {"no-marker", "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok", "ok", 0},
        {"cut-short", kept + "9\r\n\r\nshort", "short", 0},
        {"bytes-beyond", kept + "2\r\n\r\nokEXTRA", "ok", 0},
        {"body-limit", kept + "6\r\n\r\nabcdef", "abcd", 0, 4},
    };
    UrlLoadJob job({"127.0.0.1", proxy.port()}, nullptr);
    for (const Case& c : cases) {
        proxy.set("/" + c.name, OriginServer::raw(c.raw));
        UrlConnection* connection = Fetch(job, "http://site.test/" + c.name, "GET", c.limit);
        EXPECT_EQ(connection->answer.Body() + "|" + connection->failure + TakeReport(), c.body + "|") << c.name;
        EXPECT_EQ(job.IdleConnections(), c.idle) << c.name;
        job.Release(connection);
    }
}
