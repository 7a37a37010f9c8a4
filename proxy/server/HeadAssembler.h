// HeadAssembler: collects the bytes of a message head as they arrive from a
// peer and tells, after each piece, whether more is needed, the head is
// complete, or it has grown beyond its limit. It knows nothing of sockets,
// so the rule can be tested and fuzzed on bytes alone.
//
// Where a head ends: at the first CR LF CR LF; failing that, at the first
// LF LF; for an answer, failing both, at the first LF CR LF. A kind found
// anywhere beats every kind after it, wherever those lie.
//
// The limit: a request head counts up to and with its empty line; an
// answer head counts without it. While no end is found, all the bytes
// count. So body bytes that come along with a head never make it too long.
// The request line may take the whole head limit, so that no request that
// fits is refused for its URL; a head too long before its first line ended
// is told apart (414 rather than 431) by first_line_length().
#pragma once

#include "foundation/Str.h"

#include <cstdint>

class HeadAssembler {
public:
    enum Kind { REQUEST, ANSWER };
    enum State { NEED_MORE, COMPLETE, TOO_LONG };

    static constexpr uint32_t REQUEST_HEAD_LIMIT = 8192;
    static constexpr uint32_t ANSWER_HEAD_LIMIT = 8192;
    static constexpr uint32_t REQUEST_LINE_LIMIT = REQUEST_HEAD_LIMIT;

    HeadAssembler(Kind kind, uint32_t limit);

    // Appends bytes while more are needed; once the head is complete or too
    // long, further bytes are ignored. Returns the state.
    State feed(const char* bytes, uint32_t count);
    State state() const { return state_; }

    // The head with the line end that closes it; all the bytes while no end
    // was found (a peer that closed early leaves only that).
    Str head() const;
    // The bytes after the head: the first body bytes ("" before COMPLETE).
    Str rest() const;
    // Bytes collected so far.
    uint32_t size() const { return text_.length(); }
    // Bytes up to and with the first LF; all of them while there is none.
    uint32_t first_line_length() const;

private:
    // Looks for the end of the head; only bytes from `from` on are new.
    bool find_end(uint32_t from);

    Kind kind_;
    uint32_t limit_;
    State state_ = NEED_MORE;
    Str text_;
    uint32_t head_length_ = 0; // bytes before the closing line end
    uint32_t body_start_ = 0;  // bytes up to and with it
};

// The failure text of a limit: what + " exceeds limit (" + limit + " byte)".
Str limit_text(const char* what, uint32_t limit);
