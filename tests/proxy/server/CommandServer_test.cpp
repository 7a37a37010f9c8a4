// Serving the workers' commands where a real worker cannot show it: each
// test plays a worker on a real loopback channel against a real cache in a
// temporary folder, and lets the server serve one command at a time.
#include "proxy/server/CommandServer.h"

#include "foundation/Fail.h"
#include "proxy/admin/AdminRequest.h"
#include "proxy/cache/Cache.h"
#include "proxy/options/RelaisOptions.h"
#include "proxy/server/ChannelStream.h"
#include "proxy/server/Command.h"
#include "tests/proxy/server/ServerTestSupport.h"

#include <gtest/gtest.h>

namespace {

using namespace server_test;

class CommandServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        date.set_from_time(1000000000);
        ASSERT_EQ(options.set.set("cachedir", dir.file("cache").c_str()), 0) << fail_take();
        StderrCapture quiet; // the rebuild of an empty cache reports its counts
        cache = std::make_unique<Cache>(options.cachedir, options.cachesize, options.entrysize,
                                        options.cachefiles, options.language, options.debug,
                                        options.exportdir, options.importdir, true);
        admin = std::make_unique<AdminRequest>(AdminSite{options, *cache, admins, "harbord", {}, Str()});
        server = std::make_unique<CommandServer>(options, *cache, *admin);
        auto connection = std::make_unique<Connection>();
        connection->channel =
            std::make_unique<CmdSocket>("debug", ArgList(), connecting_entry, 0, free_port());
        worker = next_worker();
        ASSERT_TRUE(worker && worker->channel);
        record = connection.get();
        table.add(std::move(connection));
    }
    void TearDown() override {
        EXPECT_TRUE(WorkerPool::wait_until_none_runs(30000));
        fail_take();
    }

    // Fields as they travel on the channel.
    template <typename... Fields> static std::string encoded(const Fields&... fields) {
        MessageBuffer message;
        BinaryDrain drain(message);
        ((drain << fields), ...);
        return std::string(message.bytes.data(), message.bytes.length());
    }
    // Sends fields as one message, as a worker does, and lets the server serve.
    template <typename... Fields> int32_t serve(const Fields&... fields) {
        std::string message = encoded(fields...);
        worker->channel->ewrite(message.data(), int32_t(message.size()));
        return server->serve(*record, table);
    }
    // As many bytes from the server as expected holds.
    std::string answer(const std::string& expected) {
        std::string bytes(expected.size(), '\0');
        int32_t n = worker->channel->eread(bytes.data(), int32_t(bytes.size()));
        bytes.resize(size_t(n > 0 ? n : 0));
        return bytes;
    }
    bool nothing_more() {
        char byte;
        return worker->channel->nbread(&byte, 1) == 0;
    }
    // A complete document of 10 bytes in the cache: its id.
    uint32_t store(const char* url) {
        Str file;
        uint32_t id = 0;
        cache->get_write_lock(url, date, false, 200, file, id);
        cache->release_write_lock(id, 10);
        return id;
    }
    // A read lock that is not the worker's.
    void read_elsewhere(const char* url) {
        Str file;
        uint32_t id = 0, bytes = 0;
        bool headeronly = false;
        int32_t errorcode = 0;
        cache->get_read_lock(url, date, file, id, bytes, headeronly, errorcode);
    }
    int readers(uint32_t id) { return cache->find_id(id)->readers; }
    // ReadLockAck: date, file, id, bytes, headeronly, errorcode.
    const std::string not_cached =
        encoded(int32_t(CMD_READ_LOCK_ACK), GMTdate(), Str(), 0u, 0u, false, 500);

    TempDir dir;
    GMTdate date; // of every stored document
    RelaisOptions options;
    std::unique_ptr<Cache> cache;
    std::vector<uint32_t> admins;
    std::unique_ptr<AdminRequest> admin;
    std::unique_ptr<CommandServer> server;
    ConnectionTable table;
    Connection* record = nullptr;
    std::unique_ptr<FakeWorker> worker;
};

