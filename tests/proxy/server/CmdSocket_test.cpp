// The server's end of the command channel: starting a worker thread with the
// synthetic argument list, accepting its connection on the internal port,
// and carrying bytes both ways.
#include "proxy/server/CmdSocket.h"

#include "foundation/Fail.h"
#include "tests/proxy/server/ServerTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <sstream>
#include <sys/socket.h>

namespace {

using namespace server_test;

ArgList worker_list() {
    const char* argv[] = {"harbord", "-urlget", "-socket", "7", "-remip", "16777343"};
    return ArgList(6, argv);
}

class CmdSocketTest : public ::testing::Test {
protected:
    void SetUp() override {
        WorkerQueue::instance().clear();
        port = free_port();
        ASSERT_NE(port, 0);
    }
    void TearDown() override {
        WorkerQueue::instance().clear();
        EXPECT_TRUE(WorkerPool::wait_until_none_runs(30000));
        fail_take();
    }
    uint16_t port = 0;
};

TEST_F(CmdSocketTest, WorkerGetsTheArgumentListWithTheInternalPortAppended) {
    CmdSocket channel("debug", worker_list(), connecting_entry, 0, port);
    ASSERT_TRUE(channel.connected()) << fail_take();
    EXPECT_EQ(channel.status(), 0);
    EXPECT_TRUE(channel.worker_started());

    auto worker = WorkerQueue::instance().next();
    ASSERT_TRUE(worker);
    std::vector<std::string> expected = {"harbord", "-urlget", "-socket", "7",
                                         "-remip",  "16777343", "-icport", std::to_string(port)};
    EXPECT_EQ(worker->arguments, expected);
    EXPECT_TRUE(worker->channel);
}

TEST_F(CmdSocketTest, CarriesObjectStreamRecordsBothWays) {
    CmdSocket channel("debug", worker_list(), connecting_entry, 0, port);
    ASSERT_TRUE(channel.connected()) << fail_take();
    auto worker = WorkerQueue::instance().next();
    ASSERT_TRUE(worker && worker->channel);

    BinaryDrain to_worker(channel);
    to_worker << int32_t(12) << Str("text");
    BinarySource at_worker(*worker->channel);
    int32_t code = 0;
    Str text;
    at_worker >> code >> text;
    EXPECT_EQ(at_worker.error(), 0);
    EXPECT_EQ(code, 12);
    EXPECT_EQ(std::string(text.data(), text.length()), "text");

    BinaryDrain to_server(*worker->channel);
    to_server << int32_t(3) << uint32_t(0xDEADBEEF);
    BinarySource at_server(channel);
    uint32_t value = 0;
    at_server >> code >> value;
    EXPECT_EQ(at_server.error(), 0);
    EXPECT_EQ(code, 3);
    EXPECT_EQ(value, 0xDEADBEEFu);
}

TEST_F(CmdSocketTest, SwitchesTheSendDelayOffOnItsEnd) {
    CmdSocket channel("debug", worker_list(), connecting_entry, 0, port);
    ASSERT_TRUE(channel.connected()) << fail_take();
    int on = 0;
    socklen_t size = sizeof on;
    ASSERT_EQ(::getsockopt(channel.handle(), IPPROTO_TCP, TCP_NODELAY, &on, &size), 0);
    EXPECT_NE(on, 0);
    WorkerQueue::instance().next();
}

// /proc/net/tcp lists a listener as local address "0100007F:PORT" with state 0A.
TEST_F(CmdSocketTest, InternalPortListensOnLoopbackOnly) {
    CmdSocket channel("debug", worker_list(), connecting_entry, 0, port);
    ASSERT_TRUE(channel.connected()) << fail_take();
    WorkerQueue::instance().next();

    std::istringstream table(read_file("/proc/net/tcp"));
    std::string line;
    char port_hex[8];
    std::snprintf(port_hex, sizeof port_hex, "%04X", port);
    int listeners = 0;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (state != "0A" || local.size() < 5 || local.substr(local.size() - 4) != port_hex)
            continue;
        listeners++;
        EXPECT_EQ(local, std::string("0100007F:") + port_hex);
    }
    EXPECT_EQ(listeners, 1);
}

