// The server loop, driven end to end inside the test process: a Relais on
// free loopback ports with a temporary cache folder runs on its own thread;
// browsers are plain loopback connections and the workers are fake ones that
// speak the command channel from the test.
#include "proxy/server/Relais.h"

#include "foundation/Fail.h"
#include "proxy/server/Command.h"
#include "tests/proxy/server/ServerTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using namespace server_test;

class RelaisTest : public ::testing::Test {
protected:
    void SetUp() override {
        WorkerQueue::instance().clear();
        ASSERT_FALSE(dir.path.empty());
        port = free_port();
        iport = free_port();
        ASSERT_NE(port, 0);
        ASSERT_NE(iport, 0);
        ASSERT_NE(port, iport);
    }

    void TearDown() override {
        if (server.joinable()) {
            Relais::request_stop();
            server.join();
        }
        WorkerQueue::instance().clear();
        EXPECT_TRUE(WorkerPool::wait_until_none_runs(30000));
        fail_take();
    }

    std::vector<std::string> arguments(std::vector<std::string> extra = {}) {
        std::vector<std::string> list = {"-port",     std::to_string(port),
                                         "-iport",    std::to_string(iport),
                                         "-cachedir", (dir.path / "cache").string()};
        list.insert(list.end(), extra.begin(), extra.end());
        return list;
    }

    // Runs a whole server life on this thread; its report, if any, is kept.
    int32_t run_here(const std::vector<std::string>& words) {
        ArgList list;
        for (const std::string& word : words) list.append(word.c_str());
        Relais relais(Str((dir.path / "harbord").c_str()), list, connecting_entry);
        int32_t result = relais.status();
        if (result != 0) report = fail_take();
        return result;
    }

    void start(std::vector<std::string> extra = {}) {
        std::vector<std::string> words = arguments(extra);
        server = std::thread([this, words] { status = run_here(words); });
    }

    int32_t stop() {
        Relais::request_stop();
        server.join();
        return status;
    }