// The record keeps the locks its worker holds, so that Finished can release
// what is left: a write lock with 0 bytes (the document does not count as
// cached), and never a read lock someone else holds.
TEST_F(CommandServerTest, LocksAreAnsweredRecordedAndReleasedAtFinished) {
    ASSERT_EQ(serve(int32_t(CMD_READ_LOCK), Str("http://host/missing")), 0);
    EXPECT_EQ(answer(not_cached), not_cached);
    EXPECT_EQ(record->read_lock, 0u);
    uint32_t own = store("http://host/own"), foreign = store("http://host/foreign");
    read_elsewhere("http://host/foreign");
    ASSERT_EQ(serve(int32_t(CMD_READ_LOCK), Str("http://host/own")), 0);
    std::string ack =
        encoded(int32_t(CMD_READ_LOCK_ACK), date, cache->file_name(own), own, 10u, false, 200);
    EXPECT_EQ(answer(ack), ack);
    EXPECT_EQ(record->read_lock, own);

    // A foreign id is released in the cache, but the recorded lock stays.
    ASSERT_EQ(serve(int32_t(CMD_RELEASE_READ_LOCK), foreign), 0);
    EXPECT_EQ(record->read_lock, own);
    EXPECT_EQ(readers(foreign) * 10 + readers(own), 1);
    read_elsewhere("http://host/foreign");
    ASSERT_EQ(serve(int32_t(CMD_WRITE_LOCK), Str("http://host/new"), GMTdate(), false, 200), 0);
    ASSERT_NE(record->write_lock, 0u);

    ASSERT_EQ(serve(int32_t(CMD_FINISHED)), 0);
    EXPECT_EQ(table.count(), 0);
    EXPECT_EQ(readers(own) * 10 + readers(foreign), 1);
    EXPECT_EQ(cache->find_url("http://host/new"), nullptr);
}

// Codes meant for the worker, unknown codes and answers that cannot be sent
// are reported; the channel stays in step and the record stays.
TEST_F(CommandServerTest, ServingGoesOnAfterInvalidCodesAndAnswersThatCannotBeSent) {
    const int32_t codes[] = {CMD_ABORT,   CMD_READ_LOCK_ACK,         CMD_WRITE_LOCK_ACK,
                             CMD_SPECIAL_ANSWER_PAGE, CMD_OPTIONS, CMD_SPECIAL_ANSWER_SEARCH,
                             0,           16,          -1};
    for (int32_t code : codes) {
        SCOPED_TRACE(code);
        StderrCapture err;
        ASSERT_EQ(serve(code), 0);
        EXPECT_EQ(err.text(), "MALFUNCTION:\nRelais: received invalid data from child\r\n\n");
        EXPECT_EQ(table.count(), 1);
        EXPECT_TRUE(nothing_more());
    }
    ASSERT_EQ(serve(int32_t(CMD_READ_LOCK), Str("http://host/x")), 0);
    EXPECT_EQ(answer(not_cached), not_cached);
    ASSERT_EQ(::shutdown(record->channel->handle(), SHUT_WR), 0);
    StderrCapture err;
    ASSERT_EQ(serve(int32_t(CMD_GET_OPTIONS)), 0);
    EXPECT_NE(err.text().find("MALFUNCTION:\nRelais: unable to send options to child\r\n"),
              std::string::npos);
    EXPECT_EQ(table.count(), 1);
}

// A worker that asks for its options and its cache lookup at once is woken
// once, by both answers together. Options: timeout, offline, proxyhost,
// proxyport, debug, updtime, language, sockshost, socksport, socksuser.
TEST_F(CommandServerTest, AnAnswerWaitsForTheNextWhenTwoQuestionsCameAtOnce) {
    ASSERT_EQ(options.set.set("socksuser", "anne"), 0);
    ASSERT_EQ(serve(int32_t(CMD_GET_OPTIONS), int32_t(CMD_READ_LOCK), Str("http://host/x")), 0);
    EXPECT_TRUE(nothing_more());
    ASSERT_EQ(server->serve(*record, table), 0);
    std::string both = encoded(int32_t(CMD_OPTIONS), 60, false, Str(), 8080, false, 36000, 0, Str(),
                               1080, Str("anne")) + not_cached;
    EXPECT_EQ(answer(both), both);
}

} // namespace
