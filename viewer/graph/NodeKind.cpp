#include "viewer/graph/NodeKind.h"

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
