#include "viewer/loader/PageScanner.h"

#include "viewer/graph/GraphNode.h"
#include "viewer/loader/Entities.h"

#include <gtest/gtest.h>

namespace {

const SiteUrl kPage(nullptr, "http://h/d/p.html");

// Links as "url[^T|^F] levels/otherLevels", embedded objects as "+url"; "http://h" left out.
class RecordingSink : public LinkSink {
public:
    void QueueLink(const SiteUrl& url, int32_t levels, int32_t otherLevels, const SiteUrl& referrer,
                   LinkKind kind) override {
        EXPECT_EQ(referrer.Text(), kPage.Text());
        found += " " + Short(url) + (kind == LinkKind::Targeted ? "^T" : kind == LinkKind::Frame ? "^F" : "") + " " +
                 std::to_string(levels) + "/" + std::to_string(otherLevels);
    }
    void QueueEmbedded(const SiteUrl& url) override { found += " +" + Short(url); }
    static std::string Short(const SiteUrl& url) {
        return url.Text().rfind("http://h/", 0) == 0 ? url.Text().substr(8) : url.Text();
    }
    std::string found;
};

}  // namespace

TEST(PageScanner, TagsAndTheirAttributesAreCutOutTolerantly) {
    for (auto [page, tags] : {std::pair{"x<a href=y >t</a \n>", "|a href=y|/a"},
                              {"<b>x <a href=y.html <i>", "|b|a href=y.html <i"},
                              {"<b>x < and no end", "|b"},  // a "<" without ">" drops the rest
                              {"<><  ><b>", "|||b"},         // an empty tag does not end the scan
                              {"<!-- <a href=x> -- still -- >after<b>", "|! <a href=x> -- still |b"},
                              {"<i><!-- <a href=x> never closed <b>", "|i"}}) {
        PageScanner scanner(page);
        std::string found;
        for (HtmlTag tag; scanner.NextTag(tag);) found += (tag.comment ? "|!" : "|") + std::string(tag.text);
        EXPECT_EQ(found, tags) << page;
    }
    EXPECT_EQ(TagName("img\tsrc=x") + TagName("/title") + TagName(""), "IMG/TITLE");
    for (auto [tag, pairs] : {std::pair{"a Href=\"X.html\" target=Main", "|A=|HREF=X.html|TARGET=Main"},
                              {"a href = \"x y.html\" b", "|A=|HREF=x y.html"},
                              {"a href=x.html\" name=n", "|A=|HREF=x.html\"|NAME=n"},
                              {"img src=\" pic 1.gif\" alt=\"a b\"", "|IMG=|SRC=pic|ALT=a b"},
                              {"img lowsrc=\" pic 1.gif\" x", "|IMG=|LOWSRC= pic 1.gif"},
                              {"a name=n href=\"x.html target=t", "|A=|NAME=n"},
                              {"img src=x.gif ismap", "|IMG=|SRC=x.gif"},
                              {"br", ""},
                              {"a 1x=2 -y=3 href=z", "|A=|HREF=z"},
                              {"a name=n href= ", "|A=|NAME=n"}}) {
        TagAttributes attributes = ParseAttributes(tag);
        std::string found;
        for (size_t i = 0; i < attributes.Count(); i++) found += "|" + attributes.Name(i) + "=" + attributes.Value(i);
        EXPECT_EQ(found, pairs) << tag;
    }
    TagAttributes attributes = ParseAttributes("a href=\"\" href=second target");
    std::string value = "unchanged";
    EXPECT_TRUE(attributes.Get("HREF", value) && value.empty()) << value;  // the first, even when empty
    EXPECT_FALSE(attributes.Get("TARGET", value) || attributes.Get("href", value));
}

TEST(PageScanner, TextFoldsLineBreaksDropsTagsAndDecodesEntities) {
    EXPECT_EQ(PageScanner("one\n  \r\n two <b>bold</b>\n\n<br>three<p>\nfour<!-- x -->").TextUntilTag(""),
              "one\r\n two bold\r\nthree\r\nfour");
    EXPECT_EQ(PageText("<h1>Gr&uuml;&szlig;e</h1>\n&copy; me"), "Gr\xFC\xDF" "e\r\n\xA9 me");
}

