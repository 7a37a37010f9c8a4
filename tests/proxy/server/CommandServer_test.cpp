// Serving the workers' commands: each test plays a worker on a real loopback
// channel (a fake worker that connected like a real one) against a real
// cache in a temporary folder, and calls the server's command handling for
// one command at a time.
#include "proxy/server/CommandServer.h"

#include "foundation/Fail.h"
#include "proxy/admin/AdminRequest.h"
#include "proxy/cache/Cache.h"
#include "proxy/server/Command.h"
#include "proxy/options/RelaisOptions.h"
#include "tests/proxy/server/ServerTestSupport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>

namespace {

using namespace server_test;

std::string text(const Str& s) {
    return std::string(s.data(), s.length());
}

GMTdate date_at(int64_t seconds) {
    GMTdate date;
    date.set_from_time(seconds);
    return date;
}

const std::string INVALID_DATA_REPORT =
    "MALFUNCTION:\nRelais: received invalid data from child\r\n\n";

class CommandServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        WorkerQueue::instance().clear();
        ASSERT_FALSE(dir.path.empty());
        ASSERT_EQ(options.set.set("cachedir", (dir.path / "cache").c_str()), 0) << fail_take();
        {
            CaptureStderr quiet; // the rebuild of an empty cache reports its counts
            cache = std::make_unique<Cache>(options.cachedir, options.cachesize,
                                            options.entrysize, options.cachefiles,
                                            options.language, options.debug, options.exportdir,
                                            options.importdir, true);
        }
        ASSERT_FALSE(cache->failed()) << fail_take();
        admins.push_back(loopback_address());
        admin = std::make_unique<AdminRequest>(
            AdminSite{options, *cache, admins, Str((dir.path / "harbord").c_str()),
                      [this] { return table.count(); }});
        server = std::make_unique<CommandServer>(options, *cache, *admin);

        uint16_t port = free_port();
        ASSERT_NE(port, 0);
        const char* argv[] = {"harbord", "-urlget", "-socket", "9", "-remip", "16777343"};
        auto connection = std::make_unique<Connection>();
        connection->id = ConnectionTable::next_id();
        connection->channel =
            std::make_unique<CmdSocket>("debug", ArgList(6, argv), connecting_entry, 0, port);
        ASSERT_TRUE(connection->channel->connected()) << fail_take();
        worker = WorkerQueue::instance().next();
        ASSERT_TRUE(worker && worker->channel);
        record = connection.get();
        id = record->id;
        table.add(std::move(connection));
    }

    void TearDown() override {
        table.clear();
        worker.reset();
        EXPECT_TRUE(WorkerPool::wait_until_none_runs(30000));
        CaptureStderr quiet;
        cache.reset();
        fail_take();
    }

    BinaryDrain to_server() { return BinaryDrain(*worker->channel); }
    BinarySource from_server() { return BinarySource(*worker->channel); }

    // A complete document in the cache: its id.
    uint32_t store_document(const char* url, uint32_t bytes, int64_t date = 1000000000) {
        Str file;
        uint32_t entry = 0;
        cache->get_write_lock(url, date_at(date), false, 200, file, entry);
        cache->release_write_lock(entry, bytes);
        return entry;
    }

    // True when nothing more has arrived from the server.
    bool nothing_more() {
        char byte;
        return worker->channel->nbread(&byte, 1) == 0;
    }

    int32_t read_code() {
        int32_t code = -1;
        BinarySource source = from_server();
        source >> code;
        return source.error() ? -1 : code;
    }

    TempDir dir;
    RelaisOptions options;
    std::unique_ptr<Cache> cache;
    std::vector<uint32_t> admins;
    std::unique_ptr<AdminRequest> admin;
    std::unique_ptr<CommandServer> server;
    ConnectionTable table;
    Connection* record = nullptr;
    int32_t id = 0;
    std::unique_ptr<FakeWorker> worker;
};

struct ReadLockAck {
    int32_t code = 0;
    GMTdate date;
    Str file;
    uint32_t id = 99, bytes = 99;
    bool headeronly = true;
    int32_t errorcode = 0;
};

ReadLockAck read_ack(BinarySource source) {
    ReadLockAck ack;
    source >> ack.code >> ack.date >> ack.file >> ack.id >> ack.bytes >> ack.headeronly >>
        ack.errorcode;
    EXPECT_EQ(source.error(), 0);
    return ack;
}

