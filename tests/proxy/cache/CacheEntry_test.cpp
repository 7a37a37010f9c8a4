// Cache entries: reading a cache file as recovery does, the file name rule,
// the record form, and the list that owns the entries.
#include "proxy/cache/CacheEntry.h"

#include "foundation/BufStream.h"
#include "testsupport/CacheFixture.h"

namespace {

const std::string URL = "http://h/a";

// init_from_cfile over a real file, through a buffered reader as recovery reads.
int32_t init_from(CacheEntry& entry, const TempDir& dir, const std::string& bytes) {
    write_file(dir.file("1"), bytes);
    IFileStream file(Str(dir.file("1").c_str()));
    BufReadable buffered(file);
    return entry.init_from_cfile(buffered);
}

std::string file_bytes(const TempDir& dir, const Document& doc) {
    write_cache_file(dir.file("made"), doc);
    return read_file(dir.file("made"));
}

TEST(CacheEntryFile, FieldsComeFromTheFileAndBadFilesAreRejected) {
    TempDir dir;
    auto with = [&](std::string body, uint32_t content_length, int32_t status = 200) {
        Document doc{URL, body};
        doc.content_length = content_length;
        doc.status = status;
        return file_bytes(dir, doc);
    };
    std::string bad_magic = with("body", 0);
    bad_magic[0] = 0x02;
    std::string lying_url = with("", 0);
    lying_url.replace(lying_url.size() - URL.size() - 4, 4, "\xF0\xFF\xFF\x7F");
    struct Case {
        const char* name;
        std::string bytes;
        int32_t result;
        uint32_t body;
        std::string report;
    };
    const Case cases[] = {
        {"head and URL only: head-only", with("", 0, 301), 0, 0, ""},
        {"no Content-Length: taken at its length", with(std::string(777, 'x'), 0), 0, 777, ""},
        {"longer than its Content-Length", with(std::string(150, 'x'), 100), 0, 150, ""},
        {"as long as its Content-Length", with(std::string(100, 'x'), 100), 0, 100, ""},
        {"longer than the read block", with(std::string(200001, 'y'), 0), 0, 200001, ""},
        {"shorter than its Content-Length", with(std::string(60, 'x'), 100), -1, 0,
         "CacheEntry::init_from_cfile short file"},
        {"wrong magic", bad_magic, -1, 0, "CacheEntry::init_from_cfile got invalid data from file"},
        {"lying URL length", lying_url, -1, 0, "CacheEntry::init_from_cfile got invalid data"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CacheEntry entry;
        EXPECT_EQ(init_from(entry, dir, c.bytes), c.result);
        if (c.result == 0) {
            EXPECT_EQ(text(entry.url), URL);
            EXPECT_EQ(entry.errorcode, c.body == 0 ? 301 : 200);
            EXPECT_EQ(entry.bytes, c.body);
            EXPECT_EQ(entry.headeronly, c.body == 0);
            EXPECT_FALSE(fail_pending());
        } else {
            std::string report = fail_take();
            EXPECT_NE(report.find(c.report), std::string::npos) << report;
            EXPECT_TRUE(entry.url.empty());
        }
    }
    // Every cut through the answer head and the URL is invalid.
    std::string head = with("", 0);
    for (size_t n = 0; n < head.size(); n++) {
        CacheEntry entry;
        EXPECT_EQ(init_from(entry, dir, head.substr(0, n)), -1) << "length " << n;
        EXPECT_NE(std::string(fail_take()).find("got invalid data from file"), std::string::npos);
    }
}

TEST(CacheEntryFile, NameIsTheCanonicalDecimalIdInsideTheDirectory) {
    EXPECT_EQ(text(cache_file_path("/tmp/c", 1234)), "/tmp/c/1234");
    EXPECT_EQ(text(cache_file_path("cache", 4294967295u)), "cache/4294967295");
    struct Case {
        const char* name;
        bool valid;
        uint32_t id;
    };
    for (const Case& c : {Case{"12", true, 12}, {"4294967295", true, 4294967295u},
                          {"0012", false, 77}, {"12.tmp", false, 77}, {"0", false, 77},
                          {"", false, 77}, {"-1", false, 77}, {"+1", false, 77}, {"1 ", false, 77},
                          {"4294967296", false, 77}, {"99999999999", false, 77},
                          {"1a", false, 77}, {"cachedb", false, 77}}) {
        uint32_t id = 77;
        EXPECT_EQ(parse_cache_file_name(c.name, id), c.valid) << c.name;
        EXPECT_EQ(id, c.id) << c.name;
    }
}

TEST(CacheEntryRecord, IdZeroIsPrintedAsInconsistentButStillWritten) {
    TempDir dir;
    CacheEntry entry;
    entry.url = "u";
    StderrCapture err;
    {
        OFileStream out(Str(dir.file("record").c_str()), O_CREAT | O_TRUNC);
        BinaryDrain drain(out);
        drain << entry;
    }
    EXPECT_EQ(err.text(), malfunction("ObjectDrain << CacheEntry internal inconsistency (id)"));
    EXPECT_EQ(read_file(dir.file("record")).size(), 4u + 1 + 32 + 16);
}

TEST(EntryList, OwnsItsEntriesInOrderThroughMoveToBackAndRemoval) {
    EntryList list;
    CacheEntry* made[3];
    for (uint32_t i = 0; i < 3; i++) (made[i] = &list.push_back(new_cache_entry()))->id = i + 1;
    list.move_to_back(*made[0]);
    list.move_to_back(*made[0]); // already last
    std::unique_ptr<CacheEntry> taken = list.remove(*made[2]);
    EXPECT_TRUE(taken.get() == made[2] && !taken->list() && !taken->next() && !taken->prev());
    EXPECT_EQ(list.count(), 2u);
    EXPECT_TRUE(list.first() == made[1] && made[1]->next() == made[0] && !made[0]->next());
    EXPECT_TRUE(list.last() == made[0] && made[0]->prev() == made[1] && !made[1]->prev());
    list.remove(*made[1]);
    list.remove(*made[0]);
    EXPECT_TRUE(list.empty() && !list.first() && !list.last());
    // A long list ends without unwinding its chain of owners recursively.
    for (int i = 0; i < 300000; i++) list.push_back(new_cache_entry());
    EXPECT_EQ(list.count(), 300000u);
}

} // namespace
