// Cache entries: reading cache files, the file name rule, the record form.
#include "proxy/cache/CacheEntry.h"

#include "CacheTestSupport.h"
#include "foundation/BufStream.h"
#include "foundation/Fail.h"
#include "foundation/ObjectStream.h"

#include <gtest/gtest.h>

#include <string>

using namespace cachetest;

namespace {

// Runs init_from_cfile over bytes as recovery does (through a buffered reader).
int32_t init_from(CacheEntry& entry, const std::string& bytes) {
    MemoryReadable memory(bytes);
    BufReadable buffered(memory);
    return entry.init_from_cfile(buffered);
}

std::string taken_report() { return fail_take(); }

} // namespace

TEST(CacheEntryFile, HeadAndUrlOnlyIsHeadOnlyWithZeroBytes) {
    CacheEntry entry;
    ASSERT_EQ(init_from(entry, cache_file_bytes("http://h/a", "", 0, 301)), 0);
    EXPECT_TRUE(entry.headeronly);
    EXPECT_EQ(entry.bytes, 0u);
    EXPECT_EQ(str(entry.url), "http://h/a");
    EXPECT_EQ(entry.errorcode, 301);
    EXPECT_FALSE(fail_pending());
}

TEST(CacheEntryFile, BodyWithoutContentLengthIsTakenAtItsLength) {
    CacheEntry entry;
    ASSERT_EQ(init_from(entry, cache_file_bytes("http://h/b", std::string(777, 'x'))), 0);
    EXPECT_FALSE(entry.headeronly);
    EXPECT_EQ(entry.bytes, 777u);
    EXPECT_FALSE(fail_pending());
}

TEST(CacheEntryFile, BodyShorterThanContentLengthIsShortFile) {
    CacheEntry entry;
    EXPECT_EQ(init_from(entry, cache_file_bytes("http://h/c", std::string(60, 'x'), 100)), -1);
    EXPECT_NE(taken_report().find("CacheEntry::init_from_cfile short file"), std::string::npos);
    EXPECT_TRUE(entry.url.empty());
}

TEST(CacheEntryFile, BodyOfAtLeastContentLengthIsAccepted) {
    CacheEntry longer;
    ASSERT_EQ(init_from(longer, cache_file_bytes("http://h/d", std::string(150, 'x'), 100)), 0);
    EXPECT_EQ(longer.bytes, 150u);
    CacheEntry exact;
    ASSERT_EQ(init_from(exact, cache_file_bytes("http://h/d", std::string(100, 'x'), 100)), 0);
    EXPECT_EQ(exact.bytes, 100u);
}

TEST(CacheEntryFile, BodyLargerThanTheReadBufferIsCountedExactly) {
    CacheEntry entry;
    ASSERT_EQ(init_from(entry, cache_file_bytes("http://h/big", std::string(200001, 'y'))), 0);
    EXPECT_EQ(entry.bytes, 200001u);
}

TEST(CacheEntryFile, WrongMagicIsInvalidData) {
    std::string bytes = cache_file_bytes("http://h/e", "body");
    ASSERT_EQ(bytes.substr(0, 4), std::string("\x01\x4D\x41\x55", 4));
    bytes[0] = 0x02;
    CacheEntry entry;
    EXPECT_EQ(init_from(entry, bytes), -1);
    std::string report = taken_report();
    EXPECT_NE(report.find("CacheEntry::init_from_cfile got invalid data from file"),
              std::string::npos);
    EXPECT_NE(report.find("got invalid data from stream"), std::string::npos);
}

TEST(CacheEntryFile, EveryTruncatedHeadIsRejected) {
    const std::string url = "http://h/truncated";
    std::string head_only = cache_file_bytes(url, "");
    for (size_t n = 0; n < head_only.size(); n++) {
        CacheEntry entry;
        EXPECT_EQ(init_from(entry, head_only.substr(0, n)), -1) << "length " << n;
        EXPECT_NE(taken_report().find("got invalid data from file"), std::string::npos);
    }
}

TEST(CacheEntryFile, LyingUrlLengthIsRejectedWithoutHugeAllocation) {
    std::string bytes = cache_file_bytes("http://h/f", "");
    // The URL's length field sits right before the URL at the end of the head.
    size_t at = bytes.size() - std::string("http://h/f").size() - 4;
    bytes[at] = char(0xF0);
    bytes[at + 1] = char(0xFF);
    bytes[at + 2] = char(0xFF);
    bytes[at + 3] = char(0x7F);
    CacheEntry entry;
    EXPECT_EQ(init_from(entry, bytes), -1);
    EXPECT_NE(taken_report().find("got invalid data from file"), std::string::npos);
}

TEST(CacheEntryFileName, IsTheDecimalIdInsideTheDirectory) {
    EXPECT_EQ(str(cache_file_path("/tmp/c", 1234)), "/tmp/c/1234");
    EXPECT_EQ(str(cache_file_path("cache", 4294967295u)), "cache/4294967295");
}

