#include "viewer/graph/NodeKind.h"

#include <string>

namespace {

struct ContentTypeRule {
    std::string_view prefix;
    NodeKind kind;
};

// Order matters: "text/html" before "text/", "application/zip" before "application/".
constexpr ContentTypeRule kContentTypeRules[] = {
    {"audio/", NodeKind::Audio},
    {"text/html", NodeKind::Html},
    {"text/", NodeKind::Text},
    {"image/", NodeKind::Image},
    {"video/", NodeKind::Video},
    {"application/zip", NodeKind::Zip},
    {"application/", NodeKind::Application},
};

}  // namespace

NodeKind NodeKindOfContentType(std::string_view contentType) {
    for (const ContentTypeRule& rule : kContentTypeRules)
        if (contentType.starts_with(rule.prefix)) return rule.kind;
    return NodeKind::Other;
}

bool NodeKindFromCode(int32_t code, NodeKind& kind) {
    constexpr NodeKind kAll[] = {
        NodeKind::Other,       NodeKind::OtherServer, NodeKind::SameServer,   NodeKind::Ftp,
        NodeKind::Mailto,      NodeKind::Gopher,      NodeKind::News,         NodeKind::OtherScheme,
        NodeKind::ServerError, NodeKind::ClientError, NodeKind::NotFound,     NodeKind::Unauthorized,
        NodeKind::Moved,       NodeKind::Found,       NodeKind::Html,         NodeKind::Text,
        NodeKind::Image,       NodeKind::Audio,       NodeKind::Video,        NodeKind::Application,
        NodeKind::Zip};
    for (NodeKind known : kAll)
        if (static_cast<int32_t>(known) == code) {
            kind = known;
            return true;
        }
    return false;
}

NodeKind NodeKindOfScheme(std::string_view scheme) {
    if (scheme == "http" || scheme == "https") return NodeKind::Other;
    if (scheme == "ftp") return NodeKind::Ftp;
    if (scheme == "mailto") return NodeKind::Mailto;
    if (scheme == "gopher") return NodeKind::Gopher;
    if (scheme == "news") return NodeKind::News;
    return NodeKind::OtherScheme;
}

NodeKind NodeKindOfUrl(std::string_view url) {
    size_t colon = url.find(':');
    if (colon == std::string_view::npos || colon == 0) return NodeKind::Other;
    std::string scheme;
    for (char c : url.substr(0, colon)) {
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        bool other = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!letter && (!other || scheme.empty())) return NodeKind::Other;
        scheme += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return NodeKindOfScheme(scheme);
}
