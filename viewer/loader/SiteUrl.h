// SiteUrl: the address of a document as the site loader sees it, built from a
// reference text relative to the address of the page that holds it.
//
// Resolution: tabs and line breaks are removed, control characters and blanks
// trimmed, a leading "URL:" skipped. A ":" before the first "/" ends the
// scheme. A reference without a scheme, or with the base's scheme, starts
// from the base's scheme, host, port and path; any other one stands alone.
// "#" separates the fragment. "//host[:port]" replaces host and port and
// resets the path; a remainder starting with "/" replaces the path, any other
// one replaces the base path's last segment. Finally every "/./" becomes "/"
// and every "segment/../" is removed ("/../" at the start drops just "/..").
//
// The host part may hold a user name and password ("user:pw@host"): they are
// dropped, so they never reach a request. An IPv6 literal stays in its
// brackets ("[::1]"). A port that is not a number from 0 to 65535, or a host
// that is neither a name nor a bracketed IPv6 address, makes the address
// invalid rather than quietly pointing it elsewhere.
//
// Two addresses are the same document when their Text() is the same; the
// fragment is not part of it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class SiteUrl {
public:
    // An address without anything (not valid).
    SiteUrl() = default;
    // Resolves text against base; base may be null.
    SiteUrl(const SiteUrl* base, std::string_view text);

    bool Valid() const { return valid_; }
    bool HasHost() const { return hasHost_; }
    // Each part as text, empty when absent; the scheme is lower-case.
    const std::string& Scheme() const { return scheme_; }
    const std::string& Host() const { return host_; }
    int32_t Port() const { return port_; }  // -1 when the address names none
    const std::string& Path() const { return path_; }
    const std::string& Fragment() const { return fragment_; }

    // The full address without the fragment: scheme ":" ["//" host [":" port]] path.
    std::string Text() const;
    // What the address was made from (tabs and line breaks removed, blanks
    // trimmed): names an invalid address in messages and graphs.
    const std::string& Reference() const { return reference_; }
    // The host is a bracketed IPv6 literal.
    bool HostIsIpv6() const { return !host_.empty() && host_[0] == '['; }
    // The path up to and including its last "/".
    std::string Directory() const;

private:
    bool ParseHostPart(std::string_view part);
    void ResolvePath(std::string_view rest);

    std::string reference_;
    std::string scheme_;
    std::string host_;
    int32_t port_ = -1;
    std::string path_;
    std::string fragment_;
    bool valid_ = false;
    bool hasHost_ = false;
    // A host-less address whose reference had no leading "/" (mailto:x):
    // the "/" the path got in front is not shown in Text().
    bool opaque_ = false;
};

// Removes "/./" and "segment/../" from a path, as resolution does.
std::string NormalizeUrlPath(std::string path);
