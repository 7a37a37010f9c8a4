#include "http/HtmlEscape.h"
#include "http/UrlCoding.h"
#include "tests/foundation/Expect.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

using Coder = Str (*)(const Str&);

std::string coded(Coder coder, const std::string& text) {
    Str out = coder(Str(text.data(), uint32_t(text.size())));
    return std::string(out.data(), out.length());
}

TEST(TextCoding, EachCoderMapsItsCharactersAndCopiesTheRest) {
    using namespace std::string_literals;
    expect_all({SAME(coded(url_decode, "a+b"), "a b"), SAME(coded(url_decode, "%41%42"), "AB"),
                SAME(coded(url_decode, "%2f%2F"), "//"), SAME(coded(url_decode, "%2B+"), "+ "),
                SAME(coded(url_decode, "plain-text_1.2"), "plain-text_1.2"), SAME(coded(url_decode, "a%2Fb%2"), "a/b2"),
                SAME(coded(url_decode, "%"), ""), SAME(coded(url_decode, "x%"), "x"), SAME(coded(url_decode, "%4"), "4"),
                SAME(coded(url_decode, "%4gz"), "\x04z"), SAME(coded(url_decode, "%g4"), "\0"s),
                SAME(coded(url_decode, "%%41"), "\0" "1"s), SAME(coded(url_decode, "%ff"), "\xff"),
                SAME(coded(url_encode, "a b"), "a+b"), SAME(coded(url_encode, "_,.-0123456789"), "_,.-0123456789"),
                SAME(coded(url_encode, "AZaz[\\]^`{|}~"), "AZaz[\\]^`{|}~"), SAME(coded(url_encode, ""), ""),
                SAME(coded(url_encode, "/:?=&+%@"), "%2f%3a%3f%3d%26%2b%25%40"),
                SAME(coded(url_encode, "\0\x7f\xff"s), "%00%7f%ff"),
                SAME(coded(html_escape, "<a href=\"x\">&</a>"), "&lt;a href=&quot;x&quot;&gt;&amp;&lt;/a&gt;"),
                SAME(coded(html_escape, "it's fine"), "it's fine"), SAME(coded(html_escape, "a\0b\xe4"s), "a\0b\xe4"s),
                SAME(coded(html_escape, "&amp;"), "&amp;amp;")});
}

// 2000 random texts hold every byte value many times.
TEST(TextCoding, EveryByteSurvivesEncodeThenDecode) {
    std::mt19937 random(4242);
    for (int i = 0; i < 2000; i++) {
        std::string text;
        for (int k = random() % 64; k > 0; k--) text += char(random() % 256);
        ASSERT_EQ(coded(url_decode, coded(url_encode, text)), text);
    }
}

} // namespace
