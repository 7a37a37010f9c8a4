// The server's life inside the test process, and how it starts workers
// (CmdSocket, WorkerPool): a Relais on free loopback ports with a temporary
// cache folder runs on its own thread; browsers are plain loopback
// connections and the workers are fake ones that speak the command channel
// from the test.
#include "proxy/server/Relais.h"

#include "foundation/Fail.h"
#include "proxy/server/ChannelShelf.h"
#include "proxy/server/Command.h"
#include "tests/proxy/server/ServerTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <thread>

namespace {

using namespace server_test;

class RelaisTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (server.joinable()) stop();
        EXPECT_TRUE(WorkerPool::wait_until_none_runs(30000));
        fail_take();
    }

    void start(std::vector<std::string> words = {}) {
        words.insert(words.end(), {"-port", std::to_string(port), "-iport", std::to_string(iport),
                                   "-cachedir", dir.file("cache")});
        server = std::thread([this, words] {
            ArgList list;
            for (const std::string& word : words) list.append(word.c_str());
            Relais relais(Str(dir.file("harbord").c_str()), list, connecting_entry);
            report = relais.status() != 0 ? fail_take() : "";
            status = relais.status();
        });
    }
    int32_t stop() {
        Relais::request_stop();
        server.join();
        return status;
    }
    // A browser connection, tried again until the server listens.
    std::unique_ptr<InterNetClient> browser() {
        for (int tries = 0;; tries++) {
            auto made = std::make_unique<InterNetClient>("127.0.0.1", port);
            if (!made->failed() || tries == 1500) return made;
            fail_take();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    // A browser connection and the worker the server started for it.
    std::unique_ptr<FakeWorker> connect_worker() {
        client = browser();
        auto worker = next_worker();
        return worker && worker->channel ? std::move(worker) : nullptr;
    }
    // True when the server has served everything the worker sent before.
    // With the default options the answer is 14 four-byte fields, the
    // text "443" with its length, the empty lengths of CA file and HTTPS
    // hosts, and last the CA directory.
    static bool options_round_trip(FakeWorker& worker) {
        BinaryDrain(*worker.channel) << int32_t(CMD_GET_OPTIONS);
        char options[71];
        Str directory;
        BinarySource rest(*worker.channel);
        return worker.channel->eread(options, 71) == 71 && options[0] == CMD_OPTIONS &&
               !(rest >> directory).error() && !directory.empty();
    }
    // A read that finds the end leaves a report, which is taken.
    static bool closed_by_server(Socket& peer) {
        char byte;
        return peer.eread(&byte, 1) == 0 && fail_take();
    }

    TempDir dir;
    uint16_t port = free_port();
    uint16_t iport = free_port();
    std::thread server;
    std::atomic<int32_t> status{-1};
    std::string report;
    std::unique_ptr<InterNetClient> client;
};

// One server life: a browser gets a worker with its handle, its address and
// its end of a private channel (nothing listens on the internal port). At
// Finished the browser's connection closes and the channel waits for the
// next browser; a channel that breaks without Finished closes its browser
// and is not used again, and the next one is served on a fresh channel.
TEST_F(RelaisTest, BrowsersGetWorkersOnPrivateChannelsAndABrokenOneEndsAlone) {
    const size_t shelved = ChannelShelf::held();
    start();
    auto worker = connect_worker();
    ASSERT_TRUE(worker);
    std::string handle = worker->arguments.at(3), channel = worker->arguments.at(7);
    std::vector<std::string> expected = {"harbord", "-urlget",   "-socket", handle, "-remip",
                                         "16777343", "-icsocket", channel,  "-icshared", "1"};
    EXPECT_EQ(worker->arguments, expected);
    EXPECT_TRUE(InterNetClient("127.0.0.1", iport).failed() && fail_take()); // nothing listens
    EXPECT_TRUE(options_round_trip(*worker));
    BinaryDrain(*worker->channel) << int32_t(CMD_FINISHED);
    EXPECT_TRUE(closed_by_server(*client));
    EXPECT_EQ(ChannelShelf::held(), shelved + 1);

    worker = connect_worker();
    ASSERT_TRUE(worker && options_round_trip(*worker));
    EXPECT_EQ(worker->arguments.at(7), channel);
    StderrCapture err;
    worker->end();
    EXPECT_TRUE(closed_by_server(*client));
    EXPECT_EQ(ChannelShelf::held(), shelved);
    auto next = connect_worker();
    ASSERT_TRUE(next && options_round_trip(*next));
    EXPECT_EQ(err.text(), "MALFUNCTION:\nRelais: closing channel to child, reason:\r\n"
                          " Relais: failed to get command from child, reason:\r\n"
                          " ChannelReader::refill read-error Reason code:0\r\n\n");
    EXPECT_EQ(stop(), 0);
    EXPECT_TRUE(std::filesystem::exists(dir.file("cache/cachedb"))); // closed properly
}

// Each stop signal ends the server within its one-second wait; one that was
// ignored when the server started stays ignored.
TEST_F(RelaisTest, StopSignalsEndTheServerUnlessIgnoredAtItsStart) {
    for (int stop_signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(stop_signal);
        start();
        auto worker = connect_worker(); // the loop runs
        ::kill(::getpid(), stop_signal);
        server.join();
        EXPECT_EQ(status, 0);
    }
    ::signal(SIGTERM, SIG_IGN);
    start();
    auto worker = connect_worker();
    ::kill(::getpid(), SIGTERM);
    // The second is served in a later round of the loop, which a stop would have ended.
    EXPECT_TRUE(worker && options_round_trip(*worker) && options_round_trip(*worker));
    EXPECT_EQ(stop(), 0);
    ::signal(SIGTERM, SIG_DFL);
}

TEST_F(RelaisTest, ATakenProxyPortEndsTheStartBeforeTheCacheIsRead) {
    InterNetServer taken(port);
    start();
    server.join();
    EXPECT_EQ(report, "Relais: unable to setup server, reason:\r\n"
                      " InterNetServer: unable to bind socket Reason code:98\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("cache")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("harbord.cfg"))); // the command line was saved
}

// Workers run one after the other: soon one of them runs on a thread that
// ran an earlier one (a thread is idle only a moment after its worker).
TEST_F(RelaisTest, WorkerThreadsAreReusedRoomyAndLeaveStopSignalsToTheServer) {
    std::set<pid_t> threads;
    bool reused = false;
    for (int round = 0; round < 50 && !reused; round++) {
        CmdSocket channel("debug", ArgList(), connecting_entry);
        auto worker = next_worker();
        ASSERT_TRUE(worker);
        EXPECT_GE(worker->stack_bytes, size_t(256 * 1024));
        EXPECT_TRUE(worker->blocks_stop_signals);
        reused = !threads.insert(worker->thread).second;
        ASSERT_TRUE(WorkerPool::wait_until_none_runs(30000));
    }
    EXPECT_TRUE(reused) << threads.size() << " workers on as many threads";
    sigset_t mask; // the thread that started them keeps its own
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    EXPECT_EQ(sigismember(&mask, SIGTERM), 0);
}

} // namespace
