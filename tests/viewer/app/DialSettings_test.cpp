// The dial-up settings in group "Dial" and the stored form of the password.
#include "AppTestSupport.h"

#include "testsupport/TempDir.h"
#include "viewer/app/dialup/DialSettings.h"
#include "viewer/app/dialup/PasswordScrambler.h"
#include "viewer/gui/IniFile.h"

#include <gtest/gtest.h>

TEST(PasswordScrambler, StoredFormRoundTripsAndIsTheSameEveryTime) {
    std::string everyByte;
    for (int i = 0; i < 256; i++) everyByte += static_cast<char>(i);
    for (const std::string& password : {std::string("a"), std::string("Qv7#pL2!mZ9&kT4*"), std::string(" blanks "),
                                        std::string(1000, 'x'), everyByte, std::string("\0\0\x01", 3)}) {
        std::string stored = ScramblePasswordHex(password);
        EXPECT_EQ(stored, ScramblePasswordHex(password));
        EXPECT_EQ(stored.size(), 2 * password.size());
        EXPECT_EQ(stored.find_first_not_of("0123456789abcdef"), std::string::npos) << stored;
        EXPECT_EQ(UnscramblePasswordHex(stored), password);
        EXPECT_EQ(PasswordScrambler::Unscramble(PasswordScrambler::Scramble(password)), password);
    }
    // Worked out by hand from the key and the seed 0xA7: a work buffer of 37 bytes.
    EXPECT_EQ(PasswordScrambler().WorkLength(), 37u);
    EXPECT_EQ(ScramblePasswordHex("secret"), "f89902dadd51");
    // A byte depends on the bytes before it only; a repeated letter does not repeat.
    EXPECT_EQ(ScramblePasswordHex("ab").substr(0, 2), ScramblePasswordHex("ac").substr(0, 2));
    EXPECT_NE(ScramblePasswordHex("ab").substr(2), ScramblePasswordHex("ac").substr(2));
    EXPECT_NE(ScramblePasswordHex("aa").substr(0, 2), ScramblePasswordHex("aa").substr(2));

    const std::string secret = ScramblePasswordHex("secret");
    std::string upper = secret;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (auto [text, password] : {std::pair<std::string, std::string>{"", ""}, {"   ", ""}, {" " + secret + "\t ", "secret"},
                                  {upper, "secret"}, {"zz", ""}, {secret.substr(1), ""}, {"0x" + secret, ""},
                                  {secret.substr(0, 4) + " " + secret.substr(4), ""}, {secret.substr(0, 6) + "g1", ""},
                                  {"secret", ""}})
        EXPECT_EQ(UnscramblePasswordHex(text), password) << text;
}

TEST(DialSettings, AllSixKeysAreWrittenAndReadBackAndGarbageKeepsTheDefaults) {
    TempDir dir;
    const std::string path = dir.file("vantlow.ini");
    DialSettings defaults = DialSettings::Read(IniFile(path));
    EXPECT_EQ(defaults.userName + "|" + defaults.password + "|" + defaults.domain + "|" + defaults.entryName, "||*|");
    EXPECT_TRUE(defaults.useCurrentUser);
    EXPECT_EQ(defaults.mode, DialMode::Never);
    IniFile config(path);
    ASSERT_TRUE(defaults.Write(config));
    EXPECT_NE(read_file(path).find("password=\n"), std::string::npos) << read_file(path);

    DialSettings settings{"jane", "s3cret", "OFFICE", "Provider", false, DialMode::ScheduledOnly};
    ASSERT_TRUE(settings.Write(config));
    for (const std::string& line : std::vector<std::string>{"[Dial]\n", "username=jane\n", "password=" + ScramblePasswordHex("s3cret") + "\n",
                                    "domain=OFFICE\n", "phonebookentry=Provider\n", "UsingCurrentUser=0\n",
                                    "CareAboutDialing=2\n"})
        EXPECT_NE(read_file(path).find(line), std::string::npos) << line;
    DialSettings read = DialSettings::Read(IniFile(path));
    EXPECT_EQ(read.userName + "|" + read.password + "|" + read.domain + "|" + read.entryName, "jane|s3cret|OFFICE|Provider");
    EXPECT_FALSE(read.useCurrentUser);
    EXPECT_EQ(read.mode, DialMode::ScheduledOnly);

    for (auto [text, mode, currentUser] :
         {std::tuple{"password=not hex\nUsingCurrentUser=perhaps\nCareAboutDialing=7\n", DialMode::Never, true},
          {"CareAboutDialing=abc\nUsingCurrentUser=0\n", DialMode::Never, false},
          {"CareAboutDialing=-1\n", DialMode::Never, true},
          {"CareAboutDialing= 1 \n", DialMode::Always, true}}) {
        write_file(path, std::string("[Dial]\n") + text + "[General]\nBrowser=x\n");
        DialSettings garbled = DialSettings::Read(IniFile(path));
        EXPECT_EQ(garbled.mode, mode) << text;
        EXPECT_EQ(garbled.useCurrentUser, currentUser) << text;
        EXPECT_EQ(garbled.password, "") << text;
    }
    // Dial for every job, or for scheduled runs only.
    for (auto [mode, now, later] : {std::tuple{DialMode::Never, false, false}, {DialMode::Always, true, true},
                                    {DialMode::ScheduledOnly, false, true}}) {
        settings.mode = mode;
        EXPECT_EQ(settings.MustDial(false), now);
        EXPECT_EQ(settings.MustDial(true), later);
    }
}
