// The request worker in-process on its own thread, as the server starts it,
// against a scripted server end of its channel: the exact command records
// it exchanges, when its client sees the end of the answer, and how it
// reacts to an abort.
#include "foundation/BufStream.h"
#include "foundation/Fail.h"
#include "foundation/FileStream.h"
#include "foundation/InterNetServer.h"
#include "foundation/Socket.h"
#include "foundation/ObjectStream.h"
#include "proxy/server/ChannelStream.h"
#include "proxy/server/Command.h"
#include "proxy/server/UrlGet.h"
#include "testsupport/HarbordFixture.h"
#include "testsupport/OriginServer.h"
#include "testsupport/StderrCapture.h"
#include "testsupport/TempDir.h"
#include "tests/proxy/server/ServerTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <thread>

namespace {

using server_test::encoded;

Str S(const std::string& s) { return Str(s.data(), uint32_t(s.size())); }

GMTdate date_at(time_t seconds) {
    GMTdate date;
    date.set_from_time(seconds);
    return date;
}

class E2eWorkerChannel : public ::testing::Test {
protected:
    void SetUp() override {
        InterNetServer browsers(0, loopback_address());
        client = std::make_unique<InterNetClient>("127.0.0.1", browsers.port());
        worker_side = browsers.accept_connection();
    }
    // A worker still waiting for a peer sees it go away.
    void TearDown() override {
        channel.reset();
        client.reset();
        if (worker.joinable()) worker.join();
    }

