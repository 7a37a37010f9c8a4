// URLRequest: the HTTP/1.0 request record of both programs.
//
// A record comes to life in one of two ways:
//
// - Received (the proxy): a default record filled by from_Str from the head a
//   client sent; besides GET, HEAD and POST it may be a CONNECT whose target
//   is "host:port" (`uri` keeps it, `path` stays empty). Parsing never raises failure reports; it leaves `errorcode`
//   501, `errormsg` and `invalid` 1 on failure, and the worker turns those
//   into an error page. The scheme is matched case-insensitively and the query
//   text is kept in `query` as received.
//
// - Built (the site loader): the constructor taking method, URL, body and
//   content type. Failures are reported ("URLRequest: ") and leave `invalid`
//   at 1. The scheme must be exactly "http" or "https", the query text is not kept (only
//   its decoded pairs in `args`) and the request line rebuilds the query from
//   `args` with url_encode. The head starts with "Accept: */*" and
//   "Pragma: Vantlow", which tells the proxy who is asking; the proxy drops
//   that Pragma line again.
//
// Both write with to_server_Str (origin form: path and query) and to_proxy_Str
// (absolute form: the whole `uri`). Both always carry a "Host:" line, since
// origin servers are virtually hosted: a Host line the client sent is kept in
// `unknown` and forwarded unchanged, otherwise one is made from `host` and
// `port`.
//
// A received head is also held to the strict rules of HeadRules (bytes,
// numbers, no user name in the URL, no Transfer-Encoding); a head that breaks
// them is refused: `fault` names why and `errorcode` is its status (400 and
// the like) instead of 501.
#pragma once

#include "foundation/ArgList.h"
#include "foundation/Str.h"
#include "http/GMTdate.h"
#include "http/HeadRules.h"
#include "http/UrlCoding.h"

#include <cstdint>

class ObjectDrain;

class URLRequest {
public:
    // An empty record, ready for from_Str.
    URLRequest();
    // A request made by the site loader (see above).
    URLRequest(const Str& method, const Str& url, const Str& body, const Str& content_type);

    URLRequest(const URLRequest&) = default;
    URLRequest& operator=(const URLRequest&) = default;

    // Parses a received head (request line and header lines, CR LF or LF line
    // ends); the caller tests `invalid`.
    URLRequest& from_Str(const Str& text);
    // Splits `uri` into host, port, path, query and args; 0, or -1 with
    // `errormsg` set. Built records follow their own rules (see above).
    int split_url();
    // Splits the query off `path` into `query` and `args`.
    void split_query();
    // "?" + query, or empty.
    Str query_suffix() const;

    Str to_server_Str() const;
    Str to_proxy_Str() const;

    // True when `unknown` holds a Host line (name compared without case).
    bool has_host_line() const;
    // Marks the request refused for fault (invalid, with its status and text).
    void refuse(HeadFault why);

    Str method;
    Str uri;
    Str scheme = "http";      // "http", or "https" (port 443 by default)
    Str host;
    int32_t port = 80;
    Str path;
    Str query;
    ArgList args;
    Str version;
    Str unknown;              // uninterpreted header lines, each ending in CR LF
    GMTdate date;
    Str from;
    GMTdate if_modified_since;
    Str content_type;
    Str authorization;        // the value text, leading blank included
    uint32_t content_length = 0;
    int32_t no_cache = 0;
    int32_t errorcode = 501;
    Str errormsg;
    Str body;                 // filled by the receiver, not by from_Str
    int32_t invalid = 1;
    HeadFault fault = HeadFault::NONE; // why a received head was refused

private:
    int split_received_url();
    int split_built_url();
    int split_authority();
    int split_received_host(bool port_required);
    bool parse_header_line(Str& line);
    // The request line's target in origin form.
    Str origin_target() const;
    Str write(const Str& target) const;

    bool built_ = false;
    bool length_seen_ = false; // a Content-Length header was read
};

// Diagnostic dump; a request has no stored form to read back.
ObjectDrain& operator<<(ObjectDrain& d, const URLRequest& request);
