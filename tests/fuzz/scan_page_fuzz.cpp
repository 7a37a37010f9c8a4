// Feeds arbitrary bytes to the HTML scanner: the first line is taken as the
// page's address (resolved against a fixed one), the rest as the page. Every
// address the scanner hands on must be a resolved one: valid, with a
// lower-case scheme and a path that starts with "/" and holds no "/./" or
// "/../" any more.
#include "viewer/loader/Entities.h"
#include "viewer/loader/PageScanner.h"
#include "viewer/loader/SiteUrl.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void CheckResolved(const SiteUrl& url) {
    if (!url.Valid()) std::abort();
    const std::string& scheme = url.Scheme();
    if (scheme.empty()) std::abort();
    for (char c : scheme)
        if (c >= 'A' && c <= 'Z') std::abort();
    const std::string& path = url.Path();
    if (path.empty() || path[0] != '/') std::abort();
    if (path.find("/./") != std::string::npos || path.find("/../") != std::string::npos) std::abort();
    if (url.Text().empty()) std::abort();
}

class CheckingSink : public LinkSink {
public:
    void QueueLink(const SiteUrl& url, int32_t, int32_t, const SiteUrl& referrer, LinkKind) override {
        CheckResolved(url);
        CheckResolved(referrer);
    }
    void QueueEmbedded(const SiteUrl& url) override { CheckResolved(url); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    size_t lineEnd = input.find('\n');
    std::string_view address = input.substr(0, lineEnd);
    std::string_view page = lineEnd == std::string_view::npos ? std::string_view() : input.substr(lineEnd + 1);

    static const SiteUrl kFixed(nullptr, "http://www.example.org/d/p.html");
    SiteUrl alone(nullptr, address);
    SiteUrl relative(&kFixed, address);
    if (alone.Valid()) (void)alone.Text();
    CheckResolved(relative);
    const SiteUrl& pageUrl = alone.Valid() && alone.Path()[0] == '/' ? alone : relative;

    CheckingSink sink;
    const int32_t levels = size > 0 ? static_cast<int32_t>(data[0] % 4) - 2 : 0;
    PageScan scan = ScanPage(page, levels, 1, pageUrl, reinterpret_cast<const GraphNode*>(&sink), true, sink);
    if (scan.hasTitle) (void)DecodeEntities(scan.title);
    (void)PageText(page);
    return 0;
}
