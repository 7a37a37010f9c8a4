#include "viewer/loader/PageScanner.h"

#include "viewer/graph/GraphNode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct FoundLink {
    std::string url;
    int32_t levels;
    int32_t otherLevels;
    std::string referrer;
    LinkKind kind;
};

class RecordingSink : public LinkSink {
public:
    void QueueLink(const SiteUrl& url, int32_t levels, int32_t otherLevels, const SiteUrl& referrer,
                   LinkKind kind) override {
        links.push_back({url.Text(), levels, otherLevels, referrer.Text(), kind});
    }
    void QueueEmbedded(const SiteUrl& url) override { embedded.push_back(url.Text()); }

    std::vector<std::string> LinkUrls() const {
        std::vector<std::string> urls;
        for (const FoundLink& link : links) urls.push_back(link.url);
        return urls;
    }

    std::vector<FoundLink> links;
    std::vector<std::string> embedded;
};

const SiteUrl kPage(nullptr, "http://h/d/p.html");

std::vector<std::string> AllTags(std::string_view page) {
    PageScanner scanner(page);
    std::vector<std::string> tags;
    HtmlTag tag;
    while (scanner.NextTag(tag)) tags.emplace_back(tag.text);
    return tags;
}

std::vector<std::pair<std::string, std::string>> Attributes(std::string_view tag) {
    TagAttributes attributes = ParseAttributes(tag);
    std::vector<std::pair<std::string, std::string>> pairs;
    for (size_t i = 0; i < attributes.Count(); i++) pairs.emplace_back(attributes.Name(i), attributes.Value(i));
    return pairs;
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

RecordingSink Scan(std::string_view page, bool pictures = false, bool withNode = true, int32_t levels = 3,
                   PageScan* scan = nullptr) {
    GraphNode node;
    RecordingSink sink;
    PageScan result = ScanPage(page, levels, 1, kPage, withNode ? &node : nullptr, pictures, sink);
    if (scan) *scan = result;
    return sink;
}

}  // namespace

TEST(NextTag, ReturnsTheInsideOfEachTagWithoutTrailingWhiteSpace) {
    EXPECT_EQ(AllTags("x<a href=y >t</a \n>"), (std::vector<std::string>{"a href=y", "/a"}));
}

TEST(NextTag, UnclosedOpeningBracketDropsTheRestOfThePage) {
    EXPECT_EQ(AllTags("<b>x <a href=y.html <i>"), (std::vector<std::string>{"b", "a href=y.html <i"}));
    EXPECT_EQ(AllTags("<b>x < and no end"), (std::vector<std::string>{"b"}));
}

TEST(NextTag, EmptyTagDoesNotEndTheScan) {
    EXPECT_EQ(AllTags("<><  ><b>"), (std::vector<std::string>{"", "", "b"}));
}

TEST(NextTag, CommentRunsToDashesFollowedByClosingBracket) {
    PageScanner scanner("<!-- <a href=x> -- still -- >after<b>");
    HtmlTag tag;
    ASSERT_TRUE(scanner.NextTag(tag));
    EXPECT_TRUE(tag.comment);
    EXPECT_EQ(tag.text, " <a href=x> -- still ");
    ASSERT_TRUE(scanner.NextTag(tag));
    EXPECT_FALSE(tag.comment);
    EXPECT_EQ(tag.text, "b");
}

TEST(NextTag, UnterminatedCommentDropsTheRestOfThePage) {
    EXPECT_EQ(AllTags("<i><!-- <a href=x> never closed <b>"), (std::vector<std::string>{"i"}));
}

TEST(TagName, IsTheFirstWordUpperCased) {
    EXPECT_EQ(TagName("img\tsrc=x"), "IMG");
    EXPECT_EQ(TagName("/title"), "/TITLE");
    EXPECT_EQ(TagName(""), "");
}

TEST(ParseAttributes, NamesAreUpperCasedAndValuesKeptAsWritten) {
    EXPECT_EQ(Attributes("a Href=\"X.html\" target=Main"),
              (Pairs{{"A", ""}, {"HREF", "X.html"}, {"TARGET", "Main"}}));
}

TEST(ParseAttributes, WhiteSpaceAroundTheEqualsSign) {
    EXPECT_EQ(Attributes("a href = \"x y.html\" b"), (Pairs{{"A", ""}, {"HREF", "x y.html"}}));
}

TEST(ParseAttributes, UnquotedValueKeepsAStrayQuote) {
    EXPECT_EQ(Attributes("a href=x.html\" name=n"), (Pairs{{"A", ""}, {"HREF", "x.html\""}, {"NAME", "n"}}));
}

