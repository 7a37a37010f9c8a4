// HotFiles: copies of small cache files kept in memory, so that a document
// asked for again and again is answered without opening its file. A copy is
// known by its entry's id and file path; the cache tells when a file is
// removed (its id may then be handed out again), and the copy goes with it. The least
// recently used copies go first when the room is taken. Not locked: its
// owner (ServerShare) guards it with the cache's lock.
#pragma once

#include "foundation/Str.h"

#include <cstdint>
#include <list>
#include <memory>
#include <unordered_map>

class HotFiles {
public:
    // Files larger than this are always read from disk.
    static constexpr uint32_t FILE_LIMIT = 64 * 1024;
    // What all copies together may take.
    static constexpr uint64_t TOTAL_LIMIT = 16 * 1024 * 1024;

    using Copy = std::shared_ptr<const Str>;

    // The copy of the file of id at path; null when none is kept. A copy
    // found is now the most recently used.
    Copy find(uint32_t id, const Str& path);
    // Keeps a copy of the file of id at path (FILE_LIMIT at most).
    void keep(uint32_t id, const Str& path, Copy copy);
    // The file of id is gone.
    void forget(uint32_t id);

    uint64_t bytes() const { return bytes_; }
    size_t count() const { return copies_.size(); }

private:
    struct Kept {
        Copy copy;
        Str path;
        std::list<uint32_t>::iterator place; // in use_order_
    };

    std::unordered_map<uint32_t, Kept> copies_;
    std::list<uint32_t> use_order_; // least recently used first
    uint64_t bytes_ = 0;
};
