#include "AppTestSupport.h"

#include "viewer/app/jobs/UrlHistory.h"
#include "viewer/gui/IniFile.h"

#include <gtest/gtest.h>

namespace {

TEST(UrlHistory, NewestComesFirstAndAtMostTenAreKept) {
    AppTempDir dir;
    IniFile config(dir.File("vantlow.ini"));
    for (int i = 0; i < 12; i++) PushUrlHistory(config, "http://site" + std::to_string(i) + "/");
    std::vector<std::string> urls = ReadUrlHistory(IniFile(dir.File("vantlow.ini")));
    ASSERT_EQ(urls.size(), 10u);
    for (int i = 0; i < 10; i++) EXPECT_EQ(urls[i], "http://site" + std::to_string(11 - i) + "/");
    std::string text = ReadText(dir.File("vantlow.ini"));
    EXPECT_NE(text.find("[ParsedURLs]"), std::string::npos);
    EXPECT_NE(text.find("Count=10"), std::string::npos);
    EXPECT_NE(text.find("URL0=http://site11/"), std::string::npos);
}

TEST(UrlHistory, AUrlUsedAgainMovesToTheFrontOnce) {
    AppTempDir dir;
    IniFile config(dir.File("vantlow.ini"));
    for (const char* url : {"http://a/", "http://b/", "http://c/"}) PushUrlHistory(config, url);
    std::vector<std::string> urls = PushUrlHistory(config, "http://a/");
    EXPECT_EQ(urls, (std::vector<std::string>{"http://a/", "http://c/", "http://b/"}));
    EXPECT_EQ(ReadUrlHistory(config), urls);
}

TEST(UrlHistory, OnlyTheFirstNineOldEntriesFollowTheNewOne) {
    AppTempDir dir;
    IniFile config(dir.File("vantlow.ini"));
    for (int i = 9; i >= 0; i--) PushUrlHistory(config, "http://u" + std::to_string(i) + "/");
    // The old tenth entry (u9) is dropped even though the new URL repeats u0.
    std::vector<std::string> urls = PushUrlHistory(config, "http://u0/");
    ASSERT_EQ(urls.size(), 9u);
    EXPECT_EQ(urls.front(), "http://u0/");
    EXPECT_EQ(urls.back(), "http://u8/");
}

TEST(UrlHistory, GarbledCountsAndEmptyEntriesAreIgnored) {
    AppTempDir dir;
    std::string path = dir.File("vantlow.ini");
    WriteText(path, "[ParsedURLs]\nCount=abc\nURL0=http://x/\n");
    EXPECT_TRUE(ReadUrlHistory(IniFile(path)).empty());
    WriteText(path, "[ParsedURLs]\nCount=-3\nURL0=http://x/\n");
    EXPECT_TRUE(ReadUrlHistory(IniFile(path)).empty());
    WriteText(path, "[ParsedURLs]\nCount=99999999999999999999\nURL0=http://x/\n");
    EXPECT_TRUE(ReadUrlHistory(IniFile(path)).empty());
    WriteText(path, "[ParsedURLs]\nCount=4000000000\nURL0=http://x/\nURL1=\nURL2=http://z/\n");
    EXPECT_EQ(ReadUrlHistory(IniFile(path)), (std::vector<std::string>{"http://x/", "http://z/"}));
}

}  // namespace
