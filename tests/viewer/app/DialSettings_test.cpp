#include "AppTestSupport.h"

#include "viewer/app/dialup/DialSettings.h"
#include "viewer/app/dialup/PasswordScrambler.h"
#include "viewer/gui/IniFile.h"

#include <gtest/gtest.h>

namespace {

TEST(DialSettings, MissingGroupGivesTheDefaults) {
    AppTempDir dir;
    IniFile config(dir.File("vantlow.ini"));
    DialSettings settings = DialSettings::Read(config);
    EXPECT_EQ(settings.userName, "");
    EXPECT_EQ(settings.password, "");
    EXPECT_EQ(settings.domain, "*");
    EXPECT_EQ(settings.entryName, "");
    EXPECT_TRUE(settings.useCurrentUser);
    EXPECT_EQ(settings.mode, DialMode::Never);
}

TEST(DialSettings, WritesAllSixKeysInGroupDialAndReadsThemBack) {
    AppTempDir dir;
    std::string path = dir.File("vantlow.ini");
    {
        IniFile config(path);
        DialSettings settings;
        settings.userName = "jane";
        settings.password = "s3cret";
        settings.domain = "OFFICE";
        settings.entryName = "Provider";
        settings.useCurrentUser = false;
        settings.mode = DialMode::ScheduledOnly;
        ASSERT_TRUE(settings.Write(config));
    }
    std::string text = ReadText(path);
    EXPECT_NE(text.find("[Dial]"), std::string::npos);
    EXPECT_NE(text.find("username=jane"), std::string::npos);
    EXPECT_NE(text.find("password=" + ScramblePasswordHex("s3cret")), std::string::npos);
    EXPECT_EQ(text.find("s3cret"), std::string::npos);
    EXPECT_NE(text.find("domain=OFFICE"), std::string::npos);
    EXPECT_NE(text.find("phonebookentry=Provider"), std::string::npos);
    EXPECT_NE(text.find("UsingCurrentUser=0"), std::string::npos);
    EXPECT_NE(text.find("CareAboutDialing=2"), std::string::npos);

    IniFile again(path);
    DialSettings read = DialSettings::Read(again);
    EXPECT_EQ(read.userName, "jane");
    EXPECT_EQ(read.password, "s3cret");
    EXPECT_EQ(read.domain, "OFFICE");
    EXPECT_EQ(read.entryName, "Provider");
    EXPECT_FALSE(read.useCurrentUser);
    EXPECT_EQ(read.mode, DialMode::ScheduledOnly);
}

TEST(DialSettings, EmptyPasswordIsStoredAsEmptyValue) {
    AppTempDir dir;
    std::string path = dir.File("vantlow.ini");
    IniFile config(path);
    DialSettings settings;
    settings.Write(config);
    std::string text = ReadText(path);
    EXPECT_NE(text.find("password=\n"), std::string::npos) << text;
    EXPECT_EQ(DialSettings::Read(IniFile(path)).password, "");
}

TEST(DialSettings, GarbageValuesKeepTheirDefaults) {
    AppTempDir dir;
    std::string path = dir.File("vantlow.ini");
    WriteText(path,
              "[Dial]\n"
              "password=this is not hex\n"
              "UsingCurrentUser=perhaps\n"
              "CareAboutDialing=7\n"
              "[General]\nBrowser=x\n");
    DialSettings settings = DialSettings::Read(IniFile(path));
    EXPECT_EQ(settings.password, "");
    EXPECT_TRUE(settings.useCurrentUser);
    EXPECT_EQ(settings.mode, DialMode::Never);

    WriteText(path, "[Dial]\nCareAboutDialing=abc\nUsingCurrentUser=0\n");
    settings = DialSettings::Read(IniFile(path));
    EXPECT_EQ(settings.mode, DialMode::Never);
    EXPECT_FALSE(settings.useCurrentUser);

    WriteText(path, "[Dial]\nCareAboutDialing=-1\n");
    EXPECT_EQ(DialSettings::Read(IniFile(path)).mode, DialMode::Never);
    WriteText(path, "[Dial]\nCareAboutDialing= 1 \n");
    EXPECT_EQ(DialSettings::Read(IniFile(path)).mode, DialMode::Always);
}

TEST(DialSettings, DialsAlwaysOrOnlyForScheduledRunsAsTheModeSays) {
    DialSettings settings;
    settings.mode = DialMode::Never;
    EXPECT_FALSE(settings.MustDial(false));
    EXPECT_FALSE(settings.MustDial(true));
    settings.mode = DialMode::Always;
    EXPECT_TRUE(settings.MustDial(false));
    EXPECT_TRUE(settings.MustDial(true));
    settings.mode = DialMode::ScheduledOnly;
    EXPECT_FALSE(settings.MustDial(false));
    EXPECT_TRUE(settings.MustDial(true));
}

}  // namespace