    // Connects as a browser; until the server listens the attempt is refused
    // and repeated.
    std::unique_ptr<InterNetClient> browser() {
        auto deadline = std::chrono::steady_clock::now() + WAIT_LIMIT;
        for (;;) {
            auto client = std::make_unique<InterNetClient>("127.0.0.1", port);
            if (!client->failed()) return client;
            fail_take();
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "the server does not listen on port " << port;
                return client;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    // A browser connection and the worker the server started for it.
    std::unique_ptr<FakeWorker> connect_worker(std::unique_ptr<InterNetClient>& client) {
        client = browser();
        auto worker = WorkerQueue::instance().next();
        EXPECT_TRUE(worker && worker->channel);
        return worker;
    }

    static void send_code(FakeWorker& worker, int32_t code) {
        BinaryDrain(*worker.channel) << code;
    }

    // A round trip: the server has served everything this worker sent before.
    static bool options_round_trip(FakeWorker& worker) {
        send_code(worker, CMD_GET_OPTIONS);
        BinarySource source(*worker.channel);
        int32_t code = 0, timeout = 0;
        source >> code >> timeout;
        return source.error() == 0 && code == CMD_OPTIONS && timeout == 60;
    }

    static bool closed_by_server(Socket& client) {
        char byte;
        bool closed = client.eread(&byte, 1) == 0;
        fail_take();
        return closed;
    }

    TempDir dir;
    uint16_t port = 0;
    uint16_t iport = 0;
    std::thread server;
    std::atomic<int32_t> status{-1};
    std::string report;
};

TEST_F(RelaisTest, AcceptedConnectionGetsAWorkerWithItsSocketAddressAndInternalPort) {
    start();
    std::unique_ptr<InterNetClient> client;
    auto worker = connect_worker(client);
    ASSERT_TRUE(worker);

    ASSERT_GE(worker->arguments.size(), 8u);
    EXPECT_EQ(worker->arguments[0], "harbord");
    EXPECT_EQ(worker->arguments[1], "-urlget");
    EXPECT_EQ(worker->arguments[2], "-socket");
    EXPECT_GT(std::stol(worker->argument("-socket")), 2);
    EXPECT_EQ(worker->argument("-remip"), "16777343");
    EXPECT_EQ(worker->argument("-icport"), std::to_string(iport));
    EXPECT_EQ(worker->arguments.size(), 8u);

    EXPECT_TRUE(options_round_trip(*worker));
    EXPECT_EQ(stop(), 0);
}

TEST_F(RelaisTest, FinishedClosesTheBrowserConnection) {
    start();
    std::unique_ptr<InterNetClient> client;
    auto worker = connect_worker(client);
    ASSERT_TRUE(worker);
    send_code(*worker, CMD_FINISHED);
    EXPECT_TRUE(closed_by_server(*client));
    EXPECT_TRUE(closed_by_server(*worker->channel));
    EXPECT_EQ(stop(), 0);
}

TEST_F(RelaisTest, StopEndsTheServerWhichStoresTheCacheWithTheClientHost) {
    start();
    std::unique_ptr<InterNetClient> client;
    auto worker = connect_worker(client);
    ASSERT_TRUE(worker);
    send_code(*worker, CMD_FINISHED);
    ASSERT_TRUE(closed_by_server(*client));
    EXPECT_EQ(stop(), 0);

    // No entries: magic, count, seed, totalbytes, accesses, one user.
    std::string db = read_file(dir.path / "cache" / "cachedb");
    ASSERT_EQ(db.size(), 4u + 4 + 12 + 4 + 4 + 32);
    EXPECT_EQ(db.substr(0, 4), std::string("\x03\x42\x44\x43", 4));
    EXPECT_EQ(db.substr(20, 4), std::string("\x01\x00\x00\x00", 4));
    EXPECT_EQ(db.substr(24, 4), std::string("\x7F\x00\x00\x01", 4));
}

TEST_F(RelaisTest, CommandsOfSeveralWorkersAreAnsweredOnTheirOwnChannels) {
    start();
    std::unique_ptr<InterNetClient> first_client, second_client;
    auto first = connect_worker(first_client);
    auto second = connect_worker(second_client);
    ASSERT_TRUE(first && second);

    BinaryDrain(*first->channel) << int32_t(CMD_READ_LOCK) << Str("http://a/1");
    send_code(*second, CMD_GET_OPTIONS);

    BinarySource from_second(*second->channel);
    int32_t code = 0;
    from_second >> code;
    EXPECT_EQ(code, CMD_OPTIONS);
    BinarySource from_first(*first->channel);
    from_first >> code;
    EXPECT_EQ(code, CMD_READ_LOCK_ACK);
    EXPECT_EQ(stop(), 0);
}

TEST_F(RelaisTest, WithMaxconOneTheNextBrowserIsAcceptedOnlyAfterFinished) {
    start({"-maxcon", "1"});
    std::unique_ptr<InterNetClient> first_client;
    auto first = connect_worker(first_client);
    ASSERT_TRUE(first);

    auto second_client = browser(); // waits in the listening queue
    // The server answered a later command, so it has had its chance to accept.
    ASSERT_TRUE(options_round_trip(*first));
    EXPECT_EQ(WorkerQueue::instance().waiting(), 0u);

    send_code(*first, CMD_FINISHED);
    auto second = WorkerQueue::instance().next();
    ASSERT_TRUE(second && second->channel);
    EXPECT_TRUE(options_round_trip(*second));
    EXPECT_EQ(stop(), 0);
}

TEST_F(RelaisTest, AnInvalidCodeLeavesTheConnectionServed) {
    start();
    std::unique_ptr<InterNetClient> client;
    auto worker = connect_worker(client);
    ASSERT_TRUE(worker);
    send_code(*worker, CMD_WRITE_LOCK_ACK);
    EXPECT_TRUE(options_round_trip(*worker));
    EXPECT_EQ(stop(), 0);
}

TEST_F(RelaisTest, AChannelThatBreaksEndsTheServerWithAFailure) {
    start();
    std::unique_ptr<InterNetClient> client;
    auto worker = connect_worker(client);
    ASSERT_TRUE(worker);
    worker->channel.reset();
    server.join();
    EXPECT_EQ(status, 1);
    EXPECT_NE(report.find("Relais: failed to get command from child"), std::string::npos)
        << report;
    // The cache was still closed properly.
    EXPECT_TRUE(fs::exists(dir.path / "cache" / "cachedb"));
}

TEST_F(RelaisTest, AWorkerThatCannotConnectClosesItsBrowserAndTheLoopGoesOn) {
    start();
    {
        // The internal port is taken, so no channel can be set up.
        InterNetServer blocker(iport, loopback_address());
        ASSERT_FALSE(blocker.failed());
        auto client = browser();
        EXPECT_TRUE(closed_by_server(*client));
    }
    std::unique_ptr<InterNetClient> client;
    auto worker = connect_worker(client);
    ASSERT_TRUE(worker);
    EXPECT_TRUE(options_round_trip(*worker));
    EXPECT_EQ(stop(), 0);
}

// The worker asks for "/options?offline=1" on behalf of a loopback browser.
std::string switch_offline(FakeWorker& worker) {
    ArgList query;
    query.append("offline");
    query.append("1");
    BinaryDrain(*worker.channel) << int32_t(CMD_SPECIAL_REQUEST) << Str("/options") << query
                                 << loopback_address();
    BinarySource source(*worker.channel);
    int32_t code = 0;
    Str head, body;
    source >> code >> head >> body;
    return std::string(body.data(), body.length());
}

TEST_F(RelaisTest, EveryWordOfAdminsIsAnAdminAddress) {
    start({"-admins", "10.9.9.9 127.0.0.1"});
    std::unique_ptr<InterNetClient> client;
    auto worker = connect_worker(client);
    ASSERT_TRUE(worker);
    std::string page = switch_offline(*worker);
    EXPECT_NE(page.find("Options were changed"), std::string::npos) << page;
    EXPECT_EQ(stop(), 0);
}

TEST_F(RelaisTest, AClientNotNamedInAdminsIsRefused) {
    start({"-admins", "10.9.9.9"});
    std::unique_ptr<InterNetClient> client;
    auto worker = connect_worker(client);
    ASSERT_TRUE(worker);
    std::string page = switch_offline(*worker);
    EXPECT_NE(page.find("Unauthorized access:"), std::string::npos) << page;
    EXPECT_EQ(stop(), 0);
}

TEST_F(RelaisTest, ATakenProxyPortEndsTheStartBeforeTheCacheIsRead) {
    InterNetServer blocker(port);
    ASSERT_FALSE(blocker.failed());
    CaptureStderr err;
    EXPECT_EQ(run_here(arguments()), 1);
    std::string printed = err.text();
    EXPECT_NE(report.find("Relais: unable to setup server"), std::string::npos) << report;
    EXPECT_EQ(printed.find("reading cache-database..."), std::string::npos) << printed;
    EXPECT_FALSE(fs::exists(dir.path / "cache"));
    // The good command line was saved before.
    EXPECT_TRUE(fs::exists(dir.path / "harbord.cfg"));
}

TEST_F(RelaisTest, ShowEndsWithStatusZeroWithoutOpeningTheCache) {
    CaptureStderr err;
    EXPECT_EQ(run_here({"-show"}), 0);
    EXPECT_NE(err.text().find("option    current setting"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.path / "cache"));
}

TEST_F(RelaisTest, ABadCommandLinePrintsTheSyntaxHelpAndFails) {
    CaptureStderr err;
    EXPECT_EQ(run_here({"-port", "0"}), 1);
    std::string printed = err.text();
    EXPECT_NE(printed.find("\nsyntax information:\noption    valid parameter"), std::string::npos)
        << printed;
    EXPECT_NE(report.find("cannot set option '-port'"), std::string::npos) << report;
}

} // namespace
