// The request worker against a scripted parent: the exact command records it
// exchanges over the channel for each way a request can go, and how it reacts
// to an abort or a wrong answer from the server.
#include "foundation/ArgList.h"
#include "foundation/BufStream.h"
#include "foundation/Fail.h"
#include "foundation/FileStream.h"
#include "foundation/InterNetServer.h"
#include "foundation/ObjectStream.h"
#include "foundation/Socket.h"
#include "http/GMTdate.h"
#include "http/URLAnswer.h"
#include "proxy/server/Command.h"
#include "proxy/server/UrlGet.h"
#include "testsupport/HarbordFixture.h"
#include "testsupport/OriginServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace e2e;

namespace {

namespace fs = std::filesystem;

const time_t AN_HOUR_AGO = ::time(nullptr) - 3600;

Str S(const std::string& s) { return Str(s.data(), uint32_t(s.size())); }
std::string text(const Str& s) { return std::string(s.data(), s.length()); }

struct Options {
    int32_t timeout = 5;
    bool offline = false;
    std::string proxyhost;
    int32_t proxyport = 8080;
    bool debug = false;
    int32_t updtime = 36000;
    int32_t language = 0;
};

// The server's end of the channel, scripted by the test.
class FakeParent {
public:
    FakeParent() : listener_(0, loopback_address()) {}

    uint16_t port() const { return listener_.port(); }

