// Who may use the proxy and how long a client may take: the allowed client
// networks, this machine's loopback closed to remote clients, and slow
// clients that must not shut the others out.
#include "testsupport/HarbordFixture.h"
#include "testsupport/OriginServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <ifaddrs.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace e2e;

namespace {

// An IPv4 address of this machine outside 127/8, 0 when there is none.
uint32_t outside_address() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return 0;
    uint32_t found = 0;
    for (ifaddrs* entry = list; entry && !found; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
        uint32_t a = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr;
        if ((ntohl(a) >> 24) != 127) found = a;
    }
    ::freeifaddrs(list);
    return found;
}

// Sends request to the proxy from source (network byte order) and reads the answer.
HttpResult exchange_from(uint32_t source, uint16_t port, const std::string& request) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in from{}, to{};
    from.sin_family = to.sin_family = AF_INET;
    from.sin_addr.s_addr = source;
    to.sin_addr.s_addr = source;
    to.sin_port = htons(port);
    std::string raw;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0 &&
        ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size()))
        raw = receive_all(fd);
    ::close(fd);
    return parse_http(raw);
}

const std::string TITLE = "<HTML>\n<TITLE>Error from Quaylo</TITLE>\n<BODY><H2>Error from "
                          "Quaylo:</H2>\n<P>";

TEST(E2eClientLimits, ClientsOutsideTheAllowedNetworksAreRefusedBeforeAnyWork) {
    OriginServer origin;
    origin.set("/doc", OriginServer::document("doc"));
    Harbord proxy({"-clients", "10.0.0.0/8, 192.168.0.0/16", "-debug", "1"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    HttpResult refused = proxy.get(origin.url("/doc"));
    EXPECT_EQ(refused.head.substr(0, refused.head.find('\r')), "HTTP/1.0 403 Forbidden");
    EXPECT_EQ(refused.body, TITLE + "Your network is not allowed to use this proxy.</P></BODY></HTML>");
    EXPECT_EQ(refused.header("Content-Length"), std::to_string(refused.body.size()));
    EXPECT_EQ(origin.request_count(), 0u);
    EXPECT_NE(proxy.log().find("Relais: client 127.0.0.1 is not in 'clients': refused"),
              std::string::npos)
        << proxy.log();
    // Nothing of the cache was touched: the users list stays empty.
    ASSERT_EQ(proxy.stop(), 0) << proxy.log();
    size_t entries = 1;
    EXPECT_EQ(check_cachedb(proxy.cachedir(), &entries), "");
    EXPECT_EQ(entries, 0u);
}

TEST(E2eClientLimits, TheClientListIsNotChangedThroughTheWeb) {
    Harbord proxy({"-debug", "1"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    HttpResult page = proxy.get("http://quaylo/options?clients=10.9.9.0/24");
    EXPECT_NE(page.body.find("option 'clients' is set only on the command line or in the setup "
                             "file"),
              std::string::npos)
        << page.body;
    EXPECT_EQ(read_file(proxy.dir() + "/harbord.cfg").find("10.9.9.0/24"), std::string::npos);
    EXPECT_EQ(proxy.get("http://quaylo/").status, 200); // loopback still allowed
    EXPECT_NE(proxy.log().find("apply_options option 'clients' is set only"), std::string::npos);
}

TEST(E2eClientLimits, ARemoteClientCannotMakeTheProxyFetchFromLoopback) {
    uint32_t outside = outside_address();
    if (outside == 0) GTEST_SKIP() << "this machine has no address outside 127/8";
    OriginServer origin;
    origin.set("/doc", OriginServer::document("doc"));
    Harbord proxy({"-clients", "0.0.0.0/0", "-debug", "1"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    std::string port = ":" + std::to_string(origin.port());
    // Open and closed ports answer alike; a name is judged by its address.
    for (std::string url : {origin.url("/doc"), "http://localhost" + port + "/doc",
                            std::string("http://127.0.0.2:1/closed")}) {
        SCOPED_TRACE(url);
        HttpResult answer = exchange_from(outside, proxy.port(), proxy_request("GET", url));
        EXPECT_EQ(answer.status, 403) << answer.head;
        EXPECT_EQ(answer.body, TITLE + "The URL<A HREF=\"" + url + "\">" + url +
                                   "</A> points to this machine itself, which the proxy "
                                   "reaches only for clients on this machine.</P></BODY></HTML>");
    }
    EXPECT_EQ(origin.request_count(), 0u);
    EXPECT_NE(proxy.log().find("is this machine's loopback, refused for client"),
              std::string::npos);
    // The same from this machine's loopback is served.
    EXPECT_EQ(proxy.get(origin.url("/doc")).body, "doc");
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
    // Eight send nothing, eight a header byte a second.
    std::vector<int> slow;
    for (int i = 0; i < 16; i++) {
        slow.push_back(connect_loopback(proxy.port()));
        ASSERT_GE(slow.back(), 0);
    }
    std::atomic<bool> stop{false};
    std::thread dribbler([&] {
        std::string head = "GET " + origin.url("/never") + " HTTP/1.0\r\nUser-Agent: slow";
        for (size_t at = 0; !stop && at < head.size(); at++) {
            for (int i = 8; i < 16; i++)
                ::send(slow[i], &head[at], 1, MSG_NOSIGNAL);
            for (int tick = 0; tick < 10 && !stop; tick++)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    std::shared_ptr<void> end(nullptr, [&](void*) {
        stop = true;
        dribbler.join();
        for (int fd : slow)
            ::close(fd);
    });
    EXPECT_EQ(proxy.get(origin.url("/doc")).body, "doc");
    // The one waiting longest made room; the others still wait.
    EXPECT_TRUE(eventually([&] { return closed_by_proxy(slow[0]); })) << proxy.log();
    for (int i = 1; i < 16; i++)
        EXPECT_FALSE(closed_by_proxy(slow[i])) << i;
    EXPECT_EQ(origin.request_count("/never"), 0u);
    EXPECT_NE(proxy.log().find("all connections taken: dropped connection 0, its request head "
                               "incomplete"),
              std::string::npos)
        << proxy.log();
}

TEST(E2eClientLimits, TheWholeRequestHeadIsDueWithinTheTimeout) {
    Harbord proxy({"-timeout", "2"});
    ASSERT_TRUE(proxy.running()) << proxy.log();
    int fd = connect_loopback(proxy.port());
    ASSERT_GE(fd, 0);
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
    HttpResult first, second;
    std::thread one([&] { first = proxy.get(origin.url("/stalled")); });
    std::thread two;
    std::shared_ptr<void> end(nullptr, [&](void*) {
        origin.release_held();
        for (std::thread* t : {&one, &two})
            if (t->joinable()) t->join();
    });
    ASSERT_TRUE(origin.wait_for_requests(1, 10000));
    // A request for elsewhere waits for the slot; the admin pages do not.
    two = std::thread([&] { second = proxy.get(origin.url("/doc")); });
    EXPECT_EQ(proxy.get("http://quaylo/").status, 200);
    EXPECT_EQ(origin.request_count("/doc"), 0u);
    origin.release_held();
    one.join();
    two.join();
    EXPECT_EQ(first.body, "late");
    EXPECT_EQ(second.body, "doc");
}

} // namespace
