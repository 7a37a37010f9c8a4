#include "viewer/loader/NodeInfo.h"

#include "viewer/loader/Entities.h"
#include "viewer/loader/LoadItem.h"

namespace {

constexpr char kCrLf[] = "\r\n";
// The page text shown is cut after this many characters; only the start of
// a page is read for it.
constexpr size_t kTextExcerpt = 240;
constexpr size_t kTextSource = 65536;

void AddLine(std::string& info, const std::string& line) {
    if (line.empty()) return;
    if (!info.empty()) info += kCrLf;
    info += line;
}

}  // namespace

std::string OneLine(std::string_view text) {
    std::string line;
    bool space = false;
    for (char c : text) {
        bool white = c == '\r' || c == '\n' || c == ' ' || c == '\t';
        if (white) {
            space = true;
            continue;
        }
        if (space && !line.empty()) line += ' ';
        space = false;
        line += c;
    }
    return line;
}

std::string DescribeDocument(const LoadItem& item, const PageScan* scan, std::string_view page) {
    std::string info;
    if (scan && scan->hasTitle) AddLine(info, OneLine(DecodeEntities(scan->title)));
    AddLine(info, item.url.Text());
    if (!item.failure.empty()) {
        AddLine(info, OneLine(item.failure));
        return info;
    }
    if (!item.answered) return info;
    AddLine(info, "Status: " + std::to_string(item.status) + item.reason);
    if (!item.location.empty()) AddLine(info, "Location: " + item.location);
    if (!item.contentType.empty()) AddLine(info, "Content-Type: " + item.contentType);
    size_t size = item.loadOk ? item.body.size() : item.contentLength;
    if (size > 0) AddLine(info, "Size: " + std::to_string(size) + " bytes");
    if (!item.lastModified.empty()) AddLine(info, "Last-Modified: " + item.lastModified);
    if (scan) {
        std::string text = OneLine(PageText(page.substr(0, kTextSource)));
        if (text.size() > kTextExcerpt) text = text.substr(0, kTextExcerpt) + "...";
        AddLine(info, text);
    }
    return info;
}
