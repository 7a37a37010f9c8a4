#include "viewer/loader/SiteUrl.h"

#include <cctype>

namespace {

std::string CleanReference(std::string_view text) {
    std::string clean;
    clean.reserve(text.size());
    for (char c : text)
        if (c != '\t' && c != '\n' && c != '\r') clean += c;
    size_t first = 0;
    while (first < clean.size() && static_cast<unsigned char>(clean[first]) <= 32) first++;
    size_t end = clean.size();
    while (end > first && static_cast<unsigned char>(clean[end - 1]) <= 32) end--;
    return clean.substr(first, end - first);
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); i++)
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

// The scheme ends at a ":" that comes before the first "/". A "?" or "#"
// ends the search too: "list.cgi?at=10:30" is a relative reference.
size_t SchemeEnd(std::string_view text) {
    for (size_t i = 0; i < text.size(); i++) {
        char c = text[i];
        if (c == ':') return i;
        if (c == '/' || c == '?' || c == '#') break;
    }
    return std::string_view::npos;
}

// -1 for an empty port text, -2 for one that is no port at all.
int32_t NumericPort(std::string_view text) {
    if (text.empty()) return -1;
    if (text.size() > 5) return -2;
    int32_t port = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -2;
        port = port * 10 + (c - '0');
    }
    return port <= 65535 ? port : -2;
}

bool IsIpv6Literal(std::string_view inside) {
    if (inside.empty() || inside.size() > 45 || inside.find(':') == std::string_view::npos) return false;
    for (char c : inside)
        if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.') return false;
    return true;
}

}  // namespace

std::string NormalizeUrlPath(std::string path) {
    size_t at;
    while ((at = path.find("/./")) != std::string::npos) path.erase(at, 2);
    while ((at = path.find("/../")) != std::string::npos) {
        if (at == 0) {
            path.erase(0, 3);
            continue;
        }
        size_t segment = path.rfind('/', at - 1);
        if (segment == std::string::npos) {
            // A path without a leading "/" (only host-less addresses): the
            // segment starts the path.
            path.erase(0, at + 4);
            continue;
        }
        path.erase(segment, at + 3 - segment);
    }
    return path;
}

SiteUrl::SiteUrl(const SiteUrl* base, std::string_view text) {
    reference_ = CleanReference(text);
    std::string_view rest = reference_;
    if (StartsWithNoCase(rest, "URL:")) rest.remove_prefix(4);

    std::string scheme;
    bool hasScheme = false;
    size_t colon = SchemeEnd(rest);
    if (colon != std::string_view::npos && colon > 0) {
        scheme = Lower(rest.substr(0, colon));
        hasScheme = true;
        rest.remove_prefix(colon + 1);
    }

    if (base == nullptr || (hasScheme && scheme != base->scheme_)) {
        if (!hasScheme) return;
        scheme_ = scheme;
    } else {
        if (!base->valid_) return;
        scheme_ = base->scheme_;
        host_ = base->host_;
        hasHost_ = base->hasHost_;
        port_ = base->port_;
        path_ = base->path_;
        opaque_ = base->opaque_;
    }
    valid_ = true;

    size_t hash = rest.find('#');
    if (hash != std::string_view::npos) {
        fragment_ = std::string(rest.substr(hash + 1));
        rest = rest.substr(0, hash);
    }

    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        size_t end = 0;
        while (end < rest.size() && rest[end] != '/' && rest[end] != '?') end++;
        if (!ParseHostPart(rest.substr(0, end))) {
            valid_ = false;
            return;
        }
        rest.remove_prefix(end);
        path_.clear();
        opaque_ = false;
    }
    ResolvePath(rest);
}

bool SiteUrl::ParseHostPart(std::string_view part) {
    hasHost_ = true;
    size_t at = part.rfind('@');
    if (at != std::string_view::npos) part.remove_prefix(at + 1);
    size_t hostEnd = part.find(':');
    if (!part.empty() && part[0] == '[') {
        size_t close = part.find(']');
        if (close == std::string_view::npos || !IsIpv6Literal(part.substr(1, close - 1))) return false;
        hostEnd = close + 1;
        if (hostEnd < part.size() && part[hostEnd] != ':') return false;
    }
    host_ = std::string(part.substr(0, hostEnd));
    port_ = hostEnd >= part.size() ? -1 : NumericPort(part.substr(hostEnd + 1));
    return port_ >= -1;
}

void SiteUrl::ResolvePath(std::string_view rest) {
    if (!rest.empty()) {
        if (rest[0] == '/') {
            path_ = std::string(rest);
            opaque_ = false;
        } else {
            size_t slash = path_.rfind('/');
            if (path_.empty() || slash == std::string::npos) {
                opaque_ = !hasHost_;
                path_ = "/" + std::string(rest);
            } else {
                path_ = path_.substr(0, slash + 1) + std::string(rest);
            }
        }
    }
    if (path_.empty()) path_ = "/";
    path_ = NormalizeUrlPath(std::move(path_));
}

std::string SiteUrl::Text() const {
    if (!valid_) return std::string();
    std::string text = scheme_ + ":";
    if (hasHost_) {
        text += "//";
        text += host_;
        if (port_ >= 0) text += ":" + std::to_string(port_);
    }
    if (opaque_ && !path_.empty() && path_[0] == '/')
        text.append(path_, 1, std::string::npos);
    else
        text += path_;
    return text;
}

std::string SiteUrl::Directory() const {
    size_t slash = path_.rfind('/');
    return slash == std::string::npos ? std::string() : path_.substr(0, slash + 1);
}
