// Where a request to the admin host comes from, as the browser tells it: a
// page of another site that made the browser send it gives its own address
// as Origin or Referer. Such a request never carries the admin token on to
// the server, so that it can only lead to the page that asks to confirm.
#pragma once

#include "foundation/ArgList.h"
#include "http/URLRequest.h"

// True when an Origin or Referer header line names a host other than the
// admin host (an Origin of "null" and an unreadable value included). Without
// both lines the request counts as the admin pages' own.
bool foreign_admin_origin(const URLRequest& request);

// The request's arguments for the server: without the token when the origin
// is foreign, which is then logged with debug.
ArgList admin_arguments(const URLRequest& request, bool debug);
