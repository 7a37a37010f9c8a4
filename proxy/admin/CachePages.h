// The pages that show what the cache holds: statistics, the host list
// (shared with the export and import pages), the inventory by host, the
// plain inventory, the details of one entry, the users, and the form of the
// full-text search.
#pragma once

#include "foundation/ArgList.h"
#include "foundation/Str.h"

#include <cstdint>

class AdminPage;
class Cache;
class CacheEntry;
struct UrlNode;

// What the statistics page shows of the server itself.
struct ServerFigures {
    uint32_t port = 0;
    int32_t connections = 0;
    Str cachedir;
};

void statistics_page(AdminPage& page, const ServerFigures& server, const Cache& cache);

// The version a page shows of a URL: the waiting one, else the current one;
// null for a URL that is only being written.
const CacheEntry* shown_version(const UrlNode& node);
// The same, null too when it is private to another client than viewer.
const CacheEntry* listed_version(const UrlNode& node, uint32_t viewer);
// The URL without its scheme and "//", cut before the first "/".
Str host_of(const Str& url);
// The URL up to its path: scheme, "//" and host ("https://a.com:8443").
Str site_of(const Str& url);
// How the lists name a site: the host alone for plain http, the whole
// site for any other scheme (so https://a.com and a.com stay apart).
Str site_name(const Str& site);
// The URL's path on its host ("/" when it has none).
Str path_of(const Str& url);
// The directory of a path: everything up to its last "/" before any query.
Str directory_of(const Str& path);

// One line per host the page's viewer may see, in URL order: with checkboxes, a box named host; a
// link to the admin host's target path with the query query_prefix +
// query_encode(first URL of the host). An empty index gives message 51.
void host_list(AdminPage& page, const Cache& cache, const Str& target, bool checkboxes,
               const Str& query_prefix = Str());

// "/inventory": the host list, or with the first URL of a host, the
// documents of that host.
void inventory_page(AdminPage& page, const Cache& cache, const ArgList& arguments);
// "/inventory.txt": one URL per line, head-only entries left out.
void inventory_text(AdminPage& page, const Cache& cache);
// "/details": one entry and the answer head of its cache file. Lists and
// details show no entry private to another client than the page's viewer.
void details_page(AdminPage& page, const Cache& cache, const ArgList& arguments);
// "/users": the client hosts of the last day.
void users_page(AdminPage& page, const Cache& cache);

// The search form; phrase is shown as the entry's value.
void search_form(AdminPage& page, const Str& phrase);
