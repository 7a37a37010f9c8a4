// Who may use the proxy and how long a client may take: the allowed client
// networks, this machine's loopback closed to remote clients, and slow
// clients that must not shut the others out.
#include "testsupport/HarbordFixture.h"
#include "testsupport/OriginServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace e2e;

namespace {

const std::string TITLE = "<HTML>\n<TITLE>Error from Quaylo</TITLE>\n<BODY><H2>Error from "
                          "Quaylo:</H2>\n<P>";

TEST(E2eClientLimits, ClientsOutsideTheAllowedNetworksAreRefusedBeforeAnyWork) {
    OriginServer origin;
    Harbord proxy({"-clients", "10.0.0.0/8, 192.168.0.0/16", "-debug", "1"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    HttpResult refused = proxy.get(origin.url("/doc"));
    EXPECT_EQ(refused.head.substr(0, refused.head.find('\r')), "HTTP/1.0 403 Forbidden");
    EXPECT_EQ(refused.body, TITLE + "Your network is not allowed to use this proxy.</P></BODY></HTML>");
    EXPECT_EQ(origin.request_count(), 0u);
    EXPECT_NE(proxy.log().find("Relais: client 127.0.0.1 is not in 'clients': refused"),
              std::string::npos);
    // Nothing of the cache was touched: no user was registered (an index of
    // 24 bytes and 8 of an empty extension).
    ASSERT_EQ(proxy.stop(), 0) << proxy.log();
    EXPECT_EQ(read_file(proxy.cachedir() + "/cachedb").size(), 32u);
}

TEST(E2eClientLimits, ARemoteClientCannotReachLoopbackNorTheClientListThroughTheProxy) {
    std::istringstream words(run_command({"hostname", "-I"}).out);
    std::string outside;
    while (words >> outside && (outside.rfind("127.", 0) == 0 || outside.find(':') != std::string::npos))
        outside.clear();
    if (outside.empty()) GTEST_SKIP() << "this machine has no IPv4 address outside 127/8";
    OriginServer origin;
    origin.set("/doc", OriginServer::document("doc"));
    Harbord proxy({"-clients", "0.0.0.0/0", "-debug", "1"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    // Open and closed ports answer alike; a name is judged by its address.
    for (std::string url : {origin.url("/doc"), "http://localhost:" + std::to_string(origin.port()) + "/",
                            std::string("http://127.0.0.2:1/closed")}) {
        SCOPED_TRACE(url);
        HttpResult answer = proxy.curl(url, {"--interface", outside});
        EXPECT_EQ(answer.status, 403) << answer.head;
        EXPECT_EQ(answer.body, TITLE + "The URL<A HREF=\"" + url + "\">" + url +
                                   "</A> points to this machine itself, which the proxy "
                                   "reaches only for clients on this machine.</P></BODY></HTML>");
    }
    EXPECT_EQ(origin.request_count(), 0u);
    EXPECT_NE(proxy.log().find("is this machine's loopback, refused for client " + outside),
              std::string::npos);
    // The list is not the web's to change, not even an admin's.
    HttpResult page = proxy.get("http://quaylo/options?clients=10.9.9.0/24&token=" + proxy.token());
    EXPECT_NE(page.body.find("'clients' can be changed only on the command line or in the setup file"),
              std::string::npos)
        << page.body;
    EXPECT_EQ(read_file(proxy.dir() + "/harbord.cfg").find("10.9.9.0/24"), std::string::npos);
}

// Whether the proxy has closed fd (read without waiting; nothing is taken).
bool closed_by_proxy(int fd) {
    char byte = 0;
    return ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

TEST(E2eClientLimits, SlowClientsInEverySlotMakeRoomForANewOne) {
    OriginServer origin;
    origin.set("/doc", OriginServer::document("doc"));
    Harbord proxy({"-timeout", "120", "-debug", "1"}); // maxcon 16
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::vector<int> slow;
    for (int i = 0; i < 16; i++)
        slow.push_back(connect_loopback(proxy.port()));
    // Eight send nothing, eight a header byte a second.
    std::atomic<bool> stop{false};
    std::thread dribbler([&] {
        std::string head = "GET " + origin.url("/never") + " HTTP/1.0\r\nUser-Agent: slow";
        for (size_t at = 0; !stop && at < head.size(); at++) {
            for (int i = 8; i < 16; i++)
                ::send(slow[i], &head[at], 1, MSG_NOSIGNAL);
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
    });
    EXPECT_EQ(proxy.get(origin.url("/doc")).body, "doc");
    // The one waiting longest made room; the others still wait.
    EXPECT_TRUE(eventually([&] { return closed_by_proxy(slow[0]); })) << proxy.log();
    for (int i = 1; i < 16; i++)
        EXPECT_FALSE(closed_by_proxy(slow[i])) << i;
    stop = true;
    dribbler.join();
    for (int fd : slow)
        ::close(fd);
    EXPECT_NE(proxy.log().find("dropped connection 0, its request head incomplete"),
              std::string::npos);
}

TEST(E2eClientLimits, TheWholeRequestHeadIsDueWithinTheTimeout) {
    Harbord proxy({"-timeout", "2"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    int fd = connect_loopback(proxy.port());
    // A byte every half second never lets a single wait run out.
    std::string head = "GET http://127.0.0.1:1/ HTTP/1.0\r\nX-Slow: " + std::string(200, 's');
    bool closed = false;
    for (size_t at = 0; at < head.size() && !closed; at++) {
        ::send(fd, &head[at], 1, MSG_NOSIGNAL);
        pollfd wait{fd, POLLIN, 0};
        closed = ::poll(&wait, 1, 500) > 0 && closed_by_proxy(fd);
    }
    ::close(fd);
    EXPECT_TRUE(closed);
}

TEST(E2eClientLimits, AdminPagesAnswerWhileEverySlotWaitsOnAnOrigin) {
    OriginServer origin;
    OriginServer::Answer stalled = OriginServer::document("late");
    stalled.held = true;
    origin.set("/stalled", stalled);
    origin.set("/doc", OriginServer::document("doc"));
    Harbord proxy({"-maxcon", "1", "-timeout", "120"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    auto first = std::async(std::launch::async, [&] { return proxy.get(origin.url("/stalled")); });
    ASSERT_TRUE(origin.wait_for_requests(1, 10000));
    // A request for elsewhere waits for the slot; the admin pages do not.
    auto second = std::async(std::launch::async, [&] { return proxy.get(origin.url("/doc")); });
    EXPECT_EQ(proxy.get("http://quaylo/").status, 200);
    EXPECT_EQ(origin.request_count("/doc"), 0u);
    origin.release_held();
    EXPECT_EQ(first.get().body, "late");
    EXPECT_EQ(second.get().body, "doc");
}

} // namespace
