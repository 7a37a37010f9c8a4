// The hashed look-up beside the ordered indexes: probing, growth and the
// backward shift on erasure must never lose or invent a member.
#include "proxy/cache/LookupTable.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>

namespace {

struct Item {
    uint32_t key;
};

} // namespace

TEST(LookupTable, FindsWhatWasInsertedAndNothingElse) {
    LookupTable<Item> table;
    Item a{1}, b{2};
    auto is = [](uint32_t key) { return [key](const Item* item) { return item->key == key; }; };
    EXPECT_EQ(table.find(1, is(1)), nullptr);
    table.insert(1, &a);
    table.insert(2, &b);
    EXPECT_EQ(table.find(1, is(1)), &a);
    EXPECT_EQ(table.find(2, is(2)), &b);
    EXPECT_EQ(table.find(3, is(3)), nullptr);
    EXPECT_EQ(table.size(), 2u);
    EXPECT_TRUE(table.erase(1, is(1)));
    EXPECT_FALSE(table.erase(1, is(1)));
    EXPECT_EQ(table.find(1, is(1)), nullptr);
    EXPECT_EQ(table.find(2, is(2)), &b);
    table.clear();
    EXPECT_EQ(table.size(), 0u);
    EXPECT_EQ(table.find(2, is(2)), nullptr);
}

TEST(LookupTable, EqualTagsAreToldApartByTheMatch) {
    LookupTable<Item> table;
    std::vector<Item> items;
    for (uint32_t k = 0; k < 40; k++) items.push_back(Item{k});
    // Every item under one tag: one long probe run through the table.
    for (Item& item : items) table.insert(7, &item);
    for (uint32_t k = 0; k < 40; k += 3)
        EXPECT_TRUE(table.erase(7, [k](const Item* i) { return i->key == k; }));
    for (uint32_t k = 0; k < 40; k++) {
        const Item* found = table.find(7, [k](const Item* i) { return i->key == k; });
        if (k % 3 == 0)
            EXPECT_EQ(found, nullptr) << k;
        else
            EXPECT_EQ(found, &items[k]) << k;
    }
}

TEST(LookupTable, AgreesWithAnOrderedMapThroughRandomInsertsAndErases) {
    LookupTable<Item> table;
    std::map<uint32_t, std::unique_ptr<Item>> reference;
    uint32_t state = 12345;
    auto next = [&state] {
        state = state * 214013u + 2531011u;
        return (state >> 16) & 0x7FFF;
    };
    for (int round = 0; round < 50000; round++) {
        uint32_t key = next() % 3000;
        uint32_t tag = key % 97; // many keys per tag, runs that wrap around
        auto is = [key](const Item* item) { return item->key == key; };
        auto known = reference.find(key);
        if (next() % 3 == 0 || known != reference.end()) {
            EXPECT_EQ(table.erase(tag, is), known != reference.end());
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
        const Item* found = table.find(key % 97, [key](const Item* i) { return i->key == key; });
        EXPECT_EQ(found, known == reference.end() ? nullptr : known->second.get()) << key;
    }
}
