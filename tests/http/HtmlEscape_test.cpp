#include "http/HtmlEscape.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string escape(const std::string& text) {
    Str out = html_escape(Str(text.data(), static_cast<uint32_t>(text.size())));
    return std::string(out.data(), out.length());
}

} // namespace

TEST(HtmlEscape, ReplacesTheFourMarkupCharacters) {
    EXPECT_EQ(escape("<a href=\"x\">&</a>"), "&lt;a href=&quot;x&quot;&gt;&amp;&lt;/a&gt;");
}

TEST(HtmlEscape, CopiesEverythingElseIncludingQuotesAndNulBytes) {
    EXPECT_EQ(escape("it's fine"), "it's fine");
    EXPECT_EQ(escape(std::string("a\0b\xe4", 4)), std::string("a\0b\xe4", 4));
    EXPECT_EQ(escape(""), "");
}

TEST(HtmlEscape, EscapesAnAlreadyEscapedTextAgain) {
    EXPECT_EQ(escape("&amp;"), "&amp;amp;");
    EXPECT_EQ(escape(">>"), "&gt;&gt;");
}
