#include "foundation/ArgList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Values = std::vector<std::string>;

// Walks the list both ways, so that links which disagree show up.
Values values_of(const ArgList& list) {
    Values forward, backward;
    const ArgList::Node* previous = nullptr;
    for (const ArgList::Node* node = list.first(); node; previous = node, node = node->next) {
        EXPECT_EQ(node->prev, previous);
        forward.emplace_back(node->value.data(), node->value.length());
    }
    EXPECT_EQ(list.last(), previous);
    EXPECT_EQ(forward.size(), list.count());
    for (const ArgList::Node* node = list.last(); node; node = node->prev)
        backward.insert(backward.begin(), std::string(node->value.data(), node->value.length()));
    EXPECT_EQ(backward, forward);
    return forward;
}

TEST(ArgList, CopiesAreDeepAndIndependent) {
    const char* argv[] = {"harbord", "-port", "8080", ""};
    ArgList list(4, argv), none(0, argv), empty;
    EXPECT_EQ(list.status() + none.status() + empty.status(), 0);
    EXPECT_EQ(values_of(list), (Values{"harbord", "-port", "8080", ""}));
    EXPECT_NE(list.first()->value.c_str(), argv[0]);
    EXPECT_EQ(values_of(none), Values{});

    Str value("one");
    EXPECT_EQ(empty.append(value), 0);
    value = "changed";
    EXPECT_EQ(empty.append(Str("a\0b", 3)), 0);
    ArgList copy(list), assigned(none);
    assigned = empty;
    list.clear();
    empty = ArgList();
    EXPECT_EQ(values_of(copy), (Values{"harbord", "-port", "8080", ""}));
    EXPECT_EQ(values_of(assigned), (Values{"one", std::string("a\0b", 3)}));
    assigned = static_cast<const ArgList&>(assigned);
    EXPECT_EQ(values_of(assigned), (Values{"one", std::string("a\0b", 3)}));
    EXPECT_EQ(copy.status() + assigned.status() + empty.status(), 0);
    EXPECT_EQ(values_of(list), Values{});
    EXPECT_EQ(values_of(empty), Values{});
}

TEST(ArgList, RemovingAnyNodeKeepsTheLinksConsistent) {
    const char* argv[] = {"a", "b", "c", "d", "e"};
    ArgList list(5, argv);
    list.remove(list.first()->next->next);
    EXPECT_EQ(values_of(list), (Values{"a", "b", "d", "e"}));
    list.remove(list.first());
    EXPECT_EQ(values_of(list), (Values{"b", "d", "e"}));
    list.remove(list.last());
    EXPECT_EQ(values_of(list), (Values{"b", "d"}));
    list.remove(list.first());
    list.remove(list.first());
    EXPECT_EQ(values_of(list), Values{});
    EXPECT_EQ(list.append(Str("again")), 0);
    EXPECT_EQ(values_of(list), (Values{"again"}));
}

} // namespace