TEST_F(CommandServerTest, ReadLockForAnUncachedUrlAnswersTheNotCachedDefaults) {
    to_server() << int32_t(CMD_READ_LOCK) << Str("http://host/missing.html");
    ASSERT_EQ(server->serve(*record, table), 0);

    ReadLockAck ack = read_ack(from_server());
    EXPECT_EQ(ack.code, CMD_READ_LOCK_ACK);
    EXPECT_FALSE(ack.date.specified());
    EXPECT_EQ(text(ack.file), "");
    EXPECT_EQ(ack.id, 0u);
    EXPECT_EQ(ack.bytes, 0u);
    EXPECT_FALSE(ack.headeronly);
    EXPECT_EQ(ack.errorcode, 500);
    EXPECT_TRUE(nothing_more());
    EXPECT_EQ(record->read_lock, 0u);
    EXPECT_EQ(cache->accesses(), 1u);
}

TEST_F(CommandServerTest, ReadLockForACachedUrlAnswersTheEntryAndRecordsTheLock) {
    uint32_t entry = store_document("http://host/page.html", 1234, 1100000000);
    to_server() << int32_t(CMD_READ_LOCK) << Str("http://host/page.html");
    ASSERT_EQ(server->serve(*record, table), 0);

    ReadLockAck ack = read_ack(from_server());
    EXPECT_EQ(ack.code, CMD_READ_LOCK_ACK);
    EXPECT_EQ(text(ack.date.to_Str()), text(date_at(1100000000).to_Str()));
    EXPECT_EQ(text(ack.file), text(cache->file_name(entry)));
    EXPECT_EQ(ack.id, entry);
    EXPECT_EQ(ack.bytes, 1234u);
    EXPECT_FALSE(ack.headeronly);
    EXPECT_EQ(ack.errorcode, 200);
    EXPECT_TRUE(nothing_more());
    EXPECT_EQ(record->read_lock, entry);
    EXPECT_EQ(cache->find_id(entry)->readers, 1);
}

TEST_F(CommandServerTest, FinishedReleasesTheReadAndTheWriteLockHeldAndDeletesTheRecord) {
    uint32_t read = store_document("http://host/read.html", 10);
    to_server() << int32_t(CMD_READ_LOCK) << Str("http://host/read.html");
    ASSERT_EQ(server->serve(*record, table), 0);
    read_ack(from_server());

    to_server() << int32_t(CMD_WRITE_LOCK) << Str("http://host/new.html") << date_at(1200000000)
                << false << int32_t(200);
    ASSERT_EQ(server->serve(*record, table), 0);
    int32_t code = 0;
    Str file;
    uint32_t write = 0;
    from_server() >> code >> file >> write;
    ASSERT_EQ(code, CMD_WRITE_LOCK_ACK);
    ASSERT_NE(write, 0u);
    ASSERT_EQ(record->read_lock, read);
    ASSERT_EQ(record->write_lock, write);
    ASSERT_EQ(cache->writing().count(), 1u);

    to_server() << int32_t(CMD_FINISHED);
    ASSERT_EQ(server->serve(*record, table), 0);

    EXPECT_EQ(table.count(), 0);
    EXPECT_EQ(table.find(id), nullptr);
    EXPECT_EQ(cache->find_id(read)->readers, 0);
    // Released with 0 bytes: the unfinished document is not cached.
    EXPECT_EQ(cache->writing().count(), 0u);
    EXPECT_EQ(cache->find_id(write), nullptr);
    EXPECT_EQ(cache->find_url("http://host/new.html"), nullptr);
    // The channel is closed: the worker reads its end.
    char byte;
    EXPECT_EQ(worker->channel->eread(&byte, 1), 0);
    fail_take();
}

TEST_F(CommandServerTest, FinishedWithoutLocksReleasesNothing) {
    uint32_t entry = store_document("http://host/other.html", 10);
    // Someone else's reader: Finished of a worker without locks leaves it.
    GMTdate date;
    Str file;
    uint32_t got = 0, bytes = 0;
    bool headeronly = false;
    int32_t errorcode = 0;
    cache->get_read_lock("http://host/other.html", date, file, got, bytes, headeronly, errorcode);
    to_server() << int32_t(CMD_FINISHED);
    CaptureStderr err;
    ASSERT_EQ(server->serve(*record, table), 0);
    EXPECT_EQ(err.text(), "");
    EXPECT_EQ(table.count(), 0);
    EXPECT_EQ(cache->find_id(entry)->readers, 1);
}

