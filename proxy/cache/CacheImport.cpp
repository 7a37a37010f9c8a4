// Moving documents between two caches: import and export both copy from a
// source Cache into a destination Cache.
#include "proxy/cache/Cache.h"

#include "foundation/Fail.h"
#include "foundation/FileStream.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <memory>
#include <new>
#include <unistd.h>

namespace {

constexpr int32_t COPY_BLOCK = 65536;

bool selected(const Str& url, const UrlSelection& selection) {
    for (const Str& prefix : selection)
        if (url.begins_with(prefix)) return true;
    return false;
}

} // namespace

int32_t Cache::import(Cache& source, const UrlSelection& selection, bool only_newer) {
    if (&source == this) {
        fail_new("Cache::import ", "internal inconsistency");
        return -1;
    }
    for (const auto& [url, source_node] : source.urls_) {
        // Waiting and writing versions of the source are not finished business.
        const CacheEntry* from = source_node.current;
        if (!from || from->headeronly || !selected(url, selection)) continue;

        if (const UrlNode* known = lookup(url)) {
            const UrlNode& node = *known;
            if (node.waiting || node.writing) continue;
            if (!node.current) {
                fail_new("Cache::import ", "internal inconsistency");
                return -1;
            }
            if (only_newer && from->date.le(node.current->date)) continue;
        }
        // Complete at once (no writer's mark); promotion replaces the
        // current version, if any.
        CacheEntry* to = add_writing(from->url, from->date, from->headeronly, from->errorcode,
                                     from->bytes, 0);
        if (!to) {
            fail_chain("Cache::import ", "unable to create entry");
            return -1;
        }
        to->owner = from->owner;
        if (copy_file(source, *from, *to) != 0) {
            delete_entry(*to);
            return -1;
        }
        measure(*to);
        totalbytes_ += to->disk;
        promote(*to->node);
        check_size();
    }
    return 0;
}

int32_t Cache::copy_file(const Cache& source, const CacheEntry& from, const CacheEntry& to) {
    Str from_path = source.file_name(from.id);
    IFileStream in(from_path);
    if (in.open_failed()) {
        fail_chain("Cache::import ", "unable to read file from source-cache");
        return -1;
    }
    // The id is new here: a file of that name is none of this cache's and
    // is never overwritten.
    Str to_path = file_name(to.id);
    OFileStream out(to_path, O_CREAT | O_EXCL);
    if (out.open_failed()) {
        fail_chain("Cache::import ", "unable to write file to destination-cache");
        return -1;
    }
    std::unique_ptr<char[]> block(new (std::nothrow) char[COPY_BLOCK]);
    if (!block) {
        fail_new("Cache::import ", "unable to allocate copy buffer");
        return -1;
    }
    // Read the descriptor directly: the last block of a file is short, which
    // the stream would count as a read error.
    for (;;) {
        ssize_t n = ::read(in.fd(), block.get(), COPY_BLOCK);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            fail_new("Cache::import ", "unable to read file from source-cache");
            return -1;
        }
        if (n == 0) return 0;
        if (out.ewrite(block.get(), int32_t(n)) != int32_t(n)) {
            fail_chain("Cache::import ", "unable to write destination file '" + to_path + "'");
            return -1;
        }
    }
}

// --- ExchangeCache ---------------------------------------------------------------

ExchangeCache::ExchangeCache(OptionPath& directory, OptionChoice& language, OptionFlag& debug,
                             OptionPath& exportdir, OptionPath& importdir, bool recover,
                             bool read_only)
    : cachesize_("cachesize", "", INT32_MAX, INT32_MIN, INT32_MAX, false),
      cachefiles_("cachefiles", "", INT32_MAX, INT32_MIN, INT32_MAX, false),
      entrysize_("entrysize", "", INT32_MAX, INT32_MIN, INT32_MAX, false),
      cache_(directory, cachesize_, entrysize_, cachefiles_, language, debug, exportdir, importdir,
             recover, read_only) {}
