// The dial-up settings in group "Dial" and the stored form of the password.
#include "AppTestSupport.h"

#include "viewer/app/dialup/DialSettings.h"
#include "viewer/app/dialup/PasswordScrambler.h"

TEST(PasswordScrambler, StoredFormRoundTripsAndIsTheSameEveryTime) {
    std::string everyByte;
    for (int i = 0; i < 256; i++) everyByte += static_cast<char>(i);
    for (const std::string& password : {std::string("a"), std::string(" blanks "), std::string(1000, 'x'), everyByte}) {
        const std::string stored = ScramblePasswordHex(password);
        EXPECT_EQ(stored, ScramblePasswordHex(password));
        EXPECT_TRUE(stored.size() == 2 * password.size() && stored.find_first_not_of("0123456789abcdef") == stored.npos)
            << stored;
        EXPECT_EQ(UnscramblePasswordHex(stored), password);
    }
    // Worked out by hand from the key and the seed 0xA7: a work buffer of 37 bytes.
    EXPECT_EQ(PasswordScrambler().WorkLength(), 37u);
    EXPECT_EQ(ScramblePasswordHex("secret"), "f89902dadd51");
    const std::string secret = ScramblePasswordHex("secret");
    const std::string upper = QString::fromStdString(secret).toUpper().toStdString();
    using Pair = std::pair<std::string, std::string>;
    for (auto [text, password] : {Pair{"", ""}, {"   ", ""}, {" " + secret + "\t ", "secret"},
                                  {upper, "secret"}, {"zz", ""}, {secret.substr(1), ""}, {"0x" + secret, ""},
                                  {secret.substr(0, 4) + " " + secret.substr(4), ""}, {secret.substr(0, 6) + "g1", ""}})
        EXPECT_EQ(UnscramblePasswordHex(text), password) << text;
}

TEST(DialSettings, AllSixKeysAreWrittenAndReadBackAndGarbageKeepsTheDefaults) {
    TempDir dir;
    const std::string path = dir.file("vantlow.ini");
    auto text = [](const DialSettings& s) {
        return s.userName + "|" + s.password + "|" + s.domain + "|" + s.entryName + "|" +
               std::to_string(s.useCurrentUser) + std::to_string(int(s.mode));
    };
    IniFile config(path);
    DialSettings settings = DialSettings::Read(config);  // the defaults, stored with an empty password
    EXPECT_EQ(text(settings), "||*||10");
    ASSERT_TRUE(settings.Write(config));
    EXPECT_NE(read_file(path).find("password=\n"), std::string::npos) << read_file(path);
    const DialSettings jane{"jane", "s3cret", "OFFICE", "Provider", false, DialMode::ScheduledOnly};
    for (DialSettings written : {settings, jane}) {
        ASSERT_TRUE(written.Write(config));
        EXPECT_EQ(text(DialSettings::Read(IniFile(path))), text(written));
    }
    for (const std::string& line : std::vector<std::string>{"[Dial]\n", "username=jane\n", "domain=OFFICE\n",
                                                            "password=" + ScramblePasswordHex("s3cret") + "\n",
                                                            "UsingCurrentUser=0\n", "phonebookentry=Provider\n",
                                                            "CareAboutDialing=2\n"})
        EXPECT_NE(read_file(path).find(line), std::string::npos) << line;
    for (auto [garbage, mode, currentUser] :
         {std::tuple{"password=not hex\nUsingCurrentUser=perhaps\nCareAboutDialing=7\n", DialMode::Never, true},
          {"CareAboutDialing=abc\nUsingCurrentUser=0\n", DialMode::Never, false},
          {"CareAboutDialing= 1 \n", DialMode::Always, true}}) {
        write_file(path, std::string("[Dial]\n") + garbage + "[General]\nBrowser=x\n");
        DialSettings garbled = DialSettings::Read(IniFile(path));
        EXPECT_EQ(std::to_string(int(garbled.mode)) + std::to_string(garbled.useCurrentUser) + garbled.password,
                  std::to_string(int(mode)) + std::to_string(currentUser)) << garbage;
    }
    for (auto [mode, now, later] : {std::tuple{DialMode::Never, false, false}, {DialMode::Always, true, true},
                                    {DialMode::ScheduledOnly, false, true}}) {  // for every job, or scheduled ones
        settings.mode = mode;
        EXPECT_EQ(std::to_string(settings.MustDial(false)) + std::to_string(settings.MustDial(true)),
                  std::to_string(now) + std::to_string(later));
    }
}
