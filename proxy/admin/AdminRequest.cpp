#include "proxy/admin/AdminRequest.h"

#include "proxy/admin/AdminDispatch.h"

Str admin_url(const Str& path) {
    return Str("http://") + ADMIN_HOST + path;
}

AdminAnswer AdminRequest::answer(const Str& path, const ArgList& arguments, uint32_t client) {
    return dispatch_admin_request(site_, path, arguments, client);
}

bool AdminRequest::is_admin(uint32_t client) const {
    return is_admin_client(site_.admin_addresses, client);
}