TEST_F(CommandServerTest, ReleaseReadLockWithAForeignIdReleasesItButKeepsTheRecordedLock) {
    uint32_t own = store_document("http://host/own.html", 10);
    uint32_t foreign = store_document("http://host/foreign.html", 10);
    GMTdate date;
    Str file;
    uint32_t got = 0, bytes = 0;
    bool headeronly = false;
    int32_t errorcode = 0;
    cache->get_read_lock("http://host/foreign.html", date, file, got, bytes, headeronly, errorcode);
    ASSERT_EQ(got, foreign);

    to_server() << int32_t(CMD_READ_LOCK) << Str("http://host/own.html");
    ASSERT_EQ(server->serve(*record, table), 0);
    read_ack(from_server());

    to_server() << int32_t(CMD_RELEASE_READ_LOCK) << foreign;
    ASSERT_EQ(server->serve(*record, table), 0);
    EXPECT_EQ(record->read_lock, own);
    EXPECT_EQ(cache->find_id(foreign)->readers, 0);
    EXPECT_EQ(cache->find_id(own)->readers, 1);
    EXPECT_TRUE(nothing_more());

    to_server() << int32_t(CMD_RELEASE_READ_LOCK) << own;
    ASSERT_EQ(server->serve(*record, table), 0);
    EXPECT_EQ(record->read_lock, 0u);
    EXPECT_EQ(cache->find_id(own)->readers, 0);
}

TEST_F(CommandServerTest, WriteLockAndReleaseWithBytesStoreTheDocument) {
    to_server() << int32_t(CMD_WRITE_LOCK) << Str("http://host/doc.html") << date_at(1300000000)
                << false << int32_t(200);
    ASSERT_EQ(server->serve(*record, table), 0);
    int32_t code = 0;
    Str file;
    uint32_t write = 0;
    BinarySource source = from_server();
    source >> code >> file >> write;
    ASSERT_EQ(source.error(), 0);
    EXPECT_EQ(code, CMD_WRITE_LOCK_ACK);
    ASSERT_NE(write, 0u);
    EXPECT_EQ(text(file), text(cache->file_name(write)));
    EXPECT_EQ(record->write_lock, write);
    EXPECT_TRUE(nothing_more());

    // A second writer for the same url is told not to store.
    to_server() << int32_t(CMD_WRITE_LOCK) << Str("http://host/doc.html") << date_at(1300000000)
                << false << int32_t(200);
    ASSERT_EQ(server->serve(*record, table), 0);
    uint32_t second = 99;
    source >> code >> file >> second;
    EXPECT_EQ(code, CMD_WRITE_LOCK_ACK);
    EXPECT_EQ(second, 0u);
    EXPECT_EQ(text(file), "");

    to_server() << int32_t(CMD_RELEASE_WRITE_LOCK) << write << uint32_t(777);
    ASSERT_EQ(server->serve(*record, table), 0);
    const UrlNode* node = cache->find_url("http://host/doc.html");
    ASSERT_NE(node, nullptr);
    ASSERT_NE(node->current, nullptr);
    EXPECT_EQ(node->current->id, write);
    EXPECT_EQ(node->current->bytes, 777u);
    EXPECT_EQ(text(node->current->date.to_Str()), text(date_at(1300000000).to_Str()));
}

TEST_F(CommandServerTest, ReleaseWriteLockOfTheRecordedIdClearsTheRecord) {
    to_server() << int32_t(CMD_WRITE_LOCK) << Str("http://host/a.html") << date_at(1300000000)
                << false << int32_t(200);
    ASSERT_EQ(server->serve(*record, table), 0);
    int32_t code = 0;
    Str file;
    uint32_t write = 0;
    from_server() >> code >> file >> write;
    ASSERT_EQ(record->write_lock, write);

    to_server() << int32_t(CMD_RELEASE_WRITE_LOCK) << write << uint32_t(5);
    ASSERT_EQ(server->serve(*record, table), 0);
    EXPECT_EQ(record->write_lock, 0u);
    EXPECT_EQ(cache->writing().count(), 0u);
    EXPECT_EQ(cache->totalbytes(), 5u);
}