TEST_F(CmdSocketTest, WorkerThatNeverConnectsFailsWithTimeout) {
    CmdSocket channel("debug", worker_list(), silent_entry, 0, port, 1);
    EXPECT_FALSE(channel.connected());
    EXPECT_EQ(channel.status(), 1);
    EXPECT_TRUE(channel.worker_started());
    EXPECT_EQ(channel.handle(), -1);
    EXPECT_STREQ(fail_take(), "CmdSocket: unable to accept from child: timeout\r\n");
    ASSERT_TRUE(WorkerQueue::instance().next());
}

TEST_F(CmdSocketTest, ReadingFromAFailedChannelFailsWithoutCrashing) {
    CmdSocket channel("debug", worker_list(), silent_entry, 0, port, 1);
    ASSERT_FALSE(channel.connected());
    fail_take();
    char byte = 0;
    EXPECT_EQ(channel.eread(&byte, 1), 0);
    EXPECT_NE(channel.read_error(), 0);
    EXPECT_EQ(channel.ewrite(&byte, 1), 0);
    EXPECT_NE(channel.write_error(), 0);
}

TEST_F(CmdSocketTest, DestroyingTheChannelShowsTheWorkerTheEnd) {
    std::unique_ptr<FakeWorker> worker;
    {
        CmdSocket channel("debug", worker_list(), connecting_entry, 0, port);
        ASSERT_TRUE(channel.connected()) << fail_take();
        worker = WorkerQueue::instance().next();
        ASSERT_TRUE(worker && worker->channel);
    }
    char byte = 0;
    EXPECT_EQ(worker->channel->eread(&byte, 1), 0);
    EXPECT_NE(worker->channel->read_error(), 0);
    fail_take();
}

TEST_F(CmdSocketTest, AChangedInternalPortGetsItsOwnListener) {
    uint16_t other = free_port();
    ASSERT_NE(other, 0);
    for (uint16_t internal : {port, other, port}) {
        CmdSocket channel("debug", worker_list(), connecting_entry, 0, internal);
        ASSERT_TRUE(channel.connected()) << fail_take();
        auto worker = WorkerQueue::instance().next();
        ASSERT_TRUE(worker && worker->channel);
        EXPECT_EQ(worker->argument("-icport"), std::to_string(internal));
    }
}

// What the worker thread found out about itself.
std::atomic<size_t> worker_stack_bytes{0};
std::atomic<int> worker_blocks_stop_signals{-1};

int inspecting_entry(ArgList& arguments) {
    pthread_attr_t attributes;
    size_t stack = 0;
    if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
        pthread_attr_getstacksize(&attributes, &stack);
        pthread_attr_destroy(&attributes);
    }
    worker_stack_bytes = stack;
    sigset_t mask;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    worker_blocks_stop_signals = sigismember(&mask, SIGINT) == 1 &&
                                 sigismember(&mask, SIGTERM) == 1 && sigismember(&mask, SIGHUP) == 1;
    return connecting_entry(arguments);
}

TEST_F(CmdSocketTest, WorkerThreadHasARoomyStackAndLeavesStopSignalsToTheServer) {
    CmdSocket channel("debug", worker_list(), inspecting_entry, 0, port);
    ASSERT_TRUE(channel.connected()) << fail_take();
    ASSERT_TRUE(WorkerQueue::instance().next());
    EXPECT_GE(worker_stack_bytes.load(), size_t(256 * 1024));
    EXPECT_EQ(worker_blocks_stop_signals.load(), 1);

    // The thread that started it keeps its own mask.
    sigset_t mask;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    EXPECT_EQ(sigismember(&mask, SIGTERM), 0);
}

TEST_F(CmdSocketTest, WorkersAreCountedUntilTheirEntryReturns) {
    {
        CmdSocket channel("debug", worker_list(), connecting_entry, 0, port);
        ASSERT_TRUE(channel.connected()) << fail_take();
        ASSERT_TRUE(WorkerQueue::instance().next());
    }
    EXPECT_TRUE(WorkerPool::wait_until_none_runs(30000));
    EXPECT_EQ(WorkerPool::running(), 0);
}

} // namespace
