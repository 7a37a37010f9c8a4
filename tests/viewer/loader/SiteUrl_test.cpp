#include "viewer/loader/SiteUrl.h"

#include <gtest/gtest.h>

namespace {

const SiteUrl kPage(nullptr, "http://www.example.org/d/p.html");

std::string PathOf(const char* reference) {
    return SiteUrl(&kPage, reference).Path();
}

}  // namespace

TEST(SiteUrlParts, AbsoluteAddressIsSplitIntoItsParts) {
    SiteUrl url(nullptr, "HTTP://Host.Example:8080/a/b.html?x=1#top");
    ASSERT_TRUE(url.Valid());
    EXPECT_EQ(url.Scheme(), "http");  // lower-cased
    EXPECT_EQ(url.Host(), "Host.Example");  // case kept
    EXPECT_EQ(url.Port(), 8080);
    EXPECT_EQ(url.Path(), "/a/b.html?x=1");
    EXPECT_EQ(url.Fragment(), "top");
    EXPECT_EQ(url.Text(), "http://Host.Example:8080/a/b.html?x=1");
}

TEST(SiteUrlParts, AddressWithoutPortOrPathGetsPortMinusOneAndRootPath) {
    SiteUrl url(nullptr, "http://host");
    EXPECT_EQ(url.Port(), -1);
    EXPECT_EQ(url.Path(), "/");
    EXPECT_EQ(url.Text(), "http://host/");
}