TEST_F(CommandServerTest, CodesMeantForTheWorkerAreReportedAsInvalidDataAndTheRecordStays) {
    for (int32_t code : {CMD_ABORT, CMD_READ_LOCK_ACK, CMD_WRITE_LOCK_ACK,
                         CMD_SPECIAL_ANSWER_PAGE, CMD_OPTIONS, CMD_SPECIAL_ANSWER_SEARCH}) {
        to_server() << code;
        CaptureStderr err;
        ASSERT_EQ(server->serve(*record, table), 0) << code;
        EXPECT_EQ(err.text(), INVALID_DATA_REPORT) << code;
        EXPECT_EQ(table.find(id), record) << code;
        EXPECT_TRUE(nothing_more()) << code;
    }
    for (int32_t code : {0, 15, -1}) {
        to_server() << code;
        CaptureStderr err;
        ASSERT_EQ(server->serve(*record, table), 0) << code;
        EXPECT_EQ(err.text(), INVALID_DATA_REPORT) << code;
        EXPECT_EQ(table.find(id), record) << code;
    }
    // The channel is still in step: the next command is answered.
    to_server() << int32_t(CMD_GET_OPTIONS);
    ASSERT_EQ(server->serve(*record, table), 0);
    EXPECT_EQ(read_code(), CMD_OPTIONS);
}

TEST_F(CommandServerTest, GetOptionsAnswersTheCurrentOptionsInTableOrder) {
    const std::pair<const char*, const char*> values[] = {
        {"timeout", "77"},         {"offline", "1"},         {"proxyhost", "proxy.example"},
        {"proxyport", "3128"},     {"debug", "yes"},         {"updtime", "1234"},
        {"language", "dutch"},     {"sockshost", "socks.example"}, {"socksport", "1081"},
        {"socksuser", "anne"}};
    for (const auto& [name, value] : values) ASSERT_EQ(options.set.set(name, value), 0);

    to_server() << int32_t(CMD_GET_OPTIONS);
    ASSERT_EQ(server->serve(*record, table), 0);

    int32_t code = 0, timeout = 0, proxyport = 0, updtime = 0, language = 0, socksport = 0;
    bool offline = false, debug = false;
    Str proxyhost, sockshost, socksuser;
    BinarySource source = from_server();
    source >> code >> timeout >> offline >> proxyhost >> proxyport >> debug >> updtime >>
        language >> sockshost >> socksport >> socksuser;
    ASSERT_EQ(source.error(), 0);
    EXPECT_EQ(code, CMD_OPTIONS);
    EXPECT_EQ(timeout, 77);
    EXPECT_TRUE(offline);
    EXPECT_EQ(text(proxyhost), "proxy.example");
    EXPECT_EQ(proxyport, 3128);
    EXPECT_TRUE(debug);
    EXPECT_EQ(updtime, 1234);
    EXPECT_EQ(language, 2);
    EXPECT_EQ(text(sockshost), "socks.example");
    EXPECT_EQ(socksport, 1081);
    EXPECT_EQ(text(socksuser), "anne");
    EXPECT_TRUE(nothing_more());
}

TEST_F(CommandServerTest, UpdateCacheDateSetsTheEntryDateWithoutAnswer) {
    uint32_t entry = store_document("http://host/dated.html", 10, 1000000000);
    to_server() << int32_t(CMD_UPDATE_CACHE_DATE) << entry << date_at(1400000000);
    ASSERT_EQ(server->serve(*record, table), 0);
    EXPECT_EQ(text(cache->find_id(entry)->date.to_Str()), text(date_at(1400000000).to_Str()));
    EXPECT_TRUE(nothing_more());
}

ArgList pairs(std::initializer_list<const char*> items) {
    ArgList list;
    for (const char* item : items) list.append(item);
    return list;
}

TEST_F(CommandServerTest, SpecialRequestForAnUnknownPathAnswersTheInvalidPathPage) {
    to_server() << int32_t(CMD_SPECIAL_REQUEST) << Str("/foo") << pairs({}) << loopback_address();
    ASSERT_EQ(server->serve(*record, table), 0);

    int32_t code = 0;
    Str head, body;
    BinarySource source = from_server();
    source >> code >> head >> body;
    ASSERT_EQ(source.error(), 0);
    EXPECT_EQ(code, CMD_SPECIAL_ANSWER_PAGE);
    EXPECT_EQ(text(head), "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n\r\n");
    EXPECT_NE(text(body).find("Invalid path specified: '/foo'"), std::string::npos) << text(body);
    EXPECT_TRUE(nothing_more());
}

