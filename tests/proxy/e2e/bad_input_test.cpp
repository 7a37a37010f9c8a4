// Bad requests, all at once: malformed, oversized, silent, slow and
// vanishing clients. The proxy answers what deserves an answer, drops the
// rest, keeps serving the others, and the cachedb it writes at the end is
// sound.
#include "testsupport/HarbordFixture.h"
#include "testsupport/OriginServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace e2e;

namespace {

enum class Client { sends_all, one_byte_at_a_time, leaves_early };

TEST(E2eBadInput, BadRequestsAreAnsweredOrDroppedWhileOthersAreServed) {
    OriginServer origin;
    for (const char* path : {"/ok", "/form"})
        origin.set(path, OriginServer::document(path));
    // Long enough that a client leaving early is gone before it has all been sent.
    OriginServer::Answer huge = OriginServer::document(std::string(1 << 20, 'h'), "text/plain");
    huge.dribble_bytes = 65536;
    huge.dribble_ms = 20;
    origin.set("/huge", huge);
    // No request for this one may reach the origin.
    std::string never = origin.url("/never"), form = origin.url("/form");
    // A GET whose whole head (empty line included) is exactly size bytes.
    auto head_of = [&](size_t size, const std::string& path) {
        std::string start = "GET " + origin.url(path) + " HTTP/1.0\r\nX-Padding: ";
        return start + std::string(size - start.size() - 4, 'x') + "\r\n\r\n";
    };
    struct Case {
        const char* name;
        std::string request;
        std::string answer;    // start of the answer's first line, "" = dropped unanswered
        std::string path = {}; // asked at the origin, with this body
        std::string body = {};
        Client client = Client::sends_all;
    } cases[] = {
        // One head the parser refuses (the refusals themselves: URLRequest_test).
        {"lower-case method", "get " + never + " HTTP/1.0\r\n\r\n",
         "HTTP/1.0 501 unsupported method 'get' used"},
        {"head of 8193 bytes", head_of(8193, "/never"), "HTTP/1.0 431"},
        {"head of 8192 bytes", head_of(8192, "/ok"), "HTTP/1.0 200", "/ok"},
        {"head without end", "GET " + never + " HTTP/1.0\r\nX: " + std::string(20000, 'y'), "HTTP/1.0 431"},
        {"post body of 32769 bytes", proxy_request("POST", never, {}, std::string(32769, 'b')), ""},
        {"post body of 32768 bytes", proxy_request("POST", form, {}, std::string(32768, 'b')),
         "HTTP/1.0 200", "/form", std::string(32768, 'b')},
        {"post body beyond its length",
         "POST " + form + " HTTP/1.0\r\nContent-Length: 5\r\n\r\nhelloEXTRA", "HTTP/1.0 200",
         "/form", "hello"},
        {"silent", "", ""},
        {"head cut off", "GET " + never + " HTTP/1.0\r\nUser-", ""},
        {"slow", proxy_request("POST", form, {"Accept: */*"}, "slowly"), "HTTP/1.0 200", "/form",
         "slowly", Client::one_byte_at_a_time},
        {"leaving in the head", "GET " + never + " HTTP/1.0\r\nAcc", "", "", "",
         Client::leaves_early},
        {"leaving in the answer", proxy_request("GET", origin.url("/huge")), "", "/huge", "",
         Client::leaves_early},
    };
    // A short timeout, so that the silent clients are dropped soon.
    Harbord proxy({"-timeout", "2"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::vector<std::string> answers(std::size(cases));
    std::vector<std::thread> clients;
    for (size_t i = 0; i < std::size(cases); i++) {
        clients.emplace_back([&, i] {
            const Case& c = cases[i];
            int fd = connect_loopback(proxy.port());
            size_t piece = c.client == Client::one_byte_at_a_time ? 1 : c.request.size();
            for (size_t at = 0; at < c.request.size(); at += piece) {
                ::send(fd, c.request.data() + at, piece, MSG_NOSIGNAL);
                if (piece == 1) std::this_thread::sleep_for(std::chrono::milliseconds(3));
            }
            // Leaving early, it closes before a byte of the answer has been read.
            if (c.client != Client::leaves_early) answers[i] = receive_all(fd);
            ::close(fd);
        });
    }
    for (std::thread& t : clients)
        t.join();
    for (size_t i = 0; i < std::size(cases); i++) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        HttpResult answer = parse_http(answers[i]);
        EXPECT_EQ(answer.head.substr(0, c.answer.size()), c.answer);
        EXPECT_TRUE(!c.answer.empty() || answers[i].empty()) << answers[i];
        if (answer.status == 501) {
            EXPECT_NE(answer.body.find("<H1>Errorcode 501</H1>"), std::string::npos) << answer.body;
            EXPECT_EQ(answer.header("Content-Length"), std::to_string(answer.body.size()));
        }
        if (c.path.empty()) continue;
        // Also the request of a client that left: the proxy goes on without it.
        EXPECT_TRUE(eventually([&] {
            for (const OriginServer::Request& r : origin.requests())
                if (r.path == c.path && r.body == c.body) return true;
            return false;
        }));
    }
    EXPECT_EQ(origin.request_count("/never"), 0u);
    EXPECT_EQ(proxy.get(origin.url("/ok")).body, "/ok");

    // The document whose client left was not kept as if it were whole.
    EXPECT_TRUE(eventually([&] { return proxy.cache_files_for(origin.url("/huge")).empty(); }));
    ASSERT_EQ(proxy.stop(), 0) << proxy.log();
    size_t entries = 0;
    EXPECT_EQ(check_cachedb(proxy.cachedir(), &entries), "");
    EXPECT_EQ(entries, 1u);
}

} // namespace
