// The kind of a graph node: document type or load result. Each code has its
// own icon (codes without one use the icon of Other); the codes are shared
// with the crawler, so their numbers are fixed.
#pragma once

#include <cstdint>
#include <string_view>

enum class NodeKind : int32_t {
    Other = 0,          // other or unknown type
    OtherServer = 1,    // http link to another server, not followed
    SameServer = 2,     // http link on the same server, not followed
    Ftp = 3,
    Mailto = 4,
    Gopher = 5,
    News = 6,
    OtherScheme = 7,
    ServerError = 8,    // status 500 and above except 501, or load failure
    ClientError = 9,    // 400, 402, 405 to 499, 501
    NotFound = 10,      // 404
    Unauthorized = 11,  // 401, 403
    Moved = 12,         // 301, 303 to 399
    Found = 13,         // 302
    Html = 14,
    Text = 16,
    Image = 17,
    Audio = 18,
    Video = 19,
    Application = 20,
    Zip = 22,
};

// Kind of a document by its MIME type; prefixes are tested in a fixed order
// and the first match wins.
NodeKind NodeKindOfContentType(std::string_view contentType);

// The kind a code of the enumeration stands for; false for any other number.
bool NodeKindFromCode(int32_t code, NodeKind& kind);
// The kind a link's scheme (lower case) decides: ftp, mailto, gopher and
// news their own, http and https nothing (Other: loaded or not, its kind
// comes from the load), any other scheme OtherScheme.
NodeKind NodeKindOfScheme(std::string_view scheme);
// The same for a whole URL; one without a scheme counts as http.
NodeKind NodeKindOfUrl(std::string_view url);