TEST(PageScanner, ScanPageReportsLinksEmbeddedObjectsAndTheTitle) {
    const std::string objects = "<body background=bg.gif><img src=a.gif lowsrc=b.gif dynsrc=c.avi vrml=d.wrl>"
                                "<embed src=e.mid><sound src=f.wav><bgsound src=g.wav><script src=h.js></script>"
                                "<input type=Image src=i.gif><input type=text src=j.gif>";
    const std::string huge = "<a href=x.html>" + std::string(5'000'000, 'x') + "<a href=" + std::string(100000, 'y');
    struct Case {
        std::string page;
        bool pictures, withNode;
        int32_t levels;
        std::string found;
    } cases[] = {
        {"<a href=x.html>x</a><A HREF=\"../y.html\">y</A><area href=/z.html>", false, true, 3,
         " /d/x.html 3/1 /y.html 3/1 /z.html 3/1"},
        {"<a href=a><base href=\"http://o/b/\"><a href=b><base href=/s/x.html><a href=c>", false, true, 3,
         " /d/a 3/1 http://o/b/b 3/1 /s/c 3/1"},
        {"<a href=a target=_top><a href=b target=\"\"><FRAME SRC=f>", false, true, 3,
         " /d/a^T 3/1 /d/b 3/1 /d/f^F 3/1"},
        {"<a name=top><!-- <a href=h.html> --><!--a href=h2.html-->", false, true, 3, ""},
        {"<a href=1.html><a href=2.html <a href=3.html>", false, true, 3, " /d/1.html 3/1 /d/2.html 3/1"},
        {objects, false, true, 3, ""},
        {objects, true, true, 3, " +/d/bg.gif +/d/a.gif +/d/b.gif +/d/c.avi +/d/d.wrl +/d/e.mid +/d/f.wav +/d/g.wav"
                                 " +/d/h.js +/d/i.gif"},
        {objects, true, false, 3, " +/d/bg.gif +/d/a.gif +/d/b.gif +/d/c.avi +/d/d.wrl +/d/i.gif"},
        {"<img src=\" pic 1.gif\">", true, true, 3, " +/d/pic"},
        {"<a href=x.html>", false, true, -1, " /d/x.html -1/1"},
        {"<a href=x.html>", false, true, -2, ""},
        {huge + ">", false, true, 3, " /d/x.html 3/1 /d/" + std::string(100000, 'y') + " 3/1"},
    };
    for (const Case& c : cases) {
        GraphNode node;
        RecordingSink sink;
        ScanPage(c.page, c.levels, 1, kPage, c.withNode ? &node : nullptr, c.pictures, sink);
        EXPECT_EQ(sink.found, c.found) << c.page.substr(0, 100);
    }
    GraphNode node;
    RecordingSink sink;
    PageScan scan = ScanPage("<title>First &amp; best</title><TITLE>Second</TITLE>", 3, 1, kPage, &node, false, sink);
    EXPECT_EQ(scan.title + std::to_string(scan.hasTitle), "First &amp; best1");
    EXPECT_FALSE(ScanPage("<title>First</title>", 3, 1, kPage, nullptr, false, sink).hasTitle);
}

TEST(Entities, KnownNamesAreDecodedAndEverythingElseStaysAsWritten) {
    EXPECT_EQ(EntityTable().size(), 260u);
    for (auto [text, decoded] : {std::pair{"M&auml;rz &amp; &lt;April&gt;", "M\xE4rz & <April>"},
                                 {"&Auml;&yuml;&szlig;&ETH;&thorn;&Oslash;&Ccedil;", "\xC4\xFF\xDF\xD0\xFE\xD8\xC7"},
                                 {"&quot;&reg;&copy;a&trade;b&nbsp;", "\"\xAE\xA9" "a(TM)b "},
                                 {"&#32;&#59;&#65;&#126;&#161;&#255;", " ;A~\xA1\xFF"},
                                 // Outside the numeric ranges, leading zeros, hexadecimal: not in the table.
                                 {"&#31;&#127;&#160;&#032;&#x41;&#9;", "&#31;&#127;&#160;&#032;&#x41;&#9;"},
                                 {"&auml without semicolon", "&auml without semicolon"},
                                 {"&bogus; &AUML; &; tail &", "&bogus; &AUML; &; tail &"},
                                 {"&toolongname;", "&toolongname;"},  // the ";" must come within seven characters
                                 {"&&amp; &x &lt;", "&& &x <"}})
        EXPECT_EQ(DecodeEntities(text), decoded) << text;
}
