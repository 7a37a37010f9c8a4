// The admin pages by path: one table of path, admin rule and page. The
// handler of the server (AdminRequest) hands every admin request to
// dispatch_admin_request, which builds the whole answer.
#pragma once

#include "foundation/ArgList.h"
#include "foundation/Str.h"
#include "proxy/admin/AdminRequest.h"

#include <cstdint>
#include <vector>

class AdminPage;

// The client's address equals one of the admin addresses. An admin word
// that could not be resolved is 0 and matches no client.
bool is_admin_client(const std::vector<uint32_t>& admins, uint32_t client);

// The answer for a path (matched exactly, case-sensitive), its arguments
// (alternating names and values) and the client's address. A path not in
// the table gets the invalid-path page; nothing here ends the server.
AdminAnswer dispatch_admin_request(const AdminSite& site, const Str& path,
                                   const ArgList& arguments, uint32_t client);

// The complete answer for a finished page: head and framed body, or the
// search kind.
AdminAnswer finish_page(const AdminPage& page);