    // The client's request; sent before start(), the worker finds it at once.
    void request(const std::string& bytes) { client->ewrite(bytes.data(), int32_t(bytes.size())); }
    // Starts the worker on one end of a new channel: true when it asked for
    // its options on it, with HeadComplete when the request was there already.
    bool start(bool head_there = false) {
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return false;
        channel = std::make_unique<Socket>(ends[0], false);
        ArgList args;
        for (Str word : {Str("-socket"), Str::from_ulong(uint32_t(worker_side->handle())),
                         Str("-remip"), Str("16777343"), Str("-icsocket"),
                         Str::from_ulong(uint32_t(ends[1]))})
            args.append(word);
        worker = std::thread([args]() mutable { urlget_main("harbord", args); });
        timeval limit{30, 0}; // a worker that stops talking fails the test, not hangs it
        ::setsockopt(channel->handle(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        std::string first = head_there ? head_complete : encoded(int32_t(CMD_GET_OPTIONS));
        return next(first) == first;
    }
    // Options: timeout, offline, proxyhost, proxyport, debug, updtime,
    // language, sockshost, socksport, socksuser, port, iport, sslports, cafile,
    // sslcache, sslhosts, CA directory.
    void send_options(int32_t updtime = 36000, int32_t timeout = 5) {
        send(int32_t(CMD_OPTIONS), timeout, false, Str(), 8080, false, updtime, 0, Str(), 1080,
             Str(), 8080, 8808, Str("443"), Str(), false, Str(), Str("."));
    }
    template <typename... Fields> void send(const Fields&... fields) {
        std::string message = encoded(fields...);
        channel->ewrite(message.data(), int32_t(message.size()));
    }
    // As many bytes from the worker as expected holds ("" when it closed).
    std::string next(const std::string& expected) {
        std::string bytes(expected.size(), '\0');
        if (channel->eread(bytes.data(), int32_t(bytes.size())) < int32_t(bytes.size()))
            bytes.clear();
        fail_take();
        return bytes;
    }
    bool asked(const std::string& url) {
        std::string question = encoded(int32_t(CMD_READ_LOCK), S(url));
        return next(question) == question;
    }
    // The answer to ReadLock: the entry's date, file (named by its id) and size.
    void answer_lookup(const GMTdate& date, const std::string& file, uint32_t bytes) {
        send(int32_t(CMD_READ_LOCK_ACK), date, S(dir.file(file)), uint32_t(std::stoul("0" + file)),
             bytes, false, 200);
    }
    // A cache file as the worker writes it: the answer, the url, the body.
    void write_cache_file(const std::string& name, const std::string& url,
                          const std::string& body) {
        URLAnswer answer;
        answer.from_Str("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n");
        OFileStream file(S(dir.file(name)), O_CREAT | O_TRUNC);
        BufWriteable buffer(file);
        BinaryDrain drain(buffer);
        drain << answer << S(url);
        buffer.ewrite(body.data(), int32_t(body.size()));
    }
    // All the client received, once the worker has ended. ended_early: the
    // worker ended the answer itself, while the server's copy of the
    // handle was still open.
    std::string answer(bool* ended_early = nullptr) {
        worker.join();
        char buffer[65536];
        ssize_t n;
        while ((n = ::recv(client->handle(), buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
            received.append(buffer, size_t(n));
        if (ended_early) *ended_early = n == 0;
        worker_side.reset();
        while ((n = ::recv(client->handle(), buffer, sizeof buffer, 0)) > 0)
            received.append(buffer, size_t(n));
        return received;
    }

    OriginServer origin;
    TempDir dir{"harbord-worker"};
    time_t an_hour_ago = ::time(nullptr) - 3600;
    std::unique_ptr<InterNetClient> client;
    std::unique_ptr<Socket> worker_side;
    std::unique_ptr<Socket> channel;
    std::thread worker;
    std::string received;
    const std::string finished = encoded(int32_t(CMD_FINISHED));
    // A head that arrives after the start is told, and the options come again.
    const std::string head_complete = encoded(int32_t(CMD_HEAD_COMPLETE), false);
};

// The request is there before the worker starts: its lookup goes with
// GetOptions, and the answer of an unchanged copy ends at once.
TEST_F(E2eWorkerChannel, FreshCopyIsAskedForWithTheOptionsAndEndsAtOnce) {
    std::string url = "http://example.invalid/cached";
    write_cache_file("99", url, "from a file");
    request("GET " + url + " HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(start(true));
    ASSERT_TRUE(asked(url));
    send_options();
    answer_lookup(date_at(::time(nullptr)), "99", 11);
    std::string releases = encoded(int32_t(CMD_RELEASE_READ_LOCK), 99u, int32_t(CMD_FINISHED));
    EXPECT_EQ(next(releases), releases);
    bool ended_early = false;
    e2e::HttpResult answer = e2e::parse_http(this->answer(&ended_early));
    EXPECT_TRUE(ended_early);
    EXPECT_EQ(answer.header("Content-Length"), "11");
    EXPECT_EQ(answer.body, "from a file");
}

// Revalidated: the date is renewed and the copy sent, but the server ends the
// answer, as for a relayed one.
TEST_F(E2eWorkerChannel, NotModifiedRenewsTheDateAndAnswersFromTheCache) {
    std::string url = origin.url("/same");
    origin.set("/same", OriginServer::document("same body", "text/plain", an_hour_ago));
    write_cache_file("8", url, "same body");
    ASSERT_TRUE(start());
    send_options(0);
    request("GET " + url + " HTTP/1.0\r\n\r\n");
    ASSERT_EQ(next(head_complete), head_complete);
    send_options(0);
    ASSERT_TRUE(asked(url));
    answer_lookup(date_at(an_hour_ago + 60), "8", 9);
    std::string update = encoded(int32_t(CMD_UPDATE_CACHE_DATE), 8u);
    ASSERT_EQ(next(update), update);
    GMTdate renewed;
    BinarySource source(*channel);
    source >> renewed;
    EXPECT_GT(renewed.diff(date_at(an_hour_ago)), 3000.0);
    std::string releases = encoded(int32_t(CMD_RELEASE_READ_LOCK), 8u, int32_t(CMD_FINISHED));
    EXPECT_EQ(next(releases), releases);
    bool ended_early = true;
    EXPECT_EQ(e2e::parse_http(answer(&ended_early)).body, "same body");
    EXPECT_FALSE(ended_early);
}

TEST_F(E2eWorkerChannel, DamagedCacheFileGetsNoAnswerAndItsLockIsLeftToTheServer) {
    write_cache_file("5", origin.url("/another"), "other");
    request("GET " + origin.url("/asked") + " HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(start(true));
    ASSERT_TRUE(asked(origin.url("/asked")));
    send_options();
    answer_lookup(date_at(::time(nullptr)), "5", 5);
    EXPECT_EQ(next(finished), finished);
    EXPECT_EQ(answer(), "");
}

TEST_F(E2eWorkerChannel, AbortFromTheServerStopsTheWorkerWithoutFinished) {
    OriginServer::Answer held = OriginServer::document("too late\n");
    held.held = true;
    origin.set("/held", held);
    ASSERT_TRUE(start());
    send_options(36000, 60);
    request("GET " + origin.url("/held") + " HTTP/1.0\r\n\r\n");
    ASSERT_EQ(next(head_complete), head_complete);
    send_options(36000, 60);
    ASSERT_TRUE(asked(origin.url("/held")));
    answer_lookup(GMTdate(), "", 0);
    ASSERT_TRUE(origin.wait_for_requests(1, 30000));
    // The worker waits for the origin; the server wants it gone.
    send(int32_t(CMD_ABORT));
    EXPECT_EQ(next(finished), ""); // the channel's end, without Finished
    EXPECT_EQ(answer(), "");
}

// Each start option missing in turn: the worker says which and ends at
// once, closing a channel end it was given.
TEST_F(E2eWorkerChannel, AWorkerWithoutItsStartOptionsEndsAtOnce) {
    const char* missing[] = {"no socket for internal communication specified",
                             "no client socket specified", "client-ip address not specified"};
    for (int given = 0; given < 3; given++) {
        int ends[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        Socket own(ends[0], false);
        std::string handle = std::to_string(ends[1]);
        const char* words[] = {"-icsocket", handle.c_str(), "-socket", "7"};
        ArgList args(given * 2, words);
        StderrCapture err;
        urlget_main("harbord", args);
        EXPECT_EQ(err.text(), std::string("MALFUNCTION:\nUrlGet: ") + missing[given] + "\r\n\n");
        char byte;
        if (given == 0) ::close(ends[1]);
        EXPECT_EQ(::recv(own.handle(), &byte, 1, MSG_DONTWAIT), 0); // closed, not just quiet
    }
}

} // namespace