TEST_F(CommandServerTest, SpecialRequestSwitchesOfflineOnlyForAnAdminAddress) {
    uint32_t stranger = htonl(0x0A000001); // 10.0.0.1, never contacted
    to_server() << int32_t(CMD_SPECIAL_REQUEST) << Str("/options") << pairs({"offline", "1"})
                << stranger;
    ASSERT_EQ(server->serve(*record, table), 0);
    int32_t code = 0;
    Str head, body;
    from_server() >> code >> head >> body;
    EXPECT_EQ(code, CMD_SPECIAL_ANSWER_PAGE);
    EXPECT_NE(text(body).find("Unauthorized access:"), std::string::npos) << text(body);
    EXPECT_EQ(options.offline.value(), 0);

    to_server() << int32_t(CMD_SPECIAL_REQUEST) << Str("/options") << pairs({"offline", "1"})
                << loopback_address();
    ASSERT_EQ(server->serve(*record, table), 0);
    from_server() >> code >> head >> body;
    EXPECT_EQ(code, CMD_SPECIAL_ANSWER_PAGE);
    EXPECT_NE(text(body).find("Options were changed"), std::string::npos) << text(body);
    EXPECT_EQ(options.offline.value(), 1);

    // The next worker is told the new mode.
    to_server() << int32_t(CMD_GET_OPTIONS);
    ASSERT_EQ(server->serve(*record, table), 0);
    int32_t timeout = 0;
    bool offline = false;
    from_server() >> code >> timeout >> offline;
    EXPECT_TRUE(offline);
}

TEST_F(CommandServerTest, SearchRequestAnswersTheCacheDirectoryAndTheIdsInUrlOrder) {
    uint32_t second = store_document("http://b.example/", 10);
    uint32_t first = store_document("http://a.example/", 10);
    to_server() << int32_t(CMD_SPECIAL_REQUEST) << Str("/search") << pairs({"phrase", "word"})
                << loopback_address();
    ASSERT_EQ(server->serve(*record, table), 0);

    int32_t code = 0;
    Str directory;
    uint32_t count = 0;
    BinarySource source = from_server();
    source >> code >> directory >> count;
    ASSERT_EQ(source.error(), 0);
    EXPECT_EQ(code, CMD_SPECIAL_ANSWER_SEARCH);
    EXPECT_EQ(text(directory), (dir.path / "cache").string() + "/");
    ASSERT_EQ(count, 2u);
    uint32_t ids[2] = {0, 0};
    EXPECT_EQ(source.read_array(ids, 2), 0);
    EXPECT_EQ(ids[0], first);
    EXPECT_EQ(ids[1], second);
    EXPECT_TRUE(nothing_more());
}

TEST_F(CommandServerTest, ABrokenChannelEndsTheServer) {
    worker->channel.reset();
    ASSERT_EQ(server->serve(*record, table), -1);
    std::string report = fail_take();
    EXPECT_EQ(report.rfind("Relais: failed to get command from child, reason:\r\n", 0), 0u)
        << report;
    EXPECT_EQ(table.find(id), record);
}

TEST_F(CommandServerTest, AnAnswerThatCannotBeSentIsReportedAndServingGoesOn) {
    to_server() << int32_t(CMD_READ_LOCK) << Str("http://host/x.html");
    // The server's own end can no longer send; the command is still readable.
    ASSERT_EQ(::shutdown(record->channel->handle(), SHUT_WR), 0);
    CaptureStderr err;
    ASSERT_EQ(server->serve(*record, table), 0);
    EXPECT_NE(err.text().find("Relais: unable to send ReadLockAck to child"), std::string::npos);
    EXPECT_EQ(table.find(id), record);

    to_server() << int32_t(CMD_GET_OPTIONS);
    CaptureStderr again;
    ASSERT_EQ(server->serve(*record, table), 0);
    EXPECT_NE(again.text().find("Relais: unable to send options to child"), std::string::npos);
}

} // namespace
