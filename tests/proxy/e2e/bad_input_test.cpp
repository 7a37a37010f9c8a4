// Bad input from both sides: malformed and oversized requests, silent, slow
// and vanishing clients, origins that reset or talk nonsense. The proxy
// answers what deserves an answer, drops the rest, keeps serving others, and
// the cachedb it writes at the end is sound.
#include "testsupport/HarbordFixture.h"
#include "testsupport/OriginServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <ctime>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace e2e;

namespace {

const time_t AN_HOUR_AGO = ::time(nullptr) - 3600;

// A GET whose whole head (empty line included) is exactly size bytes.
std::string request_of_size(const std::string& url, size_t size) {
    std::string start = "GET " + url + " HTTP/1.0\r\nX-Padding: ";
    std::string end = "\r\n\r\n";
    return start + std::string(size - start.size() - end.size(), 'x') + end;
}

int connect_to(uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) < 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

class E2eBadInput : public ::testing::Test {
protected:
    OriginServer origin;
    void SetUp() override {
        ASSERT_TRUE(origin.listening());
        origin.set("/ok.html", OriginServer::document("still fine\n", "text/html", AN_HOUR_AGO));
    }
    // A normal request still works.
    void expect_normal_service(const Harbord& proxy) {
        HttpResult answer = proxy.get(origin.url("/ok.html"));
        EXPECT_EQ(answer.status, 200);
        EXPECT_EQ(answer.body, "still fine\n");
    }
};

TEST_F(E2eBadInput, MalformedRequestsGetTheRequestErrorPage) {
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    struct Case {
        std::string request;
        std::string reason;
    } cases[] = {
        {"get http://127.0.0.1/ HTTP/1.0\r\n\r\n", "unsupported method 'get' used"},
        {"PUT http://127.0.0.1/ HTTP/1.0\r\n\r\n", "unsupported method 'PUT' used"},
        {"GET /index.html HTTP/1.0\r\n\r\n", "no protocol specified"},
        {"GET ftp://127.0.0.1/ HTTP/1.0\r\n\r\n", "protocol 'ftp' not supported"},
        {"GET http://127.0.0.1/ HTTP/1.0\r\nAccept:text/html\r\n\r\n",
         "invalid header-line found in request"},
        {"GET http://127.0.0.1/ HTTP/1.0\r\nDate: yesterday\r\n\r\n",
         "invalid date found in header-line"},
        {"GET http://127.0.0.1/<b>x</b> HTTP/1.0\r\n: broken\r\n\r\n",
         "invalid header-line found in request"},
    };
    for (const Case& c : cases) {
        HttpResult answer = proxy.send(c.request);
        EXPECT_EQ(answer.status, 501) << c.request;
        EXPECT_EQ(answer.head.substr(0, answer.head.find("\r\n")), "HTTP/1.0 501 " + c.reason);
        EXPECT_NE(answer.body.find("<H1>Errorcode 501</H1>"), std::string::npos);
        EXPECT_EQ(answer.header("Content-Length"), std::to_string(answer.body.size()));
    }
    EXPECT_EQ(origin.request_count(), 0u);
    expect_normal_service(proxy);
}

TEST_F(E2eBadInput, RequestHeadOf8193BytesIsDroppedAnd8192IsServed) {
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::string url = origin.url("/ok.html");
    EXPECT_EQ(proxy.send(request_of_size(url, 8193)).raw, "");
    EXPECT_EQ(origin.request_count(), 0u);
    HttpResult fits = proxy.send(request_of_size(url, 8192));
    EXPECT_EQ(fits.status, 200);
    EXPECT_EQ(fits.body, "still fine\n");
    // A head that never ends is dropped once it passes the limit.
    EXPECT_EQ(proxy.send("GET " + url + " HTTP/1.0\r\nX: " + std::string(20000, 'y')).raw, "");
    expect_normal_service(proxy);
}

TEST_F(E2eBadInput, PostBodyOf32769BytesIsDropped) {
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    origin.set("/form", OriginServer::document("thanks\n"));
    std::string url = origin.url("/form");
    EXPECT_EQ(proxy.send(proxy_request("POST", url, {}, std::string(32769, 'b'))).raw, "");
    EXPECT_EQ(origin.request_count("/form"), 0u);
    HttpResult fits = proxy.send(proxy_request("POST", url, {}, std::string(32768, 'b')));
    EXPECT_EQ(fits.body, "thanks\n");
    ASSERT_EQ(origin.request_count("/form"), 1u);
    EXPECT_EQ(origin.requests().back().body.size(), 32768u);
    // A body longer than its Content-Length is cut to it.
    HttpResult longer = proxy.send("POST " + url + " HTTP/1.0\r\nContent-Length: 5\r\n\r\nhelloEXTRA");
    EXPECT_EQ(longer.body, "thanks\n");
    EXPECT_EQ(origin.requests().back().body, "hello");
}

TEST_F(E2eBadInput, SilentClientIsDroppedAfterTheTimeoutWhileOthersAreServed) {
    Harbord proxy({"-timeout", "2"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    int silent = connect_to(proxy.port());
    ASSERT_GE(silent, 0);
    int half = connect_to(proxy.port());
    ASSERT_GE(half, 0);
    std::string part = "GET " + origin.url("/ok.html") + " HTTP/1.0\r\nUser-";
    ASSERT_EQ(::send(half, part.data(), part.size(), 0), ssize_t(part.size()));

    // Meanwhile the proxy serves others.
    expect_normal_service(proxy);

    // Both are closed without an answer once the timeout has passed.
    for (int fd : {silent, half}) {
        timeval limit{15, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        char byte;
        EXPECT_EQ(::recv(fd, &byte, 1, 0), 0);
        ::close(fd);
    }
    EXPECT_EQ(origin.request_count("/ok.html"), 1u);
}

TEST_F(E2eBadInput, SlowClientIsServed) {
    Harbord proxy({"-timeout", "2"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    int fd = connect_to(proxy.port());
    ASSERT_GE(fd, 0);
    std::string request = proxy_request("GET", origin.url("/ok.html"), {"Accept: */*"});
    for (char c : request) {
        ASSERT_EQ(::send(fd, &c, 1, 0), 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    std::string answer;
    char buffer[4096];
    timeval limit{15, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, size_t(n));
    ::close(fd);
    HttpResult parsed = parse_http(answer);
    EXPECT_EQ(parsed.status, 200);
    EXPECT_EQ(parsed.body, "still fine\n");
}

TEST_F(E2eBadInput, ClientClosingMidRequestOrMidAnswerDoesNotHurtOthers) {
    Harbord proxy;
    ASSERT_TRUE(proxy.running()) << proxy.log();
    // Closes in the middle of its head.
    int fd = connect_to(proxy.port());
    std::string part = "GET " + origin.url("/ok.html") + " HTTP/1.0\r\nAcc";
    ::send(fd, part.data(), part.size(), 0);
    ::close(fd);
    // Closes right after asking for a big document.
    origin.set("/huge.bin", OriginServer::document(std::string(4 << 20, 'h'), "application/octet-stream",
                                                   AN_HOUR_AGO));
    fd = connect_to(proxy.port());
    std::string request = proxy_request("GET", origin.url("/huge.bin"));
    ::send(fd, request.data(), request.size(), 0);
    char some[1000];
    ::recv(fd, some, sizeof some, 0);
    ::close(fd);
    expect_normal_service(proxy);
    // The abandoned document was not kept as complete.
    EXPECT_TRUE(eventually([&] {
        auto files = proxy.cache_files_for(origin.url("/huge.bin"));
        return files.empty() || files[0].body.size() == (4u << 20);
    }));
}

TEST_F(E2eBadInput, EverythingAtOnceLeavesASoundCachedb) {
    Harbord proxy({"-timeout", "2"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    OriginServer::Answer reset = OriginServer::document(std::string(200000, 'r'));
    reset.cut_after = 70000;
    reset.reset = true;
    origin.set("/reset", reset);
    origin.set("/garbage", OriginServer::raw("%%%% nonsense %%%%\r\n\r\n"));
    OriginServer::Answer cut = OriginServer::document(std::string(100000, 'c'));
    cut.cut_after = 50000;
    origin.set("/cut", cut);
    for (int i = 0; i < 4; i++)
        origin.set("/good" + std::to_string(i),
                   OriginServer::document(std::string(5000 + i, 'g'), "text/html", AN_HOUR_AGO));

    std::vector<std::thread> abusers;
    abusers.emplace_back([&] { proxy.send("BREW coffee://pot HTTP/1.0\r\n\r\n"); });
    abusers.emplace_back([&] { proxy.send(request_of_size(origin.url("/good0"), 9000)); });
    abusers.emplace_back([&] { proxy.send(proxy_request("POST", origin.url("/good1"), {}, std::string(40000, 'p'))); });
    abusers.emplace_back([&] { exchange(proxy.port(), "", 4000); });
    abusers.emplace_back([&] { proxy.get(origin.url("/reset")); });
    abusers.emplace_back([&] { proxy.get(origin.url("/garbage")); });
    abusers.emplace_back([&] { proxy.get(origin.url("/cut")); });
    abusers.emplace_back([&] { exchange(proxy.port(), std::string("\0\1\2\3\r\n\r\n", 8)); });
    for (int i = 0; i < 4; i++)
        abusers.emplace_back([&, i] {
            HttpResult r = proxy.get(origin.url("/good" + std::to_string(i)));
            EXPECT_EQ(r.body.size(), size_t(5000 + i));
        });
    for (std::thread& t : abusers) t.join();
    expect_normal_service(proxy);

    ASSERT_EQ(proxy.stop(), 0) << proxy.log();
    size_t entries = 0;
    EXPECT_EQ(check_cachedb(proxy.cachedir(), &entries), "");
    // The four good pages and /ok.html; nothing broken was kept.
    EXPECT_EQ(entries, 5u);
    EXPECT_EQ(proxy.log().find("MALFUNCTION:\nUrlGet"), std::string::npos) << proxy.log();
}

} // namespace
