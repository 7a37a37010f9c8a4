#include "proxy/server/AdminOrigin.h"

#include "foundation/ObjectStream.h"
#include "proxy/admin/AdminRequest.h"
#include "proxy/admin/AdminToken.h"

#include <string>

namespace {

std::string lower(std::string text) {
    for (char& c : text) c = char(Str::lower(static_cast<unsigned char>(c)));
    return text;
}

// The host of an absolute URL (no user, no port); empty when there is none.
std::string url_host(const std::string& url) {
    size_t scheme = url.find("://");
    if (scheme == std::string::npos) return std::string();
    size_t start = scheme + 3;
    size_t end = url.find_first_of("/?#", start);
    std::string authority = url.substr(start, end == std::string::npos ? end : end - start);
    size_t at = authority.rfind('@');
    if (at != std::string::npos) authority.erase(0, at + 1);
    size_t colon = authority.find(':');
    if (colon != std::string::npos) authority.erase(colon);
    return lower(authority);
}

bool foreign_value(const std::string& value) {
    return url_host(value) != ADMIN_HOST;
}

} // namespace

bool foreign_admin_origin(const URLRequest& request) {
    std::string lines(request.unknown.data(), request.unknown.length());
    for (size_t start = 0; start < lines.size();) {
        size_t end = lines.find('\n', start);
        if (end == std::string::npos) end = lines.size();
        std::string line = lines.substr(start, end - start);
        start = end + 1;
        size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = lower(line.substr(0, colon));
        if (name != "origin" && name != "referer") continue;
        size_t from = line.find_first_not_of(" \t", colon + 1);
        size_t to = line.find_last_not_of(" \t\r");
        std::string value = from == std::string::npos || to < from ? "" : line.substr(from, to - from + 1);
        if (foreign_value(value)) return true;
    }
    return false;
}

ArgList admin_arguments(const URLRequest& request, bool debug) {
    ArgList arguments(request.args);
    if (!foreign_admin_origin(request)) return arguments;
    take_token(arguments, Str());
    if (debug && arguments.count() != request.args.count())
        diag_drain() << Str("UrlGet: token of '") << request.path
                     << Str("' dropped: sent by another site's page\n");
    return arguments;
}
