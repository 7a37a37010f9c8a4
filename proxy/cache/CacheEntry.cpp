#include "proxy/cache/CacheEntry.h"

#include "foundation/BufStream.h"
#include "foundation/ByteStream.h"
#include "foundation/FileStream.h"
#include "foundation/Fail.h"
#include "foundation/LocalAddresses.h"
#include "foundation/ObjectStream.h"
#include "http/HeadRules.h"
#include "http/URLAnswer.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

namespace {

constexpr int32_t BODY_BLOCK = 8192;

template <class T>
bool read_field(ObjectSource& s, T& value) {
    s >> value;
    return !s.error();
}

int32_t invalid_file() {
    fail_chain("CacheEntry::init_from_cfile ", "got invalid data from file");
    return -1;
}

} // namespace

int32_t CacheEntry::init_from_cfile(Readable& file) {
    BinarySource source(file);
    URLAnswer answer;
    if (!read_field(source, answer) || answer.invalid) return invalid_file();
    Str stored_url;
    if (!read_field(source, stored_url)) return invalid_file();

    // The body runs to the end of the file; only its length matters here.
    char block[BODY_BLOCK];
    uint64_t counted = 0;
    for (;;) {
        int32_t n = file.eread(block, BODY_BLOCK);
        if (n <= 0) break;
        counted += uint32_t(n);
    }
    // Reaching the end is how the body ends, not a failure.
    if (file.read_error() && fail_pending()) fail_take();

    if (counted > UINT32_MAX) return invalid_file();
    if (counted > 0 && answer.content_length != 0 && answer.content_length > counted) {
        fail_new("CacheEntry::init_from_cfile ", "short file");
        return -1;
    }
    url = std::move(stored_url);
    owner = owner_from_mark(answer.unknown);
    errorcode = answer.errorcode;
    headeronly = counted == 0;
    bytes = uint32_t(counted);
    return 0;
}

uint32_t CacheEntry::record_bytes() const {
    // url (length + bytes), date, id, bytes, headeronly, errorcode; and the
    // extension's id, owner and disk.
    return 4 + url.length() + 32 + 4 * 4 + 3 * 4;
}

bool read_cache_head(const Str& path, URLAnswer& answer) {
    IFileStream file(path);
    if (file.open_failed()) {
        fail_take();
        return false;
    }
    BufReadable buffer(file);
    BinarySource source(buffer);
    source >> answer;
    if (source.error() || answer.invalid) {
        fail_take();
        return false;
    }
    return true;
}

void CacheEntry::set_disk(int64_t file_footprint) {
    int64_t taken = file_footprint + record_bytes();
    disk = taken > int64_t(UINT32_MAX) ? UINT32_MAX : uint32_t(taken);
}

// --- private marks ---------------------------------------------------------

namespace {

// Four decimal numbers up to 255, separated by dots, nothing else; as the
// socket layer holds an address (network order in memory).
bool parse_dotted(const Str& text, uint32_t& address) {
    unsigned char bytes[4];
    uint32_t part = 0;
    uint32_t digits = 0;
    uint32_t value = 0;
    for (uint32_t i = 0; i <= text.length(); i++) {
        char c = i < text.length() ? text[i] : '.';
        if (c >= '0' && c <= '9') {
            value = value * 10 + uint32_t(c - '0');
            if (++digits > 3 || value > 255) return false;
        } else if (c == '.' && digits > 0 && part < 4) {
            bytes[part++] = (unsigned char)value;
            value = digits = 0;
        } else {
            return false;
        }
    }
    if (part != 4) return false;
    std::memcpy(&address, bytes, sizeof address);
    return address != SHARED && address != NO_CLIENT;
}

} // namespace

uint32_t owner_from_mark(const Str& answer_lines) {
    uint32_t owner = SHARED;
    for (const Str& value : header_values(answer_lines, PRIVATE_MARK_KEY)) {
        uint32_t address = 0;
        if (!parse_dotted(value, address) || (owner != SHARED && owner != address))
            return NO_CLIENT;
        owner = address;
    }
    return owner;
}

