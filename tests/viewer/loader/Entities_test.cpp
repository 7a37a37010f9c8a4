#include "viewer/loader/Entities.h"

#include <gtest/gtest.h>

TEST(Entities, KnownNamesAreDecodedAndEverythingElseStaysAsWritten) {
    EXPECT_EQ(EntityTable().size(), 260u);
    struct Case {
        const char* text;
        const char* decoded;
    } cases[] = {
        {"M&auml;rz &amp; &lt;April&gt;", "M\xE4rz & <April>"},
        {"&Auml;&yuml;&szlig;&ETH;&thorn;&Oslash;&Ccedil;", "\xC4\xFF\xDF\xD0\xFE\xD8\xC7"},
        {"&quot;&reg;&copy;a&trade;b&nbsp;", "\"\xAE\xA9" "a(TM)b "},
        {"&#32;&#59;&#65;&#126;&#161;&#255;", " ;A~\xA1\xFF"},
        // Outside the numeric ranges, leading zeros, hexadecimal: not in the table.
        {"&#31;&#127;&#160;&#032;&#x41;&#9;", "&#31;&#127;&#160;&#032;&#x41;&#9;"},
        {"&auml without semicolon", "&auml without semicolon"},
        {"&bogus; &AUML; &; tail &", "&bogus; &AUML; &; tail &"},
        {"&toolongname;", "&toolongname;"},  // the ";" must come within seven characters
        {"&&amp; &x &lt;", "&& &x <"},
    };
    for (const Case& c : cases) EXPECT_EQ(DecodeEntities(c.text), c.decoded) << c.text;
}
