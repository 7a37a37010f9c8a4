#include "viewer/loader/SiteUrl.h"

#include <gtest/gtest.h>

TEST(SiteUrl, ReferencesResolveAgainstTheirBase) {
    const char* page = "http://www.example.org/d/p.html";
    const std::string d = "http://www.example.org/d/";
    struct Case {
        const char* base;  // nullptr: none
        const char* reference;
        std::string text;  // "" when not valid
        const char* fragment = "";
    } cases[] = {
        {nullptr, "HTTP://Host.Example:8080/a/b.html?x=1#top", "http://Host.Example:8080/a/b.html?x=1", "top"},
        {nullptr, "http://host", "http://host/"},
        {nullptr, "http://host:/a", "http://host/a"},
        {nullptr, "http://user:pw@host:81/a", "http://host:81/a"},  // the login is never sent on
        {nullptr, "http://[::1]:18242/", "http://[::1]:18242/"},
        {nullptr, "http://host:80x/a", ""},
        {nullptr, "http://host:99999/a", ""},
        {nullptr, "http://[::1/", ""},
        {nullptr, "http://[not-v6]/", ""},
        {nullptr, "http://[::1]x/", ""},
        {nullptr, "http://host?x=1", "http://host/?x=1"},
        {nullptr, "index.html", ""},
        {page, "mailto:someone@example.org", "mailto:someone@example.org"},
        {page, "list.cgi?at=10:30", d + "list.cgi?at=10:30"},
        {page, " \t x\n.ht\r\nml \x01", d + "x.html"},
        {page, "URL:x.html", d + "x.html"},
        {page, "../x.html", "http://www.example.org/x.html"},
        {page, "/../x.html", "http://www.example.org/x.html"},
        {page, "./x.html", d + "x.html"},
        {page, "//other:8000", "http://other:8000/"},
        {page, "http:x.html", d + "x.html"},
        {page, "ftp://files.example.org/pub/a.zip", "ftp://files.example.org/pub/a.zip"},
        {page, "#part2", page, "part2"},
        {page, "x.html#a", d + "x.html", "a"},
        {page, "", page},
        {"http://h:81/d/p.html", "x.html", "http://h:81/d/x.html"},
        {"http://h/dir/", "..", "http://h/dir/.."},  // only "/../" is folded
    };
    for (const Case& c : cases) {
        SiteUrl base(nullptr, c.base ? c.base : "");
        SiteUrl url(c.base ? &base : nullptr, c.reference);
        EXPECT_EQ(url.Valid(), !c.text.empty()) << c.reference;
        EXPECT_EQ(url.Text() + "#" + url.Fragment(), c.text + "#" + c.fragment) << c.reference;
        if (!url.Valid() && c.base == nullptr) EXPECT_EQ(url.Reference(), c.reference);  // named in the message
    }
    EXPECT_EQ(SiteUrl(nullptr, "http://[fe80::1]/x").Host(), "[fe80::1]");
    EXPECT_EQ(SiteUrl(nullptr, "http://h/a/b.html").Directory(), "/a/");
    for (auto [path, normal] : {std::pair{"/a/././b", "/a/b"}, {"/a/b/../../c", "/c"}, {"/../../c", "/c"},
                                {"/a/..", "/a/.."}})
        EXPECT_EQ(NormalizeUrlPath(path), normal) << path;
}
