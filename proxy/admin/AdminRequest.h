// AdminRequest: the server's handler for requests to the admin host. The
// worker hands over the request's path, its decoded query arguments
// (alternating names and values) and the client's address; the handler
// answers with a complete page, or tells the worker to carry out a
// full-text search itself.
//
// Paths are dispatched exactly (case-sensitive) through the table of
// AdminDispatch.h; a path not in the table gets the "invalid path" page.
#pragma once

#include "foundation/ArgList.h"
#include "foundation/Str.h"

#include <cstdint>
#include <functional>
#include <vector>

class Cache;
class RelaisOptions;

// The reserved virtual host of the admin pages.
constexpr const char* ADMIN_HOST = "quaylo";

// "http://quaylo" + path.
Str admin_url(const Str& path);

struct AdminAnswer {
    enum Kind : int32_t {
        NONE = 0,   // nothing is sent
        PAGE = 10,  // head and body go to the worker
        SEARCH = 14 // the worker searches the cache files itself
    };
    int32_t kind = NONE;
    Str head;
    Str body;
};

// What the pages may see of the server. Everything is the server's own and
// outlives the handler.
struct AdminSite {
    RelaisOptions& options;
    Cache& cache;
    const std::vector<uint32_t>& admin_addresses;
    Str program_name;                           // directory + "/" + program name
    std::function<int32_t()> connection_count; // open browser connections; empty = 0
    Str token; // the admin token (AdminToken.h); empty: no change is accepted
    Str help_root = Str(); // holds the help directories; empty: beside the program
    Str ca_directory = Str(); // where the local certificate authority lives (beside the setup file)
};

// The directory of the local certificate authority: beside the setup file,
// else the working directory.
inline Str authority_directory(const AdminSite& site) {
    return site.ca_directory.empty() ? Str(".") : site.ca_directory;
}

class AdminRequest {
public:
    explicit AdminRequest(const AdminSite& site) : site_(site) {}

    AdminAnswer answer(const Str& path, const ArgList& arguments, uint32_t client);

    // The client's address equals one of the admin addresses.
    bool is_admin(uint32_t client) const;
    const AdminSite& site() const { return site_; }

private:
    AdminSite site_;
};
