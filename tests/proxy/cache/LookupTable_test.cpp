// The hashed look-up beside the ordered indexes: probing, growth and the
// backward shift on erasure must never lose or invent a member.
#include "proxy/cache/LookupTable.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {

struct Item {
    uint32_t key;
};

TEST(LookupTable, AgreesWithAnOrderedMapThroughRandomInsertsAndErases) {
    LookupTable<Item> table;
    std::map<uint32_t, std::unique_ptr<Item>> reference;
    uint32_t state = 12345;
    auto next = [&state] { return (state = state * 214013u + 2531011u) >> 16 & 0x7FFF; };
    auto is = [](uint32_t key) { return [key](const Item* item) { return item->key == key; }; };
    for (int round = 0; round < 50000; round++) {
        uint32_t key = next() % 3000;
        uint32_t tag = key % 97; // many keys per tag: long probe runs that wrap around
        auto known = reference.find(key);
        if (next() % 3 == 0 || known != reference.end()) {
            EXPECT_EQ(table.erase(tag, is(key)), known != reference.end());
            if (known != reference.end()) reference.erase(known);
        } else {
            auto item = std::make_unique<Item>(Item{key});
            table.insert(tag, item.get());
            reference.emplace(key, std::move(item));
        }
        ASSERT_EQ(table.size(), reference.size());
    }
    for (uint32_t key = 0; key < 3000; key++) {
        auto known = reference.find(key);
        EXPECT_EQ(table.find(key % 97, is(key)), known == reference.end() ? nullptr : known->second.get())
            << key;
    }
    table.clear();
    EXPECT_EQ(table.size(), 0u);
    EXPECT_EQ(table.find(reference.begin()->first % 97, is(reference.begin()->first)), nullptr);
}

} // namespace
