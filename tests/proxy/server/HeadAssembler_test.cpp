// The end-of-head and size-limit rule of request and answer heads, fed in
// pieces as a peer might send them.
#include "proxy/server/HeadAssembler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using enum HeadAssembler::Kind;
using enum HeadAssembler::State;
constexpr uint32_t LIMIT = 8192;
const std::string A8188(8188, 'a');

std::string text(const Str& s) { return std::string(s.data(), s.length()); }

struct Case {
    const char* name;
    HeadAssembler::Kind kind;
    uint32_t limit;
    std::vector<std::string> pieces;
    HeadAssembler::State state;
    std::string head; // all the bytes while no end was found
    std::string rest;
};

const Case CASES[] = {
    {"request, CRLF CRLF", REQUEST, 99, {"A\r\nB\r\n\r\nbody"}, COMPLETE, "A\r\nB\r\n\r\n", "body"},
    {"LF CRLF ends no request", REQUEST, 99, {"A\n\r\nx"}, NEED_MORE, "A\n\r\nx", ""},
    {"LF CRLF ends an answer", ANSWER, 99, {"A\n\r\nx"}, COMPLETE, "A\n\r\n", "x"},
    {"CRLF CRLF beats LF LF", ANSWER, 99, {"A\n\nB\r\n\r\nC"}, COMPLETE, "A\n\nB\r\n\r\n", "C"},
    {"in pieces", ANSWER, 99, {"A\n", "\r\nB\r\n\r\nC", "D"}, COMPLETE, "A\n\r\nB\r\n\r\n", "C"},
    {"an end split over pieces", REQUEST, 99, {"A\r\n\r", "\n", "tail"}, COMPLETE, "A\r\n\r\n", ""},
    {"request limit, end counted", REQUEST, 8, {"0123\r\n\r\nxy"}, COMPLETE, "0123\r\n\r\n", "xy"},
    {"request one byte over", REQUEST, 8, {"01234\r\n\r\n"}, TOO_LONG, "", ""},
    {"answer limit, end not counted", ANSWER, 8, {"01234567\n\n"}, COMPLETE, "01234567\n\n", ""},
    {"answer one byte over", ANSWER, 8, {"012345678\n\n"}, TOO_LONG, "", ""},
    {"body bytes do not count", REQUEST, 8, {"0123\n\n" + A8188}, COMPLETE, "0123\n\n", A8188},
    {"no end, at the limit", REQUEST, 8, {"0123", "4567"}, NEED_MORE, "01234567", ""},
    {"no end, beyond the limit", ANSWER, 8, {"0123", "45678", "\n\n"}, TOO_LONG, "", ""},
    {"request 8192", REQUEST, LIMIT, {A8188 + "\r\n\r\n"}, COMPLETE, A8188 + "\r\n\r\n", ""},
    {"request 8193", REQUEST, LIMIT, {A8188 + "a\r\n\r\n"}, TOO_LONG, "", ""},
    {"answer 8192", ANSWER, LIMIT, {A8188 + "aaaa\n\n"}, COMPLETE, A8188 + "aaaa\n\n", ""},
    {"answer 8193", ANSWER, LIMIT, {A8188 + "aaaaa\n\n"}, TOO_LONG, "", ""},
};

TEST(HeadAssembler, FindsTheEndOfTheHeadAndKeepsTheLimit) {
    EXPECT_EQ(HeadAssembler::REQUEST_HEAD_LIMIT, LIMIT);
    EXPECT_EQ(HeadAssembler::ANSWER_HEAD_LIMIT, LIMIT);
    for (const Case& c : CASES) {
        SCOPED_TRACE(c.name);
        HeadAssembler head(c.kind, c.limit);
        for (const std::string& piece : c.pieces) {
            HeadAssembler::State now = head.feed(piece.data(), uint32_t(piece.size()));
            EXPECT_EQ(now, head.state());
        }
        ASSERT_EQ(head.state(), c.state);
        if (c.state != TOO_LONG) {
            EXPECT_EQ(text(head.head()) + "|" + text(head.rest()), c.head + "|" + c.rest);
        }
    }
    EXPECT_EQ(text(limit_text("request from client", 8192)),
              "request from client exceeds limit (8192 byte)");
}

} // namespace