    bool accept() {
        pollfd fd{listener_.handle(), POLLIN, 0};
        if (::poll(&fd, 1, 10000) <= 0) return false;
        channel_ = listener_.accept_connection();
        if (!channel_) return false;
        // A worker that stops talking must not hang the test.
        timeval limit{10, 0};
        ::setsockopt(channel_->handle(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        return true;
    }

    int32_t code() {
        BinarySource source(*channel_);
        int32_t code = -1;
        source >> code;
        if (source.error()) {
            fail_take();
            return -1;
        }
        return code;
    }

    template <typename... Fields> bool read(Fields&... fields) {
        BinarySource source(*channel_);
        (source >> ... >> fields);
        if (source.error()) fail_take();
        return !source.error();
    }

    template <typename... Fields> void send(int32_t code, const Fields&... fields) {
        BinaryDrain drain(*channel_);
        drain << code;
        ((drain << fields), ...);
    }

    void send_options(const Options& o) {
        send(int32_t(CMD_OPTIONS), o.timeout, o.offline, S(o.proxyhost), o.proxyport, o.debug,
             o.updtime, o.language, Str(), int32_t(1080), Str());
    }

    // GetOptions, then Options.
    bool handshake(const Options& o) {
        if (!accept() || code() != CMD_GET_OPTIONS) return false;
        send_options(o);
        return true;
    }

    // True when the worker closed its channel without another message.
    bool closed_silently() {
        char byte;
        return ::recv(channel_->handle(), &byte, 1, 0) == 0;
    }

private:
    InterNetServer listener_;
    std::unique_ptr<Socket> channel_;
};

// A connected client connection: the test keeps one end, the worker gets the other.
struct ClientPair {
    int client = -1;
    int worker_side = -1;

    ClientPair() {
        InterNetServer listener(0, loopback_address());
        client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in target{};
        target.sin_family = AF_INET;
        target.sin_port = htons(listener.port());
        target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(client, reinterpret_cast<const sockaddr*>(&target), sizeof target);
        std::unique_ptr<Socket> accepted = listener.accept_connection();
        worker_side = ::dup(accepted->handle());
        timeval limit{10, 0};
        ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    }
    ~ClientPair() {
        ::close(client);
        ::close(worker_side);
    }

    void send(const std::string& bytes) const { ::send(client, bytes.data(), bytes.size(), MSG_NOSIGNAL); }

    // What the worker wrote, once the server side (here: the test) closed it.
    std::string answer() {
        ::shutdown(worker_side, SHUT_WR);
        std::string all;
        char buffer[65536];
        for (ssize_t n; (n = ::recv(client, buffer, sizeof buffer, 0)) > 0;) all.append(buffer, size_t(n));
        return all;
    }
};

// Runs a worker on its own thread, as the server does.
class Worker {
public:
    Worker(int socket, uint16_t icport) {
        thread_ = std::thread([this, socket, icport] {
            ArgList args;
            args.append("-socket");
            args.append(Str::from_ulong(uint32_t(socket)));
            args.append("-remip");
            args.append(Str::from_ulong(16777343));
            args.append("-icport");
            args.append(Str::from_ulong(icport));
            urlget_main("harbord", args);
            done_ = true;
        });
    }
    ~Worker() { join(); }
    void join() {
        if (thread_.joinable()) thread_.join();
    }
    bool done() const { return done_; }

private:
    std::thread thread_;
    std::atomic<bool> done_{false};
};

// A cache file as the worker writes it.
void write_cache_file(const std::string& path, const URLAnswer& answer, const std::string& url,
                      const std::string& body) {
    OFileStream file(S(path), O_CREAT | O_TRUNC);
    BufWriteable buffer(file);
    BinaryDrain drain(buffer);
    drain << answer << S(url);
    drain.write_bytes(body.data(), uint32_t(body.size()));
    buffer.flush();
}

class E2eWorkerChannel : public ::testing::Test {
protected:
    OriginServer origin;
    std::string dir;

    void SetUp() override {
        ASSERT_TRUE(origin.listening());
        char pattern[] = "/tmp/harbord-worker-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        std::error_code error;
        fs::remove_all(dir, error);
    }
};

TEST_F(E2eWorkerChannel, RelayedDocumentIsLockedWrittenAndReleasedWithItsSize) {
    origin.set("/doc", OriginServer::document("relayed body\n", "text/plain", AN_HOUR_AGO));
    std::string url = origin.url("/doc");
    FakeParent parent;
    ClientPair client;
    Worker worker(client.worker_side, parent.port());
    ASSERT_TRUE(parent.handshake(Options()));
    client.send("GET " + url + " HTTP/1.0\r\n\r\n");

    ASSERT_EQ(parent.code(), CMD_READ_LOCK);
    Str asked;
    ASSERT_TRUE(parent.read(asked));
    EXPECT_EQ(text(asked), url);
    parent.send(int32_t(CMD_READ_LOCK_ACK), GMTdate(), Str(), uint32_t(0), uint32_t(0), false,
                int32_t(500));

    ASSERT_EQ(parent.code(), CMD_WRITE_LOCK);
    Str write_url;
    GMTdate date;
    bool headeronly = true;
    int32_t status = 0;
    ASSERT_TRUE(parent.read(write_url, date, headeronly, status));
    EXPECT_EQ(text(write_url), url);
    EXPECT_TRUE(date.specified());
    EXPECT_FALSE(headeronly);
    EXPECT_EQ(status, 200);
    std::string file = dir + "/4711";
    parent.send(int32_t(CMD_WRITE_LOCK_ACK), S(file), uint32_t(4711));

    ASSERT_EQ(parent.code(), CMD_RELEASE_WRITE_LOCK);
    uint32_t id = 0;
    uint32_t bytes = 0;
    ASSERT_TRUE(parent.read(id, bytes));
    EXPECT_EQ(id, 4711u);
    EXPECT_EQ(bytes, 13u);
    EXPECT_EQ(parent.code(), CMD_FINISHED);
    worker.join();

    CacheFile stored = read_cache_file(file);
    EXPECT_TRUE(stored.valid);
    EXPECT_EQ(stored.url, url);
    EXPECT_EQ(stored.body, "relayed body\n");
    HttpResult answer = parse_http(client.answer());
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, "relayed body\n");
}

TEST_F(E2eWorkerChannel, FreshCopyIsSentFromItsFileAndTheReadLockReleased) {
    std::string url = "http://example.invalid/cached";
    URLAnswer head;
    head.from_Str("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 11\r\n\r\n");
    std::string file = dir + "/99";
    write_cache_file(file, head, url, "from a file");

    FakeParent parent;
    ClientPair client;
    Worker worker(client.worker_side, parent.port());
    ASSERT_TRUE(parent.handshake(Options()));
    client.send("GET " + url + " HTTP/1.0\r\n\r\n");
    ASSERT_EQ(parent.code(), CMD_READ_LOCK);
    Str asked;
    ASSERT_TRUE(parent.read(asked));
    GMTdate now;
    now.set_now();
    parent.send(int32_t(CMD_READ_LOCK_ACK), now, S(file), uint32_t(99), uint32_t(11), false,
                int32_t(200));

    ASSERT_EQ(parent.code(), CMD_RELEASE_READ_LOCK);
    uint32_t id = 0;
    ASSERT_TRUE(parent.read(id));
    EXPECT_EQ(id, 99u);
    EXPECT_EQ(parent.code(), CMD_FINISHED);
    worker.join();
    HttpResult answer = parse_http(client.answer());
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.header("Content-Length"), "11");
    EXPECT_EQ(answer.body, "from a file");
    EXPECT_EQ(origin.request_count(), 0u);
}

TEST_F(E2eWorkerChannel, DamagedCacheFileGetsNoAnswer) {
    std::string url = origin.url("/asked");
    URLAnswer head;
    head.from_Str("HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\n");
    std::string file = dir + "/5";
    write_cache_file(file, head, origin.url("/another"), "other");

    FakeParent parent;
    ClientPair client;
    Worker worker(client.worker_side, parent.port());
    ASSERT_TRUE(parent.handshake(Options()));
    client.send("GET " + url + " HTTP/1.0\r\n\r\n");
    ASSERT_EQ(parent.code(), CMD_READ_LOCK);
    Str asked;
    ASSERT_TRUE(parent.read(asked));
    GMTdate now;
    now.set_now();
    parent.send(int32_t(CMD_READ_LOCK_ACK), now, S(file), uint32_t(5), uint32_t(5), false, int32_t(200));
    // The lock is left to the server's Finished handling.
    EXPECT_EQ(parent.code(), CMD_FINISHED);
    worker.join();
    EXPECT_EQ(client.answer(), "");
}

TEST_F(E2eWorkerChannel, NotModifiedRenewsTheDateAndAnswersFromTheCache) {
    std::string url = origin.url("/same");
    origin.set("/same", OriginServer::document("same body", "text/plain", AN_HOUR_AGO));
    URLAnswer head;
    head.from_Str("HTTP/1.0 200 OK\r\nContent-Length: 9\r\n\r\n");
    std::string file = dir + "/8";
    write_cache_file(file, head, url, "same body");

    FakeParent parent;
    ClientPair client;
    Worker worker(client.worker_side, parent.port());
    Options options;
    options.updtime = 0;
    ASSERT_TRUE(parent.handshake(options));
    client.send("GET " + url + " HTTP/1.0\r\n\r\n");
    ASSERT_EQ(parent.code(), CMD_READ_LOCK);
    Str asked;
    ASSERT_TRUE(parent.read(asked));
    GMTdate stored;
    stored.set_from_time(AN_HOUR_AGO + 60);
    parent.send(int32_t(CMD_READ_LOCK_ACK), stored, S(file), uint32_t(8), uint32_t(9), false,
                int32_t(200));

    ASSERT_EQ(parent.code(), CMD_UPDATE_CACHE_DATE);
    uint32_t id = 0;
    GMTdate renewed;
    ASSERT_TRUE(parent.read(id, renewed));
    EXPECT_EQ(id, 8u);
    EXPECT_TRUE(renewed.specified());
    EXPECT_GT(renewed.diff(stored), 3000.0);
    ASSERT_EQ(parent.code(), CMD_RELEASE_READ_LOCK);
    ASSERT_TRUE(parent.read(id));
    EXPECT_EQ(id, 8u);
    EXPECT_EQ(parent.code(), CMD_FINISHED);
    worker.join();

    ASSERT_EQ(origin.request_count("/same"), 1u);
    EXPECT_EQ(origin.requests()[0].header("If-Modified-Since"), text(stored.to_Str()));
    EXPECT_EQ(parse_http(client.answer()).body, "same body");
}

TEST_F(E2eWorkerChannel, AbortFromTheParentStopsTheWorkerWithoutFinished) {
    OriginServer::Answer slow = OriginServer::document("too late\n");
    slow.delay_ms = 30000;
    origin.set("/slow", slow);
    FakeParent parent;
    ClientPair client;
    Worker worker(client.worker_side, parent.port());
    Options options;
    options.timeout = 60;
    ASSERT_TRUE(parent.handshake(options));
    client.send("GET " + origin.url("/slow") + " HTTP/1.0\r\n\r\n");
    ASSERT_EQ(parent.code(), CMD_READ_LOCK);
    Str asked;
    ASSERT_TRUE(parent.read(asked));
    parent.send(int32_t(CMD_READ_LOCK_ACK), GMTdate(), Str(), uint32_t(0), uint32_t(0), false,
                int32_t(500));
    ASSERT_TRUE(origin.wait_for_requests(1, 10000));

    // The worker waits for the origin; the server wants it gone.
    parent.send(int32_t(CMD_ABORT));
    EXPECT_TRUE(parent.closed_silently());
    worker.join();
    EXPECT_EQ(client.answer(), "");
}

TEST_F(E2eWorkerChannel, WrongAnswerFromTheParentEndsTheWorkerWithFinished) {
    FakeParent parent;
    ClientPair client;
    Worker worker(client.worker_side, parent.port());
    ASSERT_TRUE(parent.accept());
    ASSERT_EQ(parent.code(), CMD_GET_OPTIONS);
    parent.send(int32_t(CMD_WRITE_LOCK_ACK), Str(), uint32_t(0));
    EXPECT_EQ(parent.code(), CMD_FINISHED);
    worker.join();
    EXPECT_EQ(client.answer(), "");
}

TEST_F(E2eWorkerChannel, AdminRequestIsHandedToTheServerAndItsPageSent) {
    FakeParent parent;
    ClientPair client;
    Worker worker(client.worker_side, parent.port());
    ASSERT_TRUE(parent.handshake(Options()));
    client.send("GET http://quaylo/options?offline=1&x=a+b HTTP/1.0\r\n\r\n");

    ASSERT_EQ(parent.code(), CMD_SPECIAL_REQUEST);
    Str path;
    ArgList parameters;
    uint32_t address = 0;
    ASSERT_TRUE(parent.read(path, parameters, address));
    EXPECT_EQ(text(path), "/options");
    ASSERT_EQ(parameters.count(), 4u);
    EXPECT_EQ(text(parameters.first()->value), "offline");
    EXPECT_EQ(text(parameters.last()->value), "a b");
    EXPECT_EQ(address, 16777343u);
    std::string body = "<HTML>\n<BODY>\nthe page</BODY></HTML>\r\n";
    parent.send(int32_t(CMD_SPECIAL_ANSWER_PAGE),
                S("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                  std::to_string(body.size()) + "\r\n\r\n"),
                S(body));
    EXPECT_EQ(parent.code(), CMD_FINISHED);
    worker.join();
    HttpResult answer = parse_http(client.answer());
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, body);
    EXPECT_FALSE(answer.header("Date").empty());
}

TEST_F(E2eWorkerChannel, PostIsNeitherLookedUpNorStored) {
    origin.set("/form", OriginServer::document("posted\n"));
    FakeParent parent;
    ClientPair client;
    Worker worker(client.worker_side, parent.port());
    ASSERT_TRUE(parent.handshake(Options()));
    client.send("POST " + origin.url("/form") + " HTTP/1.0\r\nContent-Length: 3\r\n\r\nabc");
    // Straight to Finished: no ReadLock, no WriteLock.
    EXPECT_EQ(parent.code(), CMD_FINISHED);
    worker.join();
    EXPECT_EQ(parse_http(client.answer()).body, "posted\n");
    ASSERT_EQ(origin.request_count("/form"), 1u);
    EXPECT_EQ(origin.requests()[0].body, "abc");
}

TEST_F(E2eWorkerChannel, MissingStartOptionsEndTheWorkerAtOnce) {
    ArgList none;
    urlget_main("harbord", none);
    ArgList no_port;
    no_port.append("-socket");
    no_port.append("7");
    no_port.append("-remip");
    no_port.append("1");
    urlget_main("harbord", no_port);
    ArgList unknown;
    unknown.append("-bogus");
    unknown.append("1");
    urlget_main("harbord", unknown);
    EXPECT_FALSE(fail_pending());
}

} // namespace