TEST(ParseAttributes, SrcSkipsBlanksAfterTheQuoteAndEndsAtTheFirstBlank) {
    EXPECT_EQ(Attributes("img src=\" pic 1.gif\" alt=\"a b\""),
              (Pairs{{"IMG", ""}, {"SRC", "pic"}, {"ALT", "a b"}}));
    // Other attributes keep their blanks.
    EXPECT_EQ(Attributes("img lowsrc=\" pic 1.gif\" x"), (Pairs{{"IMG", ""}, {"LOWSRC", " pic 1.gif"}}));
}

TEST(ParseAttributes, UnclosedQuoteStoresNothingAndEndsParsing) {
    EXPECT_EQ(Attributes("a name=n href=\"x.html target=t"), (Pairs{{"A", ""}, {"NAME", "n"}}));
}

TEST(ParseAttributes, NameThatEndsTheTagIsDropped) {
    EXPECT_EQ(Attributes("img src=x.gif ismap"), (Pairs{{"IMG", ""}, {"SRC", "x.gif"}}));
    EXPECT_EQ(Attributes("br"), Pairs{});
}

TEST(ParseAttributes, CharacterThatIsNotALetterStartsNoAttribute) {
    EXPECT_EQ(Attributes("a 1x=2 -y=3 href=z"), (Pairs{{"A", ""}, {"HREF", "z"}}));
}

TEST(ParseAttributes, EqualsSignAtTheEndStoresNothing) {
    EXPECT_EQ(Attributes("a name=n href= "), (Pairs{{"A", ""}, {"NAME", "n"}}));
}

TEST(ParseAttributes, GetAttributeFindsTheFirstEvenWhenEmpty) {
    TagAttributes attributes = ParseAttributes("a href=\"\" href=second target");
    std::string value = "unchanged";
    ASSERT_TRUE(attributes.Get("HREF", value));
    EXPECT_EQ(value, "");
    EXPECT_FALSE(attributes.Get("TARGET", value));  // ends the tag: dropped
    EXPECT_FALSE(attributes.Get("href", value));    // names are upper case
}

TEST(ParseAttributes, VeryLongValueIsKeptWhole) {
    std::string value(100000, 'v');
    TagAttributes attributes = ParseAttributes("a href=\"" + value + "\" x=y");
    std::string found;
    ASSERT_TRUE(attributes.Get("HREF", found));
    EXPECT_EQ(found.size(), value.size());
}

TEST(TextUntilTag, LineBreakRunsBecomeOneCrLfAndTagsAreDropped) {
    PageScanner scanner("one\n  \r\n two <b>bold</b>\n\n<br>three<p>\nfour");
    EXPECT_EQ(scanner.TextUntilTag(""), "one\r\n two bold\r\nthree\r\nfour");
}

TEST(TextUntilTag, StopsBehindTheEndTag) {
    PageScanner scanner("<title> A\nB </TITLE><a href=x>");
    HtmlTag tag;
    ASSERT_TRUE(scanner.NextTag(tag));
    EXPECT_EQ(scanner.TextUntilTag("/TITLE"), " A\r\nB ");
    ASSERT_TRUE(scanner.NextTag(tag));
    EXPECT_EQ(tag.text, "a href=x");
}

TEST(TextUntilTag, CommentsAreDropped) {
    PageScanner scanner("a<!-- hidden -->b");
    EXPECT_EQ(scanner.TextUntilTag(""), "ab");
}

TEST(PageText, DecodesEntities) {
    EXPECT_EQ(PageText("<h1>Gr&uuml;&szlig;e</h1>\n&copy; me"), "Gr\xFC\xDF" "e\r\n\xA9 me");
}

TEST(ScanPage, LinksAreResolvedAgainstThePage) {
    RecordingSink sink = Scan("<a href=x.html>x</a><A HREF=\"../y.html\">y</A><area href=/z.html>");
    EXPECT_EQ(sink.LinkUrls(),
              (std::vector<std::string>{"http://h/d/x.html", "http://h/y.html", "http://h/z.html"}));
    ASSERT_EQ(sink.links.size(), 3u);
    EXPECT_EQ(sink.links[0].levels, 3);
    EXPECT_EQ(sink.links[0].otherLevels, 1);
    EXPECT_EQ(sink.links[0].referrer, "http://h/d/p.html");
    EXPECT_EQ(sink.links[0].kind, LinkKind::Plain);
}

TEST(ScanPage, BaseTakesEffectOnlyForLaterLinks) {
    RecordingSink sink = Scan("<a href=a.html><base href=\"http://other/base/\"><a href=b.html>"
                              "<base href=/second/x.html><a href=c.html>");
    EXPECT_EQ(sink.LinkUrls(), (std::vector<std::string>{"http://h/d/a.html", "http://other/base/b.html",
                                                         "http://h/second/c.html"}));
}

