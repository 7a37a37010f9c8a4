// CacheFileWriter: a worker's copy of a relayed document on its way into a
// cache file. The copy is written under the file's unfinished name and
// renamed to the cache file's name only once the document is complete, so
// a crash never leaves a cut document that looks whole. A write that fails
// for lack of space first asks for room (the server evicts least recently
// used documents) and tries again; when that does not help, or anything
// else fails, the copy is dropped and its file deleted. The relay to the
// client never depends on the copy.
#pragma once

#include "foundation/Str.h"

#include <cstdint>
#include <functional>

class CacheFileWriter {
public:
    // Asked for `wanted` bytes of room; the bytes freed (0: nothing to evict).
    using RoomMaker = std::function<uint64_t(uint64_t wanted)>;
    static constexpr uint32_t BUFFER_SIZE = 65536;
    // Room is asked for in pieces of at least this size, not block by block.
    static constexpr uint64_t ROOM_STEP = 262144;

    explicit CacheFileWriter(RoomMaker make_room) : make_room_(std::move(make_room)) {}
    ~CacheFileWriter() { abandon(); }
    CacheFileWriter(const CacheFileWriter&) = delete;
    CacheFileWriter& operator=(const CacheFileWriter&) = delete;

    // Creates the unfinished file of cache_file and writes the stored head
    // (answer head and URL). False when the copy is dropped.
    bool begin(const Str& cache_file, const Str& head);
    // Appends body bytes; false when the copy is dropped, now or before.
    bool append(const char* bytes, uint32_t count);
    // Writes what is buffered, closes the file and gives it the cache
    // file's name; false when the copy is dropped.
    bool commit();
    // Closes and deletes the unfinished file; nothing is kept.
    void abandon();

    bool writing() const { return fd_ >= 0; }
    uint32_t body_bytes() const { return body_; }
    // Why the copy was dropped; empty while it was not.
    const Str& failure() const { return failure_; }

private:
    bool flush();
    // Writes all bytes, asking for room when the disk is full.
    bool write_all(const char* bytes, uint32_t count);
    bool drop(const Str& why);

    RoomMaker make_room_;
    int fd_ = -1;
    Str final_path_;
    Str unfinished_;
    Str pending_;
    uint32_t body_ = 0;
    Str failure_;
};
