#include "foundation/ArgList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Walks the list both ways and checks that the links agree with each other.
std::vector<std::string> values_of(const ArgList& list) {
    std::vector<std::string> forward;
    const ArgList::Node* previous = nullptr;
    for (const ArgList::Node* node = list.first(); node; node = node->next) {
        EXPECT_EQ(node->prev, previous);
        forward.emplace_back(node->value.data(), node->value.length());
        previous = node;
    }
    EXPECT_EQ(list.last(), previous);
    EXPECT_EQ(forward.size(), list.count());
    std::vector<std::string> backward;
    for (const ArgList::Node* node = list.last(); node; node = node->prev)
        backward.emplace_back(node->value.data(), node->value.length());
    EXPECT_EQ(std::vector<std::string>(backward.rbegin(), backward.rend()), forward);
    return forward;
}

using Values = std::vector<std::string>;

TEST(ArgList, DefaultIsEmptyAndValid) {
    ArgList list;
    EXPECT_EQ(list.count(), 0u);
    EXPECT_EQ(list.first(), nullptr);
    EXPECT_EQ(list.last(), nullptr);
    EXPECT_EQ(list.status(), 0);
}

TEST(ArgList, BuiltFromAnArgumentVectorKeepsOrderAndEndsValid) {
    const char* argv[] = {"harbord", "-port", "8080", ""};
    ArgList list(4, argv);
    EXPECT_EQ(list.status(), 0);
    EXPECT_EQ(values_of(list), (Values{"harbord", "-port", "8080", ""}));
    EXPECT_NE(list.first()->value.c_str(), argv[0]); // a copy, not the caller's text

    ArgList none(0, argv);
    EXPECT_EQ(none.status(), 0);
    EXPECT_EQ(none.count(), 0u);
}

TEST(ArgList, AppendAddsACopyAtTheEnd) {
    ArgList list;
    Str value("one");
    EXPECT_EQ(list.append(value), 0);
    value = "changed";
    EXPECT_EQ(list.append(Str("two")), 0);
    EXPECT_EQ(list.append(Str("a\0b", 3)), 0);
    EXPECT_EQ(values_of(list), (Values{"one", "two", std::string("a\0b", 3)}));
}

TEST(ArgList, CopyConstructionCopiesEveryElement) {
    const char* argv[] = {"a", "b", "c"};
    ArgList source(3, argv);
    ArgList copy(source);
    EXPECT_EQ(copy.status(), 0);
    EXPECT_EQ(values_of(copy), (Values{"a", "b", "c"}));
    EXPECT_NE(copy.first(), source.first());
    source.clear();
    EXPECT_EQ(values_of(copy), (Values{"a", "b", "c"}));

    ArgList empty;
    ArgList empty_copy(empty);
    EXPECT_EQ(empty_copy.status(), 0);
    EXPECT_EQ(empty_copy.count(), 0u);
}

TEST(ArgList, AssignmentReplacesOwnElements) {
    const char* first[] = {"x", "y"};
    const char* second[] = {"1", "2", "3"};
    ArgList target(2, first);
    ArgList source(3, second);
    target = source;
    EXPECT_EQ(target.status(), 0);
    EXPECT_EQ(values_of(target), (Values{"1", "2", "3"}));
    EXPECT_EQ(values_of(source), (Values{"1", "2", "3"}));

    target = ArgList();
    EXPECT_EQ(target.status(), 0);
    EXPECT_EQ(target.count(), 0u);
    EXPECT_EQ(target.first(), nullptr);
}

TEST(ArgList, SelfAssignmentKeepsTheElements) {
    const char* argv[] = {"p", "q"};
    ArgList list(2, argv);
    const ArgList& same = list;
    list = same;
    EXPECT_EQ(list.status(), 0);
    EXPECT_EQ(values_of(list), (Values{"p", "q"}));
}

TEST(ArgList, RemoveUnlinksFirstMiddleAndLastNodes) {
    const char* argv[] = {"a", "b", "c", "d", "e"};
    ArgList list(5, argv);
    list.remove(list.first()->next->next); // c
    EXPECT_EQ(values_of(list), (Values{"a", "b", "d", "e"}));
    list.remove(list.first());
    EXPECT_EQ(values_of(list), (Values{"b", "d", "e"}));
    list.remove(list.last());
    EXPECT_EQ(values_of(list), (Values{"b", "d"}));
    list.remove(list.first());
    list.remove(list.first());
    EXPECT_EQ(list.count(), 0u);
    EXPECT_EQ(list.first(), nullptr);
    EXPECT_EQ(list.last(), nullptr);
    EXPECT_EQ(list.append(Str("again")), 0);
    EXPECT_EQ(values_of(list), (Values{"again"}));
}

TEST(ArgList, ClearEmptiesTheListForReuse) {
    const char* argv[] = {"a", "b"};
    ArgList list(2, argv);
    list.clear();
    EXPECT_EQ(list.count(), 0u);
    EXPECT_EQ(list.first(), nullptr);
    EXPECT_EQ(list.last(), nullptr);
    list.append(Str("c"));
    EXPECT_EQ(values_of(list), (Values{"c"}));
}

} // namespace