TEST(ScanPage, TargetMarksATargetedLinkOnlyWhenNotEmpty) {
    RecordingSink sink = Scan("<a href=a target=_top><a href=b target=\"\"><a href=c>");
    ASSERT_EQ(sink.links.size(), 3u);
    EXPECT_EQ(sink.links[0].kind, LinkKind::Targeted);
    EXPECT_EQ(sink.links[1].kind, LinkKind::Plain);
    EXPECT_EQ(sink.links[2].kind, LinkKind::Plain);
}

TEST(ScanPage, FrameSourceIsAFrameLink) {
    RecordingSink sink = Scan("<FRAMESET><frame src=\"left.html\"><FRAME SRC=right.html></FRAMESET>");
    ASSERT_EQ(sink.links.size(), 2u);
    EXPECT_EQ(sink.links[0].url, "http://h/d/left.html");
    EXPECT_EQ(sink.links[0].kind, LinkKind::Frame);
    EXPECT_EQ(sink.links[1].url, "http://h/d/right.html");
}

TEST(ScanPage, AnchorWithoutHrefGivesNoLink) {
    EXPECT_TRUE(Scan("<a name=top>").links.empty());
}

TEST(ScanPage, CommentsGiveNoLinks) {
    EXPECT_TRUE(Scan("<!-- <a href=hidden.html> -->").links.empty());
    EXPECT_TRUE(Scan("<!--a href=hidden.html-->").links.empty());
}

TEST(ScanPage, UnclosedTagEndsTheLinksFromThatPoint) {
    EXPECT_EQ(Scan("<a href=1.html><a href=2.html <a href=3.html>").LinkUrls(),
              (std::vector<std::string>{"http://h/d/1.html", "http://h/d/2.html"}));
    EXPECT_EQ(Scan("<a href=1.html> < <a href=2.html").LinkUrls(), (std::vector<std::string>{"http://h/d/1.html"}));
}

TEST(ScanPage, EmbeddedObjectsOnlyWithPictures) {
    const char* page = "<body background=bg.gif><img src=a.gif lowsrc=b.gif dynsrc=c.avi vrml=d.wrl>"
                       "<embed src=e.mid><sound src=f.wav><bgsound src=g.wav><script src=h.js></script>"
                       "<input type=image src=i.gif><input type=text src=j.gif>";
    EXPECT_TRUE(Scan(page, false).embedded.empty());
    EXPECT_EQ(Scan(page, true).embedded,
              (std::vector<std::string>{"http://h/d/bg.gif", "http://h/d/a.gif", "http://h/d/b.gif",
                                        "http://h/d/c.avi", "http://h/d/d.wrl", "http://h/d/e.mid",
                                        "http://h/d/f.wav", "http://h/d/g.wav", "http://h/d/h.js",
                                        "http://h/d/i.gif"}));
}

TEST(ScanPage, EmbedSoundAndScriptNeedAPageNode) {
    RecordingSink sink = Scan("<embed src=e.mid><script src=h.js><img src=a.gif>", true, false);
    EXPECT_EQ(sink.embedded, (std::vector<std::string>{"http://h/d/a.gif"}));
}

TEST(ScanPage, InputTypeIsComparedUpperCased) {
    EXPECT_EQ(Scan("<input type=Image src=i.gif>", true).embedded, (std::vector<std::string>{"http://h/d/i.gif"}));
}

TEST(ScanPage, ImgSrcWithLeadingBlankInQuotes) {
    EXPECT_EQ(Scan("<img src=\" pic 1.gif\">", true).embedded, (std::vector<std::string>{"http://h/d/pic"}));
}

TEST(ScanPage, FirstTitleIsTakenWhenThePageHasANode) {
    PageScan scan;
    Scan("<title>First &amp; best</title><TITLE>Second</TITLE>", false, true, 3, &scan);
    EXPECT_TRUE(scan.hasTitle);
    EXPECT_EQ(scan.title, "First &amp; best");
    Scan("<title>First</title>", false, false, 3, &scan);
    EXPECT_FALSE(scan.hasTitle);
}

TEST(ScanPage, NothingIsScannedBelowLevelMinusOne) {
    EXPECT_TRUE(Scan("<a href=x.html>", false, true, -2).links.empty());
    RecordingSink sink = Scan("<a href=x.html>", false, true, -1);
    ASSERT_EQ(sink.links.size(), 1u);
    EXPECT_EQ(sink.links[0].levels, -1);
}

TEST(ScanPage, NulBytesAndHugePagesAreScanned) {
    std::string page(1000, '\0');
    page += "<a href=x.html>";
    page += std::string(5'000'000, 'x');
    page += "<a href=\"" + std::string(100000, 'y') + "\">";
    RecordingSink sink = Scan(page);
    ASSERT_EQ(sink.links.size(), 2u);
    EXPECT_EQ(sink.links[1].url.size(), std::string("http://h/d/").size() + 100000);
}
