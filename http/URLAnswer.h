// URLAnswer: the HTTP/1.0 response head (status line and the header fields the
// system uses), plus a body for the pages the proxy makes itself.
//
// Binary stream form, stored at the start of every cache file (the body is
// not part of it), little-endian:
//   uint32  magic 0x55414D01
//   Str     version          (uint32 length + bytes)
//   int32   errorcode
//   Str     reason, location, server, allow, content_encoding
//   uint32  content_length
//   Str     content_type
//   GMTdate date, expires, last_modified   (32 bytes each, see GMTdate.h)
//   Str     unknown
// Reading sets `invalid` first and clears it only after a complete read; a
// wrong magic number is reported as "got invalid data from stream" and sets
// the stream's error flag.
#pragma once

#include "foundation/Str.h"
#include "http/GMTdate.h"
#include "http/HeadRules.h"

#include <cstdint>

class ObjectDrain;
class ObjectSource;
class URLRequest;

class URLAnswer {
public:
    static constexpr uint32_t MAGIC = 0x55414D01;

    // Parses a response head. Never fails loudly: bad header lines are
    // skipped, bad dates stay not specified. Without a status line (an
    // HTTP/0.9 server) the answer stays invalid. `fault` tells whether the
    // head breaks the rules of HeadRules (control characters, a bad or
    // conflicting Content-Length); a proxy does not pass such a head on.
    URLAnswer& from_Str(const Str& text);
    // The head as written to a client, always as HTTP/1.0, ending in an empty line.
    Str to_Str() const;
    // An HTML error page for a request that could not be parsed; the caller
    // sets `version` and writes to_Str() followed by `body`.
    void make_error(const URLRequest& request);

    Str version;
    int32_t errorcode = 0;
    Str reason;               // rest of the status line, leading blank included
    Str location;
    Str server;
    Str allow;                // the whole value text
    Str content_encoding;
    uint32_t content_length = 0; // 0 = not announced
    Str content_type;
    GMTdate date;
    GMTdate expires;
    GMTdate last_modified;
    Str unknown;              // other header lines, each ending in CR LF
    Str body;
    int32_t invalid = 1;
    HeadFault fault = HeadFault::NONE; // of the parsed head; not stored

private:
    void parse_header_line(Str& line);

    bool length_seen_ = false; // a Content-Length header was read
};

ObjectDrain& operator<<(ObjectDrain& d, const URLAnswer& answer);
ObjectSource& operator>>(ObjectSource& s, URLAnswer& answer);
