// Checks a list of observed values against the expected ones, each named by
// the expression that produced it. A braced list is evaluated left to right,
// so a list can follow a sequence of calls and their side effects:
//   expect_all({SAME(in.eread(b, 4), 2), SAME(fail_take(), "short file\r\n")});
#pragma once

#include "foundation/ArgList.h"
#include "foundation/Fail.h"
#include "foundation/Str.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

// The bytes of a Str; the pending failure report, taken; the values of a list.
inline std::string to_std(const Str& s) { return std::string(s.data(), s.length()); }
inline std::string taken() { return fail_take(); }
inline std::vector<std::string> words_of(const ArgList& list) {
    std::vector<std::string> out;
    for (ArgList::Node* n = list.first(); n; n = n->next) out.push_back(to_std(n->value));
    return out;
}

struct Observed {
    template <class T>
    Observed(const T& value) {
        std::ostringstream out;
        out.precision(17);
        if constexpr (std::is_same_v<T, Str>)
            out << std::string(value.data(), value.length());
        else if constexpr (std::is_integral_v<T> && sizeof(T) == 1)
            out << int(value); // a number, not a character
        else if constexpr (requires { value.begin(); } && !std::is_convertible_v<T, std::string>)
            for (const auto& element : value) out << Observed(element).text << "|";
        else
            out << value;
        text = out.str();
    }
    std::string text;
};

struct Expectation {
    const char* what;
    Observed got, want;
};
#define SAME(expr, want) Expectation{#expr, expr, want}

inline void expect_all(std::initializer_list<Expectation> list) {
    for (const Expectation& e : list) EXPECT_EQ(e.got.text, e.want.text) << e.what;
}
