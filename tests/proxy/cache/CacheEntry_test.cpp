// Cache entries: reading a cache file as recovery does, the file name rule,
// the record form, and the list that owns the entries.
#include "proxy/cache/CacheEntry.h"

#include "foundation/BufStream.h"
#include "testsupport/CacheFixture.h"

namespace {

TEST(CacheEntryFile, FieldsComeFromTheFileAndBadFilesAreRejected) {
    TempDir dir;
    const std::string url = "http://h/a", path = dir.file("1");
    auto file = [&](std::string body, uint32_t content_length, int32_t status = 200) {
        Document doc{url, body};
        doc.content_length = content_length;
        doc.status = status;
        write_cache_file(path, doc);
        return read_file(path);
    };
    std::string bad_magic = file("body", 0), lying_url = file("", 0);
    bad_magic[0] = 0x02;
    lying_url.replace(lying_url.size() - url.size() - 4, 4, "\xF0\xFF\xFF\x7F");
    // The bytes, and the body length taken or the report of the refusal.
    std::vector<std::tuple<std::string, std::string, uint32_t, const char*>> cases = {
        {"head and URL only: head-only", file("", 0, 301), 0, ""},
        {"no Content-Length: taken at its length", file(std::string(777, 'x'), 0), 777, ""},
        {"longer than its Content-Length", file(std::string(150, 'x'), 100), 150, ""},
        {"as long as its Content-Length", file(std::string(100, 'x'), 100), 100, ""},
        {"longer than the read block", file(std::string(200001, 'y'), 0), 200001, ""},
        {"shorter than its Content-Length", file(std::string(60, 'x'), 100), 0, "short file"},
        {"wrong magic", bad_magic, 0, "got invalid data from file, reason:"},
        {"lying URL length", lying_url, 0, "got invalid data from file"},
    };
    // Every cut through the answer head and the URL is invalid.
    std::string head = file("", 0);
    for (size_t n = 0; n < head.size(); n++)
        cases.emplace_back("cut at " + std::to_string(n), head.substr(0, n), 0,
                           "got invalid data from file");
    for (const auto& [name, bytes, body, report] : cases) {
        SCOPED_TRACE(name);
        write_file(path, bytes);
        IFileStream stream(Str(path.c_str()));
        BufReadable buffered(stream);
        CacheEntry entry;
        int32_t result = entry.init_from_cfile(buffered);
        if (*report) {
            EXPECT_EQ(result, -1);
            std::string taken = fail_take();
            EXPECT_EQ(taken.rfind(std::string("CacheEntry::init_from_cfile ") + report, 0), 0u)
                << taken;
            EXPECT_TRUE(entry.url.empty());
            continue;
        }
        EXPECT_TRUE(result == 0 && text(entry.url) == url && entry.bytes == body &&
                    entry.errorcode == (body == 0 ? 301 : 200) && entry.headeronly == (body == 0) &&
                    !fail_pending());
    }
}

// The mark names one client in dotted form; anything else in a mark keeps
// the file from every client. Recovery reads it from the file.
TEST(CacheEntryFile, APrivateMarkNamesOneClientAndAnOddOneNobody) {
    const uint32_t second = 0x0200007F; // 127.0.0.2
    const std::string mark = "X-Quaylo-Private:";
    std::vector<std::pair<std::string, uint32_t>> cases = {
        {"", SHARED}, {mark + " 127.0.0.2", second}, {"x-quaylo-private:127.0.0.2  ", second},
        {mark + " 127.0.0.2\r\n" + mark + " 127.0.0.1", NO_CLIENT}, {mark, NO_CLIENT},
        {mark + " ::1", NO_CLIENT}, {mark + " 127.0.0.256", NO_CLIENT}, {mark + " 1.2.3.4.5", NO_CLIENT},
        {mark + " 0127.0.0.2", NO_CLIENT}, {mark + " 0.0.0.0", NO_CLIENT},
        {mark + " 255.255.255.255", NO_CLIENT}};
    TempDir dir;
    for (const auto& [lines, owner] : cases) {
        Str text((lines + "\r\n").c_str());
        EXPECT_EQ(owner_from_mark(text), owner) << lines;
        EXPECT_EQ(owner_from_mark(with_private_mark(text, second)), second) << lines;
        EXPECT_EQ(owner_from_mark(with_private_mark(text, SHARED)), SHARED) << lines;
    }
    Document doc{"http://h/p", "body"};
    doc.owner = second;
    write_cache_file(dir.file("1"), doc);
    IFileStream stream(Str(dir.file("1").c_str()));
    BufReadable buffered(stream);
    CacheEntry entry;
    EXPECT_TRUE(entry.init_from_cfile(buffered) == 0 && entry.owner == second &&
                entry.visible_to(second) && !entry.visible_to(0x0100007F));
}

TEST(EntryList, OwnsItsEntriesInOrderThroughMoveToBackAndRemoval) {
    EntryList list;
    CacheEntry* made[3];
    for (CacheEntry*& entry : made)
        entry = &list.push_back(new_cache_entry());
    list.move_to_back(*made[0]);
    list.move_to_back(*made[0]); // already last
    std::unique_ptr<CacheEntry> taken = list.remove(*made[2]);
    EXPECT_TRUE(taken.get() == made[2] && !taken->list() && !taken->next() && !taken->prev());
    EXPECT_TRUE(list.count() == 2 && list.first() == made[1] && list.last() == made[0]);
    EXPECT_TRUE(made[1]->next() == made[0] && made[0]->prev() == made[1] && !made[1]->prev());
    list.remove(*made[1]);
    list.remove(*made[0]);
    EXPECT_TRUE(list.empty() && !list.first() && !list.last());
    // A long list ends without unwinding its chain of owners recursively.
    for (int i = 0; i < 300000; i++)
        list.push_back(new_cache_entry());
}

} // namespace
