#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

TEST(IniFileTest, WritesGroupsAndKeysExactlyAsNamed) {
    TempDir dir;
    IniFile config(dir.File("sub/vantlow.ini"));
    EXPECT_TRUE(config.Write("General", "Browser", "firefox --new-window"));
    EXPECT_TRUE(config.Write("ParsedURLs", "Count", "1"));
    EXPECT_TRUE(config.Write("ParsedURLs", "URL0", "http://site.test/"));
    EXPECT_TRUE(config.Write("Dial", "Mode", "0"));
    EXPECT_EQ(ReadWholeFile(dir.File("sub/vantlow.ini")),
              "[General]\nBrowser=firefox --new-window\n[ParsedURLs]\nCount=1\nURL0=http://site.test/\n"
              "[Dial]\nMode=0\n");
}

TEST(IniFileTest, ReadsBackAndChangesValuesInPlaceKeepingOtherLines) {
    TempDir dir;
    std::string path = dir.File("vantlow.ini");
    WriteWholeFile(path, "; my settings\r\n[General]\r\nBrowser = old\r\n\r\n[ParsedURLs]\r\nCount=0\r\n");
    IniFile config(path);
    EXPECT_EQ(config.Read("General", "Browser"), " old");
    EXPECT_EQ(config.Read("ParsedURLs", "Count"), "0");
    EXPECT_EQ(config.Read("General", "Missing", "fallback"), "fallback");
    EXPECT_EQ(config.Read("Other", "Browser"), "");
    config.Write("General", "Browser", "new");
    config.Write("General", "Extra", "x=y");
    EXPECT_EQ(ReadWholeFile(path), "; my settings\n[General]\nBrowser=new\nExtra=x=y\n\n[ParsedURLs]\nCount=0\n");
    EXPECT_EQ(IniFile(path).Read("General", "Extra"), "x=y");
}

TEST(IniFileTest, AValueStaysOnOneLine) {
    TempDir dir;
    IniFile config(dir.File("vantlow.ini"));
    config.Write("General", "Browser", "evil\n[General]\nBrowser=other");
    IniFile again(dir.File("vantlow.ini"));
    EXPECT_EQ(again.Read("General", "Browser"), "evil[General]Browser=other");
}

TEST(IniFileTest, AMissingFileIsEmptyAndAnUnwritablePlaceReportsFailure) {
    TempDir dir;
    IniFile config(dir.File("nothing.ini"));
    EXPECT_EQ(config.Read("General", "Browser"), "");
    WriteWholeFile(dir.File("file"), "x");
    IniFile blocked(dir.File("file/vantlow.ini"));
    EXPECT_FALSE(blocked.Write("General", "Browser", "x"));
    EXPECT_EQ(blocked.Read("General", "Browser"), "x");
}

TEST(IniFileTest, TheDefaultPathFollowsXdgConfigHome) {
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    std::string keep = saved ? saved : "";
    setenv("XDG_CONFIG_HOME", "/tmp/xdg-test", 1);
    EXPECT_EQ(DefaultConfigPath(), "/tmp/xdg-test/vantlow/vantlow.ini");
    setenv("XDG_CONFIG_HOME", "relative", 1);
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(DefaultConfigPath(), "/home/someone/.config/vantlow/vantlow.ini");
    if (saved)
        setenv("XDG_CONFIG_HOME", keep.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}
