// The pages a request worker makes itself: the offline page (a URL that is
// not cached while the proxy is offline) and the error page (the origin
// server could not be reached or answered badly). Both are HTML in the
// interface language picked by the `language` option's index (0 english,
// 1 deutsch, 2 dutch; anything else falls back to English). Every text taken
// from the request or a failure report is HTML-escaped.
#pragma once

#include "foundation/Str.h"
#include "http/HeadRules.h"
#include "http/URLAnswer.h"
#include "proxy/admin/AdminRequest.h"

#include <cstdint>

// The paths (on the admin host) of the two links that switch the proxy's mode.
constexpr const char GO_ONLINE_PATH[] = "/options?offline=0";
constexpr const char GO_OFFLINE_PATH[] = "/options?offline=1";

// Status of both pages.
constexpr int32_t WORKER_PAGE_STATUS = 501;
// Status of the refusals: a client outside `clients`, a fetch from loopback.
constexpr int32_t REFUSAL_STATUS = 403;

Str offline_page(const Str& uri, uint32_t language);
// cached_copy: offer the copy in the cache. details: the failure report of
// an origin-server failure, or null for none.
Str error_page(const Str& uri, bool cached_copy, const char* details, uint32_t language);

// The page refusing a request whose head broke the rules, naming why.
Str refusal_page(HeadFault fault, uint32_t language);

// The refusal of a client whose network is not in `clients`.
Str client_refused_page(uint32_t language);
// The refusal to fetch uri from this machine's loopback for a remote client.
Str loopback_refused_page(const Str& uri, uint32_t language);

// A short page for a CONNECT that is not tunnelled, saying why (browsers
// show only the status of a failed CONNECT; other clients show this).
Str tunnel_refused_page(const Str& why);

// Fills answer with a page as the worker sends it: version "http/1.0",
// status 501 (or the given one), content type "text/html", the content
// length and the body.
void set_worker_page(URLAnswer& answer, const Str& page, int32_t status = WORKER_PAGE_STATUS);