TEST(SiteUrlParts, HostPartForms) {
    struct Case {
        const char* text;
        bool valid;
        const char* host;
        int32_t port;
        const char* shown;  // Text(), or the reference of an invalid address
    } cases[] = {
        {"http://host:/a", true, "host", -1, "http://host/a"},
        {"http://host:8080/a", true, "host", 8080, "http://host:8080/a"},
        {"http://user:pw@host:81/a", true, "host", 81, "http://host:81/a"},
        {"http://[::1]:18242/", true, "[::1]", 18242, "http://[::1]:18242/"},
        {"http://[fe80::1]/x", true, "[fe80::1]", -1, "http://[fe80::1]/x"},
        {"http://host:80x/a", false, "", -1, "http://host:80x/a"},
        {"http://host:99999/a", false, "", -1, "http://host:99999/a"},
        {"http://[::1/", false, "", -1, "http://[::1/"},
        {"http://[not-v6]/", false, "", -1, "http://[not-v6]/"},
        {"http://[::1]x/", false, "", -1, "http://[::1]x/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        SiteUrl url(nullptr, c.text);
        EXPECT_EQ(url.Valid(), c.valid);
        if (c.valid) {
            EXPECT_EQ(url.Host(), c.host);
            EXPECT_EQ(url.Port(), c.port);
            EXPECT_EQ(url.Text(), c.shown);
        } else {
            EXPECT_EQ(url.Text(), "");
            EXPECT_EQ(url.Reference(), c.shown);
        }
    }
}

TEST(SiteUrlParts, QueryDirectlyAfterTheHostStaysInThePath) {
    SiteUrl url(nullptr, "http://host?x=1");
    EXPECT_EQ(url.Host(), "host");
    EXPECT_EQ(url.Path(), "/?x=1");
}

TEST(SiteUrlParts, TextWithoutSchemeAndWithoutBaseIsInvalid) {
    SiteUrl url(nullptr, "index.html");
    EXPECT_FALSE(url.Valid());
    EXPECT_EQ(url.Text(), "");
    EXPECT_FALSE(SiteUrl(nullptr, "").Valid());
}

TEST(SiteUrlParts, MailtoHasSchemeButNoHost) {
    SiteUrl url(&kPage, "mailto:someone@example.org");
    ASSERT_TRUE(url.Valid());
    EXPECT_EQ(url.Scheme(), "mailto");
    EXPECT_FALSE(url.HasHost());
    EXPECT_EQ(url.Host(), "");
    EXPECT_EQ(url.Text(), "mailto:someone@example.org");
}

TEST(SiteUrlParts, ColonAfterQueryMarkDoesNotMakeAScheme) {
    SiteUrl url(&kPage, "list.cgi?at=10:30");
    EXPECT_EQ(url.Scheme(), "http");
    EXPECT_EQ(url.Path(), "/d/list.cgi?at=10:30");
}

TEST(SiteUrlCleaning, LineBreaksAndTabsAreRemovedAndEndsTrimmed) {
    SiteUrl url(&kPage, " \t x\n.ht\r\nml \x01");
    EXPECT_EQ(url.Path(), "/d/x.html");
}

TEST(SiteUrlCleaning, UrlPrefixIsSkippedInAnyCase) {
    EXPECT_EQ(SiteUrl(&kPage, "URL:x.html").Path(), "/d/x.html");
    EXPECT_EQ(SiteUrl(&kPage, "url:http://other/y.html").Host(), "other");
}

TEST(SiteUrlResolution, RelativeDotAndDotDotReferences) {
    EXPECT_EQ(PathOf("x.html"), "/d/x.html");
    EXPECT_EQ(PathOf("../x.html"), "/x.html");
    EXPECT_EQ(PathOf("/../x.html"), "/x.html");
    EXPECT_EQ(PathOf("./x.html"), "/d/x.html");
    EXPECT_EQ(PathOf("a/./b/../../y.html"), "/d/y.html");
    EXPECT_EQ(PathOf("../../../z.html"), "/z.html");
}

TEST(SiteUrlResolution, ReferenceInheritsHostAndPortOfTheBase) {
    SiteUrl base(nullptr, "http://h:81/d/p.html");
    SiteUrl url(&base, "x.html");
    EXPECT_EQ(url.Text(), "http://h:81/d/x.html");
}

TEST(SiteUrlResolution, RootedReferenceReplacesThePath) {
    EXPECT_EQ(PathOf("/top/x.html"), "/top/x.html");
}

TEST(SiteUrlResolution, HostReferenceResetsThePath) {
    SiteUrl url(&kPage, "//other:8000");
    EXPECT_EQ(url.Scheme(), "http");
    EXPECT_EQ(url.Host(), "other");
    EXPECT_EQ(url.Port(), 8000);
    EXPECT_EQ(url.Path(), "/");
}

TEST(SiteUrlResolution, SameSchemeWrittenOutIsStillRelative) {
    EXPECT_EQ(SiteUrl(&kPage, "http:x.html").Text(), "http://www.example.org/d/x.html");
}

TEST(SiteUrlResolution, OtherSchemeStandsAlone) {
    SiteUrl url(&kPage, "ftp://files.example.org/pub/a.zip");
    EXPECT_EQ(url.Scheme(), "ftp");
    EXPECT_EQ(url.Host(), "files.example.org");
    EXPECT_EQ(url.Path(), "/pub/a.zip");
}

TEST(SiteUrlResolution, FragmentOnlyReferenceIsThePageItself) {
    SiteUrl url(&kPage, "#part2");
    EXPECT_EQ(url.Text(), kPage.Text());
    EXPECT_EQ(url.Fragment(), "part2");
}

TEST(SiteUrlResolution, FragmentIsNotPartOfTheText) {
    EXPECT_EQ(SiteUrl(&kPage, "x.html#a").Text(), SiteUrl(&kPage, "x.html#b").Text());
}

TEST(SiteUrlResolution, EmptyReferenceIsThePageItself) {
    EXPECT_EQ(SiteUrl(&kPage, "").Text(), kPage.Text());
}

TEST(SiteUrlResolution, ReferenceAgainstADirectoryBase) {
    SiteUrl base(nullptr, "http://h/dir/");
    EXPECT_EQ(SiteUrl(&base, "x.html").Path(), "/dir/x.html");
    EXPECT_EQ(SiteUrl(&base, "..").Path(), "/dir/..");  // only "/../" is folded
}

TEST(SiteUrlDirectory, DirectoryRunsToTheLastSlash) {
    EXPECT_EQ(kPage.Directory(), "/d/");
    EXPECT_EQ(SiteUrl(nullptr, "http://h").Directory(), "/");
}

TEST(SiteUrlPathNormalization, DotSegmentsAreRemovedRepeatedly) {
    EXPECT_EQ(NormalizeUrlPath("/a/././b"), "/a/b");
    EXPECT_EQ(NormalizeUrlPath("/a/b/../../c"), "/c");
    EXPECT_EQ(NormalizeUrlPath("/../../c"), "/c");
    EXPECT_EQ(NormalizeUrlPath("/a/.."), "/a/..");
}
