// HeadRules: the strict rules a proxy applies to the heads it passes on.
//
// - Bytes: a head holds no control character but its line ends (CR only
//   right before LF; a bare LF line end stays accepted, as most proxies
//   accept it) and tabs in header lines. A request line holds no tab and no
//   byte outside printable ASCII, and none of '"', '<' and '>', which no
//   browser sends unencoded; percent-encoding is kept as it is.
// - Numbers: a Content-Length or a port is decimal digits only, within its
//   range (no wrap at 2^32). Repeated Content-Length headers must agree.
// - Hop by hop: Connection and every header it names, Proxy-Connection,
//   Keep-Alive, TE, Trailer and Upgrade belong to one connection and are
//   never passed on; nor is a client's Proxy-Authorization (this proxy holds
//   no credential of its own for a remote proxy). Transfer-Encoding stays on
//   answers, whose body is relayed as it comes.
// - Via: a forwarded message carries one Via line, the received ones joined
//   and this proxy's "1.0 <pseudonym>" last.
// - Privacy: an exchange is private to the client that made it when the
//   request carried Cookie or Authorization, or the answer sets a cookie or
//   says Cache-Control private or no-store. A cache keeps such an answer for
//   that client only and never replays its Set-Cookie lines.
#pragma once

#include "foundation/Str.h"

#include <cstdint>
#include <vector>

// Why a head is refused. The order is that of the texts in
// proxy/language/RefusalTexts.
enum class HeadFault : uint32_t {
    NONE,
    CONTROL_IN_REQUEST_LINE,
    CONTROL_IN_HEADER,
    TARGET_CHARACTER,    // a byte not allowed in a request target
    USERINFO,            // user:password@ in a proxy URL
    PORT,                // not 1..65535 in decimal
    CONTENT_LENGTH,      // unparsable or beyond 32 bits
    CONFLICTING_LENGTHS, // two Content-Length headers that differ
    TRANSFER_ENCODING,   // a request body whose end this proxy cannot find
    REQUEST_LINE_TOO_LONG,
    HEAD_TOO_LARGE,
    LOOP, // the request has passed this proxy before
};
constexpr uint32_t HEAD_FAULT_COUNT = 12;

// The status a refused request is answered with: 411 for a body with a
// Transfer-Encoding, 414, 431, 508 for a loop,
// else 400; and its reason phrase.
int32_t fault_status(HeadFault fault);
const char* status_phrase(int32_t status);
// A short English description, for logs and reports.
const char* fault_text(HeadFault fault);

// The first fault among the bytes of a head (request: its first line is the
// request line).
HeadFault byte_fault(const Str& head, bool request);
// Digits only, at most max; false for anything else.
bool parse_decimal(const Str& text, uint32_t max, uint32_t& value);
// One Content-Length value text (blanks around it allowed) into length;
// seen tells whether an earlier header gave one, and is set.
HeadFault take_content_length(const Str& value, bool& seen, uint32_t& length);

// A request head as received inside a tunnel ("GET /path HTTP/1.1") with
// its target made absolute on origin ("https://host:port"); "" for a head
// whose target is not such a path, which must not name another origin.
Str absolute_request_head(const Str& head, const Str& origin);

// Header lines (each ending in CR LF) without the hop-by-hop ones.
Str without_hop_by_hop(const Str& lines, bool request);
// Does a Via line among lines name pseudonym as a proxy passed?
bool via_names(const Str& lines, const Str& pseudonym);
// lines with their Via lines joined into one at the end, this proxy last.
Str with_via(const Str& lines, const Str& pseudonym);

// Header lines (each ending in CR LF) and lower-case header names.
bool has_header(const Str& lines, const char* name);
// The values of every line of that name, blanks around them removed.
std::vector<Str> header_values(const Str& lines, const char* name);
Str without_header(const Str& lines, const char* name);
// Does a comma list of that header (Cache-Control) hold an element named
// token, alone or with "=value", in any case?
bool lists_element(const Str& lines, const char* name, const char* token);

// The privacy rule above. Unreadable Cache-Control elements count as
// nothing; a value that merely mentions private or no-store counts as one.
bool is_private_exchange(const Str& request_lines, bool authorization, const Str& answer_lines);
// An answer's header lines as a cache may replay them: no Set-Cookie.
Str without_cookies(const Str& answer_lines);