Str with_private_mark(const Str& answer_lines, uint32_t owner) {
    Str lines = without_header(answer_lines, PRIVATE_MARK_KEY);
    if (owner != SHARED) lines += Str(PRIVATE_MARK) + ": " + dotted_address(owner) + "\r\n";
    return lines;
}

// --- EntryList -------------------------------------------------------------

std::unique_ptr<CacheEntry> new_cache_entry() {
    return std::unique_ptr<CacheEntry>(new (std::nothrow) CacheEntry);
}

CacheEntry& EntryList::push_back(std::unique_ptr<CacheEntry> entry) {
    CacheEntry& added = *entry;
    added.list_ = this;
    added.prev_ = last_;
    std::unique_ptr<CacheEntry>& owner = last_ ? last_->next_ : first_;
    owner = std::move(entry);
    last_ = &added;
    count_++;
    return added;
}

std::unique_ptr<CacheEntry> EntryList::remove(CacheEntry& entry) {
    std::unique_ptr<CacheEntry>& owner = entry.prev_ ? entry.prev_->next_ : first_;
    std::unique_ptr<CacheEntry> taken = std::move(owner);
    owner = std::move(entry.next_);
    if (owner)
        owner->prev_ = entry.prev_;
    else
        last_ = entry.prev_;
    entry.prev_ = nullptr;
    entry.list_ = nullptr;
    count_--;
    return taken;
}

void EntryList::move_to_back(CacheEntry& entry) {
    if (last_ == &entry) return;
    push_back(remove(entry));
}

void EntryList::clear() {
    while (last_) remove(*last_);
}

// --- cache file names ------------------------------------------------------

Str cache_file_path(const Str& dir, uint32_t id) {
    // Built in one allocation: every read lock asks for a name.
    char digits[10];
    uint32_t count = 0;
    do {
        digits[count++] = char('0' + id % 10);
        id /= 10;
    } while (id != 0);
    Str path(dir.length() + 1 + count);
    if (path.status() != 0) return path;
    char* out = path.buffer();
    std::memcpy(out, dir.data(), dir.length());
    out += dir.length();
    *out++ = '/';
    while (count > 0) *out++ = digits[--count];
    return path;
}

Str unfinished_path(const Str& cache_file) { return cache_file + ".part"; }

bool is_unfinished_name(const Str& name) {
    uint32_t id = 0;
    return name.ends_with(".part") && parse_cache_file_name(name.substr(0, name.length() - 5), id);
}

bool parse_cache_file_name(const Str& name, uint32_t& id) {
    uint32_t n = name.length();
    if (n == 0 || n > 10 || name[0] == '0') return false;
    uint64_t value = 0;
    for (uint32_t i = 0; i < n; i++) {
        char c = name[i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + uint32_t(c - '0');
    }
    if (value > UINT32_MAX) return false;
    id = uint32_t(value);
    return true;
}

// --- record operators ------------------------------------------------------

ObjectDrain& operator<<(ObjectDrain& d, const CacheEntry& e) {
    int status = 0;
    d.open(status);
    if (status == 0) {
        if (e.id == 0) {
            fail_new("ObjectDrain << CacheEntry ", "internal inconsistency (id)");
            fail_print();
        }
        d << ">CacheEntry:\n";
        d << ">url    = " << e.url << "\n";
        d << ">date   = " << e.date << "\n";
        d << ">id     = " << e.id << "\n";
        d << ">bytes  = " << e.bytes << "\n";
        d << ">headeronly = " << e.headeronly << "\n";
        d << ">errorcode = " << e.errorcode << "\n";
        if (d.error()) fail_chain("ObjectDrain << CacheEntry ", "unable to write instance");
    }
    d.close();
    return d;
}

ObjectSource& operator>>(ObjectSource& s, CacheEntry& e) {
    int status = 0;
    s.open(status);
    if (status == 0) {
        bool complete = read_field(s, e.url) && read_field(s, e.date) && read_field(s, e.id) &&
                        read_field(s, e.bytes) && read_field(s, e.headeronly) &&
                        read_field(s, e.errorcode);
        if (!complete) fail_chain("ObjectSource >> CacheEntry ", "unable to read instance");
    }
    s.close();
    return s;
}
