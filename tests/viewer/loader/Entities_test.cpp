#include "viewer/loader/Entities.h"

#include <gtest/gtest.h>

TEST(EntityTable, HoldsExactlyTheKnownNames) {
    const auto& table = EntityTable();
    EXPECT_EQ(table.size(), 260u);
    EXPECT_EQ(table.count("#31"), 0u);
    EXPECT_EQ(table.count("#127"), 0u);
    EXPECT_EQ(table.count("#160"), 0u);
    EXPECT_EQ(table.count("#032"), 0u);  // no leading zeros
    EXPECT_EQ(table.count("#x41"), 0u);  // no hexadecimal form
    EXPECT_EQ(table.at("#32"), " ");
    EXPECT_EQ(table.at("#161"), "\xA1");
    EXPECT_EQ(table.at("#255"), "\xFF");
}

TEST(EntityTable, LettersGiveTheirIsoLatin1Byte) {
    const auto& table = EntityTable();
    EXPECT_EQ(table.at("Auml"), "\xC4");
    EXPECT_EQ(table.at("yuml"), "\xFF");
    EXPECT_EQ(table.at("szlig"), "\xDF");
    EXPECT_EQ(table.at("ETH"), "\xD0");
    EXPECT_EQ(table.at("thorn"), "\xFE");
    EXPECT_EQ(table.at("Oslash"), "\xD8");
    EXPECT_EQ(table.at("ccedil"), "\xE7");
}

TEST(EntityTable, SymbolsAndMarkup) {
    const auto& table = EntityTable();
    EXPECT_EQ(table.at("lt"), "<");
    EXPECT_EQ(table.at("gt"), ">");
    EXPECT_EQ(table.at("amp"), "&");
    EXPECT_EQ(table.at("quot"), "\"");
    EXPECT_EQ(table.at("reg"), "\xAE");
    EXPECT_EQ(table.at("copy"), "\xA9");
    EXPECT_EQ(table.at("trade"), "(TM)");
    EXPECT_EQ(table.at("nbsp"), " ");
}

TEST(DecodeEntities, KnownNamesAreReplaced) {
    EXPECT_EQ(DecodeEntities("M&auml;rz &amp; &lt;April&gt;"), "M\xE4rz & <April>");
    EXPECT_EQ(DecodeEntities("&Auml;"), "\xC4");
    EXPECT_EQ(DecodeEntities("a&trade;b"), "a(TM)b");
}

TEST(DecodeEntities, NumericReferences) {
    EXPECT_EQ(DecodeEntities("a&#59;b"), "a;b");
    EXPECT_EQ(DecodeEntities("&#65;&#126;"), "A~");
    EXPECT_EQ(DecodeEntities("x&#160;y"), "x&#160;y");  // not in the table
    EXPECT_EQ(DecodeEntities("&#9;"), "&#9;");
}

TEST(DecodeEntities, UnknownOrUnterminatedNamesStayAsWritten) {
    EXPECT_EQ(DecodeEntities("&auml without semicolon"), "&auml without semicolon");
    EXPECT_EQ(DecodeEntities("&bogus;"), "&bogus;");
    EXPECT_EQ(DecodeEntities("&AUML;"), "&AUML;");  // case-sensitive
    EXPECT_EQ(DecodeEntities("&;"), "&;");
    EXPECT_EQ(DecodeEntities("tail &"), "tail &");
}

TEST(DecodeEntities, SemicolonMustComeWithinSevenCharacters) {
    // "Ccedil" has six letters: its ";" is the seventh character after "&".
    EXPECT_EQ(DecodeEntities("&Ccedil;"), "\xC7");
    EXPECT_EQ(DecodeEntities("&toolongname;"), "&toolongname;");
}

TEST(DecodeEntities, AnAmpersandThatIsNotAnEntityDoesNotSwallowTheNextOne) {
    EXPECT_EQ(DecodeEntities("&&amp;"), "&&");
    EXPECT_EQ(DecodeEntities("&x &lt;"), "&x <");
}
