// LookupTable: the hashed look-up beside an ordered index. Every lock finds
// its entry by URL or id, and at 100,000 entries the cost of a look-up is
// the number of cache lines it touches: here one slot line, plus the object
// to confirm a match. Open addressing with linear probing over (tag, pointer)
// slots; capacity a power of two, at most three quarters full. The table
// does not own what it points to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

template <class T>
class LookupTable {
public:
    size_t size() const { return count_; }

    void clear() {
        slots_.clear();
        count_ = 0;
        mask_ = 0;
    }

    void reserve(size_t count) {
        size_t capacity = 16;
        while (capacity * 3 < count * 4) capacity *= 2;
        if (capacity > slots_.size()) rehash(capacity);
    }

    // The value with this tag for which match(value) holds, or null.
    template <class Match>
    T* find(uint32_t tag, Match match) const {
        if (count_ == 0) return nullptr;
        for (size_t i = home(tag);; i = (i + 1) & mask_) {
            const Slot& slot = slots_[i];
            if (!slot.value) return nullptr;
            if (slot.tag == tag && match(slot.value)) return slot.value;
        }
    }

    // The caller makes sure the value is not in the table yet.
    void insert(uint32_t tag, T* value) {
        if ((count_ + 1) * 4 > slots_.size() * 3) rehash(slots_.empty() ? 16 : slots_.size() * 2);
        place(tag, value);
        count_++;
    }

    template <class Match>
    bool erase(uint32_t tag, Match match) {
        if (count_ == 0) return false;
        size_t i = home(tag);
        for (;; i = (i + 1) & mask_) {
            if (!slots_[i].value) return false;
            if (slots_[i].tag == tag && match(slots_[i].value)) break;
        }
        // Shift later members of the probe run back so no gap hides them.
        for (size_t j = (i + 1) & mask_; slots_[j].value; j = (j + 1) & mask_) {
            size_t k = home(slots_[j].tag);
            bool stays = i <= j ? (i < k && k <= j) : (i < k || k <= j);
            if (stays) continue;
            slots_[i] = slots_[j];
            i = j;
        }
        slots_[i] = Slot();
        count_--;
        return true;
    }

private:
    struct Slot {
        uint32_t tag = 0;
        T* value = nullptr;
    };

    size_t home(uint32_t tag) const {
        return size_t((uint64_t(tag) * 0x9E3779B97F4A7C15ull) >> 32) & mask_;
    }

    void place(uint32_t tag, T* value) {
        size_t i = home(tag);
        while (slots_[i].value) i = (i + 1) & mask_;
        slots_[i].tag = tag;
        slots_[i].value = value;
    }

    void rehash(size_t capacity) {
        std::vector<Slot> old;
        old.swap(slots_);
        slots_.assign(capacity, Slot());
        mask_ = capacity - 1;
        for (const Slot& slot : old)
            if (slot.value) place(slot.tag, slot.value);
    }

    std::vector<Slot> slots_;
    size_t count_ = 0;
    size_t mask_ = 0;
};