TEST(CacheEntryFileName, OnlyCanonicalDecimalNamesAreCacheFiles) {
    uint32_t id = 0;
    EXPECT_TRUE(parse_cache_file_name("12", id));
    EXPECT_EQ(id, 12u);
    EXPECT_TRUE(parse_cache_file_name("4294967295", id));
    EXPECT_EQ(id, 4294967295u);
    for (const char* name : {"0012", "12.tmp", "0", "", "-1", "+1", "1 ", "4294967296",
                             "99999999999", "1a", "cachedb"}) {
        id = 77;
        EXPECT_FALSE(parse_cache_file_name(name, id)) << name;
        EXPECT_EQ(id, 77u) << name;
    }
}

TEST(CacheEntryRecord, BinaryFormIsTheFieldsInOrder) {
    CacheEntry entry;
    entry.url = "http://h/x";
    entry.date = date_of(784111777);
    entry.id = 0x123456;
    entry.bytes = 99;
    entry.headeronly = true;
    entry.errorcode = 404;
    MemoryWriteable out;
    BinaryDrain drain(out);
    drain << entry;
    ASSERT_FALSE(drain.error());

    Parser p(out.text);
    EXPECT_EQ(p.str(), "http://h/x");
    GMTdate d = p.date();
    EXPECT_EQ(d.year, 1994);
    EXPECT_EQ(d.month, 10);
    EXPECT_EQ(d.day, 6);
    EXPECT_EQ(d.fail, 0);
    EXPECT_EQ(p.u32(), 0x123456u);
    EXPECT_EQ(p.u32(), 99u);
    EXPECT_EQ(p.u32(), 1u);
    EXPECT_EQ(p.u32(), 404u);
    EXPECT_TRUE(p.at_end());

    MemoryReadable in(out.text);
    BinarySource source(in);
    CacheEntry back;
    source >> back;
    ASSERT_FALSE(source.error());
    EXPECT_EQ(str(back.url), "http://h/x");
    EXPECT_EQ(str(back.date.to_Str()), str(entry.date.to_Str()));
    EXPECT_EQ(back.id, entry.id);
    EXPECT_EQ(back.bytes, 99u);
    EXPECT_TRUE(back.headeronly);
    EXPECT_EQ(back.errorcode, 404);
}

TEST(CacheEntryRecord, IdZeroIsPrintedAsInconsistentButStillWritten) {
    CacheEntry entry;
    entry.url = "u";
    MemoryWriteable out;
    BinaryDrain drain(out);
    StderrCapture err;
    drain << entry;
    std::string printed = err.finish();
    EXPECT_NE(printed.find("ObjectDrain << CacheEntry internal inconsistency (id)"),
              std::string::npos);
    EXPECT_EQ(out.text.size(), 4u + 1 + 32 + 16);
    EXPECT_FALSE(fail_pending());
}

TEST(CacheEntryRecord, TruncatedRecordIsUnableToRead) {
    CacheEntry entry;
    entry.url = "http://h/y";
    entry.id = 5;
    MemoryWriteable out;
    BinaryDrain drain(out);
    drain << entry;
    MemoryReadable in(out.text.substr(0, out.text.size() - 2));
    BinarySource source(in);
    CacheEntry back;
    source >> back;
    EXPECT_TRUE(source.error());
    EXPECT_NE(taken_report().find("ObjectSource >> CacheEntry unable to read instance"),
              std::string::npos);
}

TEST(CacheEntryRecord, TextFormLabelsTheFields) {
    CacheEntry entry;
    entry.url = "http://h/z";
    entry.id = 42;
    entry.bytes = 7;
    MemoryWriteable out;
    TextDrain drain(out);
    drain << entry;
    for (const char* piece : {"CacheEntry:", "url    = http://h/z\n", "date   = date-not-specified",
                              "id     = 42\n", "bytes  = 7\n", "headeronly = false\n",
                              "errorcode = 0\n"})
        EXPECT_NE(out.text.find(piece), std::string::npos) << piece << " in " << out.text;
}

TEST(EntryList, KeepsOrderThroughRemovalAndMoveToBack) {
    EntryList list;
    CacheEntry& a = list.push_back(new_cache_entry());
    CacheEntry& b = list.push_back(new_cache_entry());
    CacheEntry& c = list.push_back(new_cache_entry());
    a.id = 1;
    b.id = 2;
    c.id = 3;
    list.move_to_back(a);
    std::vector<uint32_t> order;
    for (const CacheEntry& e : list) order.push_back(e.id);
    EXPECT_EQ(order, (std::vector<uint32_t>{2, 3, 1}));
    std::unique_ptr<CacheEntry> taken = list.remove(c);
    EXPECT_EQ(taken.get(), &c);
    EXPECT_EQ(list.count(), 2u);
    EXPECT_EQ(list.first(), &b);
    EXPECT_EQ(list.last(), &a);
    EXPECT_EQ(b.next(), &a);
    EXPECT_EQ(a.prev(), &b);
    EXPECT_EQ(c.list(), nullptr);
    list.remove(b);
    list.remove(a);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(list.first(), nullptr);
    EXPECT_EQ(list.last(), nullptr);
}
