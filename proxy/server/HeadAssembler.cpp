#include "proxy/server/HeadAssembler.h"

#include <iterator>

namespace {

struct HeadEnd {
    const char* pattern;
    uint32_t length;
};

// In order of preference.
const HeadEnd REQUEST_ENDS[] = {{"\r\n\r\n", 4}, {"\n\n", 2}};
const HeadEnd ANSWER_ENDS[] = {{"\r\n\r\n", 4}, {"\n\n", 2}, {"\n\r\n", 3}};
constexpr uint32_t LONGEST_END = 4;

int32_t find_end_kind(const Str& text, const HeadEnd& end, uint32_t from) {
    return text.find(Str(end.pattern, end.length), from);
}

} // namespace

HeadAssembler::HeadAssembler(Kind kind, uint32_t limit) : kind_(kind), limit_(limit) {}

HeadAssembler::State HeadAssembler::feed(const char* bytes, uint32_t count) {
    if (state_ != NEED_MORE) return state_;
    uint32_t before = text_.length();
    // A text that cannot grow any more is too long for this worker.
    if (text_.append(bytes, count) < 0) return state_ = TOO_LONG;
    bool found = find_end(before);
    uint32_t counted = !found ? text_.length() : kind_ == REQUEST ? body_start_ : head_length_;
    if (counted > limit_)
        state_ = TOO_LONG;
    else if (found)
        state_ = COMPLETE;
    return state_;
}

bool HeadAssembler::find_end(uint32_t from) {
    const HeadEnd* ends = kind_ == REQUEST ? REQUEST_ENDS : ANSWER_ENDS;
    size_t kinds = kind_ == REQUEST ? std::size(REQUEST_ENDS) : std::size(ANSWER_ENDS);
    // An end may begin in the bytes before the new ones. Without any end
    // among the new bytes the older ones need no second search.
    uint32_t start = from >= LONGEST_END ? from - (LONGEST_END - 1) : 0;
    bool any = false;
    for (size_t i = 0; i < kinds && !any; i++)
        any = find_end_kind(text_, ends[i], start) >= 0;
    if (!any) return false;
    for (size_t i = 0; i < kinds; i++) {
        int32_t at = find_end_kind(text_, ends[i], 0);
        if (at >= 0) {
            head_length_ = uint32_t(at);
            body_start_ = uint32_t(at) + ends[i].length;
            return true;
        }
    }
    return false;
}

Str HeadAssembler::head() const {
    return state_ == COMPLETE ? text_.substr(0, body_start_) : text_;
}

Str HeadAssembler::rest() const {
    return state_ == COMPLETE ? text_.substr(body_start_, text_.length()) : Str();
}

uint32_t HeadAssembler::first_line_length() const {
    int32_t lf = text_.find('\n');
    return lf < 0 ? text_.length() : uint32_t(lf) + 1;
}

Str limit_text(const char* what, uint32_t limit) {
    return Str(what) + " exceeds limit (" + Str::from_ulong(limit) + " byte)";
}
