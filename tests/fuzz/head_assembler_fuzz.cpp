// Any bytes, cut into pieces of any size, fed to the head assembler: where it
// stops must agree with the rule applied to all the bytes it took at once,
// and bytes after that must change nothing. Byte 0 picks the kind (bit 0)
// and the piece size, byte 1 the limit (times 16); the rest are the peer's.
#include "proxy/server/HeadAssembler.h"

#include <cstdint>
#include <string>

#define CHECK(condition) ((condition) ? (void)0 : __builtin_trap())

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    bool answer = data[0] & 1;
    uint32_t piece = (data[0] >> 1) + 1, limit = data[1] * 16u;
    uint32_t count = uint32_t(size - 2), taken = 0;
    const char* bytes = reinterpret_cast<const char*>(data + 2);
    HeadAssembler head(answer ? HeadAssembler::ANSWER : HeadAssembler::REQUEST, limit);
    while (taken < count && head.state() == HeadAssembler::NEED_MORE) {
        uint32_t n = count - taken < piece ? count - taken : piece;
        HeadAssembler::State now = head.feed(bytes + taken, n);
        CHECK(now == head.state());
        taken += n;
    }
    // The rule on the whole text: the first kind of end found, in order of preference.
    std::string text(bytes, taken);
    bool found = false;
    size_t body = taken, counted = taken;
    for (std::string end : {"\r\n\r\n", "\n\n", "\n\r\n"}) {
        size_t at = text.find(end);
        if (found || at == std::string::npos || (end == "\n\r\n" && !answer)) continue;
        found = true;
        body = at + end.size();
        counted = answer ? at : body;
    }
    auto state = counted > limit ? HeadAssembler::TOO_LONG
                 : found         ? HeadAssembler::COMPLETE
                                 : HeadAssembler::NEED_MORE;
    CHECK(head.state() == state && head.size() == taken);
    Str before_head = head.head(), before_rest = head.rest();
    if (state != HeadAssembler::TOO_LONG)
        CHECK(before_head == Str(bytes, uint32_t(body)) &&
              before_rest == Str(bytes + body, uint32_t(taken - body)));
    head.feed(bytes, count);
    if (state != HeadAssembler::NEED_MORE)
        CHECK(head.state() == state && head.head() == before_head && head.rest() == before_rest);
    return 0;
}
