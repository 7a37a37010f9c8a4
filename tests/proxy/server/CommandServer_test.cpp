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

#include <atomic>
#include <thread>

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
        add_record();
    }
    // A record with its fake worker and its browser, which become the ones
    // the helpers below use.
    void add_record() {
        auto connection = std::make_unique<Connection>();
        connection->id = ConnectionTable::next_id();
        connection->channel = std::make_unique<CmdSocket>("debug", ArgList(), connecting_entry);
        int ends[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        connection->client = std::make_unique<Socket>(ends[0], false);
        browser = std::make_unique<Socket>(ends[1], false);
        worker = next_worker();
        ASSERT_TRUE(worker && worker->channel);
        record = connection.get();
        table.add(std::move(connection));
    }
    void TearDown() override {
        EXPECT_TRUE(WorkerPool::wait_until_none_runs(30000));
        fail_take();
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
    // The peer's end: a receive that does not wait finds 0 bytes.
    static bool ended(Socket& peer) {
        char byte;
        return ::recv(peer.handle(), &byte, 1, MSG_DONTWAIT) == 0;
    }
    // A complete document of 10 bytes in the cache: its id.
    uint32_t store(const char* url) {
        Str file;
        uint32_t id = 0;
        cache->get_write_lock(url, date, false, 200, SHARED, file, id);
        cache->release_write_lock(id, 10);
        return id;
    }
    // A read lock that is not the worker's.
    void read_elsewhere(const char* url) {
        Str file;
        uint32_t id = 0, bytes = 0;
        bool headeronly = false;
        int32_t errorcode = 0;
        cache->get_read_lock(url, 1, date, file, id, bytes, headeronly, errorcode);
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
    std::unique_ptr<Socket> browser;
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

    // Given back, the lock leaves the record; the worker may then take another.
    ASSERT_EQ(serve(int32_t(CMD_RELEASE_READ_LOCK), own), 0);
    EXPECT_EQ(record->read_lock * 10 + readers(own), 0u);
    ASSERT_EQ(serve(int32_t(CMD_READ_LOCK), Str("http://host/own")), 0);
    EXPECT_EQ(answer(ack), ack);
    ASSERT_EQ(
        serve(int32_t(CMD_WRITE_LOCK), Str("http://host/new"), GMTdate(), false, 200, false), 0);
    ASSERT_NE(record->write_lock, 0u);

    ASSERT_EQ(serve(int32_t(CMD_FINISHED)), 0);
    EXPECT_EQ(table.count(), 0);
    EXPECT_EQ(readers(own) * 10 + readers(foreign), 1);
    EXPECT_EQ(cache->find_url("http://host/new"), nullptr);
}

// Whatever a worker sends that is no valid command ends its channel only: the
// report is printed, its locks are released as at Finished, its browser and
// the worker see the end, and the record goes once the worker has closed its
// end (nothing it sends until then is served).
TEST_F(CommandServerTest, InvalidDataEndsThatChannelOnly) {
    const std::string head = "MALFUNCTION:\nRelais: closing channel to child, reason:\r\n ";
    const std::string invalid = head + "Relais: received invalid data from child\r\n\n";
    const std::string closed = " ChannelReader::refill read-error Reason code:0\r\n\n";
    const std::string unreadable = head + "Relais: unable to read ReadLock from child, reason:\r\n"
                                          " ObjectSource >> Str unable to read instance, reason:\r\n";
    const std::string misuse = head + "Relais: invalid lock use by child\r\n\n";
    const uint32_t limit = CmdSocket::RECORD_LIMIT;
    uint32_t foreign = store("http://host/foreign");
    read_elsewhere("http://host/foreign");
    struct Case {
        const char* name;
        std::string bytes;
        bool then_closed; // the worker closes right after the bytes
        std::string report;
    } cases[] = {
        {"code meant for the worker", encoded(int32_t(CMD_OPTIONS)), false, invalid},
        {"unknown code", encoded(99), false, invalid},
        {"negative code", encoded(-1), false, invalid},
        {"short code", std::string("\3\0", 2), true,
         head + "Relais: failed to get command from child, reason:\r\n" + closed},
        {"short record", encoded(int32_t(CMD_READ_LOCK), 100u) + "abc", true, unreadable + closed},
        {"record too long", encoded(int32_t(CMD_READ_LOCK), limit) + std::string(limit, 'x'), false,
         unreadable + " CmdSocket::eread record too long\r\n\n"},
        {"second read lock", encoded(int32_t(CMD_READ_LOCK), Str("http://host/x")), false, misuse},
        {"second write lock",
         encoded(int32_t(CMD_WRITE_LOCK), Str("http://host/y"), date, false, 200, false), false,
         misuse},
        {"foreign read lock given back", encoded(int32_t(CMD_RELEASE_READ_LOCK), foreign), false,
         misuse},
        {"foreign write lock given back", encoded(int32_t(CMD_RELEASE_WRITE_LOCK), foreign, 10u),
         false, misuse},
        {"foreign date renewed", encoded(int32_t(CMD_UPDATE_CACHE_DATE), foreign, GMTdate()), false,
         misuse},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        add_record();
        uint32_t own = store("http://host/own");
        ASSERT_EQ(serve(int32_t(CMD_READ_LOCK), Str("http://host/own")), 0);
        ASSERT_EQ(
            serve(int32_t(CMD_WRITE_LOCK), Str("http://host/new"), GMTdate(), false, 200, false), 0);
        ASSERT_NE(record->read_lock * record->write_lock, 0u);
        std::atomic<bool> sent{false};
        std::thread send([&] { // the long record does not fit into the channel at once
            worker->channel->ewrite(c.bytes.data(), int32_t(c.bytes.size()));
            if (c.then_closed) ::shutdown(worker->channel->handle(), SHUT_WR);
            sent = true;
        });
        StderrCapture err;
        int32_t id = record->id;
        ASSERT_EQ(server->serve(*record, table), 0);
        EXPECT_EQ(err.text(), c.report);
        EXPECT_EQ(readers(own) * 10 + readers(foreign), 1);
        EXPECT_TRUE(cache->find_id(foreign)->date.specified());
        EXPECT_EQ(cache->find_url("http://host/new"), nullptr);
        EXPECT_TRUE(ended(*browser));
        while (!sent && table.find(id)) server->serve(*table.find(id), table); // thrown away
        send.join();
        char buffer[4096]; // the answers to the locks, then the end
        while (::recv(worker->channel->handle(), buffer, sizeof buffer, 0) > 0) {}
        EXPECT_TRUE(ended(*worker->channel));
        if (!c.then_closed) {
            ASSERT_NE(table.find(id), nullptr);
            // The server's end throws away what is left of a long record first.
            std::string more = encoded(int32_t(CMD_READ_LOCK), Str("http://host/own"));
            while (table.find(id) && ::send(worker->channel->handle(), more.data(), more.size(),
                                            MSG_DONTWAIT | MSG_NOSIGNAL) < 0)
                server->serve(*table.find(id), table);
            ASSERT_NE(table.find(id), nullptr);
            ASSERT_EQ(server->serve(*table.find(id), table), 0);
            EXPECT_EQ(readers(own), 0);
            worker->end();
            while (table.find(id)) ASSERT_EQ(server->serve(*table.find(id), table), 0);
        }
        EXPECT_EQ(table.find(id), nullptr);
    }
    EXPECT_EQ(table.count(), 1); // the first record
}

// An answer that cannot be sent is reported; the record stays.
TEST_F(CommandServerTest, AnAnswerThatCannotBeSentIsReported) {
    ASSERT_EQ(::shutdown(record->channel->handle(), SHUT_WR), 0);
    StderrCapture err;
    ASSERT_EQ(serve(int32_t(CMD_GET_OPTIONS)), 0);
    EXPECT_NE(err.text().find("MALFUNCTION:\nRelais: unable to send options to child\r\n"),
              std::string::npos);
    EXPECT_EQ(table.count(), 1);
}

// A worker that asks for its options and its cache lookup at once is woken
// once, by both answers together. Options: timeout, offline, proxyhost,
// proxyport, debug, updtime, language, sockshost, socksport, socksuser,
// port, iport, sslports, cafile, sslcache, sslhosts, CA directory.
TEST_F(CommandServerTest, AnAnswerWaitsForTheNextWhenTwoQuestionsCameAtOnce) {
    ASSERT_EQ(options.set.set("socksuser", "anne"), 0);
    ASSERT_EQ(serve(int32_t(CMD_GET_OPTIONS), int32_t(CMD_READ_LOCK), Str("http://host/x")), 0);
    EXPECT_TRUE(nothing_more());
    ASSERT_EQ(server->serve(*record, table), 0);
    std::string both = encoded(int32_t(CMD_OPTIONS), 60, false, Str(), 8080, false, 36000, 0, Str(),
                               1080, Str("anne"), 8080, 8808, Str("443"), Str(), false, Str(), Str(".")) +
                       not_cached;
    EXPECT_EQ(answer(both), both);
}

} // namespace
